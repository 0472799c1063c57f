/*
 * %RA: x86 control registers with their bits named (%RAx86[cr0], %RAx86[cr4]);
 * %RD: time spans (%RDtimespec, nanoseconds grouped by thousands).
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

/* The pointer argument must pass the bad-pointer check before it is read. */
#define RTFMTTIME_F_CHECK_PTR 1u

/* The time-span table: one record. */
struct RTFMTTIMEREC
{
    uint8_t cchName;
    char szName[15];
    uint8_t cbArg;
    uint32_t fFlags; /* RTFMTTIME_F_XXX */
    uint32_t enmKind;
};
// clang-format off
const RTFMTTIMEREC g_aTimeTypes[] = {
    { 9, "Dtimespec", (uint8_t)sizeof(void *), RTFMTTIME_F_CHECK_PTR, 0 },
};
// clang-format on

bool rtIsPrefix(const char *pszText, const char *pszName, size_t cchName)
{
    return RTStrNCmp(pszText, pszName, cchName) == 0;
}

/*
 * Control registers.
 */

struct RTFMTBITNAME
{
    uint8_t iBit;
    char szName[12];
};

// clang-format off
const RTFMTBITNAME g_aCr0Bits[] = {
    { 0, "PE" }, { 1, "MP" }, { 2, "EM" }, { 3, "DE" }, { 4, "ET" }, { 5, "NE" },
    { 16, "WP" }, { 18, "AM" }, { 29, "NW" }, { 30, "CD" }, { 31, "PG" },
};
// clang-format on

// clang-format off
const RTFMTBITNAME g_aCr4Bits[] = {
    { 0, "VME" }, { 1, "PVI" }, { 2, "TSD" }, { 3, "DE" }, { 4, "PSE" }, { 5, "PAE" },
    { 6, "MCE" }, { 7, "PGE" }, { 8, "PCE" }, { 9, "OSFXSR" }, { 10, "OSXMMEEXCPT" },
    { 13, "VMXE" }, { 14, "SMXE" }, { 17, "PCIDE" }, { 18, "OSXSAVE" }, { 20, "SMEP" },
    { 21, "SMAP" },
};
// clang-format on

size_t rtFmtCtrlReg(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                    va_list *pva, unsigned fFlags)
{
    /* Cursor on the 'A'. */
    const char *pszA = *ppszFormat;
    const char *pszClose = pszA + 1;
    while (*pszClose && *pszClose != ']')
        pszClose++;
    if (!*pszClose)
    {
        *ppszFormat = pszA + 1;
        return 0;
    }
    *ppszFormat = pszClose + 1;
    size_t const cchRegName = (size_t)(pszClose - (pszA + 1));
    if (cchRegName != 7 || !rtIsPrefix(pszA + 1, "x86[cr", 6) || (pszA[7] != '0' && pszA[7] != '4'))
        return 0;
    const RTFMTBITNAME *paBits = pszA[7] == '0' ? g_aCr0Bits : g_aCr4Bits;
    size_t const cBits = pszA[7] == '0' ? RT_ELEMENTS(g_aCr0Bits) : RT_ELEMENTS(g_aCr4Bits);

    uint64_t const u64 = va_arg(*pva, uint64_t);
    size_t cch = rtStrFmtNum(pfnOutput, pvArgOutput, u64, 16, 8, -1,
                             fFlags | FMT_F_ZEROPAD | FMT_F_64BIT);
    uint64_t fLeft = u64;
    bool fAny = false;
    for (size_t i = 0; i < cBits; i++)
    {
        uint64_t const fBit = UINT64_C(1) << paBits[i].iBit;
        if (!(u64 & fBit))
            continue;
        cch += pfnOutput(pvArgOutput, fAny ? "," : "{", 1);
        cch += rtStrFmtOut(pfnOutput, pvArgOutput, paBits[i].szName);
        fLeft &= ~fBit;
        fAny = true;
    }
    if (fLeft)
    {
        cch += rtStrFmtOut(pfnOutput, pvArgOutput, fAny ? ",unkn=" : "{unkn=");
        cch += rtStrFmtNum(pfnOutput, pvArgOutput, fLeft, 16, -1, -1, FMT_F_64BIT);
        fAny = true;
    }
    if (fAny)
        cch += pfnOutput(pvArgOutput, "}", 1);
    return cch;
}

/*
 * Time spans.
 */

size_t rtFmtTimeType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                     va_list *pva, int cchWidth, unsigned fFlags)
{
    /* Cursor on the 'D'. */
    const char *pszName = *ppszFormat;
    for (size_t i = 0; i < RT_ELEMENTS(g_aTimeTypes); i++)
    {
        const RTFMTTIMEREC *pRec = &g_aTimeTypes[i];
        if (!rtIsPrefix(pszName, pRec->szName, pRec->cchName))
            continue;
        *ppszFormat = pszName + pRec->cchName;
        const int64_t *pi64 = va_arg(*pva, const int64_t *);
        if ((pRec->fFlags & RTFMTTIME_F_CHECK_PTR) && rtStrFmtIsBadPtr(pi64))
            return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pi64, cchWidth, fFlags, "!BadRD");
        int64_t i64;
        RTMemCopy(&i64, pi64, sizeof(i64));
        return rtStrFmtSub(pfnOutput, pvArgOutput, "%'lld ns", i64);
    }
    *ppszFormat = rtStrFmtStep(pszName);
    return 0;
}

size_t rtFmtFamilyMisc(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int, unsigned fFlags, char)
{
    bool const fCtrlReg = (*ppszFormat)[1] == 'A';
    *ppszFormat += 1;
    if (fCtrlReg)
        return rtFmtCtrlReg(pfnOutput, pvArgOutput, ppszFormat, pva, fFlags);
    return rtFmtTimeType(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, fFlags);
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyMisc = { "A D", rtFmtFamilyMisc };
