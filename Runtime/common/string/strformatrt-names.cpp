/*
 * %Rbn base names, %Rbs big-endian UTF-16 strings (with the l size prefix),
 * %Rfn function names out of a compiler's pretty function signature.
 */
#include <zelk/string.h>
#include <zelk/utf.h>

#include "strformat-internal.h"

namespace {

/*
 * Base names, big-endian UTF-16, function names.
 */

inline bool rtIsPathSep(char ch)
{
    return ch == '\\' || ch == '/' || ch == ':';
}

size_t rtFmtBaseName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, int cchWidth,
                     unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(psz))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, psz, cchWidth, fFlags, "!BadBaseName");
    size_t const cch = RTStrLen(psz);
    size_t iEnd = cch;
    while (iEnd > 0 && rtIsPathSep(psz[iEnd - 1]))
        iEnd--;
    size_t iStart = 0;
    if (iEnd > 0)
    {
        iStart = iEnd;
        while (iStart > 0 && !rtIsPathSep(psz[iStart - 1]))
            iStart--;
    }
    return cch > iStart ? pfnOutput(pvArgOutput, &psz[iStart], cch - iStart) : 0;
}

const RTUTF16 g_awszNullBE[] = { 0x3c00, 0x4e00, 0x5500, 0x4c00, 0x4c00, 0x3e00, 0 }; /* <NULL> */

size_t rtFmtUtf16BE(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PCRTUTF16 pwsz, int cchWidth,
                    int cchPrecision, unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(pwsz))
        pwsz = g_awszNullBE;
    size_t cwc = 0;
    if (cchPrecision > 0)
        while (cwc < (size_t)cchPrecision && pwsz[cwc])
            cwc++;
    size_t const cPad = cchWidth > 0 && (size_t)cchWidth > cwc ? (size_t)cchWidth - cwc : 0;
    size_t cchRet = 0;
    if (!(fFlags & FMT_F_LEFT))
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cPad);
    PCRTUTF16 pwszEnd = pwsz + cwc;
    while (pwsz < pwszEnd)
    {
        RTUNICP cp;
        /* A high surrogate in the last counted unit would pull in a unit past the limit. */
        uint16_t const wc = (uint16_t)((*pwsz >> 8) | (*pwsz << 8));
        if (pwszEnd - pwsz == 1 && wc >= 0xd800 && wc <= 0xdbff)
        {
            cp = RTUNICP_INVALID;
            pwsz++;
        }
        else
            RTUtf16BEDecodeCp(&pwsz, &cp);
        char ach[8];
        char *pchEnd = RTStrEncodeCp(ach, cp);
        cchRet += pfnOutput(pvArgOutput, ach, (size_t)(pchEnd - ach));
    }
    if (fFlags & FMT_F_LEFT)
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cPad);
    return cchRet;
}

size_t rtFmtFnName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, int cchWidth,
                   unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(psz))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, psz, cchWidth, fFlags, "!BadFnNm");
    const char *pszStart = psz;
    int iDepth = 0;
    while (*psz)
    {
        char const ch = *psz;
        if (ch == ' ' || ch == '\t')
        {
            psz++;
            while (*psz == ' ' || *psz == '\t' || *psz == '(')
                psz++;
            if (*psz && iDepth == 0)
                pszStart = psz;
            continue;
        }
        if (ch == '(')
            break;
        if (ch == '<')
            iDepth++;
        else if (ch == '>')
            iDepth--;
        psz++;
    }
    return psz > pszStart ? pfnOutput(pvArgOutput, pszStart, (size_t)(psz - pszStart)) : 0;
}

size_t rtFmtFamilyNames(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                        va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                        char chArgSize)
{
    const char *pszR = *ppszFormat;
    char const ch = pszR[2];
    *ppszFormat = rtStrFmtStep(pszR + 2);
    if (pszR[1] == 'f')
    {
        if (ch == 'n')
            return rtFmtFnName(pfnOutput, pvArgOutput, va_arg(*pva, const char *), cchWidth,
                               fFlags);
        return 0;
    }
    if (ch == 'n')
        return rtFmtBaseName(pfnOutput, pvArgOutput, va_arg(*pva, const char *), cchWidth, fFlags);
    if (ch == 's')
    {
        PCRTUTF16 pwsz = va_arg(*pva, PCRTUTF16);
        if (chArgSize == 'l')
            return rtFmtUtf16BE(pfnOutput, pvArgOutput, pwsz, cchWidth, cchPrecision, fFlags);
    }
    return 0;
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyNames = { "b f", rtFmtFamilyNames };
