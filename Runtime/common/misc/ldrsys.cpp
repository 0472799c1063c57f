/*
 * Path comparison of the system-module loader: does a side-by-side
 * redirected path name a file right inside one of the system's own module
 * folders?  Pure text, so every host tests it.
 */
#include <zelk/ldr.h>

#include "ascii-internal.h"
#include "path-internal.h"

bool rtLdrIsFileInDir(PCRTUTF16 pwszPath, PCRTUTF16 pwszDir)
{
    if (!*pwszDir)
        return false;
    /* The folder, component by component. */
    for (;;)
    {
        if (rtPathIsSep(*pwszDir) || !*pwszDir)
        {
            if (!rtPathIsSep(*pwszPath))
                return false;
            while (rtPathIsSep(*pwszDir))
                pwszDir++;
            while (rtPathIsSep(*pwszPath))
                pwszPath++;
            if (!*pwszDir)
                break;
            continue;
        }
        if (rtAsciiToLower(*pwszDir) != rtAsciiToLower(*pwszPath))
            return false;
        pwszDir++;
        pwszPath++;
    }
    /* Then exactly one more component, the file, which can't be "." or "..". */
    PCRTUTF16 const pwszName = pwszPath;
    for (; *pwszPath; pwszPath++)
        if (rtPathIsSepOrColon(*pwszPath))
            return false;
    size_t const cwcName = (size_t)(pwszPath - pwszName);
    if (cwcName == 0
        || (pwszName[0] == '.' && (cwcName == 1 || (cwcName == 2 && pwszName[1] == '.'))))
        return false;
    return true;
}
