// Placeholder until this unit lands; replaced whole by its implementation.
#include "dictionary/xml/xml_dictionary.h"

int saveXmlDictionary(TokenDictionary&) { return 0; }
int loadXmlDictionary(TokenDictionary&) { return 0; }
