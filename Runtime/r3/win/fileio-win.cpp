/*
 * File I/O on Win32 handles: open by path with the flag word, read and
 * write, position, close (the length and the flush are in
 * filelength-win.cpp).  Transfers hand the caller's whole count to one
 * system call and split it only when the system answers that it lacks
 * memory for so large a transfer.  Every call goes through the system-call
 * table (nt.h), so tests can make any of them fail.
 */
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "file-internal.h"
#include "nt.h"

namespace {

const size_t g_cbReadChunkMax = 16384;
const size_t g_cbWriteChunkMax = 32768;

inline HANDLE rtFileNative(RTFILE hFile)
{
    return (HANDLE)hFile;
}

/* Half the count rounded up to a multiple of 256, at most cbMax. */
size_t rtFileFirstChunk(size_t cb, size_t cbMax)
{
    size_t const cbChunk = ((cb + 1) / 2 + 255) & ~(size_t)255;
    return cbChunk < cbMax ? cbChunk : cbMax;
}

/* A count for one system call; the target's size_t fits a DWORD, wider hosts are cut. */
inline DWORD rtFileIoCount(size_t cb)
{
    return cb <= UINT32_C(0x7FFFF000) ? (DWORD)cb : UINT32_C(0x7FFFF000);
}

int rtFileWriteFailed(HANDLE hFile, DWORD uErr, size_t cbLeft)
{
    int const rc = RTErrConvertFromWin32(uErr);
    if (rc != KERR_DISK_FULL)
        return rc;
    uint64_t const offNow = RTFileGetPosition((RTFILE)hFile);
    return rtFileDiagnoseDiskFull(hFile, offNow == UINT64_MAX ? cbLeft : offNow + cbLeft);
}

/* One ReadFile or WriteFile; the count done is never taken for more than was asked. */
bool rtFileTransferOnce(HANDLE hFile, bool fWrite, uint8_t *pb, DWORD cb, DWORD *pcbDone)
{
    *pcbDone = 0;
    BOOL const fOk = fWrite ? RT_NT_SYS(WriteFile)(hFile, pb, cb, pcbDone, nullptr)
                            : RT_NT_SYS(ReadFile)(hFile, pb, cb, pcbDone, nullptr);
    if (*pcbDone > cb)
        *pcbDone = cb;
    return fOk != FALSE;
}

int rtFileTransferFailed(HANDLE hFile, bool fWrite, DWORD uErr, size_t cbLeft)
{
    return fWrite ? rtFileWriteFailed(hFile, uErr, cbLeft) : RTErrConvertFromWin32(uErr);
}

/*
 * The body of RTFileRead and RTFileWrite.  With pcbDone the first call's
 * count is the answer; without it everything must move, and a call that
 * moves nothing ends the loop (end of file, or a write the system refused
 * without an error).  ERROR_NOT_ENOUGH_MEMORY on the first call, for the
 * whole count, starts a transfer in chunks that halve while the system
 * keeps saying so; cbChunk is 0 until then.
 */
int rtFileTransfer(HANDLE hFile, bool fWrite, uint8_t *pbBuf, size_t cbToDo, size_t *pcbDone)
{
    size_t cbChunk = 0;
    size_t cbTotal = 0;
    while (cbTotal < cbToDo)
    {
        size_t const cbLeft = cbToDo - cbTotal;
        DWORD cbThisDone = 0;
        if (rtFileTransferOnce(hFile, fWrite, pbBuf + cbTotal,
                               rtFileIoCount(cbChunk && cbChunk < cbLeft ? cbChunk : cbLeft),
                               &cbThisDone))
        {
            cbTotal += cbThisDone;
            if (pcbDone)
            {
                *pcbDone = cbTotal;
                return KINF_SUCCESS;
            }
            if (!cbThisDone)
                return fWrite ? KERR_WRITE_ERROR : KERR_EOF;
            continue;
        }

        DWORD const uErr = GetLastError();
        if (uErr == ERROR_NOT_ENOUGH_MEMORY && !cbChunk && !cbTotal)
            cbChunk = rtFileFirstChunk(cbToDo, fWrite ? g_cbWriteChunkMax : g_cbReadChunkMax);
        else if (uErr == ERROR_NOT_ENOUGH_MEMORY && cbChunk > 8)
            cbChunk /= 2;
        else
            return rtFileTransferFailed(hFile, fWrite, uErr, cbLeft);
    }
    /* With pcbDone only a count of 0 gets here. */
    if (pcbDone)
        *pcbDone = 0;
    return KINF_SUCCESS;
}

} // namespace

