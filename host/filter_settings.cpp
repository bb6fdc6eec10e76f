// Placeholder until this unit lands; replaced whole by its implementation.
#include "host/filter_settings.h"

FilterSettings filterSettings;
int loadFilterSettings() { return 1; }
int readSettingDword(const char*, const char*, int32_t*) { return 0; }
int readSettingString(const char*, const char*, char*, int) { return 0; }
int32_t readProcessHtml() { return 1; }
int32_t readCalculationMode() { return 2; }
double readPurgeSignificance() { return 0.0005; }
int32_t readMinimumTokenCount() { return 2; }
int32_t readTrainingMode() { return 0; }
