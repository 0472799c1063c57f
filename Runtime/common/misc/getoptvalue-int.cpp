/*
 * Integer option values of 8 to 64 bits: the whole text must be the number
 * and fit the width.  Without an explicit radix a "0x" prefix that fails as
 * decimal is read as hex.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>

#include "getopt-internal.h"
#include <zelk/strtonum.h>

namespace {

/* Reads a whole integer of the kind's width in the given base into pTmp. */
int rtGetOptReadInt(const char *psz, unsigned uBase, uint32_t uKind, RTOPTIONVALUE *pTmp)
{
    switch (uKind)
    {
        case RTGETOPT_REQ_INT8: return RTStrToInt8Ex(psz, nullptr, uBase, &pTmp->i8);
        case RTGETOPT_REQ_UINT8: return RTStrToUInt8Ex(psz, nullptr, uBase, &pTmp->u8);
        case RTGETOPT_REQ_INT16: return RTStrToInt16Ex(psz, nullptr, uBase, &pTmp->i16);
        case RTGETOPT_REQ_UINT16: return RTStrToUInt16Ex(psz, nullptr, uBase, &pTmp->u16);
        case RTGETOPT_REQ_INT32: return RTStrToInt32Ex(psz, nullptr, uBase, &pTmp->i32);
        case RTGETOPT_REQ_UINT32: return RTStrToUInt32Ex(psz, nullptr, uBase, &pTmp->u32);
        case RTGETOPT_REQ_INT64: return RTStrToInt64Ex(psz, nullptr, uBase, &pTmp->i64);
        default: return RTStrToUInt64Ex(psz, nullptr, uBase, &pTmp->u64);
    }
}

int rtGetOptConvertInt(uint32_t uKind, unsigned uBase, bool fRadix, const char *pszValue,
                       RTOPTIONVALUE *pTmp, RTOPTIONVALUE *)
{
    int rc = rtGetOptReadInt(pszValue, uBase, uKind, pTmp);
    if (rc != 0 && !fRadix && rtGetOptHasHexPrefix(pszValue))
        rc = rtGetOptReadInt(pszValue, 16, uKind, pTmp);
    return rc == 0 ? 0 : KERR_OPT_BAD_VALUE_FORMAT;
}

} // namespace

// clang-format off
extern const RTGETOPTVALUEKINDS g_RTGetOptKindsInt = {
    RTGETOPT_KIND_BIT(RTGETOPT_REQ_INT8) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT8)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_INT16) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT16)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_INT32) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT32)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_INT64) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT64),
    rtGetOptConvertInt
};
// clang-format on
