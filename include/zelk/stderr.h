/*
 * Direct writers to the standard error handle.
 *
 * They fetch the handle with GetStdHandle on every call and write with
 * WriteFile: no stream, lock, buffer or allocation, and every failure is
 * ignored.  Numbers are converted into local buffers.
 */
#ifndef ZELK_STDERR_H
#define ZELK_STDERR_H

#include <zelk/types.h>

/* The text. */
void rtStdErrWrite(const char *pch, size_t cch);
/* The text, then a write of 0 bytes. */
void rtStdErrWriteFlush(const char *pch, size_t cch);
/* A NUL-terminated text; a pointer within 4096 of zero writes "<pszString=" hex8 ">". */
void rtStdErrWriteStr(const char *psz);
/* The text, the value in signed decimal, "\r\n". */
void rtStdErrWriteMsgNum(const char *pch, size_t cch, uint32_t uValue);
/* The value in hex with width 8 and precision 8. */
void rtStdErrWriteHex8(uint32_t uValue);
/* "0x" and the value in lower-case hex. */
void rtStdErrWriteHex(uint32_t uValue);
/* The value in unsigned decimal, " (", "0x" and hex, ")". */
void rtStdErrWriteDecHex(uint32_t uValue);
/*
 * The text, only when the standard error (output) handle is neither null nor
 * invalid.  Returns the WriteFile result, or the handle value when unusable.
 */
uintptr_t rtStdErrWriteRaw(const char *pch, size_t cch);
uintptr_t rtStdOutWriteRaw(const char *pch, size_t cch);

#endif
