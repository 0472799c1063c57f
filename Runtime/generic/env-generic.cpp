/*
 * The process environment on hosts with a C library.
 */
#include <stdlib.h>

#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/string.h>

int RTEnvQueryVar(const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    if (!pszVar || (!pszValue && cbValue))
        return KERR_INVALID_POINTER;
    if (RTStrChr(pszVar, '='))
        return KERR_ENV_INVALID_VAR_NAME;
    const char *pszFound = getenv(pszVar);
    if (!pszFound)
        return KERR_ENV_VAR_NOT_FOUND;
    size_t const cch = RTStrLen(pszFound);
    if (pcchActual)
        *pcchActual = cch;
    if (!pszValue)
        return KINF_SUCCESS;
    if (cch >= cbValue)
    {
        if (cbValue)
            *pszValue = '\0';
        return KERR_BUFFER_OVERFLOW;
    }
    RTMemCopy(pszValue, pszFound, cch + 1);
    return KINF_SUCCESS;
}
