// Small string routines shared by the message reader, the MIME walker, the
// dictionary storage and the settings code. NUL-terminated byte strings; no
// allocation, no state. Letter case is folded for ASCII letters only.
#pragma once

#include <cstdint>

// First case-insensitive match of needle in haystack, or null. A length of
// -1 means the string's own length; a haystack length shorter than the
// string confines the search to its first part.
const char* findNoCase(const char* haystack, const char* needle, int haystackLength,
                       int needleLength);

// As findNoCase, passing over a match that directly follows the escape
// character (NUL: no escape character).
const char* findUnescaped(const char* text, const char* separator, int textLength,
                          int separatorLength, char escape);

// Copies field number (from 1) of text, fields separated by separator, into
// destination. 1 when a field was copied, 0 otherwise (see the definition
// for when the destination is left untouched).
int getDelimitedField(const char* text, const char* separator, int fieldNumber,
                      char* destination, int destinationSize, char escape);

// Copies the value of a name=value parameter (name includes the "=") from a
// header line. 1 when a value (possibly empty) was copied, 0 when the name
// is not in the line or nothing follows it.
int getHeaderParameter(const char* line, const char* name, char* destination,
                       int destinationSize);

// Converts the leading decimal number of text as the C library's atol does:
// leading white space skipped, an optional sign, digits up to the first
// non-digit; 0 when there is none. Values beyond the 32-bit range are held
// at its nearest end.
int32_t textToLong(const char* text);

// True when line begins with prefix, ASCII letters compared without case.
bool startsWithNoCase(const char* line, const char* prefix);
