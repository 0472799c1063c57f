/*
 * Reading integers from text, for every width and signedness through one
 * reader: the magnitude is gathered in 64 bits, then the sign and the range
 * of the requested width decide the status.
 */
#include <zelk/err.h>
#include <zelk/strtonum.h>

#include "ascii-internal.h"

namespace {

bool rtStrIsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

/*
 * The common reader.  *pu receives the value as cBits-wide two's complement
 * bits (zero-extended to 64).
 */
int rtStrToNum(const char *pszValue, const char **ppszNext, unsigned uBase, unsigned cBits,
               bool fSigned, uint64_t *pu)
{
    if (uBase == 1 || uBase > 36)
        return KERR_INVALID_PARAMETER;

    const char *psz = pszValue;
    bool fNegative = false;
    if (*psz == '+' || *psz == '-')
        fNegative = *psz++ == '-';

    /* A prefix counts only with a digit after it, so "0x" alone reads as 0 followed by "x". */
    bool const fHexPrefix = psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X')
                            && rtAsciiDigitValue(psz[2]) < 16;
    if (uBase == 0)
    {
        if (fHexPrefix)
            uBase = 16;
        else if (psz[0] == '0' && psz[1] >= '0' && psz[1] <= '9')
            uBase = 8;
        else
            uBase = 10;
    }
    if (uBase == 16 && fHexPrefix)
        psz += 2;

    uint64_t uMagnitude = 0;
    bool fOverflow = false;
    const char *pszDigits = psz;
    for (;; psz++)
    {
        unsigned const uDigit = rtAsciiDigitValue(*psz);
        if (uDigit >= uBase)
            break;
        /* Both steps always run, so an overflowing number keeps its low bits. */
        bool const fMulOverflow = __builtin_mul_overflow(uMagnitude, (uint64_t)uBase, &uMagnitude);
        bool const fAddOverflow = __builtin_add_overflow(uMagnitude, (uint64_t)uDigit, &uMagnitude);
        if (fMulOverflow || fAddOverflow)
            fOverflow = true;
    }
    if (psz == pszDigits)
        return KERR_NO_DIGITS;

    uint64_t const fWidthMask = cBits >= 64 ? UINT64_MAX : (UINT64_C(1) << cBits) - 1;
    if (!fOverflow)
    {
        if (!fSigned)
            fOverflow = uMagnitude > fWidthMask || (fNegative && uMagnitude != 0);
        else
        {
            /* The negative side reaches one further: -128 fits 8 bits, 128 does not. */
            uint64_t const uMaxPositive = fWidthMask >> 1;
            fOverflow = uMagnitude > uMaxPositive + (fNegative ? 1 : 0);
        }
    }

    uint64_t const uValue = fNegative ? 0 - uMagnitude : uMagnitude;
    if (pu)
        *pu = uValue & fWidthMask;
    if (ppszNext)
        *ppszNext = psz;

    if (fOverflow)
        return KWRN_NUMBER_TOO_BIG;
    if (!*psz)
        return 0;
    while (rtStrIsBlank(*psz))
        psz++;
    return *psz ? KWRN_TRAILING_CHARS : KWRN_TRAILING_SPACES;
}

} // namespace

int RTStrToUInt64Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint64_t *pu64)
{
    return rtStrToNum(pszValue, ppszNext, uBase, 64, false, pu64);
}

int RTStrToUInt32Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint32_t *pu32)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 32, false, &u);
    if (RT_SUCCESS(rc) && pu32)
        *pu32 = (uint32_t)u;
    return rc;
}

int RTStrToUInt16Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint16_t *pu16)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 16, false, &u);
    if (RT_SUCCESS(rc) && pu16)
        *pu16 = (uint16_t)u;
    return rc;
}

int RTStrToUInt8Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint8_t *pu8)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 8, false, &u);
    if (RT_SUCCESS(rc) && pu8)
        *pu8 = (uint8_t)u;
    return rc;
}

int RTStrToInt64Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int64_t *pi64)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 64, true, &u);
    if (RT_SUCCESS(rc) && pi64)
        *pi64 = (int64_t)u;
    return rc;
}

int RTStrToInt32Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int32_t *pi32)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 32, true, &u);
    if (RT_SUCCESS(rc) && pi32)
        *pi32 = (int32_t)(uint32_t)u;
    return rc;
}

int RTStrToInt16Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int16_t *pi16)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 16, true, &u);
    if (RT_SUCCESS(rc) && pi16)
        *pi16 = (int16_t)(uint16_t)u;
    return rc;
}

int RTStrToInt8Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int8_t *pi8)
{
    uint64_t u = 0;
    int const rc = rtStrToNum(pszValue, ppszNext, uBase, 8, true, &u);
    if (RT_SUCCESS(rc) && pi8)
        *pi8 = (int8_t)(uint8_t)u;
    return rc;
}
