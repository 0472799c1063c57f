/*
 * Format engine: the callback contract, the standard conversions (checked
 * against the host snprintf where the two agree, with the differences pinned
 * by their own rows), number conversion and the buffer and heap front ends.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "format-test.h"

namespace {

/*
 * Callback contract.
 */

TEST(FormatCallback, LiteralTextIsOneCallThenTheEndCall)
{
    FmtCapture Cap;
    EXPECT_EQ(fmt("plain text, no specifier"), "plain text, no specifier");
    size_t const cch = RTStrFmt(fmtCaptureOutput, &Cap, nullptr, nullptr, "plain text");
    EXPECT_EQ(cch, 10u);
    ASSERT_EQ(Cap.vecPieces.size(), 1u);
    EXPECT_EQ(Cap.vecPieces[0], "plain text");
    EXPECT_EQ(Cap.cEndCalls, 1u);
}

TEST(FormatCallback, EmptyFormatMakesOnlyTheEndCall)
{
    FmtCapture Cap;
    EXPECT_EQ(RTStrFmt(fmtCaptureOutput, &Cap, nullptr, nullptr, ""), 0u);
    EXPECT_TRUE(Cap.vecPieces.empty());
    EXPECT_EQ(Cap.cEndCalls, 1u);
}

TEST(FormatCallback, PercentPercentAndRuns)
{
    FmtCapture Cap;
    RTStrFmt(fmtCaptureOutput, &Cap, nullptr, nullptr, "100%% sure %d!", 7);
    EXPECT_EQ(Cap.strOut, "100% sure 7!");
    /* "100", then "% sure " as one run, "7", "!" */
    std::vector<std::string> const vecExpected = { "100", "% sure ", "7", "!" };
    EXPECT_EQ(Cap.vecPieces, vecExpected);
}

TEST(FormatCallback, StringPaddingIsOneSpacePerCall)
{
    FmtCapture Cap;
    RTStrFmt(fmtCaptureOutput, &Cap, nullptr, nullptr, "%4s|%-3c", "ab", 'x');
    EXPECT_EQ(Cap.strOut, "  ab|x  ");
    std::vector<std::string> const vecExpected = { " ", " ", "ab", "|", "x", " ", " " };
    EXPECT_EQ(Cap.vecPieces, vecExpected);
}

size_t countDouble(void *pvArg, const char *pach, size_t cch)
{
    if (pach)
        *(size_t *)pvArg += cch;
    return pach ? cch * 2 : 77;
}

TEST(FormatCallback, ResultIsTheSumOfTheCallbackReturns)
{
    size_t cbSeen = 0;
    EXPECT_EQ(RTStrFmt(countDouble, &cbSeen, nullptr, nullptr, "ab%dcd%sx", 123, "yz"), 20u);
    EXPECT_EQ(cbSeen, 10u);
}

/*
 * Integer conversions against the host snprintf.
 */

struct IntRow
{
    const char *pszFormat;
    int iValue;
};

// clang-format off
const IntRow g_aIntAgree[] = {
    { "%d", 0 },       { "%d", 42 },         { "%d", -42 },      { "%d", INT_MAX },
    { "%d", INT_MIN }, { "%i", -7 },         { "%u", 42 },       { "%u", -1 },
    { "%5d", 42 },     { "%-5d", 42 },       { "%05d", -5 },     { "%+d", 5 },
    { "%+d", -5 },     { "% d", 5 },         { "% d", -5 },      { "%+ d", 5 },
    { "%+u", 5 },         { "%x", 255 },      { "%X", 255 },
    { "%#x", 255 },    { "%#X", 255 },       { "%o", 8 },        { "%#o", 8 },
    { "%08x", 0xbeef }, { "%-8x|", 0xbeef }, { "%#010x", 0x1f }, { "%.3d", 5 },
    { "%.3d", -5 },    { "%.0d", 7 },        { "%-05d|", 3 },    { "%3d", 12345 },
    { "%.1d", 123 },   { "%+05d", 12 },      { "%x", -1 },       { "%o", -1 },
    { "%hd", 1234 },    { "%hhd", 100 },
    { "%0d", 9 },      { "%-+6d|", 9 },      { "%#5o", 9 },      { "%#-8X|", 0xc0de },
};
// clang-format on

