// Chooses a dictionary's storage from its path and runs its lifecycle:
// load, save, release.
#pragma once

#include "dictionary/token_dictionary.h"

enum class StorageKind { Xml, Remote, Text };

// ".XML" anywhere in the path (any case): Xml; else "HTTP://": Remote; else
// Text.
StorageKind storageKindOf(const char* path);

int loadDictionary(TokenDictionary& dictionary);
int saveDictionary(TokenDictionary& dictionary);
int releaseDictionary(TokenDictionary& dictionary);

// The remote dictionary service is not part of this tool: these only start
// and stop Windows Sockets around their messages. Both return 0.
int openRemoteDictionary();
int closeRemoteDictionary();
