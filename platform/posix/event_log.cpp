// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
EventSource registerEventSource(const char*, const char*) { return nullptr; }
bool reportEvent(EventSource, uint16_t, uint16_t, uint32_t, uint16_t, const char* const*) { return false; }
bool deregisterEventSource(EventSource) { return false; }
uint32_t getModuleFileName(char* b, uint32_t) { b[0] = 0; return 0; }
}  // namespace platform
