// Directory search over kernel32: the listing comes in the file system's
// own order ("." and ".." first on NTFS) with the entries' attribute words.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

// A FindHandle is the search handle of FindFirstFileA itself.
struct FindRecord;

namespace {

FindHandle windowsWrapSearch(HANDLE search) { return reinterpret_cast<FindHandle>(search); }

HANDLE windowsSearchOf(FindHandle handle) { return reinterpret_cast<HANDLE>(handle); }

void windowsCopyEntry(const WIN32_FIND_DATAA& found, FindData* data) {
  static_assert(sizeof data->fileName == sizeof found.cFileName,
                "a found name fits the FindData field");
  data->attributes = static_cast<uint32_t>(found.dwFileAttributes);
  std::memcpy(data->fileName, found.cFileName, sizeof data->fileName);
  data->fileName[sizeof data->fileName - 1] = '\0';
}

}  // namespace

FindHandle findFirstFile(const char* pattern, FindData* data) {
  if (pattern == nullptr || data == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return nullptr;
  windowsCopyEntry(found, data);
  return windowsWrapSearch(search);
}

FindHandle findFirstFile(const char* pattern, FindData* data, FindDetail detail) {
  if (detail == FindDetail::Full || pattern == nullptr || data == nullptr) {
    return findFirstFile(pattern, data);
  }
  // Without the short names and in larger fetches; the attributes are whole
  // either way. A system that does not offer this search gets the plain one.
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileExA(pattern, FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED) {
      return findFirstFile(pattern, data);
    }
    return nullptr;
  }
  windowsCopyEntry(found, data);
  return windowsWrapSearch(search);
}

bool findNextFile(FindHandle handle, FindData* data) {
  if (handle == nullptr || data == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  WIN32_FIND_DATAA found;
  if (!::FindNextFileA(windowsSearchOf(handle), &found)) return false;
  windowsCopyEntry(found, data);
  return true;
}

void findClose(FindHandle handle) {
  if (handle != nullptr) ::FindClose(windowsSearchOf(handle));
}

}  // namespace platform
