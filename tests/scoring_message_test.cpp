// Scoring one message file into its result record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/command_procedures.h"
#include "dictionary/token_dictionary.h"
#include "host/filter_settings.h"
#include "scoring/message_scoring.h"
#include "tests/test_support.h"

namespace {

class MessageScoringTest : public testsupport::ScoringFixture {
 protected:
  void SetUp() override {
    ScoringFixture::SetUp();
    tokenDictionary.phraseWordLimit = 0;
    tokenDictionary.phraseWordCount = 0;
    dictionaryLoaded = 1;
    filterSettings.calculationMode = 2;
  }

  std::string message(const std::string& name, const std::string& body) {
    std::string path = dir_.file(name);
    testsupport::writeFile(path, "Subject: hi\n\n" + body);
    return path;
  }

  // The record, and what scoring printed in output.
  std::string score(const std::string& path, std::string* output, int outSize = kResultRecordSize) {
    std::vector<char> out(static_cast<size_t>(outSize > 0 ? outSize : 1), '#');
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, scoreMessage(tokenDictionary, path.c_str(), out.data(), outSize));
    *output = testing::internal::GetCapturedStdout();
    return outSize > 0 ? std::string(out.data()) : std::string();
  }

  testsupport::ScopedTempDir dir_;
};

std::string record(int wc, int wf, const char* sv, const char* cv, const char* sp) {
  return "<RESULT><WC>" + std::to_string(wc) + "</WC><WF>" + std::to_string(wf) + "</WF><SV>" +
         sv + "</SV><CV>" + cv + "</CV><SP>" + sp + "</SP></RESULT>";
}

TEST_F(MessageScoringTest, ScoredRecords) {
  addRow("pills", 1, 3);
  addRow("meeting", 2, 1);
  addRow("aaaa", 7, 3);
  addRow("bbbb", 3, 7);
  struct Case {
    const char* name;
    int mode;
    int loaded;
    std::string body;
    int32_t spamTotal, hamTotal;
    std::string record;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"empty message", 2, 1, "", 10, 10, record(0, 0, "0.000000", "0.000000", "40.000000"),
       " W: 0.400000\n"},
      {"nothing known", 0, 1, "never seen before\n", 10, 10,
       record(3, 0, "0.000000", "0.000000", "40.000000"), "R: 0.400000\n"},
      // 0.75, 1/3 and 0.4 in token order: both products 0.1. SV and CV come
      // from meeting, the last token with both counts.
      {"known tokens", 0, 1, "pills meeting pills unknownword\n", 10, 10,
       record(4, 3, "0.100000", "0.200000", "50.000000"), "R: 0.500000\n"},
      // 0.3 then 0.7 in mode 1: 0.49999999006589274, whose percentage
      // passes through single precision.
      {"percentage through float", 1, 1, "aaaa bbbb\n", 1, 1,
       record(2, 2, "7.000000", "3.000000", "50.000000"), " F: 0.500000\n"},
      {"no dictionary loaded", 0, 0, "pills meeting\n", 10, 10,
       record(2, 0, "0.000000", "0.000000", "40.000000"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    filterSettings.calculationMode = c.mode;
    dictionaryLoaded = c.loaded;
    tokenDictionary.spamMessageTotal = c.spamTotal;
    tokenDictionary.hamMessageTotal = c.hamTotal;
    std::string output;
    EXPECT_EQ(c.record, score(message("m", c.body), &output));
    EXPECT_EQ(c.line, output);
  }
}

TEST_F(MessageScoringTest, FailureRecord) {
  std::string output;
  EXPECT_EQ("<RESULT>FAIL</RESULT>", score(dir_.file("missing"), &output));
  EXPECT_EQ("", output);

  // A folder cannot be read as a message.
  EXPECT_EQ("<RESULT>FAIL</RESULT>", score(dir_.path(), &output));
  EXPECT_EQ("", output);

  // A path longer than the record's path field is never cut short and read
  // as some other file.
  std::string longPath = dir_.path() + "/" + std::string(1100, 'x');
  EXPECT_EQ("<RESULT>FAIL</RESULT>", score(longPath, &output));
  EXPECT_EQ("", output);
}

TEST_F(MessageScoringTest, SmallBufferGetsNoPartialRecord) {
  tokenDictionary.spamMessageTotal = 1;
  tokenDictionary.hamMessageTotal = 1;
  std::string path = message("m", "text\n");
  std::string output;
  EXPECT_EQ("<RESULT>FAIL</RESULT>", score(path, &output, 40));
  EXPECT_EQ("", score(path, &output, 10));
  EXPECT_EQ("", score(path, &output, 0));
}

}  // namespace
