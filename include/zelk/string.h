/*
 * String primitives and helpers.
 *
 * The runtime links without a C library on Windows, so the few primitives it
 * needs (length, compare, search) are its own.  Strings are UTF-8 and
 * NUL-terminated; functions taking a length limit stop at the limit or at the
 * first NUL, whichever comes first.  RTSTR_MAX as a limit means "no limit".
 * Allocated strings are freed with RTStrRelease.
 */
#ifndef ZELK_STRING_H
#define ZELK_STRING_H

#include <zelk/types.h>

#define RTSTR_MAX (~(size_t)0)

static inline size_t RTStrLen(const char *psz)
{
    const char *p = psz;
    while (*p)
        p++;
    return (size_t)(p - psz);
}

/* Length up to cchMax bytes. */
static inline size_t RTStrNLen(const char *psz, size_t cchMax)
{
    size_t cch = 0;
    while (cch < cchMax && psz[cch])
        cch++;
    return cch;
}

/* Byte-wise compare as unsigned characters: <0, 0, >0. */
static inline int RTStrCmp(const char *psz1, const char *psz2)
{
    const unsigned char *p1 = (const unsigned char *)psz1;
    const unsigned char *p2 = (const unsigned char *)psz2;
    while (*p1 && *p1 == *p2)
        p1++, p2++;
    return (int)*p1 - (int)*p2;
}

static inline int RTStrNCmp(const char *psz1, const char *psz2, size_t cchMax)
{
    const unsigned char *p1 = (const unsigned char *)psz1;
    const unsigned char *p2 = (const unsigned char *)psz2;
    for (; cchMax > 0; cchMax--, p1++, p2++)
    {
        if (*p1 != *p2)
            return (int)*p1 - (int)*p2;
        if (!*p1)
            break;
    }
    return 0;
}

/* First occurrence of ch (which may be the NUL), or null. */
static inline const char *RTStrChr(const char *psz, char ch)
{
    for (;; psz++)
    {
        if (*psz == ch)
            return psz;
        if (!*psz)
            return 0;
    }
}

/* Last occurrence of ch before the NUL, or null. */
static inline const char *RTStrRChr(const char *psz, char ch)
{
    const char *pszLast = 0;
    for (; *psz; psz++)
        if (*psz == ch)
            pszLast = psz;
    return pszLast;
}

/*
 * Memory primitives.  The compiler turns these into its own inline code or
 * into calls of memcpy/memmove/memset/memcmp, which the C library supplies in
 * test programs and the runtime's no-CRT object supplies in the installer.
 */
static inline void *RTMemCopy(void *pvDst, const void *pvSrc, size_t cb)
{
    return __builtin_memcpy(pvDst, pvSrc, cb);
}

static inline void *RTMemMove(void *pvDst, const void *pvSrc, size_t cb)
{
    return __builtin_memmove(pvDst, pvSrc, cb);
}

static inline void *RTMemSet(void *pvDst, int bValue, size_t cb)
{
    return __builtin_memset(pvDst, bValue, cb);
}

static inline int RTMemCmp(const void *pv1, const void *pv2, size_t cb)
{
    return __builtin_memcmp(pv1, pv2, cb);
}

/*
 * Helpers.  The tag names the caller for heap diagnostics.
 */

/* A block of max(cb, 1) bytes whose first byte is NUL; null when out of memory. */
char *RTStrAllocBuf(size_t cb, const char *pszTag);
/* A copy; null when out of memory. */
char *RTStrClone(const char *psz, const char *pszTag);
/* A copy of the first cchMax bytes or up to the NUL, NUL-terminated; null when out of memory. */
char *RTStrCloneMax(const char *psz, size_t cchMax, const char *pszTag);
/* As RTStrCloneMax: 0, or KERR_NO_STR_MEMORY with *ppszCopy null. */
int RTStrCloneMaxEx(char **ppszCopy, const char *psz, size_t cchMax, const char *pszTag);
/* Frees a string made by any allocating string function (UTF-8 or UTF-16); null is ignored. */
void RTStrRelease(void *pv);
/*
 * Resizes *ppsz to cbNew bytes.  cbNew 0 frees and stores null; a null
 * *ppsz allocates a block with a NUL first byte.  The last byte of the block
 * is set to NUL.  KERR_NO_STR_MEMORY keeps the old block.
 */
int RTStrResize(char **ppsz, size_t cbNew, const char *pszTag);
/*
 * Copies pszSrc with its NUL when its length is below cbDst (returns 0);
 * otherwise stores cbDst-1 bytes and a NUL (nothing for cbDst 0) and returns
 * KERR_BUFFER_OVERFLOW.
 */
int RTStrCopyInto(char *pszDst, size_t cbDst, const char *pszSrc);
/*
 * Appends pszSrc after the NUL found within the cbDst bytes of pszDst (none:
 * KERR_INVALID_PARAMETER), by the rule of RTStrCopyInto for the room left.
 */
int RTStrAppendInto(char *pszDst, size_t cbDst, const char *pszSrc);
/*
 * Compares a UTF-8 string with an ASCII string, folding A-Z on both sides.
 * Identical pointers 0, a null first string -1, a null second string 1;
 * differing code points of 0x80 or more give 1; at invalid UTF-8 the rest is
 * compared bytewise.  Otherwise the difference of the first unequal pair.
 */
int RTStrCmpAsciiNoCase(const char *psz, const char *pszAscii);

/* A UTF-16 block of cb bytes (2 for cb below 3, else rounded up to even); first unit 0. */
PRTUTF16 RTUtf16AllocBuf(size_t cb, const char *pszTag);
/* A copy of the units and the terminator; null when out of memory. */
PRTUTF16 RTUtf16Clone(PCRTUTF16 pwsz, const char *pszTag);
/*
 * Resizes *ppwsz to cbNew bytes rounded up to even; 0 frees and stores null.
 * Reallocation failure KERR_NO_STR_MEMORY, allocation failure
 * KERR_NO_UTF16_MEMORY.  The last unit is set to 0.
 */
int RTUtf16Resize(PRTUTF16 *ppwsz, size_t cbNew, const char *pszTag);

#endif
