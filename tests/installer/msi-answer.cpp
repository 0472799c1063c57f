/*
 * Linked into one test installer only: the Windows Installer's answer to
 * MsiInstallProductW is taken from the environment variable KT_MSI_ANSWER
 * (a decimal number) instead of from an installation, for answers that a
 * real package under Wine cannot give (1641: the restart has begun).  The
 * lazy binding's slot is set before the installer's first line runs; every
 * other call of the Windows Installer is the real one.  Each call appends
 * one line to the file KT_MSI_ANSWER_LOG names, when it is set, so that a
 * test can count the packages handed over.
 */
#include "QornStubLazy.h"

namespace {

UINT WINAPI answerFromEnvironment(LPCWSTR pwszPackage, LPCWSTR)
{
    WCHAR wszLog[MAX_PATH];
    DWORD const cwcLog = GetEnvironmentVariableW(L"KT_MSI_ANSWER_LOG", wszLog, MAX_PATH);
    if (cwcLog && cwcLog < MAX_PATH)
    {
        HANDLE const hLog = CreateFileW(wszLog, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, 0, nullptr);
        if (hLog != INVALID_HANDLE_VALUE)
        {
            DWORD cbWritten;
            WriteFile(hLog, "call\n", 5, &cbWritten, nullptr);
            CloseHandle(hLog);
        }
    }
    (void)pwszPackage;
    WCHAR wsz[16];
    DWORD const cwc = GetEnvironmentVariableW(L"KT_MSI_ANSWER", wsz, RT_ELEMENTS(wsz));
    UINT uAnswer = 0;
    for (DWORD i = 0; i < cwc && cwc < RT_ELEMENTS(wsz) && wsz[i] >= '0' && wsz[i] <= '9'; i++)
        uAnswer = uAnswer * 10 + (UINT)(wsz[i] - '0');
    return uAnswer;
}

struct AnswerFromEnvironment
{
    AnswerFromEnvironment()
    {
        StubLazy::StubLazySlot_MsiInstallProductW::s_pfnSlot = answerFromEnvironment;
    }
} g_AnswerFromEnvironment;

} // namespace
