#include "message/mime_walker.h"

#include <cstring>

#include "host/filter_settings.h"
#include "message/body_text.h"
#include "message/text_search.h"

namespace {

constexpr int kContentTypeSize = 256;
constexpr int kNestedBoundarySize = 2047;

enum class State { Preamble, PartHeaders, Classify, Nested, TextBody, SkipBody, Done };

bool equalsNoCase(const char* a, const char* b) {
  return std::strlen(a) == std::strlen(b) && startsWithNoCase(a, b);
}

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Keeps the text of one decoded line of an HTML part outside its tags.
// Everything from a "<" to the next ">" goes, also across lines (insideTag
// carries the state from line to line); nothing takes a tag's place. A piece
// that starts at a ">" leaves that ">" out.
void appendOutsideTags(MessageTokens& message, const char* line, bool& insideTag) {
  const char* p = line;
  if (insideTag) {
    p = std::strchr(line, '>');
    if (p == nullptr) return;
  }
  for (;;) {
    const char* start = *p == '>' ? p + 1 : p;
    const char* open = std::strchr(p, '<');
    if (open == nullptr) {
      appendToMessageText(message, start, std::strlen(start));
      insideTag = false;
      return;
    }
    if (open > start) appendToMessageText(message, start, static_cast<std::size_t>(open - start));
    const char* close = std::strchr(open + 1, '>');
    if (close == nullptr) {
      insideTag = true;
      return;
    }
    p = close;
  }
}

// Decodes one body line of a text part and appends what is kept of it.
void keepTextLine(MessageTokens& message, const char* line, TransferEncoding encoding,
                  bool isHtml, bool& insideTag) {
  char decoded[kBodyLineSize];
  const char* text = decodeBodyLine(encoding, line, decoded);
  // A line the decoder rejects contributes nothing.
  if (text == nullptr) return;
  if (isHtml && filterSettings.processHtml == 1) {
    appendOutsideTags(message, text, insideTag);
  } else {
    appendToMessageText(message, text, std::strlen(text));
  }
}

// The value of a "Content-Type: " line: at most its first 255 characters,
// less the last one (the line feed of a complete line), cut at the first
// ";" or line end, so that parameters such as the charset are dropped.
void takeContentType(const char* line, char* contentType) {
  const char* value = line + 14;
  std::size_t length = 0;
  while (length < kContentTypeSize - 1 && value[length] != '\0') ++length;
  if (length > 0) --length;
  std::memcpy(contentType, value, length);
  contentType[length] = '\0';
  for (char* c = contentType; *c != '\0'; ++c) {
    if (*c == ';' || isLineEnd(*c)) {
      *c = '\0';
      break;
    }
  }
}

}  // namespace

int walkMimeParts(platform::TextFile file, MessageTokens& message, const char* delimiter,
                  int depth) {
  // A delimiter whose closing form does not fit is never handed over by the
  // reader or by a walker; such a body is left unread.
  if (std::strlen(delimiter) > kDelimiterSize - 1 - 2) return 1;

  char closingDelimiter[kDelimiterSize];
  std::strcpy(closingDelimiter, delimiter);
  std::strcat(closingDelimiter, "--");

  char line[kBodyLineSize];
  char contentType[kContentTypeSize] = "";
  char nestedDelimiter[kDelimiterSize] = "";
  // Set when the part's boundary parameter is too long for the delimiter
  // buffers; such a part cannot be walked and is skipped whole.
  bool nestedBoundaryTooLong = false;
  TransferEncoding encoding = TransferEncoding::None;
  bool isHtml = false;
  // Starts inside a tag in every call and is kept across all its parts.
  bool insideTag = true;

  State state = State::Preamble;
  while (state != State::Done) {
    switch (state) {
      case State::Preamble:
        state = State::Done;
        if (platform::atEndOfFile(file)) break;
        while (platform::readTextLine(file, line, kBodyLineSize) != nullptr) {
          if (startsWithNoCase(line, delimiter)) {
            state = State::PartHeaders;
            break;
          }
        }
        break;

      case State::PartHeaders:
        contentType[0] = '\0';
        nestedDelimiter[0] = '\0';
        nestedBoundaryTooLong = false;
        encoding = TransferEncoding::None;
        state = State::Classify;
        if (platform::atEndOfFile(file)) break;
        while (platform::readTextLine(file, line, kBodyLineSize) != nullptr) {
          if (isLineEnd(line[0])) break;
          if (startsWithNoCase(line, "Content-Type: ")) takeContentType(line, contentType);
          if (startsWithNoCase(line, "Content-Transfer-Encoding: ")) {
            encoding = transferEncodingOf(line);
          }
          // Also a folded continuation line starting with a blank or a tab.
          // The value is the text between the first two double quotes, so
          // an unquoted parameter gives none.
          if (findNoCase(line, "boundary=", -1, -1) != nullptr) {
            char nestedBoundary[kNestedBoundarySize];
            nestedBoundary[0] = '\0';
            getDelimitedField(line, "\"", 2, nestedBoundary, kNestedBoundarySize, '\0');
            nestedBoundaryTooLong = std::strlen(nestedBoundary) > kLongestBoundary;
            if (nestedBoundaryTooLong) {
              nestedDelimiter[0] = '\0';
            } else {
              nestedDelimiter[0] = '-';
              nestedDelimiter[1] = '-';
              std::strcpy(nestedDelimiter + 2, nestedBoundary);
            }
          }
        }
        break;

      case State::Classify:
        if (equalsNoCase(contentType, "multipart/alternative")) {
          // Nesting deeper than the limit, or a boundary the buffers cannot
          // hold, is skipped whole up to this call's next delimiter.
          const bool walkable = depth + 1 <= kMimeNestingLimit && !nestedBoundaryTooLong;
          state = walkable ? State::Nested : State::SkipBody;
        } else if (equalsNoCase(contentType, "text/plain") ||
                   equalsNoCase(contentType, "text/html")) {
          isHtml = findNoCase(contentType, "html", -1, -1) != nullptr;
          state = State::TextBody;
        } else {
          state = State::SkipBody;
        }
        break;

      case State::Nested:
        // The nested call reads up to and including its closing delimiter;
        // the line after it is read here as the start of the next part's
        // headers.
        walkMimeParts(file, message, nestedDelimiter, depth + 1);
        state = platform::atEndOfFile(file) ? State::Done : State::PartHeaders;
        break;

      case State::TextBody:
      case State::SkipBody: {
        const bool keep = state == State::TextBody;
        state = State::Done;
        if (platform::atEndOfFile(file)) break;
        while (platform::readTextLine(file, line, kBodyLineSize) != nullptr) {
          if (startsWithNoCase(line, closingDelimiter)) break;
          if (startsWithNoCase(line, delimiter)) {
            if (!platform::atEndOfFile(file)) state = State::PartHeaders;
            break;
          }
          if (keep) keepTextLine(message, line, encoding, isHtml, insideTag);
        }
        break;
      }

      case State::Done:
        break;
    }
  }
  return 1;
}
