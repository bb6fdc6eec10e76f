// Placeholder until this unit lands; replaced whole by its implementation.
#include "scoring/message_scoring.h"

platform::MutexHandle scoringMutexHandle = nullptr;
int32_t scoreMessage(TokenDictionary&, const char*, char* out, int) { out[0] = 0; return 1; }
