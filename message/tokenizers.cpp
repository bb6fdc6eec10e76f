#include "message/tokenizers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scoring/bayesian_combiner.h"

namespace {

// The scan looks at text positions 0 to kLastPosition at most.
constexpr int kLastPosition = 4096;
// The work buffer: up to 31 token characters, a joining blank, the NUL.
constexpr int kWorkBufferSize = 33;
constexpr int kLongestRun = 31;
constexpr int kShortestToken = 4;

// Which bytes end a run. NUL is always one, so a run that ends the text is
// taken too.
struct SeparatorSet {
  bool separator[256];
};

constexpr SeparatorSet makeSeparators(bool tabSeparates) {
  SeparatorSet set{};
  set.separator[static_cast<unsigned char>('\0')] = true;
  set.separator[static_cast<unsigned char>('\n')] = true;
  set.separator[static_cast<unsigned char>('\r')] = true;
  set.separator[static_cast<unsigned char>(' ')] = true;
  set.separator[static_cast<unsigned char>('<')] = true;
  set.separator[static_cast<unsigned char>('>')] = true;
  set.separator[static_cast<unsigned char>('\t')] = tabSeparates;
  return set;
}

constexpr SeparatorSet kTrainingSeparators = makeSeparators(true);
constexpr SeparatorSet kScoringSeparators = makeSeparators(false);

// The token scan. Runs of token characters are joined into phrases of up to
// phraseWordLimit runs with single blanks; phraseWordCount, the runs in the
// current phrase, carries over from one message to the next. Each token
// formed goes to countMessageToken, which refuses those over 30 characters,
// and is counted in *emitted when emitted is not null. buffer holds
// kWorkBufferSize bytes.
//
// checkLimit: whether the scan must watch for the last position. When a NUL
// ends the text at or before it, no run can get there, and the loop over a
// run's characters does without the test.
template <bool checkLimit>
void scanText(MessageTokens& message, PhraseState& phrase, const SeparatorSet& separators,
              char* buffer, int32_t* emitted) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(message.text);
  int p = 0;
  for (int i = 0;; ++i) {
    // A run of token characters. Characters past the 31st of a run are
    // dropped; the run goes on. A run that reaches the last position ends
    // the scan without forming a token.
    const int runStart = i;
    while (!separators.separator[text[i]]) {
      if (checkLimit && i >= kLastPosition) return;
      ++i;
    }
    const unsigned char c = text[i];
    if (p < kLongestRun) {
      const int taken = std::min(i - runStart, kLongestRun - p);
      std::memcpy(buffer + p, text + runStart, static_cast<std::size_t>(taken));
      p += taken;
    }
    if (p < kShortestToken) {
      p = 0;
    } else if (phrase.wordCount < phrase.wordLimit) {
      // The phrase goes on with the next run. A phrase that has filled the
      // buffer (31 characters and a blank) takes no more, but still counts
      // its runs, so that it ends where a longer buffer would have ended
      // it; it is then refused as too long and the scan goes on.
      if (p < kWorkBufferSize - 1) buffer[p++] = ' ';
      ++phrase.wordCount;
    } else {
      buffer[p] = '\0';
      countMessageToken(message, buffer, static_cast<std::size_t>(p));
      if (emitted != nullptr) ++*emitted;
      phrase.wordCount = 1;
      p = 0;
    }
    if (c == '\0' || (checkLimit && i >= kLastPosition)) break;
  }
}

void scanTokens(MessageTokens& message, PhraseState& phrase, const SeparatorSet& separators,
                char* buffer, int32_t* emitted) {
  static_assert(kLastPosition < kMessageTextSize, "the scan stays in the text buffer");
  if (std::memchr(message.text, '\0', kLastPosition + 1) != nullptr) {
    scanText<false>(message, phrase, separators, buffer, emitted);
  } else {
    scanText<true>(message, phrase, separators, buffer, emitted);
  }
}

// The work buffer comes from the message allocator when tests have replaced
// it, to exercise a failed allocation; otherwise it is the caller's own.
char* workBuffer(char* own) {
  if (messageAllocate == static_cast<void* (*)(std::size_t)>(std::malloc)) return own;
  char* buffer = static_cast<char*>(messageAllocate(kWorkBufferSize));
  if (buffer == nullptr) std::printf("Insufficient memory available\n");
  return buffer;
}

void releaseWorkBuffer(char* buffer, char* own) {
  if (buffer != own) std::free(buffer);
}

}  // namespace

void tokenizeForTraining(MessageTokens& message, PhraseState& phrase) {
  char own[kWorkBufferSize];
  char* buffer = workBuffer(own);
  if (buffer == nullptr) return;
  scanTokens(message, phrase, kTrainingSeparators, buffer, nullptr);
  releaseWorkBuffer(buffer, own);
}

void tokenizeForScoring(MessageTokens& message, PhraseState& phrase, ScoreResult& result) {
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  message.tokenCount = 0;
  char own[kWorkBufferSize];
  char* buffer = workBuffer(own);
  if (buffer == nullptr) return;
  message.countAsHam = 1;
  scanTokens(message, phrase, kScoringSeparators, buffer, &result.emittedTokens);
  releaseWorkBuffer(buffer, own);
}

void tokenizeForTraining(MessageTokens& message, TokenDictionary& dictionary) {
  PhraseState phrase{dictionary.phraseWordLimit, dictionary.phraseWordCount};
  tokenizeForTraining(message, phrase);
  dictionary.phraseWordCount = phrase.wordCount;
}

void tokenizeForScoring(MessageTokens& message, TokenDictionary& dictionary,
                        ScoreResult& result) {
  PhraseState phrase{dictionary.phraseWordLimit, dictionary.phraseWordCount};
  tokenizeForScoring(message, phrase, result);
  dictionary.phraseWordCount = phrase.wordCount;
}
