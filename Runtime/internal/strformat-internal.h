/*
 * Private interface between the format engine and its %R conversions.
 *
 * The %R handlers print through the caller's output callback and may format
 * sub-pieces with rtStrFmtSub, which never makes the end-of-output call: only
 * the outermost RTStrFmtV ends the output.
 *
 * The %R conversions come in families, one object file each, keyed by the
 * first one or two characters of the name; the floating-point conversions are
 * a family too, keyed by their conversion characters.  The engine reaches a
 * family only through g_apRTStrFmtFamilies, so a program that assembles its
 * own list (see RTSTRFMT_FAMILIES in <zelk/format.h>) links only the families
 * it names; without one it gets the runtime's list of all of them.
 */
#ifndef ZELK_INTERNAL_STRFORMAT_H
#define ZELK_INTERNAL_STRFORMAT_H

#include <zelk/format.h>

#include "ptr-internal.h"

/* A pointer within a page of either end of the address space is never read. */
static inline bool rtStrFmtIsBadPtr(const void *pv)
{
    return rtIsBadPtr(pv);
}

/* Pointer width in hex digits: the %p width and the width of bad-pointer markers. */
#define RTSTR_FMT_PTR_DIGITS    ((int)sizeof(void *) * 2)
/* FMT_F_32BIT or FMT_F_64BIT, whichever a pointer is. */
#define RTSTR_FMT_PTR_SIZE_FLAG (sizeof(void *) > 4 ? FMT_F_64BIT : FMT_F_32BIT)

/* The whole engine without the end-of-output call. */
size_t rtStrFmtCore(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                    void *pvArgFormat, const char *pszFormat, va_list *pva);
/* Formats a sub-piece without user callback and without ending the output. */
size_t rtStrFmtSub(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszFormat, ...);

/*
 * Fetches an integer argument of cbArg bytes (1, 2, 4 or 8; anything larger
 * counts as 8) and ORs the matching FMT_F_8BIT..FMT_F_64BIT into *pfFlags.
 * Arguments narrower than 8 bytes travel as int: with fSignExtend they are
 * sign-extended from that int (1 and 2 bytes without truncation, 4 bytes from
 * bit 31); without it 1 and 2 byte values are cut to their width and 4 byte
 * values zero-extended.
 */
uint64_t rtStrFmtFetchInt(va_list *pva, unsigned cbArg, bool fSignExtend, unsigned *pfFlags);

/* Formats u64 with RTStrFmtNumber and outputs it. */
size_t rtStrFmtNum(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, unsigned uBase,
                   int cchWidth, int cchPrecision, unsigned fFlags);

/* "0123456789abcdef". */
extern const char g_achRTStrFmtHexLower[];

/* Outputs a NUL-terminated string as it is. */
size_t rtStrFmtOut(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *psz);

/* The cursor one character past pszFrom, never past a terminator. */
static inline const char *rtStrFmtStep(const char *pszFrom)
{
    return *pszFrom ? pszFrom + 1 : pszFrom;
}

/*
 * Prints "<NULL>" for a null pointer, otherwise "<" the pointer (pointer
 * width, lower-case hex) pszMarker ">", padded with spaces to cchWidth
 * (behind with FMT_F_LEFT).
 */
size_t rtStrFmtBadPtr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, int cchWidth,
                      unsigned fFlags, const char *pszMarker);

/* cch spaces, one per call. */
size_t rtStrFmtPad(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, size_t cch);

/*
 * A family handler.  *ppszFormat points at the 'R' of a %R conversion, or at
 * the conversion character of the others, on entry; the handler moves it past
 * the name it recognises (or as the family's rule for unknown names says) and
 * fetches its own arguments.
 */
typedef size_t FNRTSTRFMTFAMILY(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput,
                                const char **ppszFormat, va_list *pva, int cchWidth,
                                int cchPrecision, unsigned fFlags, char chArgSize);

