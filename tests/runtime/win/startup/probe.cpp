/*
 * Start-up probe: a program linked like the installer (runtime entry, no C
 * runtime) whose first argument picks what it shows.  The test script runs
 * it under Wine and checks its output and exit code.
 */
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/format.h>
#include <zelk/getopt.h>
#include <zelk/init.h>
#include <zelk/log.h>
#include <zelk/stderr.h>
#include <zelk/stream.h>
#include <zelk/string.h>

#include "QornStubLazy.h"

#include <commctrl.h>
#include "init-internal.h"

LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptPtrs);
extern LPTOP_LEVEL_EXCEPTION_FILTER g_pfnrtR3WinUnhandledXcptFilter;
extern "C" IMAGE_DOS_HEADER __ImageBase;

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

template <typename T>
bool isBound(T pfnSlot, T pfnBinder)
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
    outf("CommandLineToArgvW bound: %RTbool\n", isBound(StubLazySlot_CommandLineToArgvW::s_pfnSlot,
                                                        &StubLazySlot_CommandLineToArgvW::bind));
    outf("shell32 table loaded: %RTbool\n", g_StubLazyShell32.hMod != NIL_RTLDRMOD);
    outf("user32 in process: %RTbool\n", GetModuleHandleW(L"user32.dll") != nullptr);
    return 0;
}

/* The runtime's socket functions: the library comes with the first request, once. */
int probeWinSock(void)
{
    outf("ws2_32 after RTR3Init: %RTbool\n", GetModuleHandleW(L"ws2_32.dll") != nullptr);
    void *const pvGet = rtR3WinSockGetFn("WSAGetLastError");
    HMODULE const hWs2 = GetModuleHandleW(L"ws2_32.dll");
    outf("ws2_32 after the first request: %RTbool\n", hWs2 != nullptr);
    outf("WSAGetLastError is the library's: %RTbool\n",
         pvGet && pvGet == (void *)GetProcAddress(hWs2, "WSAGetLastError"));
    outf("gethostbyname is the library's: %RTbool\n",
         rtR3WinSockGetFn("gethostbyname") == (void *)GetProcAddress(hWs2, "gethostbyname"));
    outf("a name not on the list: %p\n", rtR3WinSockGetFn("WSAGetLastErrorX"));
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
    STUBLAZYMOD *const apMods[] = { &g_StubLazyMsi, &g_StubLazyUser32, &g_StubLazyCrypt32,
                                    &g_StubLazyShell32 };
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
    Rec.ExceptionAddress = (void *)((uintptr_t)&__ImageBase + 0x1234); /* inside the probe */
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

uint64_t fileSize(const char *pszPath)
{
    RTFILE hFile;
    if (RT_FAILURE(
            RTFileOpenPath(&hFile, pszPath, RTFILE_O_READ | RTFILE_O_OPEN | RTFILE_O_DENY_NONE)))
        return UINT64_MAX;
    uint64_t cb = UINT64_MAX;
    RTFileGetLength(hFile, &cb);
    RTFileClose(hFile);
    return cb;
}

uint64_t stdoutSize(void)
{
    LARGE_INTEGER cb;
    return GetFileSizeEx(GetStdHandle(STD_OUTPUT_HANDLE), &cb) ? (uint64_t)cb.QuadPart : UINT64_MAX;
}

/* Message lines and option errors; the script compares both streams. */
int probeMessages(void)
{
    RTMsgPrintError("a\n\nb");
    RTMsgPrintError("one line\n");
    RTMsgPrintError("%s and %Rrc", "text", KERR_FILE_NOT_FOUND);
    RTMsgPrintInfo("");
    RTMsgPrintInfo("info %d\nsecond", 42);
    RTMsgReportInitFailure(KERR_WRONG_ORDER);

    static const RTOPTIONDEF s_Def = { "--path", 'p', RTGETOPT_REQ_STRING };
    RTOPTIONVALUE Value;
    Value.psz = "stray";
    RTGetOptPrintError(KINF_OPT_NOT_AN_OPTION, &Value);
    RTGetOptPrintError('x', &Value);
    RTGetOptPrintError(300, &Value);
    Value.psz = "--bogus";
    RTGetOptPrintError(KERR_OPT_UNKNOWN, &Value);
    Value.pDef = &s_Def;
    RTGetOptPrintError(KERR_OPT_BAD_VALUE_FORMAT, &Value);
    RTGetOptPrintError(KERR_OPT_VALUE_MISSING, &Value);
    Value.pDef = nullptr;
    outf("returns %d\n", RTGetOptPrintError(KERR_OPT_VALUE_MISSING, &Value));
    return 0;
}

/* Streams on files: newline conversion, buffering, mode errors, sticky errors. */
int probeStreams(const char *pszDir)
{
    char szText[512], szBinary[512], szLine[512];
    RTStrFmtToBuf(szText, sizeof(szText), "%s\\text.txt", pszDir);
    RTStrFmtToBuf(szBinary, sizeof(szBinary), "%s\\binary.bin", pszDir);
    RTStrFmtToBuf(szLine, sizeof(szLine), "%s\\line.txt", pszDir);

    PRTSTREAM pText = nullptr, pBinary = nullptr, pLine = nullptr, pBad = nullptr;
    outf("open w: %Rrc\n", RTStrmOpenFile(szText, "w", &pText));
    outf("open wb: %Rrc\n", RTStrmOpenFile(szBinary, "wb", &pBinary));
    RTStrmFmt(pText, "x\ny");
    RTStrmFmt(pBinary, "x\ny");

    outf("open a: %Rrc\n", RTStrmOpenFile(szLine, "a", &pLine));
    outf("line buffering: %Rrc\n", RTStrmSetBuffering(pLine, RTSTRMBUFMODE_LINE));
    RTStrmFmt(pLine, "abc");
    outf("line size before newline: %RU64\n", fileSize(szLine));
    RTStrmFmt(pLine, "\nde");
    outf("line size after newline: %RU64\n", fileSize(szLine));

    const char *apszBadModes[] = { "q", "", "rx", "+", "wbz" };
    for (const char *pszMode : apszBadModes)
        outf("mode '%s': %Rrc\n", pszMode, RTStrmOpenFile(szLine, pszMode, &pBad));
    outf("buffering 4: %Rrc\n", RTStrmSetBuffering(pLine, 4));
    outf("buffering of a bad stream: %Rrc\n", RTStrmSetBuffering((PRTSTREAM)(uintptr_t)16, 1));
    outf("format to a bad stream: %d\n", (int)RTStrmFmt((PRTSTREAM)(uintptr_t)16, "x"));

    /* Writing to a stream opened for reading fails once and then refuses. */
    PRTSTREAM pReadOnly = nullptr;
    outf("open r: %Rrc\n", RTStrmOpenFile(szBinary, "r", &pReadOnly));
    RTStrmSetBuffering(pReadOnly, RTSTRMBUFMODE_UNBUFFERED);
    RTStrmFmt(pReadOnly, "boom");
    outf("sticky status: %Rrc\n", RTStrmError(pReadOnly));
    outf("next write: %d\n", (int)RTStrmFmt(pReadOnly, "again"));

    /* Redirected standard output: flushed at the first newline, then fully buffered. */
    RTStdOutFmt("first\n");
    uint64_t const cbAfterFirst = stdoutSize();
    RTStdOutFmt("second\n");
    uint64_t const cbAfterSecond = stdoutSize();
    RTStrmFmt(g_pStdErr, "stdout after first line: %RU64, after second: %RU64\n", cbAfterFirst,
              cbAfterSecond);
    return 0; /* termination flushes and closes everything */
}

} // namespace

extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv)
{
    (void)papszEnv;
    RTLogInit(&g_StdoutLogger, stdoutSink, nullptr);
    const char *pszCmd = cArgs > 1 ? papszArgs[1] : "";

    if (!RTStrCmp(pszCmd, "crash"))
        SetUnhandledExceptionFilter(probePreviousFilter);
    /* Start-up records the executable path; RTR3Init only finds it there. */
    char szNameAtStart[260] = "";
    RTStrCopyInto(szNameAtStart, sizeof(szNameAtStart), RTProcExecPath() + RTProcExecNameOffset());
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
        outf("again, same arguments: %Rrc\n",
             RTR3Init(&cArgs, &papszArgs, RTR3INIT_FLAGS_SYSTEM32_ONLY));
        char *apszOther[] = { papszArgs[0], nullptr };
        char **papszOther = apszOther;
        int cOther = 1;
        outf("again, other arguments: %Rrc\n", RTR3Init(&cOther, &papszOther, 0));
        outf("again, no arguments: %Rrc\n", RTR3Init(nullptr, nullptr, 0));
        outf("hardening: system directory only: %RTbool\n",
             g_enmRTR3WinDllHardening == RTR3WINDLLHARDENING_SYSTEM_DIR_ONLY);
        outf("flags repeated and system32 only: %RTbool\n",
             g_frtR3InitFlags == (RTR3INIT_FLAGS_REPEATED | RTR3INIT_FLAGS_SYSTEM32_ONLY));
        outf("version newer than NT 3.1: %RTbool\n", g_enmWinVer > RTWINOSTYPE_NT310);
        outf("exe name: %s\n", RTProcExecPath() + RTProcExecNameOffset());
        outf("exe name before RTR3Init: %s\n", szNameAtStart);
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
    if (!RTStrCmp(pszCmd, "messages"))
        return probeMessages();
    if (!RTStrCmp(pszCmd, "streams") && cArgs > 2)
        return probeStreams(papszArgs[2]);
    if (!RTStrCmp(pszCmd, "comctl32"))
    {
        outf("comctl32 before: %RTbool\n", GetModuleHandleW(L"comctl32.dll") != nullptr);
        INITCOMMONCONTROLSEX Icc = { sizeof(Icc), ICC_PROGRESS_CLASS };
        outf("InitCommonControlsEx: %RTbool\n", InitCommonControlsEx(&Icc) != FALSE);
        outf("again: %RTbool\n", InitCommonControlsEx(&Icc) != FALSE);
        wchar_t wszPath[MAX_PATH];
        DWORD const cwc = GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), wszPath, MAX_PATH);
        outf("comctl32 after: %.*ls\n", (int)cwc, wszPath);
        return 0;
    }
    if (!RTStrCmp(pszCmd, "lazy"))
        return probeLazy();
    if (!RTStrCmp(pszCmd, "planted"))
        return probePlanted();
    if (!RTStrCmp(pszCmd, "winsock"))
        return probeWinSock();
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
