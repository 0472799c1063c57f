/*
 * The %R extended conversions: the dispatcher that hands a name to its family.
 *
 * Every family handler gets the cursor on the 'R' and moves it itself.  An
 * unknown name stops the cursor one character after 'R' (or as each family
 * says) so that the rest of the name prints as literal text, and takes no
 * argument unless its family always takes one.  Handlers never step over the
 * terminator of a format string that ends inside a name.
 *
 * The families live in strformatrt-*.cpp and are reached only through the
 * program's g_apRTStrFmtFamilies; the longest start of a name that a family
 * claims picks it.  A name of a family the program left out prints
 * "<missing:%R" and the family's start ">", so that a message never silently
 * loses a value; the argument is not taken, and the cursor moves past that
 * start.  The floating-point conversions, a family too, are found by their
 * conversion character; left out, they print "<missing:%" the character ">"
 * and take no argument either.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

const char g_achRTStrFmtHexLower[] = "0123456789abcdef";

namespace {

/* The starts of the names of all the runtime's families, linked or not. */
const char g_szAllPrefixes[] = "A C D G H I K M R T U X [ b f h hc hu r rs rf ra w";

/*
 * The length of the longest blank-separated start in pszPrefixes that pszName
 * begins with; 0 when none does.
 */
size_t rtStrFmtMatchPrefix(const char *pszPrefixes, const char *pszName)
{
    size_t cchBest = 0;
    const char *psz = pszPrefixes;
    while (*psz)
    {
        size_t cch = 0;
        while (psz[cch] && psz[cch] != ' ')
            cch++;
        if (cch > cchBest && RTStrNCmp(psz, pszName, cch) == 0)
            cchBest = cch;
        psz += cch;
        while (*psz == ' ')
            psz++;
    }
    return cchBest;
}

} // namespace

size_t rtStrFmtExtType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize)
{
    const char *pszR = *ppszFormat;
    const char *pszName = pszR + 1;
    const RTSTRFMTFAMILY *pFamily = nullptr;
    size_t cchFamily = 0;
    if (*pszName)
        for (const RTSTRFMTFAMILY *const *ppFamily = g_apRTStrFmtFamilies; *ppFamily; ppFamily++)
        {
            size_t const cch = rtStrFmtMatchPrefix((*ppFamily)->szPrefixes, pszName);
            if (cch > cchFamily)
            {
                cchFamily = cch;
                pFamily = *ppFamily;
            }
        }

    size_t const cchKnown = *pszName ? rtStrFmtMatchPrefix(g_szAllPrefixes, pszName) : 0;
    if (pFamily && cchFamily >= cchKnown)
        return pFamily->pfnFormat(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                                  fFlags, chArgSize);
    if (!cchKnown)
    {
        *ppszFormat = rtStrFmtStep(pszName);
        return 0;
    }
    *ppszFormat = pszName + cchKnown;
    return rtStrFmtMissing(pfnOutput, pvArgOutput, pszR, cchKnown + 1);
}

size_t rtStrFmtConversion(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                          va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                          char chArgSize)
{
    const char *pszConv = *ppszFormat;
    for (const RTSTRFMTFAMILY *const *ppFamily = g_apRTStrFmtFamilies; *ppFamily; ppFamily++)
        for (const char *pch = (*ppFamily)->szConversions; *pch; pch++)
            if (*pch == *pszConv)
                return (*ppFamily)->pfnFormat(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth,
                                              cchPrecision, fFlags, chArgSize);
    *ppszFormat = pszConv + 1;
    return rtStrFmtMissing(pfnOutput, pvArgOutput, pszConv, 1);
}

size_t rtStrFmtMissing(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pchName,
                       size_t cchName)
{
    return pfnOutput(pvArgOutput, "<missing:%", 10) + pfnOutput(pvArgOutput, pchName, cchName)
           + pfnOutput(pvArgOutput, ">", 1);
}
