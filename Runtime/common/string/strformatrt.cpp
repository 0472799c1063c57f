/*
 * The %R extended conversions: sized and runtime integer types, addresses,
 * status and Windows error codes, hex dumps, human-readable sizes, escaping,
 * base names, function names, time spans and control registers.
 *
 * Every handler gets the cursor on the 'R' and moves it itself.  An unknown
 * name stops the cursor one character after 'R' (or as each family says) so
 * that the rest of the name prints as literal text, and takes no argument
 * unless its family always takes one.  Handlers never step over the
 * terminator of a format string that ends inside a name.
 */
#include <zelk/err.h>
#include <zelk/string.h>
#include <zelk/utf.h>

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

#undef REC

/* The time-span table: one record. */
struct RTFMTTIMEREC
{
    uint8_t cchName;
    char szName[15];
    uint8_t cbArg;
    uint32_t fFlags; /* bit 0: the pointer must be valid */
    uint32_t enmKind;
};
const RTFMTTIMEREC g_aTimeTypes[] = {
    { 9, "Dtimespec", kcbPtr, 1, 0 },
};

const char g_achHexLower[] = "0123456789abcdef";

inline size_t rtOut(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz)
{
    return pfnOutput(pvArgOutput, psz, RTStrLen(psz));
}

bool rtIsPrefix(const char *pszText, const char *pszName, size_t cchName)
{
    return RTStrNCmp(pszText, pszName, cchName) == 0;
}

/* The cursor one character past pszFrom, never past a terminator. */
inline const char *rtStep(const char *pszFrom)
{
    return *pszFrom ? pszFrom + 1 : pszFrom;
}

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

size_t rtFmtNum(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, unsigned uBase,
                int cchWidth, int cchPrecision, unsigned fFlags)
{
    char szNum[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, (size_t)cch);
}

size_t rtFmtIPv4(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "%u.%u.%u.%u", pab[0], pab[1], pab[2], pab[3]);
}

size_t rtFmtMac(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "%02x:%02x:%02x:%02x:%02x:%02x", pab[0], pab[1],
                       pab[2], pab[3], pab[4], pab[5]);
}

/*
 * Status codes.
 */

size_t rtFmtUnknownStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, int rc)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "Unknown Status %d (0x%x)", rc, rc);
}

size_t rtFmtStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, int rc)
{
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    switch (chWhat)
    {
        case 'c':
            if (pEntry)
                return RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
            else
            {
                char szNum[RTSTR_FMT_NUM_BUF];
                int const cch = RTStrFmtU32(szNum, sizeof(szNum), (uint32_t)rc, 10, -1, -1,
                                            FMT_F_SIGNED);
                return pfnOutput(pvArgOutput, szNum, (size_t)cch);
            }
        case 's':
        case 'f':
            if (pEntry)
                return RTErrOutputMessage(pEntry, pfnOutput, pvArgOutput);
            return rtFmtUnknownStatus(pfnOutput, pvArgOutput, rc);
        case 'a':
            if (pEntry)
            {
                size_t cch = RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
                cch += rtStrFmtSub(pfnOutput, pvArgOutput, " (%d) - ", rc);
                return cch + RTErrOutputMessage(pEntry, pfnOutput, pvArgOutput);
            }
            return rtFmtUnknownStatus(pfnOutput, pvArgOutput, rc);
        default:
            return 0;
    }
}

