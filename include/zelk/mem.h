/*
 * Heap allocation for the runtime.
 *
 * All runtime memory comes from here: the process heap on Windows, the C
 * library's heap on other hosts.  Whoever allocates frees.  The tag names the
 * caller for heap diagnostics and is otherwise unused.
 */
#ifndef ZELK_MEM_H
#define ZELK_MEM_H

#include <zelk/types.h>

/* Returns a block of cb bytes (at least 1), or null when out of memory. */
void *RTMemAlloc(size_t cb, const char *pszTag);
/* As RTMemAlloc, with the block zeroed. */
void *RTMemAllocZ(size_t cb, const char *pszTag);
/* Resizes pv (null allocates).  On failure returns null and pv stays valid. */
void *RTMemRealloc(void *pv, size_t cbNew, const char *pszTag);
/* Frees pv; null is ignored. */
void RTMemFree(void *pv);

/*
 * Fault injection for tests: after cAllocs more successful allocations (or
 * reallocations) every further one fails, until called again with -1.
 */
void RTMemTestFailAfter(int32_t cAllocs);

#endif
