/*
 * The process-wide random generator behind the unique names: a Park-Miller
 * ("minimal standard") generator, state times 16807 modulo 2^31 - 1, seeded
 * from the time-stamp counter.  It is created once on first use and lives
 * until the process ends; a system-provided source is asked for first, which
 * this system doesn't have.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/once.h>
#include <zelk/rand.h>

#include "rand-internal.h"

namespace {

const uint32_t g_uRandMagic = UINT32_C(0x19531118);

struct RTRANDINT
{
    uint32_t u32Magic;
    uint32_t u32State;
};

RTONCE g_RandOnce = RTONCE_INITIALIZER;
RTRANDINT *g_pRand = nullptr;

uint64_t rtRandTimeStamp(void)
{
#if defined(__i386__) || defined(__x86_64__)
    return __builtin_ia32_rdtsc();
#else
    uint64_t u;
    return (uint64_t)(uintptr_t)&u;
#endif
}

int rtRandCreateSystem(RTRANDINT **ppRand)
{
    *ppRand = nullptr;
    return KERR_NOT_SUPPORTED;
}

int rtRandCreateParkMiller(RTRANDINT **ppRand)
{
    RTRANDINT *pRand = (RTRANDINT *)RTMemAlloc(sizeof(*pRand), "rand");
    if (!pRand)
        return KERR_NO_MEMORY;
    pRand->u32Magic = g_uRandMagic;
    pRand->u32State = (uint32_t)(rtRandTimeStamp() >> 8);
    *ppRand = pRand;
    return KINF_SUCCESS;
}

int rtRandOnceCreate(void *pvUser)
{
    (void)pvUser;
    RTRANDINT *pRand = nullptr;
    int rc = rtRandCreateSystem(&pRand);
    if (RT_FAILURE(rc))
        rc = rtRandCreateParkMiller(&pRand);
    if (RT_SUCCESS(rc))
        g_pRand = pRand;
    return rc;
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
    /* Should the record not be had (no memory), the numbers still come, from a static state. */
    static uint32_t s_u32Fallback = 0;
    int const rc = RTOnce(&g_RandOnce, rtRandOnceCreate, nullptr);
    uint32_t *pu32State = &s_u32Fallback;
    if (RT_SUCCESS(rc) && g_pRand && g_pRand->u32Magic == g_uRandMagic)
        pu32State = &g_pRand->u32State;
    else if (!s_u32Fallback)
        s_u32Fallback = (uint32_t)(rtRandTimeStamp() >> 8);
    return rtRandParkMillerRange(pu32State, u32First, u32Last);
}
