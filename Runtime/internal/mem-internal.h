/*
 * Allocation fault injection shared by the per-OS allocators.
 */
#ifndef ZELK_INTERNAL_MEM_H
#define ZELK_INTERNAL_MEM_H

#include <zelk/mem.h>

/* Allocations left before injected failures start; -1 when none are injected. */
extern int32_t g_cRTMemAllocsBeforeFailure;

/* True when the next allocation must fail. */
static inline bool rtMemInjectFailure(void)
{
    if (g_cRTMemAllocsBeforeFailure < 0)
        return false;
    if (g_cRTMemAllocsBeforeFailure == 0)
        return true;
    g_cRTMemAllocsBeforeFailure--;
    return false;
}

#endif