/* %RI* %RU* %RX*: the sized integers, shared by the two families that print them. */
FNRTSTRFMTFAMILY rtStrFmtSizedInt;

struct RTSTRFMTFAMILY
{
    /*
     * The starts of the %R names the family handles (after the 'R'), one or
     * two characters each, separated by blanks.  The longest start that
     * matches a name picks the family; of two that claim the same start (a
     * family and a smaller one made of part of it) the first listed wins, and
     * both print the name alike.
     */
    char szPrefixes[16];
    FNRTSTRFMTFAMILY *pfnFormat;
    /* The conversion characters the family handles instead of %R names. */
    char szConversions[12];
};

/*
 * The %R type tables: the sized integer types (%RX32, %RI64, ...) and the
 * runtime types (%RTbool, %RTnaddr, ...) are two families that share one
 * lookup, argument fetch and number output (strformatrt-types.cpp).
 */
enum RTFMTKIND : uint8_t
{
    kKindNumber = 0,
    kKindNumberFull, /* zero-padded to the value's width unless a width is given */
    kKindBool,
    kKindFar16,
    kKindFar32,
    kKindFar64,
    kKindIPv4,
    kKindIPv6,
    kKindMac,
    kKindNetAddr,
    kKindUuid,
    kKindErrInfoStatus,
    kKindErrInfoMsg,
};

/* 18 bytes: the tables hold dozens of these. */
struct RTFMTTYPEREC
{
    uint8_t cchName;
    char szName[11];
    uint8_t cbValue;
    uint8_t uBase;
    RTFMTKIND enmKind;
    uint16_t fFlags;
};

static_assert(sizeof(RTFMTTYPEREC) == 18, "type record packing");

#define RTFMTTYPEREC_INIT(a_sz, a_cb, a_uBase, a_enmKind, a_fFlags)     \
 {                                                                      \
  (uint8_t)(sizeof(a_sz) - 1), a_sz, a_cb, a_uBase, a_enmKind, a_fFlags \
 }

/* A type table argument: a number, a far pointer's offset and selector, or a pointer. */
struct RTFMTTYPEARG
{
    uint64_t u64;
    uint16_t uSel;
    const void *pv;
};

/* Prints the kinds beyond kKindNumber and kKindNumberFull. */
typedef size_t FNRTFMTTYPEKIND(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput,
                               const RTFMTTYPEREC *pRec, const RTFMTTYPEARG *pArg, int cchWidth,
                               unsigned fFlags);

/*
 * Looks the name after the 'R' up in paTypes (sorted by name, searched by
 * prefix), fetches its argument and prints it; other kinds than the numbers
 * go to pfnKind.  An unknown name stops the cursor one character after 'R'.
 */
size_t rtStrFmtTypeTable(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                         va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                         const RTFMTTYPEREC *paTypes, size_t cTypes, FNRTFMTTYPEKIND *pfnKind);

/* %R types: *ppszFormat points at the 'R' on entry and is advanced by the handler. */
size_t rtStrFmtExtType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize);
/* "<missing:%" the name ">": a conversion of a family the program does not have. */
size_t rtStrFmtMissing(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pchName,
                       size_t cchName);
/* A conversion a family provides by its character (floating point): *ppszFormat points at it. */
size_t rtStrFmtConversion(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                          va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                          char chArgSize);

/* Shared between families: the IPv4 and MAC forms, status and Windows error codes. */
size_t rtStrFmtIPv4(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab);
size_t rtStrFmtIPv6(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab);
size_t rtStrFmtMac(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab);
/* chWhat 'c': the name (or the number when the table has none); anything else prints nothing. */
size_t rtStrFmtStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, int rc);
size_t rtStrFmtStatusName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, int rc);
/* The message, with fAll preceded by the name and number: "NAME (rc) - message". */
size_t rtStrFmtStatusMessage(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, bool fAll, int rc);
size_t rtStrFmtWinErr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, uint32_t uErr);

#endif
