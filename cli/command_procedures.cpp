#include "cli/command_procedures.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "dictionary/pruning.h"
#include "dictionary/storage.h"
#include "dictionary/token_dictionary.h"
#include "host/filter_settings.h"
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

// The advisory lock on "<dictionary>.lock" that a command holds from the
// load of a dictionary to its last save, so that two runs on the same
// dictionary at once take turns and neither loses what the other trained.
// A save alone needs no lock to be safe for readers: it writes a new file
// and renames it over the old one, so a load always reads a whole file.
platform::FileLock dictionaryLock = nullptr;
bool dictionaryLockHeld = false;

// Takes the lock unless this process already holds it (the cleanse reopens
// the dictionary inside a merge or a prune). True when this call took it and
// the caller must release it. A lock that cannot be taken (the folder
// cannot be written, for one) is reported and the command goes on without
// it, as it would have before there were locks.
bool lockDictionary(const char* path) {
  if (dictionaryLockHeld) return false;
  // A remote dictionary has no file here to guard.
  if (storageKindOf(path) == StorageKind::Remote) return false;
  const std::string lockPath = std::string(path) + ".lock";
  dictionaryLock = platform::lockFile(lockPath.c_str());
  if (dictionaryLock == nullptr) {
    std::printf("Dictionary not locked: cannot open %s, going on without the lock\n",
                lockPath.c_str());
  }
  dictionaryLockHeld = true;
  return true;
}

void unlockDictionary() {
  platform::unlockFile(dictionaryLock);
  dictionaryLock = nullptr;
  dictionaryLockHeld = false;
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
  // Nothing was read from the file, so only the writes (this save and the
  // one a release in training mode makes) need the lock.
  const bool locked = lockDictionary(dictionaryPath);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  if (locked) unlockDictionary();
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
  const bool locked = lockDictionary(dictionaryPath);
  openDictionary(dictionaryPath);
  trainFromFolders(tokenDictionary, spamFolder, hamFolder);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  if (locked) unlockDictionary();
  return 1;
}

int pruneDictionary(const char* dictionaryPath) {
  resetPhrase();
  setDictionaryPath(dictionaryPath);
  const bool locked = lockDictionary(dictionaryPath);
  openDictionary(dictionaryPath);
  // In a new process no cleanse has run yet, so this one always happens.
  cleanseDictionary(tokenDictionary);
  saveDictionary(tokenDictionary);
  releaseDictionary(tokenDictionary);
  if (locked) unlockDictionary();
  return 1;
}

int openDictionary(const char* dictionaryPath) {
  // In training mode the close of a score or verify command writes the
  // dictionary back, so from here to then it is locked like a merge. In any
  // other mode those commands only read, and take no lock.
  if (filterSettings.trainingMode == 1) lockDictionary(dictionaryPath);
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
  if (dictionaryLockHeld) unlockDictionary();
  return 1;
}
