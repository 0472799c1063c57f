/*
 * The random numbers behind unique names and the one-time initialisation
 * that creates their generator: the Park-Miller sequence against its known
 * values, the range mapping, and RTOnce under racing threads.
 */
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <zelk/err.h>
#include <zelk/once.h>
#include <zelk/rand.h>

#include "rand-internal.h"

TEST(rtRandParkMiller, KnownSequence)
{
    /* The generator's published check: from 1, the 10000th state is 1043618065. */
    uint32_t uState = 1;
    static const uint32_t s_auFirst[] = { 16807, 282475249, 1622650073, 984943658, 1144108930 };
    for (size_t i = 0; i < RT_ELEMENTS(s_auFirst); i++)
    {
        EXPECT_EQ(rtRandParkMillerNext(&uState), s_auFirst[i]) << "step " << i;
    }
    for (int i = 5; i < 10000; i++)
        rtRandParkMillerNext(&uState);
    EXPECT_EQ(uState, 1043618065u);

    /* A zero state starts from 20080806 instead of sticking at 0. */
    uState = 0;
    EXPECT_EQ(rtRandParkMillerNext(&uState), 343173863u);
    EXPECT_NE(rtRandParkMillerNext(&uState), 0u);

    /* States around the modulus and past it, as a seed from the time-stamp counter can be. */
    static const struct
    {
        uint32_t uState;
        uint32_t uNext; /* uState * 16807 mod 2^31 - 1 */
    } s_aRows[] =       // clang-format off
    {
        { 127773,      2147480811 },  /* the largest product below the modulus */
        { 127774,      13971 },       /* the smallest above it */
        { 0x7FFFFFFE,  2147466840 },
        { 0x7FFFFFFF,  0 },           /* the modulus itself */
        { 0x80000000,  16807 },
        { 0xFFFFFFFF,  16807 },
        { 0x7FFF8000,  1596768678 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        uState = s_aRows[i].uState;
        EXPECT_EQ(rtRandParkMillerNext(&uState), s_aRows[i].uNext) << "row " << i;
        EXPECT_EQ(uState, s_aRows[i].uNext) << "row " << i;
    }
}

TEST(rtRandParkMiller, RangeMapping)
{
    /* (state >> 1) mod (span + 1), plus the minimum. */
    static const struct
    {
        uint32_t uState;
        uint32_t uFirst;
        uint32_t uLast;
        uint32_t uExpect;
    } s_aRows[] = // clang-format off
    {
        { 0, 0, 35, 23 },                  /* 343173863 >> 1 = 171586931, mod 36 = 23 */
        { 0, 100, 135, 123 },
        { 1, 0, 35, 8403 % 36 },           /* 16807 >> 1 = 8403 */
        { 1, 7, 7, 7 },
        { 1, 0, 0x7FFFFFE, 8403 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        uint32_t uState = s_aRows[i].uState;
        EXPECT_EQ(rtRandParkMillerRange(&uState, s_aRows[i].uFirst, s_aRows[i].uLast),
                  s_aRows[i].uExpect);
    }

    /* Wide spans reach their whole range, top bit included. */
    uint32_t uState = 12345;
    uint32_t uMax = 0;
    for (int i = 0; i < 1000; i++)
    {
        uint32_t const u = rtRandParkMillerRange(&uState, 0x10, UINT32_MAX);
        ASSERT_GE(u, 0x10u);
        uMax = u > uMax ? u : uMax;
    }
    EXPECT_GE(uMax, UINT32_C(0xF0000000));
}

TEST(RTRandRange, StaysInRangeAndCoversIt)
{
    std::set<uint32_t> setSeen;
    for (int i = 0; i < 10000; i++)
    {
        uint32_t const u = RTRandRange(0, 35);
        ASSERT_LE(u, 35u);
        setSeen.insert(u);
    }
    EXPECT_EQ(setSeen.size(), 36u);
    EXPECT_EQ(RTRandRange(9, 9), 9u);
    for (int i = 0; i < 100; i++)
    {
        uint32_t const u = RTRandRange(1000, 1010);
        ASSERT_GE(u, 1000u);
        ASSERT_LE(u, 1010u);
    }
}

namespace {

std::atomic<int> g_cOnceRuns;

int onceSlow(void *pvUser)
{
    g_cOnceRuns++;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return *(int *)pvUser;
}

} // namespace

TEST(RTOnce, RunsOnceAndRemembersTheStatus)
{
    static const int s_aRcs[] = { 0, KWRN_TRAILING_CHARS, KERR_NO_MEMORY };
    for (size_t i = 0; i < RT_ELEMENTS(s_aRcs); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        RTONCE Once = RTONCE_INITIALIZER;
        g_cOnceRuns = 0;
        int rc = s_aRcs[i];
        std::vector<std::thread> vecThreads;
        std::vector<int> vecRcs(8, 12345);
        for (int t = 0; t < 8; t++)
            vecThreads.emplace_back([&, t] { vecRcs[t] = RTOnce(&Once, onceSlow, &rc); });
        for (std::thread &Thread : vecThreads)
            Thread.join();
        EXPECT_EQ(g_cOnceRuns, 1);
        for (int t = 0; t < 8; t++)
        {
            EXPECT_EQ(vecRcs[t], s_aRcs[i]) << "thread " << t;
        }
        int rcOther = 777;
        EXPECT_EQ(RTOnce(&Once, onceSlow, &rcOther), s_aRcs[i]);
        EXPECT_EQ(g_cOnceRuns, 1);
    }
}
