// Runs of the tool on one dictionary at the same time: the advisory lock
// beside the dictionary makes merges take turns, so none loses another's
// messages, and readers always load a whole dictionary.
#ifndef _WIN32

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

TEST(PlatformFileLock, ASecondProcessWaitsUntilTheLockIsReleased) {
  testsupport::ScopedTempDir dir;
  const std::string lockPath = dir.file("words.txt.lock");
  const std::string marker = dir.file("taken");
  // The child is made before the lock is taken: a child forked while the
  // lock is held would share it.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[1]);
    char byte;
    if (read(ready[0], &byte, 1) != 1) _exit(1);
    platform::FileLock lock = platform::lockFile(lockPath.c_str());
    testsupport::writeFile(marker, lock != nullptr ? "locked" : "failed");
    platform::unlockFile(lock);
    _exit(0);
  }
  close(ready[0]);
  platform::FileLock held = platform::lockFile(lockPath.c_str());
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(write(ready[1], "x", 1), 1);
  close(ready[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(testsupport::fileExists(marker)) << "the lock did not keep the child out";
  platform::unlockFile(held);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(testsupport::readFile(marker), "locked");
}

TEST(PlatformFileLock, ALockFileThatCannotBeCreatedFails) {
  testsupport::ScopedTempDir dir;
  platform::setLastError(0);
  EXPECT_EQ(platform::lockFile(dir.file("missing/words.txt.lock").c_str()), nullptr);
  EXPECT_NE(platform::getLastError(), 0u);
  EXPECT_EQ(platform::lockFile(""), nullptr);
  platform::unlockFile(nullptr);
}

// "Dictionary Size: N tokens" of a load, or -1 when the output has none.
long loadedSize(const std::string& output) {
  const std::string marker = "Dictionary Size: ";
  const size_t at = output.find(marker);
  if (at == std::string::npos) return -1;
  return std::atol(output.c_str() + at + marker.size());
}

TEST(ConcurrentRunsTest, MergesTakeTurnsAndReadersSeeWholeDictionaries) {
  testsupport::ScopedTempDir dir;
  testsupport::ScopedHostDir host;
  const std::string path = dir.file("words.txt");
  // A base dictionary big enough that a save takes a while.
  const int baseRows = 30000;
  std::string base = "Token\t100\t200\n";
  char row[64];
  for (int i = 0; i < baseRows; ++i) {
    std::snprintf(row, sizeof row, "base%06d\t%d\t%d\n", i, i % 7, i % 5);
    base += row;
  }
  testsupport::writeFile(path, base);

  // Eight pairs of folders of 2 spam and 1 ham message; every folder's
  // words are its own, so each merge adds the same number of new tokens.
  const int merges = 8;
  std::vector<std::string> spamFolders;
  std::vector<std::string> hamFolders;
  for (int m = 0; m < merges; ++m) {
    const std::string tag = "run" + std::to_string(m);
    spamFolders.push_back(dir.file("spam" + std::to_string(m)));
    hamFolders.push_back(dir.file("ham" + std::to_string(m)));
    testsupport::makeDir(spamFolders.back());
    testsupport::makeDir(hamFolders.back());
    testsupport::writeFile(spamFolders.back() + "/a.eml",
                           "Subject: " + tag + "pills\n\n" + tag + "cheap " + tag + "offer\n");
    testsupport::writeFile(spamFolders.back() + "/b.eml",
                           "Subject: " + tag + "prize\n\n" + tag + "winner " + tag + "claim\n");
    testsupport::writeFile(hamFolders.back() + "/c.eml",
                           "Subject: " + tag + "agenda\n\n" + tag + "meeting " + tag + "notes\n");
  }
  const std::string alone = dir.file("alone.txt");
  testsupport::runTool({"-m", alone, spamFolders[0], hamFolders[0]}, host.path());
  const std::string aloneText = testsupport::readFile(alone);
  const int tokensPerMerge =
      static_cast<int>(std::count(aloneText.begin(), aloneText.end(), '\n')) - 1;
  ASSERT_GT(tokensPerMerge, 0);
  // Every size a complete dictionary can have: the base and any number of
  // the merges in.
  std::set<long> sizes;
  for (int m = 0; m <= merges; ++m) sizes.insert(baseRows + m * tokensPerMerge);

  std::atomic<bool> merging{true};
  std::vector<long> seen;
  std::thread reader([&] {
    while (merging) seen.push_back(loadedSize(testsupport::runTool({"-s", path, path}, host.path())));
  });
  std::vector<std::thread> runs;
  for (int m = 0; m < merges; ++m) {
    runs.emplace_back([&, m] { testsupport::runTool({"-m", path, spamFolders[m], hamFolders[m]}, host.path()); });
  }
  for (std::thread& run : runs) run.join();
  merging = false;
  reader.join();

  const std::string merged = testsupport::readFile(path);
  EXPECT_EQ(merged.compare(0, 14, "Token\t116\t208\n"), 0) << merged.substr(0, 20);
  EXPECT_EQ(loadedSize(testsupport::runTool({"-s", path, path}, host.path())),
            baseRows + merges * tokensPerMerge);
  ASSERT_FALSE(seen.empty());
  for (long size : seen) EXPECT_EQ(sizes.count(size), 1u) << "a reader loaded " << size << " tokens";
  RecordProperty("readerLoads", static_cast<int>(seen.size()));
}

}  // namespace

#endif  // _WIN32
