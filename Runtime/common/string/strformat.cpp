/*
 * The format engine: walks a format string and hands the output, piece by
 * piece, to the caller's output callback.
 *
 * Literal text is passed in runs, not byte by byte, because the callbacks
 * behind it (buffers, streams) do a bounds check per call.  The engine works
 * on its own copy of the va_list so that the %R handlers, the user callback
 * and %N can advance it through a pointer on every target, including those
 * where va_list is an array type.
 */
#include <zelk/string.h>
#include <zelk/utf.h>

#include "strformat-internal.h"

namespace {

/* Flag characters, indexed by character - ' ' (space to '0'). */
// clang-format off
const uint16_t g_afFlagChars[] = {
    FMT_F_BLANK, 0, 0, FMT_F_ALT, 0, 0, 0, FMT_F_GROUP, /* space ! " # $ % & ' */
    0, 0, 0, FMT_F_PLUS, 0, FMT_F_LEFT, 0, 0,           /* ( ) * + , - . / */
    FMT_F_ZEROPAD,                                      /* 0 */
};
// clang-format on

/* A decimal digit run; saturates instead of overflowing. */
int rtStrFmtParseInt(const char **ppsz)
{
    const char *psz = *ppsz;
    int i = 0;
    while (*psz >= '0' && *psz <= '9')
    {
        int const iDigit = *psz++ - '0';
        bool const fFits = i < INT32_MAX / 10 || (i == INT32_MAX / 10 && iDigit <= INT32_MAX % 10);
        i = fFits ? i * 10 + iDigit : INT32_MAX;
    }
    *ppsz = psz;
    return i;
}

size_t rtStrFmtCp(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, RTUNICP cp)
{
    char ach[8];
    char *pchEnd = RTStrEncodeCp(ach, cp);
    return pfnOutput(pvArgOutput, ach, (size_t)(pchEnd - ach));
}

/* Code points a UTF-16 string yields before its NUL, the first bad unit or cMax. */
size_t rtStrFmtUtf16Count(PCRTUTF16 pwsz, size_t cMax)
{
    size_t cCps = 0;
    while (cCps < cMax)
    {
        RTUTF16 const wc = *pwsz;
        if (wc < 0xd800 || (wc > 0xdfff && wc < 0xfffe))
        {
            if (!wc)
                break;
            pwsz++;
        }
        else
        {
            RTUNICP cp;
            if (RTUtf16DecodeCp(&pwsz, &cp) < 0 || !cp)
                break;
        }
        cCps++;
    }
    return cCps;
}

/*
 * A string padded with spaces to cchWidth items (behind it with FMT_F_LEFT):
 * chArgSize 0 outputs cItems bytes as they are, 'l' cItems code points of
 * UTF-16 and 'L' cItems code points, each as UTF-8.
 */
size_t rtStrFmtPadded(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pvStr,
                      char chArgSize, size_t cItems, int cchWidth, unsigned fFlags)
{
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cItems ? (size_t)cchWidth - cItems : 0;
    size_t cchRet = 0;
    if (!(fFlags & FMT_F_LEFT))
    {
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
        cchPad = 0;
    }
    if (chArgSize == 'l')
    {
        PCRTUTF16 pwsz = (PCRTUTF16)pvStr;
        for (size_t i = 0; i < cItems; i++)
        {
            RTUNICP cp;
            RTUtf16DecodeCp(&pwsz, &cp);
            cchRet += rtStrFmtCp(pfnOutput, pvArgOutput, cp);
        }
    }
    else if (chArgSize == 'L')
        for (size_t i = 0; i < cItems; i++)
            cchRet += rtStrFmtCp(pfnOutput, pvArgOutput, ((const RTUNICP *)pvStr)[i]);
    else if (cItems)
        cchRet += pfnOutput(pvArgOutput, (const char *)pvStr, cItems);
    return cchRet + rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
}

} // namespace

uint64_t rtStrFmtFetchInt(va_list *pva, unsigned cbArg, bool fSignExtend, unsigned *pfFlags)
{
    if (cbArg >= 8)
    {
        *pfFlags |= FMT_F_64BIT;
        return va_arg(*pva, uint64_t);
    }
    /* The flags for 8 to 32 bits are consecutive, as the widths 1, 2 and 4 are powers of two. */
    static_assert(FMT_F_16BIT == 2 * FMT_F_8BIT && FMT_F_32BIT == 4 * FMT_F_8BIT,
                  "the size flags follow the sizes");
    *pfFlags |= FMT_F_8BIT * cbArg;
    unsigned const u = va_arg(*pva, unsigned);
    if (fSignExtend)
        return (uint64_t)(int64_t)(int)u;
    return u & (UINT32_MAX >> (32 - 8 * cbArg));
}

