// Placeholder until this unit lands; replaced whole by its implementation.
#include "message/mime_walker.h"

int walkMimeParts(platform::TextFile, MessageTokens&, const char*, int) { return 1; }
