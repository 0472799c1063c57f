/*
 * The 64-bit division of executables without the C runtime (nocrt-div.cpp,
 * linked into this test so that every 64-bit '/' and '%' here goes through it):
 * pinned quotients at the edges of the ranges, and q * d + r == n with
 * 0 <= |r| < |d| over a spread of operands.
 */
#include <gtest/gtest.h>

#include <stdint.h>

namespace {

/* Through volatile, so that the compiler cannot fold the division away. */
uint64_t udiv(uint64_t n, uint64_t d)
{
    volatile uint64_t v = d;
    return n / v;
}
uint64_t umod(uint64_t n, uint64_t d)
{
    volatile uint64_t v = d;
    return n % v;
}
int64_t sdiv(int64_t n, int64_t d)
{
    volatile int64_t v = d;
    return n / v;
}
int64_t smod(int64_t n, int64_t d)
{
    volatile int64_t v = d;
    return n % v;
}

TEST(NoCrtDiv, PinnedUnsigned)
{
    struct Row
    {
        uint64_t n, d, q, r;
    };
    // clang-format off
    static const Row s_aRows[] = {
        { 0, 1, 0, 0 },
        { 7, 7, 1, 0 },
        { 6, 7, 0, 6 },
        { UINT64_MAX, 1, UINT64_MAX, 0 },
        { UINT64_MAX, 10, UINT64_C(1844674407370955161), 5 },
        { UINT64_MAX, UINT64_MAX, 1, 0 },
        { UINT64_MAX - 1, UINT64_MAX, 0, UINT64_MAX - 1 },
        { UINT64_C(0x100000000), 2, UINT64_C(0x80000000), 0 },
        { UINT64_C(0xffffffff), UINT64_C(0x100000000), 0, UINT64_C(0xffffffff) },
        { UINT64_C(10000000000000000000), UINT64_C(1000000000), UINT64_C(10000000000), 0 },
        { UINT64_C(0x8000000000000000), UINT64_C(0x8000000000000001), 0, UINT64_C(0x8000000000000000) },
        { UINT64_C(0x123456789abcdef0), UINT64_C(0x12345678), UINT64_C(0x100000008), UINT64_C(0x9abcdef0) - UINT64_C(0x91a2b3c0) },
    };
    // clang-format on
    for (size_t i = 0; i < sizeof(s_aRows) / sizeof(s_aRows[0]); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(udiv(s_aRows[i].n, s_aRows[i].d), s_aRows[i].q);
        EXPECT_EQ(umod(s_aRows[i].n, s_aRows[i].d), s_aRows[i].r);
    }
}

TEST(NoCrtDiv, PinnedSigned)
{
    struct Row
    {
        int64_t n, d, q, r;
    };
    // clang-format off
    static const Row s_aRows[] = {
        { 7, 2, 3, 1 },
        { -7, 2, -3, -1 },
        { 7, -2, -3, 1 },
        { -7, -2, 3, -1 },
        { INT64_MIN, 1, INT64_MIN, 0 },
        { INT64_MIN, INT64_MAX, -1, -1 },
        { INT64_MAX, INT64_MIN, 0, INT64_MAX },
        { INT64_MIN, 10, INT64_C(-922337203685477580), -8 },
    };
    // clang-format on
    for (size_t i = 0; i < sizeof(s_aRows) / sizeof(s_aRows[0]); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(sdiv(s_aRows[i].n, s_aRows[i].d), s_aRows[i].q);
        EXPECT_EQ(smod(s_aRows[i].n, s_aRows[i].d), s_aRows[i].r);
    }
}

TEST(NoCrtDiv, QuotientTimesDivisorPlusRemainder)
{
    uint64_t x = UINT64_C(0x9e3779b97f4a7c15);
    for (unsigned i = 0; i < 4000; i++)
    {
        /* xorshift operands of every magnitude: shift them down by a varying amount. */
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        uint64_t const n = x >> (i % 64);
        uint64_t const d = (x * UINT64_C(0x2545f4914f6cdd1d)) >> ((i / 64) % 64) | 1;
        uint64_t const q = udiv(n, d);
        uint64_t const r = umod(n, d);
        ASSERT_LT(r, d) << n << " / " << d;
        ASSERT_EQ(q * d + r, n) << n << " / " << d;
        int64_t const sn = (int64_t)(n >> 1) * ((i & 1) ? -1 : 1);
        int64_t const sd = (int64_t)(d >> 1 | 1) * ((i & 2) ? -1 : 1);
        int64_t const sq = sdiv(sn, sd);
        int64_t const sr = smod(sn, sd);
        ASSERT_TRUE(sr == 0 || (sr < 0) == (sn < 0)) << sn << " % " << sd;
        ASSERT_EQ((uint64_t)sq * (uint64_t)sd + (uint64_t)sr, (uint64_t)sn) << sn << " / " << sd;
    }
}

} // namespace