TEST(FormatInt, AgreesWithHostSnprintf)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aIntAgree); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aIntAgree[i].pszFormat);
        char szHost[128];
        snprintf(szHost, sizeof(szHost), g_aIntAgree[i].pszFormat, g_aIntAgree[i].iValue);
        EXPECT_EQ(fmt(g_aIntAgree[i].pszFormat, g_aIntAgree[i].iValue), szHost);
    }
}

struct I64Row
{
    const char *pszFormat;
    long long llValue;
};

// clang-format off
const I64Row g_aI64Agree[] = {
    { "%lld", LLONG_MIN },       { "%lld", LLONG_MAX },      { "%llu", -1LL },
    { "%llx", -1LL },            { "%llX", 0xabcdef0123LL }, { "%#llx", 1LL << 40 },
    { "%20lld|", -123456789LL }, { "%-20llu|", 42LL },       { "%020lld", -99LL },
    { "%llo", 1LL << 63 },       { "%+lld", 0LL },           { "%.12llx", 0x1234LL },
};
// clang-format on

TEST(FormatInt, SixtyFourBitAgreesWithHostSnprintf)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aI64Agree); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aI64Agree[i].pszFormat);
        char szHost[128];
        snprintf(szHost, sizeof(szHost), g_aI64Agree[i].pszFormat, g_aI64Agree[i].llValue);
        EXPECT_EQ(fmt(g_aI64Agree[i].pszFormat, g_aI64Agree[i].llValue), szHost);
    }
}

TEST(FormatInt, TargetWidthPrefixesAgreeWithHostSnprintf)
{
    char szHost[128];
    snprintf(szHost, sizeof(szHost), "%ld %lu %lx", -5L, (unsigned long)-1L, (unsigned long)-2L);
    EXPECT_EQ(fmt("%ld %lu %lx", -5L, (unsigned long)-1L, (unsigned long)-2L), szHost);
    snprintf(szHost, sizeof(szHost), "%zu %zx %td", (size_t)-1, (size_t)0x1234, (ptrdiff_t)-3);
    EXPECT_EQ(fmt("%zu %zx %td", (size_t)-1, (size_t)0x1234, (ptrdiff_t)-3), szHost);
    snprintf(szHost, sizeof(szHost), "%jd %ju", (intmax_t)-7, (uintmax_t)1 << 50);
    EXPECT_EQ(fmt("%jd %ju", (intmax_t)-7, (uintmax_t)1 << 50), szHost);
}

/* Where the engine is meant to differ from C, each difference pinned by its own row. */
struct IntDiffRow
{
    const char *pszFormat;
    int iValue;
    const char *pszExpected;
};

// clang-format off
const IntDiffRow g_aIntDiffer[] = {
    { "%5.3d", 5, "    005" },        /* precision zeros come after the width padding */
    { "%8.3x", 0xa, "       00a" },
    { "% u", 5, "5" },                /* the blank flag is for signed conversions only */
    { "%05.3d", 5, "00005" },         /* C ignores 0 when a precision is given */
    { "%010.3x", 0xab, "00000000ab" },
    { "%.0d", 0, "0" },               /* C prints nothing */
    { "%#x", 0, "0x0" },              /* C prints 0 */
    { "%#o", 0, "00" },
    { "%#o", 8, "010" },
    { "%'u", 1234567, "1 234 567" },  /* groups are separated by spaces */
    { "%'d", -1234567, "-1 234 567" },
    { "%'u", 123, "123" },
    { "%'u", 123456, "123 456" },
    { "%'x", 1234567, "12d687" },     /* grouping only in base 10 */
    { "%'05u", 1234, "01234" },       /* zero padding cancels grouping */
    { "%'-10u|", 1234, "1 234     |" },
    { "%hx", -1, "ffffffffffffffff" }, /* h and hh sign-extend and do not truncate */
    { "%hhu", 0x1ff, "511" },
    { "%hu", -2, "18446744073709551614" },
    { "%hd", 70000, "70000" },
    { "%70d", 1, nullptr },           /* a number is capped at 63 characters (checked below) */
    { "%-70d|", 1, nullptr },
    { "%.70d", 1, nullptr },
    { "%070d", -1, nullptr },
};
// clang-format on

