/*
 * Buffered, locked output streams.
 *
 * Each formatted write takes the stream's lock, and the engine's pieces are
 * converted (code page, CR LF) and copied into the stream's buffer, which
 * reaches the handle in large writes: at the flush points of the buffering
 * mode, when full, and at termination.  A failure is stored in the stream and
 * refuses all later output, so a broken pipe costs one error, not one per
 * line.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/mem.h>
#include <zelk/once.h>
#include <zelk/utf.h>

#include "ptr-internal.h"
#include "stream-internal.h"
#include "utf-internal.h"

namespace {

// clang-format off
RTSTRMOBJ g_StdIn = { RTSTREAM_MAGIC, 0, 0, NIL_RTFILE, nullptr, 0, 0, 0, RTSTRMDIR_NONE,
                      RTSTRMBUF_UNBUFFERED, nullptr, false, true, false, false, nullptr, nullptr, nullptr };
// clang-format on
// clang-format off
RTSTRMOBJ g_StdOut = { RTSTREAM_MAGIC, 0, 1, NIL_RTFILE, nullptr, 0, 0, 0, RTSTRMDIR_NONE,
                       RTSTRMBUF_LINE, nullptr, false, true, false, false, nullptr, nullptr, nullptr };
// clang-format on
// clang-format off
RTSTRMOBJ g_StdErr = { RTSTREAM_MAGIC, 0, 2, NIL_RTFILE, nullptr, 0, 0, 0, RTSTRMDIR_NONE,
                       RTSTRMBUF_UNBUFFERED, nullptr, false, true, false, false, nullptr, nullptr, nullptr };
// clang-format on

/* The opened streams: a circular list with a head, created on the first open. */
RTONCE g_StreamListOnce = RTONCE_INITIALIZER;
RTCRITSECT g_StreamListCritSect;
RTSTRMOBJ g_StreamListHead;

bool rtStrmIsValid(PRTSTREAM pStream)
{
    return !rtIsBadPtr(pStream) && pStream->u32Magic == RTSTREAM_MAGIC;
}

PRTCRITSECT rtStrmLock(RTSTRMOBJ *pStream)
{
    PRTCRITSECT pCritSect = pStream->pCritSect;
    if (pCritSect)
    {
        RTCritSectEnter(pCritSect);
        return pCritSect;
    }
    pCritSect = (PRTCRITSECT)RTMemAlloc(sizeof(*pCritSect), "rtStrmLock");
    if (!pCritSect)
        return nullptr; /* the write goes ahead without a lock */
    RTCritSectInit(pCritSect, "RTSemSpinMutex");
    RTCritSectEnter(pCritSect);
    PRTCRITSECT pExpected = nullptr;
    if (__atomic_compare_exchange_n(&pStream->pCritSect, &pExpected, pCritSect, false,
                                    __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST))
        return pCritSect;
    /* Another thread installed one first. */
    RTCritSectLeave(pCritSect);
    RTCritSectDelete(pCritSect);
    RTMemFree(pCritSect);
    RTCritSectEnter(pExpected);
    return pExpected;
}

int rtStrmAllocBuffer(RTSTRMOBJ *pStream)
{
    for (uint32_t cb = pStream->enmBufStyle == RTSTRMBUF_FULL ? 65536 : 16384; cb >= 256; cb /= 2)
    {
        char *pchBuf = (char *)RTMemAlloc(cb, "rtStrmAllocBuffer");
        char *pchCompanion = pchBuf ? (char *)RTMemAlloc(cb / 8, "rtStrmAllocBuffer") : nullptr;
        if (pchBuf && pchCompanion)
        {
            pStream->pchBuf = pchBuf;
            pStream->pchCompanion = pchCompanion;
            pStream->cbBuf = cb;
            return KINF_SUCCESS;
        }
        RTMemFree(pchBuf);
    }
    return KERR_NO_MEMORY;
}