/* Windows error codes (and HRESULTs wrapping them): only ERROR_SUCCESS has a name. */
size_t rtFmtWinErr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, uint32_t uErr)
{
    bool const fWrappedSuccess = ((uErr >> 16) & 0x1fff) == 7 && (uErr & 0xffff) == 0;
    switch (chWhat)
    {
        case 'c':
        case 'f':
            if (uErr == 0)
                return rtOut(pfnOutput, pvArgOutput, "ERROR_SUCCESS");
            return rtStrFmtSub(pfnOutput, pvArgOutput, "%s0x%x",
                               fWrappedSuccess ? "ERROR_SUCCESS/" : "", uErr);
        case 'a':
            if (uErr == 0 || fWrappedSuccess)
                return rtStrFmtSub(pfnOutput, pvArgOutput, "ERROR_SUCCESS (0x%x)", uErr);
            return rtStrFmtSub(pfnOutput, pvArgOutput, "Unknown Status 0x%x", uErr);
        default:
            return 0;
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
        cch += rtFmtStatus(pfnOutput, pvArgOutput, 's', pErrInfo->rc);
    if (pErrInfo->cbMsg)
    {
        cch += rtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? " - " : ": ");
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
            size_t cch = rtFmtIPv4(pfnOutput, pvArgOutput, pAddr->abAddr);
            if (pAddr->uPort != RTFMTNETADDR_NO_PORT)
                cch += rtStrFmtSub(pfnOutput, pvArgOutput, ":%u", pAddr->uPort);
            return cch;
        }
        case RTFMTNETADDR_IPV6:
            if (pAddr->uPort == RTFMTNETADDR_NO_PORT)
                return rtStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->abAddr);
            return rtOut(pfnOutput, pvArgOutput, "[")
                   + rtStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->abAddr)
                   + rtStrFmtSub(pfnOutput, pvArgOutput, "]:%u", pAddr->uPort);
        case RTFMTNETADDR_MAC:
            return rtFmtMac(pfnOutput, pvArgOutput, pAddr->abAddr);
        default:
            return rtStrFmtSub(pfnOutput, pvArgOutput, "unsupported-netaddr-type=%u",
                               pAddr->enmType);
    }
}

size_t rtFmtTypeTable(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                      va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags)
{
    const char *pszName = *ppszFormat + 1;
    const RTFMTTYPEREC *pRec = rtLookupType(pszName);
    if (!pRec)
    {
        *ppszFormat = rtStep(pszName);
        return 0;
    }
    *ppszFormat = pszName + pRec->cchName;
    fFlags |= pRec->fFlags;

    /* The pointer kinds take a pointer whatever the target. */
    const void *pv = nullptr;
    uint64_t u64 = 0;
    uint16_t uSel = 0;
    switch (pRec->enmKind)
    {
        case kKindIPv6:
        case kKindMac:
        case kKindNetAddr:
        case kKindUuid:
        case kKindErrInfoStatus:
        case kKindErrInfoMsg:
            pv = va_arg(*pva, const void *);
            break;
        case kKindFar16:
            u64 = va_arg(*pva, uint32_t);
            break;
        case kKindFar32:
        {
            RTFMTFAR32 const Far = va_arg(*pva, RTFMTFAR32);
            u64 = Far.off;
            uSel = Far.sel;
            break;
        }
        case kKindFar64:
        {
            RTFMTFAR64 const Far = va_arg(*pva, RTFMTFAR64);
            u64 = Far.off;
            uSel = Far.sel;
            break;
        }
        default:
            if (fFlags & FMT_F_SIGNED)
            {
                if (pRec->cbValue >= 8)
                {
                    u64 = va_arg(*pva, uint64_t);
                    fFlags |= FMT_F_64BIT;
                }
                else
                {
                    u64 = (uint64_t)(int64_t)va_arg(*pva, int);
                    fFlags |= pRec->cbValue == 1 ? FMT_F_8BIT
                              : pRec->cbValue == 2 ? FMT_F_16BIT
                                                   : FMT_F_32BIT;
                }
            }
            else if (pRec->cbValue == 1)
            {
                u64 = (uint8_t)va_arg(*pva, unsigned);
                fFlags |= FMT_F_8BIT;
            }
            else if (pRec->cbValue == 2)
            {
                u64 = (uint16_t)va_arg(*pva, unsigned);
                fFlags |= FMT_F_16BIT;
            }
            else if (pRec->cbValue == 4)
            {
                u64 = va_arg(*pva, uint32_t);
                fFlags |= FMT_F_32BIT;
            }
            else
            {
                u64 = va_arg(*pva, uint64_t);
                fFlags |= FMT_F_64BIT;
            }
            break;
    }

    if (fFlags & FMT_F_HIDEPTR)
        return rtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? "0xXXXXXXXX" : "XXXXXXXX");

    switch (pRec->enmKind)
    {
        case kKindNumberFull:
            if (cchWidth < 0)
            {
                cchWidth = pRec->cbValue * 2 + (fFlags & FMT_F_ALT ? 2 : 0);
                fFlags |= FMT_F_ZEROPAD;
            }
            return rtFmtNum(pfnOutput, pvArgOutput, u64, pRec->uBase, cchWidth, cchPrecision,
                            fFlags);

        case kKindBool:
            if (u64 == 1)
                return rtOut(pfnOutput, pvArgOutput, fFlags & FMT_F_ALT ? "true " : "true");
            if (u64 == 0)
                return rtOut(pfnOutput, pvArgOutput, "false");
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
            size_t cch = rtFmtNum(pfnOutput, pvArgOutput, uSel, 16, 4, -1,
                                  fUpper | FMT_F_ZEROPAD | FMT_F_32BIT);
            cch += pfnOutput(pvArgOutput, ":", 1);
            return cch + rtFmtNum(pfnOutput, pvArgOutput, u64, 16, (int)cchOff, -1,
                                  fUpper | FMT_F_ZEROPAD | FMT_F_64BIT);
        }

        case kKindIPv4:
        {
            uint32_t const u32 = (uint32_t)u64;
            uint8_t ab[4];
            RTMemCopy(ab, &u32, sizeof(ab));
            return rtFmtIPv4(pfnOutput, pvArgOutput, ab);
        }

        case kKindIPv6:
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadIPv6");
            return rtStrFmtIPv6(pfnOutput, pvArgOutput, (const uint8_t *)pv);

        case kKindMac:
            if (rtStrFmtIsBadPtr(pv))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadMac");
            return rtFmtMac(pfnOutput, pvArgOutput, (const uint8_t *)pv);

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
            return rtFmtNum(pfnOutput, pvArgOutput, u64, pRec->uBase, cchWidth, cchPrecision,
                            fFlags);
    }
}

