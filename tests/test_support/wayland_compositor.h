// A private Wayland compositor for tests: headless sway (wlroots: layer
// shell, virtual pointer and keyboard, screencopy) or headless weston
// (xdg-shell only). Each runs in a runtime folder of its own, so tests can
// run side by side, and the clients the test starts run as the compositor's
// user inside it. sway refuses to run as root: as root, compositor and
// clients run as nobody.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_support/run_command.h"

namespace wh::testing {

// The first of `tools` not found on PATH, "" when all are there.
inline std::string MissingTool(std::initializer_list<const char*> tools) {
  for (const char* tool : tools)
    if (!OnPath(tool)) return tool;
  return "";
}

// Why a test on headless sway cannot run here, "" when it can: `pointer`
// is the virtual pointer client's path, empty when it was not built.
inline std::string SwayRigMissing(const std::string& pointer) {
  if (pointer.empty())
    return "the test client was not built (no wayland-client or wayland-scanner, or "
           "WH_WAYLAND=OFF)";
  const std::string tool = MissingTool({"sway", "swaymsg", "grim", "wtype"});
  return tool.empty() ? "" : tool + " is not installed";
}

// A word quoted for sh.
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class WaylandCompositor {
 public:
  WaylandCompositor(const WaylandCompositor&) = delete;
  WaylandCompositor& operator=(const WaylandCompositor&) = delete;
  virtual ~WaylandCompositor() {
    for (pid_t pid : children_) Stop(pid, SIGKILL);
    if (pid_ > 0) Stop(pid_, SIGTERM);
    if (pid_ > 0 && kill(-pid_, 0) == 0) kill(-pid_, SIGKILL);  // its helpers
    if (!dir_.empty()) std::system(("rm -rf " + ShellQuote(dir_)).c_str());
  }

  // Whether the compositor runs and answers; error() says why not.
  bool ok() const { return pid_ > 0 && error_.empty(); }
  const std::string& error() const { return error_; }
  // The runtime folder: the compositor's sockets, the clients' home and
  // their output files (name.log for a client started with Start).
  const std::string& dir() const { return dir_; }
  std::string home() const { return dir_ + "/home"; }

  // A copy of a program of the build in dir(), for the compositor's user:
  // the build folder may be out of its reach. Its path, "" on failure.
  std::string Install(const std::string& program) {
    const std::string to = dir_ + "/" + program.substr(program.rfind('/') + 1);
    if (std::system(("cp " + ShellQuote(program) + " " + ShellQuote(to)).c_str()) != 0) return "";
    chmod(to.c_str(), 0755);
    return to;
  }

  // Starts argv[0] (a path, or found on PATH) as the compositor's client in
  // a process group of its own, its standard output and error in
  // dir()/`log`; `env` adds NAME=VALUE entries. The group is killed with
  // the compositor unless Wait saw the child end.
  pid_t Start(const std::vector<std::string>& argv, const std::string& log,
              const std::vector<std::string>& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      const int out = open((dir_ + "/" + log).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      Exec(argv, env);
    }
    if (pid > 0) children_.push_back(pid);
    return pid;
  }

  // Runs a shell command as the compositor's client and returns its exit
  // status (-1 when it could not run); its standard output goes to `out`.
  int Run(const std::string& command, std::string* out = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      dup2(fds[1], 1);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      Exec({"/bin/sh", "-c", command}, {});
    }
    close(fds[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The exit status of a child from Start once it ended within `limit`
  // (128 + signal when killed), or -1 while it still runs.
  int Wait(pid_t pid, std::chrono::milliseconds limit) {
    pid_t child = pid;
    const int status = WaitExit(child, limit);
    if (status != -1)
      children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
    return status;
  }

  // Ends the compositor now, as when a session ends under its clients.
  void Quit() {
    if (pid_ > 0) Stop(pid_, SIGTERM);
    pid_ = -1;
  }
  // What the compositor wrote.
  std::string Log() const { return ReadFile(dir_ + "/compositor.log"); }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 protected:
  WaylandCompositor() {
    char tmpl[] = "/tmp/wh-wlt-XXXXXX";
    if (!mkdtemp(tmpl)) {
      error_ = "no temporary folder";
      return;
    }
    dir_ = tmpl;
    root_ = geteuid() == 0;
    mkdir(home().c_str(), 0700);
    // Wayland wants the runtime folder to be its user's alone.
    if (root_ && (chown(dir_.c_str(), kNobody, kNobody) != 0 ||
                  chown(home().c_str(), kNobody, kNobody) != 0))
      error_ = "cannot hand the runtime folder to nobody";
    chmod(dir_.c_str(), 0700);
  }

  // Starts the compositor (argv) and waits until `ready` (a shell command
  // run as its client) succeeds.
  void Launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& ready) {
    if (!error_.empty()) return;
    pid_ = fork();
    if (pid_ == 0) {
      setsid();  // the compositor's own helpers end with its group
      const int out = open((dir_ + "/compositor.log").c_str(), O_WRONLY | O_CREAT, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      Exec(argv, env);
    }
    if (pid_ < 0) {
      error_ = "cannot fork";
      return;
    }
    // A loaded machine, or a sanitizer build beside, may take seconds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        error_ = argv[0] + " ended at start:\n" + Log();
        return;
      }
      FindSockets();
      if (!socket_.empty() && Run(ready) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    error_ = argv[0] + " did not answer within 20 s:\n" + Log();
  }

  // WAYLAND_DISPLAY is the first wayland socket in the runtime folder (the
  // compositor chose its name), SWAYSOCK sway's IPC socket there.
  void FindSockets() {
    DIR* d = opendir(dir_.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      struct stat st;
      if (stat((dir_ + "/" + name).c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
      if (name.rfind("sway-ipc.", 0) == 0)
        ipc_ = dir_ + "/" + name;
      else if (socket_.empty())
        socket_ = name;
    }
    closedir(d);
  }

  static constexpr uid_t kNobody = 65534;
  const pid_t owner_ = getpid();  // the test's process, parent of every child
  std::string dir_, socket_, ipc_, error_;
  pid_t pid_ = -1;
  bool root_ = false;
  std::vector<pid_t> children_;

 private:
  // In a forked child: become the compositor's user with a clean
  // environment of its own, then run argv.
  [[noreturn]] void Exec(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extra) {
    if (root_ && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(126);
    // A test that crashes takes its compositor and clients along (set after
    // the change of user, which clears it).
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != owner_) _exit(126);
    if (chdir(dir_.c_str()) != 0) _exit(126);
    std::vector<std::string> env = {
        "PATH=" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"),
        "XDG_RUNTIME_DIR=" + dir_,
        "HOME=" + home(),
        "XDG_CONFIG_HOME=" + home() + "/.config",
        "XDG_DATA_HOME=" + home() + "/.local/share",
        "XDG_STATE_HOME=" + home() + "/.local/state",
        "LANG=C.UTF-8",
    };
    if (!socket_.empty()) env.push_back("WAYLAND_DISPLAY=" + socket_);
    if (!ipc_.empty()) env.push_back("SWAYSOCK=" + ipc_);
    // Sanitizer options reach the saver when a test runs under them.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* v = getenv(name)) env.push_back(std::string(name) + "=" + v);
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }

  // Ends a child and whatever it started in its process group.
  static void Stop(pid_t pid, int sig) {
    kill(-pid, sig);
    kill(pid, sig);
    for (int i = 0; i < 60; ++i) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

// One output of a headless compositor.
struct WaylandOutput {
  std::string name;  // sway's HEADLESS-n
  int width = 0, height = 0;  // its mode, in real pixels
  int x = 0, y = 0;           // its place in the layout, in logical pixels
  double scale = 1;
  int LogicalWidth() const { return static_cast<int>(width / scale); }
  int LogicalHeight() const { return static_cast<int>(height / scale); }
};

class HeadlessSway : public WaylandCompositor {
 public:
  // Outputs HEADLESS-1, HEADLESS-2, ... with these modes and scales;
  // `config` adds lines to sway's configuration.
  explicit HeadlessSway(const std::vector<WaylandOutput>& outputs, const std::string& extra = "") {
    if (!error_.empty()) return;
    std::ofstream config(dir_ + "/config");
    config << "xwayland disable\n" << extra << "\n";
    for (size_t i = 0; i < outputs.size(); ++i)
      config << "output HEADLESS-" << i + 1 << " mode " << outputs[i].width << "x"
             << outputs[i].height << " scale " << outputs[i].scale << "\n";
    config.close();
    Launch({"sway", "-c", dir_ + "/config"},
           {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
            "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs.size())},
           "swaymsg -t get_version");
    // The modes are set just after the socket opens.
    for (int i = 0; ok() && i < 50 && Outputs().size() != outputs.size(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  // The outputs as sway has them now.
  std::vector<WaylandOutput> Outputs() {
    std::string text;
    std::vector<WaylandOutput> outs;
    if (Run("swaymsg -p -t get_outputs", &text) != 0) return outs;
    static const std::regex kName(R"(^Output (\S+))"), kMode(R"(Current mode: (\d+)x(\d+))"),
        kPos(R"(Position: (-?\d+),(-?\d+))"), kScale(R"(Scale factor: ([\d.]+))");
    std::istringstream lines(text);
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
      if (std::regex_search(line, m, kName)) outs.push_back({m[1]});
      if (outs.empty()) continue;
      WaylandOutput& o = outs.back();
      if (std::regex_search(line, m, kMode)) o.width = std::stoi(m[1]), o.height = std::stoi(m[2]);
      if (std::regex_search(line, m, kPos)) o.x = std::stoi(m[1]), o.y = std::stoi(m[2]);
      if (std::regex_search(line, m, kScale)) o.scale = std::stod(m[1]);
    }
    return outs;
  }

  // A new output while running; its name, "" when sway made none.
  std::string AddOutput(int width, int height, int scale = 1) {
    std::vector<WaylandOutput> before = Outputs();
    if (Run("swaymsg create_output") != 0) return "";
    for (int i = 0; i < 50; ++i) {
      for (const WaylandOutput& o : Outputs()) {
        bool old = false;
        for (const WaylandOutput& b : before) old |= b.name == o.name;
        if (old) continue;
        const std::string mode = std::to_string(width) + "x" + std::to_string(height);
        if (Run("swaymsg output " + o.name + " mode " + mode + " scale " +
                std::to_string(scale)) != 0)
          return "";
        return o.name;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
  }

  // The layout's bounding box in logical pixels: the extent under which
  // an absolute pointer position is exact.
  std::pair<int, int> LayoutSize() {
    int w = 0, h = 0;
    for (const WaylandOutput& o : Outputs()) {
      w = std::max(w, o.x + o.LogicalWidth());
      h = std::max(h, o.y + o.LogicalHeight());
    }
    return {w, h};
  }

  // The output sway's focus is on (with focus following the pointer, the
  // one the pointer went to last).
  std::string FocusedOutput() {
    std::string text;
    Run("swaymsg -p -t get_outputs", &text);
    std::smatch m;
    static const std::regex kFocused(R"(Output (\S+) .*\(focused\))");
    return std::regex_search(text, m, kFocused) ? m[1].str() : "";
  }

  // grim's picture of one output into dir()/file; whether it was taken.
  bool Shot(const std::string& output, const std::string& file) {
    return Run("grim -o " + ShellQuote(output) + " " + ShellQuote(dir_ + "/" + file)) == 0;
  }
};

class HeadlessWeston : public WaylandCompositor {
 public:
  // One output; --debug lets weston-screenshooter take its picture. With
  // `idle_s`, weston puts the output to sleep after that many seconds
  // without input.
  HeadlessWeston(int width, int height, int idle_s = 0) {
    if (!error_.empty()) return;
    Launch({"weston", "--backend=headless-backend.so", "--use-pixman", "--no-config", "--debug",
            "--idle-time=" + std::to_string(idle_s), "--socket=wh-wlt-" + std::to_string(getpid()),
            "--width=" + std::to_string(width), "--height=" + std::to_string(height)},
           {}, "weston-info");
  }

  // weston-screenshooter's picture of the output, moved to dir()/file.
  bool Shot(const std::string& file) {
    const std::string to = ShellQuote(dir_ + "/" + file);
    return Run("rm -f wayland-screenshot-*.png && weston-screenshooter && mv "
               "wayland-screenshot-*.png " + to) == 0;
  }
};

// A mouse that stays on the seat for the whole test, as a real one would:
// the virtual pointer client (tests/wayland/virtual_pointer.cpp) reading
// its steps from a pipe.
class VirtualMouse {
 public:
  VirtualMouse(WaylandCompositor& wl, const std::string& program) : wl_(wl) {
    // A client that died makes a write fail, not end the test.
    signal(SIGPIPE, SIG_IGN);
    const std::string fifo = wl.dir() + "/pointer.in";
    if (mkfifo(fifo.c_str(), 0600) != 0 || (geteuid() == 0 && chown(fifo.c_str(), 65534, 65534)))
      return;
    const std::string bin = wl.Install(program);
    wl.Start({"/bin/sh", "-c", "exec " + ShellQuote(bin) + " < pointer.in"}, "pointer.log");
    // The pipe opens once the client has its end: wait for that, but not
    // for ever when it never started.
    for (int i = 0; i < 200 && fd_ < 0; ++i) {
      fd_ = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // not for other clients
      if (fd_ < 0 && errno != ENXIO) return;
      if (fd_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  }
  ~VirtualMouse() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // Sends one line of steps and waits until the compositor has them.
  bool Do(const std::string& steps) {
    const std::string line = steps + "\n";
    if (write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
    ++lines_;
    for (int i = 0; i < 200; ++i) {
      const std::string log = WaylandCompositor::ReadFile(wl_.dir() + "/pointer.log");
      size_t done = 0;
      for (size_t at = 0; (at = log.find("done\n", at)) != std::string::npos; at += 5) ++done;
      if (done >= lines_) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

 private:
  WaylandCompositor& wl_;
  int fd_ = -1;
  size_t lines_ = 0;
};

}  // namespace wh::testing
