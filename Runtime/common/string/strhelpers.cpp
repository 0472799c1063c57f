/*
 * Small string helpers: allocation, duplication, copying into and appending to
 * caller buffers, and the ASCII case-insensitive compare.  UTF-8 and UTF-16
 * strings alike come from the runtime heap and go back with RTStrRelease.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "ascii-internal.h"

char *RTStrAllocBuf(size_t cb, const char *pszTag)
{
    char *psz = (char *)RTMemAlloc(cb ? cb : 1, pszTag);
    if (psz)
        psz[0] = '\0';
    return psz;
}

char *RTStrClone(const char *psz, const char *pszTag)
{
    return RTStrCloneMax(psz, RTSTR_MAX, pszTag);
}

char *RTStrCloneMax(const char *psz, size_t cchMax, const char *pszTag)
{
    size_t const cch = RTStrNLen(psz, cchMax);
    char *pszCopy = (char *)RTMemAlloc(cch + 1, pszTag);
    if (pszCopy)
    {
        RTMemCopy(pszCopy, psz, cch);
        pszCopy[cch] = '\0';
    }
    return pszCopy;
}

int RTStrCloneMaxEx(char **ppszCopy, const char *psz, size_t cchMax, const char *pszTag)
{
    *ppszCopy = RTStrCloneMax(psz, cchMax, pszTag);
    return *ppszCopy ? KINF_SUCCESS : KERR_NO_STR_MEMORY;
}

void RTStrRelease(void *pv)
{
    RTMemFree(pv);
}

int RTStrResize(char **ppsz, size_t cbNew, const char *pszTag)
{
    if (cbNew == 0)
    {
        RTMemFree(*ppsz);
        *ppsz = nullptr;
        return KINF_SUCCESS;
    }
    char *psz;
    if (!*ppsz)
    {
        psz = (char *)RTMemAlloc(cbNew, pszTag);
        if (psz)
            psz[0] = '\0';
    }
    else
        psz = (char *)RTMemRealloc(*ppsz, cbNew, pszTag);
    if (!psz)
        return KERR_NO_STR_MEMORY;
    psz[cbNew - 1] = '\0';
    *ppsz = psz;
    return KINF_SUCCESS;
}

int RTStrCopyInto(char *pszDst, size_t cbDst, const char *pszSrc)
{
    size_t const cchSrc = RTStrLen(pszSrc);
    if (cchSrc < cbDst)
    {
        RTMemCopy(pszDst, pszSrc, cchSrc + 1);
        return KINF_SUCCESS;
    }
    if (cbDst > 0)
    {
        RTMemCopy(pszDst, pszSrc, cbDst - 1);
        pszDst[cbDst - 1] = '\0';
    }
    return KERR_BUFFER_OVERFLOW;
}

int RTStrAppendInto(char *pszDst, size_t cbDst, const char *pszSrc)
{
    size_t const cchDst = RTStrNLen(pszDst, cbDst);
    if (cchDst >= cbDst)
        return KERR_INVALID_PARAMETER;
    return RTStrCopyInto(pszDst + cchDst, cbDst - cchDst, pszSrc);
}

int RTStrCmpAsciiNoCase(const char *psz, const char *pszAscii)
{
    if (psz == pszAscii)
        return 0;
    if (!psz)
        return -1;
    if (!pszAscii)
        return 1;
    for (;;)
    {
        const char *pszSeq = psz;
        RTUNICP cp;
        if (RT_FAILURE(RTStrDecodeCp(&psz, &cp)))
        {
            /* Not UTF-8 from here on: compare the remaining bytes as they are. */
            const unsigned char *pb1 = (const unsigned char *)pszSeq;
            const unsigned char *pb2 = (const unsigned char *)pszAscii;
            while (*pb1 && *pb1 == *pb2)
                pb1++, pb2++;
            return (int)*pb1 - (int)*pb2;
        }
        RTUNICP const cpAscii = (unsigned char)*pszAscii++;
        if (cp != cpAscii)
        {
            if (cp >= 0x80)
                return 1;
            int const iDiff = (int)rtAsciiToLower(cp) - (int)rtAsciiToLower(cpAscii);
            if (iDiff)
                return iDiff;
        }
        if (!cp)
            return 0;
    }
}

PRTUTF16 RTUtf16AllocBuf(size_t cb, const char *pszTag)
{
    cb = cb < 3 ? 2 : (cb + 1) & ~(size_t)1;
    PRTUTF16 pwsz = (PRTUTF16)RTMemAlloc(cb, pszTag);
    if (pwsz)
        pwsz[0] = 0;
    return pwsz;
}

PRTUTF16 RTUtf16Clone(PCRTUTF16 pwsz, const char *pszTag)
{
    size_t const cb = (RTUtf16Units(pwsz) + 1) * sizeof(RTUTF16);
    PRTUTF16 pwszCopy = (PRTUTF16)RTMemAlloc(cb, pszTag);
    if (pwszCopy)
        RTMemCopy(pwszCopy, pwsz, cb);
    return pwszCopy;
}

int RTUtf16Resize(PRTUTF16 *ppwsz, size_t cbNew, const char *pszTag)
{
    cbNew = (cbNew + 1) & ~(size_t)1;
    if (cbNew == 0)
    {
        RTMemFree(*ppwsz);
        *ppwsz = nullptr;
        return KINF_SUCCESS;
    }
    PRTUTF16 pwsz;
    if (!*ppwsz)
    {
        pwsz = (PRTUTF16)RTMemAlloc(cbNew, pszTag);
        if (!pwsz)
            return KERR_NO_UTF16_MEMORY;
        pwsz[0] = 0;
    }
    else
    {
        pwsz = (PRTUTF16)RTMemRealloc(*ppwsz, cbNew, pszTag);
        if (!pwsz)
            return KERR_NO_STR_MEMORY;
    }
    pwsz[cbNew / sizeof(RTUTF16) - 1] = 0;
    *ppwsz = pwsz;
    return KINF_SUCCESS;
}
