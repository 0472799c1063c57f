/*
 * Conversion of UTF-8 to the Windows ANSI code page, for console output.
 * Characters the code page lacks become its default character.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "win.h"

namespace {

/* The conversion failed: never let a missing last error pass as success. */
int rtStrToCurrentCPError(void)
{
    int const rc = RTErrConvertFromWin32(GetLastError());
    return RT_FAILURE(rc) ? rc : KERR_NO_TRANSLATION;
}

} // namespace

int RTStrToCurrentCP(char **ppszOut, const char *psz, const char *pszTag)
{
    *ppszOut = nullptr;
    if (!*psz)
        return RTStrCloneMaxEx(ppszOut, psz, RTSTR_MAX, pszTag);
    if (GetACP() == CP_UTF8)
    {
        int const rc = RTStrCheckEncoding(psz, RTSTR_MAX, 0);
        if (RT_FAILURE(rc))
            return rc;
        return RTStrCloneMaxEx(ppszOut, psz, RTSTR_MAX, pszTag);
    }

    PRTUTF16 pwsz = nullptr;
    int rc = RTStrToUtf16Ex(psz, RTSTR_MAX, &pwsz, 0, nullptr, pszTag);
    if (RT_FAILURE(rc))
        return rc;
    int const cb = WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb > 0)
    {
        char *pszOut = (char *)RTMemAlloc((size_t)cb, pszTag);
        if (!pszOut)
            rc = KERR_NO_TMP_MEMORY;
        else if (WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)pwsz, -1, pszOut, cb, nullptr, nullptr)
                 > 0)
            *ppszOut = pszOut;
        else
        {
            rc = rtStrToCurrentCPError();
            RTMemFree(pszOut);
        }
    }
    else
        rc = rtStrToCurrentCPError();
    RTStrRelease(pwsz);
    return rc;
}
