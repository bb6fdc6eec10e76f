// The message reader over a whole message file: header phase, single-part
// bodies through both decoders, and multipart bodies through the MIME walker.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "host/filter_settings.h"
#include "message/message_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::scratchFolder();
  fuzzsupport::silenceOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto message = std::make_unique<MessageTokens>();
  const std::string path = fuzzsupport::writeScratchFile("message.eml", data, size);
  if (!setMessagePath(*message, path.c_str())) fuzzsupport::propertyBroken("path too long");
  // HTML parts go through the tag filter or are kept whole: both ways.
  filterSettings.processHtml = size % 2 == 0 ? 1 : 0;
  if (readMessageFile(*message) != 1) fuzzsupport::propertyBroken("readable file not read");
  if (message->textLength < 0 || message->textLength >= kMessageTextLimit ||
      std::strlen(message->text) != static_cast<size_t>(message->textLength)) {
    fuzzsupport::propertyBroken("text length");
  }
  return 0;
}
