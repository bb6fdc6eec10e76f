#include "message/message_reader.h"

#include <cstring>

#include "message/mime_walker.h"
#include "message/text_search.h"
#include "message/transfer_decoders.h"
#include "platform/platform.h"

namespace {

constexpr int kLineSize = 2048;
constexpr int kDelimiterSize = 256;
// "--" + value + "--" must fit the walker's closing-delimiter buffer.
constexpr std::size_t kLongestBoundary = kDelimiterSize - 1 - 4;

enum class TransferEncoding { None, QuotedPrintable, Base64 };

char upperAscii(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

// True when line begins with prefix, ASCII letters compared without case.
bool startsWithNoCase(const char* line, const char* prefix) {
  for (; *prefix != '\0'; ++line, ++prefix) {
    if (*line == '\0') return false;
    if (upperAscii(static_cast<unsigned char>(*line)) !=
        upperAscii(static_cast<unsigned char>(*prefix))) {
      return false;
    }
  }
  return true;
}

TransferEncoding encodingOf(const char* line) {
  if (findNoCase(line, "quoted-printable", -1, -1) != nullptr) {
    return TransferEncoding::QuotedPrintable;
  }
  if (findNoCase(line, "base64", -1, -1) != nullptr) return TransferEncoding::Base64;
  return TransferEncoding::None;
}

// Appends length bytes to the text when they keep it under the limit;
// otherwise leaves them out (a later, shorter line may still fit).
void appendIfRoom(MessageTokens& message, const char* data, std::size_t length) {
  if (static_cast<std::size_t>(message.textLength) + length >=
      static_cast<std::size_t>(kMessageTextLimit)) {
    return;
  }
  std::memcpy(message.text + message.textLength, data, length);
  message.textLength += static_cast<int32_t>(length);
  message.text[message.textLength] = '\0';
}

}  // namespace

int readMessageFile(MessageTokens& message) {
  message.text[0] = '\0';
  message.textLength = 0;

  platform::TextFile file = platform::openTextFileForReading(message.path);
  if (file == nullptr) return 0;

  char line[kLineSize];
  bool multipart = false;
  TransferEncoding encoding = TransferEncoding::None;
  char boundary[kDelimiterSize] = "";
  char delimiter[kDelimiterSize] = "";

  // Header phase. A last line without a line end is not examined: the read
  // that returned it also met the end of the file.
  for (;;) {
    if (platform::readTextLine(file, line, kLineSize) == nullptr) break;
    if (platform::atEndOfFile(file)) break;
    if (line[0] == '\r' || line[0] == '\n') break;

    if (startsWithNoCase(line, "Subject: ")) {
      const char* value = line + 9;
      const std::size_t length = std::strlen(value);
      std::memcpy(message.text, value, length + 1);
      message.textLength = static_cast<int32_t>(length);
    }
    if (startsWithNoCase(line, "Content-Type: multipart")) multipart = true;
    if (startsWithNoCase(line, "Content-Transfer-Encoding: ")) encoding = encodingOf(line);
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
    char decoded[kLineSize];
    while (platform::readTextLine(file, line, kLineSize) != nullptr) {
      const char* kept = line;
      switch (encoding) {
        case TransferEncoding::QuotedPrintable:
          decodeQuotedPrintable(line, decoded);
          kept = decoded;
          break;
        case TransferEncoding::Base64: {
          const int count = decodeBase64(line, reinterpret_cast<unsigned char*>(decoded),
                                         kLineSize);
          // A line the decoder rejects contributes nothing.
          if (count < 0) continue;
          // A line of at most 2047 characters decodes to at most 1535 bytes.
          decoded[count] = '\0';
          kept = decoded;
          break;
        }
        case TransferEncoding::None:
          break;
      }
      appendIfRoom(message, kept, std::strlen(kept));
    }
  }

  platform::closeTextFile(file);
  return 1;
}
