// The combiners' selection and products, and the per-token probabilities of
// scoreTokens against a small dictionary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/token_dictionary.h"
#include "host/filter_settings.h"
#include "message/message_tokens.h"
#include "scoring/bayesian_combiner.h"
#include "tests/test_support.h"

namespace {

struct Factor {
  double probability;
  int32_t occurrences;
};

ScoreResult freshResult(int32_t foundOccurrences) {
  ScoreResult result{};
  result.probability = 0.4;
  result.foundOccurrences = foundOccurrences;
  return result;
}

TokenProbabilityList makeList(const std::vector<Factor>& factors) {
  TokenProbabilityList list{};
  for (const Factor& f : factors) {
    list.entries[list.count].probability = f.probability;
    list.entries[list.count].occurrences = f.occurrences;
    ++list.count;
  }
  return list;
}

int32_t runCombiner(int mode, TokenProbabilityList& list, ScoreResult& result) {
  switch (mode) {
    case 0:
      return combineByProbability(list, result);
    case 1:
      return combineByOccurrences(list, result);
    default:
      return combineByWeight(list, result);
  }
}

// Exact products: these are the figures the filter agent prints for the same
// message, so they are compared bit for bit.
struct ExactCase {
  const char* name;
  int mode;
  std::vector<Factor> factors;
  int32_t foundOccurrences;
  double spamProduct;
  double hamProduct;
  double probability;
};

TEST(ScoringCombiner, ExactProductsPerMode) {
  const std::vector<ExactCase> cases = {
      // Mode 1 walks from the last token and narrows the old ham product.
      {"0.3 then 0.7, occurrences", 1, {{0.3, 1}, {0.7, 1}}, 2, 0.21, 0.21000000834465027,
       0.49999999006589274},
      {"0.3 then 0.7, probability", 0, {{0.3, 1}, {0.7, 1}}, 2, 0.21, 0.21000000000000002,
       0.49999999999999994},
      {"0.3 then 0.7, weight", 2, {{0.3, 1}, {0.7, 1}}, 2, 0.21, 0.21000000000000002,
       0.49999999999999994},
      {"one spam-only token, probability", 0, {{0.99, 1}}, 1, 0.99, 0.010000000000000009, 0.99},
      {"one spam-only token, occurrences", 1, {{0.99, 1}}, 1, 0.99, 0.010000000000000009, 0.99},
      {"one spam-only token, weight", 2, {{0.99, 1}}, 1, 0.99, 0.010000000000000009, 0.99},
      {"no tokens, probability", 0, {}, 0, 0.0, 0.0, 0.4},
      {"no tokens, occurrences", 1, {}, 0, 0.0, 0.0, 0.4},
      {"no tokens, weight", 2, {}, 0, 0.0, 0.0, 0.4},
      // Nothing found: the products are computed but the result is 0.4.
      {"unknown tokens, probability", 0, {{0.4, 1}, {0.4, 2}}, 0, 0.16000000000000003, 0.36, 0.4},
      {"unknown tokens, occurrences", 1, {{0.4, 1}, {0.4, 2}}, 0, 0.16000000000000003,
       0.36000001430511475, 0.4},
      {"unknown tokens, weight", 2, {{0.4, 1}, {0.4, 2}}, 0, 0.16000000000000003, 0.36, 0.4},
  };
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(c.name);
    TokenProbabilityList list = makeList(c.factors);
    ScoreResult result = freshResult(c.foundOccurrences);
    EXPECT_EQ(1, runCombiner(c.mode, list, result));
    EXPECT_EQ(c.spamProduct, result.spamProduct);
    EXPECT_EQ(c.hamProduct, result.hamProduct);
    EXPECT_EQ(c.probability, result.probability);
  }
}

// Which entries a combiner selects, and how often. Every probability is a
// distinct power of two, so the spam product is exact whatever the order and
// its exponent is the sum of the exponents taken: an entry taken twice shows.
struct SelectionCase {
  const char* name;
  int mode;
  int entries;            // probabilities 2^-1 .. 2^-entries, given shuffled
  bool occurrencesRise;   // occurrences k for 2^-k (else all 1)
  int expectedExponent;   // spam product is 2^-expectedExponent
};

