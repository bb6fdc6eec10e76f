// Corpus training: the interleaving schedule over real folders, checked
// through the progress lines and the order in which the messages' tokens
// reached the dictionary.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "dictionary/token_dictionary.h"
#include "platform/platform.h"
#include "scoring/corpus_training.h"
#include "tests/test_support.h"

namespace {

using testsupport::ScopedTempDir;

// Each message holds one token naming its file, so the rows of the
// dictionary, which are added in order of first occurrence, show which files
// were trained and in what order.
const char* const kTokenPrefix = "word_";

void writeMessage(const std::string& folder, const std::string& name) {
  testsupport::writeFile(folder + "/" + name,
                         "From: someone@example.com\nSubject: \n\n" + std::string(kTokenPrefix) +
                             name + "\n");
}

// "s:name" for a row trained as spam, "h:name" for ham, in table order.
std::vector<std::string> trainedFiles() {
  std::vector<std::string> files;
  const size_t prefixLength = std::strlen(kTokenPrefix);
  for (int32_t i = 0; i < tokenDictionary.entryCount; ++i) {
    const DictionaryEntry& row = tokenDictionary.entries[i];
    if (row.tokenText == nullptr || std::strncmp(row.tokenText, kTokenPrefix, prefixLength) != 0) {
      continue;
    }
    std::string tag = row.spamCount > 0 ? "s:" : "h:";
    files.push_back(tag + (row.tokenText + prefixLength));
  }
  return files;
}

std::string progress(const std::vector<std::pair<int, int>>& hamSpam) {
  std::string text;
  for (const auto& [ham, spam] : hamSpam) {
    text += "Ham added=" + std::to_string(ham) + ", Spam added=" + std::to_string(spam) + "\n";
  }
  return text + "\n";
}

class TrainingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetProcessDictionary();
    // Single-run tokens only.
    tokenDictionary.phraseWordLimit = 0;
    tokenDictionary.phraseWordCount = 0;
    spam_ = dir_.file("spam");
    ham_ = dir_.file("ham");
  }
  void TearDown() override { testsupport::resetProcessDictionary(); }

  void fill(const std::string& folder, const std::vector<std::string>& names) {
    testsupport::makeDir(folder);
    for (const std::string& name : names) writeMessage(folder, name);
  }

  std::string train(const std::string& spam, const std::string& ham) {
    tokenDictionary.cleanseCount = 7;
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, trainFromFolders(tokenDictionary, spam.c_str(), ham.c_str()));
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, tokenDictionary.cleanseCount);
    return output;
  }

  ScopedTempDir dir_;
  std::string spam_;
  std::string ham_;
};

