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

namespace
{

/* Flag characters, indexed by character - ' ' (space to '0'). */
const uint16_t g_afFlagChars[] = {
    FMT_F_BLANK, 0, 0, FMT_F_ALT, 0, 0, 0, FMT_F_GROUP, /* space ! " # $ % & ' */
    0, 0, 0, FMT_F_PLUS, 0, FMT_F_LEFT, 0, 0,           /* ( ) * + , - . / */
    FMT_F_ZEROPAD,                                      /* 0 */
};

/* A decimal digit run; saturates instead of overflowing. */
int rtStrFmtParseInt(const char **ppsz)
{
    const char *psz = *ppsz;
    int i = 0;
    while (*psz >= '0' && *psz <= '9')
    {
        int const iDigit = *psz++ - '0';
        i = i > (0x7fffffff - iDigit) / 10 ? 0x7fffffff : i * 10 + iDigit;
    }
    *ppsz = psz;
    return i;
}

size_t rtStrFmtUtf8(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz, int cchWidth,
                    int cchPrecision, unsigned fFlags)
{
    size_t const cch = cchPrecision >= 0 ? RTStrNLen(psz, (size_t)cchPrecision) : RTStrLen(psz);
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cch ? (size_t)cchWidth - cch : 0;
    size_t cchRet = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
    {
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
        cchPad = 0;
    }
    if (cch)
        cchRet += pfnOutput(pvArgOutput, psz, cch);
    if (cchPad)
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
    return cchRet;
}

size_t rtStrFmtCp(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, RTUNICP cp)
{
    char ach[8];
    if (cp < 0x80)
    {
        ach[0] = (char)cp;
        return pfnOutput(pvArgOutput, ach, 1);
    }
    char *pchEnd = RTStrEncodeCp(ach, cp);
    return pfnOutput(pvArgOutput, ach, (size_t)(pchEnd - ach));
}

/* Code points a UTF-16 string yields before its NUL, the precision or the first bad unit. */
size_t rtStrFmtUtf16Count(PCRTUTF16 pwsz, int cchPrecision)
{
    size_t const cMax = cchPrecision >= 0 ? (size_t)cchPrecision : RTSTR_MAX;
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

size_t rtStrFmtUtf16(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PCRTUTF16 pwsz, int cchWidth,
                     int cchPrecision, unsigned fFlags)
{
    size_t const cCps = rtStrFmtUtf16Count(pwsz, cchPrecision);
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cCps ? (size_t)cchWidth - cCps : 0;
    size_t cchRet = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
    {
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
        cchPad = 0;
    }
    for (size_t i = 0; i < cCps; i++)
    {
        RTUNICP cp;
        RTUtf16DecodeCp(&pwsz, &cp);
        cchRet += rtStrFmtCp(pfnOutput, pvArgOutput, cp);
    }
    if (cchPad)
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
    return cchRet;
}

size_t rtStrFmtUni(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const RTUNICP *pcp, int cchWidth,
                   int cchPrecision, unsigned fFlags)
{
    size_t const cMax = cchPrecision >= 0 ? (size_t)cchPrecision : RTSTR_MAX;
    size_t cCps = 0;
    while (cCps < cMax && pcp[cCps])
        cCps++;
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cCps ? (size_t)cchWidth - cCps : 0;
    size_t cchRet = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
    {
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
        cchPad = 0;
    }
    for (size_t i = 0; i < cCps; i++)
        cchRet += rtStrFmtCp(pfnOutput, pvArgOutput, pcp[i]);
    if (cchPad)
        cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
    return cchRet;
}

} // namespace

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
        cch = 1 + (size_t)RTStrFmtNumber(&szBuf[1], (uintptr_t)pv, 16, (int)sizeof(void *) * 2, -1,
                                         FMT_F_ZEROPAD | (sizeof(void *) > 4 ? FMT_F_64BIT
                                                                             : FMT_F_32BIT));
        size_t const cchMarker = RTStrLen(pszMarker);
        RTMemCopy(&szBuf[cch], pszMarker, cchMarker);
        cch += cchMarker;
        szBuf[cch++] = '>';
        szBuf[cch] = '\0';
    }
    return rtStrFmtUtf8(pfnOutput, pvArgOutput, szBuf, cchWidth, -1, fFlags);
}

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
        char ch = *pszFormat;
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

        /* Flags. */
        unsigned fFlags = 0;
        for (;;)
        {
            unsigned const uIdx = (unsigned char)*pszFormat - (unsigned)' ';
            if (uIdx >= RT_ELEMENTS(g_afFlagChars) || !g_afFlagChars[uIdx])
                break;
            fFlags |= g_afFlagChars[uIdx];
            pszFormat++;
        }

        /* Width. */
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
                cchWidth = cchWidth == -0x7fffffff - 1 ? 0x7fffffff : -cchWidth;
                fFlags |= FMT_F_LEFT;
            }
            fFlags |= FMT_F_WIDTH;
        }

        /* Precision. */
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

        /* Size prefix. */
        char chArgSize = 0;
        switch (*pszFormat)
        {
            case 'l':
                pszFormat++;
                chArgSize = 'l';
                if (*pszFormat == 'l')
                {
                    pszFormat++;
                    chArgSize = 'L';
                }
                break;
            case 'h':
                pszFormat++;
                chArgSize = 'h';
                if (*pszFormat == 'h')
                {
                    pszFormat++;
                    chArgSize = 'H';
                }
                break;
            case 'L':
            case 'q':
                pszFormat++;
                chArgSize = 'L';
                break;
            case 'j':
            case 'z':
            case 't':
                chArgSize = *pszFormat++;
                break;
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
            default:
                break;
        }

        ch = *pszFormat;
        if (!ch)
        {
            /* A specifier cut short by the end of the string prints nothing. */
            pszRun = pszFormat;
            break;
        }
        pszFormat++;
        switch (ch)
        {
            case 'd':
            case 'i':
            case 'u':
            case 'o':
            case 'x':
            case 'X':
            {
                unsigned uBase = 10;
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
                uint64_t u64;
                bool const fSigned = (fFlags & FMT_F_SIGNED) != 0;
                switch (chArgSize)
                {
                    case 'H':
                        u64 = (uint64_t)(int64_t)va_arg(*pva, int);
                        fFlags |= FMT_F_8BIT;
                        break;
                    case 'h':
                        u64 = (uint64_t)(int64_t)va_arg(*pva, int);
                        fFlags |= FMT_F_16BIT;
                        break;
                    case 'L':
                    case 'j':
                        u64 = va_arg(*pva, uint64_t);
                        fFlags |= FMT_F_64BIT;
                        break;
                    case 'l':
                        if (sizeof(long) > 4)
                        {
                            u64 = (uint64_t)va_arg(*pva, unsigned long);
                            fFlags |= FMT_F_64BIT;
                        }
                        else
                        {
                            uint32_t const u32 = (uint32_t)va_arg(*pva, unsigned long);
                            u64 = fSigned ? (uint64_t)(int64_t)(int32_t)u32 : u32;
                            fFlags |= FMT_F_32BIT;
                        }
                        break;
                    case 'z':
                    case 't':
                        if (sizeof(size_t) > 4)
                        {
                            u64 = (uint64_t)va_arg(*pva, size_t);
                            fFlags |= FMT_F_64BIT;
                        }
                        else
                        {
                            uint32_t const u32 = (uint32_t)va_arg(*pva, size_t);
                            u64 = fSigned || chArgSize == 't' ? (uint64_t)(int64_t)(int32_t)u32
                                                               : u32;
                            fFlags |= FMT_F_32BIT;
                        }
                        break;
                    default:
                    {
                        uint32_t const u32 = va_arg(*pva, uint32_t);
                        u64 = fSigned ? (uint64_t)(int64_t)(int32_t)u32 : u32;
                        fFlags |= FMT_F_32BIT;
                        break;
                    }
                }
                char szNum[RTSTR_FMT_NUM_BUF];
                int const cch = RTStrFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags);
                cchRet += pfnOutput(pvArgOutput, szNum, (size_t)cch);
                break;
            }

            case 'p':
            {
                void *pv = va_arg(*pva, void *);
                if (cchWidth < 0)
                    cchWidth = (int)sizeof(void *) * 2;
                fFlags |= FMT_F_ZEROPAD | (sizeof(void *) > 4 ? FMT_F_64BIT : FMT_F_32BIT);
                char szNum[RTSTR_FMT_NUM_BUF];
                int const cch = RTStrFmtNumber(szNum, (uintptr_t)pv, 16, cchWidth, cchPrecision,
                                               fFlags);
                cchRet += pfnOutput(pvArgOutput, szNum, (size_t)cch);
                break;
            }

            case 'c':
            {
                char const chArg = (char)va_arg(*pva, int);
                size_t const cchPad = cchWidth > 1 ? (size_t)cchWidth - 1 : 0;
                if (!(fFlags & FMT_F_LEFT))
                    cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
                cchRet += pfnOutput(pvArgOutput, &chArg, 1);
                if (fFlags & FMT_F_LEFT)
                    cchRet += rtStrFmtPad(pfnOutput, pvArgOutput, cchPad);
                break;
            }

            case 's':
            case 'S':
            {
                const void *pv = va_arg(*pva, const void *);
                if (rtStrFmtIsBadPtr(pv))
                    cchRet += rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, cchWidth, fFlags,
                                             chArgSize == 'l'   ? "!BadStrW"
                                             : chArgSize == 'L' ? "!BadStrU"
                                                                : "!BadStr");
                else if (chArgSize == 'l')
                    cchRet += rtStrFmtUtf16(pfnOutput, pvArgOutput, (PCRTUTF16)pv, cchWidth,
                                            cchPrecision, fFlags);
                else if (chArgSize == 'L')
                    cchRet += rtStrFmtUni(pfnOutput, pvArgOutput, (const RTUNICP *)pv, cchWidth,
                                          cchPrecision, fFlags);
                else
                    cchRet += rtStrFmtUtf8(pfnOutput, pvArgOutput, (const char *)pv, cchWidth,
                                           cchPrecision, fFlags);
                break;
            }

            case 'a':
            case 'e':
            case 'f':
            case 'g':
            case 'A':
            case 'E':
            case 'F':
            case 'G':
            {
#if defined(__i386__)
                /* Taken as bits: an x87 load would turn a signalling NaN into a quiet one. */
                uint64_t const u64Bits = va_arg(*pva, uint64_t);
                double r64;
                RTMemCopy(&r64, &u64Bits, sizeof(r64));
#else
                double const r64 = va_arg(*pva, double);
#endif
                char szNum[RTSTR_FMT_NUM_BUF];
                int const cch = RTStrFmtR64(szNum, sizeof(szNum), &r64, cchWidth, cchPrecision,
                                            fFlags);
                cchRet += pfnOutput(pvArgOutput, szNum, (size_t)cch);
                break;
            }

            case 'N':
            {
                const char *pszNested = va_arg(*pva, const char *);
                va_list *pvaNested = va_arg(*pva, va_list *);
                /* A bad pointer here would crash the caller: print a marker, as for strings. */
                if (rtStrFmtIsBadPtr(pszNested) || rtStrFmtIsBadPtr(pvaNested))
                    cchRet += rtStrFmtBadPtr(pfnOutput, pvArgOutput,
                                             rtStrFmtIsBadPtr(pszNested) ? (const void *)pszNested
                                                                         : (const void *)pvaNested,
                                             -1, 0, "!BadFmt");
                else
                {
                    va_list vaCopy;
                    va_copy(vaCopy, *pvaNested);
                    cchRet += rtStrFmtCore(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat,
                                           pszNested, &vaCopy);
                    va_end(vaCopy);
                }
                break;
            }

            case 'M':
            {
                const char *pszNew = va_arg(*pva, const char *);
                if (rtStrFmtIsBadPtr(pszNew))
                    cchRet += rtStrFmtBadPtr(pfnOutput, pvArgOutput, pszNew, -1, 0, "!BadFmt");
                else
                    pszFormat = pszNew;
                break;
            }

            case 'R':
                pszFormat--;
                if (pszFormat[1] == '[')
                    cchRet += rtStrFmtCustomType(pfnOutput, pvArgOutput, &pszFormat, pva,
                                                 cchWidth, cchPrecision, fFlags, chArgSize);
                else
                    cchRet += rtStrFmtExtType(pfnOutput, pvArgOutput, &pszFormat, pva, cchWidth,
                                              cchPrecision, fFlags, chArgSize);
                break;

            default:
                if (pfnFormat)
                {
                    pszFormat--;
                    cchRet += pfnFormat(pvArgFormat, pfnOutput, pvArgOutput, &pszFormat, pva,
                                        cchWidth, cchPrecision, fFlags, chArgSize);
                }
                break;
        }
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
