// Scores every file of a folder against the loaded dictionary and reports
// how the spam probabilities fall into ten deciles.
#include "scoring/folder_verification.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_procedures.h"
#include "host/filter_settings.h"
#include "message/analysis_queue.h"
#include "platform/platform.h"
#include "scoring/corpus_training.h"
#include "scoring/message_scoring.h"

namespace {

constexpr int kVerifyBufferSize = 1024;
constexpr int kBucketCount = 10;

// The decile of a result record's SP value, or -1 when the record holds no
// SP (a file that could not be read) or one that is not a percentage.
// SP 100 belongs to the top decile.
int bucketOf(const char* record) {
  char spText[kVerifyBufferSize];
  if (extractBetween(record, "<SP>", "</SP>", spText, sizeof spText) == nullptr) return -1;
  char* end = nullptr;
  double sp = std::strtod(spText, &end);
  if (end == spText || !std::isfinite(sp) || sp < 0.0 || sp > 100.0) return -1;
  int bucket = static_cast<int>(sp / 10.0);
  if (bucket == kBucketCount) bucket = kBucketCount - 1;
  return bucket;
}

}  // namespace

int32_t verifyFolder(TokenDictionary& dictionary, const char* folder) {
  char pattern[kVerifyBufferSize];
  bool patternFits = buildFolderPath(pattern, sizeof pattern, folder, "*.*");

  // The mode is read again so that a change made since start-up applies to
  // this whole run, and it stays in force for the rest of the process.
  filterSettings.calculationMode = readCalculationMode();

  int32_t buckets[kBucketCount] = {};
  long startTime = platform::clockMilliseconds();

  if (!patternFits) {
    printf("Path too long, skipped: %s\n", folder);
    return 0;
  }
  platform::FindData entry;
  platform::FindHandle search =
      platform::findFirstFile(pattern, &entry, platform::FindDetail::FolderOrFile);
  if (search == nullptr) return 0;

  // The folder's message files are listed first, so that they can be read
  // and tokenized ahead while the ones before them are scored. Entries that
  // are passed over are neither counted nor named, so they are left out.
  struct Listed {
    std::string name;
    bool pathFits;
  };
  std::vector<Listed> listing;
  do {
    if (isSkippedEntry(entry.attributes, entry.fileName)) continue;
    char path[kVerifyBufferSize];
    listing.push_back({entry.fileName, buildFolderPath(path, sizeof path, folder, entry.fileName)});
  } while (platform::findNextFile(search, &entry));
  platform::findClose(search);
  std::vector<AnalysisJob> jobs;
  for (const Listed& listed : listing) {
    if (listed.pathFits) jobs.push_back({folder, listed.name.c_str(), 1});
  }

  // Nothing changes the dictionary or the settings until the report is
  // printed, so the messages are scored where they are read; only the lines
  // are printed here, in order.
  MessageAnalysisQueue queue(AnalysisKind::Scoring, std::move(jobs),
                             PhraseState{dictionary.phraseWordLimit, dictionary.phraseWordCount},
                             dictionaryLoaded == 1 ? &dictionary : nullptr);
  int32_t fileCount = 0;
  for (const Listed& listed : listing) {
    ++fileCount;
    printf("%s: ", listed.name.c_str());
    if (!listed.pathFits) {
      // Counted like a file that cannot be read: no score, no decile.
      printf("Path too long, skipped: %s" CVSPAM_PATH_SEPARATOR "%s\n", folder,
             listed.name.c_str());
      continue;
    }
    PhraseState phrase{dictionary.phraseWordLimit, dictionary.phraseWordCount};
    AnalysedMessage& analysed = queue.take(phrase);
    dictionary.phraseWordLimit = phrase.wordLimit;
    dictionary.phraseWordCount = phrase.wordCount;
    char record[kResultRecordSize];
    scoreAnalysedMessage(dictionary, analysed, record, sizeof record);
    queue.giveBack();
    int bucket = bucketOf(record);
    if (bucket >= 0) ++buckets[bucket];
  }

  printf("Results: \r\n");
  for (int percentile = 0; percentile < 100; percentile += 10) {
    printf("Percentile: %d%% %d\n", percentile, buckets[percentile / 10]);
  }

  long endTime = platform::clockMilliseconds();
  printf("\nDictionary Verify Completed:\n");
  printf("Time Taken: %ld milliseconds\n", endTime - startTime);
  printf("Verified: %ld files\n", static_cast<long>(fileCount));
  printf("Dictionary Size: %ld tokens\n", static_cast<long>(dictionary.entryCount));
  return fileCount;
}

const char* extractBetween(const char* text, const char* open, const char* close, char* out,
                           int outSize) {
  const char* start = text;
  if (open[0] != '\0') {
    const char* found = std::strstr(text, open);
    if (found == nullptr) return nullptr;
    start = found + std::strlen(open);
  }
  const char* end = std::strstr(start, close);
  if (end == nullptr) return nullptr;
  if (outSize > 0) {
    // Text longer than out is cut to what fits.
    size_t length = static_cast<size_t>(end - start);
    if (length > static_cast<size_t>(outSize) - 1) length = static_cast<size_t>(outSize) - 1;
    std::memcpy(out, start, length);
    out[length] = '\0';
  }
  return end + std::strlen(close);
}
