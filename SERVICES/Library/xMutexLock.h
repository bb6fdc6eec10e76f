// Mutual exclusion over operating-system mutexes: Mutex owns a handle,
// xMutexLock holds one for a scope, Exception is what the lock throws.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

class Exception {
 public:
  Exception(std::string message, std::string file, int32_t line);
  virtual ~Exception();
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;

  virtual std::string message() const;
  virtual std::string file() const;
  virtual int32_t line() const;
  // "message (file:line)", each part only where present.
  virtual std::string description() const;

 private:
  std::string message_;
  std::string file_;
  int32_t line_;
};

class Mutex {
 public:
  // Opens the named mutex, or creates it; a null name gives a new unnamed one.
  explicit Mutex(const char* osName);
  virtual ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  platform::MutexHandle handle() const { return handle_; }

 private:
  platform::MutexHandle handle_;
};

// 1 acquired, 2 timed out, 3 acquired after abandonment, 0 null or failed.
int32_t waitForMutex(platform::MutexHandle handle, int32_t timeout);

class xMutexLock {
 public:
  // Waits for handle (a null handle: no wait). Throws Exception on a
  // timeout, an abandoned mutex or a failed wait.
  xMutexLock(platform::MutexHandle handle, int32_t timeout);
  // Releases the mutex; a failed release throws.
  virtual ~xMutexLock() noexcept(false);
  xMutexLock(const xMutexLock&) = delete;
  xMutexLock& operator=(const xMutexLock&) = delete;

  int32_t acquire();
  int32_t release();
  int32_t state() const { return state_; }

 private:
  int32_t state_;
  platform::MutexHandle handle_;
  int32_t timeout_;
};

namespace FileManagement {
// Guards the file-mutex registry; nothing waits on it.
extern Mutex fileMutexesMutex;
}  // namespace FileManagement
