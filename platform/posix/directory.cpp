// Placeholder until this unit lands; replaced whole by its implementation.
#include "platform/platform.h"
namespace platform {
FindHandle findFirstFile(const char*, FindData*) { return nullptr; }
bool findNextFile(FindHandle, FindData*) { return false; }
void findClose(FindHandle) {}
}  // namespace platform
