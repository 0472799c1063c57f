/*
 * Output buffers of the measured conversions (UTF-8 to UTF-16, UTF-16 to
 * UTF-8, UTF-8 to code points), which share one contract: the caller's
 * buffer when it gave one, else a new one of max(needed + 1, size) items.
 */
#ifndef ZELK_INTERNAL_UTF_H
#define ZELK_INTERNAL_UTF_H

#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

/*
 * Picks the output for cNeeded items plus a terminator.  pvCaller/cItems is
 * the caller's buffer (used when both are non-zero; KERR_BUFFER_OVERFLOW
 * with its first item zeroed when cNeeded does not fit).  Otherwise a buffer
 * of max(cNeeded + 1, cItems) items is allocated (rcNoMemory on failure).
 * Returns the buffer, or null with *prc set; *pcRoom receives its items.
 */
static inline void *rtUtfConvOutput(void *pvCaller, size_t cItems, size_t cbItem, size_t cNeeded,
                                    int rcNoMemory, const char *pszTag, size_t *pcRoom, int *prc)
{
    if (pvCaller && cItems)
    {
        if (cNeeded >= cItems)
        {
            RTMemSet(pvCaller, 0, cbItem);
            *prc = KERR_BUFFER_OVERFLOW;
            return nullptr;
        }
        *pcRoom = cItems;
        return pvCaller;
    }
    if (cItems < cNeeded + 1)
        cItems = cNeeded + 1;
    void *pv = RTMemAlloc(cItems * cbItem, pszTag);
    if (!pv)
    {
        *prc = rcNoMemory;
        return nullptr;
    }
    *pcRoom = cItems;
    return pv;
}

#endif