/*
 * Hex strings and dumps.
 */

struct RTFMTHEX
{
    PFNRTFMTOUTPUT pfnOutput;
    void *pvArgOutput;
    const uint8_t *pb;
    size_t cb;
    uint64_t uAddr;
    int cchAddr;
};

size_t rtFmtHexLine(const RTFMTHEX *pHex, size_t off, size_t cbLine)
{
    size_t cch = rtStrFmtSub(pHex->pfnOutput, pHex->pvArgOutput, "%s%0*llx/%04x:",
                             off ? "\n" : "", pHex->cchAddr, pHex->uAddr + off, (unsigned)off);
    size_t const cbThis = pHex->cb - off < cbLine ? pHex->cb - off : cbLine;
    char ach[4];
    for (size_t i = 0; i < cbLine; i++)
    {
        if (i < cbThis)
        {
            uint8_t const b = pHex->pb[off + i];
            ach[0] = i && i % 8 == 0 ? '-' : ' ';
            ach[1] = g_achHexLower[b >> 4];
            ach[2] = g_achHexLower[b & 0xf];
        }
        else
            ach[0] = ach[1] = ach[2] = ' ';
        cch += pHex->pfnOutput(pHex->pvArgOutput, ach, 3);
    }
    cch += pHex->pfnOutput(pHex->pvArgOutput, " ", 1);
    for (size_t i = 0; i < cbThis; i++)
    {
        uint8_t const b = pHex->pb[off + i];
        ach[0] = b >= 0x20 && b <= 0x7e ? (char)b : '.';
        cch += pHex->pfnOutput(pHex->pvArgOutput, ach, 1);
    }
    return cch;
}

size_t rtFmtHexDump(const RTFMTHEX *pHex, size_t cbLine, bool fDitto)
{
    size_t const cLines = (pHex->cb + cbLine - 1) / cbLine;
    size_t const iLastFull = pHex->cb / cbLine ? pHex->cb / cbLine - 1 : ~(size_t)0;
    size_t cch = 0;
    size_t cSkipped = 0;
    for (size_t iLine = 0; iLine < cLines; iLine++)
    {
        size_t const off = iLine * cbLine;
        if (fDitto && iLine > 0 && iLine < iLastFull
            && !RTMemCmp(&pHex->pb[off], &pHex->pb[off - cbLine], cbLine)
            && (cSkipped || !RTMemCmp(&pHex->pb[off], &pHex->pb[off + cbLine], cbLine)))
        {
            cSkipped++;
            continue;
        }
        if (cSkipped)
        {
            cch += rtStrFmtSub(pHex->pfnOutput, pHex->pvArgOutput, "\n%.*s ****  <ditto x %u>",
                               pHex->cchAddr, "****************", (unsigned)cSkipped);
            cSkipped = 0;
        }
        cch += rtFmtHexLine(pHex, off, cbLine);
    }
    return cch;
}

