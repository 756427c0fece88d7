// The result data table: field descriptions, rows of values and the display
// text cache of one result, all stored in a few large blocks.
#include "dbclient/resdata.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/mem.h"
#include "base/msglog.h"
#include "proto/endian.h"
#include "proto/query.h"

namespace {

// Makes room for k bytes in the store and returns where they go.  The test
// is ">=", so a value that would exactly fill a block opens the next one.
char *make_room(RESDATA *t, int32_t k) {
  if (k >= (1 << RESREF_SHIFT)) {
    Log_Msg("(RESDATA) Value too large (%d bytes)\n", k);
    Msglog_Exit(1);
  }
  if (k + t->used >= t->blocksizes[t->curblock]) {
    // The block being filled is always the last one made for the store;
    // blocks after it can only be slices of an adopted reply.
    int32_t next = static_cast<int32_t>(t->blocks.size());
    if (next >= RESDATA_MAX_BLOCKS) {
      Log_Msg("(RESDATA) Out of memory (max = %d)\n", RESDATA_MAX_BLOCKS);
      Msglog_Exit(1);
    }
    // Past the first hundred blocks each new one is twice the size of the
    // one before, up to what a reference can address: the store grows in
    // size rather than in count, and 1000 blocks hold some 4 GiB.
    int32_t size = RESDATA_BLOCK;
    if (next >= RESDATA_GROW_AFTER)
      size = static_cast<int32_t>(std::min<int64_t>(
          2 * static_cast<int64_t>(t->blocksizes[t->curblock]), int64_t{1} << RESREF_SHIFT));
    if (k > size) size = k;
    t->blocks.push_back(static_cast<char *>(xmalloc(size)));
    t->blocksizes.push_back(size);
    t->owned.push_back(1);
    t->curblock = next;
    t->used = 0;
  }
  return t->blocks[t->curblock] + t->used;
}

// The reference of the current fill position.
RESREF here(const RESDATA *t) {
  return (static_cast<RESREF>(t->curblock) << RESREF_SHIFT) | static_cast<RESREF>(t->used);
}

const char *deref(const RESDATA *t, RESREF r) {
  if (r == RESREF_NONE) return nullptr;
  return t->blocks[r >> RESREF_SHIFT] + (r & ((1u << RESREF_SHIFT) - 1));
}

}  // namespace

void RESDATA_Empty(RESDATA *t) {
  t->state = 1;
  t->nrows = 0;
  t->nfields = 0;
}

void RESDATA_New(RESDATA *t) {
  t->state = 0;
  t->nrows = 0;
  t->nfields = 0;
  t->fillpos = 0;
  t->names.clear();
  t->types.clear();
  t->sizes.clear();
  t->values.clear();
  t->texts.clear();
  t->names.reserve(20);
  t->types.reserve(20);
  t->sizes.reserve(20);
  t->blocks.assign(1, static_cast<char *>(xmalloc(RESDATA_FIRST_BLOCK)));
  t->blocksizes.assign(1, RESDATA_FIRST_BLOCK);
  t->owned.assign(1, 1);
  t->adopted = nullptr;
  t->adopted_size = 0;
  t->adopted_first = 0;
  t->curblock = 0;
  t->used = 0;
}

void RESDATA_Header_Data(RESDATA *t, const char *name, int type, int32_t size) {
  RESREF stored = RESREF_NONE;
  if (name) {
    int32_t k = static_cast<int32_t>(strlen(name)) + 1;
    char *p = make_room(t, k);
    stored = here(t);
    memcpy(p, name, k);
    t->used += k;
  }
  t->names.push_back(stored);
  t->types.push_back(static_cast<unsigned char>(type));
  t->sizes.push_back(size);
  t->nfields++;
}

void RESDATA_Reserve_Rows(RESDATA *t, int32_t rows) {
  if (rows > 0 && t->nfields > 0)
    t->values.reserve(static_cast<size_t>(rows) * static_cast<size_t>(t->nfields));
}

int RESDATA_Min_Size(int type) {
  const DBTYPE *t = DBtype_of(type);
  return t ? t->size : 0;
}

int RESDATA_Value_Ok(int type, const char *value, int n) {
  if (n < RESDATA_Min_Size(type)) return 0;
  if (type == TOK_CHARACTER) return memchr(value, 0, n) != nullptr;
  if (type == TOK_BINARY) {
    int m = le_get16(value);
    return m + 2 <= n;
  }
  return 1;
}

