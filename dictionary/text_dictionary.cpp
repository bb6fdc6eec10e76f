// Placeholder until this unit lands; replaced whole by its implementation.
#include "dictionary/text_dictionary.h"

int saveTextDictionary(TokenDictionary&) { return 1; }
int loadTextDictionary(TokenDictionary&) { return 0; }
