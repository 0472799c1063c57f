/*
 * Heap allocation on hosts with a C library.
 */
#include <stdlib.h>

#include "mem-internal.h"

void *RTMemAlloc(size_t cb, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    return malloc(cb ? cb : 1);
}

void *RTMemAllocZ(size_t cb, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    return calloc(1, cb ? cb : 1);
}

void *RTMemRealloc(void *pv, size_t cbNew, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    return realloc(pv, cbNew ? cbNew : 1);
}

void RTMemFree(void *pv)
{
    free(pv);
}
