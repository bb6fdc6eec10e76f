// Messages read and tokenized ahead on worker threads must come out exactly
// as reading each one on the caller's thread would give them: the same
// tokens, counts and phrase state, in order, whatever the number of workers,
// including when the phrase state a worker assumed turns out to be wrong.
#include "message/analysis_queue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dictionary/token_dictionary.h"
#include "cli/command_procedures.h"
#include "host/filter_settings.h"
#include "message/message_reader.h"
#include "scoring/corpus_training.h"
#include "scoring/folder_verification.h"
#include "tests/test_support.h"

namespace {

using testsupport::ScopedTempDir;

// Messages of different shapes: plain, quoted-printable, base64, multipart,
// with few or no token runs (which leave the phrase state as it was).
std::string messageText(int i) {
  const std::string number = std::to_string(i);
  switch (i % 6) {
    case 0:
      return "Subject: plain " + number + "\n\nhello world message number" + number +
             " again\n";
    case 1:
      return "Subject: qp\nContent-Transfer-Encoding: quoted-printable\n\nsoft=\nbreak caf=E9 "
             "token" + number + "\n";
    case 2:
      return "Subject: b64\nContent-Transfer-Encoding: base64\n\naGVsbG8gYmFzZTY0IHdvcmxk\n";
    case 3:
      return "Subject: mp\nContent-Type: multipart/mixed; boundary=\"XX\"\n\n--XX\n"
             "Content-Type: text/plain\n\nfirst part" + number + " words\n--XX\n"
             "Content-Type: text/html\n\n<p>second <b>part</b> markup</p>\n--XX--\n";
    case 4:
      return "Subject: a\n\nab cd\n";  // no run long enough to form a token
    default:
      return "Subject: tabs\n\ncolumn\tseparated\tvalues" + number + "\n";
  }
}

// What a message gives: whether it was read, its tokens with their counts,
// the scan's count of tokens formed, and the phrase state after it.
std::string describe(const AnalysedMessage& analysed, const PhraseState& after) {
  std::string text = "read=" + std::to_string(analysed.readResult);
  for (int32_t i = 0; i < analysed.message.tokenCount; ++i) {
    const DictionaryEntry& entry = analysed.message.tokens[i];
    text += " [" + std::string(entry.tokenText) + " " + std::to_string(entry.hamCount) + "/" +
            std::to_string(entry.spamCount) + "]";
  }
  text += " emitted=" + std::to_string(analysed.result.emittedTokens);
  text += " phrase=" + std::to_string(after.wordLimit) + "/" + std::to_string(after.wordCount);
  return text;
}

class AnalysisQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 45; ++i) names_.push_back("m" + std::to_string(100 + i));
    for (int i = 0; i < 45; ++i) {
      testsupport::writeFile(dir_.file(names_[i]), messageText(i));
      jobs_.push_back({dir_.path().c_str(), names_[i].c_str(), static_cast<uint32_t>(i % 2)});
    }
    // Files that cannot be read, at places where the phrase state differs.
    for (int at : {1, 4, 20, 34, 37}) {
      jobs_.insert(jobs_.begin() + at, AnalysisJob{dir_.path().c_str(), "missing", 1});
    }
    // And a path too long to be read at all.
    jobs_.push_back({dir_.path().c_str(), longName_.c_str(), 1});
  }
  void TearDown() override { analysisThreadSetting = -1; }

  std::vector<std::string> run(AnalysisKind kind, int workers, PhraseState phrase) {
    analysisThreadSetting = workers;
    MessageAnalysisQueue queue(kind, jobs_, phrase);
    EXPECT_EQ(queue.workerCount(), workers);
    std::vector<std::string> seen;
    for (size_t i = 0; i < jobs_.size(); ++i) {
      AnalysedMessage& analysed = queue.take(phrase);
      seen.push_back(describe(analysed, phrase));
      queue.giveBack();
    }
    return seen;
  }

  ScopedTempDir dir_;
  std::vector<std::string> names_;
  const std::string longName_ = std::string(1100, 'n');
  std::vector<AnalysisJob> jobs_;
};

