// Scores one message file against the loaded dictionary into a one-line
// result record.
#pragma once

#include <cstdint>

#include "dictionary/token_dictionary.h"
#include "platform/platform.h"

// The handle of the scoring lock. Nothing assigns it, so it stays null and
// the lock neither waits nor releases.
extern platform::MutexHandle scoringMutexHandle;

constexpr int kResultRecordSize = 1024;

struct AnalysedMessage;

// Writes "<RESULT>FAIL</RESULT>" or the scored record into out. Returns 1.
int32_t scoreMessage(TokenDictionary& dictionary, const char* path, char* out, int outSize);

// The same for a message a scoring analysis queue has read and tokenized,
// and perhaps scored: the failure record when it could not be read,
// otherwise its score. The caller gives the message back to its queue.
// Returns 1.
int32_t scoreAnalysedMessage(TokenDictionary& dictionary, AnalysedMessage& analysed, char* out,
                             int outSize);
