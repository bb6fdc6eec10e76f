// decodeQuotedPrintable alone, into a heap block of exactly the length of
// the source plus one bytes, as its callers promise.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "message/transfer_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  const size_t length = std::strlen(source.c_str());
  std::vector<char> destination(length + 1);
  if (decodeQuotedPrintable(source.c_str(), destination.data()) != 1) {
    fuzzsupport::propertyBroken("result");
  }
  if (std::strlen(destination.data()) > length) fuzzsupport::propertyBroken("output longer");
  return 0;
}
