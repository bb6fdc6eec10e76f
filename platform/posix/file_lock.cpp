// Advisory file locks of the POSIX stand-in: flock on a lock file. The lock
// belongs to the open file description, so it ends with the process however
// the process ends, and a lock file left behind by a killed process holds
// no lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

struct FileLockRecord {
  int fd;
};

FileLock lockFile(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    setLastError(kErrorInvalidParameter);
    return nullptr;
  }
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    setLastError(posix::windowsErrorFromErrno(errno));
    return nullptr;
  }
  while (flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    setLastError(posix::windowsErrorFromErrno(errno));
    close(fd);
    return nullptr;
  }
  return new FileLockRecord{fd};
}

void unlockFile(FileLock lock) {
  if (lock == nullptr) return;
  // Closing the only descriptor of the lock file releases the lock.
  close(lock->fd);
  delete lock;
}

}  // namespace platform