TEST(FormatInt, PinnedDifferencesFromC)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aIntDiffer); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aIntDiffer[i].pszFormat);
        std::string const str = fmt(g_aIntDiffer[i].pszFormat, g_aIntDiffer[i].iValue);
        if (g_aIntDiffer[i].pszExpected)
            EXPECT_EQ(str, g_aIntDiffer[i].pszExpected);
        else
        {
            std::string strNum = str;
            if (!strNum.empty() && strNum.back() == '|')
                strNum.pop_back();
            EXPECT_EQ(strNum.size(), 63u) << str;
            EXPECT_NE(strNum.find(g_aIntDiffer[i].iValue < 0 ? "-" : "1"), std::string::npos);
        }
    }
}

TEST(FormatInt, SizePrefixes)
{
    /* I32 reads 32 bits; I64, q, L and ll read 64; a lone I reads 64. */
    EXPECT_EQ(fmt("%I32d|%I64d|%qd|%Lu|%Id", -1, -2LL, -3LL, 4ULL, -5LL), "-1|-2|-3|4|-5");
    EXPECT_EQ(fmt("%I32x %d", 0xffffffffu, 9), "ffffffff 9");
    /* A 32-bit signed value is sign-extended; unsigned is zero-extended. */
    EXPECT_EQ(fmt("%d %u %x", -1, -1, -1), "-1 4294967295 ffffffff");
    if (sizeof(size_t) == 4)
    {
        EXPECT_EQ(fmt("%zd", (size_t)-1), "-1");
        EXPECT_EQ(fmt("%tx", (ptrdiff_t)-1), "ffffffffffffffff"); /* t sign-extends */
        EXPECT_EQ(fmt("%zx", (size_t)-1), "ffffffff");
    }
    EXPECT_EQ(fmt("%lld", 0x100000000LL), "4294967296");
}

TEST(FormatInt, StarWidthAndPrecision)
{
    EXPECT_EQ(fmt("%*d|", 5, 42), "   42|");
    EXPECT_EQ(fmt("%*d|", -5, 42), "42   |"); /* negative width left-justifies */
    EXPECT_EQ(fmt("%.*d", 4, 7), "0007");
    EXPECT_EQ(fmt("%.*s|", -3, "abc"), "|"); /* negative precision counts as 0 */
    EXPECT_EQ(fmt("%*.*s|", 6, 2, "abcdef"), "    ab|");
    /* An absurd digit-run width saturates instead of overflowing. */
    EXPECT_EQ(fmt("%99999999999999999999d", 1).size(), 63u);
}

TEST(FormatInt, Pointer)
{
    EXPECT_EQ(fmt("%p", (void *)0x1234), byPtr("00001234", "0000000000001234"));
    EXPECT_EQ(fmt("%#p", (void *)0x1234), byPtr("0x001234", "0x00000000001234"));
    EXPECT_EQ(fmt("%p", (void *)nullptr), byPtr("00000000", "0000000000000000"));
    EXPECT_EQ(fmt("%6p|%lp", (void *)0xab, (void *)0xcd),
              byPtr("0000ab|000000cd", "0000ab|00000000000000cd"));
}

/*
 * RTStrFmtNumber directly.
 */

struct NumRow
{
    uint64_t uValue;
    unsigned uBase;
    int cchWidth;
    int cchPrecision;
    unsigned fFlags;
    const char *pszExpected;
};

