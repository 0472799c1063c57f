/*
 * The executable's directory, recorded once at initialisation and copied out
 * on request.  The directory part never loses the separator of a drive root:
 * an executable in "D:\" has the directory "D:\", not the drive-relative
 * "D:", so names joined to it stay at the root.
 */
#include <zelk/err.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

char g_szrtProcExePath[RTPROC_EXE_PATH_SIZE];
size_t g_cchrtProcExePath;
size_t g_cchrtProcExeDir;
size_t g_offrtProcExeName;

void rtProcExePathSplit(void)
{
    const char *psz = g_szrtProcExePath;
    size_t const cch = RTStrNLen(psz, sizeof(g_szrtProcExePath) - 1);

    size_t offName = 0;
    for (size_t i = 0; i < cch; i++)
        if (psz[i] == '\\' || psz[i] == '/' || psz[i] == ':')
            offName = i + 1;

    size_t cchRoot = 0;
    if (cch >= 2 && rtPathIsAsciiLetter(psz[0]) && psz[1] == ':')
        cchRoot = cch >= 3 && rtPathIsSep(psz[2], RTPATH_STR_F_STYLE_DOS) ? 3 : 2;
    else if (cch >= 2 && rtPathIsSep(psz[0], RTPATH_STR_F_STYLE_DOS) && rtPathIsSep(psz[1], RTPATH_STR_F_STYLE_DOS))
    {
        cchRoot = 2;
        while (cchRoot < cch && !rtPathIsSep(psz[cchRoot], RTPATH_STR_F_STYLE_DOS))
            cchRoot++;
    }
    else if (cch >= 1 && rtPathIsSep(psz[0], RTPATH_STR_F_STYLE_DOS))
        cchRoot = 1;

    size_t cchDir = offName;
    while (cchDir > cchRoot && rtPathIsSep(psz[cchDir - 1], RTPATH_STR_F_STYLE_DOS))
        cchDir--;
    if (cchDir < cchRoot)
        cchDir = cchRoot < offName ? cchRoot : offName;

    g_cchrtProcExePath = cch;
    g_offrtProcExeName = offName;
    g_cchrtProcExeDir = cchDir;
}

int RTPathExecDir(char *pszPath, size_t cb)
{
    if (!g_cchrtProcExePath)
        return KERR_WRONG_ORDER;
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if (g_cchrtProcExeDir >= cb)
        return KERR_BUFFER_OVERFLOW;
    RTMemCopy(pszPath, g_szrtProcExePath, g_cchrtProcExeDir);
    pszPath[g_cchrtProcExeDir] = '\0';
    return KINF_SUCCESS;
}
