/*
 * The current directory on hosts with a C library.  There are no drives
 * here: every drive's current directory is its root, which is what Windows
 * answers for a drive it has no record of.
 */
#include <errno.h>
#include <unistd.h>

#include <zelk/err.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

namespace {

int rtPathErrnoToStatus(int iErr)
{
    switch (iErr)
    {
        case ENOENT: return KERR_PATH_NOT_FOUND;
        case ENOTDIR: return KERR_NOT_A_DIRECTORY;
        case EACCES: return KERR_ACCESS_DENIED;
        case ENAMETOOLONG: return KERR_FILENAME_TOO_LONG;
        case ERANGE: return KERR_BUFFER_OVERFLOW;
        case ENOMEM: return KERR_NO_MEMORY;
        default: return KERR_GENERAL_FAILURE;
    }
}

} // namespace

int RTPathGetCurrent(char *pszPath, size_t cb)
{
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    if (!cb)
        return KERR_BUFFER_OVERFLOW;
    if (!getcwd(pszPath, cb))
        return rtPathErrnoToStatus(errno);
    return KINF_SUCCESS;
}

int RTPathGetCurrentOnDrive(char chDrive, char *pszPath, size_t cb)
{
    if (!rtPathIsAsciiLetter(chDrive))
        return KERR_INVALID_PARAMETER;
    if (!pszPath && cb)
        return KERR_INVALID_POINTER;
    if (cb < 4)
        return KERR_BUFFER_OVERFLOW;
    pszPath[0] = rtPathUpperDrive(chDrive);
    pszPath[1] = ':';
    pszPath[2] = '\\';
    pszPath[3] = '\0';
    return KINF_SUCCESS;
}

int rtPathGetCurrentOf(char chDrive, char *pszPath, size_t cb)
{
    return chDrive ? RTPathGetCurrentOnDrive(chDrive, pszPath, cb) : RTPathGetCurrent(pszPath, cb);
}

int RTPathSetCurrent(const char *pszPath)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if (!*pszPath)
        return KERR_INVALID_PARAMETER;
    if (chdir(pszPath) != 0)
        return rtPathErrnoToStatus(errno);
    return KINF_SUCCESS;
}
