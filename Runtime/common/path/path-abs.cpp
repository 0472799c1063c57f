/*
 * Absolute paths.  A path is split (path-parse.cpp), its "." and ".."
 * components are resolved in place in the split record, and the result is
 * written through a sizing writer that keeps counting past the end of the
 * caller's buffer, so that an overflow reports the exact size needed.  The
 * base is either the caller's or the current directory; which one, and
 * whether ".." may climb out of it, follows the path's root form.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "path-internal.h"

namespace {

const uint32_t g_fAbsValidFlags = RTPATH_STR_F_STYLE_MASK | RTPATHABS_F_STOP_AT_BASE
                                  | RTPATHABS_F_STOP_AT_CWD | RTPATHABS_F_ENSURE_TRAILING_SLASH;

/* Writes what fits and counts everything, leaving room for the terminator. */
struct RTPATHOUT
{
    char *psz;
    size_t cb;
    size_t cch;
};

void rtPathOutAdd(RTPATHOUT *pOut, const char *pch, size_t cch)
{
    if (pOut->cch < pOut->cb)
    {
        size_t const cbRoom = pOut->cb - 1 - pOut->cch;
        RTMemCopy(&pOut->psz[pOut->cch], pch, cch < cbRoom ? cch : cbRoom);
    }
    pOut->cch += cch;
}

void rtPathOutChar(RTPATHOUT *pOut, char ch)
{
    rtPathOutAdd(pOut, &ch, 1);
}

int rtPathOutFinish(RTPATHOUT *pOut, size_t *pcbAbsPath)
{
    if (pOut->cch >= pOut->cb)
    {
        if (pOut->cb)
            pOut->psz[0] = '\0';
        *pcbAbsPath = pOut->cch + 1;
        return KERR_BUFFER_OVERFLOW;
    }
    pOut->psz[pOut->cch] = '\0';
    *pcbAbsPath = pOut->cch;
    return KINF_SUCCESS;
}

/* A root with its separators in the style's form, the drive letter upper-cased when asked. */
void rtPathOutRoot(RTPATHOUT *pOut, const char *pch, size_t cch, char chSep, bool fUpperDrive)
{
    for (size_t i = 0; i < cch; i++)
    {
        char ch = pch[i];
        if (rtPathIsSep(ch))
            ch = chSep;
        else if (i == 0 && fUpperDrive)
            ch = rtPathUpperDrive(ch);
        rtPathOutChar(pOut, ch);
    }
}

bool rtPathCompIs(const char *psz, RTPATHCOMP Comp, const char *pszWhat, size_t cchWhat)
{
    return Comp.cch == cchWhat && RTMemCmp(&psz[Comp.off], pszWhat, cchWhat) == 0;
}

/*
 * Resolves "." and ".." among components [iFirst, cComps) in place and
 * returns the new count.  The first cProtected of them stay whatever they
 * are (a UNC share).  A ".." with nothing of its own left to remove takes
 * the last component of pOuter instead, down to cOuterMin of them, unless
 * fStop; otherwise it is dropped.
 */
size_t rtPathResolveDots(const char *psz, RTPARSEDPATH *pParsed, size_t iFirst, size_t cProtected,
                         RTPARSEDPATH *pOuter, size_t cOuterMin, bool fStop)
{
    size_t iWrite = iFirst;
    for (size_t iRead = iFirst; iRead < pParsed->cComps; iRead++)
    {
        RTPATHCOMP const Comp = RTPathParsedComps(pParsed)[iRead];
        if (iRead < iFirst + cProtected)
            RTPathParsedComps(pParsed)[iWrite++] = Comp;
        else if (rtPathCompIs(psz, Comp, ".", 1))
            continue;
        else if (rtPathCompIs(psz, Comp, "..", 2))
        {
            if (iWrite > iFirst + cProtected)
                iWrite--;
            else if (pOuter && !fStop && pOuter->cComps > cOuterMin)
                pOuter->cComps--;
        }
        else
            RTPathParsedComps(pParsed)[iWrite++] = Comp;
    }
    return iWrite;
}

