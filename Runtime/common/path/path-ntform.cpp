/*
 * Text rules of the Windows path forms: which paths the classic Win32 calls
 * take as they are, and how a Win32 path becomes a native NT path.  Only the
 * current directory (through RTPathAbsEx) and the system version come from
 * outside, so the rules run and are tested in every build.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "path-internal.h"

namespace {

/* The escape that passes a native NT path through; its last separator starts that path. */
const char g_szZelkNt[] = "\\\\:zelknt:\\";

/* Whether psz starts with pszForm, each '\' of which stands for either separator. */
bool rtPathStartsWithForm(const char *psz, const char *pszForm)
{
    for (; *pszForm; psz++, pszForm++)
        if (*pszForm == '\\' ? !rtPathIsSep(*psz) : *psz != *pszForm)
            return false;
    return true;
}

/* The kind of the "\\?\" or "\\.\" prefix that starts psz: '?', '.' or 0. */
char rtPathSpecialPrefixKind(const char *psz)
{
    if (rtPathStartsWithForm(psz, "\\\\?\\"))
        return '?';
    if (rtPathStartsWithForm(psz, "\\\\.\\"))
        return '.';
    return '\0';
}

/*
 * RTPathAbsEx into a buffer that grows: pszStack first, then up to 8 heap
 * tries, as the current directory may grow between them.  *ppszFree is for
 * the caller to free, whatever the outcome.
 */
int rtPathNtAbs(const char *pszPath, char *pszStack, size_t cbStack, char **ppszAbs,
                char **ppszFree)
{
    *ppszFree = nullptr;
    char *pszBuf = pszStack;
    size_t cbBuf = cbStack;
    size_t cb = cbStack;
    for (unsigned iTry = 0;; iTry++)
    {
        int const rc = RTPathAbsEx(nullptr, pszPath, RTPATH_STR_F_STYLE_DOS, pszBuf, &cb);
        if (rc != KERR_BUFFER_OVERFLOW)
        {
            *ppszAbs = pszBuf;
            return rc;
        }
        if (iTry == 8)
            return KERR_FILENAME_TOO_LONG;
        cbBuf = cb > cbBuf + 256 ? cb : cbBuf + 256;
        if (iTry == 7 && cbBuf < (size_t)128 * 1024)
            cbBuf = (size_t)128 * 1024;
        RTMemFree(*ppszFree);
        *ppszFree = pszBuf = (char *)RTMemAlloc(cbBuf, "path-nt-abs");
        if (!pszBuf)
            return KERR_NO_TMP_MEMORY;
        cb = cbBuf;
    }
}

/* The three strings joined into a new one (RTMemFree). */
int rtPathConcat3(char **ppsz, const char *psz1, const char *psz2, const char *psz3)
{
    const char *const apszParts[] = { psz1, psz2, psz3 };
    size_t cch = 0;
    for (const char *pszPart : apszParts)
        cch += RTStrLen(pszPart);
    char *psz = (char *)RTMemAlloc(cch + 1, "path-nt");
    if (!psz)
        return KERR_NO_STR_MEMORY;
    *ppsz = psz;
    for (const char *pszPart : apszParts)
        while (*pszPart)
            *psz++ = *pszPart++;
    *psz = '\0';
    return KINF_SUCCESS;
}

} // namespace

bool rtPathIsZelkNtForm(const char *pszPath)
{
    return rtPathStartsWithForm(pszPath, g_szZelkNt);
}

int rtPathNtFormUtf8(const char *pszPath, bool fOldPrefix, char **ppszNt, bool *pfZelkNt)
{
    *ppszNt = nullptr;
    if (pfZelkNt)
        *pfZelkNt = false;
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if (!*pszPath)
        return KERR_PATH_ZERO_LENGTH;
    const char *pszPrefix = fOldPrefix ? "\\DosDevices\\" : "\\??\\";

    if (rtPathIsZelkNtForm(pszPath))
    {
        if (pfZelkNt)
            *pfZelkNt = true;
        return rtPathConcat3(ppszNt, "", "", &pszPath[sizeof(g_szZelkNt) - 2]);
    }
    if (rtPathSpecialPrefixKind(pszPath) == '?')
        return rtPathConcat3(ppszNt, pszPrefix, "", &pszPath[4]);

    char szStack[RTPATH_MAX];
    char *pszAbs = nullptr;
    char *pszFree = nullptr;
    int rc = rtPathNtAbs(pszPath, szStack, sizeof(szStack), &pszAbs, &pszFree);
    if (RT_SUCCESS(rc))
    {
        /* Judged on the absolute form: a relative path in a UNC current directory is UNC too. */
        const char *pszMid = "";
        const char *pszRest = pszAbs;
        if (rtPathSpecialPrefixKind(pszAbs))
            pszRest += 4;
        else if (rtPathIsSep(pszAbs[0]) && rtPathIsSep(pszAbs[1]))
        {
            pszMid = "UNC\\";
            pszRest += 2;
        }
        rc = rtPathConcat3(ppszNt, pszPrefix, pszMid, pszRest);
    }
    RTMemFree(pszFree);
    return rc;
}

RTPATHWIN32SHAPE rtPathWin32Shape(PCRTUTF16 pwsz)
{
    RTPATHROOT const Root = rtPathRoot16(pwsz);
    switch (Root.enmKind)
    {
        case RTPATHROOTKIND_DRIVE_SLASH: return RTPATHWIN32SHAPE_DRIVE_ROOTED;
        case RTPATHROOTKIND_DRIVE: return RTPATHWIN32SHAPE_DRIVE_RELATIVE;
        case RTPATHROOTKIND_NONE: return RTPATHWIN32SHAPE_RELATIVE;
        case RTPATHROOTKIND_SLASH: return RTPATHWIN32SHAPE_ROOT_SLASH;
        case RTPATHROOTKIND_UNC: break;
    }
    if (Root.offServerEnd == 2) /* "\\" followed by a separator or the end */
        return RTPATHWIN32SHAPE_ROOT_SLASH;
    if (pwsz[2] == '?' && !(Root.offServerEnd == 3 && Root.offShare == 4))
        return RTPATHWIN32SHAPE_QMARK_NO_SEP;
    return RTPATHWIN32SHAPE_UNC;
}

bool rtPathWin32FitsClassic(RTPATHWIN32SHAPE enmShape, size_t cwcPath, size_t cwcCwd)
{
    if (cwcPath > RTPATH_WIN32_CLASSIC_MAX)
        return false;
    switch (enmShape)
    {
        case RTPATHWIN32SHAPE_DRIVE_ROOTED:
        case RTPATHWIN32SHAPE_DRIVE_RELATIVE:
        case RTPATHWIN32SHAPE_QMARK_NO_SEP: return true;
        case RTPATHWIN32SHAPE_RELATIVE: return cwcPath + cwcCwd <= 242;
        case RTPATHWIN32SHAPE_ROOT_SLASH: return cwcPath <= 241;
        case RTPATHWIN32SHAPE_UNC: return cwcPath <= 240;
    }
    return false;
}