int RTFileOpenPathEx(const char *pszFilename, uint64_t fOpen, RTFILE *phFile,
                     RTFILEACTION *penmActionTaken)
{
    if (!phFile)
        return KERR_INVALID_PARAMETER;
    *phFile = NIL_RTFILE;
    if (penmActionTaken)
        *penmActionTaken = RTFILEACTION_INVALID;
    if (!pszFilename)
        return KERR_INVALID_PARAMETER;

    int rc = rtFileOpenFlagsValidate(&fOpen);
    if (RT_FAILURE(rc))
        return rc;
    RTFILEWINOPEN Win;
    rc = rtFileOpenFlagsToWin(fOpen, &Win);
    if (RT_FAILURE(rc))
        return rc;

    PRTUTF16 pwszPath = nullptr;
    rc = rtPathWin32FromUtf8(pszFilename, &pwszPath);
    if (RT_FAILURE(rc))
        return rc;

    SECURITY_ATTRIBUTES SecAttr = { sizeof(SecAttr), nullptr, TRUE };
    SetLastError(NO_ERROR);
    HANDLE hFile = RT_NT_SYS(CreateFileW)(
        (LPCWSTR)pwszPath, Win.fDesiredAccess, Win.fShareMode, Win.fInherit ? &SecAttr : nullptr,
        Win.uCreationDisposition, Win.fFlagsAndAttributes, nullptr);
    /* Read at once: on success it tells a created file from an existing one. */
    DWORD const uErr = GetLastError();
    if (hFile == INVALID_HANDLE_VALUE)
    {
        if (Win.uCreationDisposition == RTFILE_WIN_CREATE_NEW && uErr == ERROR_FILE_EXISTS
            && penmActionTaken)
            *penmActionTaken = RTFILEACTION_ALREADY_EXISTS;
        rc = RTErrConvertFromWin32(uErr);
        if (RT_SUCCESS(rc))
            rc = KERR_GENERAL_FAILURE;
    }
    else
    {
        RTFILEACTION enmAction = rtFileOpenActionFromWin(Win.uCreationDisposition,
                                                         uErr == ERROR_ALREADY_EXISTS);
        BOOL fOk = TRUE;
        if (fOpen & RTFILE_O_NOT_CONTENT_INDEXED)
        {
            if (enmAction == RTFILEACTION_CREATED || enmAction == RTFILEACTION_REPLACED)
            {
                /* It replaces all attributes: keep the temporary one asked for at creation. */
                DWORD const fAttribs = FILE_ATTRIBUTE_NOT_CONTENT_INDEXED
                                       | (fOpen & RTFILE_O_TEMPORARY ? FILE_ATTRIBUTE_TEMPORARY
                                                                     : 0);
                fOk = RT_NT_SYS(SetFileAttributesW)((LPCWSTR)pwszPath, fAttribs);
            }
        }
        else if (Win.uCreationDisposition == RTFILE_WIN_OPEN_ALWAYS && (fOpen & RTFILE_O_TRUNCATE)
                 && enmAction == RTFILEACTION_OPENED)
        {
            /* The position of a fresh handle is 0: cut the file there. */
            fOk = RT_NT_SYS(SetEndOfFile)(hFile);
            if (fOk)
                enmAction = RTFILEACTION_TRUNCATED;
        }
        if (!fOk)
            rc = RTErrConvertFromWin32(GetLastError());

        if (RT_FAILURE(rc))
        {
            /* A file this call made and could not finish is taken away; one that existed stays. */
            RT_NT_SYS(CloseHandle)(hFile);
            if (enmAction == RTFILEACTION_CREATED)
                RT_NT_SYS(DeleteFileW)((LPCWSTR)pwszPath);
        }
        else
        {
            rc = KINF_SUCCESS;
            *phFile = (RTFILE)hFile;
            if (penmActionTaken)
                *penmActionTaken = enmAction;
        }
    }
    RTStrRelease(pwszPath);
    return rc;
}

