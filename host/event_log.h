// Reports what an administrator should see outside the console to the
// Application event log.
#pragma once

#include <cstdint>

// The tool's caption, named in the first insertion string of every event.
constexpr const char* kToolCaption = "Corvistane Bayesian Utility";
constexpr const char* kDefaultEventSource = "Corvistane";

// Reports one event with two insertion strings: "<caption> (<exe>) error:
// <last error>" and text. An empty source name reports under "Corvistane".
void reportToEventLog(uint16_t eventType, const char* sourceName, uint32_t eventId,
                      const char* text);