size_t rtFmtHex(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Cursor on the 'x' or 'X' of "hx"/"hX". */
    const char *psz = *ppszFormat;
    bool const fAddr = *psz == 'X';
    char const chVariant = psz[1];
    *ppszFormat = rtStep(psz + 1);

    RTFMTHEX Hex;
    Hex.pfnOutput = pfnOutput;
    Hex.pvArgOutput = pvArgOutput;
    Hex.pb = va_arg(*pva, const uint8_t *);
    Hex.cb = cchPrecision >= 0 ? (size_t)cchPrecision : 16;
    if (fAddr)
    {
        Hex.uAddr = va_arg(*pva, uint64_t);
        Hex.cchAddr = (Hex.uAddr >> 32) || (Hex.uAddr & 0xffffffff) + Hex.cb > UINT64_C(0xffffffff)
                          ? 16
                          : 8;
    }
    else
    {
        Hex.uAddr = (uintptr_t)Hex.pb;
        Hex.cchAddr = (int)sizeof(void *) * 2;
    }
    if (!Hex.pb)
        return rtOut(pfnOutput, pvArgOutput, "<null>");
    /* A pointer just above zero (an offset from a null base) is never read. */
    if (rtStrFmtIsBadPtr(Hex.pb))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, Hex.pb, -1, 0, "!BadHex");

    switch (chVariant)
    {
        case 's':
        {
            if (!Hex.cb)
                return 0;
            size_t cch;
            if (fAddr)
                cch = rtStrFmtSub(pfnOutput, pvArgOutput, "%0*llx: %02x", Hex.cchAddr, Hex.uAddr,
                                  Hex.pb[0]);
            else
                cch = rtStrFmtSub(pfnOutput, pvArgOutput, "%02x", Hex.pb[0]);
            char const chSep = fFlags & FMT_F_ALT ? '\0' : fFlags & FMT_F_GROUP ? ':' : ' ';
            char ach[3];
            for (size_t i = 1; i < Hex.cb; i++)
            {
                size_t j = 0;
                if (chSep)
                    ach[j++] = chSep;
                ach[j++] = g_achHexLower[Hex.pb[i] >> 4];
                ach[j++] = g_achHexLower[Hex.pb[i] & 0xf];
                cch += pfnOutput(pvArgOutput, ach, j);
            }
            return cch;
        }
        case 'd':
        case 'D':
        {
            if (!Hex.cb)
                return 0;
            size_t const cbLine = cchWidth >= 1 ? (size_t)cchWidth : 16;
            return rtFmtHexDump(&Hex, cbLine, chVariant == 'D');
        }
        default:
            return 0;
    }
}

/*
 * Human-readable sizes.
 */

struct RTFMTSIZEUNIT
{
    char szSuffix[3];
    uint8_t uShift;       /* binary */
    uint64_t uDivisor;    /* decimal */
    uint64_t uMinNoFrac;  /* decimal: threshold without fraction digits */
};

const RTFMTSIZEUNIT g_aBinUnits[] = {
    { "Ei", 60, 0, 0 }, { "Pi", 50, 0, 0 }, { "Ti", 40, 0, 0 },
    { "Gi", 30, 0, 0 }, { "Mi", 20, 0, 0 }, { "Ki", 10, 0, 0 },
};

const RTFMTSIZEUNIT g_aDecUnits[] = {
    { "E", 0, UINT64_C(1000000000000000000), UINT64_C(1010000000000000000) },
    { "P", 0, UINT64_C(1000000000000000), UINT64_C(1010000000000000) },
    { "T", 0, UINT64_C(1000000000000), UINT64_C(1010000000000) },
    { "G", 0, UINT64_C(1000000000), UINT64_C(1010000000) },
    { "M", 0, UINT64_C(1000000), UINT64_C(1010000) },
    { "k", 0, UINT64_C(1000), UINT64_C(1010) },
};

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

size_t rtFmtSize(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                 va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Cursor on the 'c' or 'u' of "hc"/"hu". */
    const char *psz = *ppszFormat;
    bool const fBytes = *psz == 'c';
    char const chKind = psz[1];
    *ppszFormat = rtStep(psz + 1);
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
            pszTmp[4] = g_achHexLower[ch >> 4];
            pszTmp[5] = g_achHexLower[ch & 0xf];
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
        cchRet += rtOut(pfnOutput, pvArgOutput, pszRepl);
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
        case 'a': pfnEscape = rtEscXmlAttr; fQuotes = true; break;
        case 'e': pfnEscape = rtEscXmlElem; break;
        case 'j': pfnEscape = rtEscJson; fQuotes = true; break;
        case 'p': break;
        default:
            *ppszFormat = pszM + 1;
            return 0;
    }
    char const chSub = pszM[2];
    *ppszFormat = rtStep(pszM + 2);
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