// clang-format off
const NumRow g_aNumbers[] = {
    { 0, 10, -1, -1, 0, "0" },
    { 1234567, 10, -1, -1, FMT_F_GROUP, "1 234 567" },
    { 123456789012ULL, 10, -1, -1, FMT_F_GROUP, "123 456 789 012" },
    { UINT64_MAX, 10, -1, -1, FMT_F_GROUP, "18 446 744 073 709 551 615" },
    { 0x80000000u, 10, -1, -1, FMT_F_SIGNED, "-2147483648" },              /* 32-bit signed */
    { 0x80000000u, 10, -1, -1, FMT_F_SIGNED | FMT_F_64BIT, "2147483648" }, /* 64-bit */
    { 0xffffffffu, 10, -1, -1, FMT_F_SIGNED, "-1" },
    { 0xffffffffu, 16, -1, -1, FMT_F_SIGNED, "-1" }, /* the sign applies in any base */
    { 5, 10, -1, -1, FMT_F_PLUS | FMT_F_BLANK | FMT_F_SIGNED, "+5" },
    { 5, 10, -1, -1, FMT_F_PLUS, "5" },
    { 255, 16, -1, -1, FMT_F_ALT | FMT_F_UPPER, "0XFF" },
    { 255, 2, -1, -1, 0, "255" }, /* bases other than 8 and 16 print decimal */
    { 7, 8, 6, -1, FMT_F_ALT | FMT_F_ZEROPAD, "000007" },
    { 42, 10, 6, -1, FMT_F_LEFT | FMT_F_ZEROPAD, "42    " }, /* left clears zero padding */
    { 5, 10, 5, 3, 0, "    005" },
    { 5, 10, 5, 3, FMT_F_ZEROPAD, "00005" },
    { 5, 10, 5, 3, FMT_F_LEFT, "005    " },
    { 0xabc, 16, 8, -1, FMT_F_ALT | FMT_F_ZEROPAD, "0x000abc" },
    { 1, 10, 200, -1, 0, nullptr },
    { 1, 10, -1, 200, 0, nullptr },
    { UINT64_MAX, 8, 100, 100, FMT_F_ALT | FMT_F_ZEROPAD, nullptr },
    { UINT64_MAX, 10, -100, -1, FMT_F_LEFT | FMT_F_GROUP | FMT_F_PLUS | FMT_F_SIGNED, "-1" },
};
// clang-format on

TEST(FormatNumber, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aNumbers); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        NumRow const &Row = g_aNumbers[i];
        char szBuf[RTSTR_FMT_NUM_BUF + 8];
        memset(szBuf, 0x5a, sizeof(szBuf));
        int const cch = RTStrFmtNumber(szBuf, Row.uValue, Row.uBase, Row.cchWidth, Row.cchPrecision,
                                       Row.fFlags);
        EXPECT_EQ((size_t)cch, strlen(szBuf));
        if (Row.pszExpected)
            EXPECT_STREQ(szBuf, Row.pszExpected);
        else
            EXPECT_EQ(cch, 63);
        for (size_t j = RTSTR_FMT_NUM_BUF; j < sizeof(szBuf); j++)
            EXPECT_EQ((uint8_t)szBuf[j], 0x5a) << "byte " << j;
    }
}

TEST(FormatNumber, SizedFrontEnds)
{
    char szBuf[8];
    memset(szBuf, 'z', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtU32(szBuf, 8, 1234567, 10, -1, -1, 0), 7);
    EXPECT_STREQ(szBuf, "1234567");
    EXPECT_EQ(RTStrFmtU32(szBuf, 7, 1234567, 10, -1, -1, 0), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "123456");
    memset(szBuf, 'z', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtU32(szBuf, 0, 1, 10, -1, -1, 0), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(szBuf[0], 'z');
    /* Only the low 11 flag bits are kept: a caller's 64-bit flag does not widen a 32-bit value. */
    EXPECT_EQ(RTStrFmtU32(szBuf, 8, 0xffffffffu, 10, -1, -1, FMT_F_SIGNED | FMT_F_64BIT), 2);
    EXPECT_STREQ(szBuf, "-1");
    EXPECT_EQ(RTStrFmtU64(szBuf, 8, 0xffffffffu, 10, -1, -1, FMT_F_SIGNED), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "4294967");
    char szBig[100];
    EXPECT_EQ(RTStrFmtU64(szBig, sizeof(szBig), UINT64_MAX, 16, -1, -1, FMT_F_ALT), 18);
    EXPECT_STREQ(szBig, "0xffffffffffffffff");
}

/*
 * Characters and strings.
 */

struct StrRow
{
    const char *pszFormat;
    const char *pszArg;
    const char *pszExpected;
};

// clang-format off
const StrRow g_aStrings[] = {
    { "%s", "abc", "abc" },        { "%.3s", "abcdef", "abc" },   { "%-4s|", "ab", "ab  |" },
    { "%4s|", "ab", "  ab|" },     { "%.s|", "abc", "|" },        { "%S", "same", "same" },
    { "%2s", "abcd", "abcd" },     { "%.10s", "ab", "ab" },       { "%hs", "h ignored", "h ignored" },
    { "%s", "", "" },              { "%3s|", "", "   |" },        { "%s", "\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9" },
};
// clang-format on

TEST(FormatString, Utf8)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aStrings); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aStrings[i].pszFormat);
        EXPECT_EQ(fmt(g_aStrings[i].pszFormat, g_aStrings[i].pszArg), g_aStrings[i].pszExpected);
    }
}

