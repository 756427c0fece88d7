// Tests of the dynamic array, lists, trees and hash table set-up.
#include "base/containers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "base/mem.h"
#include "tests/support/log_capture.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Rec {
  int32_t size = sizeof(Rec);
  int32_t n = 0;
  char text[24] = "";
};

TEST(Struct, AssignCopiesTheRecordsOwnSize) {
  unsigned char dst[64];
  memset(dst, 0xAA, sizeof dst);
  unsigned char src[64];
  memset(src, 0x11, sizeof src);
  int32_t size = 10;
  memcpy(src, &size, sizeof size);
  CaptureStdout();
  STRUCT_Assign(dst, src);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(memcmp(dst, src, 10), 0);
  EXPECT_EQ(dst[10], 0xAA);

  size = 0;
  memcpy(src, &size, sizeof size);
  CaptureStdout();
  STRUCT_Assign(dst, src);
  EXPECT_EQ(GetCapturedStdout(), "(STRUCT_Assign) Warning: Struct not initialized (size 0)???\n");

  // A negative size copies nothing instead of running over memory.
  size = -4;
  memcpy(src, &size, sizeof size);
  memset(dst, 0xAA, sizeof dst);
  CaptureStdout();
  STRUCT_Assign(dst, src);
  EXPECT_EQ(GetCapturedStdout(), "(STRUCT_Assign) Warning: Struct not initialized (size -4)???\n");
  EXPECT_EQ(dst[0], 0xAA);
}

TEST(Array, InitAddGetFree) {
  ARRAY *a = ARRAY_New();
  EXPECT_EQ(a->init1, -2);
  EXPECT_EQ(a->init2, -2);
  EXPECT_EQ(a->count, 0);
  EXPECT_EQ(a->items, nullptr);

  Rec r;
  void **block15 = nullptr;
  for (int i = 0; i < 16; i++) {
    r.n = i;
    snprintf(r.text, sizeof r.text, "row %d", i);
    EXPECT_EQ(ARRAY_Add(a, &r), 1);
    if (i == 0) block15 = a->items;
    if (i < 15) {
      EXPECT_EQ(a->items, block15) << i;  // no growth before the 16th
    }
  }
  EXPECT_EQ(a->count, 16);
  // The caller's record is not shared with the items.
  strcpy(r.text, "changed");
  r.n = 99;
  for (int i = 0; i < 16; i++) {
    Rec got;
    EXPECT_EQ(ARRAY_Get(a, &got, i), &got);
    EXPECT_EQ(got.n, i);
    EXPECT_EQ(got.text, "row " + std::to_string(i));
    Rec *item = static_cast<Rec *>(ARRAY_GetPtr(a, i));
    EXPECT_NE(item, &r);
    EXPECT_EQ(item->n, i);
  }
  ARRAY_Free(a);
  EXPECT_EQ(a->count, 0);
  EXPECT_EQ(a->items, nullptr);
  // Reusable after Free.
  ARRAY_Add(a, &r);
  EXPECT_EQ(static_cast<Rec *>(ARRAY_GetPtr(a, 0))->n, 99);
  ARRAY_Free(a);
  myfree(a);
}

TEST(Array, ImplausibleSizeIsWarnedAndStillStored) {
  ARRAY a;
  ARRAY_Init(&a);
  int32_t bogus[2] = {0, 7};
  kv_capture_log();
  ARRAY_Add(&a, bogus);
  EXPECT_EQ(kv_captured_log(), "(ARRAY_Add) Warning: Struct not initialized (size 0)???\n");
  EXPECT_EQ(a.count, 1);
  int32_t out[2] = {-5, -5};
  kv_capture_log();
  ARRAY_Get(&a, out, 0);
  EXPECT_EQ(kv_captured_log(), "(ARRAY_Get) Warning: Struct not initialized (size 0)???\n");
  EXPECT_EQ(out[0], -5);  // nothing to copy
  ARRAY_Free(&a);
}

TEST(ArrayDeathTest, IndexOutOfRange) {
  ARRAY a;
  ARRAY_Init(&a);
  Rec r;
  ARRAY_Add(&a, &r);
  Rec got;
  EXPECT_EXIT(ARRAY_Get(&a, &got, -1), testing::ExitedWithCode(1),
              "^\\(ARRAY_Get\\) Index out of range!\n$");
  EXPECT_EXIT(ARRAY_Get(&a, &got, 1), testing::ExitedWithCode(1),
              "^\\(ARRAY_Get\\) Index out of range!\n$");
  EXPECT_EXIT(ARRAY_GetPtr(&a, -1), testing::ExitedWithCode(1),
              "^\\(ARRAY_GetPtr\\) Index out of range!\n$");
  EXPECT_EXIT(ARRAY_GetPtr(&a, 1), testing::ExitedWithCode(1),
              "^\\(ARRAY_GetPtr\\) Index out of range!\n$");
  ARRAY_Free(&a);
}

