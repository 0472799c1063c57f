/*
 * The search shared by the conversions from Windows errors and NT statuses:
 * both are sorted tables of ranges, so one bisection serves them.
 */
#include "err-internal.h"

bool rtErrRangeMapLookup(const RTERRRANGEMAP *paMap, size_t cMap, uint32_t uNative, int *prc)
{
    size_t iLo = 0;
    size_t iHi = cMap;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        if (uNative < paMap[i].uFirst)
            iHi = i;
        else if (uNative - paMap[i].uFirst > paMap[i].cMore)
            iLo = i + 1;
        else
        {
            *prc = paMap[i].rc;
            return true;
        }
    }
    return false;
}
