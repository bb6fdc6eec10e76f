#include "host/filter_settings.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "message/text_search.h"
#include "platform/platform.h"

FilterSettings filterSettings;

namespace {

constexpr int kStringSettingSize = 1024;

// Paths written for the 32-bit view of the registry name "Wow6432Node"
// after "Software"; a path given without it gets it here.
std::string toWow6432Path(const char* keyPath) {
  static const char kPlain[] = "Software\\Corvistane";
  static const char kWow[] = "Software\\Wow6432Node\\Corvistane";
  std::string path = keyPath;
  const char* found = findNoCase(keyPath, kPlain, -1, static_cast<int>(std::strlen(kPlain)));
  if (found != nullptr) path.replace(static_cast<size_t>(found - keyPath), std::strlen(kPlain), kWow);
  return path;
}

}  // namespace

int readSettingDword(const char* keyPath, const char* valueName, int32_t* out) {
  if (keyPath == nullptr || keyPath[0] == '\0') return 0;
  platform::RegKey key = nullptr;
  if (platform::regOpenKey(platform::RegHive::LocalMachine, keyPath, platform::kKeyQueryValue,
                           &key) != 0) {
    return 0;
  }
  // Up to four raw bytes of any type are taken as a little-endian integer;
  // a larger value does not fit and the query fails.
  uint8_t data[4] = {0, 0, 0, 0};
  uint32_t size = sizeof data;
  const long result = platform::regQueryValue(key, valueName, nullptr, data, &size);
  platform::regCloseKey(key);
  if (result != 0) return 0;
  const uint32_t value = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                         (static_cast<uint32_t>(data[2]) << 16) |
                         (static_cast<uint32_t>(data[3]) << 24);
  *out = static_cast<int32_t>(value);
  return 1;
}

int readSettingString(const char* keyPath, const char* valueName, char* destination, int size) {
  if (size <= 0) return 0;
  const std::string path = toWow6432Path(keyPath);
  char* buffer = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 1, 1));
  if (buffer == nullptr) return 0;
  platform::RegKey key = nullptr;
  if (platform::regOpenKey(platform::RegHive::LocalMachine, path.c_str(),
                           platform::kKeyQueryValue, &key) != 0) {
    destination[0] = '\0';
    std::free(buffer);
    return 0;
  }
  uint32_t dataSize = static_cast<uint32_t>(size);
  const long result =
      platform::regQueryValue(key, valueName, nullptr, reinterpret_cast<uint8_t*>(buffer), &dataSize);
  platform::regCloseKey(key);
  if (result == 0 && dataSize != 0) {
    // A value without a terminator inside the buffer is cut to fit.
    const size_t length = strnlen(buffer, static_cast<size_t>(size) - 1);
    std::memcpy(destination, buffer, length);
    destination[length] = '\0';
    std::free(buffer);
    return 1;
  }
  destination[0] = '\0';
  std::free(buffer);
  return 0;
}

int32_t readProcessHtml() {
  int32_t value = 1;
  return readSettingDword(kFilterKey, "Bayesian Process HTML", &value) ? value : 1;
}

int32_t readCalculationMode() {
  int32_t value = 2;
  return readSettingDword(kFilterKey, "Bayesian Calculation Mode", &value) ? value : 2;
}

double readPurgeSignificance() {
  char text[kStringSettingSize];
  if (!readSettingString(kFilterKey, "Bayesian Purge Significance", text, sizeof text)) {
    return 0.0005;
  }
  return std::atof(text);
}

int32_t readMinimumTokenCount() {
  int32_t value = 2;
  return readSettingDword(kFilterKey, "Bayesian Minimum Token Count", &value) ? value : 2;
}

int32_t readTrainingMode() {
  int32_t value = 0;
  return readSettingDword(kFilterKey, "Bayesian Training Mode", &value) ? value : 0;
}

int loadFilterSettings() {
  filterSettings.processHtml = readProcessHtml();
  filterSettings.calculationMode = readCalculationMode();
  filterSettings.purgeSignificance = readPurgeSignificance();
  filterSettings.minimumTokenCount = readMinimumTokenCount();
  filterSettings.trainingMode = readTrainingMode();
  return 1;
}
