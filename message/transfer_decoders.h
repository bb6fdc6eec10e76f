// MIME content transfer decoders, one body line at a time.
#pragma once

// Decodes one line of base64. Returns the number of bytes decoded, or -1
// when the line is not valid base64 or the destination is too small. Writes
// no terminator.
int decodeBase64(const char* source, unsigned char* destination, int destinationSize);

// Decodes one line of quoted-printable into destination, which must hold the
// source's length plus one bytes; the result is NUL-terminated. Returns 1.
int decodeQuotedPrintable(const char* source, char* destination);
