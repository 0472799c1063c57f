/*
 * Splitting a command-line string into an argument vector.
 *
 * Windows hands a program its command line as one string and leaves the
 * splitting to the program; process start-up does it here, in place, with the
 * rules Windows programs follow, so that the installer sees the arguments its
 * caller quoted.  The Bourne-shell rules serve strings written by people or
 * scripts.  An argument never needs more bytes than its source text, which is
 * what lets the same code write into the input string itself or into one
 * copy of it.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/mem.h>
#include <zelk/string.h>
#include <zelk/utf.h>

namespace {

/* Decodes the character at *ppsz and steps over it; the ASCII case stays cheap. */
int rtGetOptArgvDecode(const char **ppsz, RTUNICP *pCp)
{
    if ((uint8_t) * *ppsz < 0x80)
    {
        *pCp = (uint8_t) * (*ppsz)++;
        return 0;
    }
    return RTStrDecodeCp(ppsz, pCp);
}

/* The separators were checked up front, so decoding them cannot fail here. */
bool rtGetOptArgvIsSeparator(RTUNICP cp, const char *pszSeparators)
{
    const char *psz = pszSeparators;
    while (*psz)
    {
        RTUNICP cpSep = 0;
        rtGetOptArgvDecode(&psz, &cpSep);
        if (cpSep == cp)
            return true;
    }
    return false;
}

/* Copies one character, checking its encoding. */
int rtGetOptArgvCopyChar(const char **ppszSrc, char **ppszDst)
{
    const char *pszNext = *ppszSrc;
    RTUNICP cp;
    int const rc = rtGetOptArgvDecode(&pszNext, &cp);
    if (RT_FAILURE(rc))
        return rc;
    /* Byte by byte, front to back: in place the destination never passes the source. */
    while (*ppszSrc < pszNext)
        *(*ppszDst)++ = *(*ppszSrc)++;
    return 0;
}

/*
 * One argument by the rules of Windows programs.  *pfEnd tells whether the
 * argument ended at the end of the input (rather than at a separator).
 */
int rtGetOptArgvReadMsCrt(const char **ppszSrc, char **ppszDst, const char *pszSeparators,
                          bool *pfEnd)
{
    const char *pszSrc = *ppszSrc;
    char *pszDst = *ppszDst;
    bool fQuoted = false;
    int rc = 0;
    for (;;)
    {
        char const ch = *pszSrc;
        if (ch == '\0')
        {
            *pfEnd = true;
            break;
        }
        if (ch == '"')
        {
            if (!fQuoted)
                fQuoted = true;
            else if (pszSrc[1] == '"')
            {
                *pszDst++ = '"';
                pszSrc++;
            }
            else
                fQuoted = false;
            pszSrc++;
        }
        else if (ch == '\\')
        {
            size_t cBackslashes = 1;
            while (pszSrc[cBackslashes] == '\\')
                cBackslashes++;
            size_t cWritten = cBackslashes;
            if (pszSrc[cBackslashes] == '"')
                cWritten /= 2;
            for (size_t i = 0; i < cWritten; i++)
                *pszDst++ = '\\';
            pszSrc += cBackslashes;
            /* An odd run escapes the quote; an even one leaves it to the rules above. */
            if (*pszSrc == '"' && (cBackslashes & 1))
            {
                *pszDst++ = '"';
                pszSrc++;
            }
        }
        else
        {
            const char *pszNext = pszSrc;
            RTUNICP cp;
            rc = rtGetOptArgvDecode(&pszNext, &cp);
            if (RT_FAILURE(rc))
                break;
            if (!fQuoted && rtGetOptArgvIsSeparator(cp, pszSeparators))
            {
                pszSrc = pszNext;
                *pfEnd = false;
                break;
            }
            while (pszSrc < pszNext)
                *pszDst++ = *pszSrc++;
        }
    }
    *ppszSrc = pszSrc;
    *ppszDst = pszDst;
    return rc;
}

/* One argument by the rules of the Bourne shell; *pfEnd as above. */
int rtGetOptArgvReadBourne(const char **ppszSrc, char **ppszDst, const char *pszSeparators,
                           bool *pfEnd)
{
    const char *pszSrc = *ppszSrc;
    char *pszDst = *ppszDst;
    char chQuote = '\0';
    int rc = 0;
    for (;;)
    {
        char const ch = *pszSrc;
        if (ch == '\0')
        {
            *pfEnd = true;
            break;
        }
        if (chQuote == '\0')
        {
            if (ch == '"' || ch == '\'')
            {
                chQuote = ch;
                pszSrc++;
                continue;
            }
            if (ch == '\\')
            {
                pszSrc++;
                if (*pszSrc == '\0')
                {
                    *pfEnd = true;
                    break;
                }
                rc = rtGetOptArgvCopyChar(&pszSrc, &pszDst);
            }
            else
            {
                const char *pszNext = pszSrc;
                RTUNICP cp;
                rc = rtGetOptArgvDecode(&pszNext, &cp);
                if (RT_SUCCESS(rc) && rtGetOptArgvIsSeparator(cp, pszSeparators))
                {
                    pszSrc = pszNext;
                    *pfEnd = false;
                    break;
                }
                if (RT_SUCCESS(rc))
                    while (pszSrc < pszNext)
                        *pszDst++ = *pszSrc++;
            }
        }
        else if (ch == chQuote)
        {
            chQuote = '\0';
            pszSrc++;
            continue;
        }
        else if (chQuote == '"' && ch == '\\')
        {
            char const chNext = pszSrc[1];
            if (chNext == '\0')
            {
                pszSrc++;
                *pfEnd = true;
                break;
            }
            if (chNext == '"' || chNext == '\\' || chNext == '`' || chNext == '$' || chNext == '\n')
            {
                *pszDst++ = chNext;
                pszSrc += 2;
                continue;
            }
            *pszDst++ = *pszSrc++;
            rc = rtGetOptArgvCopyChar(&pszSrc, &pszDst);
        }
        else
            rc = rtGetOptArgvCopyChar(&pszSrc, &pszDst);
        if (RT_FAILURE(rc))
            break;
    }
    *ppszSrc = pszSrc;
    *ppszDst = pszDst;
    return rc;
}

} // namespace

