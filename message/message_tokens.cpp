#include "message/message_tokens.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void* (*messageAllocate)(std::size_t size) = std::malloc;

namespace {

constexpr std::size_t kShortestToken = 3;
constexpr std::size_t kLongestToken = 30;

}  // namespace

void countMessageToken(MessageTokens& message, const char* token) {
  const std::size_t length = std::strlen(token);
  if (length < kShortestToken || length > kLongestToken) return;

  for (int32_t i = 0; i < message.tokenCount; ++i) {
    DictionaryEntry& entry = message.tokens[i];
    if (std::strcmp(entry.tokenText, token) == 0) {
      if (message.countAsHam != 0) {
        ++entry.hamCount;
      } else {
        ++entry.spamCount;
      }
      return;
    }
  }

  // A full list drops new tokens; those already in it go on being counted.
  if (message.tokenCount >= kMessageTokenSlots) return;

  // The copy is made before the entry is taken, so that a failed allocation
  // drops the token instead of leaving an entry without text, which the
  // dictionary and the combiner would read.
  char* copy = static_cast<char*>(messageAllocate(length + 1));
  if (copy == nullptr) {
    std::printf("Insufficient memory available\n");
    return;
  }
  std::memcpy(copy, token, length + 1);

  DictionaryEntry& entry = message.tokens[message.tokenCount];
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
}

int freeMessageTokens(MessageTokens& message) {
  for (int32_t i = 0; i < message.tokenCount; ++i) {
    DictionaryEntry& entry = message.tokens[i];
    if (entry.tokenText != nullptr) {
      std::free(entry.tokenText);
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
