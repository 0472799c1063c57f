/*
 * The runtime's rule for pointers it must not read.
 *
 * Diagnostics (the format engine's markers, stream validation, the last-resort
 * error output) are handed pointers they cannot trust.  A pointer within the
 * first or the last page of the address space is a null pointer plus or minus
 * an offset, never an object: it is reported, not read.
 */
#ifndef ZELK_INTERNAL_PTR_H
#define ZELK_INTERNAL_PTR_H

#include <zelk/types.h>

/* Bytes at either end of the address space that never hold an object. */
#define RT_BAD_PTR_GUARD 4096u

/* True when pv lies within RT_BAD_PTR_GUARD bytes of either end of the address space. */
static inline bool rtIsBadPtr(const void *pv)
{
    uintptr_t const u = (uintptr_t)pv;
    return u < RT_BAD_PTR_GUARD || u > ~(uintptr_t)0 - RT_BAD_PTR_GUARD;
}

#endif
