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
// Slots of the token list's hash index: a power of two, well above the 400
// entries, so that a probe seldom meets another token.
constexpr int kMessageTokenIndexSlots = 1024;
// Room for the longest token the list keeps (30 characters) and its NUL.
constexpr int kMessageTokenTextSize = 32;

struct MessageTokens {
  char text[kMessageTextSize];
  DictionaryEntry tokens[kMessageTokenSlots];
  int32_t tokenCount;
  int32_t textLength;
  char path[kMessagePathSize];
  uint32_t countAsHam;  // non-zero: occurrences count into hamCount

  // A hash index over the token list, kept by countMessageToken so that an
  // occurrence is found without searching the list. It describes entries 0
  // to indexedCount - 1; when the caller has emptied the list (tokenCount no
  // longer equals indexedCount) it is built anew. The list itself, its order
  // and its fields mean exactly what they mean without the index.
  int32_t indexedCount;
  uint32_t tokenHashes[kMessageTokenSlots];      // hash of each entry's text
  uint16_t tokenIndex[kMessageTokenIndexSlots];  // entry number + 1; 0: free

  // Where the texts of the entries are kept while the allocator is the
  // standard one: entry i's text in tokenTexts[i]. A message has up to 400
  // tokens, and a malloc and a free for each cost more than the rest of
  // counting it. Each record has its own, so records on different threads
  // share nothing; freeMessageTokens tells these texts from allocated ones
  // by address.
  char tokenTexts[kMessageTokenSlots][kMessageTokenTextSize];
};

// Records one occurrence of a token of 3 to 30 characters in the token list.
void countMessageToken(MessageTokens& message, const char* token);

// The same for a token whose length is known: token[length] is its NUL.
void countMessageToken(MessageTokens& message, const char* token, std::size_t length);

// Frees the token texts of entries 0 to tokenCount - 1. Returns 1.
int freeMessageTokens(MessageTokens& message);

// Copies path into the record's path field. False (and the field emptied)
// when it does not fit in kMessagePathSize - 1 characters.
bool setMessagePath(MessageTokens& message, const char* path);

// Allocates the heap memory of the message analysis (token text copies and
// the tokenizers' work buffer); std::malloc, released with std::free. Tests
// point it at an allocator that fails, to exercise the out-of-memory path.
extern void* (*messageAllocate)(std::size_t size);
