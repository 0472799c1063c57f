/*
 * The sized integers: %RI8 to %RI64 (signed decimal), %RU8 to %RU64 (unsigned
 * decimal) and %RX8 to %RX64 (lower-case hex).  The name spells the kind and
 * the width, so it is decoded as it stands rather than looked up in a type
 * table; a program that prints no other %R integers links only this.
 */
#include "strformat-internal.h"

namespace {

/* The widths a name may end in, as spelled; a width's bytes are 1 << its index. */
const char g_aszWidths[][3] = { "8", "16", "32", "64" };

} // namespace

size_t rtStrFmtSizedInt(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                        va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    const char *pszName = *ppszFormat + 1;
    const char *pszBits = pszName + 1;
    /* The second digit is compared only after the first matched, never past the terminator. */
    unsigned iLog2 = 0;
    while (iLog2 < RT_ELEMENTS(g_aszWidths)
           && (pszBits[0] != g_aszWidths[iLog2][0]
               || (g_aszWidths[iLog2][1] && pszBits[1] != g_aszWidths[iLog2][1])))
        iLog2++;
    if (iLog2 >= RT_ELEMENTS(g_aszWidths))
    {
        *ppszFormat = rtStrFmtStep(pszName);
        return 0;
    }
    *ppszFormat = pszBits + (g_aszWidths[iLog2][1] ? 2 : 1);

    bool const fSigned = *pszName == 'I';
    if (fSigned)
        fFlags |= FMT_F_SIGNED;
    uint64_t const u64 = rtStrFmtFetchInt(pva, 1u << iLog2, fSigned, &fFlags);
    return rtStrFmtNum(pfnOutput, pvArgOutput, u64, *pszName == 'X' ? 16 : 10, cchWidth,
                       cchPrecision, fFlags);
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilySizedInts = { "I U X", rtStrFmtSizedInt };
