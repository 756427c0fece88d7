// Containers of the base library: the dynamic array of self-sized records
// (ARRAY), singly linked lists of word values with a pool of spare nodes,
// unbalanced binary search trees keyed by words (with a pool that only
// collects released nodes), and
// the set-up of the process-wide identifier hash table.
//
// Every container is a small header record that its owner allocates (or
// gets from ARRAY_New / Make_List) and passes by address.  Memory comes from
// the mymalloc family, so exhaustion ends the process instead of failing.
//
// List values and tree keys and values are pointer-sized (intptr_t): the
// form framework keys its registries by object addresses and stores
// pointers as values, which do not fit 32 bits on a 64-bit system.  Tree
// keys are ordered as signed numbers.
//
// Single-threaded: the pools and the hash table are process-wide and
// unlocked.
#ifndef BASE_CONTAINERS_H
#define BASE_CONTAINERS_H

#include <cstdint>

// ---------------------------------------------------------------------------
// Self-sized records and the dynamic array

// A record whose first 32-bit word is its own size in bytes.  Sizes of 0 or
// above this limit are taken for an uninitialised record and warned about.
enum { STRUCT_MAXSIZE = 10000, ARRAY_STEP = 15 };

// Copies as many bytes as src's size word gives into dst, which must hold
// that many.  An implausible size (0 or above 10000) is warned about on
// standard output and the copy is still made; a negative size is warned
// about the same way and copies nothing.
void STRUCT_Assign(void *dst, const void *src);

typedef int (*ARRAY_CMP)(const void *, const void *);

struct ARRAY {
  int32_t init1;      // -2 once initialised
  int32_t count;      // number of items
  int32_t init2;      // -2 once initialised
  ARRAY_CMP compare;  // free for the owner; ARRAY_Init leaves it alone
  void **items;       // capacity: count rounded up to a multiple of 15
};

// New initialised header from mymalloc.  The caller releases the items with
// ARRAY_Free and the header with myfree.
ARRAY *ARRAY_New(void);

// Empty array: the -2 words, count 0, no item block.
void ARRAY_Init(ARRAY *array);

// Appends a private copy of the self-sized record; returns 1.  The array
// owns the copy until ARRAY_Free.  An implausible size word is warned about
// through the message log and the copy is still made (a negative one copies
// only the size word).
int ARRAY_Add(ARRAY *array, const void *record);

// Copies item index into buffer (which must hold the item's size) and
// returns buffer.  An index out of range ends the process.
void *ARRAY_Get(ARRAY *array, void *buffer, int index);

// The item itself, owned by the array.  An index out of range ends the
// process.
void *ARRAY_GetPtr(ARRAY *array, int index);

// Releases every item and the item block; count 0.
void ARRAY_Free(ARRAY *array);

// ---------------------------------------------------------------------------
// Lists

struct LSNODE {
  intptr_t value;  // usually a pointer the list does not own
  LSNODE *next;
};

struct LIST {
  int32_t count;
  LSNODE *cursor;  // read position of lsread
  LSNODE *first;
};

// First call only: fills the node pool with n spare nodes; later calls do
// nothing.  Without it every node comes from and returns to the heap.
void lsmeminit(int n);

void lsinit(LIST *list);

// Allocates an empty header (mymalloc) and stores it at *address; returns 1.
// The caller releases the nodes with lsfree and the header with myfree.
int Make_List(LIST **address);

int lsnumber(const LIST *list);

// New node at the front; returns 1.
int lsinsert(LIST *list, intptr_t value);

// New node at the end (no ordering is applied); returns 1.
int lssortinsert(LIST *list, intptr_t value);

// Removes the first node holding value: 1 when found, 0 otherwise.  A read
// cursor on that node moves on to the next one.
int lsdelete(LIST *list, intptr_t value);

// Releases all nodes (not the values); the list is empty afterwards.
void lsfree(LIST *list);

// Releases every value with myfree, then all nodes.
void lsfreeall(LIST *list);

// For a list whose values are LIST headers: chains the member lists' nodes
// into this list in order, count = sum of the member counts, releases the
// outer nodes and resets the cursor.  The member headers are not changed,
// so they still point at nodes that now belong to this list: the caller
// must discard or lsinit them, never lsfree them.
void lsunify(LIST *list);

// Puts the cursor on the first node.
void lsinitread(LIST *list);

// 0 at the end; otherwise *value = the value at the cursor, cursor
// advanced, 1.
int lsread(LIST *list, intptr_t *value);

// ---------------------------------------------------------------------------
// Trees

struct LTNODE {
  intptr_t key;     // unique, ordered as signed
  intptr_t value;   // not owned by the tree
  LTNODE *greater;  // subtree of greater keys
  LTNODE *smaller;  // subtree of smaller keys
};

// A tree handle: the root node, or null for the empty tree.
typedef LTNODE *LTREE;

// First call only: creates the pool of n spare nodes; later calls do
// nothing.  Released tree nodes are kept in this pool while it has room,
// but new nodes always come fresh from the heap: nothing draws from it.
void ltmeminit(int n);

void ltinit(LTREE *tree);

// 1 and *value (when value is not null) when key is present, else 0.
int ltsearch(LTREE root, intptr_t key, intptr_t *value);

// 0 when key is present (its value unchanged); otherwise a new leaf, 1.
int ltinsert(LTREE *tree, intptr_t key, intptr_t value);

// 0 when key is absent; otherwise its node is removed, 1.
int ltdelete(LTREE *tree, intptr_t key);

// Releases all nodes (not the values); the tree is empty afterwards.
void ltfree(LTREE *tree);

// Initialises list (any old nodes are not released) and fills it with the
// values in ascending key order.
void ltdump(LTREE root, LIST *list);

// ---------------------------------------------------------------------------
// Identifier hash table (one per process)

struct HTSLOT {
  int32_t offset;  // into the identifier area
  char state;      // 'f' free, 'b' in use, 'w' deleted
};

struct HTAB {
  char *ids;       // identifier area
  int32_t idsize;  // its size in bytes
  HTSLOT *slots;
  int32_t nslots;  // prime
};

extern HTAB htab;

// Allocates an identifier area of areasize bytes and n free slots (n below
// 2 means 10007; any earlier table is released).  A non-prime n is an
// implementation error (hterror with -2).  Returns 1.
int htinit(int areasize, int n);

// Writes "Error (code): text", "Error: text", "Implementation restriction:
// text" or "Implementation error: text" for a positive, zero, -1 or other
// negative code through the message log and ends the process with code as
// its status.
[[noreturn]] void hterror(const char *text, int code);

#endif