/* Writes cb bytes from the buffer start and moves what is left to the front. */
int rtStrmFlushBytes(RTSTRMOBJ *pStream, uint32_t cb)
{
    if (pStream->hFile == NIL_RTFILE)
    {
        int const rc = rtStrmResolveStdHandle(pStream);
        if (RT_FAILURE(rc))
            return rc;
    }
    if (cb)
    {
        int const rc = RTFileWrite(pStream->hFile, &pStream->pchBuf[pStream->offBufFirst], cb,
                                   nullptr);
        if (RT_FAILURE(rc))
            return rc;
    }
    uint32_t const cbLeft = pStream->offBufEnd - pStream->offBufFirst - cb;
    if (cbLeft)
        RTMemMove(pStream->pchBuf, &pStream->pchBuf[pStream->offBufFirst + cb], cbLeft);
    pStream->offBufFirst = 0;
    pStream->offBufEnd = cbLeft;
    return KINF_SUCCESS;
}

int rtStrmFlushAll(RTSTRMOBJ *pStream)
{
    return rtStrmFlushBytes(pStream, pStream->offBufEnd - pStream->offBufFirst);
}

/* Copies bytes into the buffer, writing it out whenever it fills up. */
int rtStrmCopyIntoBuffer(RTSTRMOBJ *pStream, const char *pch, size_t cch)
{
    while (cch > 0)
    {
        if (pStream->offBufEnd >= pStream->cbBuf)
        {
            int const rc = rtStrmFlushAll(pStream);
            if (RT_FAILURE(rc))
                return rc;
        }
        size_t cbCopy = pStream->cbBuf - pStream->offBufEnd;
        if (cbCopy > cch)
            cbCopy = cch;
        RTMemCopy(&pStream->pchBuf[pStream->offBufEnd], pch, cbCopy);
        pStream->offBufEnd += (uint32_t)cbCopy;
        pch += cbCopy;
        cch -= cbCopy;
    }
    return KINF_SUCCESS;
}

int rtStrmWriteBuffered(RTSTRMOBJ *pStream, const char *pch, size_t cch)
{
    int rc = KINF_SUCCESS;
    if (pStream->fBinary)
        rc = rtStrmCopyIntoBuffer(pStream, pch, cch);
    else
    {
        while (cch > 0 && RT_SUCCESS(rc))
        {
            size_t cchLine = 0;
            while (cchLine < cch && pch[cchLine] != '\n')
                cchLine++;
            bool const fNewline = cchLine < cch;
            rc = rtStrmCopyIntoBuffer(pStream, pch, cchLine);
            if (RT_FAILURE(rc) || !fNewline)
                break;
            if (pStream->cbBuf - pStream->offBufEnd < 2)
            {
                rc = rtStrmFlushAll(pStream);
                if (RT_FAILURE(rc))
                    break;
            }
            pStream->pchBuf[pStream->offBufEnd++] = '\r';
            pStream->pchBuf[pStream->offBufEnd++] = '\n';
            pch += cchLine + 1;
            cch -= cchLine + 1;
        }
    }
    if (RT_FAILURE(rc))
        return rc;

    switch (pStream->enmBufStyle)
    {
        case RTSTRMBUF_UNBUFFERED: return rtStrmFlushAll(pStream);
        case RTSTRMBUF_LINE:
        {
            uint32_t off = pStream->offBufEnd;
            while (off > pStream->offBufFirst && pStream->pchBuf[off - 1] != '\n')
                off--;
            if (off > pStream->offBufFirst)
                return rtStrmFlushBytes(pStream, off - pStream->offBufFirst);
            return KINF_SUCCESS;
        }
        default: return KINF_SUCCESS;
    }
}

int rtStrmWriteLocked(RTSTRMOBJ *pStream, const char *pch, size_t cch)
{
    int rc = pStream->i32Error;
    if (RT_FAILURE(rc))
        return rc;
    if (pStream->enmDir != RTSTRMDIR_WRITE)
    {
        pStream->enmDir = RTSTRMDIR_WRITE;
        pStream->offBufFirst = pStream->offBufEnd = 0;
        if (!pStream->pchBuf)
        {
            rc = rtStrmAllocBuffer(pStream);
            if (RT_FAILURE(rc))
            {
                pStream->enmDir = RTSTRMDIR_NONE;
                pStream->i32Error = rc;
                return rc;
            }
        }
    }

    if (pStream->fCurrentCodeSet && !pStream->fBinary)
    {
        char *pszConverted = nullptr;
        rc = rtStrToCurrentCPN(&pszConverted, pch, cch, "rtStrmWriteLocked");
        if (RT_SUCCESS(rc))
        {
            rc = rtStrmWriteBuffered(pStream, pszConverted, RTStrLen(pszConverted));
            RTStrRelease(pszConverted);
        }
    }
    else
        rc = rtStrmWriteBuffered(pStream, pch, cch);
    if (RT_FAILURE(rc) && rc != KERR_INVALID_UTF8)
        pStream->i32Error = rc;
    return rc;
}

