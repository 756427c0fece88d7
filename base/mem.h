// Allocation that never returns nothing: the my* family and the x* family
// (which rounds small requests up to 32, 128, 256, 512 or 1024 bytes) end
// the process through the message log when memory is exhausted.  Both work
// on the one system heap, so any block may be released with myfree, xfree
// or free.
#ifndef BASE_MEM_H
#define BASE_MEM_H

#include <cstddef>

void *mymalloc(size_t size);
void *myrealloc(void *block, size_t size);
char *mystrdup(const char *text);
void myfree(void *block);

// The size an x-family request is rounded to.
size_t xround(size_t size);
void *xmalloc(size_t size);
void *xrealloc(void *block, size_t size);
char *xstrdup(const char *text);
void xfree(void *block);

#endif
