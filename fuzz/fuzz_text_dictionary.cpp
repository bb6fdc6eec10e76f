// The text dictionary loader, then a save and a second load: whatever a
// file held, what is saved from it must load back to the same rows and
// totals.
#include <string>

#include "dictionary/storage.h"
#include "dictionary/text_dictionary.h"
#include "dictionary/token_dictionary.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::scratchFolder();
  fuzzsupport::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TokenDictionary& d = tokenDictionary;
  const std::string input = fuzzsupport::writeScratchFile("words.txt", data, size);
  const std::string output = fuzzsupport::scratchFolder() + "/saved.txt";
  std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", input.c_str());
  resetDictionary(d);
  if (loadTextDictionary(d) != 1) fuzzsupport::propertyBroken("readable file not read");
  const int32_t rows = d.entryCount;
  const int32_t spam = d.spamMessageTotal;
  const int32_t ham = d.hamMessageTotal;
  for (int32_t row = 0; row < rows; ++row) d.entries[row].live = 1;
  std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", output.c_str());
  saveTextDictionary(d);
  freeDictionaryMemory(d);

  resetDictionary(d);
  if (loadTextDictionary(d) != 1) fuzzsupport::propertyBroken("saved file not read");
  if (d.entryCount != rows || d.spamMessageTotal != spam || d.hamMessageTotal != ham) {
    fuzzsupport::propertyBroken("save and load differ");
  }
  freeDictionaryMemory(d);
  return 0;
}
