/*
 * memcpy, memmove, memset and memcmp for executables linked without the C
 * runtime.  GCC emits calls to these even in freestanding code (struct copies,
 * zeroing), so something must define them.  Compiled without loop-pattern
 * distribution, or GCC would turn these loops back into calls to themselves.
 */
#include <stddef.h>

extern "C" {

void *memcpy(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = (unsigned char *)pvDst;
    const unsigned char *pbSrc = (const unsigned char *)pvSrc;
    while (cb--)
        *pbDst++ = *pbSrc++;
    return pvDst;
}

void *memmove(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = (unsigned char *)pvDst;
    const unsigned char *pbSrc = (const unsigned char *)pvSrc;
    if (pbDst < pbSrc)
        while (cb--)
            *pbDst++ = *pbSrc++;
    else
        while (cb--)
            pbDst[cb] = pbSrc[cb];
    return pvDst;
}

void *memset(void *pvDst, int bValue, size_t cb)
{
    unsigned char *pbDst = (unsigned char *)pvDst;
    while (cb--)
        *pbDst++ = (unsigned char)bValue;
    return pvDst;
}

int memcmp(const void *pv1, const void *pv2, size_t cb)
{
    const unsigned char *pb1 = (const unsigned char *)pv1;
    const unsigned char *pb2 = (const unsigned char *)pv2;
    for (; cb; cb--, pb1++, pb2++)
        if (*pb1 != *pb2)
            return (int)*pb1 - (int)*pb2;
    return 0;
}
}
