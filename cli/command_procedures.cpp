#include "cli/command_procedures.h"

#include <cstdio>
#include <cstring>

#include "dictionary/pruning.h"
#include "dictionary/storage.h"
#include "dictionary/token_dictionary.h"
#include "platform/platform.h"
#include "scoring/corpus_training.h"

int dictionaryLoaded = 0;

namespace {

// The entry point refuses a path that does not fit before any procedure
// runs, so the copy is never cut short.
void setDictionaryPath(const char* path) {
  if (path == tokenDictionary.dictionaryPath) return;
  std::snprintf(tokenDictionary.dictionaryPath, sizeof tokenDictionary.dictionaryPath, "%s",
                path);
}

void resetPhrase() {
  tokenDictionary.phraseWordLimit = 1;
  tokenDictionary.phraseWordCount = 0;
}

}  // namespace

bool dictionaryPathFits(const char* path) {
  if (std::strlen(path) < sizeof tokenDictionary.dictionaryPath) return true;
  std::printf("Dictionary path too long (more than %d characters), nothing done: %s\n",
              kDictionaryPathSize - 1, path);
  return false;
}

int createDictionary(const char* spamFolder, const char* hamFolder, const char* dictionaryPath) {
  resetPhrase();
  setDictionaryPath(dictionaryPath);
  // Nothing is loaded: an existing file at the path is replaced by the save.
  clearDictionary(tokenDictionary);
  const long start = platform::clockMilliseconds();
  trainFromFolders(tokenDictionary, spamFolder, hamFolder);
  const long end = platform::clockMilliseconds();
  purgeDictionary(tokenDictionary);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  std::printf("\nDictionary Creation Completed:\n");
  std::printf("Time Taken: %ld milliseconds\n", end - start);
  std::printf("Files Parsed: %ld\n",
              static_cast<long>(tokenDictionary.hamMessageTotal) + tokenDictionary.spamMessageTotal);
  std::printf("Dictionary Size: %ld tokens\n", static_cast<long>(tokenDictionary.entryCount));
  return 1;
}

int mergeIntoDictionary(const char* spamFolder, const char* hamFolder,
                        const char* dictionaryPath) {
  resetPhrase();
  setDictionaryPath(dictionaryPath);
  openDictionary(dictionaryPath);
  trainFromFolders(tokenDictionary, spamFolder, hamFolder);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  return 1;
}

int pruneDictionary(const char* dictionaryPath) {
  resetPhrase();
  setDictionaryPath(dictionaryPath);
  openDictionary(dictionaryPath);
  // In a new process no cleanse has run yet, so this one always happens.
  cleanseDictionary(tokenDictionary);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  return 1;
}

int openDictionary(const char* dictionaryPath) {
  std::printf("Loading Dictionary...\n");
  setDictionaryPath(dictionaryPath);
  loadDictionary(tokenDictionary);
  std::printf("Dictionary Loaded.\n");
  dictionaryLoaded = 1;
  return 1;
}

int closeDictionary() {
  dictionaryLoaded = 0;
  releaseDictionary(tokenDictionary);
  return 1;
}
