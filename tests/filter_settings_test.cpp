#include "host/filter_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/filter_notifications.h"
#include "tests/test_support.h"

namespace {

using testsupport::filterKeyRegistry;

class FilterSettingsTest : public testing::Test {
 protected:
  FilterSettings load(const std::string& registry) {
    host.writeRegistry(registry);
    filterSettings = FilterSettings{};
    loadFilterSettings();
    return filterSettings;
  }
  void TearDown() override { filterSettings = FilterSettings{}; }
  testsupport::ScopedHostDir host;
};

TEST_F(FilterSettingsTest, MissingKeyGivesEveryDefault) {
  const FilterSettings s = load("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"x\"=dword:00000001\n");
  EXPECT_EQ(s.processHtml, 1);
  EXPECT_EQ(s.calculationMode, 2);
  EXPECT_DOUBLE_EQ(s.purgeSignificance, 0.0005);
  EXPECT_EQ(s.minimumTokenCount, 2);
  EXPECT_EQ(s.trainingMode, 0);
}

TEST_F(FilterSettingsTest, MissingHostFolderGivesDefaults) {
  setenv("CVSPAM_HOST_DIR", (host.path() + "/nowhere").c_str(), 1);
  filterSettings = FilterSettings{};
  filterSettings.trainingMode = 9;
  loadFilterSettings();
  EXPECT_EQ(filterSettings.trainingMode, 0);
  EXPECT_EQ(filterSettings.calculationMode, 2);
}

TEST_F(FilterSettingsTest, ReadsEveryValueAsStored) {
  const FilterSettings s = load(filterKeyRegistry({
      "\"Bayesian Process HTML\"=dword:00000000",
      "\"Bayesian Calculation Mode\"=dword:00000001",
      "\"Bayesian Purge Significance\"=\"0.01\"",
      "\"Bayesian Minimum Token Count\"=dword:00000005",
      "\"Bayesian Training Mode\"=dword:00000001",
  }));
  EXPECT_EQ(s.processHtml, 0);
  EXPECT_EQ(s.calculationMode, 1);
  EXPECT_DOUBLE_EQ(s.purgeSignificance, 0.01);
  EXPECT_EQ(s.minimumTokenCount, 5);
  EXPECT_EQ(s.trainingMode, 1);
}

TEST_F(FilterSettingsTest, DwordReaderTakesRawBytesOfAnyType) {
  struct {
    const char* line;
    int32_t expected;
  } cases[] = {
      {"\"Bayesian Minimum Token Count\"=\"5\"", 0x0035},           // 35 00
      {"\"Bayesian Minimum Token Count\"=hex(1):35,00", 0x0035},
      {"\"Bayesian Minimum Token Count\"=hex:07", 7},               // one byte fills the low byte
      {"\"Bayesian Minimum Token Count\"=\"1234\"", 2},             // five bytes: too large
      {"\"Bayesian Minimum Token Count\"=dword:ffffffff", -1},
      {"\"bayesian minimum token COUNT\"=dword:00000009", 9},       // names ignore case
  };
  for (const auto& c : cases) {
    EXPECT_EQ(load(filterKeyRegistry({c.line})).minimumTokenCount, c.expected) << c.line;
  }
}

TEST_F(FilterSettingsTest, SignificanceConvertsLikeAtof) {
  struct {
    const char* line;
    double expected;
  } cases[] = {{"\"Bayesian Purge Significance\"=\"0.25abc\"", 0.25},
               {"\"Bayesian Purge Significance\"=\"letters\"", 0.0},
               {"\"Bayesian Purge Significance\"=\"\"", 0.0},
               {"\"Bayesian Purge Significance\"=hex(1):", 0.0005},  // no data: missing
               {"\"Bayesian Purge Significance\"=dword:00000000", 0.0}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(load(filterKeyRegistry({c.line})).purgeSignificance, c.expected) << c.line;
  }
}

TEST_F(FilterSettingsTest, StringReaderStaysWithinItsDestination) {
  host.writeRegistry(filterKeyRegistry({"\"Long\"=\"" + std::string(100, 'x') + "\"",
                                        "\"Raw\"=hex(1):41,42,43,44,45,46,47,48"}));
  char destination[9];
  std::memset(destination, '#', sizeof destination);
  // 101 bytes do not fit a buffer of 8: the query fails, the text is empty.
  EXPECT_EQ(readSettingString(kFilterKey, "Long", destination, 8), 0);
  EXPECT_STREQ(destination, "");
  // Eight bytes without a terminator fit the query but are cut to fit.
  EXPECT_EQ(readSettingString(kFilterKey, "Raw", destination, 8), 1);
  EXPECT_STREQ(destination, "ABCDEFG");
  EXPECT_EQ(destination[8], '#');
  EXPECT_EQ(readSettingString(kFilterKey, "Raw", destination, 0), 0);
}

TEST_F(FilterSettingsTest, StringReaderAddsWow6432NodeToPlainPaths) {
  host.writeRegistry(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Providers\\Store]\n"
      "\"XML Version\"=\"6.0\"\n");
  char text[64];
  EXPECT_EQ(readSettingString("SOFTWARE\\Corvistane\\Corvistane\\Providers\\Store", "XML Version",
                              text, sizeof text),
            1);
  EXPECT_STREQ(text, "6.0");
}

TEST_F(FilterSettingsTest, EmptyKeyPathReadsNothing) {
  int32_t value = 77;
  EXPECT_EQ(readSettingDword("", "Bayesian Training Mode", &value), 0);
  EXPECT_EQ(value, 77);
}

TEST_F(FilterSettingsTest, NotificationCreatesTheKeyAndKeepsOtherValues) {
  host.writeRegistry(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Keep\"=\"me\"\n");
  EXPECT_EQ(setDwordValue(platform::RegHive::LocalMachine, kFilterKey, "Bayesian-Save", 1), 1);
  EXPECT_EQ(notifyReload(), 1);
  int32_t value = 0;
  EXPECT_EQ(readSettingDword(kFilterKey, "Bayesian-Save", &value), 1);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(readSettingDword(kFilterKey, "Bayesian-Reload", &value), 1);
  char kept[8];
  EXPECT_EQ(readSettingString("SOFTWARE\\Other", "Keep", kept, sizeof kept), 1);
  EXPECT_STREQ(kept, "me");
}

}  // namespace
