// Advisory file locks over kernel32: LockFileEx on a handle of the lock
// file. Windows releases the lock when the handle is closed or the process
// ends, however it ends.
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace platform {

struct FileLockRecord {
  HANDLE file;
};

FileLock lockFile(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Every kind of sharing is allowed: the lock, not the open, is what keeps
  // other processes out, and the file may be opened by several at once.
  const HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // The whole possible range of the file, exclusive, waiting without limit
  // (no LOCKFILE_FAIL_IMMEDIATELY). The handle is synchronous, so the call
  // returns once the lock is held.
  OVERLAPPED whole = {};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return nullptr;
  }
  FileLockRecord* lock = new (std::nothrow) FileLockRecord{file};
  if (lock == nullptr) {
    OVERLAPPED range = {};
    ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &range);
    ::CloseHandle(file);
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return lock;
}

void unlockFile(FileLock lock) {
  if (lock == nullptr) return;
  OVERLAPPED whole = {};
  ::UnlockFileEx(lock->file, 0, MAXDWORD, MAXDWORD, &whole);
  ::CloseHandle(lock->file);
  delete lock;
}

}  // namespace platform
