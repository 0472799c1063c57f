/*
 * UTF-8 and UTF-16: acceptance at every edge, code point decoding and
 * encoding, the caller-buffer contracts with canary bytes, allocation
 * failures, and the string helpers.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "utf-internal.h"

namespace {

struct AcceptRow
{
    const char *psz;
    int rcUtf16; // RTStrUtf16Units
    size_t cwc;  // units on success
    int rcCp;    // RTStrCpCountEx
    size_t cCps; // code points on success
};

const AcceptRow g_aAcceptRows[] = // clang-format off
{
    { "", 0, 0, 0, 0 },
    { "abc", 0, 3, 0, 3 },
    { "\x7f", 0, 1, 0, 1 },
    { "\xc2\x80", 0, 1, 0, 1 },                      // first 2-byte
    { "\xdf\xbf", 0, 1, 0, 1 },                      // last 2-byte
    { "\xe0\xa0\x80", 0, 1, 0, 1 },                  // first 3-byte
    { "\xed\x9f\xbf", 0, 1, 0, 1 },                  // U+D7FF
    { "\xee\x80\x80", 0, 1, 0, 1 },                  // U+E000
    { "\xef\xbf\xbd", 0, 1, 0, 1 },                  // U+FFFD
    { "\xef\xbf\xbe", -59, 0, -59, 0 },              // U+FFFE
    { "\xef\xbf\xbf", -59, 0, -59, 0 },              // U+FFFF
    { "\xed\xa0\x80", -60, 0, -60, 0 },              // U+D800
    { "\xed\xbf\xbf", -60, 0, -60, 0 },              // U+DFFF
    { "\xf0\x90\x80\x80", 0, 2, 0, 1 },              // first 4-byte
    { "\xf0\x9f\x98\x80", 0, 2, 0, 1 },              // U+1F600
    { "\xf4\x8f\xbf\xbf", 0, 2, 0, 1 },              // U+10FFFF
    { "\xf4\x90\x80\x80", -63, 0, 0, 1 },            // U+110000
    { "\xf7\xbf\xbf\xbf", -63, 0, 0, 1 },            // last 4-byte
    { "\xf8\x88\x80\x80\x80", -63, 0, 0, 1 },        // first 5-byte
    { "\xfb\xbf\xbf\xbf\xbf", -63, 0, 0, 1 },        // last 5-byte
    { "\xfc\x84\x80\x80\x80\x80", -63, 0, 0, 1 },    // first 6-byte
    { "\xfd\xbf\xbf\xbf\xbf\xbf", -63, 0, 0, 1 },    // last 6-byte
    { "\xc0\x80", -61, 0, -61, 0 },                  // overlong NUL
    { "\xc1\xbf", -61, 0, -61, 0 },
    { "\xe0\x9f\xbf", -61, 0, -61, 0 },
    { "\xf0\x8f\xbf\xbf", -61, 0, -61, 0 },
    { "\xf8\x87\xbf\xbf\xbf", -61, 0, -61, 0 },
    { "\xfc\x83\xbf\xbf\xbf\xbf", -61, 0, -61, 0 },
    { "\x80", -61, 0, -61, 0 },                      // stray continuation
    { "a\xbf", -61, 0, -61, 0 },
    { "\xfe", -61, 0, -61, 0 },
    { "\xff", -61, 0, -61, 0 },
    { "\xc2", -61, 0, -61, 0 },                      // cut by the NUL
    { "\xe2\x82", -61, 0, -61, 0 },
    { "\xf0\x9f\x98", -61, 0, -61, 0 },
    { "\xc2\x41", -61, 0, -61, 0 },                  // bad continuation
    { "ok\xef\xbf\xbe\xc0", -59, 0, -59, 0 },        // the first error wins
};
// clang-format on

} // namespace

TEST(Utf8Accept, Measures)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aAcceptRows); i++)
    {
        const AcceptRow &row = g_aAcceptRows[i];
        size_t cwc = 12345, cCps = 12345;
        EXPECT_EQ(RTStrUtf16Units(row.psz, &cwc), row.rcUtf16) << "row " << i;
        EXPECT_EQ(cwc, row.rcUtf16 == 0 ? row.cwc : 12345u) << "row " << i;
        size_t cwcEx = 0;
        EXPECT_EQ(RTStrUtf16UnitsEx(row.psz, RTSTR_MAX, &cwcEx), row.rcUtf16) << "row " << i;
        EXPECT_EQ(cwcEx, row.rcUtf16 == 0 ? row.cwc : RTSTR_MAX) << "row " << i;
        EXPECT_EQ(RTStrCpCountEx(row.psz, RTSTR_MAX, &cCps, nullptr), row.rcCp) << "row " << i;
        EXPECT_EQ(cCps, row.rcCp == 0 ? row.cCps : 12345u) << "row " << i;
        EXPECT_EQ(RTStrCpCount(row.psz), row.rcCp == 0 ? row.cCps : 0) << "row " << i;
    }
}

TEST(Utf8Accept, ByteLimit)
{
    struct
    {
        const char *psz;
        size_t cch;
        int rc;
        size_t cwc;
    } const aRows[] = // clang-format off
    {
        { "\xe2\x82\xac", 2, -61, 0 },  // a sequence cut by the limit
        { "\xe2\x82\xac", 3, 0, 1 },
        { "\xe2\x82\xac", 0, 0, 0 },
        { "abc", 2, 0, 2 },
        { "ab\0cd", 5, 0, 2 },          // the NUL comes first
        { "\xf0\x9f\x98\x80", 3, -61, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        size_t cwc = 0;
        EXPECT_EQ(RTStrUtf16UnitsN(aRows[i].psz, aRows[i].cch, &cwc), aRows[i].rc) << "row " << i;
        EXPECT_EQ(cwc, aRows[i].rc == 0 ? aRows[i].cwc : 0) << "row " << i;
        EXPECT_EQ(RTStrUtf16UnitsEx(aRows[i].psz, aRows[i].cch, &cwc), aRows[i].rc) << "row " << i;
    }
    size_t cCps = 0, cbExamined = 0;
    EXPECT_EQ(RTStrCpCountEx("a\xc3\xa9z", 3, &cCps, &cbExamined), 0);
    EXPECT_EQ(cCps, 2u);
    EXPECT_EQ(cbExamined, 3u);
    EXPECT_EQ(RTStrCpCountEx("a\xc3\xa9z", 2, &cCps, &cbExamined), -61);
    EXPECT_EQ(cbExamined, 1u);
}

TEST(Utf8CheckEncoding, LengthRules)
{
    struct
    {
        const char *psz;
        size_t cch;
        uint32_t fFlags;
        int rc;
    } const aRows[] = // clang-format off
    {
        { "abc", 4, 3, 0 },
        { "abc", 5, 3, -22401 },
        { "abc", 3, 1, -41 },
        { "abc", 4, 1, 0 },
        { "abc", 3, 2, 0 },
        { "abc", 4, 2, -22401 },
        { "abc", 2, 2, 0 },             // the text fills the two bytes looked at
        { "abc", 3, 3, -41 },
        { "abc", 10, 0, 0 },
        { "abc", 2, 0, 0 },
        { "a\xc0\x80", 10, 0, -61 },
        { "a\xc0\x80", 10, 3, -61 },    // the encoding error comes first
        { "abc", 4, 4, -2 },
        { "abc", 4, 0x80000000, -2 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(RTStrCheckEncoding(aRows[i].psz, aRows[i].cch, aRows[i].fFlags), aRows[i].rc)
            << "row " << i;
}

TEST(Utf8Decode, CodePointsAndCursor)
{
    struct
    {
        const char *psz;
        int rc;
        RTUNICP cp;
        size_t cbAdvance;
    } const aRows[] = // clang-format off
    {
        { "A", 0, 0x41, 1 },
        { "", 0, 0, 1 },
        { "\xc3\xa9", 0, 0xe9, 2 },
        { "\xe2\x82\xac", 0, 0x20ac, 3 },
        { "\xf0\x9f\x98\x80", 0, 0x1f600, 4 },
        { "\xf4\x90\x80\x80", 0, 0x110000, 4 },       // code points beyond UTF-16 decode
        { "\xf8\x88\x80\x80\x80", 0, 0x200000, 5 },
        { "\xfd\xbf\xbf\xbf\xbf\xbf", 0, 0x7fffffff, 6 },
        { "\xc0\x80", -61, RTUNICP_INVALID, 1 },
        { "\xef\xbf\xbe", -59, RTUNICP_INVALID, 1 },
        { "\xed\xa0\x80", -60, RTUNICP_INVALID, 1 },
        { "\x80x", -61, RTUNICP_INVALID, 1 },
        { "\xe2\x82", -61, RTUNICP_INVALID, 1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        const char *psz = aRows[i].psz;
        RTUNICP cp = 0;
        EXPECT_EQ(RTStrDecodeCp(&psz, &cp), aRows[i].rc) << "row " << i;
        EXPECT_EQ(cp, aRows[i].cp) << "row " << i;
        EXPECT_EQ((size_t)(psz - aRows[i].psz), aRows[i].cbAdvance) << "row " << i;
        EXPECT_EQ(RTStrCpAt(aRows[i].psz), aRows[i].cp) << "row " << i;

        psz = aRows[i].psz;
        size_t cchLeft = 7;
        EXPECT_EQ(RTStrDecodeCpN(&psz, &cchLeft, &cp), aRows[i].rc) << "row " << i;
        EXPECT_EQ(cchLeft, 7 - aRows[i].cbAdvance) << "row " << i;
    }
}

TEST(Utf8Decode, CountedCursor)
{
    const char *psz = "\xc3\xa9";
    size_t cchLeft = 1;
    RTUNICP cp = 0;
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cchLeft, &cp), -61); // the count cuts the sequence
    EXPECT_EQ(cchLeft, 0u);
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cchLeft, &cp), -83);
    EXPECT_EQ(cp, RTUNICP_INVALID);
}

TEST(Utf8Encode, EveryLength)
{
    struct
    {
        RTUNICP cp;
        const char *pszBytes;
    } const aRows[] = // clang-format off
    {
        { 0x0, "\x00" }, { 0x7f, "\x7f" }, { 0x80, "\xc2\x80" }, { 0x7ff, "\xdf\xbf" },
        { 0x800, "\xe0\xa0\x80" }, { 0xd800, "\xed\xa0\x80" }, { 0xffff, "\xef\xbf\xbf" },
        { 0x10000, "\xf0\x90\x80\x80" }, { 0x10ffff, "\xf4\x8f\xbf\xbf" },
        { 0x1fffff, "\xf7\xbf\xbf\xbf" }, { 0x200000, "\xf8\x88\x80\x80\x80" },
        { 0x3ffffff, "\xfb\xbf\xbf\xbf\xbf" }, { 0x4000000, "\xfc\x84\x80\x80\x80\x80" },
        { 0x7fffffff, "\xfd\xbf\xbf\xbf\xbf\xbf" }, { 0x80000000, "\x7f" },
        { RTUNICP_INVALID, "\x7f" }, { 0xffffffff, "\x7f" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        char ab[8];
        std::memset(ab, 0xcc, sizeof(ab));
        size_t const cbExpected = aRows[i].cp == 0 ? 1 : std::strlen(aRows[i].pszBytes);
        char *pszEnd = RTStrEncodeCp(ab, aRows[i].cp);
        ASSERT_EQ((size_t)(pszEnd - ab), cbExpected) << "row " << i;
        EXPECT_EQ(std::memcmp(ab, aRows[i].pszBytes, cbExpected), 0) << "row " << i;
        EXPECT_EQ((unsigned char)ab[cbExpected], 0xcc) << "row " << i << ": wrote past the end";
    }
}

TEST(Utf8CpBefore, WalksBackOneCodePoint)
{
    const char sz[] = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    struct
    {
        const char *pszStart;
        size_t offPos;
        size_t offExpected;
    } const aRows[] = // clang-format off
    {
        { sz, 0, 0 },     // at the start
        { sz, 1, 0 },     // ASCII before
        { sz, 3, 1 },     // 2-byte sequence
        { sz, 6, 3 },     // 3-byte sequence
        { sz, 10, 6 },    // 4-byte sequence
        { sz, 2, 0 },     // a lead byte just before: the string start
        { sz, 5, 0 },     // lead announces two, only one passed: mismatch
        { sz + 2, 3, 2 }, // continuation at the start: the start
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(RTStrCpBefore(aRows[i].pszStart, sz + aRows[i].offPos), sz + aRows[i].offExpected)
            << "row " << i;
    const char szLong[] = "\x80\x80\x80\x80\x80\x80\x80\x80x";
    EXPECT_EQ(RTStrCpBefore(szLong, szLong + 8), szLong);
}

TEST(Utf16Decode, LittleAndBigEndian)
{
    struct
    {
        RTUTF16 awc[3];
        int rc;
        RTUNICP cp;
        size_t cwcAdvance;
    } const aRows[] = // clang-format off
    {
        { { 0x41, 0 }, 0, 0x41, 1 },
        { { 0xd7ff, 0 }, 0, 0xd7ff, 1 },
        { { 0xe000, 0 }, 0, 0xe000, 1 },
        { { 0xfffd, 0 }, 0, 0xfffd, 1 },
        { { 0xfffe, 0 }, -59, RTUNICP_INVALID, 1 },
        { { 0xffff, 0 }, -59, RTUNICP_INVALID, 1 },
        { { 0xd83d, 0xde00, 0 }, 0, 0x1f600, 2 },
        { { 0xd800, 0xdc00, 0 }, 0, 0x10000, 2 },
        { { 0xdbff, 0xdfff, 0 }, 0, 0x10ffff, 2 },
        { { 0xd800, 0x41, 0 }, -62, RTUNICP_INVALID, 1 },
        { { 0xd800, 0 }, -62, RTUNICP_INVALID, 1 },
        { { 0xdc00, 0xd800, 0 }, -62, RTUNICP_INVALID, 1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        PCRTUTF16 pwsz = aRows[i].awc;
        RTUNICP cp = 0;
        EXPECT_EQ(RTUtf16DecodeCp(&pwsz, &cp), aRows[i].rc) << "row " << i;
        EXPECT_EQ(cp, aRows[i].cp) << "row " << i;
        EXPECT_EQ((size_t)(pwsz - aRows[i].awc), aRows[i].cwcAdvance) << "row " << i;

        RTUTF16 awcBE[3];
        for (size_t j = 0; j < 3; j++)
            awcBE[j] = (RTUTF16)(aRows[i].awc[j] << 8 | aRows[i].awc[j] >> 8);
        pwsz = awcBE;
        EXPECT_EQ(RTUtf16BEDecodeCp(&pwsz, &cp), aRows[i].rc) << "BE row " << i;
        EXPECT_EQ(cp, aRows[i].cp) << "BE row " << i;
        EXPECT_EQ((size_t)(pwsz - awcBE), aRows[i].cwcAdvance) << "BE row " << i;
    }
}

TEST(Utf16Measure, Utf8Bytes)
{
    struct
    {
        std::vector<RTUTF16> units;
        size_t cwcLimit;
        int rc;
        size_t cch;
    } const aRows[] = // clang-format off
    {
        { { 0 }, RTSTR_MAX, 0, 0 },
        { { 0x41, 0x7f, 0 }, RTSTR_MAX, 0, 2 },
        { { 0x80, 0x7ff, 0 }, RTSTR_MAX, 0, 4 },
        { { 0x800, 0xfffd, 0 }, RTSTR_MAX, 0, 6 },
        { { 0xd83d, 0xde00, 0 }, RTSTR_MAX, 0, 4 },
        { { 0xd83d, 0xde00, 0 }, 1, -62, RTSTR_MAX },  // high surrogate at the limit
        { { 0x41, 0x42, 0 }, 1, 0, 1 },
        { { 0xd800, 0 }, RTSTR_MAX, -62, RTSTR_MAX },
        { { 0xdc00, 0 }, RTSTR_MAX, -62, RTSTR_MAX },
        { { 0x41, 0xfffe, 0 }, RTSTR_MAX, -59, RTSTR_MAX },
        { { 0xffff, 0 }, RTSTR_MAX, -59, RTSTR_MAX },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        size_t cch = 0;
        EXPECT_EQ(RTUtf16Utf8BytesEx(aRows[i].units.data(), aRows[i].cwcLimit, &cch), aRows[i].rc)
            << "row " << i;
        EXPECT_EQ(cch, aRows[i].cch) << "row " << i;
    }
    EXPECT_EQ(RTUtf16Units(nullptr), 0u);
    const RTUTF16 awc[] = { 1, 2, 3, 0 };
    EXPECT_EQ(RTUtf16Units(awc), 3u);
}

TEST(Utf8ToUtf16, AllocatingConversion)
{
    PRTUTF16 pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", &pwsz, "test"), 0);
    const RTUTF16 awcExpected[] = { 0x61, 0xe9, 0x20ac, 0xd83d, 0xde00, 0 };
    EXPECT_EQ(std::memcmp(pwsz, awcExpected, sizeof(awcExpected)), 0);
    RTStrRelease(pwsz);

    pwsz = (PRTUTF16)1;
    EXPECT_EQ(RTStrToUtf16("\xed\xa0\x80", &pwsz, "test"), -60);
    EXPECT_EQ(pwsz, nullptr);

    RTMemTestFailAfter(0);
    pwsz = (PRTUTF16)1;
    EXPECT_EQ(RTStrToUtf16("abc", &pwsz, "test"), -65);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(pwsz, nullptr);
}

TEST(Utf8ToUtf16, CallerBufferSizesWithCanary)
{
    // "abcd" needs 4 units and a terminator: sizes 1..6, nothing past the size touched.
    for (size_t cwcBuf = 1; cwcBuf <= 6; cwcBuf++)
    {
        RTUTF16 awc[8];
        for (RTUTF16 &wc : awc)
            wc = 0xcccc;
        PRTUTF16 pwsz = awc;
        size_t cwcNeeded = 0;
        int const rc = RTStrToUtf16Ex("abcd", RTSTR_MAX, &pwsz, cwcBuf, &cwcNeeded, "test");
        EXPECT_EQ(cwcNeeded, 4u) << "size " << cwcBuf;
        EXPECT_EQ(pwsz, awc) << "size " << cwcBuf;
        if (cwcBuf >= 5)
        {
            EXPECT_EQ(rc, 0) << "size " << cwcBuf;
            const RTUTF16 awcExpected[] = { 'a', 'b', 'c', 'd', 0 };
            EXPECT_EQ(std::memcmp(awc, awcExpected, sizeof(awcExpected)), 0) << "size " << cwcBuf;
        }
        else
        {
            EXPECT_EQ(rc, KERR_BUFFER_OVERFLOW) << "size " << cwcBuf;
            EXPECT_EQ(awc[0], 0) << "size " << cwcBuf;
        }
        for (size_t j = cwcBuf >= 5 ? 5 : 1; j < 8; j++)
            EXPECT_EQ(awc[j], 0xcccc) << "size " << cwcBuf << ", unit " << j;
    }
}

TEST(Utf8ToUtf16, SizeZeroOrNullPointerAllocates)
{
    PRTUTF16 pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16Ex("abcdef", 3, &pwsz, 0, nullptr, "test"), 0);
    const RTUTF16 awcExpected[] = { 'a', 'b', 'c', 0 };
    EXPECT_EQ(std::memcmp(pwsz, awcExpected, sizeof(awcExpected)), 0);
    RTStrRelease(pwsz);

    // A size with a null pointer allocates at least that many units.
    pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16Ex("ab", RTSTR_MAX, &pwsz, 100, nullptr, "test"), 0);
    pwsz[99] = 0x1234; // the whole size is usable (ASan would object otherwise)
    RTStrRelease(pwsz);

    RTMemTestFailAfter(0);
    pwsz = nullptr;
    EXPECT_EQ(RTStrToUtf16Ex("ab", RTSTR_MAX, &pwsz, 0, nullptr, "test"), -65);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(pwsz, nullptr);
}

TEST(Utf16ToUtf8, ConversionsAndBufferSizes)
{
    const RTUTF16 awcPair[] = { 0xd83d, 0xde00, 0 };
    char *psz = nullptr;
    size_t cch = 0;
    ASSERT_EQ(RTUtf16ToUtf8Ex(awcPair, RTSTR_MAX, &psz, 0, &cch, "test"), 0);
    EXPECT_STREQ(psz, "\xf0\x9f\x98\x80");
    EXPECT_EQ(cch, 4u);
    RTStrRelease(psz);

    const RTUTF16 awcLone[] = { 0xd800, 0 };
    psz = (char *)1;
    EXPECT_EQ(RTUtf16ToUtf8Ex(awcLone, RTSTR_MAX, &psz, 0, &cch, "test"), -62);
    EXPECT_EQ(psz, nullptr);

    const RTUTF16 awc[] = { 'a', 0xe9, 0x20ac, 0 }; // 1 + 2 + 3 bytes
    for (size_t cbBuf = 1; cbBuf <= 8; cbBuf++)
    {
        char ab[10];
        std::memset(ab, 0xcc, sizeof(ab));
        psz = ab;
        int const rc = RTUtf16ToUtf8Ex(awc, RTSTR_MAX, &psz, cbBuf, &cch, "test");
        EXPECT_EQ(cch, 6u) << "size " << cbBuf;
        if (cbBuf >= 7)
        {
            EXPECT_EQ(rc, 0) << "size " << cbBuf;
            EXPECT_STREQ(ab, "a\xc3\xa9\xe2\x82\xac") << "size " << cbBuf;
        }
        else
        {
            EXPECT_EQ(rc, KERR_BUFFER_OVERFLOW) << "size " << cbBuf;
            EXPECT_EQ(ab[0], '\0') << "size " << cbBuf;
        }
        for (size_t j = cbBuf; j < sizeof(ab); j++)
            EXPECT_EQ((unsigned char)ab[j], 0xcc) << "size " << cbBuf << ", byte " << j;
    }

    RTMemTestFailAfter(0);
    psz = nullptr;
    EXPECT_EQ(RTUtf16ToUtf8Ex(awc, RTSTR_MAX, &psz, 0, nullptr, "test"), -64);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(psz, nullptr);
}

TEST(Utf16ToUtf8, RoundTripOfEveryPlaneBoundary)
{
    const RTUNICP aCps[]
        = { 1, 0x7f, 0x80, 0x7ff, 0x800, 0xd7ff, 0xe000, 0xfffd, 0x10000, 0x10ffff };
    std::string utf8;
    for (RTUNICP cp : aCps)
    {
        char ab[8];
        utf8.append(ab, (size_t)(RTStrEncodeCp(ab, cp) - ab));
    }
    PRTUTF16 pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16(utf8.c_str(), &pwsz, "test"), 0);
    char *psz = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(pwsz, RTSTR_MAX, &psz, 0, nullptr, "test"), 0);
    EXPECT_EQ(utf8, psz);
    RTStrRelease(psz);
    RTStrRelease(pwsz);
}

TEST(Utf8ToCpArray, CallerArrayAndAllocation)
{
    RTUNICP aCps[4] = { 7, 7, 7, 7 };
    RTUNICP *paCps = aCps;
    size_t cCps = 0;
    EXPECT_EQ(RTStrToCpArray("a\xc3\xa9\xf4\x90\x80\x80", RTSTR_MAX, &paCps, 4, &cCps), 0);
    EXPECT_EQ(cCps, 3u);
    EXPECT_EQ(aCps[0], 0x61u);
    EXPECT_EQ(aCps[1], 0xe9u);
    EXPECT_EQ(aCps[2], 0x110000u);
    EXPECT_EQ(aCps[3], 0u);

    paCps = aCps;
    EXPECT_EQ(RTStrToCpArray("abcd", RTSTR_MAX, &paCps, 4, &cCps), -41);
    EXPECT_EQ(cCps, 4u);

    paCps = nullptr;
    ASSERT_EQ(RTStrToCpArray("abcd", 2, &paCps, 0, &cCps), 0);
    EXPECT_EQ(cCps, 2u);
    EXPECT_EQ(paCps[1], (RTUNICP)'b');
    EXPECT_EQ(paCps[2], 0u);
    RTStrRelease(paCps);

    RTMemTestFailAfter(0);
    paCps = nullptr;
    EXPECT_EQ(RTStrToCpArray("abcd", RTSTR_MAX, &paCps, 0, nullptr), -66);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(paCps, nullptr);
}

namespace {

int g_rcFakeRecode;
size_t g_cFakeRoom;

/* Writes 'r' into every item it has room for; the room it was given is what the rows check. */
int fakeRecode(const void *pvIn, size_t cIn, void *pvOut, size_t cRoom)
{
    (void)pvIn;
    (void)cIn;
    g_cFakeRoom = cRoom;
    memset(pvOut, 'r', cRoom + 1);
    return g_rcFakeRecode;
}

} // namespace

