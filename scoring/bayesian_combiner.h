// Turns the tokens of one message into a combined spam probability.
#pragma once

#include <cstdint>

#include "dictionary/token_dictionary.h"
#include "message/message_tokens.h"

struct ScoreResult {
  double spamProduct;    // 0.0: no factor taken yet
  double hamProduct;
  double probability;    // combined spam probability, 0.0 to 1.0
  double spamFrequency;  // of the last token with both counts positive
  double hamFrequency;
  int32_t emittedTokens;     // tokens the scoring tokenizer formed
  int32_t foundOccurrences;  // occurrences of the tokens the dictionary knows
};

// The result a message starts from before it is read: no factor, no token,
// and the probability of a message none of whose tokens is known.
ScoreResult freshScoreResult();

struct TokenProbability {
  double probability;
  int32_t occurrences;
};

struct TokenProbabilityList {
  TokenProbability entries[kMessageTokenSlots];
  int32_t count;
};

// Per-token probabilities, the combiner of the current calculation mode and
// its mode line ("R: ", " F: " or " W: "). Returns 1.
int32_t scoreTokens(const TokenDictionary& dictionary, const MessageTokens& tokens,
                    ScoreResult& result);

// The two halves of scoreTokens: the score without the mode line, which
// only reads the dictionary and the settings, and the mode line.
void computeTokenScore(const TokenDictionary& dictionary, const MessageTokens& tokens,
                       ScoreResult& result);
void printScoreLine(const ScoreResult& result);

int32_t combineByProbability(TokenProbabilityList& list, ScoreResult& result);
int32_t combineByOccurrences(TokenProbabilityList& list, ScoreResult& result);
int32_t combineByWeight(TokenProbabilityList& list, ScoreResult& result);
