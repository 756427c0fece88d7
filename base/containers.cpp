// Dynamic array, lists, trees and hash table set-up of the base library.
// See containers.h for the contracts.
#include "base/containers.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/mem.h"
#include "base/msglog.h"

// ---------------------------------------------------------------------------
// Self-sized records and the dynamic array

namespace {

int32_t SizeWord(const void *record) {
  int32_t size;
  memcpy(&size, record, sizeof size);
  return size;
}

bool Implausible(int32_t size) { return size <= 0 || size > STRUCT_MAXSIZE; }

[[noreturn]] void OutOfRange(const char *caller) {
  Log_Msg("(%s) Index out of range!\n", caller);
  Msglog_Exit(1);
}

}  // namespace

void STRUCT_Assign(void *dst, const void *src) {
  int32_t size = SizeWord(src);
  if (Implausible(size)) {
    printf("(STRUCT_Assign) Warning: Struct not initialized (size %d)???\n", size);
    fflush(stdout);
  }
  if (size > 0) memmove(dst, src, size);
}

ARRAY *ARRAY_New(void) {
  ARRAY *array = static_cast<ARRAY *>(mymalloc(sizeof(ARRAY)));
  array->compare = nullptr;
  ARRAY_Init(array);
  return array;
}

void ARRAY_Init(ARRAY *array) {
  array->init1 = -2;
  array->count = 0;
  array->init2 = -2;
  array->items = nullptr;
}

int ARRAY_Add(ARRAY *array, const void *record) {
  if (array->count % ARRAY_STEP == 0) {
    size_t bytes = sizeof(void *) * (array->count + ARRAY_STEP);
    array->items =
        static_cast<void **>(array->items ? myrealloc(array->items, bytes) : mymalloc(bytes));
  }
  int32_t size = SizeWord(record);
  if (Implausible(size))
    Log_Msg("(ARRAY_Add) Warning: Struct not initialized (size %d)???\n", size);
  // The copy always holds at least its own size word, so that ARRAY_Get can
  // read it back even for a bogus record.
  size_t copy = size > 0 ? size : 0;
  size_t block = copy < sizeof size ? sizeof size : copy;
  void *item = mymalloc(block);
  memcpy(item, &size, sizeof size);
  if (copy > sizeof size)
    memcpy(static_cast<char *>(item) + sizeof size, static_cast<const char *>(record) + sizeof size,
           copy - sizeof size);
  array->items[array->count++] = item;
  return 1;
}

void *ARRAY_Get(ARRAY *array, void *buffer, int index) {
  if (index < 0 || index >= array->count) OutOfRange("ARRAY_Get");
  const void *item = array->items[index];
  int32_t size = SizeWord(item);
  if (Implausible(size))
    Log_Msg("(ARRAY_Get) Warning: Struct not initialized (size %d)???\n", size);
  if (size > 0) memcpy(buffer, item, size);
  return buffer;
}

void *ARRAY_GetPtr(ARRAY *array, int index) {
  if (index < 0 || index >= array->count) OutOfRange("ARRAY_GetPtr");
  return array->items[index];
}

void ARRAY_Free(ARRAY *array) {
  for (int32_t i = 0; i < array->count; i++) myfree(array->items[i]);
  myfree(array->items);
  array->items = nullptr;
  array->count = 0;
}

// ---------------------------------------------------------------------------
// Node pools

namespace {

// A stack of spare nodes with a fixed room, created once.  Nodes are taken
// from the top (the most recently released first); a node released while
// the pool is full goes back to the heap.
template <typename Node>
struct Pool {
  Node **spare = nullptr;
  int room = 0;
  int used = 0;
  bool created = false;

  void Create(int n) {
    if (created) return;
    created = true;
    if (n <= 0) return;
    spare = static_cast<Node **>(mymalloc(sizeof(Node *) * n));
    room = n;
    for (used = 0; used < n; used++) spare[used] = static_cast<Node *>(mymalloc(sizeof(Node)));
  }
  Node *Take() {
    if (used > 0) return spare[--used];
    return static_cast<Node *>(mymalloc(sizeof(Node)));
  }
  void Give(Node *node) {
    if (used < room)
      spare[used++] = node;
    else
      myfree(node);
  }
};

Pool<LSNODE> ls_pool;
Pool<LTNODE> lt_pool;

}  // namespace

// ---------------------------------------------------------------------------
// Lists

void lsmeminit(int n) { ls_pool.Create(n); }

void lsinit(LIST *list) {
  list->count = 0;
  list->cursor = nullptr;
  list->first = nullptr;
}

int Make_List(LIST **address) {
  *address = static_cast<LIST *>(mymalloc(sizeof(LIST)));
  lsinit(*address);
  return 1;
}

int lsnumber(const LIST *list) { return list->count; }

int lsinsert(LIST *list, intptr_t value) {
  LSNODE *node = ls_pool.Take();
  node->value = value;
  node->next = list->first;
  list->first = node;
  list->count++;
  return 1;
}

int lssortinsert(LIST *list, intptr_t value) {
  LSNODE *node = ls_pool.Take();
  node->value = value;
  node->next = nullptr;
  LSNODE **link = &list->first;
  while (*link) link = &(*link)->next;
  *link = node;
  list->count++;
  return 1;
}

int lsdelete(LIST *list, intptr_t value) {
  for (LSNODE **link = &list->first; *link; link = &(*link)->next) {
    LSNODE *node = *link;
    if (node->value != value) continue;
    *link = node->next;
    if (list->cursor == node) list->cursor = node->next;
    list->count--;
    ls_pool.Give(node);
    return 1;
  }
  return 0;
}

