// The two tokenizers: the token scan over a message's text with the
// training or the scoring separator set.
#pragma once

#include "dictionary/token_dictionary.h"
#include "message/message_tokens.h"

struct ScoreResult;

// Where the token scan stands in its phrase, which carries over from one
// message to the next: the most runs a phrase joins (phraseWordLimit) and
// the runs in the current one (phraseWordCount).
struct PhraseState {
  int32_t wordLimit;
  int32_t wordCount;
};

// Cuts message.text into tokens and counts each in the token list. Reads
// phraseWordLimit and reads and writes phraseWordCount of the dictionary.
void tokenizeForTraining(MessageTokens& message, TokenDictionary& dictionary);

// The same scan with the scoring separator set (a tab is a token
// character): clears the token list, sets countAsHam, zeroes the result's
// two products and counts every token formed in result.emittedTokens.
void tokenizeForScoring(MessageTokens& message, TokenDictionary& dictionary,
                        ScoreResult& result);

// The same two scans with the phrase state held apart from the dictionary,
// for analysing a message away from the thread that owns the dictionary.
void tokenizeForTraining(MessageTokens& message, PhraseState& phrase);
void tokenizeForScoring(MessageTokens& message, PhraseState& phrase, ScoreResult& result);
