// Training from a spam folder and a ham folder, interleaved so that at every
// point of the run the two classes have been trained in about the ratio of
// the folders' sizes.
#include "scoring/corpus_training.h"

#include <cstdio>

#include "message/message_reader.h"
#include "message/tokenizers.h"
#include "platform/platform.h"

namespace {

constexpr int kTrainingPathSize = 1024;

// One side of the interleaving: its folder, its open search and how far it
// has got.
struct TrainingSide {
  const char* folder;
  platform::FindHandle search;
  double step;    // files per pass
  double credit;  // files this side may still attempt in the current pass
  int32_t added;  // messages read so far
  int more;       // result of the latest continuing search call
  int32_t asHam;  // the class this side trains
};

// Opens the search over folder's entries. A folder whose pattern does not fit
// the buffer is named once and treated as a folder that cannot be searched.
platform::FindHandle openFolderSearch(const char* folder) {
  char pattern[kTrainingPathSize];
  if (!buildFolderPath(pattern, sizeof pattern, folder, "*.*")) {
    printf("Path too long, skipped: %s\n", folder);
    return nullptr;
  }
  platform::FindData opening;
  return platform::findFirstFile(pattern, &opening);
}

// Attempts files while the side has a whole credit left. The entry that
// opened the search is never examined: on NTFS it is ".". A skipped entry
// costs no credit; every other call, one that yields nothing or a file that
// cannot be read included, costs one.
void trainSide(TrainingSide& side, TokenDictionary& dictionary, MessageTokens& message) {
  while (side.credit >= 1.0) {
    dictionary.trainAsHam = side.asHam;
    platform::FindData entry;
    side.more = platform::findNextFile(side.search, &entry) ? 1 : 0;
    if (side.more == 0) {
      side.credit -= 1.0;
      continue;
    }
    if (isSkippedEntry(entry.attributes, entry.fileName)) continue;

    char path[kTrainingPathSize];
    if (buildFolderPath(path, sizeof path, side.folder, entry.fileName) &&
        setMessagePath(message, path)) {
      message.tokenCount = 0;
      message.countAsHam = static_cast<uint32_t>(dictionary.trainAsHam);
      if (readMessageFile(message) != 0) {
        if (side.asHam != 0) {
          ++dictionary.hamMessageTotal;
        } else {
          ++dictionary.spamMessageTotal;
        }
        ++side.added;
        tokenizeForTraining(message, dictionary);
        addMessageTokens(message, dictionary);
        freeMessageTokens(message);
      }
    } else {
      // Never cut short and read as some other file: passed over like a
      // file that cannot be read.
      printf("Path too long, skipped: %s" CVSPAM_PATH_SEPARATOR "%s\n", side.folder,
             entry.fileName);
    }
    side.credit -= 1.0;
  }
}

}  // namespace

bool isSkippedEntry(uint32_t attributes, const char* name) {
  return attributes == platform::kAttrDirectory || name[0] == '.';
}

bool buildFolderPath(char* destination, int size, const char* folder, const char* name) {
  if (size <= 0) return false;
  int length = snprintf(destination, static_cast<size_t>(size), "%s" CVSPAM_PATH_SEPARATOR "%s",
                        folder, name);
  if (length < 0 || length >= size) {
    destination[0] = '\0';
    return false;
  }
  return true;
}

int32_t countMessageFiles(const char* folder) {
  char pattern[kTrainingPathSize];
  if (!buildFolderPath(pattern, sizeof pattern, folder, "*.*")) return 0;
  platform::FindData entry;
  platform::FindHandle search = platform::findFirstFile(pattern, &entry);
  if (search == nullptr) return 0;
  int32_t count = 0;
  do {
    if (!isSkippedEntry(entry.attributes, entry.fileName)) ++count;
  } while (platform::findNextFile(search, &entry));
  platform::findClose(search);
  return count;
}

int addMessageTokens(const MessageTokens& message, TokenDictionary& dictionary) {
  prefetchTokenEntries(dictionary, message.tokens, message.tokenCount);
  for (int32_t i = 0; i < message.tokenCount; ++i) {
    addTokenOccurrence(dictionary, message.tokens[i]);
  }
  return 1;
}

int trainFromFolders(TokenDictionary& dictionary, const char* spamFolder,
                     const char* hamFolder) {
  dictionary.cleanseCount = 0;

  TrainingSide spam{spamFolder, nullptr, 0.0, 0.0, 0, 0, 0};
  TrainingSide ham{hamFolder, nullptr, 0.0, 0.0, 0, 0, 1};

  int32_t spamFiles = countMessageFiles(spamFolder);
  spam.search = openFolderSearch(spamFolder);
  if (spam.search == nullptr) {
    printf("\n");
    return 1;
  }
  int32_t hamFiles = countMessageFiles(hamFolder);
  ham.search = openFolderSearch(hamFolder);
  if (ham.search == nullptr) {
    platform::findClose(spam.search);
    printf("\n");
    return 1;
  }

  // Without ham files both steps stay 0: one pass that trains nothing.
  if (hamFiles > 0) {
    spam.step = static_cast<double>(spamFiles) / static_cast<double>(hamFiles);
    ham.step = static_cast<double>(hamFiles) / static_cast<double>(hamFiles);
  }

  // The record is reused for every message of the run.
  MessageTokens message;
  message.tokenCount = 0;
  do {
    spam.credit += spam.step;
    ham.credit += ham.step;
    trainSide(spam, dictionary, message);
    trainSide(ham, dictionary, message);
    printf("Ham added=%d, Spam added=%d\n", ham.added, spam.added);
    // A side whose loop did not run this pass keeps its earlier result.
  } while (spam.more != 0 || ham.more != 0);

  platform::findClose(spam.search);
  platform::findClose(ham.search);
  printf("\n");
  return 1;
}
