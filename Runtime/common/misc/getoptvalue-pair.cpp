/*
 * Option values that are pairs of 32 or 64 bit numbers, "first/second" (or
 * ':' or '|' between them, blanks allowed); the optional kinds take a lone
 * first number and give the second its maximum.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>

#include "getopt-internal.h"
#include <zelk/strtonum.h>

namespace {

int rtGetOptReadPairNumber(const char *psz, const char **ppszNext, unsigned uBase, bool f64,
                           uint64_t *pu)
{
    if (rtGetOptHasHexPrefix(psz))
        uBase = 16;
    if (f64)
        return RTStrToUInt64Ex(psz, ppszNext, uBase, pu);
    uint32_t u32 = 0;
    int const rc = RTStrToUInt32Ex(psz, ppszNext, uBase, &u32);
    *pu = u32;
    return rc;
}

bool rtGetOptConvPair(const char *pszValue, unsigned uBase, uint32_t uKind, RTOPTIONVALUE *pTmp)
{
    bool const f64 = uKind == RTGETOPT_REQ_UINT64_PAIR
                     || uKind == RTGETOPT_REQ_UINT64_OPTIONAL_PAIR;
    bool const fOptional = uKind == RTGETOPT_REQ_UINT32_OPTIONAL_PAIR
                           || uKind == RTGETOPT_REQ_UINT64_OPTIONAL_PAIR;
    uint64_t uFirst = 0;
    uint64_t uSecond = f64 ? UINT64_MAX : UINT32_MAX;
    const char *pszNext = pszValue;
    int rc = rtGetOptReadPairNumber(pszValue, &pszNext, uBase, f64, &uFirst);
    if (RT_FAILURE(rc) || rc == KWRN_NUMBER_TOO_BIG)
        return false;

    const char *psz = rtGetOptSkipBlanks(pszNext);
    if (*psz == '/' || *psz == ':' || *psz == '|')
        psz = rtGetOptSkipBlanks(psz + 1);
    if (psz == pszNext)
    {
        /* No separator: only a lone first number is a (half) pair, "5x" is not. */
        if (*psz != '\0' || !fOptional)
            return false;
    }
    else if (rtGetOptReadPairNumber(psz, nullptr, uBase, f64, &uSecond) != 0)
        return false;

    if (f64)
    {
        pTmp->PairU64.uFirst = uFirst;
        pTmp->PairU64.uSecond = uSecond;
    }
    else
    {
        pTmp->PairU32.uFirst = (uint32_t)uFirst;
        pTmp->PairU32.uSecond = (uint32_t)uSecond;
    }
    return true;
}

int rtGetOptConvertPair(uint32_t uKind, unsigned uBase, bool, const char *pszValue,
                        RTOPTIONVALUE *pTmp, RTOPTIONVALUE *)
{
    return rtGetOptConvPair(pszValue, uBase, uKind, pTmp) ? 0 : KERR_OPT_BAD_VALUE_FORMAT;
}

} // namespace

// clang-format off
extern const RTGETOPTVALUEKINDS g_RTGetOptKindsPair = {
    RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT32_PAIR) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT64_PAIR)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT32_OPTIONAL_PAIR)
        | RTGETOPT_KIND_BIT(RTGETOPT_REQ_UINT64_OPTIONAL_PAIR),
    rtGetOptConvertPair
};
// clang-format on