size_t rtStrFmtNum(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, unsigned uBase,
                   int cchWidth, int cchPrecision, unsigned fFlags)
{
    char szNum[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, (size_t)cch);
}

size_t rtStrFmtOut(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz)
{
    return pfnOutput(pvArgOutput, psz, RTStrLen(psz));
}

size_t rtStrFmtPad(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, size_t cch)
{
    size_t cchRet = 0;
    while (cch-- > 0)
        cchRet += pfnOutput(pvArgOutput, " ", 1);
    return cchRet;
}

size_t rtStrFmtBadPtr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, int cchWidth,
                      unsigned fFlags, const char *pszMarker)
{
    char szBuf[RTSTR_FMT_NUM_BUF + 24];
    size_t cch;
    if (!pv)
    {
        RTMemCopy(szBuf, "<NULL>", 7);
        cch = 6;
    }
    else
    {
        szBuf[0] = '<';
        cch = 1
              + (size_t)RTStrFmtNumber(&szBuf[1], (uintptr_t)pv, 16, RTSTR_FMT_PTR_DIGITS, -1,
                                       FMT_F_ZEROPAD | RTSTR_FMT_PTR_SIZE_FLAG);
        size_t const cchMarker = RTStrLen(pszMarker);
        RTMemCopy(&szBuf[cch], pszMarker, cchMarker);
        cch += cchMarker;
        szBuf[cch++] = '>';
    }
    return rtStrFmtPadded(pfnOutput, pvArgOutput, szBuf, 0, cch, cchWidth, fFlags);
}

