/*
 * The system's part of the temporary directory where no other is known:
 * no account of the system's own, and "/tmp".
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "path-internal.h"

bool rtPathTempIsSystemAccount(void)
{
    return false;
}

int rtPathTempOsDir(char *pszPath, size_t cb, bool fSystemAccount)
{
    (void)fSystemAccount;
    static const char s_szTmp[] = "/tmp";
    if (cb < sizeof(s_szTmp))
        return KERR_BUFFER_OVERFLOW;
    RTMemCopy(pszPath, s_szTmp, sizeof(s_szTmp));
    return KINF_SUCCESS;
}
