// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
MutexHandle openMutex(uint32_t, bool, const char*) { return nullptr; }
MutexHandle createMutex(bool, const char*) { return nullptr; }
uint32_t waitForSingleObject(MutexHandle, uint32_t) { return kWaitFailed; }
bool releaseMutex(MutexHandle) { return false; }
bool closeHandle(MutexHandle) { return false; }
}  // namespace platform