size_t rtStrmOutput(void *pvArg, const char *pch, size_t cch)
{
    if (cch)
        rtStrmWriteLocked((RTSTRMOBJ *)pvArg, pch, cch);
    return cch;
}

int rtStrmListCreate(void *)
{
    RTCritSectInit(&g_StreamListCritSect, "RTStrmList");
    g_StreamListHead.pNext = g_StreamListHead.pPrev = &g_StreamListHead;
    return KINF_SUCCESS;
}

/* Flushes pending output and frees the buffers and the lock. */
void rtStrmReleaseBuffer(RTSTRMOBJ *pStream)
{
    if (pStream->enmDir == RTSTRMDIR_WRITE && pStream->offBufEnd > pStream->offBufFirst
        && RT_SUCCESS(pStream->i32Error))
        rtStrmFlushAll(pStream);
    RTMemFree(pStream->pchBuf);
    RTMemFree(pStream->pchCompanion);
    pStream->pchBuf = pStream->pchCompanion = nullptr;
    pStream->cbBuf = pStream->offBufFirst = pStream->offBufEnd = 0;
    pStream->enmDir = RTSTRMDIR_NONE;
    if (pStream->pCritSect)
    {
        RTCritSectDelete(pStream->pCritSect);
        RTMemFree(pStream->pCritSect);
        pStream->pCritSect = nullptr;
    }
}

} // namespace

PRTSTREAM const g_pStdIn = &g_StdIn;
PRTSTREAM const g_pStdOutStatic = &g_StdOut;
PRTSTREAM const g_pStdErrStatic = &g_StdErr;
PRTSTREAM g_pStdOut = &g_StdOut;
PRTSTREAM g_pStdErr = &g_StdErr;

int RTStrmOpenFile(const char *pszPath, const char *pszMode, PRTSTREAM *ppStream)
{
    if (!pszMode || !*pszMode)
        return KERR_INVALID_FLAGS;
    char chAccess = 0;
    bool fPlus = false, fExclusive = false, fBinary = false, fInherit = true;
    for (const char *pch = pszMode; *pch; pch++)
    {
        switch (*pch)
        {
            case 'r':
            case 'w':
            case 'a': chAccess = *pch; break;
            case '+': fPlus = true; break;
            case 'x': fExclusive = true; break;
            case 'b': fBinary = true; break;
            case 't': fBinary = false; break;
            case 'N':
            case 'e': fInherit = false; break;
            case 'E': fInherit = true; break;
            default: return KERR_INVALID_FLAGS;
        }
    }
    if (!chAccess || (fExclusive && chAccess != 'w'))
        return KERR_INVALID_FLAGS;

    uint64_t fOpen = chAccess == 'a'   ? RTFILE_O_OPEN_CREATE | RTFILE_O_APPEND | RTFILE_O_WRITE
                     : chAccess == 'r' ? RTFILE_O_OPEN | RTFILE_O_READ
                     : fExclusive      ? RTFILE_O_CREATE | RTFILE_O_WRITE
                                       : RTFILE_O_CREATE_REPLACE | RTFILE_O_WRITE;
    if (fPlus || fExclusive)
        fOpen |= RTFILE_O_READWRITE;
    if (fInherit)
        fOpen |= RTFILE_O_INHERIT;
    fOpen |= RTFILE_O_DENY_NONE | (UINT64_C(0666) << RTFILE_O_CREATE_MODE_SHIFT);

    int rc = RTOnce(&g_StreamListOnce, rtStrmListCreate, nullptr);
    if (RT_FAILURE(rc))
        return rc;

    RTSTRMOBJ *pStream = (RTSTRMOBJ *)RTMemAllocZ(sizeof(*pStream), "RTStrmOpenFile");
    if (!pStream)
        return KERR_NO_MEMORY;
    pStream->u32Magic = RTSTREAM_MAGIC;
    pStream->iStdHandle = -1;
    pStream->hFile = NIL_RTFILE;
    pStream->enmDir = RTSTRMDIR_NONE;
    pStream->enmBufStyle = RTSTRMBUF_FULL;
    pStream->fBinary = fBinary;
    rc = RTFileOpenPath(&pStream->hFile, pszPath, fOpen);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pStream);
        return rc;
    }

    RTCritSectEnter(&g_StreamListCritSect);
    pStream->pNext = g_StreamListHead.pNext;
    pStream->pPrev = &g_StreamListHead;
    g_StreamListHead.pNext->pPrev = pStream;
    g_StreamListHead.pNext = pStream;
    RTCritSectLeave(&g_StreamListCritSect);
    *ppStream = pStream;
    return KINF_SUCCESS;
}