int RTGetOptArgvFromString(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                           const char *pszSeparators)
{
    if (!ppapszArgv || !pcArgs || !pszCmdLine)
        return KERR_INVALID_POINTER;
    if ((fFlags & ~(RTGETOPTARGV_CNV_QUOTE_MASK | RTGETOPTARGV_CNV_MODIFY_INPUT))
        || (fFlags & RTGETOPTARGV_CNV_QUOTE_MASK) > RTGETOPTARGV_CNV_QUOTE_BOURNE_SH)
        return KERR_INVALID_FLAGS;
    if (!pszSeparators)
        pszSeparators = RTGETOPTARGV_DEFAULT_SEPARATORS;
    if (!*pszSeparators)
        return KERR_INVALID_PARAMETER;
    for (const char *psz = pszSeparators; *psz;)
    {
        RTUNICP cp;
        int const rc = rtGetOptArgvDecode(&psz, &cp);
        if (RT_FAILURE(rc))
            return rc;
    }

    bool const fInPlace = (fFlags & RTGETOPTARGV_CNV_MODIFY_INPUT) != 0;
    bool const fBourne = (fFlags & RTGETOPTARGV_CNV_QUOTE_MASK) == RTGETOPTARGV_CNV_QUOTE_BOURNE_SH;
    char *pszBuf;
    if (fInPlace)
        pszBuf = const_cast<char *>(pszCmdLine);
    else
    {
        pszBuf = (char *)RTMemAlloc(RTStrLen(pszCmdLine) + 1, "getopt-argv");
        if (!pszBuf)
            return KERR_NO_STR_MEMORY;
    }

    const char *pszSrc = pszCmdLine;
    char *pszDst = pszBuf;
    char **papszArgs = nullptr;
    int cArgs = 0;
    int rc = 0;
    for (;;)
    {
        while (*pszSrc)
        {
            const char *pszNext = pszSrc;
            RTUNICP cp;
            rc = rtGetOptArgvDecode(&pszNext, &cp);
            if (RT_FAILURE(rc) || !rtGetOptArgvIsSeparator(cp, pszSeparators))
                break;
            pszSrc = pszNext;
        }
        if (RT_FAILURE(rc) || !*pszSrc)
            break;

        /* Room for one more pointer and the terminating null, 32 entries at a time. */
        if (cArgs % 32 == 0)
        {
            if (cArgs > INT32_MAX - 33)
            {
                rc = KERR_NO_MEMORY;
                break;
            }
            char **papszNew = (char **)RTMemRealloc(
                papszArgs, ((size_t)cArgs + 33) * sizeof(char *), "getopt-argv");
            if (!papszNew)
            {
                rc = KERR_NO_MEMORY;
                break;
            }
            papszArgs = papszNew;
        }
        papszArgs[cArgs++] = pszDst;

        bool fEnd = false;
        rc = fBourne ? rtGetOptArgvReadBourne(&pszSrc, &pszDst, pszSeparators, &fEnd)
                     : rtGetOptArgvReadMsCrt(&pszSrc, &pszDst, pszSeparators, &fEnd);
        if (RT_FAILURE(rc))
            break;
        *pszDst++ = '\0';
        if (fEnd || !*pszSrc)
            break;
    }

    if (RT_SUCCESS(rc) && cArgs == 0)
    {
        if (!fInPlace)
            RTMemFree(pszBuf);
        papszArgs = (char **)RTMemAlloc(sizeof(char *), "getopt-argv");
        if (!papszArgs)
            return KERR_NO_MEMORY;
        papszArgs[0] = nullptr;
    }
    else if (RT_SUCCESS(rc))
        papszArgs[cArgs] = nullptr;
    else
    {
        RTMemFree(papszArgs);
        if (!fInPlace)
            RTMemFree(pszBuf);
        return rc;
    }
    *ppapszArgv = papszArgs;
    *pcArgs = cArgs;
    return 0;
}

void RTGetOptArgvFreeEx(char **papszArgv, uint32_t fFlags)
{
    if (!papszArgv)
        return;
    if (!(fFlags & RTGETOPTARGV_CNV_MODIFY_INPUT))
        RTMemFree(papszArgv[0]);
    RTMemFree(papszArgv);
}

void RTGetOptArgvFree(char **papszArgv)
{
    RTGetOptArgvFreeEx(papszArgv, 0);
}
