#include "message/message_reader.h"

#include <cstring>

#include "message/body_text.h"
#include "message/mime_walker.h"
#include "message/text_search.h"
#include "platform/platform.h"

int readMessageFile(MessageTokens& message) {
  message.text[0] = '\0';
  message.textLength = 0;

  platform::TextFile file = platform::openTextFileForReading(message.path);
  if (file == nullptr) return 0;

  char line[kBodyLineSize];
  bool multipart = false;
  TransferEncoding encoding = TransferEncoding::None;
  char boundary[kDelimiterSize] = "";
  char delimiter[kDelimiterSize] = "";

  // Header phase. A last line without a line end is not examined: the read
  // that returned it also met the end of the file.
  for (;;) {
    if (platform::readTextLine(file, line, kBodyLineSize) == nullptr) break;
    if (platform::atEndOfFile(file)) break;
    if (line[0] == '\r' || line[0] == '\n') break;

    if (startsWithNoCase(line, "Subject: ")) {
      const char* value = line + 9;
      const std::size_t length = std::strlen(value);
      std::memcpy(message.text, value, length + 1);
      message.textLength = static_cast<int32_t>(length);
    }
    if (startsWithNoCase(line, "Content-Type: multipart")) multipart = true;
    if (startsWithNoCase(line, "Content-Transfer-Encoding: ")) encoding = transferEncodingOf(line);
    // Also a folded continuation line of the content type, starting with a
    // blank or a tab.
    if (multipart && findNoCase(line, "boundary=", -1, -1) != nullptr) {
      getHeaderParameter(line, "boundary=", boundary, kDelimiterSize);
      if (std::strlen(boundary) > kLongestBoundary) {
        // Too long for the delimiter buffers: the body is read as one part.
        boundary[0] = '\0';
        delimiter[0] = '\0';
      } else {
        delimiter[0] = '-';
        delimiter[1] = '-';
        std::strcpy(delimiter + 2, boundary);
      }
    }
  }

  if (multipart && boundary[0] != '\0') {
    walkMimeParts(file, message, delimiter);
  } else {
    char decoded[kBodyLineSize];
    while (platform::readTextLine(file, line, kBodyLineSize) != nullptr) {
      const char* kept = decodeBodyLine(encoding, line, decoded);
      // A line the decoder rejects contributes nothing.
      if (kept != nullptr) appendToMessageText(message, kept, std::strlen(kept));
    }
  }

  platform::closeTextFile(file);
  return 1;
}
