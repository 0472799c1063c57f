/*
 * The process-wide random generator behind the unique names: a Park-Miller
 * ("minimal standard") generator, state times 16807 modulo 2^31 - 1, seeded
 * from the time-stamp counter on first use and never again.  Its state is
 * one static word, so that drawing a number never depends on memory.
 */
#include <zelk/err.h>
#include <zelk/once.h>
#include <zelk/rand.h>

#include "rand-internal.h"

namespace {

RTONCE g_RandOnce = RTONCE_INITIALIZER;
uint32_t g_u32RandState = 0;

uint64_t rtRandTimeStamp(void)
{
#if defined(__i386__) || defined(__x86_64__)
    return __builtin_ia32_rdtsc();
#else
    uint64_t u;
    return (uint64_t)(uintptr_t)&u;
#endif
}

int rtRandOnceSeed(void *pvUser)
{
    (void)pvUser;
    g_u32RandState = (uint32_t)(rtRandTimeStamp() >> 8);
    return KINF_SUCCESS;
}

} // namespace

uint32_t rtRandParkMillerNext(uint32_t *pu32State)
{
    /*
     * 2^31 is 1 modulo 2^31 - 1, so the product's bits from 31 up add to its
     * low 31; the sum is below twice the modulus and one subtraction ends
     * the reduction, where a 64-bit remainder is a library call here.
     */
    uint64_t const u64 = (uint64_t)(*pu32State ? *pu32State : UINT32_C(20080806)) * 16807;
    uint32_t u32 = ((uint32_t)u64 & UINT32_C(0x7FFFFFFF)) + (uint32_t)(u64 >> 31);
    if (u32 >= UINT32_C(0x7FFFFFFF))
        u32 -= UINT32_C(0x7FFFFFFF);
    *pu32State = u32;
    return u32;
}

uint32_t rtRandParkMillerRange(uint32_t *pu32State, uint32_t u32First, uint32_t u32Last)
{
    uint32_t const uSpan = u32Last - u32First;
    if (uSpan < UINT32_C(0x7FFFFFF))
        return u32First + (rtRandParkMillerNext(pu32State) >> 1) % (uSpan + 1);

    /* Wide spans: 30 bits per draw do not cover them evenly, so three draws make 90. */
    uint64_t u64 = 0;
    for (int i = 0; i < 3; i++)
        u64 = (u64 << 30) ^ (rtRandParkMillerNext(pu32State) >> 1);
    return u32First + (uint32_t)(u64 % ((uint64_t)uSpan + 1));
}

uint32_t RTRandRange(uint32_t u32First, uint32_t u32Last)
{
    RTOnce(&g_RandOnce, rtRandOnceSeed, nullptr);
    return rtRandParkMillerRange(&g_u32RandState, u32First, u32Last);
}
