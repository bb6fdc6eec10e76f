#include "dictionary/text_dictionary.h"

#include <cstdio>
#include <cstring>

#include "message/text_search.h"
#include "platform/platform.h"

namespace {

constexpr int kLineSize = 1024;
constexpr int kNumberSize = 1024;

// Reads a number field; a field that is missing reads as 0.
int32_t numberField(const char* line, int fieldNumber) {
  char number[kNumberSize];
  number[0] = '\0';
  getDelimitedField(line, "\t", fieldNumber, number, kNumberSize, '\0');
  return textToLong(number);
}

void stripLineFeed(char* line) {
  const size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[length - 1] = '\0';
}

}  // namespace

int saveTextDictionary(TokenDictionary& dictionary) {
  // The file is written beside the old one and put in its place in one
  // step, so a failed or interrupted save leaves the old dictionary whole.
  platform::TextFile file = platform::openTextFileForReplacing(dictionary.dictionaryPath);
  if (file == nullptr) {
    std::printf("Saving Dictionary Failed: cannot write %s\n", dictionary.dictionaryPath);
    return 1;
  }
  char line[kLineSize];
  bool written = true;
  int length = std::snprintf(line, sizeof line, "Token\t%d\t%d\n", dictionary.spamMessageTotal,
                             dictionary.hamMessageTotal);
  written = platform::writeText(file, line, static_cast<size_t>(length));
  for (int32_t row = 0; written && row < dictionary.entryCount; ++row) {
    const DictionaryEntry& entry = dictionary.entries[row];
    if (entry.live != 1) continue;
    length = std::snprintf(line, sizeof line, "%s\t%d\t%d\n", entry.tokenText, entry.spamCount,
                           entry.hamCount);
    if (length >= kLineSize) continue;  // no token of a dictionary is that long
    written = platform::writeText(file, line, static_cast<size_t>(length));
  }
  if (!written) {
    platform::abandonTextFile(file);
    std::printf("Saving Dictionary Failed: cannot write %s\n", dictionary.dictionaryPath);
  } else if (!platform::closeTextFile(file)) {
    std::printf("Saving Dictionary Failed: cannot write %s\n", dictionary.dictionaryPath);
  }
  return 1;
}

int loadTextDictionary(TokenDictionary& dictionary) {
  const long start = platform::clockMilliseconds();
  platform::TextFile file = platform::openTextFileForReading(dictionary.dictionaryPath);
  if (file == nullptr) {
    std::printf("\nLoading Dictionary Failed.\n");
    return 0;
  }
  char line[kLineSize];
  if (platform::readTextLine(file, line, kLineSize) == nullptr) {
    dictionary.spamMessageTotal = 0;
    dictionary.hamMessageTotal = 0;
    std::printf("\nEmpty dictionary loaded\n");
    platform::closeTextFile(file);
    return 1;
  }
  stripLineFeed(line);
  dictionary.spamMessageTotal = numberField(line, 2);
  dictionary.hamMessageTotal = numberField(line, 3);

  long leftOut = 0;
  LoadedEntry loaded;
  while (platform::readTextLine(file, line, kLineSize) != nullptr) {
    stripLineFeed(line);
    loaded.tokenText[0] = '\0';
    getDelimitedField(line, "\t", 1, loaded.tokenText, kLoadedTokenSize, '\0');
    if (loaded.tokenText[0] == '\0') continue;
    loaded.tokenLength = static_cast<int32_t>(std::strlen(loaded.tokenText));
    // A line without a TAB is a token without counts: it gets 0 and 0 rather
    // than the numbers of the line before it.
    loaded.spamCount = numberField(line, 2);
    loaded.hamCount = numberField(line, 3);
    if (addLoadedEntry(dictionary, loaded) == 0) ++leftOut;
  }
  platform::closeTextFile(file);
  if (leftOut > 0) std::printf("Dictionary full: %ld entries left out\n", leftOut);
  const long end = platform::clockMilliseconds();
  std::printf("\nDictionary Load Status:\n");
  std::printf("Time Taken: %ld milliseconds\n", end - start);
  std::printf("Dictionary Size: %ld tokens\n\n", static_cast<long>(dictionary.entryCount));
  return 1;
}
