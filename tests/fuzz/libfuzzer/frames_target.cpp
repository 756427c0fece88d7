// libFuzzer entry point: a byte stream through the frame decoder
// wire_decode.  Built only with -DKV_LIBFUZZER=ON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "proto/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> out;
  size_t used = 0;
  int st = wire_decode(reinterpret_cast<const char *>(data), size, out, &used);
  if (st == WIRE_OK) {
    if (used > size || used < 8) abort();
    // What was decoded frames again and decodes to the same message.
    std::vector<char> enc = wire_encode(out.data(), static_cast<int>(out.size()));
    std::vector<char> again;
    if (wire_decode(enc.data(), enc.size(), again, &used) != WIRE_OK || again != out) abort();
  }
  return 0;
}
