/*
 * Start-up probe: a program linked like the installer (runtime entry, no C
 * runtime) whose first argument picks what it shows.  The test script runs
 * it under Wine and checks its output and exit code.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/init.h>
#include <zelk/log.h>
#include <zelk/stderr.h>
#include <zelk/string.h>

#include "QornStubLazy.h"
#include "init-internal.h"

LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptPtrs);
extern LPTOP_LEVEL_EXCEPTION_FILTER g_pfnrtR3WinUnhandledXcptFilter;

namespace {

void outf(const char *pszFormat, ...)
{
    char szBuf[1024];
    va_list va;
    va_start(va, pszFormat);
    size_t const cch = RTStrFmtToBufV(szBuf, sizeof(szBuf), pszFormat, va);
    va_end(va);
    rtStdOutWriteRaw(szBuf, cch);
}

void stdoutSink(void *pvUser, const char *pch, size_t cch)
{
    (void)pvUser;
    rtStdOutWriteRaw(pch, cch);
}

RTLOGGER g_StdoutLogger;

LONG WINAPI probePreviousFilter(EXCEPTION_POINTERS *pXcptPtrs)
{
    outf("previous filter called with %#x\n", (unsigned)pXcptPtrs->ExceptionRecord->ExceptionCode);
    ExitProcess(77);
}

LONG WINAPI probeReturningFilter(EXCEPTION_POINTERS *)
{
    return 0x1234;
}

template <typename T> bool isBound(T pfnSlot, T pfnBinder)
{
    return pfnSlot != pfnBinder;
}

int probeLazy(void)
{
    using namespace StubLazy;
    outf("ws2 loaded before: %RTbool\n", g_StubLazyWs2.hMod != NIL_RTLDRMOD);
    StubLazy::WSASetLastError(10061);
    RTLDRMOD const hFirst = g_StubLazyWs2.hMod;
    outf("WSAGetLastError: %d\n", StubLazy::WSAGetLastError());
    outf("ws2 module kept: %RTbool\n", hFirst != NIL_RTLDRMOD && g_StubLazyWs2.hMod == hFirst);
    outf("WSASetLastError bound: %RTbool\n",
         isBound(StubLazySlot_WSASetLastError::s_pfnSlot, &StubLazySlot_WSASetLastError::bind));
    outf("WSAGetLastError bound: %RTbool\n",
         isBound(StubLazySlot_WSAGetLastError::s_pfnSlot, &StubLazySlot_WSAGetLastError::bind));
    outf("CommandLineToArgvW bound: %RTbool\n",
         isBound(StubLazySlot_CommandLineToArgvW::s_pfnSlot, &StubLazySlot_CommandLineToArgvW::bind));
    outf("shell32 table loaded: %RTbool\n", g_StubLazyShell32.hMod != NIL_RTLDRMOD);
    outf("user32 in process: %RTbool\n", GetModuleHandleW(L"user32.dll") != nullptr);
    return 0;
}

int probePlanted(void)
{
    /* One function of each planted DLL; the system's copies must answer. */
    StubLazy::MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    HWND const hwnd = StubLazy::GetDesktopWindow();
    (void)hwnd;
    StubLazy::CertCloseStore(nullptr, 0);
    int cArgs = 0;
    LPWSTR *papwsz = StubLazy::CommandLineToArgvW(L"a b", &cArgs);
    LocalFree(papwsz);
    STUBLAZYMOD *const apMods[] = { &g_StubLazyMsi, &g_StubLazyUser32, &g_StubLazyCrypt32, &g_StubLazyShell32 };
    for (STUBLAZYMOD *pMod : apMods)
    {
        wchar_t wszPath[MAX_PATH];
        DWORD const cwc = GetModuleFileNameW((HMODULE)pMod->hMod, wszPath, MAX_PATH);
        outf("%s: %.*ls\n", pMod->pszName, (int)cwc, wszPath);
    }
    outf("args: %d\n", cArgs);
    return 0;
}

