// The XML dictionary file, written and read through the XML DOM component.
#pragma once

#include "dictionary/token_dictionary.h"

// 1 when the document was built and saved, 0 otherwise.
int saveXmlDictionary(TokenDictionary& dictionary);

// 1 when the document was read, 0 when it cannot be created or loaded.
int loadXmlDictionary(TokenDictionary& dictionary);
