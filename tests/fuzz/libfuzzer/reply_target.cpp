// libFuzzer entry point: a reply through DBprocess_reply and every
// accessor of the result.  Built only with -DKV_LIBFUZZER=ON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dbclient/result.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<char> copy(data, data + size);
  DBresult *res = new DBresult;
  RESDATA_Empty(&res->data);
  DBprocess_reply(res, copy.data(), static_cast<int>(copy.size()));
  if (DBresultStatus(res) == DB_ERROR_REPLY && res->errmsg[0] == 0) abort();
  std::vector<char> dest(70000);
  int cells = 0;
  for (int r = 0; r < DBntuples(res) && DBnfields(res) > 0 && cells < 1000; r++)
    for (int f = 0; f < DBnfields(res); f++, cells++) {
      if (!DBgetvalue(res, r, f) || !DBgetbinary(res, r, f)) abort();
      if (DBftype(res, f) >= 0) DBfillbinary(res, dest.data(), r, f);
    }
  DBresultErrorMessage(res);
  DBclear(res);
  return 0;
}
