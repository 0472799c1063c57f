/*
 * The %R type table: sized and runtime integer types (%RX32, %RI64, %RTuint,
 * ...), pointers and registers, booleans, far pointers, IPv4/IPv6/MAC and
 * network addresses, UUIDs and error info records.  The names are looked up
 * by prefix in one sorted table; the record says how wide the argument is and
 * how to print it.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace
{

enum RTFMTKIND : uint32_t
{
    kKindNumber = 0,
    kKindNumberFull,
    kKindBool,
    kKindFar16,
    kKindFar32,
    kKindFar64,
    kKindIPv4,
    kKindIPv6,
    kKindMac,
    kKindNetAddr,
    kKindUuid,
    kKindErrInfoStatus,
    kKindErrInfoMsg,
};

struct RTFMTTYPEREC
{
    uint8_t cchName;
    char szName[11];
    uint8_t cbValue;
    uint8_t uBase;
    RTFMTKIND enmKind;
    uint16_t fFlags;
};

/*
 * Pointer- and register-sized types follow the target: 4 bytes on the 32-bit
 * Windows target, 8 on 64-bit hosts.
 */
constexpr uint8_t kcbPtr = (uint8_t)sizeof(void *);

#define REC(a_sz, a_cb, a_uBase, a_enmKind, a_fFlags) \
    { (uint8_t)(sizeof(a_sz) - 1), a_sz, a_cb, a_uBase, a_enmKind, a_fFlags }

