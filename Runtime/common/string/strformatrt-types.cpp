/*
 * The %R type tables' shared machinery - lookup by prefix, argument fetch by
 * the record's width and kind, number output - and the integer family: %RC*
 * %RG* %RH* (context, guest, host), %RK* (kernel addresses, hidden) and %RR*
 * (register values) from the table here, %RI* %RU* %RX* (signed, unsigned,
 * hex of 8 to 64 bits) from the sized integers' own decoder.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

/*
 * Pointer- and register-sized types follow the target: 4 bytes on the 32-bit
 * Windows target, 8 on 64-bit hosts.
 */
constexpr uint8_t kcbPtr = (uint8_t)sizeof(void *);

#define REC RTFMTTYPEREC_INIT

/* Sorted by name, byte order; searched by prefix. */
// clang-format off
const RTFMTTYPEREC g_aIntTypes[] = {
    REC("Ci", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("Cp", 8, 16, kKindNumberFull, 0),
    REC("Cr", kcbPtr, 16, kKindNumberFull, 0),
    REC("Cu", 4, 10, kKindNumber, 0),
    REC("Cv", kcbPtr, 16, kKindNumberFull, 0),
    REC("Cx", 4, 16, kKindNumber, 0),
    REC("Gi", 8, 10, kKindNumber, FMT_F_SIGNED),
    REC("Gp", 8, 16, kKindNumberFull, 0),
    REC("Gr", 8, 16, kKindNumberFull, 0),
    REC("Gu", 8, 10, kKindNumber, 0),
    REC("Gv", 8, 16, kKindNumberFull, 0),
    REC("Gx", 8, 16, kKindNumber, 0),
    REC("Hi", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("Hp", 8, 16, kKindNumberFull, 0),
    REC("Hr", kcbPtr, 16, kKindNumberFull, 0),
    REC("Hu", 4, 10, kKindNumber, 0),
    REC("Hv", kcbPtr, 16, kKindNumberFull, 0),
    REC("Hx", 4, 16, kKindNumber, 0),
    REC("Kv", kcbPtr, 16, kKindNumber, FMT_F_HIDEPTR),
    REC("Rv", kcbPtr, 16, kKindNumberFull, 0),
};
// clang-format on

#undef REC

const RTFMTTYPEREC *rtLookupType(const RTFMTTYPEREC *paTypes, size_t cTypes, const char *pszName)
{
    int iLo = 0;
    int iHi = (int)cTypes - 1;
    int i = (int)cTypes / 2;
    for (;;)
    {
        const RTFMTTYPEREC *pRec = &paTypes[i];
        int const iDiff = RTStrNCmp(pszName, pRec->szName, pRec->cchName);
        if (!iDiff)
            return pRec;
        if (iDiff < 0)
            iHi = i - 1;
        else
            iLo = i + 1;
        if (iLo > iHi)
            return nullptr;
        i = iLo + (iHi - iLo) / 2;
    }
}

/*
 * Error info and the integer/address type table.
 */

/* Fetches the argument of pRec; the pointer kinds take a pointer whatever the target. */
void rtFmtTypeFetch(const RTFMTTYPEREC *pRec, va_list *pva, unsigned *pfFlags, RTFMTTYPEARG *pArg)
{
    pArg->u64 = 0;
    pArg->uSel = 0;
    pArg->pv = nullptr;
    switch (pRec->enmKind)
    {
        case kKindIPv6:
        case kKindMac:
        case kKindNetAddr:
        case kKindUuid:
        case kKindErrInfoStatus:
        case kKindErrInfoMsg: pArg->pv = va_arg(*pva, const void *); break;
        case kKindFar16: pArg->u64 = va_arg(*pva, uint32_t); break;
        case kKindFar32:
        {
            RTFMTFAR32 const Far = va_arg(*pva, RTFMTFAR32);
            pArg->u64 = Far.off;
            pArg->uSel = Far.sel;
            break;
        }
        case kKindFar64:
        {
            RTFMTFAR64 const Far = va_arg(*pva, RTFMTFAR64);
            pArg->u64 = Far.off;
            pArg->uSel = Far.sel;
            break;
        }
        default:
            pArg->u64 = rtStrFmtFetchInt(pva, pRec->cbValue, (*pfFlags & FMT_F_SIGNED) != 0,
                                         pfFlags);
            break;
    }
}

size_t rtFmtTypeOutput(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const RTFMTTYPEREC *pRec,
                       const RTFMTTYPEARG *pArg, int cchWidth, int cchPrecision, unsigned fFlags,
                       FNRTFMTTYPEKIND *pfnKind)
{
    if (fFlags & FMT_F_HIDEPTR)
        return rtStrFmtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? "0xXXXXXXXX" : "XXXXXXXX");

    switch (pRec->enmKind)
    {
        case kKindNumberFull:
            if (cchWidth < 0)
            {
                cchWidth = pRec->cbValue * 2 + (fFlags & FMT_F_ALT ? 2 : 0);
                fFlags |= FMT_F_ZEROPAD;
            }
            return rtStrFmtNum(pfnOutput, pvArgOutput, pArg->u64, pRec->uBase, cchWidth,
                               cchPrecision, fFlags);

        case kKindNumber:
            return rtStrFmtNum(pfnOutput, pvArgOutput, pArg->u64, pRec->uBase, cchWidth,
                               cchPrecision, fFlags);

        default: return pfnKind(pfnOutput, pvArgOutput, pRec, pArg, cchWidth, fFlags);
    }
}

size_t rtFmtFamilyInts(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize)
{
    char const chKind = (*ppszFormat)[1];
    if (chKind == 'I' || chKind == 'U' || chKind == 'X')
        return rtStrFmtSizedInt(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                                fFlags, chArgSize);
    return rtStrFmtTypeTable(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                             fFlags, g_aIntTypes, RT_ELEMENTS(g_aIntTypes), nullptr);
}

} // namespace

size_t rtStrFmtTypeTable(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                         va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                         const RTFMTTYPEREC *paTypes, size_t cTypes, FNRTFMTTYPEKIND *pfnKind)
{
    const char *pszName = *ppszFormat + 1;
    const RTFMTTYPEREC *pRec = rtLookupType(paTypes, cTypes, pszName);
    if (!pRec)
    {
        *ppszFormat = rtStrFmtStep(pszName);
        return 0;
    }
    *ppszFormat = pszName + pRec->cchName;
    fFlags |= pRec->fFlags;
    RTFMTTYPEARG Arg;
    rtFmtTypeFetch(pRec, pva, &fFlags, &Arg);
    return rtFmtTypeOutput(pfnOutput, pvArgOutput, pRec, &Arg, cchWidth, cchPrecision, fFlags,
                           pfnKind);
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyInts = { "C G H I K R U X", rtFmtFamilyInts };
