// The writer of the program's own files against what other users, crashes
// and other copies of the program can do to them.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/runtime_error.h"
#include "fake_system.h"
#include "system/files.h"

namespace wh {
namespace {

using testing::FolderNames;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Whether each way of writing takes `folder`: made or found by
// MakeOwnFolder, appended to, and replaced into.
struct Takes {
  bool made, appended, replaced;
};
Takes TryFolder(const std::string& folder) {
  Takes t{files::MakeOwnFolder(folder), files::AppendToFile(folder, "log", "x\n"), true};
  try {
    files::ReplaceFile(folder + "/file", "bytes");
  } catch (const RuntimeError&) {
    t.replaced = false;
  }
  return t;
}

TEST(OwnFolders, OnlyFoldersNobodyElseCanWriteIntoAreTaken) {
  TempDir dir;
  const passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  const gid_t mine = me->pw_gid;
  // A group that is not the user's own primary one: others may be in it.
  const gid_t others = mine == 100 ? 101 : 100;
  const std::string real = dir.path() + "/real";
  ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
  struct Case {
    const char* name;
    mode_t mode;
    gid_t group;
    bool link;  // the folder's name is a link to a folder of the user's
    bool taken;
  } cases[] = {
      {"private", 0700, mine, false, true},
      {"umask 002 under a private user group", 0775, mine, false, true},
      {"readable by a shared group", 0750, others, false, true},
      {"writable by a shared group", 0770, others, false, false},
      {"writable by all", 0777, mine, false, false},
      {"sticky and writable by all", 01777, mine, false, false},
      {"a link to an own folder", 0700, mine, true, false},
  };
  for (const Case& c : cases) {
    const std::string folder = dir.path() + "/" + c.name;
    if (c.link) {
      ASSERT_EQ(symlink(real.c_str(), folder.c_str()), 0);
    } else {
      ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
      ASSERT_EQ(chown(folder.c_str(), static_cast<uid_t>(-1), c.group), 0);
      ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
    }
    const Takes t = TryFolder(folder);
    EXPECT_EQ(t.made, c.taken) << c.name;
    EXPECT_EQ(t.appended, c.taken) << c.name;
    EXPECT_EQ(t.replaced, c.taken) << c.name;
    if (!c.taken) {
      EXPECT_EQ(FolderNames(c.link ? real : folder), std::vector<std::string>{}) << c.name;
    }
  }
}

// Someone swaps the folder for a link to a folder all may write into, again
// and again, while the program replaces a file there: the write either goes
// into the real folder or fails, never through the link.
TEST(OwnFolders, AReplacementNeverFollowsAFolderSwappedForALink) {
  TempDir dir;
  const std::string folder = dir.path() + "/WinterHollow", aside = dir.path() + "/aside";
  const std::string shared = dir.path() + "/shared";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    while (!stop) {
      if (rename(folder.c_str(), aside.c_str()) != 0) continue;
      symlink(shared.c_str(), folder.c_str());
      unlink(folder.c_str());
      rename(aside.c_str(), folder.c_str());
    }
  });
  int written = 0;
  for (int i = 0; i < 3000; ++i) {
    try {
      files::ReplaceFile(folder + "/settings.ini", "[Settings]\n");
      ++written;
    } catch (const RuntimeError&) {
    }
  }
  stop = true;
  swapper.join();
  EXPECT_EQ(FolderNames(shared), std::vector<std::string>{});
  EXPECT_GT(written, 0);
}

// A crash between writing the new file and renaming it leaves the new file
// behind; the next write into the folder removes those an hour old.
TEST(OwnFiles, TemporaryLeftoversOlderThanAnHourGoAtTheNextWrite) {
  TempDir dir;
  const std::string folder = dir.path() + "/WinterHollow";
  ASSERT_TRUE(files::MakeOwnFolder(folder));
  const std::string stale = files::TemporaryName("settings.ini", "stale-bytes");
  const std::string fresh = files::TemporaryName("settings.ini", "fresh-bytes");
  const std::string stale_dir = files::TemporaryName("WinterHollow.bmp", "some-folder");
  ASSERT_TRUE(files::IsTemporaryName(stale));
  ASSERT_NE(stale, fresh);
  for (const char* other : {".settings.ini.new0", "settings.ini~", ".settings.ini.wh-short"})
    EXPECT_FALSE(files::IsTemporaryName(other)) << other;
  const std::vector<std::string> keep = {".settings.ini.new0", "notes.wh-abcdefghijklmnop"};
  for (const std::string& name : std::vector<std::string>{stale, fresh}) WriteFile(folder + "/" + name, "half");
  for (const std::string& name : keep) WriteFile(folder + "/" + name, "not ours");
  ASSERT_EQ(mkdir((folder + "/" + stale_dir).c_str(), 0700), 0);
  const timeval two_hours_ago[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
  for (const std::string& name : std::vector<std::string>{stale, stale_dir, keep[0], keep[1]})
    ASSERT_EQ(utimes((folder + "/" + name).c_str(), two_hours_ago), 0);

  files::ReplaceFile(folder + "/settings.ini", "[Settings]\n");
  std::vector<std::string> expected = {fresh, stale_dir, keep[0], keep[1], "settings.ini"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderNames(folder), expected);
}

// Several programs update one file at once, each adding one to a count: no
// update is lost, so each read happened after the last rename.
TEST(OwnFiles, UpdatesOfOneFileTakeTurns) {
  TempDir dir;
  const std::string folder = dir.path() + "/WinterHollow", path = folder + "/count";
  ASSERT_TRUE(files::MakeOwnFolder(folder));
  constexpr int kWriters = 4, kEach = 25;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < kEach; ++i) {
        files::UpdateFile(path, 64, [](const std::optional<std::string>& now) {
          return std::to_string((now ? std::stoi(*now) : 0) + 1);
        });
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(ReadFile(path), std::to_string(kWriters * kEach));
}

}  // namespace
}  // namespace wh
