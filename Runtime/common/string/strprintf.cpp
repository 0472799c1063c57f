/*
 * Front ends of the format engine: into a caller's buffer and into a new
 * heap string.
 *
 * The allocating front end formats into a stack buffer first, since most
 * messages are short, and moves to the heap only when a piece does not fit.
 */
#include <zelk/mem.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

struct RTFMTBUF
{
    char *pch;     /* where the next byte goes */
    size_t cbLeft; /* room left, the NUL's byte included */
};

/* Stores what fits, keeping one byte for the NUL; counts everything. */
size_t rtStrFmtBufOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTFMTBUF *pBuf = (RTFMTBUF *)pvArg;
    if (!cbChars) /* the end-of-output call */
        return 0;
    size_t const cbCopy = cbChars < pBuf->cbLeft - 1 ? cbChars : pBuf->cbLeft - 1;
    /* Most pieces are a few bytes: a call into memcpy would cost more than the copy. */
    if (cbCopy <= 8)
        for (size_t i = 0; i < cbCopy; i++)
            pBuf->pch[i] = pachChars[i];
    else
        RTMemCopy(pBuf->pch, pachChars, cbCopy);
    pBuf->pch += cbCopy;
    pBuf->cbLeft -= cbCopy;
    return cbChars;
}

size_t rtStrFmtCountOutput(void *, const char *, size_t cbChars)
{
    return cbChars;
}

struct RTFMTALLOC
{
    char *pszBuf;
    size_t cbUsed; /* without the NUL */
    size_t cbBuf;
    bool fHeap;
    bool fFailed;
    const char *pszTag;
};

constexpr size_t kcbAllocStack = 2048;
constexpr size_t kcbAllocStepMax = 0x100000;
constexpr size_t kcbAllocPieceMax = 0x40000000;

size_t rtStrFmtAllocOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTFMTALLOC *pAlloc = (RTFMTALLOC *)pvArg;
    if (pAlloc->fFailed || !cbChars)
        return 0;
    if (cbChars >= pAlloc->cbBuf - pAlloc->cbUsed)
    {
        size_t cbStep = pAlloc->cbBuf < kcbAllocStepMax ? pAlloc->cbBuf : kcbAllocStepMax;
        if (cbChars >= cbStep)
        {
            if (cbChars > kcbAllocPieceMax)
            {
                pAlloc->fFailed = true;
                return 0;
            }
            cbStep = (cbChars + 4095) & ~(size_t)4095;
        }
        /* Either step leaves room: the piece is below it, or it is the piece rounded up. */
        size_t const cbNew = pAlloc->cbBuf + cbStep;
        if (cbNew < pAlloc->cbBuf)
        {
            pAlloc->fFailed = true;
            return 0;
        }
        char *pszNew;
        if (!pAlloc->fHeap)
        {
            pszNew = (char *)RTMemAlloc(cbNew, pAlloc->pszTag);
            if (pszNew)
                RTMemCopy(pszNew, pAlloc->pszBuf, pAlloc->cbUsed + 1);
        }
        else
            pszNew = (char *)RTMemRealloc(pAlloc->pszBuf, cbNew, pAlloc->pszTag);
        if (!pszNew)
        {
            pAlloc->fFailed = true;
            return 0;
        }
        pAlloc->pszBuf = pszNew;
        pAlloc->cbBuf = cbNew;
        pAlloc->fHeap = true;
    }
    RTMemCopy(&pAlloc->pszBuf[pAlloc->cbUsed], pachChars, cbChars);
    pAlloc->cbUsed += cbChars;
    pAlloc->pszBuf[pAlloc->cbUsed] = '\0';
    return cbChars;
}

} // namespace

size_t RTStrFmtToBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list va)
{
    if (!cbBuf)
        return 0;
    RTFMTBUF Buf = { pszBuf, cbBuf };
    RTStrFmtV(rtStrFmtBufOutput, &Buf, nullptr, nullptr, pszFormat, va);
    *Buf.pch = '\0';
    return (size_t)(Buf.pch - pszBuf);
}

size_t RTStrFmtToBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    size_t const cch = RTStrFmtToBufV(pszBuf, cbBuf, pszFormat, va);
    va_end(va);
    return cch;
}

ptrdiff_t RTStrFmtToBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list va)
{
    size_t cchFull;
    if (!cbBuf)
        cchFull = RTStrFmtV(rtStrFmtCountOutput, nullptr, nullptr, nullptr, pszFormat, va);
    else
    {
        RTFMTBUF Buf = { pszBuf, cbBuf };
        cchFull = RTStrFmtV(rtStrFmtBufOutput, &Buf, nullptr, nullptr, pszFormat, va);
        *Buf.pch = '\0';
        if (cchFull < cbBuf)
            return (ptrdiff_t)cchFull;
    }
    return -(ptrdiff_t)cchFull - 1;
}

ptrdiff_t RTStrFmtToBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrFmtToBufExV(pszBuf, cbBuf, pszFormat, va);
    va_end(va);
    return cch;
}

ptrdiff_t RTStrFmtToAllocV(char **ppszBuffer, const char *pszFormat, va_list va, const char *pszTag)
{
    char szStack[kcbAllocStack];
    szStack[0] = '\0';
    RTFMTALLOC Alloc = { szStack, 0, sizeof(szStack), false, false, pszTag };
    RTStrFmtV(rtStrFmtAllocOutput, &Alloc, nullptr, nullptr, pszFormat, va);

    *ppszBuffer = nullptr;
    if (Alloc.fFailed)
    {
        if (Alloc.fHeap)
            RTMemFree(Alloc.pszBuf);
        return -1;
    }
    if (Alloc.fHeap)
    {
        char *pszExact = (char *)RTMemRealloc(Alloc.pszBuf, Alloc.cbUsed + 1, pszTag);
        *ppszBuffer = pszExact ? pszExact : Alloc.pszBuf;
    }
    else
    {
        char *pszNew = (char *)RTMemAlloc(Alloc.cbUsed + 1, pszTag);
        if (!pszNew)
            return -1;
        RTMemCopy(pszNew, szStack, Alloc.cbUsed + 1);
        *ppszBuffer = pszNew;
    }
    return (ptrdiff_t)Alloc.cbUsed;
}

ptrdiff_t RTStrFmtToAlloc(char **ppszBuffer, const char *pszTag, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrFmtToAllocV(ppszBuffer, pszFormat, va, pszTag);
    va_end(va);
    return cch;
}
