#include "message/message_tokens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::unique_ptr<MessageTokens> emptyRecord(uint32_t countAsHam) {
  auto message = std::make_unique<MessageTokens>();
  message->tokenCount = 0;
  message->countAsHam = countAsHam;
  return message;
}

struct LengthCase {
  size_t length;
  bool recorded;
};

TEST(MessageTokensTest, RecordsTokensOfThreeToThirtyCharacters) {
  const LengthCase cases[] = {{2, false}, {3, true}, {4, true}, {30, true}, {31, false}};
  for (const LengthCase& c : cases) {
    auto message = emptyRecord(1);
    countMessageToken(*message, std::string(c.length, 'x').c_str());
    EXPECT_EQ(message->tokenCount, c.recorded ? 1 : 0) << "length " << c.length;
    freeMessageTokens(*message);
  }
}

TEST(MessageTokensTest, RepeatsCountIntoTheMessageClass) {
  for (uint32_t asHam : {1u, 0u}) {
    auto message = emptyRecord(asHam);
    for (int i = 0; i < 5; ++i) countMessageToken(*message, "offer");
    ASSERT_EQ(message->tokenCount, 1);
    EXPECT_STREQ(message->tokens[0].tokenText, "offer");
    EXPECT_EQ(message->tokens[0].hamCount, asHam ? 5 : 0);
    EXPECT_EQ(message->tokens[0].spamCount, asHam ? 0 : 5);
    EXPECT_EQ(message->tokens[0].live, 1);
    freeMessageTokens(*message);
  }
}

TEST(MessageTokensTest, LetterCaseMakesDistinctTokens) {
  auto message = emptyRecord(0);
  countMessageToken(*message, "Money");
  countMessageToken(*message, "money");
  countMessageToken(*message, "Money");
  ASSERT_EQ(message->tokenCount, 2);
  EXPECT_EQ(message->tokens[0].spamCount, 2);
  EXPECT_EQ(message->tokens[1].spamCount, 1);
  freeMessageTokens(*message);
}

TEST(MessageTokensTest, FullListDropsNewTokensButCountsKnownOnes) {
  auto message = emptyRecord(1);
  char token[16];
  for (int i = 0; i < kMessageTokenSlots; ++i) {
    std::snprintf(token, sizeof token, "tok%04d", i);
    countMessageToken(*message, token);
  }
  ASSERT_EQ(message->tokenCount, kMessageTokenSlots);
  countMessageToken(*message, "brandnew");
  EXPECT_EQ(message->tokenCount, kMessageTokenSlots);
  for (int i = 0; i < kMessageTokenSlots; ++i) {
    EXPECT_STRNE(message->tokens[i].tokenText, "brandnew");
  }
  countMessageToken(*message, "tok0000");
  EXPECT_EQ(message->tokens[0].hamCount, 2);
  freeMessageTokens(*message);
}

void* failingAllocate(std::size_t) { return nullptr; }

TEST(MessageTokensTest, FailedCopyDropsTheTokenWithoutAnEmptyEntry) {
  auto message = emptyRecord(1);
  countMessageToken(*message, "first");
  testing::internal::CaptureStdout();
  messageAllocate = failingAllocate;
  countMessageToken(*message, "second");
  messageAllocate = std::malloc;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Insufficient memory available\n");
  ASSERT_EQ(message->tokenCount, 1);
  EXPECT_STREQ(message->tokens[0].tokenText, "first");
  // The list goes on working once memory is back.
  countMessageToken(*message, "second");
  ASSERT_EQ(message->tokenCount, 2);
  EXPECT_STREQ(message->tokens[1].tokenText, "second");
  freeMessageTokens(*message);
}

TEST(MessageTokensTest, FreeReleasesTextsAndKeepsTheCount) {
  auto message = emptyRecord(1);
  EXPECT_EQ(freeMessageTokens(*message), 1);  // empty list: nothing to do
  countMessageToken(*message, "alpha");
  countMessageToken(*message, "bravo");
  EXPECT_EQ(freeMessageTokens(*message), 1);
  EXPECT_EQ(message->tokenCount, 2);
  EXPECT_EQ(message->tokens[0].tokenText, nullptr);
  // A second release of the same list frees nothing twice.
  EXPECT_EQ(freeMessageTokens(*message), 1);
}

TEST(MessageTokensTest, PathMustFitTheRecord) {
  auto message = emptyRecord(1);
  const std::string longest(kMessagePathSize - 1, 'p');
  EXPECT_TRUE(setMessagePath(*message, longest.c_str()));
  EXPECT_EQ(std::string(message->path), longest);

  const std::string tooLong(kMessagePathSize, 'p');
  EXPECT_FALSE(setMessagePath(*message, tooLong.c_str()));
  EXPECT_STREQ(message->path, "");
}

}  // namespace
