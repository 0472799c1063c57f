/*
 * %RM: strings escaped for XML attributes (%RMas) and elements (%RMes), JSON
 * (%RMjs) and URLs (%RMpa, %RMpp, %RMpq, %RMpf).
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

/*
 * Escaping for XML, JSON and URLs.
 */

/* Replacement of one byte, or null when it passes unchanged. */
typedef const char *(*PFNRTFMTESCAPE)(unsigned char ch, char *pszTmp);

const char *rtEscXmlAttr(unsigned char ch, char *)
{
    switch (ch)
    {
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '&': return "&amp;";
        case '"': return "&quot;";
        case '\n': return "&#xA;";
        case '\r': return "&#xD;";
        default: return nullptr;
    }
}

const char *rtEscXmlElem(unsigned char ch, char *)
{
    switch (ch)
    {
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '&': return "&amp;";
        case '"': return "&quot;";
        case '\'': return "&apos;";
        default: return nullptr;
    }
}

const char *rtEscJson(unsigned char ch, char *pszTmp)
{
    switch (ch)
    {
        case '\b': return "\\b";
        case '\t': return "\\t";
        case '\n': return "\\n";
        case '\f': return "\\f";
        case '"': return "\\\"";
        case '\\': return "\\\\";
        default:
            if (ch >= 0x20)
                return nullptr;
            pszTmp[0] = '\\';
            pszTmp[1] = 'u';
            pszTmp[2] = '0';
            pszTmp[3] = '0';
            pszTmp[4] = g_achRTStrFmtHexLower[ch >> 4];
            pszTmp[5] = g_achRTStrFmtHexLower[ch & 0xf];
            pszTmp[6] = '\0';
            return pszTmp;
    }
}

size_t rtFmtEscaped(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, size_t cch,
                    PFNRTFMTESCAPE pfnEscape)
{
    size_t cchRet = 0;
    size_t iRun = 0;
    char szTmp[8];
    for (size_t i = 0; i < cch; i++)
    {
        const char *pszRepl = pfnEscape((unsigned char)psz[i], szTmp);
        if (!pszRepl)
            continue;
        if (i > iRun)
            cchRet += pfnOutput(pvArgOutput, &psz[iRun], i - iRun);
        cchRet += rtStrFmtOut(pfnOutput, pvArgOutput, pszRepl);
        iRun = i + 1;
    }
    if (cch > iRun)
        cchRet += pfnOutput(pvArgOutput, &psz[iRun], cch - iRun);
    return cchRet;
}

size_t rtFmtUrl(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, size_t cch,
                char chMode)
{
    size_t cchRet = 0;
    size_t iRun = 0;
    for (size_t i = 0; i < cch; i++)
    {
        unsigned char const ch = (unsigned char)psz[i];
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')
            || ch == '-' || ch == '.' || ch == '_' || ch == '~' || (ch == '/' && chMode == 'p')
            || (ch == '+' && chMode == 'q'))
            continue;
        if (i > iRun)
            cchRet += pfnOutput(pvArgOutput, &psz[iRun], i - iRun);
        if (ch == ' ' && chMode == 'f')
            cchRet += pfnOutput(pvArgOutput, "+", 1);
        else
        {
            char const ach[3] = { '%', "0123456789ABCDEF"[ch >> 4], "0123456789ABCDEF"[ch & 0xf] };
            cchRet += pfnOutput(pvArgOutput, ach, 3);
        }
        iRun = i + 1;
    }
    if (cch > iRun)
        cchRet += pfnOutput(pvArgOutput, &psz[iRun], cch - iRun);
    return cchRet;
}

size_t rtFmtEscape(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                   va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Cursor on the 'M'. */
    const char *pszM = *ppszFormat;
    char const chKind = pszM[1];
    PFNRTFMTESCAPE pfnEscape = nullptr;
    bool fQuotes = false;
    switch (chKind)
    {
        case 'a':
            pfnEscape = rtEscXmlAttr;
            fQuotes = true;
            break;
        case 'e': pfnEscape = rtEscXmlElem; break;
        case 'j':
            pfnEscape = rtEscJson;
            fQuotes = true;
            break;
        case 'p': break;
        default: *ppszFormat = pszM + 1; return 0;
    }
    char const chSub = pszM[2];
    *ppszFormat = rtStrFmtStep(pszM + 2);
    if (chKind == 'p' ? chSub != 'a' && chSub != 'p' && chSub != 'q' && chSub != 'f' : chSub != 's')
        return 0;

    const char *psz = va_arg(*pva, const char *);
    if (rtStrFmtIsBadPtr(psz))
        psz = "<NULL>";
    size_t const cch = cchPrecision >= 0 ? RTStrNLen(psz, (size_t)cchPrecision) : RTStrLen(psz);
    size_t const cPad = cchWidth > 0 && (size_t)cchWidth > cch ? (size_t)cchWidth - cch : 0;
    bool const fLeft = (fFlags & FMT_F_LEFT) != 0;
    const char *pszPad = chKind == 'p' ? "%20" : " ";
    size_t const cchPad = chKind == 'p' ? 3 : 1;

    size_t cchRet = 0;
    if (fQuotes)
        cchRet += pfnOutput(pvArgOutput, "\"", 1);
    if (!fLeft)
        for (size_t i = 0; i < cPad; i++)
            cchRet += pfnOutput(pvArgOutput, pszPad, cchPad);
    if (chKind == 'p')
        cchRet += rtFmtUrl(pfnOutput, pvArgOutput, psz, cch, chSub);
    else
        cchRet += rtFmtEscaped(pfnOutput, pvArgOutput, psz, cch, pfnEscape);
    if (fLeft)
        for (size_t i = 0; i < cPad; i++)
            cchRet += pfnOutput(pvArgOutput, pszPad, cchPad);
    if (fQuotes)
        cchRet += pfnOutput(pvArgOutput, "\"", 1);
    return cchRet;
}

size_t rtFmtFamilyEscape(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                         va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    *ppszFormat += 1;
    return rtFmtEscape(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision, fFlags);
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyEscape = { "M", rtFmtFamilyEscape };
