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
 * program's g_apRTStrFmtFamilies.  A name of a family the program left out
 * prints "<missing:%R" and its first character ">", so that a message never
 * silently loses a value; the argument is not taken, as for unknown names.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

const char g_achRTStrFmtHexLower[] = "0123456789abcdef";

namespace
{

/* First characters of all the families the runtime has, linked or not. */
const char g_szAllFamilyChars[] = "ACDGHIKMRTUXbfhrw";

const RTSTRFMTFAMILY *rtStrFmtFindFamily(char ch)
{
    for (const RTSTRFMTFAMILY *const *ppFamily = g_apRTStrFmtFamilies; *ppFamily; ppFamily++)
        for (const char *pch = (*ppFamily)->szFirstChars; *pch; pch++)
            if (*pch == ch)
                return *ppFamily;
    return nullptr;
}

} // namespace

size_t rtStrFmtExtType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize)
{
    const char *pszR = *ppszFormat;
    char const chFamily = pszR[1];
    const RTSTRFMTFAMILY *pFamily = chFamily ? rtStrFmtFindFamily(chFamily) : nullptr;
    if (pFamily)
        return pFamily->pfnFormat(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                                  fFlags, chArgSize);
    *ppszFormat = rtStrFmtStep(pszR + 1);
    if (!chFamily || !RTStrChr(g_szAllFamilyChars, chFamily))
        return 0;
    char const achMissing[] = { '<', 'm', 'i', 's', 's', 'i', 'n', 'g', ':', '%', 'R', chFamily,
                                '>' };
    return pfnOutput(pvArgOutput, achMissing, sizeof(achMissing));
}
