/*
 * The floating-point conversions a e f g A E F G as a family of their own, so
 * that a program that prints no floating point does not carry their
 * conversion.  Every one prints a double in the runtime's notation
 * (RTStrFmtR64); width, precision and flags do not change it.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

size_t rtFmtFamilyFloat(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                        va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags, char)
{
    (*ppszFormat)++;
#if defined(__i386__)
    /* Taken as bits: an x87 load would turn a signalling NaN into a quiet one. */
    uint64_t const u64Bits = va_arg(*pva, uint64_t);
    double r64;
    RTMemCopy(&r64, &u64Bits, sizeof(r64));
#else
    double const r64 = va_arg(*pva, double);
#endif
    char szNum[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtR64(szNum, sizeof(szNum), &r64, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, (size_t)cch);
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyFloat = { "", rtFmtFamilyFloat, "aAeEfFgG" };
