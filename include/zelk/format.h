/*
 * The format engine: printf-style formatting through an output callback.
 *
 * Design note.  RTStrFmtV walks a UTF-8 format string and hands every piece
 * of output to a PFNRTFMTOUTPUT callback: literal runs whole, numbers whole,
 * padding of strings and characters one space per call.  After the format it
 * makes one end-of-output call (null, 0) whose return value is not counted;
 * the result is the sum of all the other returns.  It allocates nothing,
 * keeps no state and never fails: bad pointers print markers such as
 * "<NULL>" or "<00000010!BadStr>", unknown conversions print nothing (or go
 * to the optional user callback), a specifier cut short by the end of the
 * string ends the output there.
 *
 * Supported: flags " #'+-0", width and precision (digits or "*"), the size
 * prefixes hh h l ll L q j z t I I32 I64, the conversions d i u o x X p c s
 * S, the floating-point conversions a e f g A E F G in the runtime's own
 * notation (see RTStrFmtR64; a family, see below), %N (nested format with a
 * va_list pointer), %M (continue with another format string) and the %R
 * extended types (sized and runtime integers, status codes, addresses, hex
 * dumps, escaping, ...).
 * Left out: %n, decimal floating point, positional arguments.
 *
 * Where the engine departs from C: precision zeros come after the width
 * padding (%5.3d of 5 is "    005"), "'" groups with spaces, %p always pads
 * to the pointer width, a converted number is at most 63 characters, and
 * h/hh arguments are sign-extended without truncation (%hx of -1 is
 * ffffffffffffffff).
 *
 * Pointer width: %p and the pointer in bad-pointer markers print 8 hex digits
 * on 32-bit targets and 16 on 64-bit ones.  The size prefixes l, z and t take
 * the target's long, size_t and ptrdiff_t (32 bits on the Windows target).
 */
#ifndef ZELK_FORMAT_H
#define ZELK_FORMAT_H

#include <zelk/types.h>

/* Format flags, passed to RTStrFmtNumber, the %R handlers and the user callback. */
#define FMT_F_UPPER     0x0001u /* X: upper-case digits and "0X" */
#define FMT_F_LEFT      0x0002u /* -: left-justify */
#define FMT_F_ZEROPAD   0x0004u /* 0: pad numbers with zeros */
#define FMT_F_ALT       0x0008u /* #: "0" for octal, "0x" for hex */
#define FMT_F_SIGNED    0x0010u /* the value is signed */
#define FMT_F_PLUS      0x0020u /* +: "+" before non-negative signed values */
#define FMT_F_BLANK     0x0040u /* space: " " before non-negative signed values */
#define FMT_F_WIDTH     0x0080u /* a width was given */
#define FMT_F_PRECISION 0x0100u /* a precision was given */
#define FMT_F_GROUP     0x0200u /* ': group decimal digits in threes */
#define FMT_F_HIDEPTR   0x0400u /* set by the %R type table: print placeholders */
#define FMT_F_8BIT      0x0800u /* the argument was 8 bits */
#define FMT_F_16BIT     0x1000u /* the argument was 16 bits */
#define FMT_F_32BIT     0x2000u /* the argument was 32 bits */
#define FMT_F_64BIT     0x4000u /* the argument is 64 bits */

/* Size of the buffer RTStrFmtNumber writes into; a number is at most one less. */
#define RTSTR_FMT_NUM_BUF 64

/*
 * User conversion callback, called for conversion characters the engine does
 * not know.  On entry *ppszFormat points at the conversion character; the
 * callback advances it past what it consumes and fetches its arguments
 * through pva.  chArgSize is the size code (0, 'H' for hh, 'h', 'l', 'L' for
 * ll/L/q/I64, 'j', 'z', 't').  Returns the bytes it produced through
 * pfnOutput (the sum of pfnOutput's returns).
 */
typedef size_t (*PFNRTFMTTYPE)(void *pvArg, PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput,
                               const char **ppszFormat, va_list *pva, int cchWidth,
                               int cchPrecision, unsigned fFlags, char chArgSize);

/*
 * Formats pszFormat with va through pfnOutput (see the design note above).
 *   pfnOutput/pvArgOutput  the output callback and its pointer.
 *   pfnFormat/pvArgFormat  optional user callback for unknown conversions.
 * Returns the sum of pfnOutput's returns, the end-of-output call excepted.
 * The caller's va is not advanced (the engine works on a copy).
 */
size_t RTStrFmtV(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                 void *pvArgFormat, const char *pszFormat, va_list va);
size_t RTStrFmt(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                void *pvArgFormat, const char *pszFormat, ...);

/*
 * Converts an integer into psz, which must hold RTSTR_FMT_NUM_BUF bytes, and
 * NUL-terminates it.  uBase is 8, 10 or 16 (anything else counts as 10).  The
 * conversion is done on 64 bits when FMT_F_64BIT is set or the upper half of
 * u64Value is non-zero, on 32 bits otherwise.  cchWidth/cchPrecision: -1 for
 * none.  Returns the length written (at most 63).
 */
int RTStrFmtNumber(char *psz, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                   unsigned fFlags);

/*
 * RTStrFmtNumber into a buffer of cbBuf bytes (the size counts the NUL), with
 * the flags' low 11 bits and FMT_F_32BIT / FMT_F_64BIT.  Returns the length,
 * or KERR_BUFFER_OVERFLOW when the text does not fit with its NUL: the buffer
 * then holds the first cbBuf-1 characters and a NUL (nothing for cbBuf 0).
 */
int RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth,
                int cchPrecision, unsigned fFlags);
int RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth,
                int cchPrecision, unsigned fFlags);