/* Components [iFirst, cComps), each preceded by a separator when *pfNeedSep. */
void rtPathOutComps(RTPATHOUT *pOut, const char *psz, const RTPARSEDPATH *pParsed, size_t iFirst,
                    char chSep, bool *pfNeedSep)
{
    for (size_t i = iFirst; i < pParsed->cComps; i++)
    {
        if (*pfNeedSep)
            rtPathOutChar(pOut, chSep);
        rtPathOutAdd(pOut, &psz[RTPathParsedComps(pParsed)[i].off],
                     RTPathParsedComps(pParsed)[i].cch);
        *pfNeedSep = true;
    }
}

/*
 * Fetches the current directory (of chDrive, or the process's when 0) into
 * a buffer of the caller's size, and once more into one of four times that,
 * at least 64 KiB, when it is longer.  *ppszFree receives a heap buffer to
 * free, if one was used.
 */
int rtPathAbsGetCwd(char chDrive, size_t cbCaller, char *pszStack, size_t cbStack, char **ppszCwd,
                    char **ppszFree)
{
    *ppszFree = nullptr;
    size_t cbBuf = cbCaller ? cbCaller : 1;
    for (bool fRetry = false;; fRetry = true)
    {
        char *pszBuf = pszStack;
        if (cbBuf > cbStack)
        {
            pszBuf = (char *)RTMemAlloc(cbBuf, "path-abs-cwd");
            if (!pszBuf)
                return KERR_NO_TMP_MEMORY;
            *ppszFree = pszBuf;
        }
        int const rc = rtPathGetCurrentOf(chDrive, pszBuf, cbBuf);
        if (rc != KERR_BUFFER_OVERFLOW)
        {
            *ppszCwd = pszBuf;
            return rc;
        }
        if (fRetry)
            return KERR_FILENAME_TOO_LONG;
        RTMemFree(*ppszFree);
        *ppszFree = nullptr;
        cbBuf = cbCaller < RTPATH_CWD_HEAP_MIN / 4 ? RTPATH_CWD_HEAP_MIN : cbCaller * 4;
    }
}

/*
 * The volume that a path with a single leading separator lives on: the
 * drive or UNC share of the base, or the current drive.
 */
int rtPathAbsOutCurrentVolume(RTPATHOUT *pOut, const char *pszBase, char chSep)
{
    if (pszBase && *pszBase)
    {
        RTPATHPARSEHOLD Base;
        int rc = rtPathParseHeld(pszBase, &Base, RTPATH_STR_F_STYLE_DOS);
        if (RT_FAILURE(rc))
        {
            rtPathParseRelease(&Base);
            return rc;
        }
        RTPARSEDPATH const *pParsed = Base.pParsed;
        bool fDone = true;
        if (pParsed->fProps & RTPATH_PROP_VOLUME)
        {
            rtPathOutChar(pOut, rtPathUpperDrive(pszBase[0]));
            rtPathOutChar(pOut, ':');
        }
        else if (pParsed->fProps & RTPATH_PROP_UNC)
        {
            size_t cchRoot = RTPathParsedComps(pParsed)[0].cch;
            if (pParsed->fProps & RTPATH_PROP_ROOT_SLASH)
                cchRoot--;
            rtPathOutRoot(pOut, pszBase, cchRoot, chSep, false);
            if (pParsed->cComps > 1)
            {
                rtPathOutChar(pOut, chSep);
                rtPathOutAdd(pOut, &pszBase[RTPathParsedComps(pParsed)[1].off],
                             RTPathParsedComps(pParsed)[1].cch);
            }
        }
        else
            fDone = false;
        rtPathParseRelease(&Base);
        if (fDone)
            return KINF_SUCCESS;
    }

    char szDrive[1024];
    int rc = RTPathGetCurrentDrive(szDrive, sizeof(szDrive));
    if (rc == KERR_BUFFER_OVERFLOW)
    {
        char *pszDrive = (char *)RTMemAlloc(RTPATH_CWD_HEAP_MIN, "path-abs-drive");
        if (!pszDrive)
            return KERR_NO_TMP_MEMORY;
        rc = RTPathGetCurrentDrive(pszDrive, RTPATH_CWD_HEAP_MIN);
        if (RT_SUCCESS(rc))
            rtPathOutRoot(pOut, pszDrive, RTStrLen(pszDrive), chSep, false);
        RTMemFree(pszDrive);
        return rc;
    }
    if (RT_SUCCESS(rc))
        rtPathOutRoot(pOut, szDrive, RTStrLen(szDrive), chSep, false);
    return rc;
}