TEST_F(TrainingTest, InterleavingSchedule) {
  struct Case {
    const char* name;
    std::vector<std::string> spamFiles;
    std::vector<std::string> hamFiles;
    std::vector<std::pair<int, int>> lines;  // ham added, spam added per pass
    std::vector<std::string> order;
  };
  const std::vector<Case> cases = {
      {"3 spam, 2 ham",
       {"s1", "s2", "s3"},
       {"h1", "h2"},
       {{1, 1}, {2, 3}, {2, 3}},
       {"s:s1", "h:h1", "s:s2", "s:s3", "h:h2"}},
      {"10 spam, 1 ham",
       {"s01", "s02", "s03", "s04", "s05", "s06", "s07", "s08", "s09", "s10"},
       {"h1"},
       {{1, 10}, {1, 10}},
       {"s:s01", "s:s02", "s:s03", "s:s04", "s:s05", "s:s06", "s:s07", "s:s08", "s:s09",
        "s:s10", "h:h1"}},
      // The spam credit reaches 1.0 in pass 4 and again in pass 8, whose
      // empty search ends the run.
      {"1 spam, 4 ham",
       {"s1"},
       {"h1", "h2", "h3", "h4"},
       {{1, 0}, {2, 0}, {3, 0}, {4, 1}, {4, 1}, {4, 1}, {4, 1}, {4, 1}},
       {"h:h1", "h:h2", "h:h3", "s:s1", "h:h4"}},
      {"2 spam, 2 ham",
       {"s1", "s2"},
       {"h1", "h2"},
       {{1, 1}, {2, 2}, {2, 2}},
       {"s:s1", "h:h1", "s:s2", "h:h2"}},
      {"no spam files", {}, {"h1", "h2"}, {{1, 0}, {2, 0}, {2, 0}}, {"h:h1", "h:h2"}},
      // No ham files: one pass that trains nothing.
      {"no ham files", {"s1", "s2"}, {}, {{0, 0}}, {}},
      // Files are listed with names folded to upper case.
      {"listing order",
       {"b", "A1", "a2"},
       {"h"},
       {{1, 3}, {1, 3}},
       {"s:A1", "s:a2", "s:b", "h:h"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::resetProcessDictionary();
    ScopedTempDir dir;
    std::string spam = dir.file("spam");
    std::string ham = dir.file("ham");
    fill(spam, c.spamFiles);
    fill(ham, c.hamFiles);
    EXPECT_EQ(progress(c.lines), train(spam, ham));
    EXPECT_EQ(c.order, trainedFiles());
    int spamTrained = 0;
    for (const std::string& file : c.order) spamTrained += file[0] == 's' ? 1 : 0;
    EXPECT_EQ(spamTrained, tokenDictionary.spamMessageTotal);
    EXPECT_EQ(static_cast<int>(c.order.size()) - spamTrained, tokenDictionary.hamMessageTotal);
  }
}

TEST_F(TrainingTest, SkippedEntriesUseNoCredit) {
  // A plain sub-folder and names beginning with "." are neither counted nor
  // trained; if they were counted, the spam step would be 2 and s1 and s2
  // would both come before h1.
  fill(spam_, {"s1", "s2", ".hidden1", ".hidden2"});
  testsupport::makeDir(spam_ + "/a_folder");
  writeMessage(spam_ + "/a_folder", "inner");
  fill(ham_, {"h1", "h2"});
  EXPECT_EQ(2, countMessageFiles(spam_.c_str()));
  EXPECT_EQ(progress({{1, 1}, {2, 2}, {2, 2}}), train(spam_, ham_));
  EXPECT_EQ((std::vector<std::string>{"s:s1", "h:h1", "s:s2", "h:h2"}), trainedFiles());
}

TEST_F(TrainingTest, UnreadableEntryUsesACredit) {
  // A read-only sub-folder carries more than the directory bit: it counts as
  // a message, cannot be read, and uses the spam side's credit of pass 1.
  fill(spam_, {"s2"});
  testsupport::makeDir(spam_ + "/s1");
  ASSERT_EQ(0, chmod((spam_ + "/s1").c_str(), 0555));
  fill(ham_, {"h1", "h2"});
  EXPECT_EQ(2, countMessageFiles(spam_.c_str()));
  EXPECT_EQ(progress({{1, 0}, {2, 1}, {2, 1}}), train(spam_, ham_));
  EXPECT_EQ((std::vector<std::string>{"h:h1", "s:s2", "h:h2"}), trainedFiles());
  EXPECT_EQ(1, tokenDictionary.spamMessageTotal);
  EXPECT_EQ(2, tokenDictionary.hamMessageTotal);
}

TEST_F(TrainingTest, FolderThatCannotBeSearched) {
  fill(spam_, {"s1"});
  fill(ham_, {"h1"});
  const std::string missing = dir_.file("missing");
  struct Case {
    const char* name;
    std::string spam;
    std::string ham;
  };
  const std::vector<Case> cases = {
      {"missing ham folder", spam_, missing},
      {"missing spam folder", missing, ham_},
      {"a file instead of a folder", spam_ + "/s1", ham_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::resetProcessDictionary();
    EXPECT_EQ("\n", train(c.spam, c.ham));
    EXPECT_EQ(0, tokenDictionary.entryCount);
    EXPECT_EQ(0, tokenDictionary.spamMessageTotal);
    EXPECT_EQ(0, tokenDictionary.hamMessageTotal);
  }
  EXPECT_EQ(0, countMessageFiles(missing.c_str()));
}

// A folder path of exactly length characters inside base, made of real
// nested folders.
std::string deepFolder(const std::string& base, size_t length) {
  std::string path = base;
  while (path.size() < length) {
    size_t room = length - path.size() - 1;  // after the separator
    path += "/" + std::string(room > 200 ? 100 : room, 'd');
    testsupport::makeDir(path);
  }
  return path;
}

TEST_F(TrainingTest, PathsThatDoNotFitAreNamedAndSkipped) {
  // The pattern "<folder>/*.*" fits in 1023 characters, the path of a file
  // with a longer name does not: that file is named, not trained, and uses
  // its credit like a file that cannot be read.
  std::string spam = deepFolder(dir_.path(), 1015);
  ASSERT_EQ(1015u, spam.size());
  const std::string longName = "s1_with_a_rather_long_name";
  writeMessage(spam, longName);
  writeMessage(spam, "zz");
  fill(ham_, {"h1", "h2"});
  std::string expected = "Path too long, skipped: " + spam + "/" + longName + "\n" +
                         progress({{1, 0}, {2, 1}, {2, 1}});
  EXPECT_EQ(expected, train(spam, ham_));
  EXPECT_EQ((std::vector<std::string>{"h:h1", "s:zz", "h:h2"}), trainedFiles());

  // A folder whose pattern does not fit is a folder that cannot be searched.
  testsupport::resetProcessDictionary();
  fill(spam_, {"s1"});
  std::string tooLong = dir_.path() + "/" + std::string(1100, 'x');
  EXPECT_EQ("Path too long, skipped: " + tooLong + "\n\n", train(spam_, tooLong));
  EXPECT_EQ(0, tokenDictionary.entryCount);
  EXPECT_EQ(0, countMessageFiles(tooLong.c_str()));
}

TEST(TrainingHelpers, SkippedEntries) {
  struct Case {
    uint32_t attributes;
    const char* name;
    bool skipped;
  };
  const std::vector<Case> cases = {
      {platform::kAttrDirectory, "folder", true},
      {platform::kAttrDirectory | platform::kAttrReadOnly, "folder", false},
      {platform::kAttrDirectory | platform::kAttrArchive, "folder", false},
      {platform::kAttrArchive, "message.eml", false},
      {platform::kAttrArchive, ".hidden", true},
      {platform::kAttrDirectory, ".", true},
      {platform::kAttrDirectory | platform::kAttrReadOnly, "..", true},
      {0, "plain", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.skipped, isSkippedEntry(c.attributes, c.name)) << c.name << " " << c.attributes;
  }
}

TEST(TrainingHelpers, BuildFolderPathNeverCutsShort) {
  char buffer[12];
  EXPECT_TRUE(buildFolderPath(buffer, sizeof buffer, "abc", "defghij"));  // 11 characters
  EXPECT_STREQ("abc" CVSPAM_PATH_SEPARATOR "defghij", buffer);
  EXPECT_FALSE(buildFolderPath(buffer, sizeof buffer, "abc", "defghijk"));
  EXPECT_STREQ("", buffer);
}

}  // namespace
