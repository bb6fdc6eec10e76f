// Last-error code, clock, COM and Windows Sockets over kernel32, the C
// run-time, ole32 and ws2_32.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <ctime>

#include "platform/platform.h"

namespace platform {

namespace {

// How often COM was joined on this thread and not yet left. COM keeps its
// own count; this one answers comInitialized() without asking COM, which
// has no call that tells an explicit join from the implicit apartment.
thread_local int windowsComInitCount = 0;

void windowsCopyText(char* destination, size_t size, const char* text) {
  std::snprintf(destination, size, "%s", text);
}

}  // namespace

uint32_t getLastError() { return static_cast<uint32_t>(::GetLastError()); }

void setLastError(uint32_t code) { ::SetLastError(static_cast<DWORD>(code)); }

long clockMilliseconds() {
  // The C run-time of Windows counts clock() ticks in milliseconds of wall
  // time since the process started.
  static_assert(CLOCKS_PER_SEC == 1000, "clock() ticks are milliseconds on Windows");
  return static_cast<long>(std::clock());
}

int32_t coInitializeEx(void* reserved, uint32_t concurrencyModel) {
  const HRESULT result = ::CoInitializeEx(reserved, static_cast<DWORD>(concurrencyModel));
  if (SUCCEEDED(result)) ++windowsComInitCount;
  return static_cast<int32_t>(result);
}

void coUninitialize() {
  if (windowsComInitCount == 0) return;
  --windowsComInitCount;
  ::CoUninitialize();
}

bool comInitialized() { return windowsComInitCount > 0; }

int wsaStartup(uint16_t versionRequested, WsaData* data) {
  if (data == nullptr) return WSAEFAULT;
  WSADATA windowsData;
  const int result = ::WSAStartup(versionRequested, &windowsData);
  if (result != 0) return result;
  data->version = windowsData.wVersion;
  data->highVersion = windowsData.wHighVersion;
  windowsCopyText(data->description, sizeof data->description, windowsData.szDescription);
  windowsCopyText(data->systemStatus, sizeof data->systemStatus, windowsData.szSystemStatus);
  return 0;
}

int wsaCleanup() { return ::WSACleanup(); }

}  // namespace platform
