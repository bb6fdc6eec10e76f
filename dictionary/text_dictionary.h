// The tab-separated text dictionary file.
#pragma once

#include "dictionary/token_dictionary.h"

// Writes the header and every live row to dictionaryPath. Returns 1.
int saveTextDictionary(TokenDictionary& dictionary);

// Reads dictionaryPath into a freshly reset dictionary. 1 when read, 0 when
// the file cannot be opened.
int loadTextDictionary(TokenDictionary& dictionary);
