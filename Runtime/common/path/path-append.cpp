/*
 * Composing paths: appending a component, joining two parts, and the small
 * look-ups on the final component (file name, suffix) and trailing
 * separator.  Appending decides everything before it writes, so that a
 * result that does not fit leaves the caller's buffer as it was.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "path-internal.h"

int RTPathAppendEx(char *pszPath, size_t cbPathDst, const char *pszAppend, size_t cchAppendMax,
                   uint32_t fFlags)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STR_F_STYLE_MASK)
        || (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_RESERVED)
        return KERR_INVALID_FLAGS;
    uint32_t const fStyle = (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX
                                ? RTPATH_STR_F_STYLE_UNIX
                                : RTPATH_STR_F_STYLE_DOS;
    char const chSep = fStyle == RTPATH_STR_F_STYLE_UNIX ? '/' : '\\';

    size_t cchPath = RTStrNLen(pszPath, cbPathDst);
    if (cchPath >= cbPathDst)
        return KERR_INVALID_PARAMETER;
    if (!pszAppend)
        return KINF_SUCCESS;
    size_t cchAppend = RTStrNLen(pszAppend, cchAppendMax);
    if (!cchAppend)
        return KINF_SUCCESS;

    /*
     * Trimming never cuts into the root (for UNC, the whole server and
     * share), and a bare drive ("C:") takes no separator.
     */
    RTPATHROOT const Root = rtPathRoot(pszPath, cchPath, fStyle);
    bool fSep = false;
    if (cchPath == 0)
    { /* the component goes in as it is */
    }
    else if (rtPathIsSep(pszPath[cchPath - 1], fStyle))
    {
        while (cchAppend && rtPathIsSep(*pszAppend, fStyle))
            pszAppend++, cchAppend--;
        size_t offRun = cchPath - 1;
        while (offRun > 0 && rtPathIsSep(pszPath[offRun - 1], fStyle))
            offRun--;
        size_t const cchKeep = offRun + 1 > Root.offShareEnd ? offRun + 1 : Root.offShareEnd;
        if (cchKeep < cchPath)
            cchPath = cchKeep;
    }
    else if (rtPathIsSep(*pszAppend, fStyle))
    {
        while (cchAppend > 1 && rtPathIsSep(pszAppend[1], fStyle))
            pszAppend++, cchAppend--;
    }
    else
        fSep = !(cchPath == 2 && Root.enmKind == RTPATHROOTKIND_DRIVE);

    size_t const cchTotal = cchPath + (fSep ? 1 : 0) + cchAppend;
    if (cchTotal >= cbPathDst)
        return KERR_BUFFER_OVERFLOW;
    if (fSep)
        pszPath[cchPath++] = chSep;
    RTMemMove(&pszPath[cchPath], pszAppend, cchAppend);
    pszPath[cchTotal] = '\0';
    return KINF_SUCCESS;
}

int RTPathAppend(char *pszPath, size_t cbPathDst, const char *pszAppend)
{
    return RTPathAppendEx(pszPath, cbPathDst, pszAppend, RTSTR_MAX, RTPATH_STR_F_STYLE_HOST);
}

int RTPathJoin(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend)
{
    if (!pszPathDst || !pszPathSrc)
        return KERR_INVALID_POINTER;
    size_t const cchSrc = RTStrLen(pszPathSrc);
    if (cchSrc >= cbPathDst)
        return KERR_BUFFER_OVERFLOW;
    RTMemMove(pszPathDst, pszPathSrc, cchSrc + 1);
    return RTPathAppend(pszPathDst, cbPathDst, pszAppend);
}

char *RTPathJoinA(const char *pszPathSrc, const char *pszAppend)
{
    if (!pszPathSrc)
        return nullptr;
    size_t const cchSrc = RTStrLen(pszPathSrc);
    /* The join adds no more than one separator to the two parts, so it always fits. */
    size_t const cbBuf = cchSrc + (pszAppend ? RTStrLen(pszAppend) : 0) + 4;
    char *pszBuf = (char *)RTMemAlloc(cbBuf, "path-join");
    if (!pszBuf)
        return nullptr;
    RTMemCopy(pszBuf, pszPathSrc, cchSrc + 1);
    if (RT_FAILURE(RTPathAppend(pszBuf, cbBuf, pszAppend)))
    {
        RTMemFree(pszBuf);
        return nullptr;
    }
    return pszBuf;
}

char *RTPathFilename(const char *pszPath)
{
    if (!pszPath || !*pszPath)
        return nullptr;
    const char *pszName = &pszPath[rtPathNameOffset(pszPath, RTStrLen(pszPath))];
    return *pszName ? (char *)pszName : nullptr;
}

char *RTPathSuffix(const char *pszPath)
{
    if (!pszPath)
        return nullptr;
    size_t const cch = RTStrLen(pszPath);
    const char *pszName = &pszPath[rtPathNameOffset(pszPath, cch)];
    const char *pszDot = &pszPath[cch];
    while (pszDot > pszName && *pszDot != '.')
        pszDot--;
    /* A dot that opens the name marks a hidden file wherever the name stands, not a suffix. */
    if (pszDot == pszName || !pszDot[1])
        return nullptr;
    return (char *)pszDot;
}

char *RTPathChangeToDosSlashes(char *pszPath, bool fForce)
{
    (void)fForce;
    for (char *psz = pszPath; *psz; psz++)
        if (*psz == '/')
            *psz = '\\';
    return pszPath;
}

size_t RTPathEnsureTrailingSeparator(char *pszPath, size_t cbPath)
{
    if (!pszPath)
        return 0;
    size_t const cch = RTStrNLen(pszPath, cbPath);
    if (cch >= cbPath)
        return 0;
    if (cch == 0)
    {
        if (cbPath < 3)
            return 0;
        pszPath[0] = '.';
        pszPath[1] = '\\';
        pszPath[2] = '\0';
        return 2;
    }
    if (rtPathIsSepOrColon(pszPath[cch - 1]))
        return cch;
    if (cch + 2 > cbPath)
        return 0;
    pszPath[cch] = '\\';
    pszPath[cch + 1] = '\0';
    return cch + 1;
}
