/*
 * The system's part of the temporary directory on Windows.
 *
 * A process of SYSTEM takes the directory Windows keeps for SYSTEM alone
 * (GetTempPath2W, "%SystemRoot%\SystemTemp", which only SYSTEM and the
 * administrators can write to).  Where kernel32 lacks GetTempPath2W, it takes
 * "SystemTemp" in the Windows directory when that exists, else the Windows
 * directory's own "Temp": chosen from the system's directory, not from the
 * environment the caller handed on.  Any other process, given no variable,
 * takes the system's temporary path (GetTempPathW), never a folder at the
 * root of the current drive that any user could make first.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/ldr.h>
#include <zelk/path.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"

bool rtPathTempIsSystemAccount(void)
{
    /* S-1-5-18 in its binary form. */
    static const uint8_t s_abSidSystem[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
    union
    {
        TOKEN_USER User;
        uint8_t ab[128];
    } u;
    HANDLE hToken;
    NTSTATUS rcNt = NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    if (!NT_SUCCESS(rcNt))
        return false;
    ULONG cbRet;
    rcNt = RT_NT_SYS(NtQueryInformationToken)(hToken, TokenUser, &u, sizeof(u), &cbRet);
    NtClose(hToken);
    return NT_SUCCESS(rcNt) && !RTMemCmp(u.User.User.Sid, s_abSidSystem, sizeof(s_abSidSystem));
}

int rtPathTempOsDir(char *pszPath, size_t cb, bool fSystemAccount)
{
    decltype(&::GetTempPathW) pfnGetTempPath2W = g_rtNtSysOverride.pfnGetTempPath2W;
    if (!pfnGetTempPath2W)
        pfnGetTempPath2W = (decltype(&::GetTempPathW))RTLdrBindOptional(&g_RTLdrBindKernel32,
                                                                        "GetTempPath2W");
    WCHAR wszDir[MAX_PATH + 1];
    bool const fWinDir = fSystemAccount && !pfnGetTempPath2W;
    DWORD const cwc = fWinDir          ? RT_NT_SYS(GetSystemWindowsDirectoryW)(wszDir, MAX_PATH)
                      : fSystemAccount ? pfnGetTempPath2W(RT_ELEMENTS(wszDir), wszDir)
                                       : RT_NT_SYS(GetTempPathW)(RT_ELEMENTS(wszDir), wszDir);
    if (!cwc || cwc >= RT_ELEMENTS(wszDir))
        return cwc ? KERR_BUFFER_OVERFLOW : RTErrConvertFromWin32(GetLastError());
    int rc = RTUtf16ToUtf8Ex((PCRTUTF16)wszDir, cwc, &pszPath, cb, nullptr, "rtPathTempOsDir");
    if (RT_SUCCESS(rc) && fWinDir)
    {
        size_t const cchWinDir = RTStrLen(pszPath);
        rc = RTPathAppend(pszPath, cb, "SystemTemp");
        if (RT_SUCCESS(rc) && !RTDirExists(pszPath))
        {
            pszPath[cchWinDir] = '\0';
            rc = RTPathAppend(pszPath, cb, "Temp");
        }
    }
    return rc;
}
