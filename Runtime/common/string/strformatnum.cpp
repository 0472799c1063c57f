/*
 * Integer and floating-point conversion for the format engine.
 *
 * Every number is built in a 64-byte buffer: padding and precision zeros are
 * capped so that the text never passes 63 characters, whatever the width a
 * format string asks for.  Values that fit in 32 bits are converted with
 * 32-bit arithmetic, which on the 32-bit target avoids a library call per
 * digit.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

constexpr int kcchNumMax = RTSTR_FMT_NUM_BUF - 1;

const char g_achDigitsLower[] = "0123456789abcdef";
const char g_achDigitsUpper[] = "0123456789ABCDEF";

/*
 * Writes the digits of u backwards ending at pchEnd and returns where they
 * start.  Decimal drops to 32-bit arithmetic as soon as the value fits, which
 * on the 32-bit target saves a library call per digit.
 */
char *rtStrFmtDigits(char *pchEnd, uint64_t u, unsigned uBase, const char *pachDigits)
{
    char *pch = pchEnd;
    if (uBase != 10)
    {
        unsigned const cShift = uBase == 16 ? 4 : 3;
        do
        {
            *--pch = pachDigits[u & (uBase - 1)];
            u >>= cShift;
        } while (u);
        return pch;
    }
    while (u > UINT32_MAX)
    {
        *--pch = (char)('0' + (unsigned)(u % 10));
        u /= 10;
    }
    uint32_t u32 = (uint32_t)u;
    do
    {
        *--pch = (char)('0' + u32 % 10);
        u32 /= 10;
    } while (u32);
    return pch;
}

/*
 * Spreads the cDigits digits at pch apart with a space before every group of
 * three from the right, moving them towards the front; returns their new
 * start.  The copy never overtakes what it still has to read.
 */
char *rtStrFmtGroup(char *pch, int cDigits)
{
    char *pchOut = pch - (cDigits - 1) / 3;
    char *const pchStart = pchOut;
    for (int j = 0; j < cDigits; j++)
    {
        if (j && (cDigits - j) % 3 == 0)
            *pchOut++ = ' ';
        *pchOut++ = pch[j];
    }
    return pchStart;
}

int rtStrFmtFinish(char *pszBuf, size_t cbBuf, const char *pszTmp, size_t cch)
{
    if (cch < cbBuf)
    {
        RTMemCopy(pszBuf, pszTmp, cch + 1);
        return (int)cch;
    }
    if (cbBuf)
    {
        RTMemCopy(pszBuf, pszTmp, cbBuf - 1);
        pszBuf[cbBuf - 1] = '\0';
    }
    return KERR_BUFFER_OVERFLOW;
}

/* The sign and the base prefix ("0", "0x", "0X"): at most 3 characters into pach. */
int rtStrFmtNumPrefix(char *pach, bool fNegative, unsigned uBase, unsigned fFlags)
{
    int cch = 0;
    if (fFlags & FMT_F_SIGNED)
    {
        if (fNegative)
            pach[cch++] = '-';
        else if (fFlags & FMT_F_PLUS)
            pach[cch++] = '+';
        else if (fFlags & FMT_F_BLANK)
            pach[cch++] = ' ';
    }
    if (fFlags & FMT_F_ALT)
    {
        if (uBase == 8)
            pach[cch++] = '0';
        else if (uBase == 16)
        {
            pach[cch++] = '0';
            pach[cch++] = fFlags & FMT_F_UPPER ? 'X' : 'x';
        }
    }
    return cch;
}

/* The flags RTStrFmtU32/U64/R64 pass on: everything up to FMT_F_HIDEPTR. */
constexpr unsigned kfFmtPassedFlags = (FMT_F_HIDEPTR << 1) - 1;

/* IEEE 754 binary64: 52 mantissa bits, 11 exponent bits biased by 1023. */
constexpr unsigned kcR64MantissaBits = 52;
constexpr unsigned kuR64ExpMax = 0x7ff; /* infinities and NaNs */
constexpr int kiR64ExpBias = 1023;
constexpr uint64_t kuR64MantissaMask = (UINT64_C(1) << kcR64MantissaBits) - 1;
constexpr uint64_t kfR64QuietNan = UINT64_C(1) << (kcR64MantissaBits - 1);

} // namespace

