/*
 * %Rh: hex strings and dumps (%Rhx, %RhX) and HRESULTs (%Rhr, printed as
 * Windows error codes).  The human-readable sizes (%Rhc, %Rhu) are a family of
 * their own, strformatrt-size.cpp.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

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
    size_t cch = rtStrFmtSub(pHex->pfnOutput, pHex->pvArgOutput, "%s%0*llx/%04x:", off ? "\n" : "",
                             pHex->cchAddr, pHex->uAddr + off, (unsigned)off);
    size_t const cbThis = pHex->cb - off < cbLine ? pHex->cb - off : cbLine;
    char ach[4];
    for (size_t i = 0; i < cbLine; i++)
    {
        if (i < cbThis)
        {
            uint8_t const b = pHex->pb[off + i];
            ach[0] = i && i % 8 == 0 ? '-' : ' ';
            ach[1] = g_achRTStrFmtHexLower[b >> 4];
            ach[2] = g_achRTStrFmtHexLower[b & 0xf];
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

size_t rtFmtHex(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pva,
                int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Cursor on the 'x' or 'X' of "hx"/"hX". */
    const char *psz = *ppszFormat;
    bool const fAddr = *psz == 'X';
    char const chVariant = psz[1];
    *ppszFormat = rtStrFmtStep(psz + 1);

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
        return rtStrFmtOut(pfnOutput, pvArgOutput, "<null>");
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
                ach[j++] = g_achRTStrFmtHexLower[Hex.pb[i] >> 4];
                ach[j++] = g_achRTStrFmtHexLower[Hex.pb[i] & 0xf];
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
        default: return 0;
    }
}

size_t rtFmtFamilyHex(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                      va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    const char *pszR = *ppszFormat;
    switch (pszR[2])
    {
        case 'x':
        case 'X':
            *ppszFormat = pszR + 2;
            return rtFmtHex(pfnOutput, pvArgOutput, ppszFormat, pva, cchWidth, cchPrecision,
                            fFlags);
        case 'r':
        {
            char const chWhat = pszR[3];
            *ppszFormat = rtStrFmtStep(pszR + 3);
            return rtStrFmtWinErr(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, uint32_t));
        }
        default: *ppszFormat = rtStrFmtStep(pszR + 2); return 0;
    }
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyHex = { "h", rtFmtFamilyHex };
