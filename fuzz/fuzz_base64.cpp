// decodeBase64 alone, with destinations of every small size and the
// 2048 bytes its callers pass; each destination is a heap block of exactly
// that size, so a write past it is caught.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "message/transfer_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int smallSize = data[0] % 48;
  const std::string source(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (int destinationSize : {smallSize, 2048}) {
    std::vector<unsigned char> destination(static_cast<size_t>(destinationSize));
    const int count = decodeBase64(source.c_str(), destination.data(), destinationSize);
    if (count < -1 || count > destinationSize) fuzzsupport::propertyBroken("decoded count");
    // Four characters give at most three bytes.
    if (count > 0 && static_cast<size_t>(count) > (source.size() / 4) * 3 + 2) {
      fuzzsupport::propertyBroken("more bytes than the characters can hold");
    }
  }
  return 0;
}
