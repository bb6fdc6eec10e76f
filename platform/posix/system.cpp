// Last-error code, clock, COM and Windows Sockets of the POSIX stand-in.
#include <chrono>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

// Each thread has its own last-error code, as on Windows.
thread_local uint32_t posixLastError = kErrorSuccess;

// How often COM was joined on this thread and not yet left.
thread_local int posixComInitCount = 0;

std::chrono::steady_clock::time_point posixProcessStart() {
  static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  return start;
}

// Takes the start reading while static objects are built, before the entry
// point runs, so that the clock counts from the start of the process rather
// than from its first reading.
const std::chrono::steady_clock::time_point posixStartReading = posixProcessStart();

void posixCopyText(char* destination, size_t size, const char* text) {
  std::strncpy(destination, text, size - 1);
  destination[size - 1] = '\0';
}

}  // namespace

uint32_t getLastError() { return posixLastError; }

void setLastError(uint32_t code) { posixLastError = code; }

long clockMilliseconds() {
  const auto elapsed = std::chrono::steady_clock::now() - posixProcessStart();
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

int32_t coInitializeEx(void*, uint32_t) {
  // The first call on a thread joins the apartment (S_OK); every further one
  // only counts (S_FALSE) and needs its own coUninitialize.
  return posixComInitCount++ == 0 ? kSOk : kSFalse;
}

void coUninitialize() {
  if (posixComInitCount > 0) --posixComInitCount;
}

bool comInitialized() { return posixComInitCount > 0; }

int wsaStartup(uint16_t versionRequested, WsaData* data) {
  if (data == nullptr) return 10014;  // WSAEFAULT
  // The stand-in offers every version up to 2.2 and agrees to the one asked
  // for when it is lower.
  const uint16_t highest = 0x0202;
  const unsigned major = versionRequested & 0xFF;
  const unsigned minor = versionRequested >> 8;
  data->version = (major > 2 || (major == 2 && minor > 2)) ? highest : versionRequested;
  data->highVersion = highest;
  posixCopyText(data->description, sizeof data->description, "POSIX sockets");
  posixCopyText(data->systemStatus, sizeof data->systemStatus, "Running");
  return 0;
}

int wsaCleanup() { return 0; }

}  // namespace platform