void lsfree(LIST *list) {
  LSNODE *node = list->first;
  while (node) {
    LSNODE *next = node->next;
    ls_pool.Give(node);
    node = next;
  }
  lsinit(list);
}

void lsfreeall(LIST *list) {
  for (LSNODE *node = list->first; node; node = node->next)
    myfree(reinterpret_cast<void *>(node->value));
  lsfree(list);
}

void lsunify(LIST *list) {
  LSNODE *first = nullptr;
  LSNODE **tail = &first;
  int32_t count = 0;
  LSNODE *outer = list->first;
  while (outer) {
    const LIST *member = reinterpret_cast<const LIST *>(outer->value);
    if (member && member->first) {
      *tail = member->first;
      LSNODE *last = member->first;
      while (last->next) last = last->next;
      tail = &last->next;
      count += member->count;
    }
    LSNODE *next = outer->next;
    ls_pool.Give(outer);
    outer = next;
  }
  *tail = nullptr;
  list->first = first;
  list->count = count;
  list->cursor = nullptr;
}

void lsinitread(LIST *list) { list->cursor = list->first; }

int lsread(LIST *list, intptr_t *value) {
  if (!list->cursor) return 0;
  *value = list->cursor->value;
  list->cursor = list->cursor->next;
  return 1;
}

// ---------------------------------------------------------------------------
// Trees

void ltmeminit(int n) { lt_pool.Create(n); }

void ltinit(LTREE *tree) { *tree = nullptr; }

int ltsearch(LTREE root, intptr_t key, intptr_t *value) {
  for (LTNODE *node = root; node;) {
    if (key == node->key) {
      if (value) *value = node->value;
      return 1;
    }
    node = key > node->key ? node->greater : node->smaller;
  }
  return 0;
}

int ltinsert(LTREE *tree, intptr_t key, intptr_t value) {
  LTNODE **link = tree;
  while (*link) {
    if (key == (*link)->key) return 0;
    link = key > (*link)->key ? &(*link)->greater : &(*link)->smaller;
  }
  // Kept as designed: a new leaf never comes from the tree pool.
  LTNODE *node = static_cast<LTNODE *>(mymalloc(sizeof(LTNODE)));
  node->key = key;
  node->value = value;
  node->greater = nullptr;
  node->smaller = nullptr;
  *link = node;
  return 1;
}

int ltdelete(LTREE *tree, intptr_t key) {
  LTNODE **link = tree;
  while (*link && (*link)->key != key)
    link = key > (*link)->key ? &(*link)->greater : &(*link)->smaller;
  LTNODE *node = *link;
  if (!node) return 0;
  if (!node->greater) {
    *link = node->smaller;
  } else if (!node->smaller) {
    *link = node->greater;
  } else {
    LTNODE **min = &node->greater;
    while ((*min)->smaller) min = &(*min)->smaller;
    LTNODE *succ = *min;
    node->key = succ->key;
    node->value = succ->value;
    *min = succ->greater;
    node = succ;
  }
  lt_pool.Give(node);
  return 1;
}

// The walks below keep their own stack: trees keyed by addresses that grow
// with each allocation degenerate into long chains, too deep for recursion.

void ltfree(LTREE *tree) {
  std::vector<LTNODE *> todo;
  if (*tree) todo.push_back(*tree);
  while (!todo.empty()) {
    LTNODE *node = todo.back();
    todo.pop_back();
    if (node->greater) todo.push_back(node->greater);
    if (node->smaller) todo.push_back(node->smaller);
    lt_pool.Give(node);
  }
  *tree = nullptr;
}

void ltdump(LTREE root, LIST *list) {
  lsinit(list);
  // Greatest key first, each value at the front: the list ends ascending.
  std::vector<LTNODE *> path;
  LTNODE *node = root;
  while (node || !path.empty()) {
    while (node) {
      path.push_back(node);
      node = node->greater;
    }
    node = path.back();
    path.pop_back();
    lsinsert(list, node->value);
    node = node->smaller;
  }
}

// ---------------------------------------------------------------------------
// Identifier hash table

HTAB htab;

namespace {

bool IsPrime(int n) {
  if (n < 2) return false;
  for (long d = 2; d * d <= n; d++)
    if (n % d == 0) return false;
  return true;
}

}  // namespace

int htinit(int areasize, int n) {
  myfree(htab.ids);
  myfree(htab.slots);
  htab = HTAB{};
  htab.ids = static_cast<char *>(mymalloc(areasize > 0 ? areasize : 1));
  htab.idsize = areasize > 0 ? areasize : 0;
  if (n < 2) n = 10007;
  if (!IsPrime(n)) {
    char text[80];
    snprintf(text, sizeof text, "(hashtab) Not a prime number (%d)!", n);
    hterror(text, -2);
  }
  htab.slots = static_cast<HTSLOT *>(mymalloc(sizeof(HTSLOT) * n));
  for (int i = 0; i < n; i++) {
    htab.slots[i].offset = 0;
    htab.slots[i].state = 'f';
  }
  htab.nslots = n;
  return 1;
}

void hterror(const char *text, int code) {
  if (code > 0)
    Log_Msg("Error (%d): %s\n", code, text);
  else if (code == 0)
    Log_Msg("Error: %s\n", text);
  else if (code == -1)
    Log_Msg("Implementation restriction: %s\n", text);
  else
    Log_Msg("Implementation error: %s\n", text);
  Msglog_Exit(code);
}