TEST(FormatString, PrecisionStopsReadingAtTheLimit)
{
    /* Not NUL-terminated: the precision alone bounds what is read. */
    char const achNoNul[3] = { 'x', 'y', 'z' };
    EXPECT_EQ(fmt("%.3s", achNoNul), "xyz");
}

TEST(FormatString, BadPointers)
{
    EXPECT_EQ(fmt("%s", (char *)nullptr), "<NULL>");
    EXPECT_EQ(fmt("%10s|", (char *)nullptr), "    <NULL>|");
    EXPECT_EQ(fmt("%-8s|", (char *)nullptr), "<NULL>  |");
    EXPECT_EQ(fmt("%s", (char *)0x10), byPtr("<00000010!BadStr>", "<0000000000000010!BadStr>"));
    EXPECT_EQ(fmt("%ls", (RTUTF16 *)0xfff),
              byPtr("<00000fff!BadStrW>", "<0000000000000fff!BadStrW>"));
    EXPECT_EQ(fmt("%Ls", (RTUNICP *)(uintptr_t)-1),
              byPtr("<ffffffff!BadStrU>", "<ffffffffffffffff!BadStrU>"));
    EXPECT_EQ(fmt("%s", (char *)((uintptr_t)0 - 0x1000)),
              byPtr("<fffff000!BadStr>", "<fffffffffffff000!BadStr>"));
    /* 0x1000 is a real address as far as the engine knows; not tested by reading it. */
}

TEST(FormatString, Utf16)
{
    static const RTUTF16 s_wszPair[] = { 'a', 0xd83d, 0xde00, 'b', 0 };
    EXPECT_EQ(fmt("%ls", s_wszPair), "a\xf0\x9f\x98\x80"
                                     "b");
    static const RTUTF16 s_wszLone[] = { 'a', 'b', 0xd800, 'c', 'd', 0 };
    EXPECT_EQ(fmt("%ls", s_wszLone), "ab");
    static const RTUTF16 s_wszLoneLow[] = { 'x', 0xdc00, 'y', 0 };
    EXPECT_EQ(fmt("%ls", s_wszLoneLow), "x");
    static const RTUTF16 s_wszBmp[] = { 0xe9, 0x20ac, 0xfffd, 0 };
    EXPECT_EQ(fmt("%ls", s_wszBmp), "\xc3\xa9\xe2\x82\xac\xef\xbf\xbd");
    /* Width and precision count code points, not bytes or units. */
    EXPECT_EQ(fmt("%5ls|", s_wszPair), "  a\xf0\x9f\x98\x80"
                                       "b|");
    EXPECT_EQ(fmt("%-4ls|", s_wszPair), "a\xf0\x9f\x98\x80"
                                        "b |");
    EXPECT_EQ(fmt("%.2ls|", s_wszPair), "a\xf0\x9f\x98\x80|");
    static const RTUTF16 s_wszNonChar[] = { 'q', 0xffff, 'r', 0 };
    EXPECT_EQ(fmt("%ls", s_wszNonChar), "q");
}

