#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

using platform::kWaitAbandoned;
using platform::kWaitObject0;
using platform::kWaitTimeout;

// Runs body on a new thread and waits for it to end.
template <typename Body>
void onOtherThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(PlatformMutex, OwnerMayAcquireAgainAndMustReleaseAsOften) {
  platform::MutexHandle mutex = platform::createMutex(false, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(platform::waitForSingleObject(mutex, platform::kInfinite), kWaitObject0);
  EXPECT_EQ(platform::waitForSingleObject(mutex, 0), kWaitObject0);
  EXPECT_TRUE(platform::releaseMutex(mutex));
  uint32_t seen = 0;
  onOtherThread([&] { seen = platform::waitForSingleObject(mutex, 0); });
  EXPECT_EQ(seen, kWaitTimeout);  // still held once
  EXPECT_TRUE(platform::releaseMutex(mutex));
  onOtherThread([&] {
    seen = platform::waitForSingleObject(mutex, 0);
    platform::releaseMutex(mutex);
  });
  EXPECT_EQ(seen, kWaitObject0);
  platform::setLastError(0);
  EXPECT_FALSE(platform::releaseMutex(mutex));  // no longer held
  EXPECT_EQ(platform::getLastError(), platform::kErrorNotOwner);
  EXPECT_TRUE(platform::closeHandle(mutex));
}

TEST(PlatformMutex, OtherThreadsTimeOutAndCannotRelease) {
  platform::MutexHandle mutex = platform::createMutex(true, nullptr);
  ASSERT_NE(mutex, nullptr);
  uint32_t immediate = 0, bounded = 0, lastError = 0;
  bool released = true;
  onOtherThread([&] {
    immediate = platform::waitForSingleObject(mutex, 0);
    bounded = platform::waitForSingleObject(mutex, 30);
    released = platform::releaseMutex(mutex);
    lastError = platform::getLastError();
  });
  EXPECT_EQ(immediate, kWaitTimeout);
  EXPECT_EQ(bounded, kWaitTimeout);
  EXPECT_FALSE(released);
  EXPECT_EQ(lastError, platform::kErrorNotOwner);
  EXPECT_TRUE(platform::releaseMutex(mutex));
  platform::closeHandle(mutex);
}

TEST(PlatformMutex, AWaiterGetsTheMutexWhenItIsReleased) {
  platform::MutexHandle mutex = platform::createMutex(true, nullptr);
  uint32_t seen = 0;
  std::thread waiter([&] {
    seen = platform::waitForSingleObject(mutex, platform::kInfinite);
    platform::releaseMutex(mutex);
  });
  usleep(20000);
  EXPECT_TRUE(platform::releaseMutex(mutex));
  waiter.join();
  EXPECT_EQ(seen, kWaitObject0);
  platform::closeHandle(mutex);
}

TEST(PlatformMutex, AnOwnerThreadThatEndsAbandonsTheMutexOnce) {
  platform::MutexHandle mutex = platform::createMutex(false, nullptr);
  onOtherThread([&] {
    platform::waitForSingleObject(mutex, platform::kInfinite);
    platform::waitForSingleObject(mutex, platform::kInfinite);  // held twice, never released
  });
  EXPECT_EQ(platform::waitForSingleObject(mutex, 0), kWaitAbandoned);
  EXPECT_TRUE(platform::releaseMutex(mutex));  // held once by this thread
  EXPECT_FALSE(platform::releaseMutex(mutex));
  EXPECT_EQ(platform::waitForSingleObject(mutex, 0), kWaitObject0);
  EXPECT_TRUE(platform::releaseMutex(mutex));
  platform::closeHandle(mutex);
}

TEST(PlatformMutex, UnnamedMutexesAreDistinct) {
  platform::MutexHandle first = platform::createMutex(true, nullptr);
  platform::MutexHandle second = platform::createMutex(false, nullptr);
  uint32_t seen = 0;
  onOtherThread([&] {
    seen = platform::waitForSingleObject(second, 0);
    platform::releaseMutex(second);
  });
  EXPECT_EQ(seen, kWaitObject0);
  platform::releaseMutex(first);
  platform::closeHandle(first);
  platform::closeHandle(second);
}

std::string uniqueName(const char* what) {
  return std::string("cvspam-test/") + what + "-" + std::to_string(getpid());
}

TEST(PlatformMutex, NamedMutexesAreSharedByNameAndVanishWithTheirLastHandle) {
  const std::string name = uniqueName("shared");
  platform::setLastError(0);
  EXPECT_EQ(platform::openMutex(0, false, name.c_str()), nullptr);
  EXPECT_EQ(platform::getLastError(), platform::kErrorFileNotFound);
  EXPECT_EQ(platform::openMutex(0, false, nullptr), nullptr);

  platform::MutexHandle created = platform::createMutex(true, name.c_str());
  ASSERT_NE(created, nullptr);
  platform::MutexHandle opened = platform::openMutex(0, false, name.c_str());
  ASSERT_NE(opened, nullptr);
  uint32_t seen = 0;
  onOtherThread([&] { seen = platform::waitForSingleObject(opened, 0); });
  EXPECT_EQ(seen, kWaitTimeout);
  EXPECT_TRUE(platform::releaseMutex(opened));  // the same mutex
  EXPECT_TRUE(platform::closeHandle(created));
  EXPECT_TRUE(platform::closeHandle(opened));
  EXPECT_EQ(platform::openMutex(0, false, name.c_str()), nullptr);
}

// Two processes open the same name after the fork, each on its own: the
// child takes the mutex and reports through a pipe; the parent cannot take
// it until the child lets go of it, by releasing it or by dying.
TEST(PlatformMutex, NamedMutexExcludesAnotherProcessAndIsAbandonedByItsDeath) {
  const std::string name = uniqueName("process");
  for (bool releaseBeforeExit : {true, false}) {
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::MutexHandle theirs = platform::createMutex(false, name.c_str());
      char go = theirs != nullptr &&
                        platform::waitForSingleObject(theirs, platform::kInfinite) == kWaitObject0
                    ? 'y'
                    : 'n';
      if (write(toParent[1], &go, 1) != 1) _exit(2);
      if (read(toChild[0], &go, 1) != 1) _exit(3);
      if (releaseBeforeExit) {
        platform::releaseMutex(theirs);
        platform::closeHandle(theirs);
      }
      _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(toParent[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    platform::MutexHandle mine = platform::createMutex(false, name.c_str());
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(platform::waitForSingleObject(mine, 0), kWaitTimeout);
    EXPECT_EQ(write(toChild[1], "x", 1), 1);
    EXPECT_EQ(platform::waitForSingleObject(mine, 5000),
              releaseBeforeExit ? kWaitObject0 : kWaitAbandoned);
    EXPECT_TRUE(platform::releaseMutex(mine));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    platform::closeHandle(mine);
    // Nobody has the name open any more, whether the child closed it or died.
    EXPECT_EQ(platform::openMutex(0, false, name.c_str()), nullptr);
  }
}

}  // namespace
