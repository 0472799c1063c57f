/*
 * Private interface between the format engine and its %R conversions.
 *
 * The %R handlers print through the caller's output callback and may format
 * sub-pieces with rtStrFmtSub, which never makes the end-of-output call: only
 * the outermost RTStrFmtV ends the output.
 */
#ifndef ZELK_INTERNAL_STRFORMAT_H
#define ZELK_INTERNAL_STRFORMAT_H

#include <zelk/format.h>

/* A pointer within 4096 of zero (either end of the address space) is never read. */
static inline bool rtStrFmtIsBadPtr(const void *pv)
{
    uintptr_t const u = (uintptr_t)pv;
    return u < 0x1000 || u >= (uintptr_t)0 - 0x1000;
}

/* The whole engine without the end-of-output call. */
size_t rtStrFmtCore(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, PFNRTFMTTYPE pfnFormat,
                    void *pvArgFormat, const char *pszFormat, va_list *pva);
/* Formats a sub-piece without user callback and without ending the output. */
size_t rtStrFmtSub(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszFormat, ...);

/*
 * Prints "<NULL>" for a null pointer, otherwise "<" the pointer (pointer
 * width, lower-case hex) pszMarker ">", padded with spaces to cchWidth
 * (behind with FMT_F_LEFT).
 */
size_t rtStrFmtBadPtr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, int cchWidth,
                      unsigned fFlags, const char *pszMarker);

/* cch spaces, one per call. */
size_t rtStrFmtPad(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, size_t cch);

/* %R types: *ppszFormat points at the 'R' on entry and is advanced by the handler. */
size_t rtStrFmtExtType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                       va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                       char chArgSize);
/* %R[name] types: *ppszFormat points at the 'R' of "R[" on entry. */
size_t rtStrFmtCustomType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                          va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                          char chArgSize);

/* Prints the 16 bytes at pab as an IPv6 address. */
size_t rtStrFmtIPv6(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab);

#endif
