// The token list's hash index must give exactly the list a search of every
// entry gives, whatever the record held before and however often it is
// reused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "message/message_tokens.h"

namespace {

struct ExpectedEntry {
  std::string text;
  int32_t count;
};

// What the list must hold after tokens: first-appearance order, the 3 to 30
// character rule, the 400-entry cap with known tokens still counted.
std::vector<ExpectedEntry> expectedList(const std::vector<std::string>& tokens) {
  std::vector<ExpectedEntry> list;
  for (const std::string& token : tokens) {
    if (token.size() < 3 || token.size() > 30) continue;
    bool found = false;
    for (ExpectedEntry& entry : list) {
      if (entry.text == token) {
        ++entry.count;
        found = true;
        break;
      }
    }
    if (!found && list.size() < static_cast<size_t>(kMessageTokenSlots)) list.push_back({token, 1});
  }
  return list;
}

void expectList(const MessageTokens& message, const std::vector<ExpectedEntry>& expected,
                const char* what) {
  ASSERT_EQ(message.tokenCount, static_cast<int32_t>(expected.size())) << what;
  for (size_t i = 0; i < expected.size(); ++i) {
    const DictionaryEntry& entry = message.tokens[i];
    ASSERT_STREQ(entry.tokenText, expected[i].text.c_str()) << what << " entry " << i;
    const int32_t counted = message.countAsHam != 0 ? entry.hamCount : entry.spamCount;
    const int32_t other = message.countAsHam != 0 ? entry.spamCount : entry.hamCount;
    EXPECT_EQ(counted, expected[i].count) << what << " " << entry.tokenText;
    EXPECT_EQ(other, 0) << what << " " << entry.tokenText;
    EXPECT_EQ(entry.live, 1);
  }
}

// A message of count tokens drawn from a vocabulary of the given size, so
// that tokens repeat; some are too short or too long to be recorded.
std::vector<std::string> randomMessage(std::mt19937& random, int count, int vocabulary) {
  std::vector<std::string> tokens;
  std::uniform_int_distribution<int> pick(0, vocabulary - 1);
  std::uniform_int_distribution<int> shape(0, 19);
  for (int i = 0; i < count; ++i) {
    const int word = pick(random);
    switch (shape(random)) {
      case 0:
        tokens.push_back("ab");
        break;
      case 1:
        tokens.push_back(std::string(31, 'q'));
        break;
      case 2:
        tokens.push_back("Word" + std::to_string(word));  // letter case matters
        break;
      default:
        tokens.push_back("word" + std::to_string(word));
    }
  }
  return tokens;
}

TEST(MessageTokenIndexTest, ReusedRecordGivesTheListOfALinearSearch) {
  // The record starts out filled with bytes that look like index slots
  // naming entries, as a record on the stack may.
  struct Case {
    const char* what;
    unsigned char fill;
  } cases[] = {{"zeroed", 0x00}, {"small numbers", 0x01}, {"large numbers", 0xff}};
  for (const Case& c : cases) {
    auto message = std::make_unique<MessageTokens>();
    std::memset(message.get(), c.fill, sizeof(MessageTokens));
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
      // Empty, small, and more distinct tokens than the list can take.
      const int count = round % 6 == 0 ? 0 : (round % 6 == 5 ? 900 : 40 + round * 5);
      const int vocabulary = round % 6 == 5 ? 600 : 120;
      const std::vector<std::string> tokens = randomMessage(random, count, vocabulary);
      message->tokenCount = 0;
      message->countAsHam = static_cast<uint32_t>(round % 2);
      for (const std::string& token : tokens) countMessageToken(*message, token.c_str());
      std::string what = std::string(c.what) + " round " + std::to_string(round);
      expectList(*message, expectedList(tokens), what.c_str());
      freeMessageTokens(*message);
    }
  }
}

TEST(MessageTokenIndexTest, IndexSlotsAllNamingTheFirstEntryStillFindEveryToken) {
  // Every slot names entry 0, as after a message whose first token filled
  // them: no probe meets a free slot until the index is built anew.
  auto message = std::make_unique<MessageTokens>();
  message->tokenCount = 0;
  message->countAsHam = 1;
  countMessageToken(*message, "first");
  for (uint16_t& slot : message->tokenIndex) slot = 1;
  std::vector<std::string> tokens = {"first"};
  char token[16];
  for (int i = 0; i < 50; ++i) {
    std::snprintf(token, sizeof token, "tok%03d", i % 20);
    tokens.push_back(token);
    countMessageToken(*message, token);
  }
  expectList(*message, expectedList(tokens), "all slots naming entry 0");
  freeMessageTokens(*message);
}

TEST(MessageTokenIndexTest, EntriesAddedByHandAreFoundAfterwards) {
  // A caller that fills entries itself: the index is built over them.
  auto message = std::make_unique<MessageTokens>();
  message->tokenCount = 0;
  message->countAsHam = 0;
  countMessageToken(*message, "alpha");
  message->tokens[1] = DictionaryEntry{strdup("bravo"), 0, 4, 1};
  message->tokenCount = 2;
  countMessageToken(*message, "bravo");
  countMessageToken(*message, "alpha");
  countMessageToken(*message, "charlie");
  ASSERT_EQ(message->tokenCount, 3);
  EXPECT_EQ(message->tokens[0].spamCount, 2);
  EXPECT_EQ(message->tokens[1].spamCount, 5);
  EXPECT_STREQ(message->tokens[2].tokenText, "charlie");
  freeMessageTokens(*message);
}

}  // namespace
