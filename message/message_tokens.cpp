#include "message/message_tokens.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void* (*messageAllocate)(std::size_t size) = std::malloc;

namespace {

constexpr std::size_t kShortestToken = 3;
constexpr std::size_t kLongestToken = 30;
constexpr uint32_t kIndexMask = kMessageTokenIndexSlots - 1;

static_assert(kLongestToken + 1 <= kMessageTokenTextSize, "a text slot holds the longest token");

// Storage for the text of entry number: the record's own slot while the
// allocator is the standard one, the allocator's block otherwise.
char* allocateText(MessageTokens& message, int32_t number, std::size_t size) {
  if (messageAllocate == static_cast<void* (*)(std::size_t)>(std::malloc) && number >= 0 &&
      number < kMessageTokenSlots) {
    return message.tokenTexts[number];
  }
  return static_cast<char*>(messageAllocate(size));
}

bool isOwnText(const MessageTokens& message, const char* text) {
  const auto at = reinterpret_cast<std::uintptr_t>(text);
  const auto first = reinterpret_cast<std::uintptr_t>(message.tokenTexts);
  return at >= first && at < first + sizeof message.tokenTexts;
}

uint32_t hashToken(const char* token, std::size_t length) {
  uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) {
    hash = (hash ^ static_cast<unsigned char>(token[i])) * 16777619u;
  }
  return hash ^ (hash >> 15);
}

// The list without its index: a search of every entry in order.
DictionaryEntry* searchList(MessageTokens& message, const char* token) {
  for (int32_t i = 0; i < message.tokenCount; ++i) {
    if (std::strcmp(message.tokens[i].tokenText, token) == 0) return &message.tokens[i];
  }
  return nullptr;
}

// Probes the index for token. A slot is taken when it names an entry below
// tokenCount; any other slot (0, or left from an earlier message) is free.
// Returns the entry holding token, or null with *freeSlot set to the slot
// where it goes (-1 when a whole round met no free slot).
DictionaryEntry* probeIndex(MessageTokens& message, const char* token, uint32_t hash,
                            int* freeSlot) {
  uint32_t at = hash & kIndexMask;
  for (int round = 0; round < kMessageTokenIndexSlots; ++round) {
    const int32_t entry = static_cast<int32_t>(message.tokenIndex[at]) - 1;
    if (entry < 0 || entry >= message.tokenCount) {
      *freeSlot = static_cast<int>(at);
      return nullptr;
    }
    if (message.tokenHashes[entry] == hash &&
        std::strcmp(message.tokens[entry].tokenText, token) == 0) {
      return &message.tokens[entry];
    }
    at = (at + 1) & kIndexMask;
  }
  *freeSlot = -1;
  return nullptr;
}

// Builds the index anew over entries 0 to tokenCount - 1.
void rebuildIndex(MessageTokens& message) {
  std::memset(message.tokenIndex, 0, sizeof message.tokenIndex);
  for (int32_t i = 0; i < message.tokenCount; ++i) {
    const char* text = message.tokens[i].tokenText;
    const uint32_t hash = hashToken(text, std::strlen(text));
    message.tokenHashes[i] = hash;
    uint32_t at = hash & kIndexMask;
    while (message.tokenIndex[at] != 0) at = (at + 1) & kIndexMask;
    message.tokenIndex[at] = static_cast<uint16_t>(i + 1);
  }
  message.indexedCount = message.tokenCount;
}

void countOccurrence(const MessageTokens& message, DictionaryEntry& entry) {
  if (message.countAsHam != 0) {
    ++entry.hamCount;
  } else {
    ++entry.spamCount;
  }
}

}  // namespace

void countMessageToken(MessageTokens& message, const char* token) {
  countMessageToken(message, token, std::strlen(token));
}

void countMessageToken(MessageTokens& message, const char* token, std::size_t length) {
  if (length < kShortestToken || length > kLongestToken) return;

  // A list the index cannot describe is searched entry by entry.
  const bool indexed = message.tokenCount >= 0 && message.tokenCount <= kMessageTokenSlots;
  const uint32_t hash = hashToken(token, length);
  int freeSlot = -1;
  if (indexed) {
    if (message.indexedCount != message.tokenCount) rebuildIndex(message);
    if (DictionaryEntry* known = probeIndex(message, token, hash, &freeSlot)) {
      countOccurrence(message, *known);
      return;
    }
  } else if (DictionaryEntry* known = searchList(message, token)) {
    countOccurrence(message, *known);
    return;
  }

  // A full list drops new tokens; those already in it go on being counted.
  if (message.tokenCount >= kMessageTokenSlots) return;

  // The copy is made before the entry is taken, so that a failed allocation
  // drops the token instead of leaving an entry without text, which the
  // dictionary and the combiner would read.
  char* copy = allocateText(message, message.tokenCount, length + 1);
  if (copy == nullptr) {
    std::printf("Insufficient memory available\n");
    return;
  }
  std::memcpy(copy, token, length + 1);

  const int32_t number = message.tokenCount;
  DictionaryEntry& entry = message.tokens[number];
  ++message.tokenCount;
  entry.tokenText = copy;
  if (message.countAsHam != 0) {
    entry.hamCount = 1;
    entry.spamCount = 0;
  } else {
    entry.hamCount = 0;
    entry.spamCount = 1;
  }
  entry.live = 1;

  if (indexed) {
    message.tokenHashes[number] = hash;
    if (freeSlot < 0) {
      // Slots left over from earlier messages filled a whole round.
      rebuildIndex(message);
    } else {
      message.tokenIndex[freeSlot] = static_cast<uint16_t>(number + 1);
      message.indexedCount = message.tokenCount;
    }
  }
}

int freeMessageTokens(MessageTokens& message) {
  for (int32_t i = 0; i < message.tokenCount; ++i) {
    DictionaryEntry& entry = message.tokens[i];
    if (entry.tokenText != nullptr) {
      if (!isOwnText(message, entry.tokenText)) std::free(entry.tokenText);
      // Cleared so that a second release of the same list frees nothing twice.
      entry.tokenText = nullptr;
    }
  }
  return 1;
}

bool setMessagePath(MessageTokens& message, const char* path) {
  if (path == nullptr) {
    message.path[0] = '\0';
    return false;
  }
  const std::size_t length = std::strlen(path);
  if (length >= static_cast<std::size_t>(kMessagePathSize)) {
    message.path[0] = '\0';
    return false;
  }
  std::memcpy(message.path, path, length + 1);
  return true;
}