ptrdiff_t RTStrmFmtV(PRTSTREAM pStream, const char *pszFormat, va_list va)
{
    if (!rtStrmIsValid(pStream))
        return KERR_INVALID_PARAMETER;
    if (RT_FAILURE(pStream->i32Error))
        return -1;
    PRTCRITSECT const pCritSect = rtStrmLock(pStream);
    size_t const cch = RTStrFmtV(rtStrmOutput, pStream, nullptr, nullptr, pszFormat, va);
    if (pCritSect)
        RTCritSectLeave(pCritSect);
    return (ptrdiff_t)cch;
}

ptrdiff_t RTStrmFmt(PRTSTREAM pStream, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrmFmtV(pStream, pszFormat, va);
    va_end(va);
    return cch;
}

ptrdiff_t RTStdOutFmt(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrmFmtV(g_pStdOut, pszFormat, va);
    va_end(va);
    return cch;
}

int RTStrmSetBuffering(PRTSTREAM pStream, int iMode)
{
    if (!rtStrmIsValid(pStream))
        return KERR_INVALID_HANDLE;
    if (iMode < RTSTRMBUFMODE_FULL || iMode > RTSTRMBUFMODE_UNBUFFERED)
        return KERR_INVALID_PARAMETER;
    PRTCRITSECT const pCritSect = rtStrmLock(pStream);
    pStream->enmBufStyle = iMode == RTSTRMBUFMODE_FULL   ? RTSTRMBUF_FULL
                           : iMode == RTSTRMBUFMODE_LINE ? RTSTRMBUF_LINE
                                                         : RTSTRMBUF_UNBUFFERED;
    if (pCritSect)
        RTCritSectLeave(pCritSect);
    return KINF_SUCCESS;
}

int RTStrmError(PRTSTREAM pStream)
{
    return rtStrmIsValid(pStream) ? pStream->i32Error : KERR_INVALID_HANDLE;
}

void rtStrmTerm(void)
{
    /* The standard handles belong to the process: forget them, never close them. */
    RTSTRMOBJ *const apStd[] = { &g_StdOut, &g_StdErr, &g_StdIn };
    for (RTSTRMOBJ *pStd : apStd)
    {
        rtStrmReleaseBuffer(pStd);
        pStd->hFile = NIL_RTFILE;
    }
    if (g_StreamListHead.pNext)
    {
        RTCritSectEnter(&g_StreamListCritSect);
        while (g_StreamListHead.pNext != &g_StreamListHead)
        {
            RTSTRMOBJ *pStream = g_StreamListHead.pNext;
            g_StreamListHead.pNext = pStream->pNext;
            pStream->pNext->pPrev = &g_StreamListHead;
            pStream->u32Magic = RTSTREAM_MAGIC_DEAD;
            rtStrmReleaseBuffer(pStream);
            RTFileClose(pStream->hFile);
            RTMemFree(pStream);
        }
        RTCritSectLeave(&g_StreamListCritSect);
        RTCritSectDelete(&g_StreamListCritSect);
        g_StreamListHead.pNext = g_StreamListHead.pPrev = nullptr;
        g_StreamListOnce = RTONCE_INITIALIZER;
    }
}
