#include "message/body_text.h"

#include <cstring>

#include "message/text_search.h"
#include "message/transfer_decoders.h"

TransferEncoding transferEncodingOf(const char* headerLine) {
  if (findNoCase(headerLine, "quoted-printable", -1, -1) != nullptr) {
    return TransferEncoding::QuotedPrintable;
  }
  if (findNoCase(headerLine, "base64", -1, -1) != nullptr) return TransferEncoding::Base64;
  return TransferEncoding::None;
}

const char* decodeBodyLine(TransferEncoding encoding, const char* line, char* decoded) {
  switch (encoding) {
    case TransferEncoding::QuotedPrintable:
      decodeQuotedPrintable(line, decoded);
      return decoded;
    case TransferEncoding::Base64: {
      const int count =
          decodeBase64(line, reinterpret_cast<unsigned char*>(decoded), kBodyLineSize);
      if (count < 0) return nullptr;
      // A line of at most 2047 characters decodes to at most 1535 bytes.
      decoded[count] = '\0';
      return decoded;
    }
    case TransferEncoding::None:
      break;
  }
  return line;
}

void appendToMessageText(MessageTokens& message, const char* data, std::size_t length) {
  if (static_cast<std::size_t>(message.textLength) + length >=
      static_cast<std::size_t>(kMessageTextLimit)) {
    return;
  }
  std::memcpy(message.text + message.textLength, data, length);
  message.textLength += static_cast<int32_t>(length);
  message.text[message.textLength] = '\0';
}
