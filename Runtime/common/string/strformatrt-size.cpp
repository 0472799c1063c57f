/*
 * %Rhcb %RhcB %Rhci and %Rhub %RhuB %Rhui: sizes in binary (Ki, Mi, ...) or
 * decimal (k, M, ...) units, with a unit suffix ("B" for %Rhc) and up to three
 * fraction digits (the precision, one by default).
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

struct RTFMTSIZEUNIT
{
    char szSuffix[3];
    uint8_t uShift;      /* binary */
    uint64_t uDivisor;   /* decimal */
    uint64_t uMinNoFrac; /* decimal: threshold without fraction digits */
};

// clang-format off
const RTFMTSIZEUNIT g_aBinUnits[] = {
    { "Ei", 60, 0, 0 }, { "Pi", 50, 0, 0 }, { "Ti", 40, 0, 0 },
    { "Gi", 30, 0, 0 }, { "Mi", 20, 0, 0 }, { "Ki", 10, 0, 0 },
};
// clang-format on

// clang-format off
const RTFMTSIZEUNIT g_aDecUnits[] = {
    { "E", 0, UINT64_C(1000000000000000000), UINT64_C(1010000000000000000) },
    { "P", 0, UINT64_C(1000000000000000), UINT64_C(1010000000000000) },
    { "T", 0, UINT64_C(1000000000000), UINT64_C(1010000000000) },
    { "G", 0, UINT64_C(1000000000), UINT64_C(1010000000) },
    { "M", 0, UINT64_C(1000000), UINT64_C(1010000) },
    { "k", 0, UINT64_C(1000), UINT64_C(1010) },
};
// clang-format on

/* (uRem * uMul) >> cShift without losing the bits above 64; uMul below 2^10. */
uint64_t rtMulShift(uint64_t uRem, unsigned uMul, unsigned cShift)
{
    uint64_t const uLo = (uRem & 0xffffffff) * uMul;
    uint64_t const uHi = (uRem >> 32) * uMul + (uLo >> 32);
    uint64_t const uLo32 = uLo & 0xffffffff;
    if (cShift >= 32)
        return uHi >> (cShift - 32);
    return (uHi << (32 - cShift)) | (uLo32 >> cShift);
}

size_t rtFmtSize(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pva,
                 int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Cursor on the 'c' or 'u' of "hc"/"hu". */
    const char *psz = *ppszFormat;
    bool const fBytes = *psz == 'c';
    char const chKind = psz[1];
    *ppszFormat = rtStrFmtStep(psz + 1);
    if (chKind != 'b' && chKind != 'B' && chKind != 'i')
        return 0;
    uint64_t const u64 = va_arg(*pva, uint64_t);

    unsigned cDigits = 1;
    if (fFlags & FMT_F_PRECISION)
        cDigits = cchPrecision < 0 ? 0 : cchPrecision > 3 ? 3 : (unsigned)cchPrecision;
    unsigned uMul = 1;
    for (unsigned i = 0; i < cDigits; i++)
        uMul *= 10;

    uint64_t uInt = u64;
    uint64_t uFrac = 0;
    const char *pszSuffix = nullptr;
    if (chKind != 'i')
    {
        for (size_t i = 0; i < RT_ELEMENTS(g_aBinUnits); i++)
        {
            unsigned const cShift = g_aBinUnits[i].uShift;
            if (u64 >= (UINT64_C(1) << cShift) * (cDigits ? 1 : 2))
            {
                uInt = u64 >> cShift;
                uFrac = rtMulShift(u64 & ((UINT64_C(1) << cShift) - 1), uMul, cShift);
                pszSuffix = g_aBinUnits[i].szSuffix;
                break;
            }
        }
    }
    else
    {
        for (size_t i = 0; i < RT_ELEMENTS(g_aDecUnits); i++)
        {
            uint64_t const uDiv = g_aDecUnits[i].uDivisor;
            if (u64 >= (cDigits ? uDiv : g_aDecUnits[i].uMinNoFrac))
            {
                uInt = u64 / uDiv;
                /* Digit by digit: the remainder times 10^digits may not fit in 64 bits. */
                uint64_t uRem = u64 % uDiv;
                for (unsigned j = 0; j < cDigits; j++)
                {
                    uRem *= 10;
                    uFrac = uFrac * 10 + uRem / uDiv;
                    uRem %= uDiv;
                }
                if (cDigits && uRem >= uDiv - uDiv / 2)
                    uFrac++;
                /* Rounding up to a whole unit carries: 999999 is 1000.0k, not 999.10k. */
                if (uFrac >= uMul && cDigits)
                {
                    uFrac -= uMul;
                    uInt++;
                }
                pszSuffix = g_aDecUnits[i].szSuffix;
                break;
            }
        }
    }

    char szBuf[80];
    size_t cch = (size_t)RTStrFmtNumber(szBuf, uInt, 10, -1, -1, FMT_F_64BIT);
    if (pszSuffix && cDigits)
    {
        szBuf[cch++] = '.';
        cch += (size_t)RTStrFmtNumber(&szBuf[cch], uFrac, 10, (int)cDigits, -1,
                                      FMT_F_ZEROPAD | FMT_F_32BIT);
    }
    if (fFlags & FMT_F_BLANK)
        szBuf[cch++] = ' ';
    if (pszSuffix)
    {
        szBuf[cch++] = pszSuffix[0];
        if (pszSuffix[1] && chKind != 'B')
            szBuf[cch++] = pszSuffix[1];
    }
    if (fBytes)
        szBuf[cch++] = 'B';

    size_t cchRet = 0;
    if (cchWidth > 0 && (size_t)cchWidth > cch && !(fFlags & FMT_F_LEFT))
    {
        const char *pszPad = fFlags & FMT_F_ZEROPAD ? "0" : " ";
        for (size_t i = cch; i < (size_t)cchWidth; i++)
            cchRet += pfnOutput(pvArgOutput, pszPad, 1);
    }
    return cchRet + pfnOutput(pvArgOutput, szBuf, cch);
}

size_t rtFmtFamilySize(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    *ppszFormat += 2;
    return rtFmtSize(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision, fFlags);
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilySize = { "hc hu", rtFmtFamilySize };
