#include "system/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "common/runtime_error.h"

namespace wh::files {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; false (with errno set) when closing reported an error.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Nobody but the user may place anything in a folder we write into.
bool IsOwnFolder(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & S_IWOTH) == 0;
}

// The folder, made when missing and opened, or -1 when it is not the user's own.
int OpenOwnFolder(const std::string& folder) {
  if (folder.empty()) return -1;
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '/') {
      const std::string part = folder.substr(0, i);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    }
  }
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (dir.get() < 0 || fstat(dir.get(), &st) != 0 || !IsOwnFolder(st)) return -1;
  return dir.Release();
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name for the new file that nobody else has picked: the program's own
// random generator must not be touched (its draws are the scenes).
std::string TemporaryName(const std::string& name, unsigned attempt) {
  static unsigned counter = 0;
  timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  const unsigned long mix = static_cast<unsigned long>(ts.tv_nsec) ^
                            (static_cast<unsigned long>(getpid()) << 16) ^ (++counter * 7919u) ^
                            attempt;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  unsigned long v = mix;
  for (int i = 0; i < 8; ++i) {
    suffix += kDigits[v % 36];
    v /= 36;
  }
  return "." + name + "." + suffix;
}

[[noreturn]] void RaiseErrno(int err) { Raise(FileErrorFromErrno(err)); }

}  // namespace

bool MakeOwnFolder(const std::string& folder) {
  const int fd = OpenOwnFolder(folder);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text) {
  Fd dir(OpenOwnFolder(folder));
  if (dir.get() < 0) return false;
  // Non-blocking open: a pipe planted under the log's name must not hang us.
  Fd file(openat(dir.get(), name.c_str(),
                 O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                 0666));
  struct stat st {};
  if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int flags = fcntl(file.get(), F_GETFL);
  if (flags >= 0) fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
  const bool written = WriteAll(file.get(), text);
  return file.Close() && written;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
  std::string target = path;
  struct stat st {};
  bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Keep the link (the user's own arrangement): replace what it points to.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) RaiseErrno(errno);
    target = resolved;
    exists = lstat(target.c_str(), &st) == 0;
  }
  if (exists && !S_ISREG(st.st_mode)) Raise(kErrPathFileAccess);

  Fd dir(open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) RaiseErrno(errno);
  struct stat folder {};
  if (target != path && (fstat(dir.get(), &folder) != 0 || !IsOwnFolder(folder)))
    Raise(kErrPermissionDenied);  // a link into a folder others share
  const std::string name = NameOf(target);
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = TemporaryName(name, attempt);
    fd = openat(dir.get(), temp.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) RaiseErrno(errno);
  }
  if (fd < 0) RaiseErrno(EEXIST);
  Fd file(fd);
  auto fail = [&](int err) {
    unlinkat(dir.get(), temp.c_str(), 0);
    RaiseErrno(err);
  };
  if (exists) (void)fchmod(file.get(), st.st_mode & 07777);
  if (!WriteAll(file.get(), bytes)) fail(errno);
  if (fsync(file.get()) != 0) fail(errno);
  if (!file.Close()) fail(errno);
  if (renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) != 0) fail(errno);
  // The rename itself reaches the disk with the folder.
  (void)fsync(dir.get());
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
  // Non-blocking: opening a pipe for reading would otherwise wait for a writer.
  Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    RaiseErrno(errno);
  }
  struct stat st {};
  if (fstat(file.get(), &st) != 0) RaiseErrno(errno);
  if (!S_ISREG(st.st_mode) || static_cast<unsigned long long>(st.st_size) > limit)
    Raise(kErrPathFileAccess);
  std::string content;
  char buf[8192];
  for (;;) {
    const ssize_t n = read(file.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseErrno(errno);
    }
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
    if (content.size() > limit) Raise(kErrPathFileAccess);  // it grew while we read
  }
  return content;
}

}  // namespace wh::files
