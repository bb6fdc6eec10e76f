#include "message/tokenizers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "scoring/bayesian_combiner.h"

namespace {

// Runs the tokenizers on a text with given phrase fields, restoring the
// process dictionary's phrase fields afterwards.
class TokenizerTest : public testing::Test {
 protected:
  void SetUp() override {
    savedLimit_ = tokenDictionary.phraseWordLimit;
    savedCount_ = tokenDictionary.phraseWordCount;
    message_ = std::make_unique<MessageTokens>();
    message_->tokenCount = 0;
    message_->countAsHam = 0;
  }
  void TearDown() override {
    freeMessageTokens(*message_);
    tokenDictionary.phraseWordLimit = savedLimit_;
    tokenDictionary.phraseWordCount = savedCount_;
  }

  void setText(const std::string& text) {
    ASSERT_LT(text.size(), static_cast<size_t>(kMessageTextLimit));
    std::memcpy(message_->text, text.c_str(), text.size() + 1);
    message_->textLength = static_cast<int32_t>(text.size());
  }

  void setPhrase(int32_t limit, int32_t count) {
    tokenDictionary.phraseWordLimit = limit;
    tokenDictionary.phraseWordCount = count;
  }

  // Training tokens of text, as token -> spam count (the list is emptied
  // first, as training does).
  std::map<std::string, int> train(const std::string& text) {
    freeMessageTokens(*message_);
    message_->tokenCount = 0;
    message_->countAsHam = 0;
    setText(text);
    tokenizeForTraining(*message_, tokenDictionary);
    std::map<std::string, int> tokens;
    for (int i = 0; i < message_->tokenCount; ++i) {
      EXPECT_EQ(message_->tokens[i].hamCount, 0);
      tokens[message_->tokens[i].tokenText] = message_->tokens[i].spamCount;
    }
    return tokens;
  }

  std::map<std::string, int> score(const std::string& text, ScoreResult& result) {
    freeMessageTokens(*message_);
    setText(text);
    result = ScoreResult{};
    result.spamProduct = 0.5;
    result.hamProduct = 0.5;
    tokenizeForScoring(*message_, tokenDictionary, result);
    std::map<std::string, int> tokens;
    for (int i = 0; i < message_->tokenCount; ++i) {
      EXPECT_EQ(message_->tokens[i].spamCount, 0);
      tokens[message_->tokens[i].tokenText] = message_->tokens[i].hamCount;
    }
    return tokens;
  }

  std::unique_ptr<MessageTokens> message_;

