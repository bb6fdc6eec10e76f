// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
long regOpenKey(RegHive, const char*, uint32_t, RegKey* k) { *k = nullptr; return 2; }
long regCreateKey(RegHive, const char*, uint32_t, RegKey* k) { *k = nullptr; return 5; }
long regQueryValue(RegKey, const char*, uint32_t*, uint8_t*, uint32_t*) { return 2; }
long regSetValue(RegKey, const char*, uint32_t, const uint8_t*, uint32_t) { return 5; }
long regCloseKey(RegKey) { return 0; }
}  // namespace platform
