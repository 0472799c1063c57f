/*
 * The executable's path as runtime initialisation records it.  Only the
 * recording that the path operations need lives here; the rest of runtime
 * initialisation comes with the start-up code, which supersedes this file.
 */
#include <zelk/err.h>
#include <zelk/utf.h>

#include "path-internal.h"
#include "win.h"

char g_szrtProcExePath[4068];
size_t g_cchrtProcExePath;
size_t g_offrtProcExeName;

int rtProcInitExePath(void)
{
    static wchar_t s_wszPath[4100];
    DWORD const cwc = GetModuleFileNameW(GetModuleHandleA(nullptr), s_wszPath, RT_ELEMENTS(s_wszPath));
    if (cwc == 0 || cwc >= RT_ELEMENTS(s_wszPath))
    {
        int const rc = RTErrConvertFromWin32(cwc ? ERROR_INSUFFICIENT_BUFFER : GetLastError());
        return RT_FAILURE(rc) ? rc : KERR_INTERNAL_ERROR;
    }
    char *psz = g_szrtProcExePath;
    int const rc = RTUtf16ToUtf8Ex((PCRTUTF16)s_wszPath, cwc, &psz, sizeof(g_szrtProcExePath), &g_cchrtProcExePath,
                                   "rtProcInitExePath");
    if (RT_FAILURE(rc))
    {
        g_cchrtProcExePath = 0;
        return rc;
    }
    size_t offName = g_cchrtProcExePath;
    while (offName > 0 && psz[offName - 1] != '\\' && psz[offName - 1] != '/' && psz[offName - 1] != ':')
        offName--;
    g_offrtProcExeName = offName;
    return KINF_SUCCESS;
}
