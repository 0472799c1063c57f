/*
 * Conversion of UTF-8 to the Windows ANSI code page, for console output.
 * Characters the code page lacks become its default character.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "utf-internal.h"
#include "win.h"

namespace {

/* The conversion failed: never let a missing last error pass as success. */
int rtStrToCurrentCPError(void)
{
    int const rc = RTErrConvertFromWin32(GetLastError());
    return RT_FAILURE(rc) ? rc : KERR_NO_TRANSLATION;
}

} // namespace

int rtStrToCurrentCPN(char **ppszOut, const char *psz, size_t cch, const char *pszTag)
{
    *ppszOut = nullptr;
    /* Under a UTF-8 code page the text needs only checking (empty text not even that). */
    if (!cch || !*psz || GetACP() == CP_UTF8)
    {
        int const rc = RTStrCheckEncoding(psz, cch, 0);
        if (RT_FAILURE(rc))
            return rc;
        return RTStrCloneMaxEx(ppszOut, psz, cch, pszTag);
    }

    PRTUTF16 pwsz = nullptr;
    int rc = RTStrToUtf16Ex(psz, cch, &pwsz, 0, nullptr, pszTag);
    if (RT_FAILURE(rc))
        return rc;
    int const cb = WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)pwsz, -1, nullptr, 0, nullptr, nullptr);
    char *pszOut = cb > 0 ? (char *)RTMemAlloc((size_t)cb, pszTag) : nullptr;
    if (cb > 0 && !pszOut)
        rc = KERR_NO_TMP_MEMORY;
    else if (cb > 0
             && WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)pwsz, -1, pszOut, cb, nullptr, nullptr) > 0)
        *ppszOut = pszOut;
    else
    {
        rc = rtStrToCurrentCPError();
        RTMemFree(pszOut);
    }
    RTStrRelease(pwsz);
    return rc;
}

int RTStrToCurrentCP(char **ppszOut, const char *psz, const char *pszTag)
{
    return rtStrToCurrentCPN(ppszOut, psz, RTSTR_MAX, pszTag);
}
