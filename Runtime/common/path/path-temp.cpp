/*
 * The temporary directory: the first of the variables that name one, as it
 * stands, else "/tmp".  A variable that exists but can't be read (its value
 * does not fit, for instance) stops the search, so that a caller never
 * silently gets another directory than the one the environment names.
 */
#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/path.h>
#include <zelk/string.h>

int RTPathTemp(char *pszPath, size_t cb)
{
    static const char *const s_apszVars[] = { "ZELK_TMPDIR", "TMP", "TEMP", "USERPROFILE" };
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    for (size_t i = 0; i < RT_ELEMENTS(s_apszVars); i++)
    {
        int rc = RTEnvQueryVar(s_apszVars[i], pszPath, cb, nullptr);
        if (rc != KERR_ENV_VAR_NOT_FOUND)
            return rc;
    }
    static const char s_szFallback[] = "/tmp";
    if (cb < sizeof(s_szFallback))
        return KERR_BUFFER_OVERFLOW;
    RTMemCopy(pszPath, s_szFallback, sizeof(s_szFallback));
    return KINF_SUCCESS;
}
