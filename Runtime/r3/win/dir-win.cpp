/*
 * Making and removing one directory.  A new directory is marked not content
 * indexed, so that the indexer does not hold files of an extraction open
 * while they are verified and removed; when that fails and the caller cares,
 * the directory just made is removed again, so that a failed call leaves
 * nothing behind.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/utf.h>

#include "nt.h"

int RTDirMake(const char *pszPath, RTFMODE fMode, uint32_t fCreate)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if (fCreate & ~RTDIRCREATE_FLAGS_VALID_MASK)
        return KERR_INVALID_FLAGS;
    if (!(fMode & RTFS_TYPE_MASK))
        fMode |= RTFS_TYPE_DIRECTORY;
    fMode |= RTFS_DOS_DIRECTORY;
    if ((fMode & RTFS_TYPE_MASK) != RTFS_TYPE_DIRECTORY)
        return KERR_INVALID_FMODE;

    PRTUTF16 pwszPath = nullptr;
    int rc = rtPathWin32FromUtf8(pszPath, &pwszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!RT_NT_SYS(CreateDirectoryW)((LPCWSTR)pwszPath, nullptr))
        rc = RTErrConvertFromWin32(GetLastError());
    else if (   !(fCreate & RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_DONT_SET)
             && !RT_NT_SYS(SetFileAttributesW)((LPCWSTR)pwszPath, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
             && !(fCreate & RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_NOT_CRITICAL))
    {
        rc = RTErrConvertFromWin32(GetLastError());
        RT_NT_SYS(RemoveDirectoryW)((LPCWSTR)pwszPath);
    }
    RTStrRelease(pwszPath);
    return rc;
}

int RTDirDelete(const char *pszPath)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    PRTUTF16 pwszPath = nullptr;
    int rc = rtPathWin32FromUtf8(pszPath, &pwszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!RT_NT_SYS(RemoveDirectoryW)((LPCWSTR)pwszPath))
        rc = RTErrConvertFromWin32(GetLastError());
    RTStrRelease(pwszPath);
    return rc;
}
