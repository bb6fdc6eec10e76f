// The token index finds every key with its row whatever order the keys
// arrive in, through loads, training and reloads, and keeps its probes short
// for keys that arrive sorted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dictionary/token_dictionary.h"
#include "tests/test_support.h"

namespace {

class TokenIndexTableTest : public testing::Test {
 protected:
  void SetUp() override { testsupport::resetProcessDictionary(); }
  void TearDown() override { testsupport::resetProcessDictionary(); }

  TokenDictionary& d = tokenDictionary;

  void load(const std::string& token) {
    LoadedEntry e{};
    std::snprintf(e.tokenText, sizeof e.tokenText, "%s", token.c_str());
    e.tokenLength = static_cast<int32_t>(token.size());
    e.hamCount = 1;
    e.spamCount = 2;
    addLoadedEntry(d, e);
  }
};

// Every row is found at its own number, and nothing else is found.
void expectEveryRowFound(const TokenDictionary& d, const char* what) {
  for (int32_t row = 0; row < d.entryCount; ++row) {
    ASSERT_EQ(findTokenEntry(&d.indexRoot, d.entries[row].tokenText), row)
        << what << " " << d.entries[row].tokenText;
  }
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "absent"), -1) << what;
  EXPECT_EQ(findTokenEntry(&d.indexRoot, ""), -1) << what;
}

TEST_F(TokenIndexTableTest, EveryKeyIsFoundForEveryInsertionOrder) {
  std::vector<std::string> tokens;
  char token[32];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(token, sizeof token, "%c%05dtok", "AZaz\xe9"[i % 5], i);
    tokens.push_back(token);
  }
  std::vector<std::string> sorted = tokens;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> reversed(sorted.rbegin(), sorted.rend());
  std::vector<std::string> shuffled = tokens;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(11));
  const struct {
    const char* what;
    const std::vector<std::string>* order;
  } cases[] = {{"sorted", &sorted}, {"reversed", &reversed}, {"shuffled", &shuffled}};
  for (const auto& c : cases) {
    testsupport::resetProcessDictionary();
    for (const std::string& t : *c.order) load(t);
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "Z"), -1) << c.what;
    load("Z");  // the seed's key gets its row
    ASSERT_EQ(d.entryCount, 20001) << c.what;
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "Z"), 20000) << c.what;
    expectEveryRowFound(d, c.what);
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "A00000to"), -1);  // a prefix of a key
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "A00000toks"), -1);  // a key and more
  }
}

TEST_F(TokenIndexTableTest, ProbesStayShortForKeysThatDifferOnlyAtTheEnd) {
  // Sorted numbered keys, as an administrator's sort or another tool's
  // export writes them, are the case a poor index degrades on.
  char token[32];
  for (int i = 0; i < 200000; ++i) {
    std::snprintf(token, sizeof token, "tok%07d", i);
    load(token);
  }
  ASSERT_EQ(d.entryCount, 200000);
  EXPECT_LE(longestIndexProbe(&d.indexRoot), 64);
  expectEveryRowFound(d, "numbered");
}

TEST_F(TokenIndexTableTest, TrainingFindsKnownTokensAfterAReleaseAndReload) {
  d.trainAsHam = 0;
  char token[32];
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 5000; ++i) {
      std::snprintf(token, sizeof token, "w%d", (i * 7919) % 3000);
      DictionaryEntry e{token, 0, 1, 1};
      addTokenOccurrence(d, e);
    }
    ASSERT_EQ(d.entryCount, 3000);
    expectEveryRowFound(d, pass == 0 ? "first run" : "after reseeding");
    // Released and seeded again, as a cleanse reloads the dictionary.
    testsupport::resetProcessDictionary();
  }
}

TEST_F(TokenIndexTableTest, LongKeysAreKeptWhole) {
  // Keys longer than a block of nodes still get a node of their own.
  const std::string longKey(100000, 'k');
  int32_t* slot = insertTokenKey(&d.indexRoot, longKey.c_str());
  ASSERT_NE(slot, nullptr);
  *slot = 7;
  load("short");
  EXPECT_EQ(findTokenEntry(&d.indexRoot, longKey.c_str()), 7);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, longKey.substr(1).c_str()), -1);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "short"), 0);
}

}  // namespace
