// Trains the process-wide dictionary from a folder of spam and a folder of
// ham, interleaved in the ratio of their sizes.
#pragma once

#include <cstdint>

#include "dictionary/token_dictionary.h"
#include "message/message_tokens.h"

int trainFromFolders(TokenDictionary& dictionary, const char* spamFolder,
                     const char* hamFolder);

// Entries of the folder that training treats as message files; 0 when the
// folder cannot be searched.
int32_t countMessageFiles(const char* folder);

// Hands every entry of the token list to addTokenOccurrence. Returns 1.
int addMessageTokens(const MessageTokens& message, TokenDictionary& dictionary);

// True when a listing entry is skipped by training and verification: a
// plain directory (attribute bits exactly the directory bit) or a name that
// begins with ".".
bool isSkippedEntry(uint32_t attributes, const char* name);

// Builds "folder<sep>name" into destination (size bytes). False, with the
// destination emptied, when it does not fit.
bool buildFolderPath(char* destination, int size, const char* folder, const char* name);
