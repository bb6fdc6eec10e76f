// The XML dictionary loader through the DOM stand-in, then a save and a
// second load: a document the tool saved must always load back.
#include <string>

#include "dictionary/token_dictionary.h"
#include "dictionary/xml/xml_dictionary.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::scratchFolder();
  fuzzsupport::silenceOutput();
  platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TokenDictionary& d = tokenDictionary;
  const std::string input = fuzzsupport::writeScratchFile("words.xml", data, size);
  const std::string output = fuzzsupport::scratchFolder() + "/saved.xml";
  std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", input.c_str());
  resetDictionary(d);
  if (loadXmlDictionary(d) != 1) {
    freeDictionaryMemory(d);
    return 0;
  }
  const int32_t rows = d.entryCount;
  for (int32_t row = 0; row < rows; ++row) d.entries[row].live = 1;
  std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", output.c_str());
  if (saveXmlDictionary(d) != 1) fuzzsupport::propertyBroken("save failed");
  freeDictionaryMemory(d);

  resetDictionary(d);
  if (loadXmlDictionary(d) != 1) fuzzsupport::propertyBroken("saved document does not load");
  if (d.entryCount > rows) fuzzsupport::propertyBroken("more rows than were saved");
  freeDictionaryMemory(d);
  return 0;
}
