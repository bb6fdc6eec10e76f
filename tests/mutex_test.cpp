// The mutex wrapper, the scoped lock and the exception it throws.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "SERVICES/Library/xMutexLock.h"
#include "platform/platform.h"

namespace {

std::string hexHandle(platform::MutexHandle handle) {
  char text[32];
  snprintf(text, sizeof text, "%016llX",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
  return text;
}

const char* const kLockFile = "..\\SERVICES\\Library\\xMutexLock";

// Holds a mutex on a thread of its own until release() is called.
class HoldingThread {
 public:
  explicit HoldingThread(platform::MutexHandle handle) {
    std::future<void> acquired = acquired_.get_future();
    thread_ = std::thread([this, handle] {
      platform::waitForSingleObject(handle, platform::kInfinite);
      acquired_.set_value();
      releaseRequested_.get_future().wait();
      platform::releaseMutex(handle);
    });
    acquired.wait();
  }
  ~HoldingThread() {
    releaseRequested_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> acquired_;
  std::promise<void> releaseRequested_;
  std::thread thread_;
};

// What a wait with no time to spare gives on another thread.
uint32_t waitFromOtherThread(platform::MutexHandle handle) {
  uint32_t result = platform::kWaitFailed;
  std::thread([&] {
    result = platform::waitForSingleObject(handle, 0);
    if (result == platform::kWaitObject0 || result == platform::kWaitAbandoned) {
      platform::releaseMutex(handle);
    }
  }).join();
  return result;
}

// What a lock with no time to spare throws while another thread holds the
// mutex; a lock that throws nothing fails the test.
Exception timedOutLock(platform::MutexHandle handle) {
  HoldingThread holder(handle);
  try {
    xMutexLock lock(handle, 0);
  } catch (const Exception& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return Exception("", "", 0);
}

TEST(Mutex, UnnamedMutexesAreDistinct) {
  Mutex first(nullptr);
  Mutex second(nullptr);
  ASSERT_NE(nullptr, first.handle());
  ASSERT_NE(nullptr, second.handle());
  EXPECT_NE(first.handle(), second.handle());
  // Holding one does not hold the other.
  HoldingThread holder(first.handle());
  EXPECT_EQ(platform::kWaitTimeout, waitFromOtherThread(first.handle()));
  EXPECT_EQ(platform::kWaitObject0, waitFromOtherThread(second.handle()));
}

TEST(Mutex, NamedMutexIsOpenedBySecondObject) {
  std::string name = "cvspam-mutex-test-" + std::to_string(reinterpret_cast<uintptr_t>(&name));
  Mutex first(name.c_str());
  Mutex second(name.c_str());
  ASSERT_NE(nullptr, first.handle());
  ASSERT_NE(nullptr, second.handle());
  HoldingThread holder(first.handle());
  EXPECT_EQ(platform::kWaitTimeout, waitFromOtherThread(second.handle()));
}

TEST(Mutex, ProcessWideMutexExistsBeforeMain) {
  EXPECT_NE(nullptr, FileManagement::fileMutexesMutex.handle());
}

TEST(MutexLock, NullHandleNeitherWaitsNorReleases) {
  EXPECT_EQ(0, waitForMutex(nullptr, 0));
  EXPECT_EQ(0, waitForMutex(nullptr, -1));
  EXPECT_NO_THROW({
    xMutexLock lock(nullptr, -1);
    EXPECT_EQ(1, lock.state());
    EXPECT_EQ(1, lock.release());
    EXPECT_EQ(1, lock.state());
  });
}

TEST(MutexLock, HoldsForItsScopeAndReleases) {
  Mutex mutex(nullptr);
  ASSERT_NE(nullptr, mutex.handle());
  {
    xMutexLock lock(mutex.handle(), -1);
    EXPECT_EQ(1, lock.state());
    EXPECT_EQ(platform::kWaitTimeout, waitFromOtherThread(mutex.handle()));
    // Re-entrant for its owner.
    xMutexLock inner(mutex.handle(), 0);
    EXPECT_EQ(1, inner.state());
  }
  EXPECT_EQ(platform::kWaitObject0, waitFromOtherThread(mutex.handle()));
}

TEST(MutexLock, TimeoutThrowsLine78) {
  Mutex mutex(nullptr);
  ASSERT_NE(nullptr, mutex.handle());
  const Exception e = timedOutLock(mutex.handle());
  std::string expected = "Failed to lock mutex " + hexHandle(mutex.handle()) + ": request timed out";
  EXPECT_EQ(expected, e.message());
  EXPECT_EQ(kLockFile, e.file());
  EXPECT_EQ(78, e.line());
  EXPECT_EQ(expected + " (" + kLockFile + ":78)", e.description());
}

TEST(MutexLock, AbandonedThrowsLine85AndGivesTheMutexBack) {
  Mutex mutex(nullptr);
  ASSERT_NE(nullptr, mutex.handle());
  std::thread([&] { platform::waitForSingleObject(mutex.handle(), platform::kInfinite); }).join();
  try {
    xMutexLock lock(mutex.handle(), -1);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ("Mutex " + hexHandle(mutex.handle()) + " was abandoned by another thread",
              e.message());
    EXPECT_EQ(kLockFile, e.file());
    EXPECT_EQ(85, e.line());
  }
  // The failed lock does not leave this thread owning the mutex.
  EXPECT_EQ(platform::kWaitObject0, waitFromOtherThread(mutex.handle()));
}

TEST(MutexLock, ReleaseByAnotherThreadThrowsLine134) {
  Mutex mutex(nullptr);
  ASSERT_NE(nullptr, mutex.handle());
  auto* lock = new xMutexLock(mutex.handle(), -1);
  std::string message;
  int32_t line = 0;
  std::thread([&] {
    try {
      delete lock;  // its destructor releases on a thread that does not own it
    } catch (const Exception& e) {
      message = e.message();
      line = e.line();
    }
  }).join();
  EXPECT_EQ("Failed to unlock mutex " + hexHandle(mutex.handle()) + " with error " +
                std::to_string(platform::kErrorNotOwner),
            message);
  EXPECT_EQ(134, line);
  EXPECT_TRUE(platform::releaseMutex(mutex.handle()));
}

TEST(MutexLock, HandleIsSixteenUpperCaseHexDigits) {
  Mutex mutex(nullptr);
  ASSERT_NE(nullptr, mutex.handle());
  const Exception e = timedOutLock(mutex.handle());
  const std::string prefix = "Failed to lock mutex ";
  ASSERT_GE(e.message().size(), prefix.size());
  std::string text = e.message().substr(prefix.size(), 16);
  ASSERT_EQ(16u, text.size());
  for (char c : text) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
}

TEST(Exception, Description) {
  struct Case {
    const char* message;
    const char* file;
    int32_t line;
    const char* description;
  };
  const std::vector<Case> cases = {
      {"msg", "file", 0, "msg (file)"},
      {"msg", "file", 12, "msg (file:12)"},
      {"msg", "file", -3, "msg (file)"},
      {"", "file", 7, "(file:7)"},
      {"msg", "", 12, "msg "},
      {"", "", 12, ""},
      {"", "", 0, ""},
  };
  for (const Case& c : cases) {
    Exception e(c.message, c.file, c.line);
    EXPECT_EQ(c.description, e.description()) << c.message << "|" << c.file << "|" << c.line;
  }
  Exception original("what", "where", 5);
  Exception copy(original);
  EXPECT_EQ("what", copy.message());
  EXPECT_EQ("where", copy.file());
  EXPECT_EQ(5, copy.line());
}

}  // namespace
