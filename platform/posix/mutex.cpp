// Kernel mutexes of the POSIX stand-in, with the Windows semantics: owned by
// a thread, re-entrant for that thread, waited on with a timeout, released
// only by their owner, and reported abandoned to the next thread that
// acquires one whose owner ended without releasing it.
//
// Each mutex is a robust recursive pthread mutex: the kernel marks it when
// its owning thread ends, so the next lock reports the owner's death
// (EOWNERDEAD), which is the abandoned result. An unnamed mutex lives in the
// process's memory; a named one lives in a small file in /dev/shm (or the
// temporary folder where there is none), mapped by every process that opens
// the name, so it is shared between processes and a process that dies
// holding it abandons it as a thread does. The file is removed when the
// last process that has the name open closes it or dies.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

namespace {

constexpr uint32_t kPosixErrorAlreadyExists = 183;
constexpr uint32_t kPosixErrorMutantLimitExceeded = 587;
constexpr uint32_t kPosixSharedMagic = 0x43564D58;  // "CVMX"

// The part of a named mutex that lives in shared memory.
struct PosixSharedMutex {
  std::atomic<uint32_t> magic;  // set once the mutex is ready for use
  pthread_mutex_t mutex;
};

// One mutex as this process sees it; every handle to it points here.
struct PosixMutexObject {
  pthread_mutex_t* mutex = nullptr;
  // The thread of this process that owns the mutex (0: none here) and how
  // often it has acquired it; only the owner changes them.
  std::atomic<uint64_t> ownerToken{0};
  uint32_t depth = 0;
  int handles = 0;  // under posixObjectsLock
  // A named mutex: its name, its file and the file's mapping.
  std::string name;
  std::string path;
  int fd = -1;
  PosixSharedMutex* shared = nullptr;
};

std::mutex posixObjectsLock;
std::map<std::string, PosixMutexObject*> posixNamedObjects;

std::atomic<uint64_t> posixNextToken{1};
thread_local uint64_t posixThreadToken = 0;

// A number that names the calling thread for as long as the process runs
// (thread identifiers of the system are reused).
uint64_t posixCurrentToken() {
  if (posixThreadToken == 0) posixThreadToken = posixNextToken.fetch_add(1);
  return posixThreadToken;
}

bool posixInitialiseMutex(pthread_mutex_t* mutex, bool shared) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  bool ok = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
            (!shared || pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0) &&
            pthread_mutex_init(mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  return ok;
}

// The folder of the named mutexes' files.
std::string posixSharedFolder() {
  struct stat info;
  if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  const char* temporary = std::getenv("TMPDIR");
  return (temporary != nullptr && temporary[0] == '/') ? temporary : "/tmp";
}

// The file of a named mutex: the name with every byte outside [A-Za-z0-9._-]
// written as %XX; a name too long for that is replaced by a hash of it.
std::string posixSharedPath(const std::string& name) {
  std::string encoded;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '_' || c == '-') {
      encoded += static_cast<char>(c);
    } else {
      static const char kDigits[] = "0123456789ABCDEF";
      encoded += '%';
      encoded += kDigits[c >> 4];
      encoded += kDigits[c & 0xF];
    }
  }
  if (encoded.size() > 200) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    encoded = encoded.substr(0, 100) + "~" + digits;
  }
  return posixSharedFolder() + "/cvspamcmd-mutex-" + encoded;
}

// Byte-range locks on a named mutex's file (open-file-description locks, so
// they belong to the handle's file and vanish with it, also when a process
// dies): byte 0 serialises opening and closing the name; every process
// with the name open holds a shared lock on byte 1, so the last one to close
// can tell that nobody else has it open.
constexpr off_t kPosixGuardByte = 0;
constexpr off_t kPosixPresenceByte = 1;

