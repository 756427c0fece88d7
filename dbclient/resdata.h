// The result data table (RESDATA) inside every result of the client library:
// field descriptions, the rows of values as they came from the server, and
// the display texts made from them on demand.  Names, values and texts live
// in a value store of large blocks (one of 50000 bytes, then 200000 each,
// growing in size after the first hundred, at most 1000), so a result of
// many rows costs few allocations and is released at once.  A received reply that was allocated for
// its size can be handed to the table as a block of its own (RESDATA_Adopt); its values are then
// kept where they arrived instead of being copied.  Filled by the reply
// decoder (result.cpp) and read through the accessors there.
#ifndef DBCLIENT_RESDATA_H
#define DBCLIENT_RESDATA_H

#include <cstdint>
#include <vector>

constexpr int RESDATA_MAX_BLOCKS = 1000;
constexpr int RESDATA_FIRST_BLOCK = 50000;
constexpr int RESDATA_BLOCK = 200000;
// Blocks made before the block size starts to grow (see resdata.cpp).
constexpr int RESDATA_GROW_AFTER = 100;

// A place in the value store: block index in the upper 10 bits, offset in
// the block in the lower 22 (every block is far below 4 MiB).  Half the size
// of a pointer, which matters with a slot per value.
using RESREF = uint32_t;
constexpr int RESREF_SHIFT = 22;
constexpr RESREF RESREF_NONE = 0xffffffffu;

struct RESDATA {
  int state = 1;                     // 1: empty (nothing allocated); 0: in use
  std::vector<RESREF> names;         // per field (RESREF_NONE for a null name)
  std::vector<unsigned char> types;  // per field, type code of the wire
  std::vector<int32_t> sizes;        // per field, as sent by the server
  std::vector<RESREF> values;        // row-major, field count per row
  // Display-text cache: one column of row slots per field, made on the
  // first text of that field (CHARACTER values are their own text, so
  // their columns never exist).
  std::vector<std::vector<RESREF>> texts;
  int32_t nrows = 0;  // complete rows
  int32_t nfields = 0;
  int32_t fillpos = 0;         // next field of the row being filled
  std::vector<char *> blocks;  // value store
  std::vector<int32_t> blocksizes;
  std::vector<unsigned char> owned;  // per block: 1 when it is an allocation to free
  const char *adopted = nullptr;     // the adopted reply (RESDATA_Adopt), or null
  int32_t adopted_size = 0;
  int32_t adopted_first = 0;  // its first block index
  int32_t curblock = 0;
  int32_t used = 0;  // bytes used in the current block
};

// State 1, no rows, no fields.  Releases nothing: use on a fresh table.
void RESDATA_Empty(RESDATA *t);

// Makes the table ready to be filled: state 0, first block of the store.
void RESDATA_New(RESDATA *t);

// Appends a field description; the name (may be null) is copied.
void RESDATA_Header_Data(RESDATA *t, const char *name, int type, int32_t size);

// Hints that rows more rows will follow (saves regrowing the slot array).
void RESDATA_Reserve_Rows(RESDATA *t, int32_t rows);

// The bytes a value of this type needs at least: 1 for CHARACTER (its NUL),
// 2 for BINARY (its length), the layout size for the fixed types, 0 for an
// unknown type.
int RESDATA_Min_Size(int type);

// Checks that the n bytes at value are a complete value of the type (fixed
// types: the whole layout; CHARACTER: a NUL within n; BINARY: the inner
// length fits).  Returns 1 when complete, else 0.
int RESDATA_Value_Ok(int type, const char *value, int n);

// Hands the table a block of size bytes allocated with xmalloc (a received
// reply), which it frees with the table.  Values that RESDATA_Fill_Binary
// is given from inside this block are kept in place.  The table must be in
// use (RESDATA_New) and have adopted nothing yet.  Returns 1, or 0 (the
// block stays the caller's) when the table cannot take it.
int RESDATA_Adopt(RESDATA *t, char *block, int32_t size);

// Appends the next value (n bytes as received) to the row being filled;
// a row is counted once all its fields are there.  The value is copied into
// the store, unless it lies inside the adopted block.  Returns 1, or 0 when
// the value is not complete for the field's type (RESDATA_Value_Ok) or the
// table has no fields; then nothing is stored.
int RESDATA_Fill_Binary(RESDATA *t, const char *value, int n);

// Stores a copy of text as the display text of (row, field) in the text
// cache and returns the stored copy (valid until RESDATA_Free).
const char *RESDATA_Fill_ResString(RESDATA *t, int32_t row, int32_t field, const char *text);

// The name of a field (null for a null name or outside the table).
const char *RESDATA_Name(const RESDATA *t, int32_t field);

// The value of (row, field), or null outside the table.
const char *RESDATA_Value(const RESDATA *t, int32_t row, int32_t field);

// The cached display text of (row, field), or null when none is cached.
const char *RESDATA_Text(const RESDATA *t, int32_t row, int32_t field);

// Releases everything of a table in use (state 0); nothing for an empty one.
// Afterwards the table is empty.
void RESDATA_Free(RESDATA *t);

#endif