std::vector<Factor> powerFactors(int entries, bool occurrencesRise) {
  std::vector<Factor> factors;
  // A fixed shuffle so that no combiner can pass by relying on input order.
  for (int i = 0; i < entries; ++i) {
    int k = 1 + (i * 7 + 3) % entries;
    factors.push_back({std::ldexp(1.0, -k), occurrencesRise ? k : 1});
  }
  return factors;
}

int sumRange(int from, int to) {  // from + ... + to
  int sum = 0;
  for (int k = from; k <= to; ++k) sum += k;
  return sum;
}

TEST(ScoringCombiner, SelectionAndOverlap) {
  // Sorted ascending, entry i holds 2^-(n - i): the lowest probabilities have
  // the largest exponents.
  const std::vector<SelectionCase> cases = {
      // Mode 0: 8 lowest, then for n > 8 the 8 highest.
      {"probability, 7 entries: each once", 0, 7, false, sumRange(1, 7)},
      {"probability, 8 entries: first pass only", 0, 8, false, sumRange(1, 8)},
      {"probability, 9 entries: 1..7 twice", 0, 9, false, sumRange(2, 9) + sumRange(1, 8)},
      {"probability, 10 entries: 2..7 twice", 0, 10, false, sumRange(3, 10) + sumRange(1, 8)},
      {"probability, 16 entries: no overlap", 0, 16, false, sumRange(9, 16) + sumRange(1, 8)},
      {"probability, 20 entries: ends only", 0, 20, false, sumRange(13, 20) + sumRange(1, 8)},
      // Mode 2 with one occurrence each: the weight is the probability; 7
      // from each end.
      {"weight, 7 entries: first pass only", 2, 7, false, sumRange(1, 7)},
      {"weight, 10 entries: 3..6 twice", 2, 10, false, sumRange(4, 10) + sumRange(1, 7)},
      {"weight, 14 entries: no overlap", 2, 14, false, sumRange(8, 14) + sumRange(1, 7)},
      // Mode 2 weighs by occurrences: with occurrences k on 2^-k the weight
      // k * 2^-k falls as k grows (1 and 2 tie at 0.5).
      {"weight by occurrences, 20 entries", 2, 20, true, sumRange(14, 20) + sumRange(1, 7)},
      // Mode 1: the 8 most frequent tokens only.
      {"occurrences, 10 entries", 1, 10, true, sumRange(3, 10)},
      {"occurrences, 5 entries: all", 1, 5, true, sumRange(1, 5)},
      {"occurrences, 30 entries", 1, 30, true, sumRange(23, 30)},
  };
  for (const SelectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TokenProbabilityList list = makeList(powerFactors(c.entries, c.occurrencesRise));
    ScoreResult result = freshResult(1);
    runCombiner(c.mode, list, result);
    EXPECT_EQ(std::ldexp(1.0, -c.expectedExponent), result.spamProduct);
    EXPECT_TRUE(std::isfinite(result.probability));
  }
}

TEST(ScoringCombiner, ShortListsKeepTokenOrder) {
  // Below the selection size nothing is sorted: mode 1 enters the tokens from
  // the last to the first, modes 0 and 2 from the first to the last. The
  // ham product's narrowing shows the order.
  TokenProbabilityList list = makeList({{0.7, 9}, {0.3, 1}});
  ScoreResult result = freshResult(2);
  combineByOccurrences(list, result);
  // 0.3 first: ham 1 - 0.3, then (1 - 0.7) times that through float.
  EXPECT_EQ((1.0 - 0.7) * static_cast<double>(static_cast<float>(1.0 - 0.3)), result.hamProduct);
  EXPECT_EQ(0.7, list.entries[0].probability);

  list = makeList({{0.7, 9}, {0.3, 1}});
  result = freshResult(2);
  combineByWeight(list, result);
  EXPECT_EQ((1.0 - 0.3) * (1.0 - 0.7), result.hamProduct);
  EXPECT_EQ(0.7, list.entries[0].probability);
}

// The combiners pick the ends of the list without sorting it. Whatever the
// list, they must take the same entries in the same order as a stable sort of
// the whole list would give, ties between equal keys included: the reference
// below sorts a copy and multiplies as the combiners are described.
void referenceFactor(ScoreResult& r, double p, bool narrowHam) {
  if (r.spamProduct == 0.0) {
    r.spamProduct = p;
    r.hamProduct = 1.0 - p;
    return;
  }
  r.spamProduct *= p;
  const double oldHam =
      narrowHam ? static_cast<double>(static_cast<float>(r.hamProduct)) : r.hamProduct;
  r.hamProduct = (1.0 - p) * oldHam;
}