TEST(FormatString, CodePoints)
{
    static const RTUNICP s_aCps[] = { 'A', 0xe9, 0x1f600, 0 };
    EXPECT_EQ(fmt("%Ls", s_aCps), "A\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(fmt("%.2Ls|%4Ls|", s_aCps, s_aCps), "A\xc3\xa9| A\xc3\xa9\xf0\x9f\x98\x80|");
}

TEST(FormatString, Char)
{
    EXPECT_EQ(fmt("%c%c", 'a', 0x141), "aA"); /* the low byte only */
    EXPECT_EQ(fmt("%3c|%-3c|", 'x', 'y'), "  x|y  |");
    EXPECT_EQ(fmt("%c", 0xe9), "\xe9"); /* not encoded */
    std::string const strNul = fmt("a%cb", 0);
    EXPECT_EQ(strNul, std::string("a\0b", 3));
}

/*
 * Floating point in the runtime's notation.
 */

struct R64Row
{
    double rd;
    const char *pszExpected;
};

double fromBits(uint64_t u)
{
    double rd;
    memcpy(&rd, &u, sizeof(rd));
    return rd;
}

TEST(FormatFloat, Notation)
{
    // clang-format off
    R64Row const aRows[] = {
        { 1.0, "+1m0x0000000000000^0" },
        { 1.5, "+1m0x8000000000000^0" },
        { 0.25, "+1m0x0000000000000^-2" },
        { -2.0, "-1m0x0000000000000^1" },
        { 0.0, "+0" },
        { -0.0, "-0" },
        { fromBits(UINT64_C(0x7ff0000000000000)), "+Inf" },
        { fromBits(UINT64_C(0xfff0000000000000)), "-Inf" },
        { fromBits(UINT64_C(0x7ff8000000000000)), "+QNan" },
        { fromBits(UINT64_C(0xfff8000000000001)), "-QNan" },
        { fromBits(UINT64_C(0x0000000000000001)), "+0m0x0000000000001" },
        { fromBits(UINT64_C(0x800fffffffffffff)), "-0m0xfffffffffffff" },
        { fromBits(UINT64_C(0x7fefffffffffffff)), "+1m0xfffffffffffff^1023" },
        { fromBits(UINT64_C(0x0010000000000000)), "+1m0x0000000000000^-1022" },
    };
    // clang-format on
    const char *const apszConv[] = { "%a", "%e", "%f", "%g", "%A", "%E", "%F", "%G", "%10.3Lf" };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        char szBuf[64];
        EXPECT_EQ(RTStrFmtR64(szBuf, sizeof(szBuf), &aRows[i].rd, -1, -1, 0),
                  (int)strlen(aRows[i].pszExpected));
        EXPECT_STREQ(szBuf, aRows[i].pszExpected);
        for (const char *pszConv : apszConv)
        {
            SCOPED_TRACE(testing::Message() << pszConv);
            EXPECT_EQ(fmt(pszConv, aRows[i].rd), aRows[i].pszExpected);
        }
    }
}

TEST(FormatFloat, SignallingNan)
{
    /* Built in memory: on the 32-bit target an x87 load would quiet it on the way. */
    uint64_t const au[] = { UINT64_C(0x7ff0000000000001), UINT64_C(0xfff4000000000000) };
    const char *const apszExpected[] = { "+SNan", "-SNan" };
    for (size_t i = 0; i < RT_ELEMENTS(au); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        double rd;
        memcpy(&rd, &au[i], sizeof(rd));
        char szBuf[16];
        EXPECT_EQ(RTStrFmtR64(szBuf, sizeof(szBuf), &rd, -1, -1, 0), 5);
        EXPECT_STREQ(szBuf, apszExpected[i]);
        if (sizeof(void *) == 8) /* passed in an SSE register, bits intact */
        {
            EXPECT_EQ(fmt("%f", rd), apszExpected[i]);
        }
    }
}

TEST(FormatFloat, BufferContract)
{
    double const rd = 1.5;
    char szBuf[8];
    memset(szBuf, 'z', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtR64(szBuf, 5, &rd, -1, -1, 0), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "+1m0");
    EXPECT_EQ(szBuf[5], 'z');
    double const rdZero = 0.0;
    EXPECT_EQ(RTStrFmtR64(szBuf, 3, &rdZero, -1, -1, 0), 2);
    EXPECT_STREQ(szBuf, "+0");
}

/*
 * %N, %M, unknown conversions, the user callback, cut-short specifiers.
 */

std::string fmtNested(const char *pszOuter, const char *pszInner, ...)
{
    va_list va;
    va_start(va, pszInner);
    std::string str = fmt(pszOuter, pszInner, &va, 99);
    /* The caller's va_list is not advanced by %N: the next va_arg is still the first argument. */
    int const iFirst = va_arg(va, int);
    va_end(va);
    return str + "#" + std::to_string(iFirst);
}

TEST(FormatNested, N)
{
    EXPECT_EQ(fmtNested("[%N] %d", "%d-%s", 5, "five"), "[5-five] 99#5");
    EXPECT_EQ(fmtNested("%-20N|%d", "x%5dx", 1), "x    1x|99#1"); /* width ignored */
    EXPECT_EQ(fmt("%N|%d", (char *)nullptr, (va_list *)nullptr, 4),
              "<NULL>|4"); /* a bad pointer prints a marker instead of crashing */
}

