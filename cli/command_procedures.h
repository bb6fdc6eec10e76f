// The procedures the dictionary commands run: create, merge, prune, and
// open and close around scoring and verification.
#pragma once

// 1 while a dictionary is open for scoring.
extern int dictionaryLoaded;

int createDictionary(const char* spamFolder, const char* hamFolder, const char* dictionaryPath);
int mergeIntoDictionary(const char* spamFolder, const char* hamFolder,
                        const char* dictionaryPath);
int pruneDictionary(const char* dictionaryPath);
int openDictionary(const char* dictionaryPath);
int closeDictionary();

// True when path fits the dictionary's path field; otherwise prints the line
// that refuses it.
bool dictionaryPathFits(const char* path);
