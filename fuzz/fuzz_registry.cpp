// The registry file reader of the platform layer: registry.reg in the
// scratch host folder, read through key opens and value queries, the
// filter settings loaded from it, and a value written into it.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/filter_settings.h"
#include "platform/platform.h"

namespace {

void queryEverything(const char* path) {
  platform::RegKey key = nullptr;
  if (platform::regOpenKey(platform::RegHive::LocalMachine, path, platform::kKeyQueryValue,
                           &key) != 0) {
    return;
  }
  for (const char* name : {"", "Bayesian Process HTML", "Bayesian Calculation Mode",
                           "Bayesian Purge Significance", "Bayesian Minimum Token Count",
                           "Bayesian Training Mode", "XML Version", "A"}) {
    uint8_t small[4];
    uint32_t type = 0;
    uint32_t size = sizeof small;
    platform::regQueryValue(key, name, &type, small, &size);
    size = 0;
    if (platform::regQueryValue(key, name, &type, nullptr, &size) == 0 && size > 0) {
      std::string whole(size, '\0');
      uint32_t wholeSize = size;
      if (platform::regQueryValue(key, name, &type, reinterpret_cast<uint8_t*>(&whole[0]),
                                  &wholeSize) != 0 ||
          wholeSize != size) {
        fuzzsupport::propertyBroken("size query and read differ");
      }
    }
  }
  platform::regCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::scratchFolder();
  fuzzsupport::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::writeScratchFile("registry.reg", data, size);
  queryEverything(kFilterKey);
  queryEverything(kStoreKey);
  loadFilterSettings();

  // A write keeps the rest of a readable file and must read back at once.
  platform::RegKey key = nullptr;
  if (platform::regCreateKey(platform::RegHive::LocalMachine, kFilterKey,
                             platform::kKeyAllAccess, &key) != 0) {
    return 0;
  }
  const uint8_t value[4] = {1, 0, 0, 0};
  if (platform::regSetValue(key, "Bayesian-Reload", platform::kRegDword, value, 4) == 0) {
    uint8_t back[4] = {};
    uint32_t type = 0;
    uint32_t backSize = sizeof back;
    if (platform::regQueryValue(key, "Bayesian-Reload", &type, back, &backSize) != 0 ||
        type != platform::kRegDword || backSize != 4 || std::memcmp(back, value, 4) != 0) {
      fuzzsupport::propertyBroken("written value does not read back");
    }
  }
  platform::regCloseKey(key);
  return 0;
}