TEST(FormatNested, M)
{
    EXPECT_EQ(fmt("a%Mignored %d", "x%dy", 5), "ax5y");
    EXPECT_EQ(fmt("%5M|%s", "<%s>", "q"), "<q>");
    EXPECT_EQ(fmt("a%Mb", (char *)nullptr), "a<NULL>b");
}

TEST(FormatUnknown, DroppedWithoutCallback)
{
    EXPECT_EQ(fmt("a%nb%Cc%-5.3bd%yz", 1), "abcdz");
}

size_t userConv(void *pvArg, PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    std::string *pstrLog = (std::string *)pvArg;
    char const ch = **ppszFormat;
    (*ppszFormat)++;
    char szBuf[80];
    int const cch = snprintf(szBuf, sizeof(szBuf), "{%c w%d p%d f%x s%d v%d}", ch, cchWidth,
                             cchPrecision, fFlags, chArgSize, va_arg(*pva, int));
    *pstrLog += ch;
    return pfnOutput(pvArgOutput, szBuf, (size_t)cch);
}

TEST(FormatUnknown, UserCallback)
{
    std::string strLog;
    FmtCapture Cap;
    size_t const cch = RTStrFmt(fmtCaptureOutput, &Cap, userConv, &strLog, "<%-7.2lln>%d|%%|%b%",
                                11, 22, 33);
    EXPECT_EQ(Cap.strOut, "<{n w7 p2 f182 s76 v11}>22|%|{b w-1 p-1 f0 s0 v33}");
    EXPECT_EQ(cch, Cap.strOut.size());
    EXPECT_EQ(strLog, "nb"); /* not called for the cut-short "%" at the end */
}

TEST(FormatUnknown, SpecifierCutShortByTheEnd)
{
    // clang-format off
    const char *const apsz[] = { "abc%", "abc%-", "abc%-05", "abc%5.", "abc%.*", "abc%ll",
                                 "abc%hh", "abc%I", "abc%'+ #" };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(apsz); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << apsz[i]);
        std::string strLog;
        FmtCapture Cap;
        RTStrFmt(fmtCaptureOutput, &Cap, userConv, &strLog, apsz[i], 3, 4);
        EXPECT_EQ(Cap.strOut, "abc");
        EXPECT_EQ(strLog, "");
        EXPECT_EQ(Cap.cEndCalls, 1u);
    }
    /* "%I6" is a lone I (64 bits) followed by the conversion '6', which is unknown. */
    EXPECT_EQ(fmt("%I6x", 1LL), "x");
}

/*
 * Buffer front ends, with canaries.
 */

TEST(FormatToBuf, SizesAroundTheLength)
{
    const char *const pszOut = "hello, 42";
    size_t const n = strlen(pszOut);
    size_t const acb[] = { 0, 1, 2, n - 1, n, n + 1, n + 2 };
    for (size_t cb : acb)
    {
        SCOPED_TRACE(testing::Message() << "size " << cb);
        char achBuf[32];
        memset(achBuf, 0xcc, sizeof(achBuf));
        size_t const cch = RTStrFmtToBuf(achBuf, cb, "hello, %d", 42);
        size_t const cchStored = cb ? (cb - 1 < n ? cb - 1 : n) : 0;
        EXPECT_EQ(cch, cchStored);
        if (cb)
        {
            EXPECT_EQ(memcmp(achBuf, pszOut, cchStored), 0);
            EXPECT_EQ(achBuf[cchStored], '\0');
        }
        for (size_t j = cb ? cchStored + 1 : 0; j < sizeof(achBuf); j++)
            ASSERT_EQ((uint8_t)achBuf[j], 0xcc) << "byte " << j;
    }
}

TEST(FormatToBuf, ExSizesAroundTheLength)
{
    const char *const pszOut = "hello, 42";
    ptrdiff_t const n = (ptrdiff_t)strlen(pszOut);
    size_t const acb[] = { 0, 1, 2, (size_t)n - 1, (size_t)n, (size_t)n + 1, (size_t)n + 2 };
    for (size_t cb : acb)
    {
        SCOPED_TRACE(testing::Message() << "size " << cb);
        char achBuf[32];
        memset(achBuf, 0xcc, sizeof(achBuf));
        ptrdiff_t const cch = RTStrFmtToBufEx(achBuf, cb, "hello, %d", 42);
        EXPECT_EQ(cch, (ptrdiff_t)cb > n ? n : -(n + 1));
        size_t const cchStored = cb ? (cb - 1 < (size_t)n ? cb - 1 : (size_t)n) : 0;
        if (cb)
        {
            EXPECT_EQ(memcmp(achBuf, pszOut, cchStored), 0);
            EXPECT_EQ(achBuf[cchStored], '\0');
        }
        for (size_t j = cb ? cchStored + 1 : 0; j < sizeof(achBuf); j++)
            ASSERT_EQ((uint8_t)achBuf[j], 0xcc) << "byte " << j;
    }
}

