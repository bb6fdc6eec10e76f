// Per-token spam probabilities and the three ways of combining them.
//
// Every token of the message gets a probability from the dictionary's
// counts; the combiner of the configured calculation mode selects a few of
// them and multiplies them into a spam product and a ham product, whose
// ratio is the message's spam probability.
#include "scoring/bayesian_combiner.h"

#include <algorithm>
#include <cstdio>

#include "host/filter_settings.h"

namespace {

// The probability of a token the dictionary does not know, and the result
// of a message none of whose tokens it knows.
constexpr double kUnknownProbability = 0.4;
// A token seen only in ham, and one seen only in spam.
constexpr double kHamOnlyProbability = 0.01;
constexpr double kSpamOnlyProbability = 0.99;

// How many entries each pass of a combiner takes.
constexpr int32_t kProbabilitySelection = 8;
constexpr int32_t kOccurrenceSelection = 8;
constexpr int32_t kWeightSelection = 7;

// Comparators: +1 when the left key is greater, 0 when equal, -1
// otherwise, so that an unordered pair (a NaN) gives -1.
int compareDoubleKeys(double left, double right) {
  if (left > right) return 1;
  if (left == right) return 0;
  return -1;
}

int compareByProbability(const void* a, const void* b) {
  const auto* left = static_cast<const TokenProbability*>(a);
  const auto* right = static_cast<const TokenProbability*>(b);
  return compareDoubleKeys(left->probability, right->probability);
}

int compareByOccurrences(const void* a, const void* b) {
  const auto* left = static_cast<const TokenProbability*>(a);
  const auto* right = static_cast<const TokenProbability*>(b);
  if (left->occurrences > right->occurrences) return 1;
  if (left->occurrences == right->occurrences) return 0;
  return -1;
}

double weightOf(const TokenProbability& entry) {
  return static_cast<double>(entry.occurrences) * entry.probability;
}

int compareByWeight(const void* a, const void* b) {
  return compareDoubleKeys(weightOf(*static_cast<const TokenProbability*>(a)),
                           weightOf(*static_cast<const TokenProbability*>(b)));
}

// Multiplies one selected probability into the running products. The first
// factor starts both products. With narrowing on, the old ham product passes
// through single precision before it is multiplied, as the occurrence and
// second passes have always done; the stored product stays double.
void takeFactor(ScoreResult& result, double probability, bool narrowHam) {
  if (result.spamProduct == 0.0) {
    result.spamProduct = probability;
    result.hamProduct = 1.0 - probability;
    return;
  }
  result.spamProduct = result.spamProduct * probability;
  double oldHam = narrowHam ? static_cast<double>(static_cast<float>(result.hamProduct))
                            : result.hamProduct;
  result.hamProduct = (1.0 - probability) * oldHam;
}

// The entries a combiner takes, picked as a stable sort of the whole list by
// the combiner's key would place them: a stable sort keeps tokens with equal
// keys in token-list order, so the tokens taken at the edge of a pass are the
// same on every platform. Only the ends are needed, so they are picked in one
// pass over the list instead of sorting it, and the list is left as it is.
//
// lowest receives the lowCount entries that would come first, in sorted
// order; highest the highCount entries that would come last, the last one
// first. Both counts are at most kMaximumSelection and at most list.count.
constexpr int32_t kMaximumSelection = 8;
static_assert(kProbabilitySelection <= kMaximumSelection &&
                  kOccurrenceSelection <= kMaximumSelection &&
                  kWeightSelection <= kMaximumSelection,
              "every selection fits the picked ends");

template <int (*compare)(const void*, const void*)>
void pickEnds(const TokenProbabilityList& list, int32_t lowCount, int32_t highCount,
              const TokenProbability** lowest, const TokenProbability** highest) {
  int32_t lowFilled = 0;
  int32_t highFilled = 0;
  for (int32_t i = 0; i < list.count; ++i) {
    const TokenProbability* entry = &list.entries[i];
    // Among equal keys the later entry sorts after the earlier ones, so it
    // goes before a kept entry only when its key is strictly less...
    if (lowFilled < lowCount || (lowCount > 0 && compare(entry, lowest[lowCount - 1]) < 0)) {
      int32_t at = lowFilled < lowCount ? lowFilled++ : lowCount - 1;
      while (at > 0 && compare(entry, lowest[at - 1]) < 0) {
        lowest[at] = lowest[at - 1];
        --at;
      }
      lowest[at] = entry;
    }
    // ...and among the highest, it comes before a kept entry of equal key.
    if (highFilled < highCount ||
        (highCount > 0 && compare(entry, highest[highCount - 1]) >= 0)) {
      int32_t at = highFilled < highCount ? highFilled++ : highCount - 1;
      while (at > 0 && compare(entry, highest[at - 1]) >= 0) {
        highest[at] = highest[at - 1];
        --at;
      }
      highest[at] = entry;
    }
  }
}

void finishProbability(ScoreResult& result) {
  if (result.foundOccurrences == 0) {
    result.probability = kUnknownProbability;
  } else {
    result.probability = result.spamProduct / (result.spamProduct + result.hamProduct);
  }
}

// The lowest selection-many entries, then (for lists longer than the
// selection) the highest selection-many from the top down. The two passes
// overlap on lists shorter than twice the selection, and the entries in the
// overlap are multiplied in twice. A list shorter than the selection is not
// sorted: it enters whole in token-list order.
template <int (*compare)(const void*, const void*)>
int32_t combineFromBothEnds(TokenProbabilityList& list, ScoreResult& result, int32_t selection) {
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  const int32_t n = list.count;
  if (n < selection) {
    for (int32_t i = 0; i < n; ++i) takeFactor(result, list.entries[i].probability, false);
  } else {
    const TokenProbability* lowest[kMaximumSelection];
    const TokenProbability* highest[kMaximumSelection];
    const int32_t highCount = n > selection ? selection : 0;
    pickEnds<compare>(list, selection, highCount, lowest, highest);
    for (int32_t i = 0; i < selection; ++i) takeFactor(result, lowest[i]->probability, false);
    for (int32_t i = 0; i < highCount; ++i) takeFactor(result, highest[i]->probability, true);
  }
  finishProbability(result);
  return 1;
}

// Probability of one token from its dictionary counts. The counts of a class
// whose message total is not positive are taken as 0: a frequency against
// no trained messages means nothing, and dividing by that total would make
// the score infinite or not a number.
double tokenProbability(const TokenDictionary& dictionary, const TokenCounts& counts,
                        ScoreResult& result) {
  int32_t spamCount = dictionary.spamMessageTotal > 0 ? counts.spamCount : 0;
  int32_t hamCount = dictionary.hamMessageTotal > 0 ? counts.hamCount : 0;
  if (spamCount <= 0) return kHamOnlyProbability;
  if (hamCount <= 0) return kSpamOnlyProbability;
  double hamFrequency =
      static_cast<double>(hamCount) / static_cast<double>(dictionary.hamMessageTotal);
  double spamFrequency =
      static_cast<double>(spamCount) / static_cast<double>(dictionary.spamMessageTotal);
  result.hamFrequency = hamFrequency;
  result.spamFrequency = spamFrequency;
  return spamFrequency / (spamFrequency + hamFrequency);
}

}  // namespace

