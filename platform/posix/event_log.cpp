// Event log of the POSIX stand-in: events.log in the host folder, one line
// per event, and the executable's path from /proc/self/exe.
//
// A line holds, separated by tabs: the time in UTC (ISO 8601, to the
// second), the event type in decimal, the source name, the event identifier
// as 0x and eight upper-case hexadecimal digits, then each insertion string.
// A tab, CR or LF inside a field is written as a blank, so that every event
// stays one line.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

struct EventSourceRecord {
  std::string name;
  int fd;
};

namespace {

constexpr uint32_t kPosixErrorServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE

void posixAppendField(std::string& line, const char* text) {
  line += '\t';
  if (text == nullptr) return;
  for (const char* c = text; *c != '\0'; ++c) {
    line += (*c == '\t' || *c == '\r' || *c == '\n') ? ' ' : *c;
  }
}

}  // namespace

EventSource registerEventSource(const char* server, const char* sourceName) {
  if (server != nullptr && server[0] != '\0') {
    // Only the local computer keeps a log here.
    setLastError(kPosixErrorServerUnavailable);
    return nullptr;
  }
  if (sourceName == nullptr) {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const std::string folder = posix::hostDirectory();
  const int error = posix::makeDirectories(folder);
  if (error != 0) {
    setLastError(posix::windowsErrorFromErrno(error));
    return nullptr;
  }
  const std::string path = folder + "/events.log";
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    setLastError(posix::windowsErrorFromErrno(errno));
    return nullptr;
  }
  return new EventSourceRecord{sourceName, fd};
}

bool reportEvent(EventSource source, uint16_t type, uint16_t, uint32_t eventId,
                 uint16_t stringCount, const char* const* strings) {
  if (source == nullptr) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  if (stringCount > 0 && strings == nullptr) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  const std::time_t now = std::time(nullptr);
  std::tm utc;
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string line = stamp;
  line += '\t' + std::to_string(type);
  posixAppendField(line, source->name.c_str());
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(eventId));
  line += '\t';
  line += id;
  for (uint16_t i = 0; i < stringCount; ++i) posixAppendField(line, strings[i]);
  line += '\n';
  // One write to a file opened for appending: lines of concurrent writers
  // do not interleave.
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t put = write(source->fd, line.data() + done, line.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      setLastError(posix::windowsErrorFromErrno(errno));
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool deregisterEventSource(EventSource source) {
  if (source == nullptr) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  close(source->fd);
  delete source;
  return true;
}

uint32_t getModuleFileName(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) {
    setLastError(kErrorInsufficientBuffer);
    return 0;
  }
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    setLastError(posix::windowsErrorFromErrno(errno));
    buffer[0] = '\0';
    return 0;
  }
  auto copied = static_cast<uint32_t>(length);
  if (copied >= size) {
    // Cut to fit, as Windows does, and say so.
    copied = size - 1;
    setLastError(kErrorInsufficientBuffer);
  }
  std::memcpy(buffer, path, copied);
  buffer[copied] = '\0';
  return copied;
}

}  // namespace platform
