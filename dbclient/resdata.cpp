// The result data table: field descriptions, rows of values and the display
// text cache of one result, all stored in a few large blocks.
#include "dbclient/resdata.h"

#include <cstring>

#include "base/mem.h"
#include "base/msglog.h"

namespace {

// Type codes of the wire (the type tokens of the query token stream).
constexpr int T_CHARACTER = '0';
constexpr int T_SMALLINT = '1';
constexpr int T_INTEGER = '2';
constexpr int T_FLOAT = '3';
constexpr int T_DATE = '4';
constexpr int T_TIME = '5';
constexpr int T_TIMESTAMP = '6';
constexpr int T_BINARY = 166;

// Makes room for k bytes in the store and returns where they go.  The test
// is ">=", so a value that would exactly fill a block opens the next one.
char *make_room(RESDATA *t, int32_t k)
{
    if (k >= (1 << RESREF_SHIFT)) {
        Log_Msg("(RESDATA) Value too large (%d bytes)\n", k);
        Msglog_Exit(1);
    }
    if (k + t->used >= t->blocksizes[t->curblock]) {
        int32_t next = t->curblock + 1;
        if (next >= static_cast<int32_t>(t->blocks.size())) {
            if (next >= RESDATA_MAX_BLOCKS) {
                Log_Msg("(RESDATA) Out of memory (max = %d)\n", RESDATA_MAX_BLOCKS);
                Msglog_Exit(1);
            }
            int32_t size = k > RESDATA_BLOCK ? k : RESDATA_BLOCK;
            t->blocks.push_back(static_cast<char *>(xmalloc(size)));
            t->blocksizes.push_back(size);
        }
        t->curblock = next;
        t->used = 0;
    }
    return t->blocks[t->curblock] + t->used;
}

// The reference of the current fill position.
RESREF here(const RESDATA *t)
{
    return (static_cast<RESREF>(t->curblock) << RESREF_SHIFT) | static_cast<RESREF>(t->used);
}

const char *deref(const RESDATA *t, RESREF r)
{
    if (r == RESREF_NONE)
        return nullptr;
    return t->blocks[r >> RESREF_SHIFT] + (r & ((1u << RESREF_SHIFT) - 1));
}

}  // namespace

void RESDATA_Empty(RESDATA *t)
{
    t->state = 1;
    t->nrows = 0;
    t->nfields = 0;
}

void RESDATA_New(RESDATA *t)
{
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
    t->curblock = 0;
    t->used = 0;
}

void RESDATA_Header_Data(RESDATA *t, const char *name, int type, int32_t size)
{
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

void RESDATA_Reserve_Rows(RESDATA *t, int32_t rows)
{
    if (rows > 0 && t->nfields > 0)
        t->values.reserve(static_cast<size_t>(rows) * static_cast<size_t>(t->nfields));
}

int RESDATA_Min_Size(int type)
{
    switch (type) {
    case T_CHARACTER: return 1;
    case T_BINARY: return 2;
    case T_SMALLINT: return 2;
    case T_INTEGER: return 4;
    case T_FLOAT: return 8;
    case T_DATE: return 4;
    case T_TIME: return 3;
    case T_TIMESTAMP: return 12;
    default: return 0;
    }
}

int RESDATA_Value_Ok(int type, const char *value, int n)
{
    if (n < RESDATA_Min_Size(type))
        return 0;
    if (type == T_CHARACTER)
        return memchr(value, 0, n) != nullptr;
    if (type == T_BINARY) {
        int m = static_cast<unsigned char>(value[0]) | (static_cast<unsigned char>(value[1]) << 8);
        return m + 2 <= n;
    }
    return 1;
}

int RESDATA_Fill_Binary(RESDATA *t, const char *value, int n)
{
    if (t->nfields <= 0 || n < 0)
        return 0;
    int type = t->types[t->fillpos];
    if (!RESDATA_Value_Ok(type, value, n))
        return 0;
    int32_t k = n;
    if (type == T_CHARACTER)
        k = static_cast<int32_t>(static_cast<const char *>(memchr(value, 0, n)) - value) + 1;
    else if (type == T_BINARY)
        k = (static_cast<unsigned char>(value[0]) | (static_cast<unsigned char>(value[1]) << 8)) + 2;
    char *p = make_room(t, n);
    t->values.push_back(here(t));
    memcpy(p, value, k);
    t->used += k;
    if (++t->fillpos == t->nfields) {
        t->nrows++;
        t->fillpos = 0;
    }
    return 1;
}

const char *RESDATA_Fill_ResString(RESDATA *t, int32_t row, int32_t field, const char *text)
{
    int32_t k = static_cast<int32_t>(strlen(text)) + 1;
    char *p = make_room(t, k);
    RESREF ref = here(t);
    memcpy(p, text, k);
    t->used += k;
    if (row >= 0 && field >= 0 && field < t->nfields && row < t->nrows) {
        if (t->texts.empty())
            t->texts.resize(t->nfields);
        std::vector<RESREF> &column = t->texts[field];
        if (column.size() < static_cast<size_t>(t->nrows))
            column.resize(t->nrows, RESREF_NONE);
        column[row] = ref;
    }
    return p;
}

const char *RESDATA_Name(const RESDATA *t, int32_t field)
{
    if (field < 0 || field >= t->nfields)
        return nullptr;
    return deref(t, t->names[field]);
}

const char *RESDATA_Value(const RESDATA *t, int32_t row, int32_t field)
{
    if (row < 0 || field < 0 || row >= t->nrows || field >= t->nfields)
        return nullptr;
    return deref(t, t->values[static_cast<size_t>(row) * t->nfields + field]);
}

const char *RESDATA_Text(const RESDATA *t, int32_t row, int32_t field)
{
    if (row < 0 || field < 0 || field >= static_cast<int32_t>(t->texts.size()) ||
        static_cast<size_t>(row) >= t->texts[field].size())
        return nullptr;
    return deref(t, t->texts[field][row]);
}

void RESDATA_Free(RESDATA *t)
{
    if (t->state != 0)
        return;
    for (char *b : t->blocks)
        xfree(b);
    // swap with empties so the memory really goes back
    std::vector<char *>().swap(t->blocks);
    std::vector<int32_t>().swap(t->blocksizes);
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