std::vector<intptr_t> Read(LIST *l) {
  std::vector<intptr_t> v;
  intptr_t x;
  lsinitread(l);
  while (lsread(l, &x)) v.push_back(x);
  return v;
}

using V = std::vector<intptr_t>;

TEST(List, InsertOrderDeleteRead) {
  lsmeminit(4);
  lsmeminit(1000);  // later calls change nothing
  LIST *l;
  EXPECT_EQ(Make_List(&l), 1);
  EXPECT_EQ(lsnumber(l), 0);
  intptr_t x = 42;
  lsinitread(l);
  EXPECT_EQ(lsread(l, &x), 0);
  EXPECT_EQ(x, 42);

  for (intptr_t v : {3, 1, 2}) lssortinsert(l, v);
  EXPECT_EQ(Read(l), (V{3, 1, 2}));
  LIST m;
  lsinit(&m);
  for (intptr_t v : {3, 1, 2}) lsinsert(&m, v);
  EXPECT_EQ(Read(&m), (V{2, 1, 3}));

  lsinsert(&m, 1);
  EXPECT_EQ(lsdelete(&m, 1), 1);  // the first one only
  EXPECT_EQ(Read(&m), (V{2, 1, 3}));
  EXPECT_EQ(lsdelete(&m, 7), 0);
  EXPECT_EQ(lsnumber(&m), 3);

  // A cursor on the deleted node moves on instead of dangling.
  lsinitread(&m);
  lsread(&m, &x);
  EXPECT_EQ(lsdelete(&m, 1), 1);
  EXPECT_EQ(lsread(&m, &x), 1);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(lsread(&m, &x), 0);

  // More nodes than the pool holds go to and from the heap.
  for (int i = 0; i < 50; i++) lsinsert(&m, i);
  EXPECT_EQ(lsnumber(&m), 52);
  lsfree(&m);
  EXPECT_EQ(lsnumber(&m), 0);
  EXPECT_EQ(m.first, nullptr);
  lsfree(l);
  myfree(l);
}

TEST(List, FreeAllReleasesValues) {
  LIST l;
  lsinit(&l);
  lsinsert(&l, reinterpret_cast<intptr_t>(mystrdup("a")));
  lsinsert(&l, reinterpret_cast<intptr_t>(mystrdup("b")));
  lsfreeall(&l);  // the leak checker of a sanitised build sees the rest
  EXPECT_EQ(lsnumber(&l), 0);
  EXPECT_EQ(l.first, nullptr);
}

TEST(List, Unify) {
  LIST a, b, empty, outer;
  lsinit(&a);
  lsinit(&b);
  lsinit(&empty);
  lsinit(&outer);
  for (intptr_t v : {1, 2}) lssortinsert(&a, v);
  for (intptr_t v : {3, 4, 5}) lssortinsert(&b, v);
  lssortinsert(&outer, reinterpret_cast<intptr_t>(&a));
  lssortinsert(&outer, reinterpret_cast<intptr_t>(&empty));
  lssortinsert(&outer, reinterpret_cast<intptr_t>(&b));
  lsunify(&outer);
  EXPECT_EQ(lsnumber(&outer), 5);
  EXPECT_EQ(Read(&outer), (V{1, 2, 3, 4, 5}));
  EXPECT_EQ(lsnumber(&a), 2);  // member headers untouched
  lsfree(&outer);
}

std::vector<intptr_t> Dump(LTREE t) {
  LIST l;
  ltdump(t, &l);
  std::vector<intptr_t> v = Read(&l);
  lsfree(&l);
  return v;
}

