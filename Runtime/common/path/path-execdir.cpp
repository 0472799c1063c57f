/*
 * The directory part of the executable's path.  It never loses the
 * separator of a drive root: an executable in "D:\" has the directory "D:\",
 * not the drive-relative "D:", so that names joined to it stay at the root
 * whatever the drive's current directory is.
 */
#include "path-internal.h"

size_t rtPathExecDirLength(const char *pszPath, size_t offName)
{
    /* For UNC the root is the server name; a share is a directory like any other. */
    size_t const cchRoot = rtPathRoot(pszPath, offName).offServerEnd;
    size_t cch = offName;
    while (cch > cchRoot && rtPathIsSep(pszPath[cch - 1]))
        cch--;
    return cch;
}