/* A path that has a root followed by a separator: resolved within itself. */
int rtPathAbsRooted(const char *pszBase, const char *pszPath, RTPARSEDPATH *pParsed,
                    uint32_t fFlags, RTPATHOUT *pOut)
{
    uint32_t const fStyle = fFlags & RTPATH_STR_F_STYLE_MASK;
    char const chSep = fStyle == RTPATH_STR_F_STYLE_UNIX ? '/' : '\\';
    uint16_t const fProps = pParsed->fProps;
    bool const fAbsolute = (fProps & RTPATH_PROP_ABSOLUTE) != 0;

    size_t const cProtected = (fProps & RTPATH_PROP_UNC) && !(fProps & RTPATH_PROP_SPECIAL_UNC) ? 1
                                                                                                : 0;
    pParsed->cComps = (uint16_t)rtPathResolveDots(pszPath, pParsed, 1, cProtected, nullptr, 0,
                                                  true);

    if (fStyle != RTPATH_STR_F_STYLE_UNIX && !(fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)))
    {
        int rc = rtPathAbsOutCurrentVolume(pOut, pszBase, chSep);
        if (RT_FAILURE(rc))
            return rc;
    }
    /* A clean absolute path is normalised with an upper-case drive; one that needed ".." resolved keeps it. */
    rtPathOutRoot(pOut, pszPath, RTPathParsedComps(pParsed)[0].cch, chSep,
                  fAbsolute && (fProps & RTPATH_PROP_VOLUME));

    bool fNeedSep = (fProps & RTPATH_PROP_ROOT_SLASH) == 0;
    rtPathOutComps(pOut, pszPath, pParsed, 1, chSep, &fNeedSep);
    if (pParsed->cComps > 1
        && ((fProps & RTPATH_PROP_DIR_SLASH) || (fFlags & RTPATHABS_F_ENSURE_TRAILING_SLASH)))
        rtPathOutChar(pOut, chSep);
    return KINF_SUCCESS;
}

/* A relative path (or a drive-relative one) joined to a base. */
int rtPathAbsJoinBase(const char *pszBase, const char *pszPath, RTPARSEDPATH *pParsed,
                      uint32_t fFlags, bool fStop, RTPATHOUT *pOut)
{
    uint32_t const fStyle = fFlags & RTPATH_STR_F_STYLE_MASK;
    char const chSep = fStyle == RTPATH_STR_F_STYLE_UNIX ? '/' : '\\';

    RTPATHPARSEHOLD Base;
    int rc = rtPathParseHeld(pszBase, &Base, fStyle);
    if (RT_SUCCESS(rc) && !(Base.pParsed->fProps & RTPATH_PROP_ROOT_SLASH))
        rc = KERR_PATH_IS_RELATIVE;
    if (RT_FAILURE(rc))
    {
        rtPathParseRelease(&Base);
        return rc;
    }
    RTPARSEDPATH *pBase = Base.pParsed;
    uint16_t const fBaseProps = pBase->fProps;

    /* The base keeps its root, and a UNC base (or "\\?\" one) its share or volume too. */
    size_t const cBaseProtected = (fBaseProps & RTPATH_PROP_UNC) ? 1 : 0;
    pBase->cComps = (uint16_t)rtPathResolveDots(pszBase, pBase, 1, cBaseProtected, nullptr, 0,
                                                true);
    size_t const cBaseMin = 1 + cBaseProtected < pBase->cComps ? 1 + cBaseProtected : pBase->cComps;

    size_t const iFirst = (pParsed->fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)) ? 1 : 0;
    pParsed->cComps = (uint16_t)rtPathResolveDots(pszPath, pParsed, iFirst, 0, pBase, cBaseMin,
                                                  fStop);

    rtPathOutRoot(pOut, pszBase, RTPathParsedComps(pBase)[0].cch, chSep,
                  (fBaseProps & RTPATH_PROP_VOLUME) != 0);
    bool fNeedSep = false;
    rtPathOutComps(pOut, pszBase, pBase, 1, chSep, &fNeedSep);
    rtPathOutComps(pOut, pszPath, pParsed, iFirst, chSep, &fNeedSep);

    bool const fPathLeft = pParsed->cComps > iFirst;
    if (fNeedSep
        && ((pParsed->fProps & RTPATH_PROP_DIR_SLASH)
            || (!fPathLeft && (fBaseProps & RTPATH_PROP_DIR_SLASH))
            || (fFlags & RTPATHABS_F_ENSURE_TRAILING_SLASH)))
        rtPathOutChar(pOut, chSep);

    rtPathParseRelease(&Base);
    return KINF_SUCCESS;
}

} // namespace

int RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath,
                size_t *pcbAbsPath)
{
    if (!pszPath || !pcbAbsPath || (!pszAbsPath && *pcbAbsPath))
        return KERR_INVALID_POINTER;
    if (!*pszPath)
        return KERR_PATH_ZERO_LENGTH;
    if (pszBase && !*pszBase)
        pszBase = nullptr;
    if ((fFlags & ~g_fAbsValidFlags)
        || (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_RESERVED)
        return KERR_INVALID_FLAGS;
    if ((fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_HOST)
        fFlags |= RTPATH_STR_F_STYLE_DOS;
    uint32_t const fStyle = fFlags & RTPATH_STR_F_STYLE_MASK;

    RTPATHPARSEHOLD Path;
    int rc = rtPathParseHeld(pszPath, &Path, fStyle);
    if (RT_FAILURE(rc))
    {
        rtPathParseRelease(&Path);
        return rc;
    }
    RTPARSEDPATH *pParsed = Path.pParsed;
    uint16_t const fProps = pParsed->fProps;

    RTPATHOUT Out = { pszAbsPath, *pcbAbsPath, 0 };
    if ((fProps & RTPATH_PROP_ABSOLUTE)
        || ((fProps & RTPATH_PROP_ROOT_SLASH)
            && ((fProps & RTPATH_PROP_DOTDOT_REFS)
                || !(fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)))))
        rc = rtPathAbsRooted(pszBase, pszPath, pParsed, fFlags, &Out);
    else
    {
        char const chDrive = (fProps & RTPATH_PROP_VOLUME) ? pszPath[0] : '\0';
        bool fUseCwd = !pszBase;
        if (!fUseCwd && chDrive && fStyle == RTPATH_STR_F_STYLE_DOS
            && (rtPathUpperDrive(pszBase[0]) != rtPathUpperDrive(chDrive) || pszBase[1] != ':'))
            fUseCwd = true;

        if (!fUseCwd)
            rc = rtPathAbsJoinBase(pszBase, pszPath, pParsed, fFlags,
                                   (fFlags & RTPATHABS_F_STOP_AT_BASE) != 0, &Out);
        else
        {
            char szCwd[1024];
            char *pszCwd = nullptr;
            char *pszFree = nullptr;
            rc = rtPathAbsGetCwd(chDrive, *pcbAbsPath, szCwd, sizeof(szCwd), &pszCwd, &pszFree);
            if (RT_SUCCESS(rc))
                rc = rtPathAbsJoinBase(pszCwd, pszPath, pParsed, fFlags,
                                       (fFlags & RTPATHABS_F_STOP_AT_CWD) != 0, &Out);
            RTMemFree(pszFree);
        }
    }
    rtPathParseRelease(&Path);
    if (RT_FAILURE(rc))
        return rc;
    return rtPathOutFinish(&Out, pcbAbsPath);
}

int RTPathAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath)
{
    size_t cb = cbAbsPath;
    return RTPathAbsEx(nullptr, pszPath, RTPATH_STR_F_STYLE_HOST, pszAbsPath, &cb);
}

char *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags)
{
    size_t cbBuf = 2050;
    for (unsigned iTry = 0; iTry < 16; iTry++)
    {
        char *pszBuf = (char *)RTMemAlloc(cbBuf, "path-abs-dup");
        if (!pszBuf)
            return nullptr;
        size_t cb = cbBuf;
        int rc = RTPathAbsEx(pszBase, pszPath, fFlags, pszBuf, &cb);
        if (RT_SUCCESS(rc))
        {
            if (cb + 1 < cbBuf / 2)
            {
                char *pszShrunk = (char *)RTMemRealloc(pszBuf, cb + 1, "path-abs-dup");
                if (pszShrunk)
                    pszBuf = pszShrunk;
            }
            return pszBuf;
        }
        RTMemFree(pszBuf);
        if (rc != KERR_BUFFER_OVERFLOW)
            return nullptr;
        size_t cbNext = (cb + 79) & ~(size_t)63;
        cbBuf = cbNext < cbBuf + 256 ? cbBuf + 256 : cbNext;
    }
    return nullptr;
}