int probeCrashDirect(void)
{
    EXCEPTION_RECORD Rec;
    RTMemSet(&Rec, 0, sizeof(Rec));
    Rec.ExceptionCode = 0xe0434f4d;
    Rec.ExceptionAddress = (void *)(uintptr_t)0x401234;
    Rec.NumberParameters = 20; /* more than the record holds: 15 are printed */
    for (unsigned i = 0; i < EXCEPTION_MAXIMUM_PARAMETERS; i++)
        Rec.ExceptionInformation[i] = 0x1000 + i;
    EXCEPTION_POINTERS Ptrs = { &Rec, nullptr };

    g_pfnrtR3WinUnhandledXcptFilter = probeReturningFilter;
    RTLogRelSetDefaultInstance(nullptr);
    outf("no logger: %#x\n", (unsigned)rtR3WinUnhandledXcptFilter(&Ptrs));
    RTLogRelSetDefaultInstance(&g_StdoutLogger);
    LONG const lRet = rtR3WinUnhandledXcptFilter(&Ptrs);
    outf("with logger: %#x\n", (unsigned)lRet);
    return 0;
}

} // namespace

extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv)
{
    (void)papszEnv;
    RTLogInit(&g_StdoutLogger, stdoutSink, nullptr);
    const char *pszCmd = cArgs > 1 ? papszArgs[1] : "";

    if (!RTStrCmp(pszCmd, "crash"))
        SetUnhandledExceptionFilter(probePreviousFilter);
    int rc = RTR3Init(&cArgs, &papszArgs, RTR3INIT_FLAGS_SYSTEM32_ONLY);
    if (RT_FAILURE(rc))
    {
        outf("RTR3Init: %Rrc\n", rc);
        return 3;
    }

    if (!RTStrCmp(pszCmd, "args"))
    {
        outf("argc=%d\n", cArgs);
        for (int i = 2; i < cArgs; i++)
            outf("argv[%d]=%.*Rhxs\n", i, (int)RTStrLen(papszArgs[i]), papszArgs[i]);
        return 0;
    }
    if (!RTStrCmp(pszCmd, "exit") && cArgs > 2)
    {
        uint32_t uExit = 0;
        for (const char *pch = papszArgs[2]; *pch >= '0' && *pch <= '9'; pch++)
            uExit = uExit * 10 + (uint32_t)(*pch - '0');
        return (int)uExit;
    }
    if (!RTStrCmp(pszCmd, "init"))
    {
        outf("again, same arguments: %Rrc\n", RTR3Init(&cArgs, &papszArgs, RTR3INIT_FLAGS_SYSTEM32_ONLY));
        char *apszOther[] = { papszArgs[0], nullptr };
        char **papszOther = apszOther;
        int cOther = 1;
        outf("again, other arguments: %Rrc\n", RTR3Init(&cOther, &papszOther, 0));
        outf("again, no arguments: %Rrc\n", RTR3Init(nullptr, nullptr, 0));
        outf("hardening state: %u\n", g_uRTR3WinDllHardening);
        outf("flags: %#x\n", g_frtR3InitFlags);
        outf("version code above 100: %RTbool\n", g_enmWinVer > 100);
        outf("exe name: %s\n", RTProcExecPath() + RTProcExecNameOffset());
        return 0;
    }
    if (!RTStrCmp(pszCmd, "writers"))
    {
        rtStdErrWriteStr("str;");
        rtStdErrWriteStr((const char *)(uintptr_t)0x10);
        rtStdErrWrite(";", 1);
        rtStdErrWriteHex8(0xabc);
        rtStdErrWrite(";", 1);
        rtStdErrWriteHex8(0x12345678);
        rtStdErrWrite(";", 1);
        rtStdErrWriteHex(0xdead);
        rtStdErrWrite(";", 1);
        rtStdErrWriteDecHex(3010);
        rtStdErrWrite(";", 1);
        rtStdErrWriteFlush("num:", 4);
        rtStdErrWriteMsgNum("rc=", 3, (uint32_t)-102);
        return 0;
    }
    if (!RTStrCmp(pszCmd, "lazy"))
        return probeLazy();
    if (!RTStrCmp(pszCmd, "planted"))
        return probePlanted();
    if (!RTStrCmp(pszCmd, "missing"))
    {
        stubLazyResolve(&g_StubLazyMsi, "NoSuchFunctionAtAll");
        return 0;
    }
    if (!RTStrCmp(pszCmd, "crash-direct"))
        return probeCrashDirect();
    if (!RTStrCmp(pszCmd, "crash"))
    {
        RTLogRelSetDefaultInstance(&g_StdoutLogger);
        int *volatile piBad = (int *)(uintptr_t)0x10;
        *piBad = 1;
        return 0;
    }
    outf("unknown probe '%s'\n", pszCmd);
    return 1;
}
