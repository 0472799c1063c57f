/*
 * Recording the executable's path on hosts with /proc.
 */
#include <unistd.h>

#include <zelk/err.h>

#include "path-internal.h"

int rtProcInitExePath(void)
{
    ssize_t const cch = readlink("/proc/self/exe", g_szrtProcExePath, sizeof(g_szrtProcExePath) - 1);
    if (cch <= 0 || (size_t)cch >= sizeof(g_szrtProcExePath) - 1)
    {
        g_szrtProcExePath[0] = '\0';
        g_cchrtProcExePath = 0;
        return cch <= 0 ? KERR_GENERAL_FAILURE : KERR_FILENAME_TOO_LONG;
    }
    g_szrtProcExePath[cch] = '\0';
    rtProcExePathSplit();
    return KINF_SUCCESS;
}