int RESDATA_Adopt(RESDATA *t, char *block, int32_t size) {
  // A reference holds offsets below 4 MiB, so the block is entered as
  // consecutive slices of that size; a reference to a value is then the
  // slice it starts in and its offset there, wherever it ends.
  const int32_t slice = 1 << RESREF_SHIFT;
  int32_t slices = size > 0 ? (size - 1) / slice + 1 : 1;
  int32_t first = static_cast<int32_t>(t->blocks.size());
  if (t->state != 0 || t->adopted || !block || size < 0 || first + slices >= RESDATA_MAX_BLOCKS)
    return 0;
  for (int32_t i = 0; i < slices; i++) {
    t->blocks.push_back(block + static_cast<size_t>(i) * slice);
    t->blocksizes.push_back(i + 1 < slices ? slice : size - i * slice);
    t->owned.push_back(i == 0 ? 1 : 0);
  }
  t->adopted = block;
  t->adopted_size = size;
  t->adopted_first = first;
  return 1;
}

int RESDATA_Fill_Binary(RESDATA *t, const char *value, int n) {
  if (t->nfields <= 0 || n < 0) return 0;
  int type = t->types[t->fillpos];
  if (!RESDATA_Value_Ok(type, value, n)) return 0;
  RESREF ref;
  uintptr_t at = reinterpret_cast<uintptr_t>(value);
  uintptr_t base = reinterpret_cast<uintptr_t>(t->adopted);
  if (t->adopted && n <= t->adopted_size && at >= base &&
      at - base <= static_cast<uintptr_t>(t->adopted_size - n)) {
    uint32_t off = static_cast<uint32_t>(at - base);
    RESREF slice = static_cast<RESREF>(t->adopted_first) + (off >> RESREF_SHIFT);
    ref = (slice << RESREF_SHIFT) | (off & ((1u << RESREF_SHIFT) - 1));
  } else {
    int32_t k = n;
    if (type == TOK_CHARACTER)
      k = static_cast<int32_t>(static_cast<const char *>(memchr(value, 0, n)) - value) + 1;
    else if (type == TOK_BINARY)
      k = le_get16(value) + 2;
    char *p = make_room(t, n);
    ref = here(t);
    memcpy(p, value, k);
    t->used += k;
  }
  t->values.push_back(ref);
  if (++t->fillpos == t->nfields) {
    t->nrows++;
    t->fillpos = 0;
  }
  return 1;
}

const char *RESDATA_Fill_ResString(RESDATA *t, int32_t row, int32_t field, const char *text) {
  int32_t k = static_cast<int32_t>(strlen(text)) + 1;
  char *p = make_room(t, k);
  RESREF ref = here(t);
  memcpy(p, text, k);
  t->used += k;
  if (row >= 0 && field >= 0 && field < t->nfields && row < t->nrows) {
    if (t->texts.empty()) t->texts.resize(t->nfields);
    std::vector<RESREF> &column = t->texts[field];
    if (column.size() < static_cast<size_t>(t->nrows)) column.resize(t->nrows, RESREF_NONE);
    column[row] = ref;
  }
  return p;
}

const char *RESDATA_Name(const RESDATA *t, int32_t field) {
  if (field < 0 || field >= t->nfields) return nullptr;
  return deref(t, t->names[field]);
}

const char *RESDATA_Value(const RESDATA *t, int32_t row, int32_t field) {
  if (row < 0 || field < 0 || row >= t->nrows || field >= t->nfields) return nullptr;
  return deref(t, t->values[static_cast<size_t>(row) * t->nfields + field]);
}

const char *RESDATA_Text(const RESDATA *t, int32_t row, int32_t field) {
  if (row < 0 || field < 0 || field >= static_cast<int32_t>(t->texts.size()) ||
      static_cast<size_t>(row) >= t->texts[field].size())
    return nullptr;
  return deref(t, t->texts[field][row]);
}

void RESDATA_Free(RESDATA *t) {
  if (t->state != 0) return;
  for (size_t i = 0; i < t->blocks.size(); i++)
    if (t->owned[i]) xfree(t->blocks[i]);
  // swap with empties so the memory really goes back
  std::vector<char *>().swap(t->blocks);
  std::vector<int32_t>().swap(t->blocksizes);
  std::vector<unsigned char>().swap(t->owned);
  t->adopted = nullptr;
  t->adopted_size = 0;
  t->adopted_first = 0;
  std::vector<RESREF>().swap(t->names);
  std::vector<unsigned char>().swap(t->types);
  std::vector<int32_t>().swap(t->sizes);
  std::vector<RESREF>().swap(t->values);
  std::vector<std::vector<RESREF>>().swap(t->texts);
  t->nrows = 0;
  t->nfields = 0;
  t->fillpos = 0;
  t->curblock = 0;
  t->used = 0;
  t->state = 1;
}
