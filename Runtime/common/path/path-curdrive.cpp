/*
 * The root of the current directory, for paths that start with a single
 * separator and so live on "the current drive".  Text only: the per-OS code
 * supplies the current directory.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

size_t rtPathCutToDrive(char *pszCwd)
{
    RTPATHROOT const Root = rtPathRoot(pszCwd);
    size_t cch = 0;
    if (Root.enmKind == RTPATHROOTKIND_DRIVE || Root.enmKind == RTPATHROOTKIND_DRIVE_SLASH)
        cch = 2;
    else if (Root.enmKind == RTPATHROOTKIND_UNC && Root.offServerEnd > 2
             && Root.offShareEnd > Root.offShare)
        cch = Root.offShareEnd;
    if (cch)
        pszCwd[cch] = '\0';
    return cch;
}

int RTPathGetCurrentDrive(char *pszPath, size_t cb)
{
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    int rc = RTPathGetCurrent(pszPath, cb);
    if (RT_SUCCESS(rc))
    {
        if (rtPathCutToDrive(pszPath))
            return KINF_SUCCESS;
        *pszPath = '\0';
        return KERR_INTERNAL_ERROR_4;
    }
    if (rc != KERR_BUFFER_OVERFLOW)
        return rc;

    /* The directory is long, but its root may still fit the caller's buffer. */
    size_t const cbTmp = RTPATH_CWD_HEAP_MIN;
    char *pszTmp = (char *)RTMemAlloc(cbTmp, "path-curdrive");
    if (!pszTmp)
        return KERR_NO_TMP_MEMORY;
    rc = RTPathGetCurrent(pszTmp, cbTmp);
    if (RT_SUCCESS(rc))
    {
        size_t const cch = rtPathCutToDrive(pszTmp);
        if (!cch)
            rc = KERR_INTERNAL_ERROR_4;
        else if (cch >= cb)
            rc = KERR_BUFFER_OVERFLOW;
        else
            RTMemCopy(pszPath, pszTmp, cch + 1);
    }
    RTMemFree(pszTmp);
    return rc;
}
