// Training from a spam folder and a ham folder, interleaved so that at every
// point of the run the two classes have been trained in about the ratio of
// the folders' sizes.
#include "scoring/corpus_training.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "message/analysis_queue.h"
#include "message/tokenizers.h"
#include "platform/platform.h"

namespace {

constexpr int kTrainingPathSize = 1024;

// A folder's listing, read once: the names of the message files after the
// entry that opened the search, which training never examines (on NTFS it is
// "."). Entries training skips are left out: they would cost no credit and
// end no pass.
struct FolderListing {
  bool opened = false;
  int32_t messageFiles = 0;  // counted as countMessageFiles counts them
  std::vector<std::string> files;
};

// Lists folder. A folder whose pattern does not fit the buffer is named once
// and treated as a folder that cannot be searched.
FolderListing listFolder(const char* folder) {
  FolderListing listing;
  char pattern[kTrainingPathSize];
  if (!buildFolderPath(pattern, sizeof pattern, folder, "*.*")) {
    printf("Path too long, skipped: %s\n", folder);
    return listing;
  }
  platform::FindData entry;
  platform::FindHandle search =
      platform::findFirstFile(pattern, &entry, platform::FindDetail::FolderOrFile);
  if (search == nullptr) return listing;
  listing.opened = true;
  if (!isSkippedEntry(entry.attributes, entry.fileName)) ++listing.messageFiles;
  while (platform::findNextFile(search, &entry)) {
    if (isSkippedEntry(entry.attributes, entry.fileName)) continue;
    ++listing.messageFiles;
    listing.files.emplace_back(entry.fileName);
  }
  platform::findClose(search);
  return listing;
}

// One side of the interleaving: its folder, its listing and how far it has
// got.
struct TrainingSide {
  const char* folder;
  const FolderListing* listing;
  size_t next;    // the listed file the next search call yields
  double step;    // files per pass
  double credit;  // files this side may still attempt in the current pass
  int32_t added;  // messages read so far
  int more;       // result of the latest continuing search call
  int32_t asHam;  // the class this side trains
};

// One step of a training run, planned before any file is read: a file to
// train from (or to pass over, when its path is too long), or the progress
// line that ends a pass.
struct TrainingStep {
  TrainingSide* side;  // null: the progress line
  const char* name;
  bool pathFits;
};

// Plans the files the side attempts while it has a whole credit left. Every
// search call, one that yields nothing or a file that cannot be read
// included, costs one.
void planSide(TrainingSide& side, std::vector<TrainingStep>& plan,
              std::vector<AnalysisJob>& jobs, int32_t& lastClass) {
  while (side.credit >= 1.0) {
    lastClass = side.asHam;
    side.more = side.next < side.listing->files.size() ? 1 : 0;
    side.credit -= 1.0;
    if (side.more == 0) continue;
    const char* name = side.listing->files[side.next++].c_str();
    char path[kTrainingPathSize];
    const bool fits = buildFolderPath(path, sizeof path, side.folder, name) &&
                      std::strlen(path) < static_cast<size_t>(kMessagePathSize);
    plan.push_back({&side, name, fits});
    if (fits) jobs.push_back({side.folder, name, static_cast<uint32_t>(side.asHam)});
  }
}

// Trains from one planned file.
void trainStep(const TrainingStep& step, TokenDictionary& dictionary,
               MessageAnalysisQueue& queue) {
  TrainingSide& side = *step.side;
  dictionary.trainAsHam = side.asHam;
  if (!step.pathFits) {
    // Never cut short and read as some other file: passed over like a file
    // that cannot be read.
    printf("Path too long, skipped: %s" CVSPAM_PATH_SEPARATOR "%s\n", side.folder, step.name);
    return;
  }
  PhraseState phrase{dictionary.phraseWordLimit, dictionary.phraseWordCount};
  AnalysedMessage& analysed = queue.take(phrase);
  dictionary.phraseWordLimit = phrase.wordLimit;
  dictionary.phraseWordCount = phrase.wordCount;
  if (analysed.readResult != 0) {
    if (side.asHam != 0) {
      ++dictionary.hamMessageTotal;
    } else {
      ++dictionary.spamMessageTotal;
    }
    ++side.added;
    addMessageTokens(analysed.message, dictionary);
  }
  queue.giveBack();
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
  platform::FindHandle search =
      platform::findFirstFile(pattern, &entry, platform::FindDetail::FolderOrFile);
  if (search == nullptr) return 0;
  int32_t count = 0;
  do {
    if (!isSkippedEntry(entry.attributes, entry.fileName)) ++count;
  } while (platform::findNextFile(search, &entry));
  platform::findClose(search);
  return count;
}

int addMessageTokens(const MessageTokens& message, TokenDictionary& dictionary) {
  return addTokenOccurrences(dictionary, message.tokens, message.tokenCount);
}

int trainFromFolders(TokenDictionary& dictionary, const char* spamFolder,
                     const char* hamFolder) {
  dictionary.cleanseCount = 0;

  const FolderListing spamListing = listFolder(spamFolder);
  if (!spamListing.opened) {
    printf("\n");
    return 1;
  }
  const FolderListing hamListing = listFolder(hamFolder);
  if (!hamListing.opened) {
    printf("\n");
    return 1;
  }
  TrainingSide spam{spamFolder, &spamListing, 0, 0.0, 0.0, 0, 0, 0};
  TrainingSide ham{hamFolder, &hamListing, 0, 0.0, 0.0, 0, 0, 1};

  // Without ham files both steps stay 0: one pass that trains nothing.
  if (hamListing.messageFiles > 0) {
    spam.step = static_cast<double>(spamListing.messageFiles) /
                static_cast<double>(hamListing.messageFiles);
    ham.step = static_cast<double>(hamListing.messageFiles) /
               static_cast<double>(hamListing.messageFiles);
  }

  // The order of the files depends only on the listings, so the whole run is
  // planned first; the files are then read and tokenized ahead of their turn.
  std::vector<TrainingStep> plan;
  std::vector<AnalysisJob> jobs;
  int32_t lastClass = dictionary.trainAsHam;
  do {
    spam.credit += spam.step;
    ham.credit += ham.step;
    planSide(spam, plan, jobs, lastClass);
    planSide(ham, plan, jobs, lastClass);
    plan.push_back({nullptr, nullptr, false});
    // A side whose loop did not run this pass keeps its earlier result.
  } while (spam.more != 0 || ham.more != 0);

  MessageAnalysisQueue queue(AnalysisKind::Training, std::move(jobs),
                             PhraseState{dictionary.phraseWordLimit, dictionary.phraseWordCount});
  for (const TrainingStep& step : plan) {
    if (step.side == nullptr) {
      printf("Ham added=%d, Spam added=%d\n", ham.added, spam.added);
    } else {
      trainStep(step, dictionary, queue);
    }
  }
  dictionary.trainAsHam = lastClass;
  printf("\n");
  return 1;
}