 private:
  int32_t savedLimit_ = 0;
  int32_t savedCount_ = 0;
};

using Tokens = std::map<std::string, int>;

struct ScanCase {
  const char* name;
  int32_t limit;
  int32_t count;
  std::string text;
  Tokens expected;
  int32_t countAfter;
};

TEST_F(TokenizerTest, TrainingScanFormsRunsAndPhrases) {
  const ScanCase cases[] = {
      {"single runs", 1, 1, "Cheap pills now\n", {{"Cheap", 1}, {"pills", 1}}, 1},
      {"first token after a reset is a phrase", 1, 0, "Cheap pills now\n",
       {{"Cheap pills", 1}}, 1},
      {"no phrases at all", 0, 0, "Cheap pills now\n", {{"Cheap", 1}, {"pills", 1}}, 1},
      {"three-run phrases", 3, 1, "alpha beta gamma delta epsilon zeta\n",
       {{"alpha beta gamma", 1}, {"delta epsilon zeta", 1}}, 1},
      // The last run waits at the text end for a run that never comes.
      {"short run inside a phrase is joined", 2, 1, "alpha an beta",
       {{"alpha an", 1}}, 2},
      {"two separators inside a phrase count as a run", 2, 1, "alpha  beta",
       {{"alpha ", 1}}, 2},
      {"the closing NUL counts as a run of a phrase", 2, 1, "alpha beta gamma\n",
       {{"alpha beta", 1}, {"gamma ", 1}}, 1},
      {"tab separates", 1, 1, "alpha\tbeta\n", {{"alpha", 1}, {"beta", 1}}, 1},
      {"punctuation stays", 1, 1, "Hello, world!\n", {{"Hello,", 1}, {"world!", 1}}, 1},
      {"only angle brackets split markup", 1, 1, "<font color=\"#ff0000\">WIN</font>\n",
       {{"font", 1}, {"color=\"#ff0000\"", 1}, {"/font", 1}}, 1},
      {"repeats count", 1, 1, "free free free\n", {{"free", 3}}, 1},
      {"a run of 40 letters gives nothing", 1, 1, std::string(40, 'a') + " okay\n",
       {{"okay", 1}}, 1},
      {"31 characters are refused, 30 kept", 1, 1,
       std::string(31, 'b') + " " + std::string(30, 'c'), {{std::string(30, 'c'), 1}}, 1},
      {"the text end ends the last run", 1, 1, "last word", {{"last", 1}, {"word", 1}}, 1},
      {"bytes above 0x7F are token characters", 1, 1, "caf\xc3\xa9 ok\n",
       {{"caf\xc3\xa9", 1}}, 1},
      {"empty text", 1, 1, "", {}, 1},
  };
  for (const ScanCase& c : cases) {
    setPhrase(c.limit, c.count);
    EXPECT_EQ(train(c.text), c.expected) << c.name;
    EXPECT_EQ(tokenDictionary.phraseWordCount, c.countAfter) << c.name;
  }
}

TEST_F(TokenizerTest, PhraseStateCarriesOverBetweenMessages) {
  setPhrase(1, 0);
  EXPECT_EQ(train("alpha\n"), (Tokens{{"alpha ", 1}}));
  EXPECT_EQ(tokenDictionary.phraseWordCount, 1);
  EXPECT_EQ(train("bravo charlie\n"), (Tokens{{"bravo", 1}, {"charlie", 1}}));

  // A phrase still waiting for its next run when the scan stops at
  // position 4096 is dropped; the count it reached stays.
  setPhrase(1, 0);
  EXPECT_EQ(train(std::string(4090, ' ') + "alpha beta\n"), Tokens{});
  EXPECT_EQ(tokenDictionary.phraseWordCount, 1);
}

TEST_F(TokenizerTest, ScanStopsAfterPosition4096) {
  setPhrase(1, 1);
  // A run whose separator stands at position 4096 is formed.
  std::string text = std::string(4090, ' ') + "endsok" + " tail\n";
  ASSERT_EQ(text[4096], ' ');
  EXPECT_EQ(train(text), (Tokens{{"endsok", 1}}));
  // A run whose last character stands at position 4096 is not: its
  // separator is never looked at.
  text = std::string(4091, ' ') + "endsok" + "\n";
  ASSERT_EQ(text[4096], 'k');
  EXPECT_EQ(train(text), Tokens{});
  // Nor when the text ends just after it: the end is past the last
  // position the scan looks at.
  text = std::string(4091, ' ') + "endsok";
  ASSERT_EQ(text.size(), 4097u);
  EXPECT_EQ(train(text), Tokens{});
  // A text that ends at the last position itself ends its run there.
  text = std::string(4090, ' ') + "endsok";
  ASSERT_EQ(text.size(), 4096u);
  EXPECT_EQ(train(text), (Tokens{{"endsok", 1}}));
}

TEST_F(TokenizerTest, OverlongPhraseIsDroppedAndScanGoesOn) {
  // A 31-character run followed by a separator while the phrase may go on
  // fills the buffer with a blank; the phrase is refused when it ends and
  // the following runs still give tokens.
  const std::string run31(31, 'r');
  setPhrase(1, 0);
  EXPECT_EQ(train(run31 + " next more tokens here\n"),
            (Tokens{{"more", 1}, {"tokens", 1}, {"here", 1}}));
  EXPECT_EQ(tokenDictionary.phraseWordCount, 1);

  // With three-run phrases the overflowing phrase still spans three runs.
  setPhrase(3, 1);
  EXPECT_EQ(train(run31 + " two three four five sixx\n"), (Tokens{{"four five sixx", 1}}));

  ScoreResult result{};
  setPhrase(1, 0);
  EXPECT_EQ(score(run31 + " next more\n", result), (Tokens{{"more", 1}}));
  EXPECT_EQ(result.emittedTokens, 2);  // the refused phrase, then more
}

TEST_F(TokenizerTest, ScoringCountsEveryTokenFormed) {
  ScoreResult result{};
  setPhrase(1, 1);
  EXPECT_EQ(score("free free free\n", result), (Tokens{{"free", 3}}));
  EXPECT_EQ(result.emittedTokens, 3);
  EXPECT_EQ(result.spamProduct, 0.0);
  EXPECT_EQ(result.hamProduct, 0.0);
  EXPECT_EQ(message_->countAsHam, 1u);

  // A tab is a token character when scoring.
  EXPECT_EQ(score("alpha\tbeta\n", result), (Tokens{{"alpha\tbeta", 1}}));

  EXPECT_EQ(score("a bb ccc\n", result), Tokens{});
  EXPECT_EQ(result.emittedTokens, 0);

  EXPECT_EQ(score(std::string(40, 'z') + "\n", result), Tokens{});
  EXPECT_EQ(result.emittedTokens, 1);
}

TEST_F(TokenizerTest, ScoringListHoldsAt400WhileEveryTokenIsCounted) {
  std::string text;
  char word[16];
  for (int i = 0; i < 450; ++i) {
    std::snprintf(word, sizeof word, "w%03d ", i);
    text += word;
  }
  ScoreResult result{};
  setPhrase(0, 0);
  score(text, result);
  EXPECT_EQ(message_->tokenCount, kMessageTokenSlots);
  EXPECT_EQ(result.emittedTokens, 450);
}

void* failingAllocate(std::size_t) { return nullptr; }

TEST_F(TokenizerTest, WorkBufferFailureFormsNoTokens) {
  setPhrase(1, 1);
  setText("plenty of words here\n");
  ScoreResult result{};
  testing::internal::CaptureStdout();
  messageAllocate = failingAllocate;
  tokenizeForTraining(*message_, tokenDictionary);
  tokenizeForScoring(*message_, tokenDictionary, result);
  messageAllocate = std::malloc;
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Insufficient memory available\nInsufficient memory available\n");
  EXPECT_EQ(message_->tokenCount, 0);
  EXPECT_EQ(result.emittedTokens, 0);
}

}  // namespace
