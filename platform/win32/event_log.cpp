// Event log and the executable's path over advapi32 and kernel32.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

// An EventSource is the handle of RegisterEventSourceA itself.
struct EventSourceRecord;

namespace {

EventSource windowsWrapSource(HANDLE source) { return reinterpret_cast<EventSource>(source); }

HANDLE windowsSourceOf(EventSource source) { return reinterpret_cast<HANDLE>(source); }

}  // namespace

EventSource registerEventSource(const char* server, const char* sourceName) {
  return windowsWrapSource(::RegisterEventSourceA(server, sourceName));
}

bool reportEvent(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                 uint16_t stringCount, const char* const* strings) {
  if (source == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // ReportEventA only reads the strings; its parameter merely lacks the
  // second const.
  return ::ReportEventA(windowsSourceOf(source), type, category, eventId, nullptr, stringCount,
                        0, const_cast<const char**>(strings), nullptr) != FALSE;
}

bool deregisterEventSource(EventSource source) {
  if (source == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::DeregisterEventSource(windowsSourceOf(source)) != FALSE;
}

uint32_t getModuleFileName(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, size);
  if (length == 0) {
    buffer[0] = '\0';
    return 0;
  }
  // A path that does not fit comes back cut to the buffer's size, and
  // older systems leave it without a terminator: cut it one shorter.
  if (length >= size) {
    buffer[size - 1] = '\0';
    return size - 1;
  }
  return length;
}

}  // namespace platform
