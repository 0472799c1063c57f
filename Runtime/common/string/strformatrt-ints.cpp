/*
 * The sized integers: %RI8 to %RI64 (signed decimal), %RU8 to %RU64 (unsigned
 * decimal) and %RX8 to %RX64 (lower-case hex).  The name spells the kind and
 * the width, so it is decoded as it stands rather than looked up in a type
 * table; a program that prints no other %R integers links only this.
 */
#include "strformat-internal.h"

size_t rtStrFmtSizedInt(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                        va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    const char *pszName = *ppszFormat + 1;
    const char *pszBits = pszName + 1;
    /* pszBits[1] is read only after a digit, never past the terminator. */
    unsigned cbValue = 0;
    if (pszBits[0] == '8')
        cbValue = 1;
    else if (pszBits[0] == '1' && pszBits[1] == '6')
        cbValue = 2;
    else if (pszBits[0] == '3' && pszBits[1] == '2')
        cbValue = 4;
    else if (pszBits[0] == '6' && pszBits[1] == '4')
        cbValue = 8;
    if (!cbValue)
    {
        *ppszFormat = rtStrFmtStep(pszName);
        return 0;
    }
    *ppszFormat = pszBits + (cbValue == 1 ? 1 : 2);

    bool const fSigned = *pszName == 'I';
    if (fSigned)
        fFlags |= FMT_F_SIGNED;
    uint64_t const u64 = rtStrFmtFetchInt(pva, cbValue, fSigned, &fFlags);
    return rtStrFmtNum(pfnOutput, pvArgOutput, u64, *pszName == 'X' ? 16 : 10, cchWidth,
                       cchPrecision, fFlags);
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilySizedInts = { "I U X", rtStrFmtSizedInt };
