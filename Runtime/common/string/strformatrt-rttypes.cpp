/*
 * The runtime types of the %R type table, %RT*: integer types of the system
 * (%RTfile, %RTuint, ...), booleans, far pointers, IPv4, IPv6, MAC and network
 * addresses, UUIDs and error info records.
 */
#include <zelk/err.h>
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
const RTFMTTYPEREC g_aRtTypes[] = {
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
};
// clang-format on

#undef REC

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
        cch += rtStrFmtStatusMessage(pfnOutput, pvArgOutput, false, pErrInfo->rc);
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
        case RTFMTNETADDR_MAC: return rtStrFmtMac(pfnOutput, pvArgOutput, pAddr->abAddr);
        default:
            return rtStrFmtSub(pfnOutput, pvArgOutput, "unsupported-netaddr-type=%u",
                               pAddr->enmType);
    }
}

size_t rtFmtRtTypeKind(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const RTFMTTYPEREC *pRec,
                       const RTFMTTYPEARG *pArg, int cchWidth, unsigned fFlags)
{
    uint64_t u64 = pArg->u64;
    uint16_t uSel = pArg->uSel;
    const void *pv = pArg->pv;
    switch (pRec->enmKind)
    {
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
            return cch
                   + rtStrFmtNum(pfnOutput, pvArgOutput, u64, 16, (int)cchOff, -1,
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
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadNetAddr");
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
            return rtFmtErrInfo(pfnOutput, pvArgOutput, pv, pRec->enmKind == kKindErrInfoStatus,
                                fFlags);

        default: return 0;
    }
}

size_t rtFmtFamilyRtTypes(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                          va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    return rtStrFmtTypeTable(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                             fFlags, g_aRtTypes, RT_ELEMENTS(g_aRtTypes), rtFmtRtTypeKind);
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

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyRtTypes = { "T", rtFmtFamilyRtTypes };