/* Sorted by name, byte order; searched by prefix. */
const RTFMTTYPEREC g_aTypes[] = {
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
    REC("I16", 2, 10, kKindNumber, FMT_F_SIGNED),
    REC("I32", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("I64", 8, 10, kKindNumber, FMT_F_SIGNED),
    REC("I8", 1, 10, kKindNumber, FMT_F_SIGNED),
    REC("Kv", kcbPtr, 16, kKindNumber, FMT_F_HIDEPTR),
    REC("Rv", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tbool", 1, 10, kKindBool, 0),
    REC("Teic", kcbPtr, 16, kKindErrInfoStatus, 0),
    REC("Teim", kcbPtr, 16, kKindErrInfoMsg, 0),
    REC("Tfile", 4, 10, kKindNumber, 0),
    REC("Tfmode", 4, 16, kKindNumberFull, 0),
    REC("Tfoff", 8, 10, kKindNumber, FMT_F_SIGNED),
    REC("Tfp16", 4, 16, kKindFar16, FMT_F_ZEROPAD),
    REC("Tfp32", 6, 16, kKindFar32, FMT_F_ZEROPAD),
    REC("Tfp64", 10, 16, kKindFar64, FMT_F_ZEROPAD),
    REC("Tgid", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("Tino", 8, 16, kKindNumberFull, 0),
    REC("Tint", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("Tiop", 2, 16, kKindNumberFull, 0),
    REC("Tldrm", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tmac", kcbPtr, 16, kKindMac, 0),
    REC("Tnaddr", kcbPtr, 10, kKindNetAddr, 0),
    REC("Tnaipv4", 4, 10, kKindIPv4, 0),
    REC("Tnaipv6", kcbPtr, 16, kKindIPv6, 0),
    REC("Tnthrd", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tproc", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tptr", 8, 16, kKindNumberFull, 0),
    REC("Treg", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tsel", 2, 16, kKindNumberFull, 0),
    REC("Tsem", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tsock", 4, 10, kKindNumber, 0),
    REC("Tthrd", kcbPtr, 16, kKindNumberFull, 0),
    REC("Tuid", 4, 10, kKindNumber, FMT_F_SIGNED),
    REC("Tuint", 4, 10, kKindNumber, 0),
    REC("Tunicp", 4, 16, kKindNumberFull, FMT_F_ZEROPAD),
    REC("Tutf16", 2, 16, kKindNumberFull, FMT_F_ZEROPAD),
    REC("Tuuid", kcbPtr, 16, kKindUuid, 0),
    REC("Txint", 4, 16, kKindNumber, 0),
    REC("U16", 2, 10, kKindNumber, 0),
    REC("U32", 4, 10, kKindNumber, 0),
    REC("U64", 8, 10, kKindNumber, 0),
    REC("U8", 1, 10, kKindNumber, 0),
    REC("X16", 2, 16, kKindNumber, 0),
    REC("X32", 4, 16, kKindNumber, 0),
    REC("X64", 8, 16, kKindNumber, 0),
    REC("X8", 1, 16, kKindNumber, 0),
};
static_assert(RT_ELEMENTS(g_aTypes) == 64, "the lookup starts in the middle of 64 records");

const RTFMTTYPEREC *rtLookupType(const char *pszName)
{
    int iLo = 0;
    int iHi = (int)RT_ELEMENTS(g_aTypes) - 1;
    int i = (int)RT_ELEMENTS(g_aTypes) / 2;
    for (;;)
    {
        const RTFMTTYPEREC *pRec = &g_aTypes[i];
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

size_t rtFmtErrInfo(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pvErrInfo,
                    bool fStatus, unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(pvErrInfo))
        return 0;
    /* Copied: the record may sit at any address, aligned or not. */
    RTFMTERRINFO ErrInfo;
    RTMemCopy(&ErrInfo, pvErrInfo, sizeof(ErrInfo));
    const RTFMTERRINFO *pErrInfo = &ErrInfo;
    if ((pErrInfo->fFlags & RTFMTERRINFO_F_SET_MASK) != RTFMTERRINFO_F_SET)
        return 0;
    size_t cch = 0;
    if (fStatus)
        cch += rtStrFmtStatus(pfnOutput, pvArgOutput, 's', pErrInfo->rc);
    if (pErrInfo->cbMsg)
    {
        cch += rtStrFmtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? " - " : ": ");
        if (rtStrFmtIsBadPtr(pErrInfo->pszMsg))
            cch += rtStrFmtBadPtr(pfnOutput, pvArgOutput, pErrInfo->pszMsg, -1, 0, "!BadStr");
        else
        {
            size_t const cchMsg = RTStrNLen(pErrInfo->pszMsg, pErrInfo->cbMsg);
            if (cchMsg)
                cch += pfnOutput(pvArgOutput, pErrInfo->pszMsg, cchMsg);
        }
    }
    return cch;
}

size_t rtFmtNetAddr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pvAddr)
{
    RTFMTNETADDR Addr;
    RTMemCopy(&Addr, pvAddr, sizeof(Addr));
    const RTFMTNETADDR *pAddr = &Addr;
    switch (pAddr->enmType)
    {
        case RTFMTNETADDR_IPV4:
        {
            size_t cch = rtStrFmtIPv4(pfnOutput, pvArgOutput, pAddr->abAddr);
            if (pAddr->uPort != RTFMTNETADDR_NO_PORT)
                cch += rtStrFmtSub(pfnOutput, pvArgOutput, ":%u", pAddr->uPort);
            return cch;
        }
        case RTFMTNETADDR_IPV6:
            if (pAddr->uPort == RTFMTNETADDR_NO_PORT)
                return rtStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->abAddr);
            return rtStrFmtOut(pfnOutput, pvArgOutput, "[")
                   + rtStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->abAddr)
                   + rtStrFmtSub(pfnOutput, pvArgOutput, "]:%u", pAddr->uPort);
        case RTFMTNETADDR_MAC:
            return rtStrFmtMac(pfnOutput, pvArgOutput, pAddr->abAddr);
        default:
            return rtStrFmtSub(pfnOutput, pvArgOutput, "unsupported-netaddr-type=%u",
                               pAddr->enmType);
    }
}

/* A type table argument: a number, a far pointer's offset and selector, or a pointer. */
struct RTFMTTYPEARG
{
    uint64_t u64;
    uint16_t uSel;
    const void *pv;
};

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
        case kKindErrInfoMsg:
            pArg->pv = va_arg(*pva, const void *);
            break;
        case kKindFar16:
            pArg->u64 = va_arg(*pva, uint32_t);
            break;
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
                       const RTFMTTYPEARG *pArg, int cchWidth, int cchPrecision, unsigned fFlags)
{
    uint64_t u64 = pArg->u64;
    uint16_t uSel = pArg->uSel;
    const void *pv = pArg->pv;
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
            return rtStrFmtNum(pfnOutput, pvArgOutput, u64, pRec->uBase, cchWidth, cchPrecision,
                            fFlags);

        case kKindBool:
            if (u64 == 1)
                return rtStrFmtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? "true " : "true");
            if (u64 == 0)
                return rtStrFmtOut(pfnOutput, pvArgOutput, "false");
            return rtStrFmtSub(pfnOutput, pvArgOutput, "!%lld!", u64);

        case kKindFar16:
        case kKindFar32:
        case kKindFar64:
        {
            unsigned const fUpper = fFlags & FMT_F_UPPER;
            unsigned cchOff = 4;
            if (pRec->enmKind == kKindFar16)
            {
                uSel = (uint16_t)(u64 >> 16);
                u64 &= 0xffff;
            }
            else
                cchOff = pRec->enmKind == kKindFar32 ? 8 : 16;
            size_t cch = rtStrFmtNum(pfnOutput, pvArgOutput, uSel, 16, 4, -1,
                                  fUpper | FMT_F_ZEROPAD | FMT_F_32BIT);
            cch += pfnOutput(pvArgOutput, ":", 1);
            return cch + rtStrFmtNum(pfnOutput, pvArgOutput, u64, 16, (int)cchOff, -1,
                                  fUpper | FMT_F_ZEROPAD | FMT_F_64BIT);
        }

        case kKindIPv4:
        {
            uint32_t const u32 = (uint32_t)u64;
            uint8_t ab[4];
            RTMemCopy(ab, &u32, sizeof(ab));
            return rtStrFmtIPv4(pfnOutput, pvArgOutput, ab);
        }

        case kKindIPv6:
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadIPv6");
            return rtStrFmtIPv6(pfnOutput, pvArgOutput, (const uint8_t *)pv);

        case kKindMac:
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadMac");
            return rtStrFmtMac(pfnOutput, pvArgOutput, (const uint8_t *)pv);

        case kKindNetAddr:
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags,
                                      "!BadNetAddr");
            return rtFmtNetAddr(pfnOutput, pvArgOutput, pv);

        case kKindUuid:
        {
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadUuid");
            const uint8_t *pb = (const uint8_t *)pv;
            uint32_t u32Time;
            uint16_t u16Mid, u16Hi;
            RTMemCopy(&u32Time, pb, 4);
            RTMemCopy(&u16Mid, pb + 4, 2);
            RTMemCopy(&u16Hi, pb + 6, 2);
            return rtStrFmtSub(pfnOutput, pvArgOutput,
                               "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", u32Time, u16Mid,
                               u16Hi, pb[8], pb[9], pb[10], pb[11], pb[12], pb[13], pb[14], pb[15]);
        }

        case kKindErrInfoStatus:
        case kKindErrInfoMsg:
            return rtFmtErrInfo(pfnOutput, pvArgOutput, pv,
                                pRec->enmKind == kKindErrInfoStatus, fFlags);

        default:
            return rtStrFmtNum(pfnOutput, pvArgOutput, u64, pRec->uBase, cchWidth, cchPrecision,
                            fFlags);
    }
}


