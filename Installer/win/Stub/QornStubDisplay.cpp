/*
 * Kestrelyn Installer: error and message display.
 *
 * Every message of the installer is formatted here and takes one of two
 * roads, chosen by the silent flag at the moment of the call: a message box
 * titled "Kestrelyn Installer" over the desktop, or the standard streams.
 * Internal failures of extraction and cleanup always go to standard error as
 * "error: " lines.  The error functions hand back the exit code, so that a
 * caller reports and returns in one expression.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/stream.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "QornStubLazy.h"

bool g_fStubSilent = false;
unsigned g_cStubVerbosity = 0;

namespace {

const char g_szStubTitle[] = "Kestrelyn Installer";
const wchar_t g_wszStubTitle[] = L"Kestrelyn Installer";

void stubShowV(UINT fStyle, const char *pszFormat, va_list va)
{
    char *pszText = nullptr;
    if (RTStrFmtToAllocV(&pszText, pszFormat, va, "stubShow") < 0 || !pszText)
        return;
    if (g_fStubSilent)
    {
        if (fStyle == MB_ICONERROR)
            RTMsgPrintError("%s", pszText);
        else
            RTStrmFmt(g_pStdOut, "%s\n", pszText);
    }
    else
    {
        PRTUTF16 pwszText = nullptr;
        if (RT_SUCCESS(RTStrToUtf16(pszText, &pwszText, "stubShow")))
        {
            StubLazy::MessageBoxW(StubLazy::GetDesktopWindow(), (LPCWSTR)pwszText, g_wszStubTitle,
                                  MB_OK | fStyle);
            RTStrRelease(pwszText);
        }
        else /* not valid UTF-8: shown byte for byte rather than not at all */
            StubLazy::MessageBoxA(StubLazy::GetDesktopWindow(), pszText, g_szStubTitle,
                                  MB_OK | fStyle);
    }
    RTStrRelease(pszText);
}

} // namespace

StubExit stubReportError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    stubShowV(MB_ICONERROR, pszFormat, va);
    va_end(va);
    return STUBEXIT_FAILURE;
}

void stubReportInfo(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    stubShowV(MB_ICONINFORMATION, pszFormat, va);
    va_end(va);
}

StubExit stubReportSyntaxError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    stubReportError("%N", pszFormat, &va);
    va_end(va);
    return STUBEXIT_SYNTAX;
}

ptrdiff_t stubPrintError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrmFmt(g_pStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return cch;
}

StubExit stubPrintErrorFailure(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTStrmFmt(g_pStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return STUBEXIT_FAILURE;
}

int stubPrintErrorStatus(int rc, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTStrmFmt(g_pStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return rc;
}