bool posixRangeLock(int fd, off_t byte, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// True when no other open file has the name open.
bool posixAloneWith(int fd) {
  if (!posixRangeLock(fd, kPosixPresenceByte, F_WRLCK, false)) return false;
  posixRangeLock(fd, kPosixPresenceByte, F_UNLCK, false);
  return true;
}

// Opens (and with create, makes) the shared file of a named mutex. Returns
// the object, or null with the last-error code set. Called under
// posixObjectsLock.
PosixMutexObject* posixOpenShared(const std::string& name, bool create, bool* existed) {
  const std::string path = posixSharedPath(name);
  for (;;) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (fd < 0) {
      setLastError(posix::windowsErrorFromErrno(errno));
      return nullptr;
    }
    if (!posixRangeLock(fd, kPosixGuardByte, F_WRLCK, true)) {
      setLastError(posix::windowsErrorFromErrno(errno));
      close(fd);
      return nullptr;
    }
    // The last process to close the name removes the file under the guard;
    // a file opened just before that is stale and is opened again.
    struct stat opened, named;
    if (fstat(fd, &opened) != 0 || stat(path.c_str(), &named) != 0 ||
        opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
      close(fd);
      if (!create) {
        setLastError(kErrorFileNotFound);
        return nullptr;
      }
      continue;
    }
    // A file that nobody has open is left over from a process that died
    // while making it: it does not name a mutex any more.
    const bool fresh = opened.st_size == 0 || posixAloneWith(fd);
    const auto fail = [&](int error) {
      if (fresh) unlink(path.c_str());
      close(fd);
      setLastError(posix::windowsErrorFromErrno(error));
      return nullptr;
    };
    if (fresh && !create) return fail(ENOENT);
    if (fresh && (ftruncate(fd, 0) != 0 || ftruncate(fd, sizeof(PosixSharedMutex)) != 0)) {
      return fail(errno);
    }
    if (!fresh && static_cast<size_t>(opened.st_size) < sizeof(PosixSharedMutex)) {
      return fail(EINVAL);
    }
    void* mapping =
        mmap(nullptr, sizeof(PosixSharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) return fail(errno);
    auto* shared = static_cast<PosixSharedMutex*>(mapping);
    if (fresh) {
      if (!posixInitialiseMutex(&shared->mutex, true)) {
        munmap(mapping, sizeof(PosixSharedMutex));
        return fail(ENOMEM);
      }
      shared->magic.store(kPosixSharedMagic);
    } else if (shared->magic.load() != kPosixSharedMagic) {
      munmap(mapping, sizeof(PosixSharedMutex));
      return fail(EINVAL);
    }
    posixRangeLock(fd, kPosixPresenceByte, F_RDLCK, true);
    posixRangeLock(fd, kPosixGuardByte, F_UNLCK, false);
    *existed = !fresh;
    auto* object = new PosixMutexObject;
    object->mutex = &shared->mutex;
    object->name = name;
    object->path = path;
    object->fd = fd;
    object->shared = shared;
    return object;
  }
}

// Frees what this process holds of a mutex once its last handle here is
// closed. The calling thread's holds are given up first. The memory of a
// mutex still held by another thread of this process is kept: the system
// may write to it when that thread ends.
void posixFreeObject(PosixMutexObject* object) {
  const uint64_t me = posixCurrentToken();
  if (object->ownerToken.load() == me) {
    const uint32_t depth = object->depth;
    object->depth = 0;
    object->ownerToken.store(0);
    for (uint32_t i = 0; i < depth; ++i) pthread_mutex_unlock(object->mutex);
  }
  bool reusable = true;
  const int tried = pthread_mutex_trylock(object->mutex);
  if (tried == EOWNERDEAD) pthread_mutex_consistent(object->mutex);
  if (tried == 0 || tried == EOWNERDEAD) {
    pthread_mutex_unlock(object->mutex);
  } else if (object->ownerToken.load() != 0) {
    reusable = false;  // held by another thread of this process
  }
  if (object->shared == nullptr) {
    if (!reusable) return;
    pthread_mutex_destroy(object->mutex);
    delete object->mutex;
    delete object;
    return;
  }
  posixRangeLock(object->fd, kPosixGuardByte, F_WRLCK, true);
  posixRangeLock(object->fd, kPosixPresenceByte, F_UNLCK, false);
  if (posixAloneWith(object->fd)) unlink(object->path.c_str());
  posixRangeLock(object->fd, kPosixGuardByte, F_UNLCK, false);
  if (!reusable) return;
  munmap(object->shared, sizeof(PosixSharedMutex));
  close(object->fd);
  delete object;
}

}  // namespace

struct MutexRecord {
  PosixMutexObject* object;
};

