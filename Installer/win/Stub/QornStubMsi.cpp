/*
 * Kestrelyn Installer: installation of one extracted Windows Installer
 * package, with the caller's parameters and optional log.
 *
 * The Windows Installer does the work; this module sets its user interface
 * level and log, hands it the package and the parameter text as its command
 * line, and turns its answer into the installer's exit code and, for every
 * failure but a cancel, a message with the system's text for the answer.
 * The exit code of a failure is 1, or with --msi-exit-codes the answer
 * itself, which deployment tools know (1618: try again later).
 */
#include <zelk/err.h>
#include <zelk/stream.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "QornStubLazy.h"

#include <commctrl.h>

namespace {

/* Verbose logging (INSTALLLOGMODE_VERBOSE), flushed line by line, not appended. */
DWORD const g_fStubMsiLogMode = INSTALLLOGMODE_VERBOSE;
DWORD const g_fStubMsiLogAttr = INSTALLLOGATTRIBUTES_FLUSHEACHLINE;

/* The network error numbers whose texts live in netmsg.dll. */
UINT const g_uStubNetMsgFirst = 2100;
UINT const g_uStubNetMsgLast = 2999;

/* Shows "Installation failed! Error: " with the system's text for uAnswer, or its number. */
void stubReportMsiFailure(UINT uAnswer)
{
    HMODULE hNetMsg = nullptr;
    DWORD fFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                   | FORMAT_MESSAGE_FROM_SYSTEM;
    if (uAnswer >= g_uStubNetMsgFirst && uAnswer <= g_uStubNetMsgLast)
    {
        hNetMsg = LoadLibraryExW(L"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (hNetMsg)
            fFlags |= FORMAT_MESSAGE_FROM_HMODULE;
    }

    PWSTR pwszText = nullptr;
    DWORD const cwcText = FormatMessageW(fFlags, hNetMsg, uAnswer,
                                         MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                         (PWSTR)&pwszText, 0, nullptr);
    if (cwcText && pwszText)
        stubReportError("Installation failed! Error: %ls", pwszText);
    else
        stubReportError("Installation failed! Error: %u", uAnswer);
    if (pwszText)
        LocalFree(pwszText);
    if (hNetMsg)
        FreeLibrary(hNetMsg);
}

/*
 * The log is a file of the installer's own making.  The Windows Installer
 * writes through whatever has the name, a link planted there included, so a
 * new file is put in its place first (stubCreateFileAnew).
 */
StubExit stubCreateLogFile(const char *pszLogFile)
{
    int const rc = stubCreateFileAnew(pszLogFile, nullptr);
    if (RT_FAILURE(rc))
        return stubReportError("Failed to create the log file '%s': %Rrc", pszLogFile, rc);
    return STUBEXIT_SUCCESS;
}

} // namespace

StubExit stubInstallMsi(const char *pszPackage, const char *pszParams, const char *pszLogFile)
{
    if (!StubLazy::MsiSetInternalUI(g_fStubSilent ? INSTALLUILEVEL_NONE : INSTALLUILEVEL_FULL,
                                    nullptr))
        return stubReportError("Internal error: MsiSetInternalUI failed.");

    if (pszLogFile)
    {
        if (stubCreateLogFile(pszLogFile) != STUBEXIT_SUCCESS)
            return STUBEXIT_FAILURE;
        PRTUTF16 pwszLogFile = nullptr;
        int rc = RTStrToUtf16(pszLogFile, &pwszLogFile, "stubInstallMsi");
        if (RT_FAILURE(rc))
            return stubReportError("RTStrToUtf16 failed on '%s': %Rrc", pszLogFile, rc);
        UINT const uRc = StubLazy::MsiEnableLogW(g_fStubMsiLogMode, (LPCWSTR)pwszLogFile,
                                                 g_fStubMsiLogAttr);
        RTStrRelease(pwszLogFile);
        if (uRc != ERROR_SUCCESS)
            return stubReportError("MsiEnableLogW failed");
    }

    /*
     * The full interface draws with the common controls of the version that
     * the manifest asks for; they must be registered before the first dialog.
     */
    INITCOMMONCONTROLSEX Icc;
    Icc.dwSize = sizeof(Icc);
    Icc.dwICC = ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_PAGESCROLLER_CLASS
                | ICC_STANDARD_CLASSES | ICC_LINK_CLASS;
    static_assert((ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_PAGESCROLLER_CLASS
                   | ICC_STANDARD_CLASSES | ICC_LINK_CLASS)
                      == 0xD2FF,
                  "the common-control classes of the installer interface");
    InitCommonControlsEx(&Icc);

    PRTUTF16 pwszPackage = nullptr;
    int rc = RTStrToUtf16(pszPackage, &pwszPackage, "stubInstallMsi");
    if (RT_FAILURE(rc))
        return stubReportError("RTStrToUtf16 failed on '%s': %Rrc", pszPackage, rc);
    PRTUTF16 pwszParams = nullptr;
    rc = RTStrToUtf16(pszParams, &pwszParams, "stubInstallMsi");
    if (RT_FAILURE(rc))
    {
        RTStrRelease(pwszPackage);
        return stubReportError("RTStrToUtf16 failed on '%s': %Rrc", pszParams, rc);
    }

    /* Another installation in progress: tried again while the wait allows. */
    UINT uAnswer;
    while ((uAnswer = StubLazy::MsiInstallProductW((LPCWSTR)pwszPackage, (LPCWSTR)pwszParams))
               == ERROR_INSTALL_ALREADY_RUNNING
           && stubWaitPause())
    {
    }
    RTStrRelease(pwszPackage);
    RTStrRelease(pwszParams);

    switch (uAnswer)
    {
        case ERROR_SUCCESS: return STUBEXIT_SUCCESS;
        case ERROR_SUCCESS_REBOOT_REQUIRED:
        case ERROR_SUCCESS_REBOOT_INITIATED:
            if (g_fStubSilent)
                RTMsgPrintInfo(uAnswer == ERROR_SUCCESS_REBOOT_REQUIRED ? "Reboot required (by %s)\n"
                                                                        : "Restart initiated (by %s)\n",
                               pszPackage);
            return StubExit{ (int)uAnswer };
        case ERROR_INSTALL_USEREXIT: break;
        case ERROR_INSTALL_PACKAGE_VERSION:
            stubReportError(
                "This installation package cannot be installed by the Windows Installer service.\n"
                "You must install a Windows service pack that contains a newer version of the "
                "Windows Installer service.");
            break;
        case ERROR_INSTALL_PLATFORM_UNSUPPORTED:
            stubReportError("This installation package is not supported on this platform.");
            break;
        default: stubReportMsiFailure(uAnswer); break;
    }
    return g_fStubMsiExitCodes ? StubExit{ (int)uAnswer } : STUBEXIT_FAILURE;
}
