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

/*
 * Writes what fits and counts everything, leaving room for the terminator.
 * Separators are written as chSep, the style's.
 */
struct RTPATHOUT
{
    char *psz;
    size_t cb;
    size_t cch;
    char chSep;
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
void rtPathOutRoot(RTPATHOUT *pOut, const char *pch, size_t cch, bool fUpperDrive)
{
    for (size_t i = 0; i < cch; i++)
    {
        char ch = pch[i];
        if (rtPathIsSep(ch))
            ch = pOut->chSep;
        else if (i == 0 && fUpperDrive)
            ch = rtPathUpperDrive(ch);
        rtPathOutChar(pOut, ch);
    }
}

/*
 * Resolves "." and ".." among components [iFirst, cComps) in place, where
 * iFirst is past the root and anything else that must stay (a UNC share).
 * A ".." with nothing of its own left to remove takes the last component of
 * pOuter instead, down to cOuterMin of them; without pOuter it is dropped.
 * Returns where resolving started, iFirst or the count if that is smaller:
 * the number of components that no ".." of a later path may take.
 */
size_t rtPathResolveDots(const char *psz, RTPARSEDPATH *pParsed, size_t iFirst,
                         RTPARSEDPATH *pOuter, size_t cOuterMin)
{
    RTPATHCOMP *const paComps = RTPathParsedComps(pParsed);
    size_t const cComps = pParsed->cComps;
    if (iFirst > cComps)
        iFirst = cComps;
    size_t iWrite = iFirst;
    for (size_t iRead = iFirst; iRead < cComps; iRead++)
    {
        RTPATHCOMP const Comp = paComps[iRead];
        const char *pch = &psz[Comp.off];
        if (Comp.cch == 1 && pch[0] == '.')
            continue;
        if (Comp.cch == 2 && pch[0] == '.' && pch[1] == '.')
        {
            if (iWrite > iFirst)
                iWrite--;
            else if (pOuter && pOuter->cComps > cOuterMin)
                pOuter->cComps--;
        }
        else
            paComps[iWrite++] = Comp;
    }
    pParsed->cComps = (uint16_t)iWrite;
    return iFirst;
}

/*
 * Writes the resolved result: the root of pRoot (pszRoot its text), the
 * components of pRoot after its root unless it is the path itself, the
 * path's from iFirst, and a trailing separator when a component was written
 * and the path ended in one, or the base did and nothing of the path is
 * left, or the caller asks for one.
 */
void rtPathAbsOutResult(RTPATHOUT *pOut, const char *pszRoot, const RTPARSEDPATH *pRoot,
                        bool fUpperDrive, const char *pszPath, const RTPARSEDPATH *pParsed,
                        size_t iFirst, uint32_t fFlags)
{
    rtPathOutRoot(pOut, pszRoot, RTPathParsedComps(pRoot)[0].cch, fUpperDrive);
    /* The base's components after its root, if the root is a base's, then the path's. */
    const char *psz = pszRoot;
    const RTPARSEDPATH *pComps = pRoot;
    size_t i = pRoot != pParsed ? 1 : iFirst;
    bool fNeedSep = false;
    for (;;)
    {
        for (; i < pComps->cComps; i++)
        {
            if (fNeedSep)
                rtPathOutChar(pOut, pOut->chSep);
            rtPathOutAdd(pOut, &psz[RTPathParsedComps(pComps)[i].off],
                         RTPathParsedComps(pComps)[i].cch);
            fNeedSep = true;
        }
        if (pComps == pParsed)
            break;
        psz = pszPath;
        pComps = pParsed;
        i = iFirst;
    }
    if (fNeedSep
        && ((pParsed->fProps & RTPATH_PROP_DIR_SLASH)
            || (pParsed->cComps <= iFirst && (pRoot->fProps & RTPATH_PROP_DIR_SLASH))
            || (fFlags & RTPATHABS_F_ENSURE_TRAILING_SLASH)))
        rtPathOutChar(pOut, pOut->chSep);
}

/* The current directory fetched for an absolute path: on the stack while it fits 1 KiB. */
struct RTPATHCWD
{
    char *psz;
    char *pszFree;
    char szStack[1024];
};

/*
 * Fetches the current directory (of chDrive, or the process's when 0) into
 * a buffer of cbFirst bytes, and once more into one of four times that, at
 * least 64 KiB, when it is longer; KERR_BUFFER_OVERFLOW when that is not
 * enough either.  pCwd->pszFree is for the caller to free, whatever the
 * outcome.
 */
int rtPathAbsGetCwd(char chDrive, size_t cbFirst, RTPATHCWD *pCwd)
{
    pCwd->pszFree = nullptr;
    size_t cbBuf = cbFirst ? cbFirst : 1;
    for (;;)
    {
        pCwd->psz = pCwd->szStack;
        if (cbBuf > sizeof(pCwd->szStack))
        {
            pCwd->psz = pCwd->pszFree = (char *)RTMemAlloc(cbBuf, "path-abs-cwd");
            if (!pCwd->psz)
                return KERR_NO_TMP_MEMORY;
        }
        /* The retry's size is never the first's, so it tells the tries apart. */
        int const rc = rtPathGetCurrentOf(chDrive, pCwd->psz, cbBuf);
        size_t const cbRetry = cbFirst < RTPATH_CWD_HEAP_MIN / 4 ? RTPATH_CWD_HEAP_MIN
                                                                 : cbFirst * 4;
        if (rc != KERR_BUFFER_OVERFLOW || cbBuf == cbRetry)
            return rc;
        RTMemFree(pCwd->pszFree);
        pCwd->pszFree = nullptr;
        cbBuf = cbRetry;
    }
}

/*
 * The volume that a path with a single leading separator lives on: the
 * drive or UNC share of the base, or the current drive (only the '\'
 * style has volumes).
 */
int rtPathAbsOutCurrentVolume(RTPATHOUT *pOut, const char *pszBase)
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
            rtPathOutRoot(pOut, pszBase, cchRoot, false);
            if (pParsed->cComps > 1)
            {
                rtPathOutChar(pOut, pOut->chSep);
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

    /*
     * The root of the current directory, as RTPathGetCurrentDrive has it,
     * from one query.  A directory too long even for the retry is too long
     * for any buffer: the caller's overflow would promise a size that no
     * buffer of that size could hold.
     */
    RTPATHCWD Cwd;
    int rc = rtPathAbsGetCwd('\0', sizeof(Cwd.szStack), &Cwd);
    if (rc == KERR_BUFFER_OVERFLOW)
        rc = KERR_FILENAME_TOO_LONG;
    if (RT_SUCCESS(rc))
    {
        size_t const cchRoot = rtPathCutToDrive(Cwd.psz);
        if (cchRoot)
            rtPathOutRoot(pOut, Cwd.psz, cchRoot, false);
        else
            rc = KERR_INTERNAL_ERROR_4;
    }
    RTMemFree(Cwd.pszFree);
    return rc;
}

/* A path that has a root followed by a separator: resolved within itself. */
int rtPathAbsRooted(const char *pszBase, const char *pszPath, RTPARSEDPATH *pParsed,
                    uint32_t fFlags, RTPATHOUT *pOut)
{
    uint32_t const fStyle = fFlags & RTPATH_STR_F_STYLE_MASK;
    uint16_t const fProps = pParsed->fProps;

    /* A UNC share stays, but not what follows "\\?\" or "\\.\". */
    bool const fShare = (fProps & (RTPATH_PROP_UNC | RTPATH_PROP_SPECIAL_UNC)) == RTPATH_PROP_UNC;
    rtPathResolveDots(pszPath, pParsed, fShare ? 2 : 1, nullptr, 0);

    if (fStyle != RTPATH_STR_F_STYLE_UNIX && !(fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)))
    {
        int rc = rtPathAbsOutCurrentVolume(pOut, pszBase);
        if (RT_FAILURE(rc))
            return rc;
    }
    /* A clean absolute path is normalised with an upper-case drive; one that needed ".." resolved keeps it. */
    rtPathAbsOutResult(pOut, pszPath, pParsed,
                       (fProps & (RTPATH_PROP_ABSOLUTE | RTPATH_PROP_VOLUME))
                           == (RTPATH_PROP_ABSOLUTE | RTPATH_PROP_VOLUME),
                       pszPath, pParsed, 1, fFlags);
    return KINF_SUCCESS;
}