/* The skeleton of the three measured conversions: which buffer, what room, what is left behind. */
TEST(UtfConvert, BufferChoiceAndFailures)
{
    enum
    {
        kNull,
        kCaller,
        kNew
    };
    static const struct
    {
        int rcCount;
        size_t cNeeded, cItems;
        bool fCaller;
        int rcRecode, rcExpected, enmOut;
        size_t cRoom; /* room handed to the recoder, or 0 when it must not run */
        char chCallerFirst;
    } s_aRows[] = // clang-format off
    {
        { 0, 3, 0, false, 0, 0, kNew, 3, 'c' },                              /* exact allocation */
        { 0, 3, 10, false, 0, 0, kNew, 9, 'c' },                             /* null buffer, a size: at least that */
        { 0, 3, 4, true, 0, 0, kCaller, 3, 'r' },                            /* just fits */
        { 0, 3, 3, true, 0, KERR_BUFFER_OVERFLOW, kCaller, 0, '\0' },        /* terminator does not fit */
        { 0, 3, 0, true, 0, 0, kNew, 3, 'c' },                               /* size 0: the pointer is ignored */
        { KERR_INVALID_UTF16, 0, 8, true, 0, KERR_INVALID_UTF16, kCaller, 0, '\0' },
        { KERR_INVALID_UTF16, 0, 0, false, 0, KERR_INVALID_UTF16, kNull, 0, 'c' },
        { 0, 3, 0, false, KERR_BUFFER_OVERFLOW, KERR_BUFFER_OVERFLOW, kNull, 3, 'c' }, /* freed, not returned */
        { 0, 3, 8, true, KERR_BUFFER_OVERFLOW, KERR_BUFFER_OVERFLOW, kCaller, 7, 'r' },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        char achCaller[16];
        memset(achCaller, 'c', sizeof(achCaller));
        /* Without a size the pointer is not looked at: garbage then. */
        void *pvOut = s_aRows[i].fCaller  ? achCaller
                      : s_aRows[i].cItems ? nullptr
                                          : (void *)&g_cFakeRoom;
        g_rcFakeRecode = s_aRows[i].rcRecode;
        g_cFakeRoom = 0;
        int const rc = rtUtfConvert("in", 2, s_aRows[i].rcCount, s_aRows[i].cNeeded, &pvOut,
                                    s_aRows[i].cItems, 1, KERR_NO_STR_MEMORY, "test", fakeRecode);
        EXPECT_EQ(rc, s_aRows[i].rcExpected);
        EXPECT_EQ(g_cFakeRoom, s_aRows[i].cRoom);
        EXPECT_EQ(achCaller[0], s_aRows[i].chCallerFirst);
        EXPECT_EQ(achCaller[1], s_aRows[i].chCallerFirst == 'r' ? 'r' : 'c');
        switch (s_aRows[i].enmOut)
        {
            case kNull: EXPECT_EQ(pvOut, nullptr); break;
            case kCaller: EXPECT_EQ(pvOut, (void *)achCaller); break;
            case kNew:
                ASSERT_NE(pvOut, nullptr);
                EXPECT_NE(pvOut, (void *)achCaller);
                EXPECT_NE(pvOut, (void *)&g_cFakeRoom);
                EXPECT_EQ(((char *)pvOut)[g_cFakeRoom],
                          'r'); /* the terminator's item is there too */
                RTMemFree(pvOut);
                break;
        }
    }
}

TEST(StrToCurrentCP, AsciiAndInvalidInput)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrToCurrentCP(&psz, "", "test"), 0);
    EXPECT_STREQ(psz, "");
    RTStrRelease(psz);
    ASSERT_EQ(RTStrToCurrentCP(&psz, "plain text", "test"), 0);
    EXPECT_STREQ(psz, "plain text");
    RTStrRelease(psz);
    psz = (char *)1;
    EXPECT_LT(RTStrToCurrentCP(&psz, "bad \xc0\x80", "test"), 0);
    EXPECT_EQ(psz, nullptr);
}
