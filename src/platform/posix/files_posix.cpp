#include "system/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }
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

// A group only the user is in: the user's own primary group, naming no other
// member, and nobody else's primary group (the private user groups under
// which umask 002 is the custom).
bool GroupIsPrivateTo(gid_t gid, uid_t uid) {
  const passwd* me = getpwuid(uid);
  if (!me || me->pw_gid != gid) return false;
  const std::string my_name = me->pw_name;
  if (const group* g = getgrgid(gid)) {
    for (char** member = g->gr_mem; member && *member; ++member)
      if (my_name != *member) return false;
  }
  bool alone = true;
  setpwent();
  while (const passwd* other = getpwent()) {
    if (other->pw_gid == gid && other->pw_uid != uid) alone = false;
  }
  endpwent();
  return alone;
}

// Nobody but the user may place anything in a folder we write into.
bool IsOwnFolder(const struct stat& st) {
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & S_IWOTH) != 0) return false;
  return (st.st_mode & S_IWGRP) == 0 || GroupIsPrivateTo(st.st_gid, st.st_uid);
}

// The folder opened, when it is a folder of the user's own and not a link;
// -1 with errno set otherwise (EACCES for one that is not the user's own).
int OpenCheckedFolder(const std::string& folder) {
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return -1;
  struct stat st {};
  if (fstat(dir.get(), &st) != 0) return -1;
  if (!IsOwnFolder(st)) {
    errno = EACCES;
    return -1;
  }
  return dir.Release();
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
  return OpenCheckedFolder(folder);
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

[[noreturn]] void RaiseErrno(int err) { Raise(FileErrorFromErrno(err)); }

// Unguessable bytes from the kernel; the program's own random generator must
// not be touched (its draws are the scenes).
std::string RandomBytes() {
  std::string bytes(16, '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < bytes.size()) {
    // No entropy call (an old kernel): the clock and the process, still
    // unique because the name is made with O_EXCL.
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    static unsigned counter = 0;
    unsigned long long mix = static_cast<unsigned long long>(ts.tv_nsec) ^
                             (static_cast<unsigned long long>(ts.tv_sec) << 30) ^
                             (static_cast<unsigned long long>(getpid()) << 20) ^ ++counter;
    for (size_t i = got; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>(mix);
      mix = mix * 6364136223846793005ull + 1442695040888963407ull;
    }
  }
  return bytes;
}

// Removes what a crash left of our own temporary files in the folder: only
// regular files of the user's with our names, older than an hour (a write
// under way in another process is far younger).
void SweepLeftovers(int dir) {
  const int copy = dup(dir);
  if (copy < 0) return;
  DIR* d = fdopendir(copy);
  if (!d) {
    close(copy);
    return;
  }
  rewinddir(d);
  const time_t now = time(nullptr);
  while (const dirent* e = readdir(d)) {
    if (!IsTemporaryName(e->d_name)) continue;
    struct stat st {};
    if (fstatat(dir, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == geteuid() && now - st.st_mtime > kLeftoverSeconds)
      unlinkat(dir, e->d_name, 0);
  }
  closedir(d);
}

// The file a replacement writes: its checked folder, opened, and its name
// there. A link at the path is followed to the file it names, whose folder
// is then the one checked.
struct Target {
  Fd dir;
  std::string name;
  bool exists = false;
  struct stat st {};
};

Target OpenTarget(const std::string& path) {
  Target t;
  t.dir = Fd(OpenCheckedFolder(FolderOf(path)));
  if (t.dir.get() < 0) RaiseErrno(errno);
  t.name = NameOf(path);
  t.exists = fstatat(t.dir.get(), t.name.c_str(), &t.st, AT_SYMLINK_NOFOLLOW) == 0;
  if (t.exists && S_ISLNK(t.st.st_mode)) {
    // Keep the link (the user's own arrangement): replace what it points to.
    char link[PATH_MAX];
    const ssize_t n = readlinkat(t.dir.get(), t.name.c_str(), link, sizeof link - 1);
    if (n <= 0) RaiseErrno(errno);
    link[n] = '\0';
    const std::string named = link[0] == '/' ? std::string(link) : FolderOf(path) + "/" + link;
    char resolved[PATH_MAX];
    if (realpath(FolderOf(named).c_str(), resolved) == nullptr) RaiseErrno(errno);
    t.dir = Fd(OpenCheckedFolder(resolved));
    if (t.dir.get() < 0) Raise(kErrPermissionDenied);  // a link into a folder others share
    t.name = NameOf(named);
    t.exists = fstatat(t.dir.get(), t.name.c_str(), &t.st, AT_SYMLINK_NOFOLLOW) == 0;
    if (t.exists && S_ISLNK(t.st.st_mode)) Raise(kErrPathFileAccess);  // a chain of links
  }
  if (t.exists && !S_ISREG(t.st.st_mode)) Raise(kErrPathFileAccess);
  // A file the user made read-only stays as it is.
  if (t.exists && ((t.st.st_mode & S_IWUSR) == 0 ||
                   faccessat(t.dir.get(), t.name.c_str(), W_OK, AT_EACCESS) != 0))
    Raise(kErrPermissionDenied);
  return t;
}

// Holds an advisory lock on a folder while it lives. A file system without
// locks still gets its whole-file replacement, only without the turns.
class FolderLock {
 public:
  explicit FolderLock(int dir) : dir_(dir) {
    for (;;) {
      if (flock(dir_, LOCK_EX) == 0) return;
      if (errno != EINTR) break;
    }
    dir_ = -1;
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() {
    if (dir_ >= 0) flock(dir_, LOCK_UN);
  }

 private:
  int dir_;
};

// The content of an opened file: a regular one of at most `limit` bytes.
std::string ReadOpened(const Fd& file, size_t limit) {
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

// The content of `name` in `dir`, read without following a link and
// without blocking; nothing when there is none.
std::optional<std::string> ReadAt(int dir, const std::string& name, size_t limit) {
  Fd file(openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    RaiseErrno(errno);
  }
  return ReadOpened(file, limit);
}

// Writes `bytes` as a new file in the target's folder and renames it over
// the target, all through the folder's descriptor.
void WriteAndRename(const Target& t, const std::string& bytes) {
  const int dir = t.dir.get();
  SweepLeftovers(dir);
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = TemporaryName(t.name, RandomBytes());
    fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                0666);
    if (fd < 0 && errno != EEXIST) RaiseErrno(errno);
  }
  if (fd < 0) RaiseErrno(EEXIST);
  Fd file(fd);
  auto fail = [&](int err) {
    unlinkat(dir, temp.c_str(), 0);
    RaiseErrno(err);
  };
  if (t.exists) (void)fchmod(file.get(), t.st.st_mode & 07777);
  if (!WriteAll(file.get(), bytes)) fail(errno);
  if (fsync(file.get()) != 0) fail(errno);
  if (!file.Close()) fail(errno);
  if (renameat(dir, temp.c_str(), dir, t.name.c_str()) != 0) fail(errno);
  // The rename itself reaches the disk with the folder.
  (void)fsync(dir);
}

}  // namespace

bool MakeOwnFolder(const std::string& folder) {
  const int fd = OpenOwnFolder(folder);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool AppendToFile(const std::string& folder, const std::string& name, const std::string& text,
                  size_t keep) {
  Fd dir(OpenOwnFolder(folder));
  if (dir.get() < 0) return false;
  // Non-blocking open: a pipe planted under the log's name must not hang us.
  auto open_file = [&] {
    return Fd(openat(dir.get(), name.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                     0666));
  };
  Fd file = open_file();
  struct stat st {};
  if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (keep > 0 && st.st_size > 0 && static_cast<unsigned long long>(st.st_size) + text.size() > keep) {
    // The older part moves aside. Under the folder's lock, and only when the
    // file under the name is still the one measured, so that two programs
    // reporting at once do not both move it.
    FolderLock lock(dir.get());
    struct stat now {};
    if (fstatat(dir.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
        now.st_dev == st.st_dev) {
      const std::string older = name + ".1";
      struct stat old {};
      // Only a regular file is replaced by the older half.
      if (fstatat(dir.get(), older.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(old.st_mode))
        renameat(dir.get(), name.c_str(), dir.get(), older.c_str());
    }
    file = open_file();
    if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  const int flags = fcntl(file.get(), F_GETFL);
  if (flags >= 0) fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
  const bool written = WriteAll(file.get(), text);
  return file.Close() && written;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
  WriteAndRename(OpenTarget(path), bytes);
}

void UpdateFile(const std::string& path, size_t limit,
                const std::function<std::string(const std::optional<std::string>&)>& change) {
  Target t = OpenTarget(path);
  FolderLock lock(t.dir.get());
  // Looked at again under the lock: another program may have replaced the
  // file (or made it) while we waited.
  t.exists = fstatat(t.dir.get(), t.name.c_str(), &t.st, AT_SYMLINK_NOFOLLOW) == 0;
  if (t.exists && !S_ISREG(t.st.st_mode)) Raise(kErrPathFileAccess);
  WriteAndRename(t, change(ReadAt(t.dir.get(), t.name, limit)));
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
  // Non-blocking: opening a pipe for reading would otherwise wait for a writer.
  Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    RaiseErrno(errno);
  }
  return ReadOpened(file, limit);
}

}  // namespace wh::files
