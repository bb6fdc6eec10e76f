// Verifying a dictionary against a folder: per-file lines, deciles and the
// completion lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/command_procedures.h"
#include "dictionary/token_dictionary.h"
#include "host/filter_settings.h"
#include "scoring/folder_verification.h"
#include "tests/test_support.h"

namespace {

std::string percentiles(const std::vector<int>& buckets) {
  std::string text = "Results: \r\n";
  for (int b = 0; b < 10; ++b) {
    text += "Percentile: " + std::to_string(b * 10) + "% " + std::to_string(buckets[b]) + "\n";
  }
  return text;
}

std::string completion(int files, int tokens) {
  return "\nDictionary Verify Completed:\nTime Taken: X milliseconds\nVerified: " +
         std::to_string(files) + " files\nDictionary Size: " + std::to_string(tokens) +
         " tokens\n";
}

class VerificationTest : public testsupport::ScoringFixture {
 protected:
  void SetUp() override {
    ScoringFixture::SetUp();
    tokenDictionary.phraseWordLimit = 0;
    tokenDictionary.phraseWordCount = 0;
    dictionaryLoaded = 1;
    folder_ = dir_.file("messages");
    testsupport::makeDir(folder_);
  }

  void message(const std::string& name, const std::string& body) {
    testsupport::writeFile(folder_ + "/" + name, "Subject: hi\n\n" + body + "\n");
  }

  std::string verify(const std::string& folder, int32_t expectedFiles) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(expectedFiles, verifyFolder(tokenDictionary, folder.c_str()));
    return testing::internal::GetCapturedStdout();
  }

  testsupport::ScopedHostDir host_;
  testsupport::ScopedTempDir dir_;
  std::string folder_;
};

TEST_F(VerificationTest, DecilesOfAFolder) {
  // Seven spam-only tokens: 0.99 each, SP rounds to exactly 100 in single
  // precision and belongs to the top decile.
  addRow("spam0001", 0, 5);
  addRow("spam0002", 0, 5);
  addRow("spam0003", 0, 5);
  addRow("spam0004", 0, 5);
  addRow("spam0005", 0, 5);
  addRow("spam0006", 0, 5);
  addRow("spam0007", 0, 5);
  addRow("tenthtoken", 9, 1);  // 0.1: SP 10 starts the second decile
  addRow("hamtoken", 5, 0);    // 0.01
  tokenDictionary.spamMessageTotal = 1;
  tokenDictionary.hamMessageTotal = 1;

  message("m1_spam", "spam0001 spam0002 spam0003 spam0004 spam0005 spam0006 spam0007");
  message("m2_tenth", "tenthtoken");
  message("m3_ham", "hamtoken");
  message("m4_unknown", "nothingknown");
  // A read-only folder is handled as a file: it gives the failure record,
  // is counted, and prints no mode line.
  testsupport::makeDir(folder_ + "/m5_folder");
  ASSERT_EQ(0, chmod((folder_ + "/m5_folder").c_str(), 0555));
  message("m6_unknown", "nothingknown");
  // Skipped: a plain folder and names beginning with ".".
  testsupport::makeDir(folder_ + "/plain_folder");
  message(".hidden", "spam0001");

  std::string expected =
      "m1_spam:  W: 1.000000\n"
      "m2_tenth:  W: 0.100000\n"
      "m3_ham:  W: 0.010000\n"
      "m4_unknown:  W: 0.400000\n"
      "m5_folder: m6_unknown:  W: 0.400000\n" +
      percentiles({1, 1, 0, 0, 2, 0, 0, 0, 0, 1}) + completion(6, 9);
  EXPECT_EQ(expected, testsupport::maskTimes(verify(folder_, 6)));
  EXPECT_EQ(2, filterSettings.calculationMode);
}

TEST_F(VerificationTest, CalculationModeIsReadAgain) {
  host_.writeRegistry(testsupport::filterKeyRegistry({"\"Bayesian Calculation Mode\"=dword:00000000"}));
  filterSettings.calculationMode = 1;
  message("only", "nothingknown");
  std::string expected = "only: R: 0.400000\n" + percentiles({0, 0, 0, 0, 1, 0, 0, 0, 0, 0}) +
                         completion(1, 0);
  EXPECT_EQ(expected, testsupport::maskTimes(verify(folder_, 1)));
  EXPECT_EQ(0, filterSettings.calculationMode);
}

TEST_F(VerificationTest, EmptyAndMissingFolders) {
  filterSettings.calculationMode = 0;
  EXPECT_EQ(percentiles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) + completion(0, 0),
            testsupport::maskTimes(verify(folder_, 0)));
  // Without the setting the mode falls back to 2.
  EXPECT_EQ(2, filterSettings.calculationMode);

  EXPECT_EQ("", verify(dir_.file("missing"), 0));
  testsupport::writeFile(dir_.file("a_file"), "x");
  EXPECT_EQ("", verify(dir_.file("a_file"), 0));
}

TEST_F(VerificationTest, PathsThatDoNotFit) {
  std::string tooLong = dir_.path() + "/" + std::string(1100, 'x');
  EXPECT_EQ("Path too long, skipped: " + tooLong + "\n", verify(tooLong, 0));

  // A folder whose pattern fits but whose file's path does not: the file is
  // counted like one that cannot be read, named, and enters no decile.
  std::string folder = dir_.path();
  while (folder.size() < 1015) {
    size_t room = 1015 - folder.size() - 1;
    folder += "/" + std::string(room > 200 ? 100 : room, 'd');
    testsupport::makeDir(folder);
  }
  std::string name = "message_with_a_long_name";
  testsupport::writeFile(folder + "/" + name, "Subject: hi\n\nnothingknown\n");
  std::string expected = name + ": Path too long, skipped: " + folder + "/" + name + "\n" +
                         percentiles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) + completion(1, 0);
  EXPECT_EQ(expected, testsupport::maskTimes(verify(folder, 1)));
}

TEST(ExtractBetween, Cases) {
  struct Case {
    const char* name;
    const char* text;
    const char* open;
    const char* close;
    int outSize;
    const char* out;    // expected out; "untouched" when the markers are missing
    int endOffset;      // -1: null
  };
  const std::vector<Case> cases = {
      {"record", "<RESULT><SP>12.5</SP></RESULT>", "<SP>", "</SP>", 64, "12.5", 21},
      {"first open, first close after it", "a[1]b[2]", "[", "]", 64, "1", 4},
      {"close before open is not used", "]x[y]", "[", "]", 64, "y", 5},
      {"empty open starts at the beginning", "abc]def]", "", "]", 64, "abc", 4},
      {"empty text between", "<SP></SP>", "<SP>", "</SP>", 64, "", 9},
      {"no open marker", "<RESULT>FAIL</RESULT>", "<SP>", "</SP>", 64, "untouched", -1},
      {"no close marker", "<SP>12.5", "<SP>", "</SP>", 64, "untouched", -1},
      {"cut to the buffer", "<SP>123456</SP>", "<SP>", "</SP>", 4, "123", 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char out[64];
    std::strcpy(out, "untouched");
    const char* end = extractBetween(c.text, c.open, c.close, out, c.outSize);
    EXPECT_STREQ(c.out, out);
    if (c.endOffset < 0) {
      EXPECT_EQ(nullptr, end);
    } else {
      EXPECT_EQ(c.text + c.endOffset, end);
    }
  }
}

}  // namespace