namespace {

/* One conversion: everything between the '%' and the conversion character. */
struct RTSTRFMTSPEC
{
    unsigned fFlags;
    int cchWidth;     /* -1: none */
    int cchPrecision; /* -1: none */
    char chArgSize;   /* 0, 'H' hh, 'h', 'l', 'L' ll/L/q/I64, 'j', 'z', 't' */
};

/* Flags, width and precision; "*" takes an int argument (a negative width left-justifies). */
const char *rtStrFmtParseFlagsWidth(const char *pszFormat, va_list *pva, RTSTRFMTSPEC *pSpec)
{
    unsigned fFlags = 0;
    for (;;)
    {
        unsigned const uIdx = (unsigned char)*pszFormat - (unsigned)' ';
        if (uIdx >= RT_ELEMENTS(g_afFlagChars) || !g_afFlagChars[uIdx])
            break;
        fFlags |= g_afFlagChars[uIdx];
        pszFormat++;
    }

    int cchWidth = -1;
    if (*pszFormat >= '0' && *pszFormat <= '9')
    {
        cchWidth = rtStrFmtParseInt(&pszFormat);
        fFlags |= FMT_F_WIDTH;
    }
    else if (*pszFormat == '*')
    {
        pszFormat++;
        cchWidth = va_arg(*pva, int);
        if (cchWidth < 0)
        {
            cchWidth = cchWidth == INT32_MIN ? INT32_MAX : -cchWidth;
            fFlags |= FMT_F_LEFT;
        }
        fFlags |= FMT_F_WIDTH;
    }

    int cchPrecision = -1;
    if (*pszFormat == '.')
    {
        pszFormat++;
        if (*pszFormat >= '0' && *pszFormat <= '9')
            cchPrecision = rtStrFmtParseInt(&pszFormat);
        else if (*pszFormat == '*')
        {
            pszFormat++;
            cchPrecision = va_arg(*pva, int);
            if (cchPrecision < 0)
                cchPrecision = 0;
        }
        else
            cchPrecision = 0;
        fFlags |= FMT_F_PRECISION;
    }

    pSpec->fFlags = fFlags;
    pSpec->cchWidth = cchWidth;
    pSpec->cchPrecision = cchPrecision;
    return pszFormat;
}

/* The size prefix: hh h l ll L q j z t I I32 I64. */
const char *rtStrFmtParseSize(const char *pszFormat, RTSTRFMTSPEC *pSpec)
{
    char chArgSize = 0;
    switch (*pszFormat)
    {
        case 'l':
        case 'h':
        {
            /* Doubled, the letter means the next size down or up: hh and ll. */
            char const ch = *pszFormat++;
            chArgSize = ch;
            if (*pszFormat == ch)
            {
                pszFormat++;
                chArgSize = ch == 'l' ? 'L' : 'H';
            }
            break;
        }
        case 'L':
        case 'q':
            pszFormat++;
            chArgSize = 'L';
            break;
        case 'j':
        case 'z':
        case 't': chArgSize = *pszFormat++; break;
        case 'I':
            pszFormat++;
            if (pszFormat[0] == '3' && pszFormat[1] == '2')
                pszFormat += 2;
            else if (pszFormat[0] == '6' && pszFormat[1] == '4')
            {
                pszFormat += 2;
                chArgSize = 'L';
            }
            else
                chArgSize = 'j';
            break;
        default: break;
    }
    pSpec->chArgSize = chArgSize;
    return pszFormat;
}

/*
 * d i u o x X: the argument by its size prefix, then the number.  h and hh
 * arguments are sign-extended whatever the conversion, t ones too (ptrdiff_t
 * is signed).  p: a pointer in hex, zero-padded to its width unless a width
 * is given.
 */
size_t rtStrFmtInteger(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char ch,
                       const RTSTRFMTSPEC *pSpec, va_list *pva)
{
    unsigned fFlags = pSpec->fFlags;
    int cchWidth = pSpec->cchWidth;
    unsigned uBase = 10;
    uint64_t u64;
    if (ch == 'p')
    {
        u64 = (uintptr_t)va_arg(*pva, void *);
        uBase = 16;
        fFlags |= FMT_F_ZEROPAD | RTSTR_FMT_PTR_SIZE_FLAG;
        if (cchWidth < 0)
            cchWidth = RTSTR_FMT_PTR_DIGITS;
    }
    else
    {
        if (ch == 'd' || ch == 'i')
            fFlags |= FMT_F_SIGNED;
        else if (ch == 'o')
            uBase = 8;
        else if (ch != 'u')
        {
            uBase = 16;
            if (ch == 'X')
                fFlags |= FMT_F_UPPER;
        }
        bool const fSigned = (fFlags & FMT_F_SIGNED) != 0;
        unsigned cbArg;
        bool fSignExtend = fSigned;
        switch (pSpec->chArgSize)
        {
            case 'H':
                cbArg = 1;
                fSignExtend = true;
                break;
            case 'h':
                cbArg = 2;
                fSignExtend = true;
                break;
            case 'L':
            case 'j': cbArg = 8; break;
            case 'l': cbArg = sizeof(long); break;
            case 'z': cbArg = sizeof(size_t); break;
            case 't':
                cbArg = sizeof(ptrdiff_t);
                fSignExtend = true;
                break;
            default: cbArg = 4; break;
        }
        u64 = rtStrFmtFetchInt(pva, cbArg, fSignExtend, &fFlags);
    }
    return rtStrFmtNum(pfnOutput, pvArgOutput, u64, uBase, cchWidth, pSpec->cchPrecision, fFlags);
}

size_t rtStrFmtChar(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const RTSTRFMTSPEC *pSpec,
                    va_list *pva)
{
    char const chArg = (char)va_arg(*pva, int);
    return rtStrFmtPadded(pfnOutput, pvArgOutput, &chArg, 0, 1, pSpec->cchWidth, pSpec->fFlags);
}

/* s S: UTF-8, or UTF-16 with l, or code points with ll/L; the precision counts code points. */
size_t rtStrFmtString(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const RTSTRFMTSPEC *pSpec,
                      va_list *pva)
{
    const void *pv = va_arg(*pva, const void *);
    char const chArgSize = pSpec->chArgSize;
    if (rtStrFmtIsBadPtr(pv))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, pSpec->cchWidth, pSpec->fFlags,
                              chArgSize == 'l'   ? "!BadStrW"
                              : chArgSize == 'L' ? "!BadStrU"
                                                 : "!BadStr");
    size_t const cMax = pSpec->cchPrecision >= 0 ? (size_t)pSpec->cchPrecision : RTSTR_MAX;
    size_t cItems = 0;
    if (chArgSize == 'l')
        cItems = rtStrFmtUtf16Count((PCRTUTF16)pv, cMax);
    else if (chArgSize == 'L')
        while (cItems < cMax && ((const RTUNICP *)pv)[cItems])
            cItems++;
    else
        cItems = pSpec->cchPrecision >= 0 ? RTStrNLen((const char *)pv, cMax)
                                          : RTStrLen((const char *)pv);
    return rtStrFmtPadded(pfnOutput, pvArgOutput, pv, chArgSize, cItems, pSpec->cchWidth,
                          pSpec->fFlags);
}

/* %N: a nested format string with a pointer to its va_list. */
size_t rtStrFmtNested(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                      void *pvArgFormat, va_list *pva)
{
    const char *pszNested = va_arg(*pva, const char *);
    va_list *pvaNested = va_arg(*pva, va_list *);
    /* A bad pointer here would crash the caller: the first bad one prints a marker. */
    const void *pvCheck = rtStrFmtIsBadPtr(pszNested) ? (const void *)pszNested : pvaNested;
    if (rtStrFmtIsBadPtr(pvCheck))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pvCheck, -1, 0, "!BadFmt");
    va_list vaCopy;
    va_copy(vaCopy, *pvaNested);
    size_t const cchRet = rtStrFmtCore(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszNested,
                                       &vaCopy);
    va_end(vaCopy);
    return cchRet;
}

