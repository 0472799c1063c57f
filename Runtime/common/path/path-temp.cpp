/*
 * The temporary directory: the first of the variables that name one, as it
 * stands, else the system's own.  A variable that exists but can't be read
 * (its value does not fit, for instance) stops the search, so that a caller
 * never silently gets another directory than the one the environment names.
 *
 * A process of the system's own account (SYSTEM on Windows) heeds only
 * ZELK_TMPDIR: the TMP and TEMP it inherits name the Windows directory's
 * "Temp", where any user can create files and folders first, and the system
 * has a directory of its own for it.  The per-OS part (rtPathTempIsSystemAccount,
 * rtPathTempOsDir) lives beside the other system calls.
 */
#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

int RTPathTemp(char *pszPath, size_t cb)
{
    static const char *const s_apszVars[] = { "ZELK_TMPDIR", "TMP", "TEMP", "USERPROFILE" };
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    bool const fSystemAccount = rtPathTempIsSystemAccount();
    for (size_t i = 0; i < (fSystemAccount ? 1 : RT_ELEMENTS(s_apszVars)); i++)
    {
        int rc = RTEnvQueryVar(s_apszVars[i], pszPath, cb, nullptr);
        if (rc != KERR_ENV_VAR_NOT_FOUND)
            return rc;
    }
    return rtPathTempOsDir(pszPath, cb, fSystemAccount);
}