/* The family handler: look the name up, fetch its argument, print it. */
size_t rtFmtTypeTable(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                      va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    const char *pszName = *ppszFormat + 1;
    const RTFMTTYPEREC *pRec = rtLookupType(pszName);
    if (!pRec)
    {
        *ppszFormat = rtStrFmtStep(pszName);
        return 0;
    }
    *ppszFormat = pszName + pRec->cchName;
    fFlags |= pRec->fFlags;
    RTFMTTYPEARG Arg;
    rtFmtTypeFetch(pRec, pva, &fFlags, &Arg);
    return rtFmtTypeOutput(pfnOutput, pvArgOutput, pRec, &Arg, cchWidth, cchPrecision, fFlags);
}


} // namespace

size_t rtStrFmtIPv4(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "%u.%u.%u.%u", pab[0], pab[1], pab[2], pab[3]);
}

size_t rtStrFmtMac(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "%02x:%02x:%02x:%02x:%02x:%02x", pab[0], pab[1],
                       pab[2], pab[3], pab[4], pab[5]);
}

size_t rtStrFmtIPv6(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    static const uint8_t s_abZero[8] = { 0 };
    bool fIPv4 = false;
    if (!RTMemCmp(pab, s_abZero, 8))
    {
        static const uint8_t s_abMapped[4] = { 0, 0, 0xff, 0xff };
        static const uint8_t s_abMappedAlt[4] = { 0xff, 0xff, 0, 0 };
        static const uint8_t s_abLoop[4] = { 0, 0, 0, 1 };
        if (!RTMemCmp(&pab[8], s_abMapped, 4) || !RTMemCmp(&pab[8], s_abMappedAlt, 4))
            fIPv4 = true;
        else if (!RTMemCmp(&pab[8], s_abZero, 4) && RTMemCmp(&pab[12], s_abZero, 4)
                 && RTMemCmp(&pab[12], s_abLoop, 4))
            fIPv4 = true;
    }
    unsigned const cGroups = fIPv4 ? 6 : 8;
    uint16_t au16[8];
    for (unsigned i = 0; i < 8; i++)
        au16[i] = (uint16_t)((pab[i * 2] << 8) | pab[i * 2 + 1]);

    /* Longest run of two or more zero groups, the leftmost of equals. */
    unsigned iRun = 0, cRun = 0;
    for (unsigned i = 0; i < cGroups && cGroups - i > cRun;)
    {
        if (au16[i])
        {
            i++;
            continue;
        }
        unsigned j = i;
        while (j < cGroups && !au16[j])
            j++;
        if (j - i >= 2 && j - i > cRun)
        {
            iRun = i;
            cRun = j - i;
        }
        i = j;
    }

    size_t cch = 0;
    char szGroup[8];
    if (!cRun)
    {
        for (unsigned i = 0; i < cGroups; i++)
        {
            size_t j = 0;
            if (i)
                szGroup[j++] = ':';
            j += (size_t)RTStrFmtNumber(&szGroup[j], au16[i], 16, -1, -1, FMT_F_32BIT);
            cch += pfnOutput(pvArgOutput, szGroup, j);
        }
    }
    else
    {
        for (unsigned i = 0; i < iRun; i++)
        {
            size_t j = (size_t)RTStrFmtNumber(szGroup, au16[i], 16, -1, -1, FMT_F_32BIT);
            szGroup[j++] = ':';
            cch += pfnOutput(pvArgOutput, szGroup, j);
        }
        if (iRun == 0)
            cch += pfnOutput(pvArgOutput, ":", 1);
        for (unsigned i = iRun + cRun; i < cGroups; i++)
        {
            szGroup[0] = ':';
            size_t j = 1 + (size_t)RTStrFmtNumber(&szGroup[1], au16[i], 16, -1, -1, FMT_F_32BIT);
            cch += pfnOutput(pvArgOutput, szGroup, j);
        }
        if (iRun + cRun == cGroups)
            cch += pfnOutput(pvArgOutput, ":", 1);
    }
    if (fIPv4)
    {
        if (!cRun || iRun + cRun != cGroups)
            cch += pfnOutput(pvArgOutput, ":", 1);
        cch += rtStrFmtIPv4(pfnOutput, pvArgOutput, &pab[12]);
    }
    return cch;
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyTypes = { "CGHIKRTUX", rtFmtTypeTable };
