/*
 * The body shared by the measured UTF conversions: the count is theirs, the
 * choice of output buffer, the conversion call and the clean-up are here.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "utf-internal.h"

int rtUtfConvert(const void *pvIn, size_t cIn, int rcCount, size_t cNeeded, void **ppvOut,
                 size_t cItems, size_t cbItem, int rcNoMemory, const char *pszTag,
                 FNRTUTFRECODE *pfnRecode)
{
    void *const pvCaller = cItems ? *ppvOut : nullptr;
    if (RT_FAILURE(rcCount) || (pvCaller && cNeeded >= cItems))
    {
        if (pvCaller)
            RTMemSet(pvCaller, 0, cbItem);
        else
            *ppvOut = nullptr;
        return RT_FAILURE(rcCount) ? rcCount : KERR_BUFFER_OVERFLOW;
    }

    void *pvOut = pvCaller;
    if (!pvOut)
    {
        if (cItems < cNeeded + 1)
            cItems = cNeeded + 1;
        pvOut = RTMemAlloc(cItems * cbItem, pszTag);
        if (!pvOut)
        {
            *ppvOut = nullptr;
            return rcNoMemory;
        }
    }
    int const rc = pfnRecode(pvIn, cIn, pvOut, cItems - 1);
    if (RT_FAILURE(rc))
    {
        if (pvOut != pvCaller)
        {
            RTMemFree(pvOut);
            *ppvOut = nullptr;
        }
        return rc;
    }
    *ppvOut = pvOut;
    return KINF_SUCCESS;
}
