// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
uint32_t getLastError() { return 0; }
void setLastError(uint32_t) {}
long clockMilliseconds() { return 0; }
int32_t coInitializeEx(void*, uint32_t) { return 0; }
void coUninitialize() {}
bool comInitialized() { return false; }
int wsaStartup(uint16_t, WsaData*) { return 0; }
int wsaCleanup() { return 0; }
}  // namespace platform
