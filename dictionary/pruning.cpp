#include "dictionary/pruning.h"

#include <cmath>
#include <cstdio>

#include "cli/command_procedures.h"
#include "dictionary/storage.h"
#include "host/filter_settings.h"

int purgeDictionary(TokenDictionary& dictionary) {
  long rare = 0;
  for (int32_t row = 0; row < dictionary.entryCount; ++row) {
    DictionaryEntry& entry = dictionary.entries[row];
    if (entry.hamCount + entry.spamCount < filterSettings.minimumTokenCount) {
      entry.live = 0;
      ++rare;
    }
  }
  std::printf("Purged %ld items (Total Sum < %ld)\n", rare,
              static_cast<long>(filterSettings.minimumTokenCount));

  // Frequencies are taken in single precision. With a message total of 0 the
  // division gives an infinity or a NaN, which is never below the
  // significance, so nothing is purged by this test then.
  long insignificant = 0;
  const float hamTotal = static_cast<float>(dictionary.hamMessageTotal);
  const float spamTotal = static_cast<float>(dictionary.spamMessageTotal);
  for (int32_t row = 0; row < dictionary.entryCount; ++row) {
    DictionaryEntry& entry = dictionary.entries[row];
    const float hamFrequency = static_cast<float>(entry.hamCount) / hamTotal;
    const float spamFrequency = static_cast<float>(entry.spamCount) / spamTotal;
    const float difference = std::fabs(std::fabs(hamFrequency) - std::fabs(spamFrequency));
    if (filterSettings.purgeSignificance > static_cast<double>(difference)) {
      entry.live = 0;
      ++insignificant;
    }
  }
  std::printf("Purged %ld items (Significance < %f)\n", insignificant,
              filterSettings.purgeSignificance);
  return 1;
}

int cleanseDictionary(TokenDictionary& dictionary) {
  if (dictionary.cleanseCount >= kCleanseLimit) return 1;
  std::printf("Clensing Dictionary\n");
  ++dictionary.cleanseCount;
  purgeDictionary(dictionary);
  saveDictionary(dictionary);
  releaseDictionary(dictionary);
  openDictionary(dictionary.dictionaryPath);
  return 1;
}
