/*
 * The directory part of the executable's path.  It never loses the
 * separator of a drive root: an executable in "D:\" has the directory "D:\",
 * not the drive-relative "D:", so that names joined to it stay at the root
 * whatever the drive's current directory is.
 */
#include "path-internal.h"

size_t rtPathExecDirLength(const char *pszPath, size_t offName)
{
    uint32_t const fStyle = RTPATH_STR_F_STYLE_DOS;
    size_t cchRoot = 0;
    if (offName >= 2 && rtPathIsAsciiLetter(pszPath[0]) && pszPath[1] == ':')
        cchRoot = offName >= 3 && rtPathIsSep(pszPath[2], fStyle) ? 3 : 2;
    else if (offName >= 2 && rtPathIsSep(pszPath[0], fStyle) && rtPathIsSep(pszPath[1], fStyle))
    {
        cchRoot = 2;
        while (cchRoot < offName && !rtPathIsSep(pszPath[cchRoot], fStyle))
            cchRoot++;
    }
    else if (offName >= 1 && rtPathIsSep(pszPath[0], fStyle))
        cchRoot = 1;

    size_t cch = offName;
    while (cch > cchRoot && rtPathIsSep(pszPath[cch - 1], fStyle))
        cch--;
    return cch;
}
