// Keeps the dictionary small enough to go on learning.
#pragma once

#include "dictionary/token_dictionary.h"

constexpr int kCleanseLimit = 3;

// Clears live on rows seen too rarely or equally often in ham and spam, and
// prints the two purge lines. Returns 1.
int purgeDictionary(TokenDictionary& dictionary);

// Purges, saves, releases and reloads the dictionary, at most three times a
// training run. Returns 1.
int cleanseDictionary(TokenDictionary& dictionary);
