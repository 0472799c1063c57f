/*
 * 64-bit division for 32-bit executables linked without the C runtime.
 *
 * GCC turns a 64-bit '/' or '%' on x86 into calls to these.  libgcc has them
 * too, but its objects carry unwind tables that a program without exceptions
 * never reads and that would cost the installer a section of its own.  Plain
 * shift-and-subtract from the divisor's highest bit: the runtime divides 64-bit
 * numbers only to print them and to scale timer ticks, never in a hot loop.  A
 * zero divisor traps, as the processor's own division does.
 */
#include <stdint.h>

namespace {

uint64_t rtNoCrtUDivMod64(uint64_t uDividend, uint64_t uDivisor, uint64_t *puRem)
{
    if (!uDivisor)
        __builtin_trap();
    if (!((uDividend | uDivisor) >> 32))
    {
        *puRem = (uint32_t)uDividend % (uint32_t)uDivisor;
        return (uint32_t)uDividend / (uint32_t)uDivisor;
    }
    if (uDivisor > uDividend)
    {
        *puRem = uDividend;
        return 0;
    }
    int const cShift = __builtin_clzll(uDivisor) - __builtin_clzll(uDividend);
    uDivisor <<= cShift;
    uint64_t uQuotient = 0;
    for (int i = 0; i <= cShift; i++)
    {
        uQuotient <<= 1;
        if (uDividend >= uDivisor)
        {
            uDividend -= uDivisor;
            uQuotient |= 1;
        }
        uDivisor >>= 1;
    }
    *puRem = uDividend;
    return uQuotient;
}

inline uint64_t rtNoCrtAbs64(int64_t i)
{
    return i < 0 ? 0 - (uint64_t)i : (uint64_t)i;
}

} // namespace

extern "C" {

uint64_t __udivmoddi4(uint64_t uDividend, uint64_t uDivisor, uint64_t *puRem)
{
    uint64_t uRem;
    uint64_t const uQuotient = rtNoCrtUDivMod64(uDividend, uDivisor, &uRem);
    if (puRem)
        *puRem = uRem;
    return uQuotient;
}

uint64_t __udivdi3(uint64_t uDividend, uint64_t uDivisor)
{
    uint64_t uRem;
    return rtNoCrtUDivMod64(uDividend, uDivisor, &uRem);
}

uint64_t __umoddi3(uint64_t uDividend, uint64_t uDivisor)
{
    uint64_t uRem;
    rtNoCrtUDivMod64(uDividend, uDivisor, &uRem);
    return uRem;
}

/* Signed: the quotient truncates towards zero, the remainder takes the dividend's sign. */
int64_t __divdi3(int64_t iDividend, int64_t iDivisor)
{
    uint64_t uRem;
    uint64_t const uQuotient = rtNoCrtUDivMod64(rtNoCrtAbs64(iDividend), rtNoCrtAbs64(iDivisor),
                                                &uRem);
    return (iDividend < 0) != (iDivisor < 0) ? (int64_t)(0 - uQuotient) : (int64_t)uQuotient;
}

int64_t __moddi3(int64_t iDividend, int64_t iDivisor)
{
    uint64_t uRem;
    rtNoCrtUDivMod64(rtNoCrtAbs64(iDividend), rtNoCrtAbs64(iDivisor), &uRem);
    return iDividend < 0 ? (int64_t)(0 - uRem) : (int64_t)uRem;
}

} // extern "C"
