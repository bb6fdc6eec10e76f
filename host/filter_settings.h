// The Bayesian settings shared with the mail server's filter agent, read
// from its registry key once at start-up.
#pragma once

#include <cstdint>

// The filter agent's key under HKEY_LOCAL_MACHINE.
constexpr const char* kFilterKey =
    "SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER";
// The key of the XML component's version setting.
constexpr const char* kStoreKey = "SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Providers\\Store";

struct FilterSettings {
  int32_t processHtml = 1;
  int32_t calculationMode = 2;
  double purgeSignificance = 0.0005;
  int32_t minimumTokenCount = 2;
  int32_t trainingMode = 0;
};

extern FilterSettings filterSettings;

// Reads the five settings in order and stores them. Returns 1.
int loadFilterSettings();

// 1 and the value in out when the DWORD value was read; 0 otherwise with
// out unchanged. Up to four raw bytes of any type are taken.
int readSettingDword(const char* keyPath, const char* valueName, int32_t* out);

// 1 and the text in destination when the string value was read; 0
// otherwise. Never writes more than size bytes.
int readSettingString(const char* keyPath, const char* valueName, char* destination,
                      int size);

// The readers of the single settings: the registry value, or the default.
int32_t readProcessHtml();
int32_t readCalculationMode();
double readPurgeSignificance();
int32_t readMinimumTokenCount();
int32_t readTrainingMode();
