/*
 * Option values that are network addresses: an IPv4 address, an IPv4 network
 * in CIDR notation (no host bits set) and a MAC address (colon-separated or
 * twelve hex digits in a row).
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>

#include "getopt-internal.h"

namespace {

/* Reads four dotted decimal octets at *ppsz; leading zeros are refused (no octal guessing). */
bool rtGetOptParseIPv4(const char **ppsz, RTNETADDRIPV4 *pAddr)
{
    const char *psz = *ppsz;
    for (unsigned i = 0; i < 4; i++)
    {
        if (i > 0)
        {
            if (*psz != '.')
                return false;
            psz++;
        }
        if (!rtGetOptIsDigit(*psz) || (psz[0] == '0' && rtGetOptIsDigit(psz[1])))
            return false;
        unsigned uOctet = 0;
        for (unsigned cDigits = 0; rtGetOptIsDigit(*psz); cDigits++, psz++)
        {
            if (cDigits == 3)
                return false;
            uOctet = uOctet * 10 + (unsigned)(*psz - '0');
        }
        if (uOctet > 255)
            return false;
        pAddr->au8[i] = (uint8_t)uOctet;
    }
    *ppsz = psz;
    return true;
}

bool rtGetOptConvIPv4Addr(const char *pszValue, RTOPTIONVALUE *pTmp)
{
    const char *psz = rtGetOptSkipBlanks(pszValue);
    if (!rtGetOptParseIPv4(&psz, &pTmp->IPv4Addr))
        return false;
    return *rtGetOptSkipBlanks(psz) == '\0';
}

bool rtGetOptConvIPv4Cidr(const char *pszValue, RTOPTIONVALUE *pTmp)
{
    const char *psz = rtGetOptSkipBlanks(pszValue);
    RTNETADDRIPV4 Addr;
    if (!rtGetOptParseIPv4(&psz, &Addr))
        return false;
    unsigned cPrefix = 32;
    if (*psz == '/')
    {
        psz++;
        if (!rtGetOptIsDigit(*psz) || (psz[0] == '0' && rtGetOptIsDigit(psz[1])))
            return false;
        cPrefix = 0;
        for (unsigned cDigits = 0; rtGetOptIsDigit(*psz); cDigits++, psz++)
        {
            if (cDigits == 2)
                return false;
            cPrefix = cPrefix * 10 + (unsigned)(*psz - '0');
        }
        if (cPrefix > 32)
            return false;
    }
    if (*rtGetOptSkipBlanks(psz) != '\0')
        return false;

    uint32_t const uAddr = (uint32_t)Addr.au8[0] << 24 | (uint32_t)Addr.au8[1] << 16
                           | (uint32_t)Addr.au8[2] << 8 | Addr.au8[3];
    uint32_t const uMask = cPrefix ? UINT32_MAX << (32 - cPrefix) : 0;
    if (uAddr & ~uMask)
        return false;
    pTmp->CidrNetworkAddr.IPv4Network = Addr;
    for (unsigned i = 0; i < 4; i++)
        pTmp->CidrNetworkAddr.IPv4Netmask.au8[i] = (uint8_t)(uMask >> (24 - 8 * i));
    return true;
}

bool rtGetOptConvMacAddr(const char *pszValue, RTOPTIONVALUE *pTmp)
{
    const char *psz = rtGetOptSkipBlanks(pszValue);
    size_t cHex = 0;
    while (rtGetOptHexValue(psz[cHex]) < 16)
        cHex++;
    if (cHex == 12)
    {
        for (unsigned i = 0; i < 6; i++, psz += 2)
            pTmp->MacAddr.au8[i] = (uint8_t)(rtGetOptHexValue(psz[0]) << 4
                                             | rtGetOptHexValue(psz[1]));
    }
    else
    {
        for (unsigned i = 0; i < 6; i++)
        {
            if (i > 0)
            {
                if (*psz != ':')
                    return false;
                psz++;
            }
            unsigned uByte = 0;
            for (unsigned cDigits = 0; rtGetOptHexValue(*psz) < 16; cDigits++, psz++)
            {
                if (cDigits == 2)
                    return false;
                uByte = uByte << 4 | rtGetOptHexValue(*psz);
            }
            pTmp->MacAddr.au8[i] = (uint8_t)uByte;
        }
    }
    return *rtGetOptSkipBlanks(psz) == '\0';
}

int rtGetOptConvertNet(uint32_t uKind, unsigned, bool, const char *pszValue, RTOPTIONVALUE *pTmp,
                       RTOPTIONVALUE *)
{
    bool const fOk = uKind == RTGETOPT_REQ_IPV4ADDR   ? rtGetOptConvIPv4Addr(pszValue, pTmp)
                     : uKind == RTGETOPT_REQ_IPV4CIDR ? rtGetOptConvIPv4Cidr(pszValue, pTmp)
                                                      : rtGetOptConvMacAddr(pszValue, pTmp);
    return fOk ? 0 : KERR_OPT_BAD_VALUE_FORMAT;
}

} // namespace

// clang-format off
extern const RTGETOPTVALUEKINDS g_RTGetOptKindsNet = {
    RTGETOPT_KIND_BIT(RTGETOPT_REQ_IPV4ADDR) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_IPV4CIDR)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_MACADDR),
    rtGetOptConvertNet
};
// clang-format on
