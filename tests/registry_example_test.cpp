// The example registry file shipped in docs/ must be one the POSIX registry
// stand-in reads whole: every setting present at its default, and nothing
// reported as damage on standard error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/filter_settings.h"
#include "tests/test_support.h"

#ifndef _WIN32

namespace {

std::string exampleRegistry() {
  return testsupport::readFile(testsupport::sourceDir() + "/docs/registry.example.reg");
}

class RegistryExampleTest : public testing::Test {
 protected:
  void TearDown() override { filterSettings = FilterSettings{}; }
  testsupport::ScopedHostDir host;
};

TEST_F(RegistryExampleTest, EverySettingIsPresentAtItsDefault) {
  host.writeRegistry(exampleRegistry());
  testing::internal::CaptureStderr();

  struct DwordCase {
    const char* name;
    int32_t expected;
  };
  const DwordCase dwords[] = {
      {"Bayesian Process HTML", 1},
      {"Bayesian Calculation Mode", 2},
      {"Bayesian Minimum Token Count", 2},
      {"Bayesian Training Mode", 0},
  };
  for (const DwordCase& c : dwords) {
    int32_t value = -7;
    EXPECT_EQ(readSettingDword(kFilterKey, c.name, &value), 1) << c.name;
    EXPECT_EQ(value, c.expected) << c.name;
  }
  char text[64] = "";
  EXPECT_EQ(readSettingString(kFilterKey, "Bayesian Purge Significance", text, sizeof text), 1);
  EXPECT_STREQ(text, "0.0005");
  EXPECT_EQ(readSettingString(kStoreKey, "XML Version", text, sizeof text), 1);
  EXPECT_STREQ(text, "3");

  filterSettings = FilterSettings{};
  filterSettings.trainingMode = 9;
  loadFilterSettings();
  EXPECT_EQ(filterSettings.processHtml, 1);
  EXPECT_EQ(filterSettings.calculationMode, 2);
  EXPECT_DOUBLE_EQ(filterSettings.purgeSignificance, 0.0005);
  EXPECT_EQ(filterSettings.minimumTokenCount, 2);
  EXPECT_EQ(filterSettings.trainingMode, 0);

  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// An administrator edits the example in place: a changed value is the one
// the tool runs with.
TEST_F(RegistryExampleTest, EditedValueIsTheOneRead) {
  std::string registry = exampleRegistry();
  const std::string line = "\"Bayesian Training Mode\"=dword:00000000";
  const size_t at = registry.find(line);
  ASSERT_NE(at, std::string::npos);
  registry.replace(at, line.size(), "\"Bayesian Training Mode\"=dword:00000001");
  host.writeRegistry(registry);
  filterSettings = FilterSettings{};
  loadFilterSettings();
  EXPECT_EQ(filterSettings.trainingMode, 1);
  EXPECT_EQ(filterSettings.calculationMode, 2);
}

}  // namespace

#endif
