// What the message reader and the MIME walker share: the body line buffers,
// the transfer encoding named by a header line, the decoding of one body
// line and the append to the message text under its limit.
#pragma once

#include <cstddef>

#include "message/message_tokens.h"

// One read takes at most 2047 characters up to and including a line feed.
constexpr int kBodyLineSize = 2048;
// The delimiter buffers: "--" + boundary, and "--" + boundary + "--".
constexpr int kDelimiterSize = 256;
// The longest boundary value whose closing delimiter still fits.
constexpr std::size_t kLongestBoundary = kDelimiterSize - 1 - 4;

enum class TransferEncoding { None, QuotedPrintable, Base64 };

// The encoding a "Content-Transfer-Encoding: " line names anywhere in it:
// quoted-printable, else base64, else none.
TransferEncoding transferEncodingOf(const char* headerLine);

// Decodes one body line into decoded (kBodyLineSize bytes) and returns the
// text to keep, which ends at its first NUL byte: decoded, or line itself
// when there is no encoding. Null when the base64 decoder rejects the line,
// which then contributes nothing.
const char* decodeBodyLine(TransferEncoding encoding, const char* line, char* decoded);

// Appends length bytes to the message text when the text stays under its
// limit; otherwise leaves them out, since a later, shorter piece may still
// fit.
void appendToMessageText(MessageTokens& message, const char* data, std::size_t length);
