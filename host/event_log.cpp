#include "host/event_log.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

void reportToEventLog(uint16_t eventType, const char* sourceName, uint32_t eventId,
                      const char* text) {
  char source[256];
  const char* name = (sourceName == nullptr || sourceName[0] == '\0') ? kDefaultEventSource : sourceName;
  // A name longer than the buffer is cut short rather than overrunning it.
  std::snprintf(source, sizeof source, "%s", name);

  // Taken before any other call here: it is the failure the caller met, not
  // one caused by opening the event source.
  int32_t lastError = static_cast<int32_t>(platform::getLastError());

  platform::EventSource handle = platform::registerEventSource(nullptr, source);

  char modulePath[260];
  if (platform::getModuleFileName(modulePath, sizeof modulePath) == 0) modulePath[0] = '\0';

  // An executable path too long for the line cuts the line short.
  char line[256];
  if (std::snprintf(line, sizeof line, "%s (%s) error: %d", kToolCaption, modulePath,
                    static_cast<int>(lastError)) < 0) {
    line[0] = '\0';
  }

  if (handle != nullptr) {
    const char* strings[2] = {line, text != nullptr ? text : ""};
    platform::reportEvent(handle, eventType, 0, eventId, 2, strings);
    platform::deregisterEventSource(handle);
  }
}
