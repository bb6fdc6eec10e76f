// Walks the parts of a MIME multipart body and keeps the decoded text of
// its text/plain and text/html parts.
#pragma once

#include "message/message_tokens.h"
#include "platform/platform.h"

// Deepest nesting of multipart/alternative parts that is walked; a part
// nested deeper is skipped whole.
constexpr int kMimeNestingLimit = 64;

// Reads the rest of file (positioned after the headers of the enclosing
// entity) and appends the kept text to message.text. depth is the number of
// walker calls already under way (0 for the message's own body). Returns 1.
int walkMimeParts(platform::TextFile file, MessageTokens& message, const char* delimiter,
                  int depth = 0);
