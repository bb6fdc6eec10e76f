// Placeholder until this unit lands; replaced whole by its implementation.
#include "message/transfer_decoders.h"

int decodeBase64(const char*, unsigned char*, int) { return -1; }
int decodeQuotedPrintable(const char*, char* d) { *d = 0; return 1; }
