/*
 * The process environment on Windows, read with GetEnvironmentVariableW.
 * The value can change between the call that sizes it and the call that
 * reads it, so the read is repeated with a growing buffer until it fits.
 */
#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "nt.h"

int RTEnvQueryVar(const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    if (!pszVar || (!pszValue && cbValue))
        return KERR_INVALID_POINTER;
    if (RTStrChr(pszVar, '='))
        return KERR_ENV_INVALID_VAR_NAME;

    PRTUTF16 pwszVar = nullptr;
    int rc = RTStrToUtf16(pszVar, &pwszVar, "env");
    if (RT_FAILURE(rc))
        return rc;

    WCHAR wszStack[512];
    LPWSTR pwszValue = wszStack;
    LPWSTR pwszFree = nullptr;
    DWORD cwcBuf = RT_ELEMENTS(wszStack);
    DWORD cwcValue = 0;
    for (uint32_t cTries = 1;; cTries++)
    {
        SetLastError(NO_ERROR);
        cwcValue = RT_NT_SYS(GetEnvironmentVariableW)((LPCWSTR)pwszVar, pwszValue, cwcBuf);
        if (cwcValue == 0)
        {
            DWORD const uErr = GetLastError();
            /* 0 with no error is a variable that exists and is empty. */
            if (uErr != NO_ERROR)
                rc = RTErrConvertFromWin32(uErr);
            else
                pwszValue[0] = 0;
            break;
        }
        if (cwcValue < cwcBuf)
            break;
        /* Too small: cwcValue is the size needed, terminator included. */
        if (cwcValue > 32767)
        {
            rc = KERR_INTERNAL_ERROR_3;
            break;
        }
        DWORD cwcNext = cwcValue + cTries;
        if (cwcNext < cwcBuf + 512)
            cwcNext = cwcBuf + 512;
        RTMemFree(pwszFree);
        pwszFree = (LPWSTR)RTMemAlloc(cwcNext * sizeof(WCHAR), "env");
        if (!pwszFree)
        {
            rc = KERR_NO_TMP_MEMORY;
            break;
        }
        pwszValue = pwszFree;
        cwcBuf = cwcNext;
    }
    RTStrRelease(pwszVar);

    if (RT_SUCCESS(rc))
    {
        size_t cch = 0;
        if (!pszValue)
        {
            rc = RTUtf16Utf8BytesEx((PCRTUTF16)pwszValue, cwcValue, &cch);
            if (RT_SUCCESS(rc) && pcchActual)
                *pcchActual = cch;
        }
        else
        {
            rc = RTUtf16ToUtf8Ex((PCRTUTF16)pwszValue, cwcValue, &pszValue, cbValue, &cch, "env");
            if ((RT_SUCCESS(rc) || rc == KERR_BUFFER_OVERFLOW) && pcchActual)
                *pcchActual = cch;
        }
    }
    RTMemFree(pwszFree);
    return rc;
}