TEST_F(AnalysisQueueTest, WorkersGiveWhatTheCallersThreadGives) {
  const struct {
    const char* what;
    AnalysisKind kind;
    PhraseState first;
  } cases[] = {
      // The state every command starts from: the first message joins two runs.
      {"training, fresh phrase", AnalysisKind::Training, {1, 0}},
      {"scoring, fresh phrase", AnalysisKind::Scoring, {1, 0}},
      // Longer phrases end at other places in every message, so the workers'
      // guess is mostly wrong and the tokens are formed again on take().
      {"training, three-run phrases", AnalysisKind::Training, {2, 0}},
      {"scoring, three-run phrases", AnalysisKind::Scoring, {2, 1}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> reference = run(c.kind, 0, c.first);
    ASSERT_EQ(reference.size(), jobs_.size());
    EXPECT_EQ(reference[20].substr(0, 6), "read=0") << c.what;
    EXPECT_EQ(reference.back().substr(0, 6), "read=0") << c.what;
    for (int workers : {1, 2, 4}) {
      EXPECT_EQ(run(c.kind, workers, c.first), reference) << c.what << ", " << workers;
    }
  }
}

TEST_F(AnalysisQueueTest, StoppingEarlyLeavesNothingRunning) {
  // A caller that stops after a few messages: the queue goes away with its
  // workers blocked on a full ring, and frees what they analysed.
  for (int workers : {1, 3}) {
    analysisThreadSetting = workers;
    PhraseState phrase{1, 0};
    MessageAnalysisQueue queue(AnalysisKind::Training, jobs_, phrase);
    for (int i = 0; i < 3; ++i) {
      queue.take(phrase);
      queue.giveBack();
    }
  }
}

// Whole runs of training and verification over folders print the same lines
// and build the same dictionary with workers as without.
class ThreadedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::makeDir(dir_.file("spam"));
    testsupport::makeDir(dir_.file("ham"));
    testsupport::makeDir(dir_.file("ham/sub"));  // a folder, passed over
    testsupport::writeFile(dir_.file("ham/.hidden"), "Subject: x\n\nnever read\n");
    for (int i = 0; i < 70; ++i) {
      const std::string folder = i % 3 == 0 ? "spam" : "ham";
      testsupport::writeFile(dir_.file(folder + "/msg" + std::to_string(1000 + i)),
                             messageText(i) + "offer" + std::to_string(i % 7) + " free\n");
    }
  }
  void TearDown() override {
    analysisThreadSetting = -1;
    testsupport::resetProcessDictionary();
  }

  // The progress lines, every row of the dictionary and the verify report.
  std::string trainAndVerify(int workers) {
    analysisThreadSetting = workers;
    testsupport::resetProcessDictionary();
    tokenDictionary.phraseWordLimit = 1;
    tokenDictionary.phraseWordCount = 0;
    testing::internal::CaptureStdout();
    trainFromFolders(tokenDictionary, dir_.file("spam").c_str(), dir_.file("ham").c_str());
    std::string out = testing::internal::GetCapturedStdout();
    for (int32_t row = 0; row < tokenDictionary.entryCount; ++row) {
      const DictionaryEntry& entry = tokenDictionary.entries[row];
      out += std::string(entry.tokenText) + "\t" + std::to_string(entry.spamCount) + "\t" +
             std::to_string(entry.hamCount) + "\n";
    }
    testing::internal::CaptureStdout();
    verifyFolder(tokenDictionary, dir_.file("ham").c_str());
    out += testsupport::maskTimes(testing::internal::GetCapturedStdout());
    return out;
  }

  ScopedTempDir dir_;
};

TEST_F(ThreadedRunTest, TrainingAndVerifyingPrintAndBuildTheSame) {
  const int loaded = dictionaryLoaded;
  dictionaryLoaded = 1;
  const std::string serial = trainAndVerify(0);
  EXPECT_NE(serial.find("Ham added=46, Spam added=24"), std::string::npos) << serial;
  EXPECT_NE(serial.find("Verified: 46 files"), std::string::npos) << serial;
  EXPECT_EQ(trainAndVerify(2), serial);
  EXPECT_EQ(trainAndVerify(4), serial);
  dictionaryLoaded = loaded;
}

}  // namespace
