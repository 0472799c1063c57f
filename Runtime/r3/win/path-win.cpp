/*
 * Windows paths for the Win32 file calls, and the executable's directory.
 * A path goes to Win32 as it is while the classic path limit cannot bite;
 * otherwise it goes in the "\\?\" form, which the system takes without
 * the limit but also without any normalisation, so it is made absolute and
 * cleaned first (through the native form).
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"

namespace {

/* The drive-relative expansion ("C:x" in C:'s current directory), when it fits the limit. */
PRTUTF16 rtPathWin32ExpandDriveRelative(PCRTUTF16 pwszPath)
{
    size_t const cwcBuf = 261;
    PRTUTF16 pwszFull = RTUtf16AllocBuf(cwcBuf * sizeof(RTUTF16), "path-win32");
    if (!pwszFull)
        return nullptr;
    DWORD const cwc = RT_NT_SYS(GetFullPathNameW)((LPCWSTR)pwszPath, (DWORD)cwcBuf,
                                                  (LPWSTR)pwszFull, nullptr);
    if (cwc == 0 || cwc > RTPATH_WIN32_CLASSIC_MAX)
    {
        RTStrRelease(pwszFull);
        return nullptr;
    }
    return pwszFull;
}

} // namespace

int rtPathWin32FromUtf8(const char *pszPath, PRTUTF16 *ppwszPath)
{
    *ppwszPath = nullptr;
    if (!pszPath)
        return KERR_INVALID_POINTER;

    PRTUTF16 pwszPath = nullptr;
    size_t cwcPath = 0;
    int rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwszPath, 0, &cwcPath, "path-win32");
    if (RT_FAILURE(rc))
        return rc;

    if (cwcPath <= RTPATH_WIN32_CLASSIC_MAX)
    {
        RTPATHWIN32SHAPE const enmShape = rtPathWin32Shape(pwszPath);
        if (enmShape == RTPATHWIN32SHAPE_DRIVE_RELATIVE)
        {
            PRTUTF16 pwszFull = rtPathWin32ExpandDriveRelative(pwszPath);
            if (pwszFull)
            {
                RTStrRelease(pwszPath);
                *ppwszPath = pwszFull;
                return KINF_SUCCESS;
            }
        }
        else
        {
            size_t const cwcCwd = enmShape == RTPATHWIN32SHAPE_RELATIVE
                                      ? RT_NT_SYS(GetCurrentDirectoryW)(0, nullptr)
                                      : 0;
            if (rtPathWin32FitsClassic(enmShape, cwcPath, cwcCwd))
            {
                *ppwszPath = pwszPath;
                return KINF_SUCCESS;
            }
        }
    }
    RTStrRelease(pwszPath);

    UNICODE_STRING NtName;
    rc = rtNtPathFromWinUtf8(&NtName, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    PWSTR const pwszNt = NtName.Buffer;
    if (NtName.Length < 4 * sizeof(WCHAR) || pwszNt[0] != '\\' || pwszNt[1] != '?'
        || pwszNt[2] != '?' || pwszNt[3] != '\\')
    {
        /* A native path outside the DOS device namespace has no Win32 spelling. */
        rtNtPathFree(&NtName);
        return KERR_NOT_SUPPORTED;
    }
    pwszNt[1] = '\\';
    *ppwszPath = (PRTUTF16)pwszNt;
    return KINF_SUCCESS;
}

int RTPathExecDir(char *pszPath, size_t cb)
{
    if (!g_cchrtProcExePath)
        return KERR_WRONG_ORDER;
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    size_t const cchDir = g_cchrtProcExeDir;
    if (cchDir >= cb)
        return KERR_BUFFER_OVERFLOW;
    RTMemCopy(pszPath, g_szrtProcExePath, cchDir);
    pszPath[cchDir] = '\0';
    return KINF_SUCCESS;
}
