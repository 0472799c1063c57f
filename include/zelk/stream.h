/*
 * Standard streams and message lines.
 *
 * Output goes through stream objects: three static standard streams and
 * streams opened on a file or device.  A stream buffers what is written (up
 * to 64 KiB), turns "\n" into CR LF in text mode, converts UTF-8 to the ANSI
 * code page for the standard streams, and serialises each formatted write
 * with its own lock.  A write failure is sticky: it ends all later output to
 * that stream.  The message functions print "program: error: text" and
 * "program: info: text" lines.
 */
#ifndef ZELK_STREAM_H
#define ZELK_STREAM_H

#include <zelk/types.h>

typedef struct RTSTRMOBJ RTSTRMOBJ;
typedef RTSTRMOBJ *PRTSTREAM;

/* The static standard streams. */
extern PRTSTREAM const g_pStdIn;
extern PRTSTREAM const g_pStdOutStatic;
extern PRTSTREAM const g_pStdErrStatic;
/* The current output and error streams (initially the static ones); callers may replace them. */
extern PRTSTREAM g_pStdOut;
extern PRTSTREAM g_pStdErr;

/* RTStrmSetBuffering modes. */
#define RTSTRMBUFMODE_FULL       1
#define RTSTRMBUFMODE_LINE       2
#define RTSTRMBUFMODE_UNBUFFERED 3

/*
 * Opens a stream on a file or device.  Mode characters in any order: r, w, a
 * (the last counts), + (read and write), x (exclusive create, with w only),
 * b (binary), t (text, default), N or e (not inherited), E (inherited).
 * KERR_INVALID_FLAGS for an empty or null mode, an unknown character, no
 * access letter, or x without w; otherwise the file layer's status.
 */
int RTStrmOpenFile(const char *pszPath, const char *pszMode, PRTSTREAM *ppStream);
/*
 * Formats with the runtime's format engine and writes to the stream.  Returns
 * the engine's byte count; KERR_INVALID_PARAMETER for a bad stream pointer;
 * -1 without writing when the stream's sticky status is negative.
 */
ptrdiff_t RTStrmFmt(PRTSTREAM pStream, const char *pszFormat, ...);
ptrdiff_t RTStrmFmtV(PRTSTREAM pStream, const char *pszFormat, va_list va);
/* RTStrmFmtV on the current output stream. */
ptrdiff_t RTStdOutFmt(const char *pszFormat, ...);
/* Sets the buffering (RTSTRMBUFMODE_*): KERR_INVALID_PARAMETER for another mode, KERR_INVALID_HANDLE for a bad stream. */
int RTStrmSetBuffering(PRTSTREAM pStream, int iMode);
/* The stream's sticky status (0 while all is well). */
int RTStrmError(PRTSTREAM pStream);
/* Flushes the standard streams' pending output and closes every opened stream (runtime termination). */
void rtStrmTerm(void);

/* "program: error: " + each line of the message on the current error stream; returns 0. */
int RTMsgPrintError(const char *pszFormat, ...);
int RTMsgPrintErrorV(const char *pszFormat, va_list va);
/* "program: info: " + each line on the current output stream; returns 0. */
int RTMsgPrintInfo(const char *pszFormat, ...);
int RTMsgPrintInfoV(const char *pszFormat, va_list va);
/*
 * "program: fatal error: RTR3Init: <status>" (without the program name when
 * it is not known) on the current error stream; returns 3, the exit code of
 * a failed initialisation.
 */
int RTMsgReportInitFailure(int rcInit);

#endif