/* A relative path (or a drive-relative one) joined to a base. */
int rtPathAbsJoinBase(const char *pszBase, const char *pszPath, RTPARSEDPATH *pParsed,
                      uint32_t fFlags, bool fStop, RTPATHOUT *pOut)
{
    RTPATHPARSEHOLD Base;
    int rc = rtPathParseHeld(pszBase, &Base, fFlags & RTPATH_STR_F_STYLE_MASK);
    if (RT_SUCCESS(rc) && !(Base.pParsed->fProps & RTPATH_PROP_ROOT_SLASH))
        rc = KERR_PATH_IS_RELATIVE;
    if (RT_SUCCESS(rc))
    {
        RTPARSEDPATH *pBase = Base.pParsed;
        /* The base keeps its root, and a UNC base (or "\\?\" one) its share or volume too. */
        size_t const cBaseMin = rtPathResolveDots(
            pszBase, pBase, (pBase->fProps & RTPATH_PROP_UNC) ? 2 : 1, nullptr, 0);
        size_t const iFirst = (pParsed->fProps & (RTPATH_PROP_VOLUME | RTPATH_PROP_UNC)) ? 1 : 0;
        rtPathResolveDots(pszPath, pParsed, iFirst, fStop ? nullptr : pBase, cBaseMin);
        rtPathAbsOutResult(pOut, pszBase, pBase, (pBase->fProps & RTPATH_PROP_VOLUME) != 0, pszPath,
                           pParsed, iFirst, fFlags);
    }
    rtPathParseRelease(&Base);
    return rc;
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

    RTPATHOUT Out = { pszAbsPath, *pcbAbsPath, 0, fStyle == RTPATH_STR_F_STYLE_UNIX ? '/' : '\\' };
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
            /* A directory that even the retry could not hold is too long for any buffer. */
            RTPATHCWD Cwd;
            rc = rtPathAbsGetCwd(chDrive, *pcbAbsPath, &Cwd);
            if (rc == KERR_BUFFER_OVERFLOW)
                rc = KERR_FILENAME_TOO_LONG;
            if (RT_SUCCESS(rc))
                rc = rtPathAbsJoinBase(Cwd.psz, pszPath, pParsed, fFlags,
                                       (fFlags & RTPATHABS_F_STOP_AT_CWD) != 0, &Out);
            RTMemFree(Cwd.pszFree);
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