ScoreResult freshScoreResult() {
  ScoreResult result;
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  result.probability = kUnknownProbability;
  result.spamFrequency = 0.0;
  result.hamFrequency = 0.0;
  result.emittedTokens = 0;
  result.foundOccurrences = 0;
  return result;
}

void computeTokenScore(const TokenDictionary& dictionary, const MessageTokens& tokens,
                       ScoreResult& result) {
  TokenProbabilityList list;
  int32_t count = tokens.tokenCount;
  if (count < 0) count = 0;
  if (count > kMessageTokenSlots) count = kMessageTokenSlots;
  list.count = count;

  int32_t rows[kMessageTokenSlots];
  findTokenEntries(dictionary, tokens.tokens, count, rows);
  for (int32_t i = 0; i < count; ++i) {
    const DictionaryEntry& token = tokens.tokens[i];
    TokenProbability& entry = list.entries[i];
    // The scoring tokenizer counts every occurrence into hamCount.
    entry.occurrences = token.hamCount;
    if (rows[i] < 0) {
      entry.probability = kUnknownProbability;
      continue;
    }
    const DictionaryEntry& row = dictionary.entries[rows[i]];
    const TokenCounts counts{token.tokenText, row.hamCount, row.spamCount};
    entry.probability = tokenProbability(dictionary, counts, result);
    result.foundOccurrences += entry.occurrences;
  }

  switch (filterSettings.calculationMode) {
    case 0:
      combineByProbability(list, result);
      break;
    case 1:
      combineByOccurrences(list, result);
      break;
    default:
      combineByWeight(list, result);
      break;
  }
}

void printScoreLine(const ScoreResult& result) {
  switch (filterSettings.calculationMode) {
    case 0:
      printf("R: %f\n", result.probability);
      break;
    case 1:
      printf(" F: %f\n", result.probability);
      break;
    default:
      printf(" W: %f\n", result.probability);
      break;
  }
}

int32_t scoreTokens(const TokenDictionary& dictionary, const MessageTokens& tokens,
                    ScoreResult& result) {
  computeTokenScore(dictionary, tokens, result);
  printScoreLine(result);
  return 1;
}

int32_t combineByProbability(TokenProbabilityList& list, ScoreResult& result) {
  return combineFromBothEnds<compareByProbability>(list, result, kProbabilitySelection);
}

// The tokens that occur most often, the most frequent first. A list shorter
// than the selection is not sorted and enters whole from its last token.
int32_t combineByOccurrences(TokenProbabilityList& list, ScoreResult& result) {
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  const int32_t n = list.count;
  if (n < kOccurrenceSelection) {
    for (int32_t i = n - 1; i >= 0; --i) takeFactor(result, list.entries[i].probability, true);
  } else {
    const TokenProbability* highest[kMaximumSelection];
    pickEnds<compareByOccurrences>(list, 0, kOccurrenceSelection, nullptr, highest);
    for (int32_t i = 0; i < kOccurrenceSelection; ++i) {
      takeFactor(result, highest[i]->probability, true);
    }
  }
  finishProbability(result);
  return 1;
}

int32_t combineByWeight(TokenProbabilityList& list, ScoreResult& result) {
  return combineFromBothEnds<compareByWeight>(list, result, kWeightSelection);
}
