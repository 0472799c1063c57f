/*
 * Private interface between the option parser and its value converters.
 *
 * The converters of the value kinds beyond plain and string options live in
 * getoptvalue-*.cpp, one object per group of kinds, and are reached only
 * through the program's g_apRTGetOptValueKinds: a program that names its own
 * groups (RTGETOPT_VALUE_KINDS in <zelk/getopt.h>) links only those, one that
 * does not gets the runtime's list of all of them.
 */
#ifndef ZELK_INTERNAL_GETOPT_H
#define ZELK_INTERNAL_GETOPT_H

#include <zelk/getopt.h>
#include <zelk/string.h>

#include "ascii-internal.h"

static inline bool rtGetOptIsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

static inline bool rtGetOptIsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

static inline char rtGetOptFoldAscii(char ch)
{
    return (char)rtAsciiToLower((uint32_t)ch);
}

/* A hex digit's value, 16 for anything else. */
static inline unsigned rtGetOptHexValue(char ch)
{
    unsigned const uValue = rtAsciiDigitValue(ch);
    return uValue < 16 ? uValue : 16;
}

static inline bool rtGetOptHasHexPrefix(const char *psz)
{
    return psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X') && rtGetOptHexValue(psz[2]) < 16;
}

static inline const char *rtGetOptSkipBlanks(const char *psz)
{
    while (rtGetOptIsBlank(*psz))
        psz++;
    return psz;
}

/*
 * Converts pszValue of kind uKind into *pTmp (zeroed by the caller).  uBase is
 * the radix the flags ask for (10 without one), fRadix whether they gave one.
 * Returns 0, or the status RTGetOpt returns; a converter that fails with
 * KERR_OPT_UNKNOWN stores pszValue in pValue->psz first.
 */
typedef int FNRTGETOPTCONVERT(uint32_t uKind, unsigned uBase, bool fRadix, const char *pszValue,
                              RTOPTIONVALUE *pTmp, RTOPTIONVALUE *pValue);

struct RTGETOPTVALUEKINDS
{
    uint32_t fKinds; /* bit n set: the group converts RTGETOPT_REQ_* kind n */
    FNRTGETOPTCONVERT *pfnConvert;
};

#define RTGETOPT_KIND_BIT(a_uKind) (UINT32_C(1) << (a_uKind))

#endif