/*
 * Prints a double in the runtime's notation, not in decimal: "+0", "-0",
 * "+Inf", "-Inf", "+QNan", "+SNan" (and with "-"), normal numbers as
 * sign "1m0x" 13-hex-digit-mantissa "^" exponent (1.0 is +1m0x0000000000000^0),
 * subnormals as sign "0m0x" mantissa.  Width, precision and flags are
 * ignored.  Buffer contract and returns as RTStrFmtU32.
 */
int RTStrFmtR64(char *pszBuf, size_t cbBuf, const double *pr64Value, int cchWidth, int cchPrecision,
                unsigned fFlags);

/*
 * Formats into pszBuf of cbBuf bytes (the size counts the NUL), truncating.
 * Returns the characters stored without the NUL.  cbBuf 0: nothing is
 * formatted or written, 0 is returned; otherwise the buffer is always
 * NUL-terminated.
 */
size_t RTStrFmtToBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
size_t RTStrFmtToBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list va);

/*
 * As RTStrFmtToBuf, but the result tells whether it fitted: the length of the
 * output when it fitted with its NUL, otherwise -(full length + 1), the
 * negated buffer size that would have been needed.  On overflow the buffer
 * holds the first cbBuf-1 characters and a NUL (cbBuf 0: nothing is written).
 */
ptrdiff_t RTStrFmtToBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
ptrdiff_t RTStrFmtToBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list va);

/*
 * Formats into a new string of exactly the length + 1 bytes, stored in
 * *ppszBuffer; the caller frees it with RTStrRelease.  Returns the length, or
 * -1 when memory ran out (*ppszBuffer is then null).  pszTag names the
 * caller for heap diagnostics.
 */
ptrdiff_t RTStrFmtToAllocV(char **ppszBuffer, const char *pszFormat, va_list va,
                           const char *pszTag);
ptrdiff_t RTStrFmtToAlloc(char **ppszBuffer, const char *pszTag, const char *pszFormat, ...);

/*
 * The %R families.  A program links only the families in its
 * g_apRTStrFmtFamilies; one that does not define the list gets the runtime's,
 * which has them all.  To link fewer, name them once in one source file:
 *
 *     RTSTRFMT_FAMILIES(&g_RTStrFmtFamilyInts, &g_RTStrFmtFamilyStatus);
 *
 * A conversion of a family left out prints "<missing:%R" and the start of
 * the name the family claims (one or two characters) ">" and takes no
 * argument.  Some families have a smaller sibling that prints part of their
 * conversions alike, for programs that need only that part.  The
 * floating-point conversions are a family too: left out, %f prints
 * "<missing:%f>" (and so on for the others) and takes no argument.
 */
struct RTSTRFMTFAMILY;
/* %RC %RG %RH %RI %RK %RR %RU %RX: sized integer types, pointers and registers. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyInts;
/* %RI %RU %RX: the sized integers of g_RTStrFmtFamilyInts alone. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilySizedInts;
/* %RT: runtime types - system integers, booleans, far pointers, network
   addresses, UUIDs, error info records. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyRtTypes;
/* %Rrc %Rw: status code names, Windows error codes. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyStatus;
/* %Rrc: the status code names of g_RTStrFmtFamilyStatus alone. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyStatusNames;
/* %Rrs %Rrf %Rra: status code messages. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyStatusMsg;
/* %Rhx %RhX %Rhr: hex strings and dumps, HRESULTs. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyHex;
/* %Rhc %Rhu: human-readable sizes. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilySize;
/* %RM: XML, JSON and URL escaping. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyEscape;
/* %Rb %Rf: base names, big-endian UTF-16, function names. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyNames;
/* %RA %RD: control registers, time spans. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyMisc;
/* %a %e %f %g %A %E %F %G: floating point. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyFloat;
/* %R[name]: types registered by name (the runtime registers none). */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyCustom;

/* The program's families, null-terminated. */
extern const struct RTSTRFMTFAMILY *const g_apRTStrFmtFamilies[];

#define RTSTRFMT_FAMILIES(...) \
 const struct RTSTRFMTFAMILY *const g_apRTStrFmtFamilies[] = { __VA_ARGS__, nullptr }

/*
 * Records that some %R types point to.
 */

/* %RTeic / %RTeim: printed only when (fFlags & 0xffff0004) == RTFMTERRINFO_F_SET. */
#define RTFMTERRINFO_F_SET_MASK UINT32_C(0xffff0004)
#define RTFMTERRINFO_F_SET      UINT32_C(0xbabe0004)
typedef struct RTFMTERRINFO
{
    uint32_t fFlags;
    int32_t rc;
    uint32_t cbMsg; /* size of the message buffer; 0: no message */
    const char *pszMsg;
} RTFMTERRINFO;

/* %RTnaddr. */
#define RTFMTNETADDR_IPV4    1
#define RTFMTNETADDR_IPV6    2
#define RTFMTNETADDR_MAC     4
#define RTFMTNETADDR_NO_PORT UINT32_C(0xffffffff)
typedef struct RTFMTNETADDR
{
    uint8_t abAddr[16]; /* IPv4 in the first 4 bytes, MAC in the first 6 */
    uint32_t enmType;
    uint32_t uPort;
} RTFMTNETADDR;

/* %RTfp16 / %RTfp32 / %RTfp64 arguments (passed by value). */
typedef struct RTFMTFAR16
{
    uint16_t off;
    uint16_t sel;
} RTFMTFAR16;
typedef struct RTFMTFAR32
{
    uint32_t off;
    uint16_t sel;
} RTFMTFAR32;
#pragma pack(push, 4) /* 12 bytes on every target */
typedef struct RTFMTFAR64
{
    uint64_t off;
    uint16_t sel;
} RTFMTFAR64;
#pragma pack(pop)

#endif
