#include "dictionary/text_dictionary.h"

#include <charconv>
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

// Splits one row, "token TAB spam TAB ham", in a single pass over the line,
// which it may change. The fields are those numberField and
// getDelimitedField give: the token is the text before the first TAB (the
// whole line without one), and is refused when empty or too long for
// LoadedEntry; the spam count is the text between the first and the second
// TAB (to the line end without a second); the ham count is the text between
// the second and the third TAB, or the same text as the spam count when
// there is no second TAB. A line without a TAB is a token without counts: it
// gets 0 and 0 rather than the numbers of the line before it.
bool parseRow(char* line, LoadedEntry& loaded) {
  const size_t length = std::strlen(line);
  char* const end = line + length;
  char* const firstTab = static_cast<char*>(std::memchr(line, '\t', length));
  const size_t tokenLength = static_cast<size_t>((firstTab != nullptr ? firstTab : end) - line);
  if (tokenLength == 0 || tokenLength >= static_cast<size_t>(kLoadedTokenSize)) return false;
  std::memcpy(loaded.tokenText, line, tokenLength);
  loaded.tokenText[tokenLength] = '\0';
  loaded.tokenLength = static_cast<int32_t>(tokenLength);
  if (firstTab == nullptr) {
    loaded.spamCount = 0;
    loaded.hamCount = 0;
    return true;
  }
  char* const spamField = firstTab + 1;
  char* const secondTab =
      static_cast<char*>(std::memchr(spamField, '\t', static_cast<size_t>(end - spamField)));
  if (secondTab == nullptr) {
    loaded.spamCount = textToLong(spamField);
    loaded.hamCount = loaded.spamCount;
    return true;
  }
  // Each number field ends at its TAB, so that the blanks textToLong skips
  // never reach into the next field.
  char* const hamField = secondTab + 1;
  char* const thirdTab =
      static_cast<char*>(std::memchr(hamField, '\t', static_cast<size_t>(end - hamField)));
  *secondTab = '\0';
  if (thirdTab != nullptr) *thirdTab = '\0';
  loaded.spamCount = textToLong(spamField);
  loaded.hamCount = textToLong(hamField);
  return true;
}

// Writes a row as "%s\t%d\t%d\n" would into line (kLineSize bytes): the
// token, the spam count and the ham count. A dictionary saves tens of
// thousands of rows, which this formats several times faster. Returns the
// length, or -1 when the row with its NUL does not fit the line.
int formatRow(char* line, const DictionaryEntry& entry) {
  char spam[16];
  char ham[16];
  const size_t spamLength =
      static_cast<size_t>(std::to_chars(spam, spam + sizeof spam, entry.spamCount).ptr - spam);
  const size_t hamLength =
      static_cast<size_t>(std::to_chars(ham, ham + sizeof ham, entry.hamCount).ptr - ham);
  const size_t tokenLength = std::strlen(entry.tokenText);
  const size_t length = tokenLength + 1 + spamLength + 1 + hamLength + 1;
  if (length >= static_cast<size_t>(kLineSize)) return -1;
  char* at = line;
  std::memcpy(at, entry.tokenText, tokenLength);
  at += tokenLength;
  *at++ = '\t';
  std::memcpy(at, spam, spamLength);
  at += spamLength;
  *at++ = '\t';
  std::memcpy(at, ham, hamLength);
  at += hamLength;
  *at++ = '\n';
  *at = '\0';
  return static_cast<int>(length);
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
    length = formatRow(line, entry);
    if (length < 0) continue;  // no token of a dictionary is that long
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

  // Rows are handed to the dictionary a batch at a time, in file order.
  long leftOut = 0;
  constexpr int32_t kBatchRows = 64;
  LoadedEntry rows[kBatchRows];
  int32_t parsed = 0;
  while (platform::readTextLine(file, line, kLineSize) != nullptr) {
    stripLineFeed(line);
    if (!parseRow(line, rows[parsed])) continue;
    if (++parsed == kBatchRows) {
      leftOut += addLoadedEntries(dictionary, rows, parsed);
      parsed = 0;
    }
  }
  leftOut += addLoadedEntries(dictionary, rows, parsed);
  platform::closeTextFile(file);
  if (leftOut > 0) std::printf("Dictionary full: %ld entries left out\n", leftOut);
  const long end = platform::clockMilliseconds();
  std::printf("\nDictionary Load Status:\n");
  std::printf("Time Taken: %ld milliseconds\n", end - start);
  std::printf("Dictionary Size: %ld tokens\n\n", static_cast<long>(dictionary.entryCount));
  return 1;
}