TEST(Tree, InsertSearchDump) {
  ltmeminit(8);
  LTREE t;
  ltinit(&t);
  intptr_t v = 0;
  EXPECT_EQ(ltsearch(t, 5, &v), 0);
  EXPECT_EQ(ltinsert(&t, 5, 50), 1);
  EXPECT_EQ(ltinsert(&t, 1, 10), 1);
  EXPECT_EQ(ltinsert(&t, 9, 90), 1);
  EXPECT_EQ(ltinsert(&t, 5, 55), 0);
  EXPECT_EQ(ltsearch(t, 5, &v), 1);
  EXPECT_EQ(v, 50);
  EXPECT_EQ(Dump(t), (V{10, 50, 90}));

  // Keys are signed and pointer-sized.
  const intptr_t big = static_cast<intptr_t>(0x7ffd12345678LL);
  EXPECT_EQ(ltinsert(&t, -3, -30), 1);
  EXPECT_EQ(ltinsert(&t, big, 7), 1);
  EXPECT_EQ(ltsearch(t, big & 0xffffffff, nullptr), 0);
  EXPECT_EQ(ltsearch(t, big, &v), 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(Dump(t), (V{-30, 10, 50, 90, 7}));
  ltfree(&t);
  EXPECT_EQ(t, nullptr);
}

TEST(Tree, DeleteKeepsTheRestFindable) {
  LTREE t;
  ltinit(&t);
  for (intptr_t k : {50, 30, 70, 20, 40, 60, 80, 65}) ltinsert(&t, k, k * 10);
  EXPECT_EQ(ltdelete(&t, 50), 1);  // root with both subtrees
  EXPECT_EQ(t->key, 60);
  EXPECT_EQ(ltdelete(&t, 50), 0);
  EXPECT_EQ(ltdelete(&t, 20), 1);  // leaf
  EXPECT_EQ(ltdelete(&t, 30), 1);  // only a greater subtree
  EXPECT_EQ(ltdelete(&t, 70), 1);  // both
  for (intptr_t k : {40, 60, 65, 80}) {
    intptr_t v = 0;
    EXPECT_EQ(ltsearch(t, k, &v), 1) << k;
    EXPECT_EQ(v, k * 10);
  }
  EXPECT_EQ(Dump(t), (V{400, 600, 650, 800}));
  ltfree(&t);
}

TEST(Tree, AgreesWithOrderedMap) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> key(-200, 200);
  LTREE t;
  ltinit(&t);
  std::map<intptr_t, intptr_t> ref;
  for (int i = 0; i < 5000; i++) {
    intptr_t k = key(rng);
    if (rng() % 3 == 0) {
      EXPECT_EQ(ltdelete(&t, k), static_cast<int>(ref.erase(k)));
    } else {
      EXPECT_EQ(ltinsert(&t, k, i), ref.emplace(k, i).second ? 1 : 0);
    }
  }
  std::vector<intptr_t> want;
  for (auto &kv : ref) want.push_back(kv.second);
  EXPECT_EQ(Dump(t), want);
  ltfree(&t);
}

TEST(Tree, LongChainsNeedNoDeepRecursion) {
  // Keys that grow with each insertion make the tree one long chain.  Built
  // by hand (insertion would take quadratic time), deep enough to overflow
  // the stack of a recursive walk.
  const int n = 1000000;
  LTREE t;
  ltinit(&t);
  LTNODE **link = &t;
  for (int i = 0; i < n; i++) {
    LTNODE *node = static_cast<LTNODE *>(mymalloc(sizeof(LTNODE)));
    *node = LTNODE{i, i, nullptr, nullptr};
    *link = node;
    link = &node->greater;
  }
  EXPECT_EQ(ltinsert(&t, -1, -1), 1);
  EXPECT_EQ(ltsearch(t, n - 1, nullptr), 1);
  std::vector<intptr_t> d = Dump(t);
  ASSERT_EQ(d.size(), static_cast<size_t>(n + 1));
  EXPECT_EQ(d.front(), -1);
  EXPECT_EQ(d.back(), n - 1);
  ltfree(&t);
  EXPECT_EQ(t, nullptr);
}

TEST(Hash, InitMarksEverySlotFree) {
  EXPECT_EQ(htinit(1000, 13), 1);
  EXPECT_EQ(htab.nslots, 13);
  EXPECT_EQ(htab.idsize, 1000);
  for (int i = 0; i < 13; i++) EXPECT_EQ(htab.slots[i].state, 'f');
  EXPECT_EQ(htinit(500000, 1), 1);
  EXPECT_EQ(htab.nslots, 10007);
  EXPECT_EQ(htab.slots[10006].state, 'f');
}

TEST(HashDeathTest, ErrorsEndTheProcessWithTheCode) {
  EXPECT_EXIT(htinit(500000, 10000), testing::ExitedWithCode(254),
              "^Implementation error: \\(hashtab\\) Not a prime number "
              "\\(10000\\)!\n$");
  EXPECT_EXIT(htinit(100, 9), testing::ExitedWithCode(254), "Not a prime number \\(9\\)");
  EXPECT_EXIT(hterror("full", 3), testing::ExitedWithCode(3), "^Error \\(3\\): full\n$");
  EXPECT_EXIT(hterror("odd", 0), testing::ExitedWithCode(0), "^Error: odd\n$");
  EXPECT_EXIT(hterror("too long", -1), testing::ExitedWithCode(255),
              "^Implementation restriction: too long\n$");
}

}  // namespace
