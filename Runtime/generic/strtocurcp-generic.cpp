/*
 * Conversion to the current code page on hosts without an ANSI code page:
 * such hosts speak UTF-8, so the text is checked and copied.
 */
#include <zelk/err.h>
#include <zelk/utf.h>

#include "utf-internal.h"

int rtStrToCurrentCPN(char **ppszOut, const char *psz, size_t cch, const char *pszTag)
{
    *ppszOut = nullptr;
    if (cch && *psz)
    {
        int const rc = RTStrCheckEncoding(psz, cch, 0);
        if (RT_FAILURE(rc))
            return rc;
    }
    return RTStrCloneMaxEx(ppszOut, psz, cch, pszTag);
}

int RTStrToCurrentCP(char **ppszOut, const char *psz, const char *pszTag)
{
    return rtStrToCurrentCPN(ppszOut, psz, RTSTR_MAX, pszTag);
}
