#include "dictionary/token_dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/test_support.h"

namespace {

class TokenDictionaryTest : public testing::Test {
 protected:
  void SetUp() override { testsupport::resetProcessDictionary(); }
  void TearDown() override { testsupport::resetProcessDictionary(); }

  TokenDictionary& d = tokenDictionary;

  void load(const char* token, int32_t ham, int32_t spam) {
    testsupport::addDictionaryRow(token, ham, spam);
  }

  int train(const char* token, int32_t count) {
    DictionaryEntry e{const_cast<char*>(token), 0, 0, 1};
    (d.trainAsHam ? e.hamCount : e.spamCount) = count;
    return addTokenOccurrence(d, e);
  }
};

TEST_F(TokenDictionaryTest, SeededRootHoldsZWithoutRow) {
  EXPECT_STREQ(d.indexRoot.key, "Z");
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "Z"), -1);
  load("Z", 1, 2);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "Z"), 0);
  EXPECT_EQ(d.entryCount, 1);
}

TEST_F(TokenDictionaryTest, FirstLoadedRowOfATokenWins) {
  load("offer", 1, 57);
  load("offer", 9, 9);
  EXPECT_EQ(d.entryCount, 1);
  TokenCounts counts{"offer", -1, -1};
  EXPECT_EQ(lookupTokenCounts(d, counts), 1);
  EXPECT_EQ(counts.hamCount, 1);
  EXPECT_EQ(counts.spamCount, 57);
}

TEST_F(TokenDictionaryTest, LookupOfUnknownTokenZeroesCounts) {
  load("known", 3, 4);
  TokenCounts counts{"unknown", 7, 8};
  EXPECT_EQ(lookupTokenCounts(d, counts), 0);
  EXPECT_EQ(counts.hamCount, 0);
  EXPECT_EQ(counts.spamCount, 0);
}

TEST_F(TokenDictionaryTest, TrainingAddsToTheClassOfTheMessage) {
  d.trainAsHam = 1;
  EXPECT_EQ(train("money", 3), 1);
  EXPECT_EQ(d.entries[0].hamCount, 3);
  EXPECT_EQ(d.entries[0].spamCount, 0);
  EXPECT_EQ(train("money", 3), 1);
  EXPECT_EQ(d.entries[0].hamCount, 6);
  d.trainAsHam = 0;
  EXPECT_EQ(train("money", 2), 1);
  EXPECT_EQ(d.entries[0].spamCount, 2);
  EXPECT_EQ(d.entries[0].live, 1);
  EXPECT_EQ(d.entryCount, 1);
}

TEST_F(TokenDictionaryTest, IndexStaysFastForSortedAndReverseInput) {
  // A sorted dictionary file must not turn the index into a list.
  char token[16];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(token, sizeof token, "k%06d", i);
    load(token, 1, 1);
  }
  for (int i = 100000; i > 0; --i) {
    std::snprintf(token, sizeof token, "A%06d", i);
    load(token, 1, 1);
  }
  EXPECT_EQ(d.entryCount, 200000);
  EXPECT_LE(longestIndexProbe(&d.indexRoot), 64);
  for (int32_t row = 0; row < d.entryCount; row += 997) {
    EXPECT_EQ(findTokenEntry(&d.indexRoot, d.entries[row].tokenText), row);
  }
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "Z"), -1);
}

TEST_F(TokenDictionaryTest, LoadStopsAtTheTableSize) {
  char token[16];
  for (int i = 0; i < kDictionaryRows; ++i) {
    std::snprintf(token, sizeof token, "t%07d", i);
    load(token, 1, 1);
  }
  LoadedEntry extra{};
  std::snprintf(extra.tokenText, sizeof extra.tokenText, "overflow");
  extra.tokenLength = 8;
  EXPECT_EQ(addLoadedEntry(d, extra), 0);
  EXPECT_EQ(d.entryCount, kDictionaryRows);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "overflow"), -1);
  // A token already present is not refused.
  std::snprintf(extra.tokenText, sizeof extra.tokenText, "t0000001");
  EXPECT_EQ(addLoadedEntry(d, extra), 1);
}

TEST_F(TokenDictionaryTest, FullTableDropsEvenKnownTokensAfterTheLastCleanse) {
  char token[16];
  for (int i = 0; i < kDictionaryRows - 1; ++i) {
    std::snprintf(token, sizeof token, "t%07d", i);
    load(token, 1, 1);
  }
  d.cleanseCount = 3;  // no cleanse left in this run
  d.trainAsHam = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(train("t0000005", 4), 0);
  EXPECT_EQ(train("brandnew", 4), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "**");
  EXPECT_EQ(d.entries[5].spamCount, 1);
  EXPECT_EQ(d.entryCount, kDictionaryRows - 1);
}

TEST_F(TokenDictionaryTest, ClearEmptiesEveryRow) {
  load("alpha", 1, 2);
  freeDictionaryMemory(d);
  clearDictionary(d);
  EXPECT_EQ(d.entryCount, 0);
  EXPECT_EQ(d.entries[0].tokenText, nullptr);
  EXPECT_EQ(d.entries[0].live, 0);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "alpha"), -1);
}

}  // namespace
