// Reporting to the Application event log.
#include "host/event_log.h"

#include <gtest/gtest.h>
#include <cstdlib>

#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

// The fields of the one line in events.log after the time stamp.
std::string afterTime(const std::string& events) {
  size_t tab = events.find('\t');
  return tab == std::string::npos ? events : events.substr(tab + 1);
}

TEST(EventLogTest, ReportsTwoStringsWithTheLastErrorOfTheCaller) {
  testsupport::ScopedHostDir host;
  char exe[260];
  platform::getModuleFileName(exe, sizeof exe);
  testing::internal::CaptureStdout();
  platform::setLastError(1234);
  reportToEventLog(4, "", 0x40000001, "[-1] Error creating DOM instance");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(afterTime(host.readEvents()),
            std::string("4\tCorvistane\t0x40000001\tCorvistane Bayesian Utility (") + exe +
                ") error: 1234\t[-1] Error creating DOM instance\n");
}

TEST(EventLogTest, NamedSourceAndOtherTypePassThrough) {
  testsupport::ScopedHostDir host;
  platform::setLastError(0);
  reportToEventLog(1, "Other Source", 7, "text");
  std::string line = afterTime(host.readEvents());
  EXPECT_EQ(line.rfind("1\tOther Source\t0x00000007\tCorvistane Bayesian Utility (", 0), 0u) << line;
  EXPECT_NE(line.find(") error: 0\ttext\n"), std::string::npos) << line;
}

TEST(EventLogTest, UnwritableHostFolderEndsQuietly) {
  testsupport::ScopedHostDir host;  // restores the setting afterwards
  // A host folder below a plain file can never be made, whoever runs this.
  const std::string blocker = host.path() + "/file";
  testsupport::writeFile(blocker, "");
  setenv("CVSPAM_HOST_DIR", (blocker + "/host").c_str(), 1);
  testing::internal::CaptureStdout();
  reportToEventLog(4, "Corvistane", 0x40000001, "text");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(testsupport::fileExists(host.path() + "/events.log"));
}

}  // namespace
