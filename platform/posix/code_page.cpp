// Code-page conversion of the POSIX stand-in: the ANSI code page is
// Windows-1252 with Windows' own table, so that every byte string survives a
// round trip through UTF-16; UTF-8 is the other code page offered.
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

namespace {

constexpr uint32_t kPosixErrorNoUnicodeTranslation = 1113;
constexpr uint32_t kPosixMbErrInvalidChars = 0x08;
constexpr char16_t kPosixReplacementUnit = 0xFFFD;

// The source length the caller gave, or the length of the text with its
// terminator for -1. Negative otherwise invalid.
template <typename Char>
int posixSourceLength(const Char* source, int sourceLength) {
  if (sourceLength != -1) return sourceLength;
  int length = 0;
  while (source[length] != 0) ++length;
  return length + 1;
}

// Hands the converted text to the caller: the size needed when
// destinationSize is 0, the count written when it fits, 0 and
// ERROR_INSUFFICIENT_BUFFER otherwise.
template <typename Char, typename Text>
int posixDeliver(const Text& converted, Char* destination, int destinationSize) {
  const int needed = static_cast<int>(converted.size());
  if (destinationSize == 0) return needed;
  if (needed > destinationSize) {
    setLastError(kErrorInsufficientBuffer);
    return 0;
  }
  for (int i = 0; i < needed; ++i) destination[i] = static_cast<Char>(converted[i]);
  return needed;
}

void posixAppendUtf16(std::u16string& out, char32_t codePoint) {
  if (codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
  } else {
    out += static_cast<char16_t>(codePoint);
  }
}

// Reads one code point from UTF-16 text; a lone surrogate reads as itself
// and is flagged invalid.
char32_t posixReadUtf16(const char16_t* source, int length, int* position, bool* valid) {
  const char16_t unit = source[*position];
  *valid = true;
  ++*position;
  if (unit >= 0xD800 && unit <= 0xDBFF && *position < length) {
    const char16_t next = source[*position];
    if (next >= 0xDC00 && next <= 0xDFFF) {
      ++*position;
      return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (next - 0xDC00);
    }
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) *valid = false;
  return unit;
}

}  // namespace

int multiByteToWideChar(unsigned codePage, uint32_t flags, const char* source,
                        int sourceLength, char16_t* destination, int destinationSize) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationSize < 0 ||
      (destinationSize > 0 && destination == nullptr)) {
    setLastError(kErrorInvalidParameter);
    return 0;
  }
  const int length = posixSourceLength(source, sourceLength);
  std::u16string converted;
  converted.reserve(static_cast<size_t>(length));
  if (codePage == kCodePageAnsi) {
    for (int i = 0; i < length; ++i) {
      posixAppendUtf16(converted, posix::ansiToCodePoint(static_cast<unsigned char>(source[i])));
    }
  } else if (codePage == kCodePageUtf8) {
    const std::string text(source, static_cast<size_t>(length));
    size_t position = 0;
    while (position < text.size()) {
      bool valid;
      const char32_t codePoint = posix::decodeUtf8(text, &position, &valid);
      if (!valid && (flags & kPosixMbErrInvalidChars) != 0) {
        setLastError(kPosixErrorNoUnicodeTranslation);
        return 0;
      }
      posixAppendUtf16(converted, codePoint);
    }
  } else {
    setLastError(kErrorInvalidParameter);
    return 0;
  }
  return posixDeliver(converted, destination, destinationSize);
}

int wideCharToMultiByte(unsigned codePage, uint32_t, const char16_t* source, int sourceLength,
                        char* destination, int destinationSize) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationSize < 0 ||
      (destinationSize > 0 && destination == nullptr)) {
    setLastError(kErrorInvalidParameter);
    return 0;
  }
  if (codePage != kCodePageAnsi && codePage != kCodePageUtf8) {
    setLastError(kErrorInvalidParameter);
    return 0;
  }
  const int length = posixSourceLength(source, sourceLength);
  std::string converted;
  converted.reserve(static_cast<size_t>(length));
  int position = 0;
  while (position < length) {
    bool valid;
    const char32_t codePoint = posixReadUtf16(source, length, &position, &valid);
    if (codePage == kCodePageAnsi) {
      // A character the code page lacks becomes the default character '?'.
      const int byte = valid ? posix::codePointToAnsi(codePoint) : -1;
      converted += byte < 0 ? '?' : static_cast<char>(byte);
    } else {
      posix::appendUtf8(converted, valid ? codePoint : kPosixReplacementUnit);
    }
  }
  return posixDeliver(converted, destination, destinationSize);
}

}  // namespace platform
