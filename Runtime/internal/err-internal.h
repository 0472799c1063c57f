/*
 * The generated status table (see tools/gen-status-table.py), and the
 * range tables that map Windows errors and NT statuses to status codes.
 */
#ifndef ZELK_INTERNAL_ERR_H
#define ZELK_INTERNAL_ERR_H

#include <zelk/err.h>

extern const RTSTATUSENTRY g_aRTErrEntries[];
extern const size_t g_cRTErrEntries;
/* The messages' string table; the names' is g_RTErrStrTab (<zelk/err.h>). */
extern const RTERRSTRTAB g_RTErrMsgStrTab;

/* A line through the release logger (rtErrSetReleaseLogger); nothing when none is installed. */
void rtErrLogRel(const char *pszFormat, ...);

/*
 * One row of a conversion table: native codes uFirst to uLast (inclusive)
 * give rc.  Written { uFirst, uLast, rc }, kept in 8 bytes: ranges are short
 * and status codes fit 16 bits (see KERR_STATUS_RANGE_LOWEST).
 */
struct RTERRRANGEMAP
{
    uint32_t uFirst;
    uint16_t cMore; /* codes after uFirst in the range */
    int16_t rc;

    constexpr RTERRRANGEMAP(uint32_t a_uFirst, uint32_t a_uLast, int a_rc)
        : uFirst(a_uFirst), cMore((uint16_t)(a_uLast - a_uFirst)), rc((int16_t)a_rc)
    {
    }
    constexpr uint32_t uLast() const { return uFirst + cMore; }
    constexpr uint32_t first() const { return uFirst; }
    constexpr uint32_t more() const { return cMore; }
};

/*
 * A row of one native code below 0x10000: 4 bytes, half a range row, for
 * the Windows error codes, nearly all of which are that small and stand
 * alone.
 */
struct RTERRCODEMAP
{
    uint16_t uCode;
    int16_t rc;

    constexpr RTERRCODEMAP(uint32_t a_uCode, int a_rc) : uCode((uint16_t)a_uCode), rc((int16_t)a_rc)
    {
    }
    constexpr uint32_t first() const { return uCode; }
    constexpr uint32_t more() const { return 0; }
};

/*
 * Finds uNative in a table of either row kind whose rows are sorted
 * ascending and do not overlap.  Returns true and sets *prc when a row holds
 * it; false otherwise.
 */
template <typename TRow>
bool rtErrRangeMapLookup(const TRow *paMap, size_t cMap, uint32_t uNative, int *prc)
{
    size_t iLo = 0;
    size_t iHi = cMap;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        if (uNative < paMap[i].first())
            iHi = i;
        else if (uNative - paMap[i].first() > paMap[i].more())
            iLo = i + 1;
        else
        {
            *prc = paMap[i].rc;
            return true;
        }
    }
    return false;
}

#endif
