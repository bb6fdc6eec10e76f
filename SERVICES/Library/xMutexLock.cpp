// Mutual exclusion over operating-system mutexes.
#include "SERVICES/Library/xMutexLock.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace {

// The source file named in every exception the lock throws.
constexpr const char* kLockSourceFile = "..\\SERVICES\\Library\\xMutexLock";

// The lines of the lock's source that the exceptions name.
constexpr int32_t kLineTimedOut = 78;
constexpr int32_t kLineAbandoned = 85;
constexpr int32_t kLineWaitFailed = 93;
constexpr int32_t kLineReleaseFailed = 134;

// A handle written as a pointer: sixteen upper-case hexadecimal digits, no
// prefix. Where pointers are narrower than 64 bits the value is zero-padded
// to the same sixteen digits, so the messages read alike on every build.
std::string handleText(platform::MutexHandle handle) {
  char text[17];
  snprintf(text, sizeof text, "%016" PRIX64,
           static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

std::string errorText(uint32_t error) { return std::to_string(error); }

}  // namespace

// ---------------------------------------------------------------------------
// Exception

Exception::Exception(std::string message, std::string file, int32_t line)
    : message_(std::move(message)), file_(std::move(file)), line_(line) {}

Exception::~Exception() = default;

std::string Exception::message() const { return message_; }

std::string Exception::file() const { return file_; }

int32_t Exception::line() const { return line_; }

std::string Exception::description() const {
  std::string text;
  if (!message_.empty()) text = message_ + " ";
  if (!file_.empty()) {
    text += "(" + file_;
    if (line_ > 0) text += ":" + std::to_string(line_);
    text += ")";
  }
  return text;
}

// ---------------------------------------------------------------------------
// Mutex

Mutex::Mutex(const char* osName) : handle_(nullptr) {
  // An unnamed mutex cannot be opened, so a null name always creates a new
  // one private to the process.
  handle_ = platform::openMutex(0, false, osName);
  if (handle_ == nullptr) handle_ = platform::createMutex(false, osName);
}

Mutex::~Mutex() {
  if (handle_ != nullptr) {
    platform::closeHandle(handle_);
    handle_ = nullptr;
  }
}

// ---------------------------------------------------------------------------
// Waiting and the scoped lock

int32_t waitForMutex(platform::MutexHandle handle, int32_t timeout) {
  if (handle == nullptr) return 0;
  // -1 becomes the platform's "no limit".
  switch (platform::waitForSingleObject(handle, static_cast<uint32_t>(timeout))) {
    case platform::kWaitObject0:
      return 1;
    case platform::kWaitAbandoned:
      return 3;
    case platform::kWaitTimeout:
      return 2;
    default:
      return 0;
  }
}

xMutexLock::xMutexLock(platform::MutexHandle handle, int32_t timeout)
    : state_(0), handle_(handle), timeout_(timeout) {
  state_ = acquire();
}

xMutexLock::~xMutexLock() noexcept(false) { release(); }

int32_t xMutexLock::acquire() {
  if (handle_ == nullptr) return 1;
  int32_t result = waitForMutex(handle_, timeout_);
  uint32_t error = platform::getLastError();
  switch (result) {
    case 2:
      throw Exception("Failed to lock mutex " + handleText(handle_) + ": request timed out",
                      kLockSourceFile, kLineTimedOut);
    case 3:
      // The wait made this thread the owner. The lock is not constructed and
      // so never releases it: give it back here rather than keep a mutex the
      // caller is told could not be locked.
      platform::releaseMutex(handle_);
      throw Exception("Mutex " + handleText(handle_) + " was abandoned by another thread",
                      kLockSourceFile, kLineAbandoned);
    case 0:
      throw Exception(
          "Failed to lock mutex " + handleText(handle_) + " with error " + errorText(error),
          kLockSourceFile, kLineWaitFailed);
    default:
      return result;
  }
}

int32_t xMutexLock::release() {
  if (handle_ == nullptr) return 1;
  if (platform::releaseMutex(handle_)) {
    state_ = -2;
    return 1;
  }
  uint32_t error = platform::getLastError();
  throw Exception(
      "Failed to unlock mutex " + handleText(handle_) + " with error " + errorText(error),
      kLockSourceFile, kLineReleaseFailed);
}

// ---------------------------------------------------------------------------
// The process-wide mutexes, built before the entry point runs and destroyed
// after it returns, in reverse order. Nothing waits on them.

namespace {
Mutex serviceLibraryMutex(nullptr);
}  // namespace

namespace FileManagement {
Mutex fileMutexesMutex(nullptr);
}  // namespace FileManagement
