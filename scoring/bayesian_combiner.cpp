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

// The sort of a combiner: the whole list when it holds at least the
// selection size, nothing otherwise. Returns how many entries the first
// pass takes.
// The comparator is a template argument so that the sort calls it directly.
template <int (*compare)(const void*, const void*)>
int32_t sortForSelection(TokenProbabilityList& list, int32_t selection) {
  if (list.count >= selection) {
    // A stable sort keeps tokens with equal keys in token-list order, so the
    // tokens selected at the edge of a pass are the same on every platform.
    std::stable_sort(list.entries, list.entries + list.count,
                     [](const TokenProbability& left, const TokenProbability& right) {
                       return compare(&left, &right) < 0;
                     });
    return selection;
  }
  return list.count;
}

void finishProbability(ScoreResult& result) {
  if (result.foundOccurrences == 0) {
    result.probability = kUnknownProbability;
  } else {
    result.probability = result.spamProduct / (result.spamProduct + result.hamProduct);
  }
}

// The lowest k entries, then (for lists longer than the selection) the
// highest selection-many from the top down. The two passes overlap on lists
// shorter than twice the selection, and the entries in the overlap are
// multiplied in twice.
template <int (*compare)(const void*, const void*)>
int32_t combineFromBothEnds(TokenProbabilityList& list, ScoreResult& result, int32_t selection) {
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  int32_t n = list.count;
  int32_t k = sortForSelection<compare>(list, selection);
  for (int32_t i = 0; i < k; ++i) takeFactor(result, list.entries[i].probability, false);
  if (n > selection) {
    for (int32_t i = n - 1; i >= n - selection; --i) {
      takeFactor(result, list.entries[i].probability, true);
    }
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

int32_t scoreTokens(const TokenDictionary& dictionary, const MessageTokens& tokens,
                    ScoreResult& result) {
  TokenProbabilityList list;
  int32_t count = tokens.tokenCount;
  if (count < 0) count = 0;
  if (count > kMessageTokenSlots) count = kMessageTokenSlots;
  list.count = count;

  prefetchTokenEntries(dictionary, tokens.tokens, count);
  for (int32_t i = 0; i < count; ++i) {
    const DictionaryEntry& token = tokens.tokens[i];
    TokenProbability& entry = list.entries[i];
    // The scoring tokenizer counts every occurrence into hamCount.
    entry.occurrences = token.hamCount;
    TokenCounts counts{token.tokenText, 0, 0};
    if (lookupTokenCounts(dictionary, counts) == 0) {
      entry.probability = kUnknownProbability;
      continue;
    }
    entry.probability = tokenProbability(dictionary, counts, result);
    result.foundOccurrences += entry.occurrences;
  }

  switch (filterSettings.calculationMode) {
    case 0:
      combineByProbability(list, result);
      printf("R: %f\n", result.probability);
      break;
    case 1:
      combineByOccurrences(list, result);
      printf(" F: %f\n", result.probability);
      break;
    default:
      combineByWeight(list, result);
      printf(" W: %f\n", result.probability);
      break;
  }
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
  int32_t n = list.count;
  int32_t k = sortForSelection<compareByOccurrences>(list, kOccurrenceSelection);
  for (int32_t i = n - 1; i >= n - k; --i) takeFactor(result, list.entries[i].probability, true);
  finishProbability(result);
  return 1;
}

int32_t combineByWeight(TokenProbabilityList& list, ScoreResult& result) {
  return combineFromBothEnds<compareByWeight>(list, result, kWeightSelection);
}
