#include "message/transfer_decoders.h"

#include <cstring>

namespace {

// White space as the C library's isspace sees it in the C locale; bytes
// above 0x7F are not white space.
bool isWhiteSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// The 6-bit value of a character of the base64 alphabet, or -1.
int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// True when nothing but white space remains from s on.
bool onlyWhiteSpace(const unsigned char* s) {
  for (; *s != '\0'; ++s) {
    if (!isWhiteSpace(*s)) return false;
  }
  return true;
}

}  // namespace

int decodeBase64(const char* source, unsigned char* destination, int destinationSize) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(source);
  int state = 0;
  int n = 0;
  for (; *s != '\0'; ++s) {
    const unsigned char c = *s;
    if (isWhiteSpace(c)) continue;
    if (c == '=') break;
    const int v = base64Value(c);
    if (v < 0) return -1;
    switch (state) {
      case 0:
        if (n >= destinationSize) return -1;
        destination[n] = static_cast<unsigned char>(v << 2);
        state = 1;
        break;
      case 1:
        if (n + 1 >= destinationSize) return -1;
        destination[n] = static_cast<unsigned char>(destination[n] | (v >> 4));
        destination[n + 1] = static_cast<unsigned char>((v & 0x0F) << 4);
        ++n;
        state = 2;
        break;
      case 2:
        if (n + 1 >= destinationSize) return -1;
        destination[n] = static_cast<unsigned char>(destination[n] | (v >> 2));
        destination[n + 1] = static_cast<unsigned char>((v & 0x03) << 6);
        ++n;
        state = 3;
        break;
      default:
        if (n >= destinationSize) return -1;
        destination[n] = static_cast<unsigned char>(destination[n] | v);
        ++n;
        state = 0;
        break;
    }
  }

  if (*s == '\0') {
    // No pad: only whole groups are valid.
    return state == 0 ? n : -1;
  }

  // A pad ended the data; s is at the first "=".
  ++s;
  switch (state) {
    case 0:
    case 1:
      return -1;
    case 2:
      while (isWhiteSpace(*s)) ++s;
      if (*s != '=') return -1;
      ++s;
      break;
    default:
      break;
  }
  if (!onlyWhiteSpace(s)) return -1;
  // The bits of the last character that did not make a whole byte.
  if (destination[n] != 0) return -1;
  return n;
}

int decodeQuotedPrintable(const char* source, char* destination) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(source);
  const std::size_t length = std::strlen(source);
  std::size_t out = 0;
  std::size_t i = 0;
  while (s[i] != '\0') {
    const unsigned char c = s[i];
    if (i + 1 == length) {
      // The last character is copied as it is, even a lone "=".
      destination[out++] = static_cast<char>(c);
      ++i;
    } else if (c == '=' && isHexDigit(s[i + 1]) && isHexDigit(s[i + 2])) {
      destination[out++] = static_cast<char>((hexValue(s[i + 1]) << 4) | hexValue(s[i + 2]));
      i += 3;
    } else if (c == '=') {
      // A soft line break or a stray "=": the "=" goes, what follows stays.
      ++i;
    } else {
      destination[out++] = static_cast<char>(c);
      ++i;
    }
  }
  destination[out] = '\0';
  return 1;
}
