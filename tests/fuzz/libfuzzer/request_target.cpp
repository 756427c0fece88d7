// libFuzzer entry point: a request through korvald's decoder kv_decode.
// Built only with -DKV_LIBFUZZER=ON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<char> copy(data, data + size);
  KvRequest req;
  std::string err;
  if (!kv_decode(copy.data(), static_cast<int>(copy.size()), &req, &err) && err.empty()) abort();
  if (kv_describe(req).empty()) abort();
  return 0;
}
