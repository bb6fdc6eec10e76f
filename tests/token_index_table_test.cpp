// The index's hash table must always agree with its tree: every key the tree
// holds is found with its row, through loads, training and reloads, while
// the rebalancing moves keys between nodes.
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

// In-order keys of the tree, with every node's row.
void walk(const TokenIndexNode* node, std::vector<std::pair<std::string, int32_t>>& out) {
  if (node == nullptr) return;
  walk(node->lower, out);
  out.emplace_back(node->key, node->entryIndex);
  walk(node->higher, out);
}

void expectTreeAndTableAgree(const TokenDictionary& d, const char* what) {
  std::vector<std::pair<std::string, int32_t>> nodes;
  walk(&d.indexRoot, nodes);
  // One node per row, and the seed "Z" while it has no row.
  const size_t seedWithoutRow = findTokenEntry(&d.indexRoot, "Z") < 0 ? 1 : 0;
  ASSERT_EQ(nodes.size(), static_cast<size_t>(d.entryCount) + seedWithoutRow) << what;
  for (size_t i = 1; i < nodes.size(); ++i) {
    ASSERT_LT(compareTokenKeys(nodes[i - 1].first.c_str(), nodes[i].first.c_str()), 0) << what;
  }
  for (const auto& node : nodes) {
    ASSERT_EQ(findTokenEntry(&d.indexRoot, node.first.c_str()), node.second)
        << what << " " << node.first;
    if (node.second >= 0) {
      ASSERT_STREQ(d.entries[node.second].tokenText, node.first.c_str());
    }
  }
}

TEST_F(TokenIndexTableTest, TreeAndTableAgreeForEveryInsertionOrder) {
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
    load("Z");  // the seed's key gets its row
    ASSERT_EQ(d.entryCount, 20001) << c.what;
    expectTreeAndTableAgree(d, c.what);
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "absent"), -1);
    EXPECT_EQ(findTokenEntry(&d.indexRoot, "A00000to"), -1);  // a prefix of a key
  }
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
    expectTreeAndTableAgree(d, pass == 0 ? "first run" : "after reseeding");
    // Released and seeded again, as a cleanse reloads the dictionary.
    testsupport::resetProcessDictionary();
  }
}

}  // namespace