/*
 * Base names, big-endian UTF-16, function names.
 */

inline bool rtIsPathSep(char ch)
{
    return ch == '\\' || ch == '/' || ch == ':';
}

size_t rtFmtBaseName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, int cchWidth,
                     unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(psz))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, psz, cchWidth, fFlags, "!BadBaseName");
    size_t const cch = RTStrLen(psz);
    size_t iEnd = cch;
    while (iEnd > 0 && rtIsPathSep(psz[iEnd - 1]))
        iEnd--;
    size_t iStart = 0;
    if (iEnd > 0)
    {
        iStart = iEnd;
        while (iStart > 0 && !rtIsPathSep(psz[iStart - 1]))
            iStart--;
    }
    return cch > iStart ? pfnOutput(pvArgOutput, &psz[iStart], cch - iStart) : 0;
}

const RTUTF16 g_awszNullBE[] = { 0x3c00, 0x4e00, 0x5500, 0x4c00, 0x4c00, 0x3e00, 0 }; /* <NULL> */

size_t rtFmtUtf16BE(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PCRTUTF16 pwsz, int cchWidth,
                    int cchPrecision, unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(pwsz))
        pwsz = g_awszNullBE;
    size_t cwc = 0;
    if (cchPrecision > 0)
        while (cwc < (size_t)cchPrecision && pwsz[cwc])
            cwc++;
    size_t const cPad = cchWidth > 0 && (size_t)cchWidth > cwc ? (size_t)cchWidth - cwc : 0;
    size_t cchRet = 0;
    if (!(fFlags & FMT_F_LEFT))
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cPad);
    PCRTUTF16 pwszEnd = pwsz + cwc;
    while (pwsz < pwszEnd)
    {
        RTUNICP cp;
        /* A high surrogate in the last counted unit would pull in a unit past the limit. */
        uint16_t const wc = (uint16_t)((*pwsz >> 8) | (*pwsz << 8));
        if (pwszEnd - pwsz == 1 && wc >= 0xd800 && wc <= 0xdbff)
        {
            cp = RTUNICP_INVALID;
            pwsz++;
        }
        else
            RTUtf16BEDecodeCp(&pwsz, &cp);
        char ach[8];
        char *pchEnd = RTStrEncodeCp(ach, cp);
        cchRet += pfnOutput(pvArgOutput, ach, (size_t)(pchEnd - ach));
    }
    if (fFlags & FMT_F_LEFT)
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cPad);
    return cchRet;
}

size_t rtFmtFnName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, int cchWidth,
                   unsigned fFlags)
{
    if (rtStrFmtIsBadPtr(psz))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, psz, cchWidth, fFlags, "!BadFnNm");
    const char *pszStart = psz;
    int iDepth = 0;
    while (*psz)
    {
        char const ch = *psz;
        if (ch == ' ' || ch == '\t')
        {
            psz++;
            while (*psz == ' ' || *psz == '\t' || *psz == '(')
                psz++;
            if (*psz && iDepth == 0)
                pszStart = psz;
            continue;
        }
        if (ch == '(')
            break;
        if (ch == '<')
            iDepth++;
        else if (ch == '>')
            iDepth--;
        psz++;
    }
    return psz > pszStart ? pfnOutput(pvArgOutput, pszStart, (size_t)(psz - pszStart)) : 0;
}

/*
 * Control registers.
 */

struct RTFMTBITNAME
{
    uint8_t iBit;
    char szName[12];
};

const RTFMTBITNAME g_aCr0Bits[] = {
    { 0, "PE" }, { 1, "MP" }, { 2, "EM" }, { 3, "DE" }, { 4, "ET" }, { 5, "NE" },
    { 16, "WP" }, { 18, "AM" }, { 29, "NW" }, { 30, "CD" }, { 31, "PG" },
};

