// Placeholder until this unit lands; replaced whole by its implementation.
#include "scoring/folder_verification.h"

int32_t verifyFolder(TokenDictionary&, const char*) { return 0; }
const char* extractBetween(const char*, const char*, const char*, char*, int) { return nullptr; }