ScoreResult referenceCombine(int mode, std::vector<Factor> list) {
  ScoreResult r = freshResult(1);
  const int32_t selection = mode == 0 ? 8 : (mode == 1 ? 8 : 7);
  const auto key = [mode](const Factor& f) {
    return mode == 0 ? f.probability
                     : (mode == 1 ? static_cast<double>(f.occurrences)
                                  : static_cast<double>(f.occurrences) * f.probability);
  };
  const int32_t n = static_cast<int32_t>(list.size());
  if (n >= selection) {
    std::stable_sort(list.begin(), list.end(),
                     [&](const Factor& a, const Factor& b) { return key(a) < key(b); });
  }
  const int32_t k = std::min(n, selection);
  if (mode == 1) {
    for (int32_t i = n - 1; i >= n - k; --i) referenceFactor(r, list[i].probability, true);
  } else {
    for (int32_t i = 0; i < k; ++i) referenceFactor(r, list[i].probability, false);
    if (n > selection) {
      for (int32_t i = n - 1; i >= n - selection; --i) {
        referenceFactor(r, list[i].probability, true);
      }
    }
  }
  r.probability = r.spamProduct / (r.spamProduct + r.hamProduct);
  return r;
}

TEST(ScoringCombiner, PicksTheEntriesAStableSortWouldPlaceAtTheEnds) {
  std::mt19937 random(5);
  // Few distinct keys make many ties; sizes cross every selection boundary.
  const double probabilities[] = {0.01, 0.2, 0.4, 0.4000001, 0.75, 0.99};
  for (int round = 0; round < 3000; ++round) {
    const int size = static_cast<int>(random() % 40);
    std::vector<Factor> factors;
    for (int i = 0; i < size; ++i) {
      factors.push_back({probabilities[random() % 6], static_cast<int32_t>(1 + random() % 4)});
    }
    for (int mode = 0; mode < 3; ++mode) {
      TokenProbabilityList list = makeList(factors);
      ScoreResult result = freshResult(1);
      runCombiner(mode, list, result);
      const ScoreResult expected = referenceCombine(mode, factors);
      ASSERT_EQ(result.spamProduct, expected.spamProduct) << "mode " << mode << " size " << size;
      ASSERT_EQ(result.hamProduct, expected.hamProduct) << "mode " << mode << " size " << size;
    }
  }
}

// ---------------------------------------------------------------------------
// scoreTokens against the process-wide dictionary.

class ScoreTokensTest : public testsupport::ScoringFixture {
 protected:
  void SetUp() override {
    ScoringFixture::SetUp();
    message_ = std::make_unique<MessageTokens>();
    message_->tokenCount = 0;
  }

  void setTotals(int32_t spam, int32_t ham) {
    tokenDictionary.spamMessageTotal = spam;
    tokenDictionary.hamMessageTotal = ham;
  }

  // Token texts are borrowed: scoreTokens only reads them.
  void addToken(const char* token, int32_t occurrences) {
    DictionaryEntry& entry = message_->tokens[message_->tokenCount++];
    entry.tokenText = const_cast<char*>(token);
    entry.hamCount = occurrences;
    entry.spamCount = 0;
    entry.live = 1;
  }

  std::string score(int mode, ScoreResult& result) {
    filterSettings.calculationMode = mode;
    result = freshResult(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, scoreTokens(tokenDictionary, *message_, result));
    return testing::internal::GetCapturedStdout();
  }

  std::unique_ptr<MessageTokens> message_;
};

