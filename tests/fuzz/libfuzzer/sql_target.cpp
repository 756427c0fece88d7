// libFuzzer entry point: SQL text through scan_sql.  A translated request
// must start with a command code and read back token by token to its end;
// a refusal must carry a text.  Built only with -DKV_LIBFUZZER=ON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dbclient/grammar.h"
#include "proto/query.h"
#include "dbclient/scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 100000) return 0;
  std::vector<char> text(data, data + size);
  text.push_back(0);
  std::vector<char> err(SCAN_ERR_SIZE);
  DBquery_init();
  if (!scan_sql(text.data(), err.data())) {
    if (err[0] == 0) abort();
    return 0;
  }
  if (query_size < 1) abort();
  char e[DB_GET_ERRSIZE];
  int pos = 1;
  while (pos < query_size) {
    int tok;
    pos = DBget_token(pos, query_data, query_size, &tok, e);
    const char *t;
    if (tok == TOK_NAME)
      pos = DBget_name(pos, query_data, query_size, &t, e);
    else if (tok == TOK_STRING)
      pos = DBget_string(pos, query_data, query_size, &t, e);
    else if (tok == TOK_INT)
      pos = DBget_int(pos, query_data, query_size, nullptr, e);
    else if (tok == TOK_DOUBLE)
      pos = DBget_double(pos, query_data, query_size, nullptr, e);
    if (pos < 0) abort();
  }
  if (pos != query_size) abort();
  return 0;
}
