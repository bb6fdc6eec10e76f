// Placeholder until this unit lands; replaced whole by its implementation.
#include "scoring/bayesian_combiner.h"

int32_t scoreTokens(const TokenDictionary&, const MessageTokens&, ScoreResult&) { return 1; }
int32_t combineByProbability(TokenProbabilityList&, ScoreResult&) { return 1; }
int32_t combineByOccurrences(TokenProbabilityList&, ScoreResult&) { return 1; }
int32_t combineByWeight(TokenProbabilityList&, ScoreResult&) { return 1; }