int RTStrFmtNumber(char *psz, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                   unsigned fFlags)
{
    if (uBase != 8 && uBase != 16)
        uBase = 10;
    const char *pachDigits = fFlags & FMT_F_UPPER ? g_achDigitsUpper : g_achDigitsLower;
    if (fFlags & FMT_F_LEFT)
        fFlags &= ~FMT_F_ZEROPAD;
    bool const fGroup = (fFlags & FMT_F_GROUP) && uBase == 10 && !(fFlags & FMT_F_ZEROPAD);

    bool const f64 = (fFlags & FMT_F_64BIT) || (u64Value >> 32);
    bool fNegative = false;
    if (fFlags & FMT_F_SIGNED)
    {
        if (f64)
        {
            if ((int64_t)u64Value < 0)
            {
                u64Value = 0 - u64Value;
                fNegative = true;
            }
        }
        else if ((int32_t)(uint32_t)u64Value < 0)
        {
            u64Value = 0 - (uint32_t)u64Value;
            fNegative = true;
        }
    }

    /* A negated 32-bit value still fits in 32 bits (2^31 included). */
    char achDigits[32];
    char *pchDigits = rtStrFmtDigits(&achDigits[sizeof(achDigits)], u64Value, uBase, pachDigits);
    int const cDigits = (int)(&achDigits[sizeof(achDigits)] - pchDigits);
    if (fGroup)
        pchDigits = rtStrFmtGroup(pchDigits, cDigits);
    int const cchValue = (int)(&achDigits[sizeof(achDigits)] - pchDigits);

    char achPrefix[4];
    int const cchPrefix = rtStrFmtNumPrefix(achPrefix, fNegative, uBase, fFlags);

    /* Room for everything before the digits. */
    int const cchBeforeMax = kcchNumMax - cchValue;
    int cchLeft = cchWidth - cchValue - cchPrefix;
    int i = 0;
    if (!(fFlags & (FMT_F_ZEROPAD | FMT_F_LEFT)) && cchLeft > 0)
    {
        int cSpaces = cchLeft;
        if (cSpaces > cchBeforeMax - cchPrefix)
            cSpaces = cchBeforeMax - cchPrefix;
        while (i < cSpaces)
            psz[i++] = ' ';
        cchLeft = 0;
    }
    for (int j = 0; j < cchPrefix; j++)
        psz[i++] = achPrefix[j];
    if (fFlags & FMT_F_ZEROPAD)
    {
        while (cchLeft > 0 && i < cchBeforeMax)
        {
            psz[i++] = '0';
            cchLeft--;
            cchPrecision--;
        }
    }
    while (cchPrecision - 1 >= cDigits && i < cchBeforeMax)
    {
        psz[i++] = '0';
        cchPrecision--;
    }

    RTMemCopy(&psz[i], pchDigits, (size_t)cchValue);
    i += cchValue;

    if ((fFlags & FMT_F_LEFT) && cchLeft > 0)
        while (cchLeft-- > 0 && i < kcchNumMax)
            psz[i++] = ' ';
    psz[i] = '\0';
    return i;
}

int RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth,
                int cchPrecision, unsigned fFlags)
{
    fFlags = (fFlags & kfFmtPassedFlags) | FMT_F_32BIT;
    if (cbBuf >= RTSTR_FMT_NUM_BUF)
        return RTStrFmtNumber(pszBuf, u32Value, uBase, cchWidth, cchPrecision, fFlags);
    char szTmp[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtNumber(szTmp, u32Value, uBase, cchWidth, cchPrecision, fFlags);
    return rtStrFmtFinish(pszBuf, cbBuf, szTmp, (size_t)cch);
}

int RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth,
                int cchPrecision, unsigned fFlags)
{
    fFlags = (fFlags & kfFmtPassedFlags) | FMT_F_64BIT;
    if (cbBuf >= RTSTR_FMT_NUM_BUF)
        return RTStrFmtNumber(pszBuf, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    char szTmp[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtNumber(szTmp, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    return rtStrFmtFinish(pszBuf, cbBuf, szTmp, (size_t)cch);
}

int RTStrFmtR64(char *pszBuf, size_t cbBuf, const double *pr64Value, int cchWidth, int cchPrecision,
                unsigned fFlags)
{
    (void)cchWidth;
    (void)cchPrecision;
    (void)fFlags;
    /* The bits, not the value: no floating-point instruction, no library call. */
    uint64_t u64;
    RTMemCopy(&u64, pr64Value, sizeof(u64));
    unsigned const uExp = (unsigned)(u64 >> kcR64MantissaBits) & kuR64ExpMax;
    uint64_t const uMantissa = u64 & kuR64MantissaMask;

    char szTmp[RTSTR_FMT_NUM_BUF];
    size_t cch = 0;
    szTmp[cch++] = u64 >> 63 ? '-' : '+';
    if (uExp == 0 && uMantissa == 0)
        szTmp[cch++] = '0';
    else if (uExp == kuR64ExpMax)
    {
        const char *pszWord = uMantissa == 0 ? "Inf" : uMantissa & kfR64QuietNan ? "QNan" : "SNan";
        while (*pszWord)
            szTmp[cch++] = *pszWord++;
    }
    else
    {
        szTmp[cch++] = uExp ? '1' : '0';
        szTmp[cch++] = 'm';
        szTmp[cch++] = '0';
        szTmp[cch++] = 'x';
        for (int iShift = kcR64MantissaBits - 4; iShift >= 0; iShift -= 4)
            szTmp[cch++] = g_achDigitsLower[(uMantissa >> iShift) & 0xf];
        if (uExp)
        {
            szTmp[cch++] = '^';
            cch += (size_t)RTStrFmtNumber(&szTmp[cch],
                                          (uint64_t)(int64_t)((int)uExp - kiR64ExpBias), 10, -1, -1,
                                          FMT_F_SIGNED | FMT_F_32BIT);
        }
    }
    szTmp[cch] = '\0';
    return rtStrFmtFinish(pszBuf, cbBuf, szTmp, cch);
}
