/*
 * String helpers: caller-buffer copies with canary bytes, appends, the ASCII
 * case-insensitive compare, and the allocating helpers' size rules and
 * failures.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

TEST(StrCopyInto, SizesWithCanary)
{
    struct
    {
        size_t cbDst;
        int rc;
        const char *pszExpected; // null: nothing written
    } const aRows[] =            // clang-format off
    {
        { 0, -41, nullptr }, { 1, -41, "" }, { 2, -41, "h" }, { 3, -41, "he" },
        { 5, -41, "hell" }, { 6, 0, "hello" }, { 7, 0, "hello" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        char ab[10];
        std::memset(ab, 0xcc, sizeof(ab));
        EXPECT_EQ(RTStrCopyInto(ab, aRows[i].cbDst, "hello"), aRows[i].rc) << "row " << i;
        size_t cbWritten = 0;
        if (aRows[i].pszExpected)
        {
            EXPECT_STREQ(ab, aRows[i].pszExpected) << "row " << i;
            cbWritten = std::strlen(aRows[i].pszExpected) + 1;
        }
        for (size_t j = cbWritten; j < sizeof(ab); j++)
            EXPECT_EQ((unsigned char)ab[j], 0xcc) << "row " << i << ", byte " << j;
    }
}

TEST(StrAppendInto, RoomLeftAndMissingTerminator)
{
    struct
    {
        const char *pszInitial;
        size_t cbDst;
        const char *pszAppend;
        int rc;
        const char *pszExpected;
    } const aRows[] = // clang-format off
    {
        { "ab", 8, "cd", 0, "abcd" },
        { "ab", 5, "cd", 0, "abcd" },
        { "ab", 4, "cd", -41, "abc" },
        { "ab", 3, "cd", -41, "ab" },
        { "", 1, "x", -41, "" },
        { "abc", 3, "x", -2, "abc" },   // no NUL within the buffer
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        char ab[12];
        std::memset(ab, 0xcc, sizeof(ab));
        std::memcpy(ab, aRows[i].pszInitial, std::strlen(aRows[i].pszInitial) + 1);
        EXPECT_EQ(RTStrAppendInto(ab, aRows[i].cbDst, aRows[i].pszAppend), aRows[i].rc)
            << "row " << i;
        EXPECT_EQ(std::string(ab, std::strlen(aRows[i].pszExpected)), aRows[i].pszExpected)
            << "row " << i;
        for (size_t j = std::max(aRows[i].cbDst, std::strlen(aRows[i].pszInitial) + 1);
             j < sizeof(ab); j++)
            EXPECT_EQ((unsigned char)ab[j], 0xcc) << "row " << i << ", byte " << j;
    }
}

TEST(StrCmpAsciiNoCase, Rows)
{
    struct
    {
        const char *psz;
        const char *pszAscii;
        int iSign;    // -1, 0, 1
    } const aRows[] = // clang-format off
    {
        { "Hello", "hELLO", 0 }, { "a", "b", -1 }, { "b", "a", 1 }, { "", "", 0 },
        { "abc", "ab", 1 }, { "ab", "abc", -1 }, { "ZEBRA", "zebra", 0 },
        { "[", "{", -1 },                 // '[' and '{' are not letters: no folding
        { "\xc3\xa9", "e", 1 },           // a differing code point of 0x80 or more
        { "x\xc3\xa9", "X\xc3\xa9", 1 },  // the ASCII side is bytes, not UTF-8
        { "A\xc0x", "a\xc0x", 0 },        // invalid UTF-8: the rest bytewise
        { "A\xc0x", "a\xc0y", -1 },
        { nullptr, "a", -1 }, { "a", nullptr, 1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        int const iResult = RTStrCmpAsciiNoCase(aRows[i].psz, aRows[i].pszAscii);
        EXPECT_EQ(iResult < 0 ? -1 : iResult > 0 ? 1 : 0, aRows[i].iSign) << "row " << i;
    }
    EXPECT_EQ(RTStrCmpAsciiNoCase(nullptr, nullptr), 0);
    EXPECT_EQ(RTStrCmpAsciiNoCase("a", "b"), 'a' - 'b');
}

TEST(StrAlloc, CloneAndResize)
{
    char *psz = RTStrAllocBuf(0, "test");
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');
    RTStrRelease(psz);

    psz = RTStrCloneMax("abcdef", 3, "test");
    EXPECT_STREQ(psz, "abc");
    RTStrRelease(psz);
    psz = RTStrClone("x\xc3\xa9", "test");
    EXPECT_STREQ(psz, "x\xc3\xa9");

    ASSERT_EQ(RTStrResize(&psz, 2, "test"), 0);
    EXPECT_STREQ(psz, "x"); // the last byte of the block is the NUL
    ASSERT_EQ(RTStrResize(&psz, 64, "test"), 0);
    EXPECT_STREQ(psz, "x");
    EXPECT_EQ(psz[63], '\0');
    RTMemTestFailAfter(0);
    char *pszOld = psz;
    EXPECT_EQ(RTStrResize(&psz, 128, "test"), -64);
    EXPECT_EQ(psz, pszOld); // kept on failure
    EXPECT_EQ(RTStrClone("a", "test"), nullptr);
    char *pszCopy = (char *)1;
    EXPECT_EQ(RTStrCloneMaxEx(&pszCopy, "a", RTSTR_MAX, "test"), -64);
    EXPECT_EQ(pszCopy, nullptr);
    RTMemTestFailAfter(-1);
    ASSERT_EQ(RTStrResize(&psz, 0, "test"), 0);
    EXPECT_EQ(psz, nullptr);
    ASSERT_EQ(RTStrResize(&psz, 5, "test"), 0);
    EXPECT_EQ(psz[0], '\0');
    RTStrRelease(psz);
    RTStrRelease(nullptr);
}

TEST(Utf16Alloc, SizesCloneAndResize)
{
    for (size_t cb : { 0, 1, 2, 3, 4, 7 })
    {
        PRTUTF16 pwsz = RTUtf16AllocBuf(cb, "test");
        ASSERT_NE(pwsz, nullptr);
        EXPECT_EQ(pwsz[0], 0);
        size_t const cwcUsable = cb < 3 ? 1 : (cb + 1) / 2;
        pwsz[cwcUsable - 1] = 0x41; // the rounded size is usable (checked under ASan)
        RTStrRelease(pwsz);
    }

    const RTUTF16 awc[] = { 'h', 'i', 0 };
    PRTUTF16 pwsz = RTUtf16Clone(awc, "test");
    EXPECT_EQ(std::memcmp(pwsz, awc, sizeof(awc)), 0);
    ASSERT_EQ(RTUtf16Resize(&pwsz, 3, "test"), 0); // rounded up to 4 bytes
    EXPECT_EQ(pwsz[0], 'h');
    EXPECT_EQ(pwsz[1], 0);
    RTMemTestFailAfter(0);
    EXPECT_EQ(RTUtf16Resize(&pwsz, 100, "test"), -64);
    PRTUTF16 pwszNull = nullptr;
    EXPECT_EQ(RTUtf16Resize(&pwszNull, 100, "test"), -65);
    RTMemTestFailAfter(-1);
    ASSERT_EQ(RTUtf16Resize(&pwsz, 0, "test"), 0);
    EXPECT_EQ(pwsz, nullptr);
}
