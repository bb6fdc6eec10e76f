// One message while it is analysed: its path, the text the reader extracts
// from it, and its list of distinct tokens with their occurrence counts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dictionary/token_dictionary.h"

constexpr int kMessageTextSize = 16192;
// The reader never lets the text reach this many characters.
constexpr int kMessageTextLimit = 16000;
constexpr int kMessageTokenSlots = 400;
constexpr int kMessagePathSize = 1024;

struct MessageTokens {
  char text[kMessageTextSize];
  DictionaryEntry tokens[kMessageTokenSlots];
  int32_t tokenCount;
  int32_t textLength;
  char path[kMessagePathSize];
  uint32_t countAsHam;  // non-zero: occurrences count into hamCount
};

// Records one occurrence of a token of 3 to 30 characters in the token list.
void countMessageToken(MessageTokens& message, const char* token);

// Frees the token texts of entries 0 to tokenCount - 1. Returns 1.
int freeMessageTokens(MessageTokens& message);

// Copies path into the record's path field. False (and the field emptied)
// when it does not fit in kMessagePathSize - 1 characters.
bool setMessagePath(MessageTokens& message, const char* path);

// Allocates the heap memory of the message analysis (token text copies and
// the tokenizers' work buffer); std::malloc, released with std::free. Tests
// point it at an allocator that fails, to exercise the out-of-memory path.
extern void* (*messageAllocate)(std::size_t size);
