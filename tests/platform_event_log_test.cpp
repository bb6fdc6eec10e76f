#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "platform/platform.h"
#include "tests/platform_test_support.h"
#include "tests/test_support.h"

namespace {

TEST(PlatformEventLog, EachEventIsOneTabSeparatedLine) {
  testsupport::ScopedHostDir host;
  platform::EventSource source = platform::registerEventSource(nullptr, "Corvistane");
  ASSERT_NE(source, nullptr);
  const char* strings[] = {"first\tpart", "second\r\nline"};
  EXPECT_TRUE(platform::reportEvent(source, 4, 0, 0x40000001, 2, strings));
  EXPECT_TRUE(platform::reportEvent(source, 1, 0, 0xABC, 0, nullptr));
  EXPECT_TRUE(platform::deregisterEventSource(source));
  const std::string log = host.readEvents();
  const std::regex expected(
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\t4\tCorvistane\t0x40000001\tfirst part\t"
      "second  line\n"
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\t1\tCorvistane\t0x00000ABC\n");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST(PlatformEventLog, RegisteringCreatesTheHostFolder) {
  testsupport::ScopedTempDir dir;
  setenv("CVSPAM_HOST_DIR", dir.file("new/host").c_str(), 1);
  platform::EventSource source = platform::registerEventSource(nullptr, "S");
  ASSERT_NE(source, nullptr);
  const char* strings[] = {"x"};
  EXPECT_TRUE(platform::reportEvent(source, 2, 0, 1, 1, strings));
  platform::deregisterEventSource(source);
  unsetenv("CVSPAM_HOST_DIR");
  EXPECT_NE(testsupport::readFile(dir.file("new/host/events.log")).find("\tS\t0x00000001\tx\n"),
            std::string::npos);
}

TEST(PlatformEventLog, AFolderThatCannotBeWrittenRefusesTheSource) {
  testsupport::ScopedTempDir dir;
  platformtest::openToEveryone(dir.path());
  testsupport::makeDir(dir.file("host"));
  chmod(dir.file("host").c_str(), 0555);
  setenv("CVSPAM_HOST_DIR", dir.file("host").c_str(), 1);
  EXPECT_EQ(platformtest::runUnprivileged([] {
              platform::setLastError(0);
              if (platform::registerEventSource(nullptr, "S") != nullptr) return 100;
              return static_cast<int>(platform::getLastError());
            }),
            5);
  unsetenv("CVSPAM_HOST_DIR");
}

TEST(PlatformEventLog, ModuleFileNameIsTheExecutableAndIsCutToFit) {
  char path[4096];
  const uint32_t length = platform::getModuleFileName(path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(path[0], '/');
  EXPECT_EQ(std::string(path).size(), length);
  EXPECT_NE(std::string(path).find("cvspam_tests"), std::string::npos);
  char small[5];
  EXPECT_EQ(platform::getModuleFileName(small, sizeof small), 4u);
  EXPECT_EQ(std::string(small), std::string(path, 4));
}

}  // namespace
