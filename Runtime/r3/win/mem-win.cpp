/*
 * Heap allocation from the process heap (no C runtime).
 */
#include "mem-internal.h"
#include "win.h"

void *RTMemAlloc(size_t cb, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    return HeapAlloc(GetProcessHeap(), 0, cb ? cb : 1);
}

void *RTMemAllocZ(size_t cb, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb ? cb : 1);
}

void *RTMemRealloc(void *pv, size_t cbNew, const char *pszTag)
{
    (void)pszTag;
    if (rtMemInjectFailure())
        return nullptr;
    if (!pv)
        return HeapAlloc(GetProcessHeap(), 0, cbNew ? cbNew : 1);
    return HeapReAlloc(GetProcessHeap(), 0, pv, cbNew ? cbNew : 1);
}

void RTMemFree(void *pv)
{
    if (pv)
        HeapFree(GetProcessHeap(), 0, pv);
}
