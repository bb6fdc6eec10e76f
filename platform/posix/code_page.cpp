// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
int multiByteToWideChar(unsigned, uint32_t, const char*, int, char16_t*, int) { return 0; }
int wideCharToMultiByte(unsigned, uint32_t, const char16_t*, int, char*, int) { return 0; }
}  // namespace platform
