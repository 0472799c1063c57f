/*
 * Allocation fault injection: tests make the n-th next allocation and all
 * after it fail, to drive the out-of-memory paths.
 */
#include "mem-internal.h"

int32_t g_cRTMemAllocsBeforeFailure = -1;

void RTMemTestFailAfter(int32_t cAllocs)
{
    g_cRTMemAllocsBeforeFailure = cAllocs < 0 ? -1 : cAllocs;
}
