// What a crash or a full disk can do to a dictionary: runs of the built tool
// killed at random moments while they rewrite a dictionary, and saves onto a
// file system with no room, must always leave a whole dictionary, the old
// one or the new one, and no temporary file after a failed save.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"

namespace {

// Starts the built tool with args; its standard output goes to outputPath
// and its standard error nowhere. fileSizeLimit, when not 0, is the largest
// file the tool may write (RLIMIT_FSIZE); a write beyond it fails with EFBIG
// instead of raising SIGXFSZ, which the child ignores, as a full disk
// fails a write.
pid_t startTool(const std::vector<std::string>& args, const std::string& hostDir,
                const std::string& outputPath, rlim_t fileSizeLimit = 0) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("CVSPAM_HOST_DIR", hostDir.c_str(), 1);
  const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int nowhere = open("/dev/null", O_WRONLY);
  if (out < 0 || nowhere < 0) _exit(127);
  dup2(out, 1);
  dup2(nowhere, 2);
  if (fileSizeLimit != 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(CVSPAM_BINARY));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(CVSPAM_BINARY, argv.data());
  _exit(127);
}

void waitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
}

// The names in folder that start with prefix.
std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  closedir(dir);
  return names;
}

class CrashSafetyTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::makeDir(spam);
    testsupport::makeDir(ham);
    for (int i = 0; i < 3; ++i) {
      testsupport::writeFile(spam + "/s" + std::to_string(i) + ".eml",
                             "Subject: cheap pills " + std::to_string(i) +
                                 "\n\nbuy cheap pills now offer" + std::to_string(i) + "\n");
      testsupport::writeFile(ham + "/h" + std::to_string(i) + ".eml",
                             "Subject: team meeting\n\nagenda notes minutes" + std::to_string(i) + "\n");
    }
  }

  // A text dictionary of rows rows, about 20 bytes each.
  static std::string textDictionary(int rows) {
    std::string text = "Token\t5000\t7000\n";
    char line[64];
    for (int i = 0; i < rows; ++i) {
      std::snprintf(line, sizeof line, "token%06d\t%d\t%d\n", i, i % 97, i % 89);
      text += line;
    }
    return text;
  }
  static std::string xmlDictionary(int rows) {
    std::string text = "<ELEMENTS><ENTRIES W=\"7000\" B=\"5000\">";
    char line[96];
    for (int i = 0; i < rows; ++i) {
      std::snprintf(line, sizeof line, "<E W=\"%d\" B=\"%d\">token%06d</E>", 3 + i % 89, i % 97, i);
      text += line;
    }
    return text + "</ENTRIES></ELEMENTS>";
  }

  std::string run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
    waitFor(startTool(args, host.path(), output, fileSizeLimit));
    return testsupport::readFile(output);
  }

  testsupport::ScopedHostDir host;
  testsupport::ScopedTempDir dir;
  std::string spam = dir.file("spam");
  std::string ham = dir.file("ham");
  std::string output = dir.file("output.txt");
};

TEST_F(CrashSafetyTest, KilledRewritesLeaveTheOldOrTheNewDictionary) {
  const std::string path = dir.file("words.txt");
  const std::string old = textDictionary(15000);
  testsupport::writeFile(path, old);
  const auto start = std::chrono::steady_clock::now();
  run({"-m", path, spam, ham});
  const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  const std::string merged = testsupport::readFile(path);
  ASSERT_NE(merged, old);
  ASSERT_EQ(merged.compare(0, 16, "Token\t5003\t7003\n"), 0);

  // Kills land anywhere from before the load to after the rename.
  std::mt19937 random(20240611);
  std::uniform_int_distribution<long> delay(0, duration.count() * 5 / 4);
  int sawOld = 0;
  int sawNew = 0;
  int leftBehind = 0;
  const int runs = 200;
  for (int i = 0; i < runs; ++i) {
    testsupport::writeFile(path, old);
    const pid_t pid = startTool({"-m", path, spam, ham}, host.path(), output);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    kill(pid, SIGKILL);
    waitFor(pid);
    const std::string now = testsupport::readFile(path);
    if (now == old) {
      ++sawOld;
    } else if (now == merged) {
      ++sawNew;
    } else {
      FAIL() << "run " << i << " left a dictionary of " << now.size() << " bytes that is neither";
    }
    // A killed save leaves its temporary file; the dictionary is whole.
    for (const std::string& name : namesStartingWith(dir.path(), ".words.txt.")) {
      ++leftBehind;
      std::remove(dir.file(name).c_str());
    }
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
  RecordProperty("old", sawOld);
  RecordProperty("new", sawNew);
  RecordProperty("temporaryFilesLeftByKills", leftBehind);
}

TEST_F(CrashSafetyTest, SavesOntoAFullFileSystemKeepTheOldDictionary) {
  // Every file the tool writes is limited to 64 KiB, less than the new
  // dictionary needs.
  const rlim_t limit = 64 * 1024;
  const struct {
    const char* name;
    std::string content;
    const char* report;
  } cases[] = {
      {"words.txt", textDictionary(20000), "Saving Dictionary Failed: cannot write "},
      {"words.xml", xmlDictionary(20000), "Error:\nCode = 80004005\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    testsupport::writeFile(path, c.content);
    for (const char* command : {"-m", "-p"}) {
      SCOPED_TRACE(command);
      const std::string printed = command == std::string("-m") ? run({command, path, spam, ham}, limit)
                                                               : run({command, path}, limit);
      EXPECT_NE(printed.find(c.report), std::string::npos) << printed;
      EXPECT_EQ(testsupport::readFile(path), c.content);
      EXPECT_EQ(namesStartingWith(dir.path(), std::string(".") + c.name).size(), 0u);
    }
  }
  // The text saver names the file it could not write.
  const std::string printed = run({"-m", dir.file("words.txt"), spam, ham}, limit);
  EXPECT_NE(printed.find("Saving Dictionary Failed: cannot write " + dir.file("words.txt") + "\n"),
            std::string::npos);
}

}  // namespace

#endif  // _WIN32