TEST_F(ScoreTokensTest, PerTokenProbability) {
  struct Case {
    const char* name;
    int32_t spamTotal, hamTotal;
    int32_t spamCount, hamCount;  // -1: the token is not in the dictionary
    double probability;
    int32_t foundOccurrences;  // with 3 occurrences in the message
    double spamFrequency, hamFrequency;
  };
  const std::vector<Case> cases = {
      {"unknown token", 10, 10, -1, -1, 0.4, 0, 0.0, 0.0},
      {"ham only", 10, 10, 0, 4, 0.01, 3, 0.0, 0.0},
      {"both counts 0", 10, 10, 0, 0, 0.01, 3, 0.0, 0.0},
      {"spam only", 10, 10, 5, 0, 0.99, 3, 0.0, 0.0},
      {"both classes", 4, 10, 2, 5, 0.5, 3, 0.5, 0.5},
      {"both classes, uneven", 10, 20, 3, 2, 0.3 / (0.3 + 0.1), 3, 0.3, 0.1},
      // A class with no trained messages says nothing about a token: its
      // count is taken as 0 instead of dividing by a zero total.
      {"no spam messages", 0, 10, 3, 2, 0.01, 3, 0.0, 0.0},
      {"no ham messages", 10, 0, 3, 2, 0.99, 3, 0.0, 0.0},
      {"no messages at all", 0, 0, 3, 2, 0.01, 3, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::resetProcessDictionary();
    message_->tokenCount = 0;
    if (c.spamCount >= 0) addRow("someToken", c.hamCount, c.spamCount);
    setTotals(c.spamTotal, c.hamTotal);
    addToken("someToken", 3);
    ScoreResult result;
    std::string line = score(0, result);
    // A single factor is taken as it is.
    EXPECT_EQ(c.probability, result.spamProduct);
    EXPECT_EQ(c.foundOccurrences, result.foundOccurrences);
    EXPECT_EQ(c.spamFrequency, result.spamFrequency);
    EXPECT_EQ(c.hamFrequency, result.hamFrequency);
    EXPECT_TRUE(std::isfinite(result.probability));
    EXPECT_EQ(line.find("nan"), std::string::npos) << line;
    EXPECT_EQ(line.find("inf"), std::string::npos) << line;
  }
}

TEST_F(ScoreTokensTest, ModeLines) {
  addRow("pills", 1, 3);
  addRow("meeting", 2, 1);
  setTotals(10, 10);
  addToken("pills", 1);
  addToken("meeting", 1);
  struct Case {
    int mode;
    const char* line;
  };
  // 0.75 and 1/3 give 0.6 whichever way they are combined.
  const std::vector<Case> cases = {
      {0, "R: 0.600000\n"}, {1, " F: 0.600000\n"}, {2, " W: 0.600000\n"},
      {5, " W: 0.600000\n"}, {-1, " W: 0.600000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ScoreResult result;
    EXPECT_EQ(c.line, score(c.mode, result));
  }
}

TEST_F(ScoreTokensTest, NothingKnownScoresPointFour) {
  ScoreResult result;
  EXPECT_EQ("R: 0.400000\n", score(0, result));  // no tokens at all
  EXPECT_EQ(0.0, result.spamProduct);
  EXPECT_EQ(0.0, result.hamProduct);

  setTotals(5, 5);
  addToken("never", 2);
  addToken("seen", 1);
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    score(mode, result);
    EXPECT_EQ(0, result.foundOccurrences);
    EXPECT_EQ(0.4, result.probability);
  }
}

TEST_F(ScoreTokensTest, FrequenciesComeFromTheLastTokenWithBothCounts) {
  addRow("first", 1, 1);
  addRow("second", 4, 2);
  addRow("spamonly", 0, 7);
  setTotals(8, 16);
  addToken("first", 1);
  addToken("second", 2);
  addToken("spamonly", 5);
  addToken("unknown", 9);
  ScoreResult result;
  score(2, result);
  EXPECT_EQ(2.0 / 8.0, result.spamFrequency);
  EXPECT_EQ(4.0 / 16.0, result.hamFrequency);
  EXPECT_EQ(1 + 2 + 5, result.foundOccurrences);
}

}  // namespace

namespace {

// Equal keys keep their token-list order, so the tokens taken at the edge of
// a pass are the same on every platform: with nine tokens occurring once,
// the occurrence combiner takes tokens 9 down to 2 and leaves out token 1.
TEST(ScoringCombiner, EqualKeysKeepTokenOrder) {
  std::vector<Factor> factors;
  for (int i = 0; i < 9; ++i) factors.push_back({i == 0 ? 0.5 : 0.25, 1});
  TokenProbabilityList list = makeList(factors);
  ScoreResult result = freshResult(9);
  combineByOccurrences(list, result);
  EXPECT_EQ(result.spamProduct, std::pow(0.25, 8));
  EXPECT_EQ(list.entries[0].probability, 0.5);
}

}  // namespace
