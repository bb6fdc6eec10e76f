#include "host/filter_notifications.h"

#include "host/filter_settings.h"

int setDwordValue(platform::RegHive hive, const char* keyPath, const char* valueName,
                  int32_t value) {
  platform::RegKey key = nullptr;
  if (platform::regCreateKey(hive, keyPath, platform::kKeyAllAccess, &key) != 0) return 0;
  const uint32_t bits = static_cast<uint32_t>(value);
  const uint8_t data[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                           static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  const long result = platform::regSetValue(key, valueName, platform::kRegDword, data, sizeof data);
  platform::regCloseKey(key);
  return result == 0 ? 1 : 0;
}

int notifyReload() {
  setDwordValue(platform::RegHive::LocalMachine, kFilterKey, "Bayesian-Reload", 1);
  return 1;
}
