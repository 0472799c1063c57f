/*
 * The current directory on Windows.  Answers go through GetFullPathNameW so
 * that they come in the system's canonical spelling, with an upper-case
 * drive letter (the process's current directory keeps whatever case it was
 * set with).
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"

namespace {

const DWORD g_cwcCwdBuf = RTPATH_MAX;

/*
 * Runs GetFullPathNameW on pwszIn, or GetCurrentDirectoryW when it is null,
 * into pwszStack (g_cwcCwdBuf units) and, when the answer is longer, once
 * more into a heap buffer of the size the system asked for.  *ppwszOut is
 * the buffer used, whatever the outcome: pwszStack or one to free.  A path
 * that grew between the two calls is KERR_FILENAME_TOO_LONG.
 */
int rtPathWinQuery(LPCWSTR pwszIn, WCHAR *pwszStack, LPWSTR *ppwszOut)
{
    LPWSTR pwszBuf = pwszStack;
    DWORD cwcBuf = g_cwcCwdBuf;
    for (;;)
    {
        *ppwszOut = pwszBuf;
        if (!pwszBuf)
            return KERR_NO_TMP_MEMORY;
        /* The units written, or the size needed, terminator included, when cwcBuf is too small. */
        DWORD const cwc = pwszIn ? RT_NT_SYS(GetFullPathNameW)(pwszIn, cwcBuf, pwszBuf, nullptr)
                                 : RT_NT_SYS(GetCurrentDirectoryW)(cwcBuf, pwszBuf);
        if (cwc == 0)
            return RTErrConvertFromWin32(GetLastError());
        if (cwc < cwcBuf)
            return KINF_SUCCESS;
        if (pwszBuf != pwszStack)
            return KERR_FILENAME_TOO_LONG;
        cwcBuf = cwc + 1;
        pwszBuf = (LPWSTR)RTMemAlloc(cwcBuf * sizeof(WCHAR), "path-cwd");
    }
}

void rtPathWinQueryFree(LPWSTR pwszOut, WCHAR *pwszStack)
{
    if (pwszOut != pwszStack)
        RTMemFree(pwszOut);
}

/* The path with an upper-case drive letter, as UTF-8 in the caller's buffer. */
int rtPathWinOut(LPWSTR pwszPath, char *pszPath, size_t cb)
{
    if (pwszPath[0] >= 'a' && pwszPath[0] <= 'z' && pwszPath[1] == ':')
        pwszPath[0] = (WCHAR)(pwszPath[0] - 'a' + 'A');
    return RTUtf16ToUtf8Ex((PCRTUTF16)pwszPath, RTSTR_MAX, &pszPath, cb, nullptr, "path-cwd");
}

} // namespace

int rtPathGetCurrentOf(char chDrive, char *pszPath, size_t cb)
{
    if (!cb)
        return KERR_BUFFER_OVERFLOW;
    if (!pszPath)
        return KERR_INVALID_POINTER;

    /* A drive's current directory is what the system makes of "X:". */
    WCHAR wszCwd[g_cwcCwdBuf];
    LPWSTR pwszCwd = wszCwd;
    int rc = KINF_SUCCESS;
    if (chDrive)
    {
        wszCwd[0] = (WCHAR)chDrive;
        wszCwd[1] = ':';
        wszCwd[2] = 0;
    }
    else
        rc = rtPathWinQuery(nullptr, wszCwd, &pwszCwd);
    if (RT_SUCCESS(rc))
    {
        WCHAR wszFull[g_cwcCwdBuf];
        LPWSTR pwszFull = nullptr;
        rc = rtPathWinQuery(pwszCwd, wszFull, &pwszFull);
        if (RT_SUCCESS(rc))
            rc = rtPathWinOut(pwszFull, pszPath, cb);
        rtPathWinQueryFree(pwszFull, wszFull);
    }
    rtPathWinQueryFree(pwszCwd, wszCwd);
    return rc;
}

int RTPathGetCurrent(char *pszPath, size_t cb)
{
    return rtPathGetCurrentOf('\0', pszPath, cb);
}

int RTPathGetCurrentOnDrive(char chDrive, char *pszPath, size_t cb)
{
    if (!rtPathIsAsciiLetter(chDrive))
        return KERR_INVALID_PARAMETER;
    return rtPathGetCurrentOf(chDrive, pszPath, cb);
}

int RTPathSetCurrent(const char *pszPath)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    size_t cch = RTStrLen(pszPath);
    if (!cch)
        return KERR_INVALID_PARAMETER;

    if (cch > 1 && rtPathIsSep(pszPath[cch - 1]) && pszPath[cch - 2] != ':')
        cch--;
    char *pszCopy = RTStrCloneMax(pszPath, cch, "path-setcwd");
    if (!pszCopy)
        return KERR_NO_TMP_MEMORY;

    PRTUTF16 pwszPath = nullptr;
    int rc = rtPathWin32FromUtf8(pszCopy, &pwszPath);
    RTStrRelease(pszCopy);
    if (RT_SUCCESS(rc))
    {
        if (!RT_NT_SYS(SetCurrentDirectoryW)((LPCWSTR)pwszPath))
            rc = RTErrConvertFromWin32(GetLastError());
        RTStrRelease(pwszPath);
    }
    return rc;
}