const RTFMTBITNAME g_aCr4Bits[] = {
    { 0, "VME" }, { 1, "PVI" }, { 2, "TSD" }, { 3, "DE" }, { 4, "PSE" }, { 5, "PAE" },
    { 6, "MCE" }, { 7, "PGE" }, { 8, "PCE" }, { 9, "OSFXSR" }, { 10, "OSXMMEEXCPT" },
    { 13, "VMXE" }, { 14, "SMXE" }, { 17, "PCIDE" }, { 18, "OSXSAVE" }, { 20, "SMEP" },
    { 21, "SMAP" },
};

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
    size_t cch = rtFmtNum(pfnOutput, pvArgOutput, u64, 16, 8, -1,
                          fFlags | FMT_F_ZEROPAD | FMT_F_64BIT);
    uint64_t fLeft = u64;
    bool fAny = false;
    for (size_t i = 0; i < cBits; i++)
    {
        uint64_t const fBit = UINT64_C(1) << paBits[i].iBit;
        if (!(u64 & fBit))
            continue;
        cch += pfnOutput(pvArgOutput, fAny ? "," : "{", 1);
        cch += rtOut(pfnOutput, pvArgOutput, paBits[i].szName);
        fLeft &= ~fBit;
        fAny = true;
    }
    if (fLeft)
    {
        cch += rtOut(pfnOutput, pvArgOutput, fAny ? ",unkn=" : "{unkn=");
        cch += rtFmtNum(pfnOutput, pvArgOutput, fLeft, 16, -1, -1, FMT_F_64BIT);
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
        if ((pRec->fFlags & 1) && rtStrFmtIsBadPtr(pi64))
            return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pi64, cchWidth, fFlags, "!BadRD");
        int64_t i64;
        RTMemCopy(&i64, pi64, sizeof(i64));
        return rtStrFmtSub(pfnOutput, pvArgOutput, "%'lld ns", i64);
    }
    *ppszFormat = rtStep(pszName);
    return 0;
}

} // namespace

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
        cch += rtFmtIPv4(pfnOutput, pvArgOutput, &pab[12]);
    }
    return cch;
}

size_t rtStrFmtExtType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize)
{
    const char *pszR = *ppszFormat;
    char const chFamily = pszR[1];
    switch (chFamily)
    {
        case 'C': case 'G': case 'H': case 'I': case 'K': case 'R': case 'T': case 'U': case 'X':
            return rtFmtTypeTable(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                                  fFlags);

        case 'A':
            *ppszFormat = pszR + 1;
            return rtFmtCtrlReg(pfnOutput, pvArgOutput, ppszFormat, pva, fFlags);

        case 'D':
            *ppszFormat = pszR + 1;
            return rtFmtTimeType(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, fFlags);

        case 'M':
            *ppszFormat = pszR + 1;
            return rtFmtEscape(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                               fFlags);

        case 'b':
        {
            char const ch = pszR[2];
            *ppszFormat = rtStep(pszR + 2);
            if (ch == 'n')
                return rtFmtBaseName(pfnOutput, pvArgOutput, va_arg(*pva, const char *), cchWidth,
                                     fFlags);
            if (ch == 's')
            {
                PCRTUTF16 pwsz = va_arg(*pva, PCRTUTF16);
                if (chArgSize == 'l')
                    return rtFmtUtf16BE(pfnOutput, pvArgOutput, pwsz, cchWidth, cchPrecision,
                                        fFlags);
            }
            return 0;
        }

        case 'f':
        {
            char const ch = pszR[2];
            *ppszFormat = rtStep(pszR + 2);
            if (ch == 'n')
                return rtFmtFnName(pfnOutput, pvArgOutput, va_arg(*pva, const char *), cchWidth,
                                   fFlags);
            return 0;
        }

        case 'h':
        {
            char const ch = pszR[2];
            switch (ch)
            {
                case 'x':
                case 'X':
                    *ppszFormat = pszR + 2;
                    return rtFmtHex(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth,
                                    cchPrecision, fFlags);
                case 'c':
                case 'u':
                    *ppszFormat = pszR + 2;
                    return rtFmtSize(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth,
                                     cchPrecision, fFlags);
                case 'r':
                {
                    char const chWhat = pszR[3];
                    *ppszFormat = rtStep(pszR + 3);
                    return rtFmtWinErr(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, uint32_t));
                }
                default:
                    *ppszFormat = rtStep(pszR + 2);
                    return 0;
            }
        }

        case 'r':
        {
            char const chWhat = pszR[2];
            *ppszFormat = rtStep(pszR + 2);
            return rtFmtStatus(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, int));
        }

        case 'w':
        {
            char const chWhat = pszR[2];
            *ppszFormat = rtStep(pszR + 2);
            return rtFmtWinErr(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, uint32_t));
        }

        default:
            *ppszFormat = rtStep(pszR + 1);
            return 0;
    }
}
