/*
 * Option values that are UUIDs: 8-4-4-4-12 hex digits, optionally in braces.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>

#include "getopt-internal.h"

namespace {

/* Reads exactly cDigits hex digits at *ppsz. */
bool rtGetOptReadHex(const char **ppsz, unsigned cDigits, uint32_t *pu)
{
    uint32_t u = 0;
    for (unsigned i = 0; i < cDigits; i++)
    {
        unsigned const uDigit = rtGetOptHexValue((*ppsz)[i]);
        if (uDigit >= 16)
            return false;
        u = u << 4 | uDigit;
    }
    *ppsz += cDigits;
    *pu = u;
    return true;
}

bool rtGetOptConvUuid(const char *pszValue, RTOPTIONVALUE *pTmp)
{
    const char *psz = pszValue;
    bool const fBraces = *psz == '{';
    if (fBraces)
        psz++;
    uint32_t u;
    if (!rtGetOptReadHex(&psz, 8, &u) || *psz++ != '-')
        return false;
    pTmp->Uuid.Gen.u32TimeLow = u;
    if (!rtGetOptReadHex(&psz, 4, &u) || *psz++ != '-')
        return false;
    pTmp->Uuid.Gen.u16TimeMid = (uint16_t)u;
    if (!rtGetOptReadHex(&psz, 4, &u) || *psz++ != '-')
        return false;
    pTmp->Uuid.Gen.u16TimeHiAndVersion = (uint16_t)u;
    for (unsigned i = 0; i < 8; i++)
    {
        if (i == 2 && *psz++ != '-')
            return false;
        if (!rtGetOptReadHex(&psz, 2, &u))
            return false;
        pTmp->Uuid.Gen.au8Node[i] = (uint8_t)u;
    }
    if (fBraces && *psz++ != '}')
        return false;
    return *psz == '\0';
}

int rtGetOptConvertUuid(uint32_t, unsigned, bool, const char *pszValue, RTOPTIONVALUE *pTmp,
                        RTOPTIONVALUE *)
{
    return rtGetOptConvUuid(pszValue, pTmp) ? 0 : KERR_OPT_BAD_VALUE_FORMAT;
}

} // namespace

// clang-format off
extern const RTGETOPTVALUEKINDS g_RTGetOptKindsUuid = {
    RTGETOPT_KIND_BIT(RTGETOPT_REQ_UUID),
    rtGetOptConvertUuid
};
// clang-format on