/*
 * One conversion: *ppszFormat points at the conversion character on entry and
 * past what the conversion consumed on return (%M replaces the format string).
 */
size_t rtStrFmtConvert(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                       void *pvArgFormat, const char **ppszFormat, const RTSTRFMTSPEC *pSpec,
                       va_list *pva)
{
    const char *pszFormat = *ppszFormat;
    char const ch = *pszFormat;
    *ppszFormat = pszFormat + 1;
    switch (ch)
    {
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
        case 'p': return rtStrFmtInteger(pfnOutput, pvArgOutput, ch, pSpec, pva);

        case 'c': return rtStrFmtChar(pfnOutput, pvArgOutput, pSpec, pva);

        case 's':
        case 'S': return rtStrFmtString(pfnOutput, pvArgOutput, pSpec, pva);

        case 'a':
        case 'e':
        case 'f':
        case 'g':
        case 'A':
        case 'E':
        case 'F':
        case 'G':
            *ppszFormat = pszFormat;
            return rtStrFmtConversion(pfnOutput, pvArgOutput, ppszFormat, pva, pSpec->cchWidth,
                                      pSpec->cchPrecision, pSpec->fFlags, pSpec->chArgSize);

        case 'N': return rtStrFmtNested(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pva);

        case 'M':
        {
            const char *pszNew = va_arg(*pva, const char *);
            if (rtStrFmtIsBadPtr(pszNew))
                return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pszNew, -1, 0, "!BadFmt");
            *ppszFormat = pszNew;
            return 0;
        }

        case 'R':
            *ppszFormat = pszFormat;
            return rtStrFmtExtType(pfnOutput, pvArgOutput, ppszFormat, pva, pSpec->cchWidth,
                                   pSpec->cchPrecision, pSpec->fFlags, pSpec->chArgSize);

        default:
            if (!pfnFormat)
                return 0;
            *ppszFormat = pszFormat;
            return pfnFormat(pvArgFormat, pfnOutput, pvArgOutput, ppszFormat, pva, pSpec->cchWidth,
                             pSpec->cchPrecision, pSpec->fFlags, pSpec->chArgSize);
    }
}

} // namespace

size_t rtStrFmtCore(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                    void *pvArgFormat, const char *pszFormat, va_list *pva)
{
    size_t cchRet = 0;
    const char *pszRun = pszFormat;
    for (;;)
    {
        /* Literal text: stop at '%' or the NUL, four bytes per round. */
        while (pszFormat[0] != '%' && pszFormat[0] && pszFormat[1] != '%' && pszFormat[1]
               && pszFormat[2] != '%' && pszFormat[2] && pszFormat[3] != '%' && pszFormat[3])
            pszFormat += 4;
        char const ch = *pszFormat;
        if (ch != '%')
        {
            if (ch)
            {
                pszFormat++;
                continue;
            }
            break;
        }
        if (pszFormat != pszRun)
            cchRet += pfnOutput(pvArgOutput, pszRun, (size_t)(pszFormat - pszRun));
        pszFormat++;
        if (*pszFormat == '%')
        {
            /* The second '%' opens the next literal run. */
            pszRun = pszFormat++;
            continue;
        }

        RTSTRFMTSPEC Spec;
        pszFormat = rtStrFmtParseFlagsWidth(pszFormat, pva, &Spec);
        pszFormat = rtStrFmtParseSize(pszFormat, &Spec);
        if (!*pszFormat)
        {
            /* A specifier cut short by the end of the string prints nothing. */
            pszRun = pszFormat;
            break;
        }
        cchRet += rtStrFmtConvert(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, &pszFormat, &Spec,
                                  pva);
        pszRun = pszFormat;
    }
    if (pszFormat != pszRun)
        cchRet += pfnOutput(pvArgOutput, pszRun, (size_t)(pszFormat - pszRun));
    return cchRet;
}

size_t RTStrFmtV(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                 void *pvArgFormat, const char *pszFormat, va_list va)
{
    va_list vaCopy;
    va_copy(vaCopy, va);
    size_t const cchRet = rtStrFmtCore(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszFormat,
                                       &vaCopy);
    va_end(vaCopy);
    pfnOutput(pvArgOutput, nullptr, 0);
    return cchRet;
}

size_t RTStrFmt(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                void *pvArgFormat, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    size_t const cchRet = RTStrFmtV(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszFormat, va);
    va_end(va);
    return cchRet;
}

size_t rtStrFmtSub(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    size_t const cchRet = rtStrFmtCore(pfnOutput, pvArgOutput, nullptr, nullptr, pszFormat, &va);
    va_end(va);
    return cchRet;
}
