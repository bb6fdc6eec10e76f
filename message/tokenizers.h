// The two tokenizers: the token scan over a message's text with the
// training or the scoring separator set.
#pragma once

#include "dictionary/token_dictionary.h"
#include "message/message_tokens.h"

struct ScoreResult;

// Cuts message.text into tokens and counts each in the token list. Reads
// phraseWordLimit and reads and writes phraseWordCount of the dictionary.
void tokenizeForTraining(MessageTokens& message, TokenDictionary& dictionary);

// The same scan with the scoring separator set (a tab is a token
// character): clears the token list, sets countAsHam, zeroes the result's
// two products and counts every token formed in result.emittedTokens.
void tokenizeForScoring(MessageTokens& message, TokenDictionary& dictionary,
                        ScoreResult& result);
