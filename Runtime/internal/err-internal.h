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

/* One row of a conversion table: native codes uFirst to uLast (inclusive) give rc. */
typedef struct RTERRRANGEMAP
{
    uint32_t uFirst;
    uint32_t uLast;
    int rc;
} RTERRRANGEMAP;

/*
 * Finds uNative in a table whose rows are sorted ascending and do not
 * overlap.  Returns true and sets *prc when a row holds it; false otherwise.
 */
bool rtErrRangeMapLookup(const RTERRRANGEMAP *paMap, size_t cMap, uint32_t uNative, int *prc);

#endif
