// Scores every file of a folder and prints the decile report.
#pragma once

#include <cstdint>

#include "dictionary/token_dictionary.h"

// The number of files handled, or 0 when the folder cannot be listed.
int32_t verifyFolder(TokenDictionary& dictionary, const char* folder);

// Copies the text between the first open marker and the first close marker
// after it into out. Returns the position just after the close marker, or
// null (out untouched) when either marker is missing.
const char* extractBetween(const char* text, const char* open, const char* close, char* out,
                           int outSize);
