// Notifies the mail server's filter agent through DWORD values under its
// registry key.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Creates the key (and every missing key on its path) and writes value as a
// REG_DWORD. 1 when written, 0 on any failure.
int setDwordValue(platform::RegHive hive, const char* keyPath, const char* valueName,
                  int32_t value);

// Sets "Bayesian-Reload" to 1. Returns 1.
int notifyReload();
