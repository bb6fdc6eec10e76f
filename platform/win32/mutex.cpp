// Kernel mutexes over kernel32. A MutexHandle is the kernel handle itself,
// so messages that print a handle show the value Windows gave.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

struct MutexRecord;

namespace {

MutexHandle windowsWrapMutex(HANDLE mutex) { return reinterpret_cast<MutexHandle>(mutex); }

HANDLE windowsMutexOf(MutexHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// A handle opened without the right to wait on it or to release it is of
// no use to a mutex owner, whatever access was asked for: those two rights
// are always added.
constexpr DWORD kWindowsMutexUseRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;

}  // namespace

MutexHandle openMutex(uint32_t desiredAccess, bool inheritHandle, const char* name) {
  if (name == nullptr) {
    // Only a named mutex can be opened.
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return windowsWrapMutex(::OpenMutexA(static_cast<DWORD>(desiredAccess) | kWindowsMutexUseRights,
                                       inheritHandle ? TRUE : FALSE, name));
}

MutexHandle createMutex(bool initialOwner, const char* name) {
  return windowsWrapMutex(::CreateMutexA(nullptr, initialOwner ? TRUE : FALSE, name));
}

uint32_t waitForSingleObject(MutexHandle handle, uint32_t timeout) {
  if (handle == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return kWaitFailed;
  }
  return static_cast<uint32_t>(
      ::WaitForSingleObject(windowsMutexOf(handle), static_cast<DWORD>(timeout)));
}

bool releaseMutex(MutexHandle handle) {
  if (handle == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::ReleaseMutex(windowsMutexOf(handle)) != FALSE;
}

bool closeHandle(MutexHandle handle) {
  if (handle == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::CloseHandle(windowsMutexOf(handle)) != FALSE;
}

}  // namespace platform