int RTFileRename(const char *pszSrc, const char *pszDst, bool fReplace)
{
    if (!pszSrc || !pszDst)
        return KERR_INVALID_POINTER;
    PRTUTF16 pwszSrc = nullptr;
    int rc = rtPathWin32FromUtf8(pszSrc, &pwszSrc);
    if (RT_FAILURE(rc))
        return rc;
    PRTUTF16 pwszDst = nullptr;
    rc = rtPathWin32FromUtf8(pszDst, &pwszDst);
    if (RT_SUCCESS(rc))
    {
        /* No copy across volumes: a copy would be a second file, not this one. */
        if (!RT_NT_SYS(MoveFileExW)((LPCWSTR)pwszSrc, (LPCWSTR)pwszDst,
                                    fReplace ? MOVEFILE_REPLACE_EXISTING : 0))
            rc = RTErrConvertFromWin32(GetLastError());
        RTStrRelease(pwszDst);
    }
    RTStrRelease(pwszSrc);
    return rc;
}

int RTFileOpenPath(RTFILE *phFile, const char *pszFilename, uint64_t fOpen)
{
    return RTFileOpenPathEx(pszFilename, fOpen, phFile, nullptr);
}

int RTFileClose(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return KINF_SUCCESS;
    if (!RT_NT_SYS(CloseHandle)(rtFileNative(hFile)))
        return RTErrConvertFromWin32(GetLastError());
    return KINF_SUCCESS;
}

int RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead)
{
    return rtFileTransfer(rtFileNative(hFile), false, (uint8_t *)pvBuf, cbToRead, pcbRead);
}

int RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten)
{
    return rtFileTransfer(rtFileNative(hFile), true, (uint8_t *)pvBuf, cbToWrite, pcbWritten);
}

int RTFileSetPosition(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual)
{
    if (uMethod > RTFILE_SEEK_END)
        return KERR_INVALID_PARAMETER;
    LONG lHigh = (LONG)(offSeek >> 32);
    SetLastError(NO_ERROR);
    DWORD const uLow = RT_NT_SYS(SetFilePointer)(rtFileNative(hFile), (LONG)(uint32_t)offSeek,
                                                 &lHigh, uMethod);
    /* All ones is also a valid low half; only the last error tells them apart. */
    if (uLow == INVALID_SET_FILE_POINTER)
    {
        DWORD const uErr = GetLastError();
        if (uErr != NO_ERROR)
            return RTErrConvertFromWin32(uErr);
    }
    if (poffActual)
        *poffActual = ((uint64_t)(uint32_t)lHigh << 32) | uLow;
    return KINF_SUCCESS;
}

uint64_t RTFileGetPosition(RTFILE hFile)
{
    uint64_t off = 0;
    if (RT_FAILURE(RTFileSetPosition(hFile, 0, RTFILE_SEEK_CURRENT, &off)))
        return UINT64_MAX;
    return off;
}

bool RTFileIsUsable(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return false;
    SetLastError(NO_ERROR);
    DWORD const uType = RT_NT_SYS(GetFileType)(rtFileNative(hFile));
    if (uType == FILE_TYPE_DISK || uType == FILE_TYPE_CHAR || uType == FILE_TYPE_PIPE
        || uType == FILE_TYPE_REMOTE)
        return true;
    return uType == FILE_TYPE_UNKNOWN && GetLastError() == NO_ERROR;
}

int RTFileWrapNative(RTFILE *phFile, intptr_t uNative)
{
    *phFile = (RTFILE)uNative;
    return uNative == -1 ? KERR_INVALID_HANDLE : KINF_SUCCESS;
}