TEST(FormatToBuf, EdgeCasesFromTheContract)
{
    char szBuf[4];
    EXPECT_EQ(RTStrFmtToBuf(szBuf, 4, "hello"), 3u);
    EXPECT_STREQ(szBuf, "hel");
    memset(szBuf, 'z', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtToBufEx(szBuf, 4, "hello"), -6);
    EXPECT_STREQ(szBuf, "hel");
    memset(szBuf, 'z', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtToBuf(szBuf, 4, ""), 0u);
    EXPECT_EQ(szBuf[0], '\0');
    EXPECT_EQ(RTStrFmtToBufEx(szBuf, 4, "%s", ""), 0);
    /* Output cut in the middle of padding and of a number. */
    EXPECT_EQ(RTStrFmtToBuf(szBuf, 4, "%10s", "x"), 3u);
    EXPECT_STREQ(szBuf, "   ");
    EXPECT_EQ(RTStrFmtToBufEx(szBuf, 4, "%d", 123456), -7);
    EXPECT_STREQ(szBuf, "123");
}

/*
 * The allocating front end.
 */

ptrdiff_t fmtAlloc(char **ppsz, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrFmtToAllocV(ppsz, pszFormat, va, "format-test");
    va_end(va);
    return cch;
}

TEST(FormatToAlloc, LengthsAcrossTheStackBuffer)
{
    size_t const acch[] = { 0, 1, 2046, 2047, 2048, 4095, 4096, 5000, 300000 };
    for (size_t cch : acch)
    {
        SCOPED_TRACE(testing::Message() << "length " << cch);
        std::string const strIn(cch, 'q');
        char *psz = nullptr;
        /* Split into pieces so that growth happens mid-way and at piece boundaries. */
        size_t const cchHalf = cch / 2;
        EXPECT_EQ(fmtAlloc(&psz, "%.*s%s", (int)cchHalf, strIn.c_str(), strIn.c_str() + cchHalf),
                  (ptrdiff_t)cch);
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(std::string(psz), strIn);
        RTStrRelease(psz);
    }
}

TEST(FormatToAlloc, OnePieceLongerThanAGrowthStep)
{
    std::string const strIn(3 * 0x100000 + 17, 'w');
    char *psz = nullptr;
    EXPECT_EQ(fmtAlloc(&psz, "<%s>", strIn.c_str()), (ptrdiff_t)strIn.size() + 2);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), "<" + strIn + ">");
    RTStrRelease(psz);
}

TEST(FormatToAlloc, OutOfMemory)
{
    std::string const strLong(10000, 'm');
    struct
    {
        int32_t cAllowed;
        const char *pszArg1;
        const char *pszArg2;
        ptrdiff_t cchExpected;
    } const aRows[] = {
        { 0, "short", "", -1 },                      /* the final copy off the stack fails */
        { 0, strLong.c_str(), "", -1 },              /* the first growth fails */
        { 1, strLong.c_str(), strLong.c_str(), -1 }, /* the second growth fails */
        { 2, strLong.c_str(), strLong.c_str(),
          20002 }, /* the shrink fails: the larger block is kept */
        { 10, strLong.c_str(), strLong.c_str(), 20002 },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        char *psz = (char *)"untouched";
        RTMemTestFailAfter(aRows[i].cAllowed);
        ptrdiff_t const cch = fmtAlloc(&psz, "%c%s%s%c", '[', aRows[i].pszArg1, aRows[i].pszArg2,
                                       ']');
        RTMemTestFailAfter(-1);
        EXPECT_EQ(cch, aRows[i].cchExpected);
        if (cch < 0)
            EXPECT_EQ(psz, nullptr);
        else
        {
            ASSERT_NE(psz, nullptr);
            EXPECT_EQ(strlen(psz), (size_t)cch);
            RTStrRelease(psz);
        }
    }
}

} // namespace
