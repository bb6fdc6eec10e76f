// Placeholder until this unit lands; replaced whole by its implementation.
#include "dictionary/pruning.h"

int purgeDictionary(TokenDictionary&) { return 1; }
int cleanseDictionary(TokenDictionary&) { return 1; }
