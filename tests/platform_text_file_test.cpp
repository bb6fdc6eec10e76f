#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform_test_support.h"
#include "tests/test_support.h"

namespace {

using testsupport::ScopedTempDir;

// Every line readTextLine gives for a file, with the given line buffer size.
std::vector<std::string> readLines(const std::string& path, int size) {
  std::vector<std::string> lines;
  platform::TextFile file = platform::openTextFileForReading(path.c_str());
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return lines;
  std::vector<char> buffer(static_cast<size_t>(size));
  while (platform::readTextLine(file, buffer.data(), size) != nullptr) {
    lines.emplace_back(buffer.data());
  }
  EXPECT_TRUE(platform::atEndOfFile(file));
  platform::closeTextFile(file);
  return lines;
}

TEST(PlatformTextFile, CrLfBecomesLfAndLoneCrStays) {
  ScopedTempDir dir;
  testsupport::writeFile(dir.file("m"), "one\r\ntwo\rthree\n\r\nlast\r");
  EXPECT_EQ(readLines(dir.file("m"), 100),
            (std::vector<std::string>{"one\n", "two\rthree\n", "\n", "last\r"}));
}

TEST(PlatformTextFile, CrLfSplitAcrossTheReadBufferStillTranslates) {
  // The reader fills 64 KiB at a time: put the CR LF pair across that
  // boundary at a few offsets, and at the end of the file.
  const size_t block = 64 * 1024;
  for (size_t crAt : {block - 2, block - 1, block, 2 * block - 1}) {
    ScopedTempDir dir;
    std::string text(crAt, 'x');
    text += "\r\nnext\r\n";
    testsupport::writeFile(dir.file("m"), text);
    const auto lines = readLines(dir.file("m"), static_cast<int>(3 * block));
    ASSERT_EQ(lines.size(), 2u) << crAt;
    EXPECT_EQ(lines[0], std::string(crAt, 'x') + "\n") << crAt;
    EXPECT_EQ(lines[1], "next\n");
  }
}

TEST(PlatformTextFile, LineLimitsFollowFgets) {
  struct Case {
    std::string content;
    int size;
    std::vector<std::string> lines;
  };
  const std::string long2047(2047, 'a');
  const Case cases[] = {
      // A line of exactly size - 1 characters: its LF comes with the next read.
      {long2047 + "\nb\n", 2048, {long2047, "\n", "b\n"}},
      {long2047 + "\r\nb", 2048, {long2047, "\n", "b"}},
      {std::string(2046, 'a') + "\r\n", 2048, {std::string(2046, 'a') + "\n"}},
      // CR at the limit followed by LF is still one line end.
      {"abc\r\nd", 4, {"abc", "\n", "d"}},
      {"ab\r\nd", 4, {"ab\n", "d"}},
      {"abcdef", 3, {"ab", "cd", "ef"}},
      {"", 10, {}},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    testsupport::writeFile(dir.file("m"), c.content);
    EXPECT_EQ(readLines(dir.file("m"), c.size), c.lines) << c.content.size() << " " << c.size;
  }
}

TEST(PlatformTextFile, NulBytesPassThrough) {
  ScopedTempDir dir;
  testsupport::writeFile(dir.file("m"), std::string("a\0b\n", 4));
  platform::TextFile file = platform::openTextFileForReading(dir.file("m").c_str());
  char buffer[16] = {};
  ASSERT_NE(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(std::string(buffer, 4), std::string("a\0b\n", 4));
  platform::closeTextFile(file);
}

TEST(PlatformTextFile, EndOfFileIsSetOnlyOnceAReadMeetsIt) {
  ScopedTempDir dir;
  testsupport::writeFile(dir.file("m"), "a\nb");
  platform::TextFile file = platform::openTextFileForReading(dir.file("m").c_str());
  char buffer[16];
  EXPECT_FALSE(platform::atEndOfFile(file));
  ASSERT_NE(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  EXPECT_FALSE(platform::atEndOfFile(file));
  ASSERT_NE(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  EXPECT_STREQ(buffer, "b");
  EXPECT_TRUE(platform::atEndOfFile(file));
  EXPECT_EQ(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  platform::closeTextFile(file);

  testsupport::writeFile(dir.file("n"), "a\n");
  file = platform::openTextFileForReading(dir.file("n").c_str());
  ASSERT_NE(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  EXPECT_FALSE(platform::atEndOfFile(file));
  EXPECT_EQ(platform::readTextLine(file, buffer, sizeof buffer), nullptr);
  EXPECT_TRUE(platform::atEndOfFile(file));
  platform::closeTextFile(file);
}

TEST(PlatformTextFile, OpeningAFolderOrAMissingFileFails) {
  ScopedTempDir dir;
  EXPECT_EQ(platform::openTextFileForReading(dir.path().c_str()), nullptr);
  EXPECT_EQ(platform::openTextFileForWriting(dir.path().c_str()), nullptr);
  EXPECT_EQ(platform::openTextFileForReplacing(dir.path().c_str()), nullptr);
  EXPECT_EQ(platform::openTextFileForReading(dir.file("missing").c_str()), nullptr);
  EXPECT_EQ(platform::getLastError(), platform::kErrorFileNotFound);
}

TEST(PlatformTextFile, WritingTruncatesAndWritesBareLf) {
  ScopedTempDir dir;
  testsupport::writeFile(dir.file("out"), "old contents that are longer");
  platform::TextFile file = platform::openTextFileForWriting(dir.file("out").c_str());
  ASSERT_NE(file, nullptr);
  const std::string big(100000, 'z');
  EXPECT_TRUE(platform::writeText(file, "a\n", 2));
  EXPECT_TRUE(platform::writeText(file, big.data(), big.size()));
  EXPECT_TRUE(platform::closeTextFile(file));
  EXPECT_EQ(testsupport::readFile(dir.file("out")), "a\n" + big);
}

TEST(PlatformTextFile, ReplacingPutsTheNewFileInPlaceWithTheOldPermissions) {
  ScopedTempDir dir;
  const std::string target = dir.file("dict.txt");
  testsupport::writeFile(target, "old\n");
  chmod(target.c_str(), 0640);
  platform::TextFile file = platform::openTextFileForReplacing(target.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(platform::writeText(file, "new\n", 4));
  EXPECT_EQ(testsupport::readFile(target), "old\n");  // nothing visible before the close
  EXPECT_TRUE(platform::closeTextFile(file));
  EXPECT_EQ(testsupport::readFile(target), "new\n");
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // Abandoning leaves the target alone and no temporary file behind.
  file = platform::openTextFileForReplacing(target.c_str());
  ASSERT_NE(file, nullptr);
  platform::writeText(file, "discarded", 9);
  platform::abandonTextFile(file);
  EXPECT_EQ(testsupport::readFile(target), "new\n");
  std::vector<std::string> names;
  platform::FindData data;
  platform::FindHandle find = platform::findFirstFile((dir.path() + "/*.*").c_str(), &data);
  ASSERT_NE(find, nullptr);
  do names.emplace_back(data.fileName);
  while (platform::findNextFile(find, &data));
  platform::findClose(find);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "dict.txt"}));
}

TEST(PlatformTextFile, AFailedReplacementLeavesTheTargetAndNoTemporaryFile) {
  ScopedTempDir dir;
  platformtest::openToEveryone(dir.path());
  const std::string folder = dir.file("ro");
  testsupport::makeDir(folder);
  testsupport::writeFile(folder + "/dict.txt", "old\n");
  chmod(folder.c_str(), 0555);
  // A folder that cannot be written: no temporary file can be made.
  const int opened = platformtest::runUnprivileged([&] {
    return platform::openTextFileForReplacing((folder + "/dict.txt").c_str()) == nullptr ? 1 : 0;
  });
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(testsupport::readFile(folder + "/dict.txt"), "old\n");

  // A rename that fails at the close (the target became a folder).
  const std::string target = dir.file("target");
  testsupport::writeFile(target, "old\n");
  platform::TextFile file = platform::openTextFileForReplacing(target.c_str());
  ASSERT_NE(file, nullptr);
  platform::writeText(file, "new\n", 4);
  ASSERT_EQ(std::remove(target.c_str()), 0);
  testsupport::makeDir(target + "/inside");
  EXPECT_FALSE(platform::closeTextFile(file));
  EXPECT_TRUE(testsupport::fileExists(target + "/inside"));
  platform::FindData data;
  platform::FindHandle find = platform::findFirstFile((dir.path() + "/*.*").c_str(), &data);
  ASSERT_NE(find, nullptr);
  int entries = 1;
  while (platform::findNextFile(find, &data)) ++entries;
  platform::findClose(find);
  EXPECT_EQ(entries, 4);  // ".", "..", "ro", "target"
}

}  // namespace
