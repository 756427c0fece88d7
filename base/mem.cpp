// Allocation families that end the process on exhaustion.
#include "base/mem.h"

#include <cstdlib>
#include <cstring>

#include "base/msglog.h"

void *mymalloc(size_t size) {
  void *p = malloc(size ? size : 1);
  if (!p) {
    Log_Msg("(malloc) Out of memory!\n");
    Msglog_Exit(1);
  }
  return p;
}

void *myrealloc(void *block, size_t size) {
  void *p = realloc(block, size ? size : 1);
  if (!p) {
    Log_Msg("(realloc) Out of memory!\n");
    Msglog_Exit(1);
  }
  return p;
}

char *mystrdup(const char *text) {
  size_t n = strlen(text) + 1;
  char *p = static_cast<char *>(mymalloc(n));
  memcpy(p, text, n);
  return p;
}

void myfree(void *block) { free(block); }

size_t xround(size_t size) {
  if (size < 32) return 32;
  if (size < 128) return 128;
  if (size < 256) return 256;
  if (size < 512) return 512;
  if (size < 1024) return 1024;
  return size;
}

void *xmalloc(size_t size) {
  void *p = malloc(xround(size));
  if (!p) {
    Log_Msg("(KORVAL) Out of memory!\n");
    Msglog_Exit(1);
  }
  return p;
}

void *xrealloc(void *block, size_t size) {
  void *p = realloc(block, xround(size));
  if (!p) {
    Log_Msg("(KORVAL) Out of memory!\n");
    Msglog_Exit(1);
  }
  return p;
}

char *xstrdup(const char *text) {
  size_t n = strlen(text) + 1;
  char *p = static_cast<char *>(xmalloc(n));
  memcpy(p, text, n);
  return p;
}

void xfree(void *block) { free(block); }
