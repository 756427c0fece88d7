// Tests of the allocation families: size rounding, copies, one heap for
// both families, and the end of the process on exhaustion.
#include "base/mem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace {

TEST(Mem, XRounding) {
  EXPECT_EQ(xround(1), 32u);
  EXPECT_EQ(xround(31), 32u);
  EXPECT_EQ(xround(32), 128u);
  EXPECT_EQ(xround(127), 128u);
  EXPECT_EQ(xround(128), 256u);
  EXPECT_EQ(xround(511), 512u);
  EXPECT_EQ(xround(1000), 1024u);
  EXPECT_EQ(xround(1024), 1024u);
  EXPECT_EQ(xround(5000), 5000u);
  void *p = xmalloc(1);
  EXPECT_GE(malloc_usable_size(p), 32u);
  p = xrealloc(p, 1000);
  EXPECT_GE(malloc_usable_size(p), 1024u);
  xfree(p);
}

TEST(Mem, CopiesAndOneHeap) {
  const char *text = "Dadazudi";
  char *a = mystrdup(text);
  char *b = xstrdup(text);
  EXPECT_NE(a, text);
  EXPECT_STREQ(a, text);
  EXPECT_STREQ(b, text);
  EXPECT_GE(malloc_usable_size(b), 32u);
  a[0] = 'X';
  EXPECT_STREQ(text, "Dadazudi");
  a = static_cast<char *>(myrealloc(a, 4000));
  EXPECT_STREQ(a, "Xadazudi");  // contents survive resizing
  // Blocks of one family may be released by the other or by free().
  xfree(a);
  myfree(b);
  free(mymalloc(10));
  myfree(nullptr);
}

#if defined(__SANITIZE_ADDRESS__)
#define KV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_ASAN 1
#endif
#endif

TEST(MemDeathTest, ExhaustionEndsTheProcess) {
#ifdef KV_ASAN
  GTEST_SKIP() << "the sanitiser's allocator reports huge requests itself";
#else
  // No heap can satisfy a request of nearly the whole address space.
  volatile size_t huge = SIZE_MAX - 4096;
  EXPECT_EXIT(mymalloc(huge), testing::ExitedWithCode(1), "^\\(malloc\\) Out of memory!\n$");
  EXPECT_EXIT(myrealloc(mymalloc(8), huge), testing::ExitedWithCode(1),
              "^\\(realloc\\) Out of memory!\n$");
  EXPECT_EXIT(xmalloc(huge), testing::ExitedWithCode(1), "^\\(KORVAL\\) Out of memory!\n$");
  EXPECT_EXIT(xrealloc(xmalloc(8), huge), testing::ExitedWithCode(1),
              "^\\(KORVAL\\) Out of memory!\n$");
#endif
}

}  // namespace
