/*
 * Direct writers to the standard error (and output) handle: no stream, lock,
 * buffer or allocation, so start-up, assertion and crash paths can use them
 * when the rest of the runtime may not be usable.  Every failure is ignored.
 */
#include <zelk/format.h>
#include <zelk/stderr.h>

#include "ptr-internal.h"
#include "win.h"

namespace {

uintptr_t rtStdWriteRaw(DWORD idStd, const char *pch, size_t cch)
{
    HANDLE const hStd = GetStdHandle(idStd);
    if (hStd == nullptr || hStd == INVALID_HANDLE_VALUE)
        return (uintptr_t)hStd;
    DWORD cbWritten = 0;
    return (uintptr_t)WriteFile(hStd, pch, (DWORD)cch, &cbWritten, nullptr);
}

/* A number never overflows a buffer of RTSTR_FMT_NUM_BUF bytes: the length is no error. */
void rtStdErrWriteU32(uint32_t uValue, unsigned uBase, int cchWidth, int cchPrecision,
                      unsigned fFlags)
{
    char szNum[RTSTR_FMT_NUM_BUF];
    int const cchNum = RTStrFmtU32(szNum, sizeof(szNum), uValue, uBase, cchWidth, cchPrecision,
                                   fFlags);
    rtStdErrWrite(szNum, (size_t)cchNum);
}

size_t rtStrLenRaw(const char *psz)
{
    size_t cch = 0;
    while (psz[cch])
        cch++;
    return cch;
}

} // namespace

uintptr_t rtStdErrWriteRaw(const char *pch, size_t cch)
{
    return rtStdWriteRaw(STD_ERROR_HANDLE, pch, cch);
}

uintptr_t rtStdOutWriteRaw(const char *pch, size_t cch)
{
    return rtStdWriteRaw(STD_OUTPUT_HANDLE, pch, cch);
}

void rtStdErrWrite(const char *pch, size_t cch)
{
    HANDLE const hStd = GetStdHandle(STD_ERROR_HANDLE);
    DWORD cbWritten = 0;
    WriteFile(hStd, pch, (DWORD)cch, &cbWritten, nullptr);
}

void rtStdErrWriteFlush(const char *pch, size_t cch)
{
    rtStdErrWrite(pch, cch);
    rtStdErrWrite("", 0);
}

void rtStdErrWriteStr(const char *psz)
{
    if (rtIsBadPtr(psz))
    {
        rtStdErrWrite("<pszString=", 11);
        rtStdErrWriteHex8((uint32_t)(uintptr_t)psz);
        rtStdErrWrite(">", 1);
        return;
    }
    rtStdErrWrite(psz, rtStrLenRaw(psz));
}

void rtStdErrWriteMsgNum(const char *pch, size_t cch, uint32_t uValue)
{
    rtStdErrWrite(pch, cch);
    rtStdErrWriteU32(uValue, 10, 0, 0, FMT_F_SIGNED);
    rtStdErrWrite("\r\n", 2);
}

void rtStdErrWriteHex8(uint32_t uValue)
{
    rtStdErrWriteU32(uValue, 16, 8, 8, 0);
}

void rtStdErrWriteHex(uint32_t uValue)
{
    rtStdErrWrite("0x", 2);
    rtStdErrWriteU32(uValue, 16, 0, 0, 0);
}

void rtStdErrWriteDecHex(uint32_t uValue)
{
    rtStdErrWriteU32(uValue, 10, 0, 0, 0);
    rtStdErrWrite(" (", 2);
    rtStdErrWriteHex(uValue);
    rtStdErrWrite(")", 1);
}
