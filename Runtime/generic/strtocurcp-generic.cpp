/*
 * Conversion to the current code page on hosts without an ANSI code page:
 * such hosts speak UTF-8, so the text is checked and copied.
 */
#include <zelk/err.h>
#include <zelk/utf.h>

int RTStrToCurrentCP(char **ppszOut, const char *psz, const char *pszTag)
{
    *ppszOut = nullptr;
    if (*psz)
    {
        int const rc = RTStrCheckEncoding(psz, RTSTR_MAX, 0);
        if (RT_FAILURE(rc))
            return rc;
    }
    return RTStrCloneMaxEx(ppszOut, psz, RTSTR_MAX, pszTag);
}