MutexHandle openMutex(uint32_t, bool, const char* name) {
  if (name == nullptr || name[0] == '\0') {
    setLastError(kErrorFileNotFound);
    return nullptr;
  }
  std::lock_guard<std::mutex> hold(posixObjectsLock);
  auto found = posixNamedObjects.find(name);
  if (found != posixNamedObjects.end()) {
    ++found->second->handles;
    return new MutexRecord{found->second};
  }
  bool existed = false;
  PosixMutexObject* object = posixOpenShared(name, false, &existed);
  if (object == nullptr) return nullptr;
  object->handles = 1;
  posixNamedObjects[name] = object;
  return new MutexRecord{object};
}

MutexHandle createMutex(bool initialOwner, const char* name) {
  PosixMutexObject* object = nullptr;
  bool existed = false;
  if (name == nullptr || name[0] == '\0') {
    auto* mutex = new pthread_mutex_t;
    if (!posixInitialiseMutex(mutex, false)) {
      delete mutex;
      setLastError(kErrorNotEnoughMemory);
      return nullptr;
    }
    object = new PosixMutexObject;
    object->mutex = mutex;
    object->handles = 1;
  } else {
    std::lock_guard<std::mutex> hold(posixObjectsLock);
    auto found = posixNamedObjects.find(name);
    if (found != posixNamedObjects.end()) {
      object = found->second;
      ++object->handles;
      existed = true;
    } else {
      object = posixOpenShared(name, true, &existed);
      if (object == nullptr) return nullptr;
      object->handles = 1;
      posixNamedObjects[name] = object;
    }
  }
  auto* handle = new MutexRecord{object};
  // An existing mutex keeps its owner: only a new one starts owned.
  if (initialOwner && !existed) waitForSingleObject(handle, kInfinite);
  setLastError(existed ? kPosixErrorAlreadyExists : kErrorSuccess);
  return handle;
}

uint32_t waitForSingleObject(MutexHandle handle, uint32_t timeout) {
  if (handle == nullptr) {
    setLastError(kErrorInvalidHandle);
    return kWaitFailed;
  }
  PosixMutexObject* object = handle->object;
  const uint64_t me = posixCurrentToken();
  int result;
  if (timeout == kInfinite) {
    result = pthread_mutex_lock(object->mutex);
  } else if (timeout == 0) {
    result = pthread_mutex_trylock(object->mutex);
    if (result == EBUSY) result = ETIMEDOUT;
  } else {
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeout / 1000);
    deadline.tv_nsec += static_cast<long>(timeout % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    do {
      result = pthread_mutex_clocklock(object->mutex, CLOCK_MONOTONIC, &deadline);
    } while (result == EINTR);
  }
  switch (result) {
    case 0:
      if (object->ownerToken.load() == me) {
        ++object->depth;
      } else {
        object->ownerToken.store(me);
        object->depth = 1;
      }
      return kWaitObject0;
    case EOWNERDEAD:
      // The owner ended while holding the mutex: this thread owns it now,
      // once, and is told so.
      pthread_mutex_consistent(object->mutex);
      object->ownerToken.store(me);
      object->depth = 1;
      return kWaitAbandoned;
    case ETIMEDOUT:
      return kWaitTimeout;
    case EAGAIN:
      setLastError(kPosixErrorMutantLimitExceeded);
      return kWaitFailed;
    case ENOTRECOVERABLE:
      setLastError(kErrorInvalidHandle);
      return kWaitFailed;
    default:
      setLastError(posix::windowsErrorFromErrno(result));
      return kWaitFailed;
  }
}

bool releaseMutex(MutexHandle handle) {
  if (handle == nullptr) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  PosixMutexObject* object = handle->object;
  if (object->ownerToken.load() != posixCurrentToken()) {
    setLastError(kErrorNotOwner);
    return false;
  }
  if (--object->depth == 0) object->ownerToken.store(0);
  if (pthread_mutex_unlock(object->mutex) != 0) {
    setLastError(kErrorNotOwner);
    return false;
  }
  return true;
}

bool closeHandle(MutexHandle handle) {
  if (handle == nullptr) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  PosixMutexObject* object = handle->object;
  delete handle;
  std::lock_guard<std::mutex> hold(posixObjectsLock);
  if (--object->handles > 0) return true;
  if (!object->name.empty()) posixNamedObjects.erase(object->name);
  posixFreeObject(object);
  return true;
}

}  // namespace platform
