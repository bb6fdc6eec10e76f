#include "message/text_search.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace {

// Folds ASCII letters only, as toupper does in the C locale.
inline unsigned char foldCase(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// isspace in the C locale: blank, tab, line feed, vertical tab, form feed,
// carriage return.
inline bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

const char* findNoCase(const char* haystack, const char* needle, int haystackLength,
                       int needleLength) {
  if (haystackLength == -1) {
    if (haystack == nullptr) return nullptr;
    haystackLength = static_cast<int>(std::strlen(haystack));
  }
  if (needleLength == -1) {
    if (needle == nullptr) return nullptr;
    needleLength = static_cast<int>(std::strlen(needle));
  }
  if (needle == nullptr || needle[0] == '\0') return nullptr;
  // The start positions run while the remaining haystack length is not less
  // than the needle length, both taken as unsigned 32-bit numbers; the
  // comparison itself always runs over the whole needle.
  const uint32_t length = static_cast<uint32_t>(haystackLength);
  const uint32_t wanted = static_cast<uint32_t>(needleLength);
  const unsigned char first = foldCase(static_cast<unsigned char>(needle[0]));
  for (uint32_t k = 0; length - k >= wanted && k <= length; ++k) {
    const unsigned char* h = reinterpret_cast<const unsigned char*>(haystack) + k;
    if (foldCase(h[0]) != first) {
      if (h[0] == '\0') return nullptr;  // nothing further can match
      continue;
    }
    const unsigned char* n = reinterpret_cast<const unsigned char*>(needle);
    size_t i = 0;
    while (n[i] != '\0' && foldCase(h[i]) == foldCase(n[i])) ++i;
    if (n[i] == '\0') return haystack + k;
    if (h[i] == '\0') return nullptr;  // the haystack ended inside the needle
  }
  return nullptr;
}

const char* findUnescaped(const char* text, const char* separator, int textLength,
                          int separatorLength, char escape) {
  const char* from = text;
  for (;;) {
    const int remaining = textLength - static_cast<int>(from - text);
    const char* match = findNoCase(from, separator, remaining, separatorLength);
    if (escape == '\0' || match == nullptr || match == from) return match;
    if (match[-1] != escape) return match;
    from = match + std::strlen(separator);
  }
}

int getDelimitedField(const char* text, const char* separator, int fieldNumber,
                      char* destination, int destinationSize, char escape) {
  const int textLength = static_cast<int>(std::strlen(text));
  const int separatorLength = static_cast<int>(std::strlen(separator));
  const char* found = findUnescaped(text, separator, textLength, separatorLength, escape);
  const char* start = text;
  const char* end = nullptr;
  if (found == nullptr) {
    if (fieldNumber >= 2) return 0;
    end = text + textLength;
  } else if (fieldNumber <= 1) {
    end = found;
  } else {
    int current = 2;
    start = found + separatorLength;
    for (;;) {
      const int remaining = textLength - static_cast<int>(start - text);
      const char* next = findUnescaped(start, separator, remaining, separatorLength, escape);
      if (next == nullptr) {
        end = text + textLength;
        break;
      }
      if (current == fieldNumber) {
        end = next;
        break;
      }
      start = next + separatorLength;
      ++current;
    }
  }
  const long fieldLength = end - start;
  if (fieldLength < destinationSize) {
    std::memcpy(destination, start, static_cast<size_t>(fieldLength));
    destination[fieldLength] = '\0';
    return 1;
  }
  if (destinationSize > 0) destination[0] = '\0';
  return 0;
}

int getHeaderParameter(const char* line, const char* name, char* destination,
                       int destinationSize) {
  const char* found = findNoCase(line, name, -1, -1);
  if (found == nullptr) return 0;
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(found) + std::strlen(name);
  if (*p == '\0') return 0;
  while (*p != '\0' && isBlank(*p)) ++p;
  int copied = 0;
  if (*p == '"') {
    ++p;
    while (copied < destinationSize - 1 && *p != '\0' && *p != '\r' && *p != '\n' &&
           *p != ';' && *p != '"') {
      destination[copied++] = static_cast<char>(*p++);
    }
  } else {
    while (copied < destinationSize - 1 && *p != '\0' && *p != '\r' && *p != '\n' &&
           *p != ';') {
      destination[copied++] = static_cast<char>(*p++);
    }
  }
  destination[copied] = '\0';
  return 1;
}

int32_t textToLong(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (isBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value <= INT64_C(2147483648)) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool startsWithNoCase(const char* line, const char* prefix) {
  for (; *prefix != '\0'; ++line, ++prefix) {
    if (*line == '\0') return false;
    if (foldCase(static_cast<unsigned char>(*line)) !=
        foldCase(static_cast<unsigned char>(*prefix))) {
      return false;
    }
  }
  return true;
}
