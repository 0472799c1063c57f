/*
 * The stream record, shared by the stream code and its per-OS handle
 * resolution.
 */
#ifndef ZELK_INTERNAL_STREAM_H
#define ZELK_INTERNAL_STREAM_H

#include <zelk/critsect.h>
#include <zelk/file.h>
#include <zelk/stream.h>

#define RTSTREAM_MAGIC      UINT32_C(0xe44e44ee)
#define RTSTREAM_MAGIC_DEAD UINT32_C(0x1bb1bb11)

enum RTSTRMDIR
{
    RTSTRMDIR_NONE = 0,
    RTSTRMDIR_READ = 1,
    RTSTRMDIR_WRITE = 2
};
enum RTSTRMBUF
{
    RTSTRMBUF_UNBUFFERED = 0,
    RTSTRMBUF_LINE = 1,
    RTSTRMBUF_FULL = 2
};

struct RTSTRMOBJ
{
    uint32_t u32Magic;
    int32_t volatile i32Error; /* sticky status */
    int32_t iStdHandle;        /* 0, 1, 2, or -1 for streams opened by name */
    RTFILE hFile;
    char *pchBuf;
    uint32_t cbBuf;
    uint32_t offBufFirst; /* first byte not yet flushed */
    uint32_t offBufEnd;   /* after the last buffered byte */
    uint32_t enmDir;      /* RTSTRMDIR */
    uint32_t enmBufStyle; /* RTSTRMBUF */
    char *pchCompanion;   /* one eighth of the buffer, kept with it */
    bool fReserved1;
    bool fCurrentCodeSet; /* convert UTF-8 to the ANSI code page */
    bool fBinary;         /* no newline conversion */
    bool fReserved2;
    PRTCRITSECT volatile pCritSect; /* created on first use */
    RTSTRMOBJ *pPrev;
    RTSTRMOBJ *pNext;
};

/*
 * Resolves the native handle of standard stream iStdHandle into phFile; a
 * stream whose handle is not a console becomes fully buffered.
 * KERR_INVALID_HANDLE when there is none.
 */
int rtStrmResolveStdHandle(RTSTRMOBJ *pStream);

#endif
