/*
 * Runtime initialisation on Windows: the version record and code, DLL search
 * hardening, the unhandled-exception filter, optional system functions, the
 * executable path, arguments and start time; and the socket functions, which
 * are looked up when first asked for.
 *
 * The first RTR3Init call does the work; later calls merge flags and check
 * the arguments.  The counters and flags change with locked operations so
 * that concurrent first calls initialise once.
 */
#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/ldr.h>
#include <zelk/log.h>
#include <zelk/once.h>
#include <zelk/stream.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "err-internal.h"
#include "init-internal.h"
#include "path-internal.h"
#include "win.h"

char g_szrtProcExePath[RTR3_EXEC_PATH_MAX];
size_t g_cchrtProcExePath;
size_t g_cchrtProcExeDir;
size_t g_offrtProcExeName;

int32_t volatile g_crtR3Users;
uint32_t volatile g_frtR3Initializing;
uint32_t volatile g_frtR3Terminating;
uint32_t g_frtR3InitFlags;
int g_crtR3Args = -1;
char **g_papszrtR3Args;
uint32_t g_uProcessId;
uint64_t g_u64ProgramStartNanoTS;

RTWINOSTYPE g_enmWinVer;
RTR3WINDLLHARDENING g_enmRTR3WinDllHardening = RTR3WINDLLHARDENING_NONE;

/* The extended version record of the system, 284 bytes. */
OSVERSIONINFOEXW g_WinOsInfoEx;
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the version record is 284 bytes");

/* The filter the runtime's own replaced, and the thread adopted as main. */
LPTOP_LEVEL_EXCEPTION_FILTER g_pfnrtR3WinUnhandledXcptFilter;
uint32_t g_idrtR3MainThread;

LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptPtrs);
typedef void(WINAPI *PFNGETCURRENTTHREADSTACKLIMITS)(PULONG_PTR, PULONG_PTR);
extern PFNGETCURRENTTHREADSTACKLIMITS g_pfnrtGetCurrentThreadStackLimits;

namespace {

typedef LONG(WINAPI *PFNRTLGETVERSION)(OSVERSIONINFOEXW *);
typedef BOOLEAN(WINAPI *PFNRTLGETNTPRODUCTTYPE)(int *);
typedef BOOL(WINAPI *PFNSETDLLDIRECTORYW)(LPCWSTR);
typedef BOOL(WINAPI *PFNSETDEFAULTDLLDIRECTORIES)(DWORD);
typedef LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI *PFNSETUNHANDLEDEXCEPTIONFILTER)(
    LPTOP_LEVEL_EXCEPTION_FILTER);

RTLDRBINDMOD g_rtR3BindWinSock = { "WS2_32.DLL", NIL_RTLDRMOD };
RTLDRBINDMOD g_rtR3BindWinSockOld = { "WSOCK32.DLL", NIL_RTLDRMOD };

/*
 * Optional functions: null when the system lacks them.  Each list is the
 * names one after another, each ended by its NUL, an empty name last; the
 * slots follow the names' order.
 */
constexpr size_t rtR3NameCount(const char *pszNames)
{
    size_t cNames = 0;
    for (; *pszNames; pszNames++)
        if (!pszNames[1])
        {
            cNames++;
            pszNames++;
        }
    return cNames;
}

constexpr char g_szKernel32Fns[]
    = "SystemTimeToTzSpecificLocalTime\0CreateWaitableTimerExW\0GetHandleInformation\0"
      "SetHandleInformation\0IsDebuggerPresent\0GetSystemTimeAsFileTime\0GetProcessAffinityMask\0"
      "SetThreadAffinityMask\0CreateIoCompletionPort\0GetQueuedCompletionStatus\0"
      "PostQueuedCompletionStatus\0IsProcessorFeaturePresent\0";
constexpr char g_szNtDllFns[] = "NtQueryFullAttributesFile\0NtDuplicateToken\0NtAlertThread\0";
constexpr char g_szWinSockFns[]
    = "WSAStartup\0WSACleanup\0WSAGetLastError\0WSASetLastError\0WSACreateEvent\0"
      "WSACloseEvent\0WSASetEvent\0WSAEventSelect\0WSAEnumNetworkEvents\0WSASocketW\0"
      "WSASend\0WSAIoctl\0socket\0closesocket\0recv\0send\0recvfrom\0sendto\0bind\0"
      "listen\0accept\0connect\0shutdown\0getsockopt\0setsockopt\0ioctlsocket\0"
      "getpeername\0getsockname\0__WSAFDIsSet\0select\0gethostbyname\0";
static_assert(rtR3NameCount(g_szKernel32Fns) == 12
                  && rtR3NameCount(g_szNtDllFns) == RTR3NTDLLFN_COUNT
                  && rtR3NameCount(g_szWinSockFns) == 31,
              "optional function lists");

void *g_apvKernel32Fns[rtR3NameCount(g_szKernel32Fns)];
void *g_apvWinSockFns[rtR3NameCount(g_szWinSockFns)];

void rtR3ResolveFns(RTLDRBINDMOD *pMod, const char *pszNames, void **papvFns)
{
    while (*pszNames)
    {
        *papvFns++ = RTLdrBindOptional(pMod, pszNames);
        while (*pszNames++)
        {
        }
    }
}

bool g_fOldWinSock;

/*
 * The socket library is loaded when a socket function is first asked for,
 * not at initialisation: it is large, brings further libraries with it, and
 * a program that never uses sockets (the installer) should not pay for it
 * at every start nor have it in the process at all.
 */
RTONCE g_WinSockOnce = RTONCE_INITIALIZER;

int rtR3InitWinSock(void *)
{
    /* The binder loads from the system directory, or finds the library already there. */
    void *pv;
    if (RT_SUCCESS(RTLdrBind(&g_rtR3BindWinSock, "WSAStartup", &pv)))
        rtR3ResolveFns(&g_rtR3BindWinSock, g_szWinSockFns, g_apvWinSockFns);
    else if (RT_SUCCESS(RTLdrBind(&g_rtR3BindWinSockOld, "WSAStartup", &pv)))
    {
        g_fOldWinSock = true;
        rtR3ResolveFns(&g_rtR3BindWinSockOld, g_szWinSockFns, g_apvWinSockFns);
    }
    return KINF_SUCCESS;
}

void rtR3QueryVersion(void)
{
    RTMemSet(&g_WinOsInfoEx, 0, sizeof(g_WinOsInfoEx));
    g_WinOsInfoEx.dwOSVersionInfoSize = sizeof(g_WinOsInfoEx);
    PFNRTLGETVERSION const pfnRtlGetVersion = (PFNRTLGETVERSION)RTLdrBindOptional(&g_RTLdrBindNtDll,
                                                                                  "RtlGetVersion");
    if (pfnRtlGetVersion && pfnRtlGetVersion(&g_WinOsInfoEx) == 0)
        return;

    RTMemSet(&g_WinOsInfoEx, 0, sizeof(g_WinOsInfoEx));
    g_WinOsInfoEx.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (!GetVersionExW((OSVERSIONINFOW *)&g_WinOsInfoEx))
    {
        g_WinOsInfoEx.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW((OSVERSIONINFOW *)&g_WinOsInfoEx))
        {
            DWORD const uVer = GetVersion();
            g_WinOsInfoEx.dwMajorVersion = uVer & 0xff;
            g_WinOsInfoEx.dwMinorVersion = (uVer >> 8) & 0xff;
            g_WinOsInfoEx.dwBuildNumber = uVer & 0x80000000 ? 511 : uVer >> 16;
            g_WinOsInfoEx.dwPlatformId = VER_PLATFORM_WIN32_NT;
        }
    }
    g_WinOsInfoEx.dwOSVersionInfoSize = sizeof(g_WinOsInfoEx);
    g_WinOsInfoEx.wProductType = VER_NT_WORKSTATION;
    PFNRTLGETNTPRODUCTTYPE const pfnGetType = (PFNRTLGETNTPRODUCTTYPE)RTLdrBindOptional(
        &g_RTLdrBindNtDll, "RtlGetNtProductType");
    int iType = 0;
    if (pfnGetType && pfnGetType(&iType))
        g_WinOsInfoEx.wProductType = (BYTE)iType;
}

} // namespace

/*
 * The one capture of the executable path.  Start-up runs it before any
 * static initialiser, so the path is there for everything after; a later
 * call (RTR3Init) finds it done, or tries again when start-up could not.
 */
int rtProcInitExePath(uint32_t *puWinErr)
{
    if (g_cchrtProcExePath)
        return KINF_SUCCESS;
    static wchar_t s_wszPath[RTPATH_MAX];
    DWORD const cwc = GetModuleFileNameW(nullptr, s_wszPath, RT_ELEMENTS(s_wszPath));
    if (cwc == 0 || cwc >= RT_ELEMENTS(s_wszPath))
    {
        /* A full buffer means a cut path, though the call reports success on older systems. */
        DWORD const uWinErr = cwc ? ERROR_INSUFFICIENT_BUFFER : GetLastError();
        if (puWinErr)
            *puWinErr = uWinErr;
        int const rc = RTErrConvertFromWin32(uWinErr);
        return RT_FAILURE(rc) ? rc : KERR_INTERNAL_ERROR;
    }
    char *psz = g_szrtProcExePath;
    size_t cch = 0;
    int const rc = RTUtf16ToUtf8Ex((PCRTUTF16)s_wszPath, cwc, &psz, sizeof(g_szrtProcExePath), &cch,
                                   "rtProcInitExePath");
    if (RT_FAILURE(rc))
    {
        g_szrtProcExePath[0] = '\0';
        return rc;
    }
    g_offrtProcExeName = rtPathNameOffset(psz, cch);
    g_cchrtProcExeDir = rtPathExecDirLength(psz, g_offrtProcExeName);
    g_cchrtProcExePath = cch;
    return KINF_SUCCESS;
}

namespace {

void rtR3LogRelAssert(const char *pszFunction, const char *pszExpr, const char *pszFormat, int rc)
{
    rtErrLogRel("AssertLogRel %s(%d) %s: %s\n", __FILE__, __LINE__, pszFunction, pszExpr);
    rtErrLogRel(pszFormat, rc);
}

void rtR3ExitCleanup(void)
{
    __atomic_exchange_n(&g_frtR3Terminating, 1u, __ATOMIC_SEQ_CST);
    if (g_crtR3Users > 0)
    {
        RTLogFlush(RTLogDefaultInstance());
        RTLogFlush(RTLogRelGetDefaultInstance());
    }
    rtStrmTerm();
}

uint64_t rtR3NanoTS(void)
{
    LARGE_INTEGER Freq, Now;
    if (!QueryPerformanceFrequency(&Freq) || !QueryPerformanceCounter(&Now) || Freq.QuadPart <= 0)
        return (uint64_t)GetTickCount() * 1000000;
    uint64_t const uSecs = (uint64_t)Now.QuadPart / (uint64_t)Freq.QuadPart;
    uint64_t const uRem = (uint64_t)Now.QuadPart % (uint64_t)Freq.QuadPart;
    return uSecs * 1000000000 + uRem * 1000000000 / (uint64_t)Freq.QuadPart;
}

} // namespace

int rtR3WinHardenDllSearch(uint32_t fFlags)
{
    int rc = KINF_SUCCESS;
    UINT const fOldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetErrorMode(fOldMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    PFNSETDLLDIRECTORYW const pfnSetDllDirectoryW = (PFNSETDLLDIRECTORYW)RTLdrBindOptional(
        &g_RTLdrBindKernel32, "SetDllDirectoryW");
    if (pfnSetDllDirectoryW)
    {
        if (pfnSetDllDirectoryW(L""))
            g_enmRTR3WinDllHardening = RTR3WINDLLHARDENING_NO_CWD;
        else
            rc = KERR_INTERNAL_ERROR_3;
    }

    if (g_enmWinVer >= RTWINOSTYPE_2008 || (fFlags & RTR3INIT_FLAGS_SYSTEM32_ONLY))
    {
        PFNSETDEFAULTDLLDIRECTORIES const pfnSetDefaultDllDirectories
            = (PFNSETDEFAULTDLLDIRECTORIES)RTLdrBindOptional(&g_RTLdrBindKernel32,
                                                             "SetDefaultDllDirectories");
        if (pfnSetDefaultDllDirectories)
        {
            bool const fSystem32Only = (fFlags & RTR3INIT_FLAGS_SYSTEM32_ONLY) != 0;
            DWORD const fDirs = fSystem32Only ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                              : LOAD_LIBRARY_SEARCH_SYSTEM32
                                                    | LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
            if (pfnSetDefaultDllDirectories(fDirs))
                g_enmRTR3WinDllHardening = fSystem32Only ? RTR3WINDLLHARDENING_SYSTEM_DIR_ONLY
                                                         : RTR3WINDLLHARDENING_SYSTEM_AND_APP_DIR;
            else if (RT_SUCCESS(rc))
                rc = KERR_INTERNAL_ERROR_4;
        }
    }

    g_pfnrtGetCurrentThreadStackLimits = (PFNGETCURRENTTHREADSTACKLIMITS)RTLdrBindOptional(
        &g_RTLdrBindKernel32, "GetCurrentThreadStackLimits");
    RTLdrBindOptional(&g_RTLdrBindKernel32, "UnhandledExceptionFilter");
    PFNSETUNHANDLEDEXCEPTIONFILTER const pfnSetFilter = (PFNSETUNHANDLEDEXCEPTIONFILTER)
        RTLdrBindOptional(&g_RTLdrBindKernel32, "SetUnhandledExceptionFilter");
    if (pfnSetFilter && !g_pfnrtR3WinUnhandledXcptFilter)
    {
        LPTOP_LEVEL_EXCEPTION_FILTER const pfnOld = pfnSetFilter(rtR3WinUnhandledXcptFilter);
        if (pfnOld != rtR3WinUnhandledXcptFilter)
            g_pfnrtR3WinUnhandledXcptFilter = pfnOld;
    }
    return rc;
}

void *g_apvrtR3NtDllFns[RTR3NTDLLFN_COUNT];

namespace {

int rtR3InitNativeFirst(uint32_t fFlags)
{
    /* Mapped from the system directory before the program runs: the binder's first records. */
    g_RTLdrBindKernel32.hMod = (RTLDRMOD)GetModuleHandleW(L"kernel32.dll");
    g_RTLdrBindNtDll.hMod = (RTLDRMOD)GetModuleHandleW(L"ntdll.dll");
    if (!g_RTLdrBindKernel32.hMod || !g_RTLdrBindNtDll.hMod)
        return KERR_INTERNAL_ERROR_2;

    rtR3QueryVersion();
    g_enmWinVer = rtR3WinVersionCodeFrom(g_WinOsInfoEx.dwPlatformId, g_WinOsInfoEx.dwMajorVersion,
                                         g_WinOsInfoEx.dwMinorVersion, g_WinOsInfoEx.dwBuildNumber,
                                         g_WinOsInfoEx.wProductType);

    int rc = KINF_SUCCESS;
    if (!(fFlags & RTR3INIT_FLAGS_DEFER_HARDENING))
        rc = rtR3WinHardenDllSearch(fFlags);

    rtR3ResolveFns(&g_RTLdrBindKernel32, g_szKernel32Fns, g_apvKernel32Fns);
    rtR3ResolveFns(&g_RTLdrBindNtDll, g_szNtDllFns, g_apvrtR3NtDllFns);
    return rc;
}

/* The program path parameter is for systems that cannot ask for it; Windows can. */
int rtR3InitBody(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char * /* pszProgramPath */)
{
    int rc = rtR3InitNativeFirst(fFlags);
    if (RT_FAILURE(rc))
        return rc;

    g_uProcessId = GetCurrentProcessId();
    g_frtR3InitFlags |= fFlags;
    g_idrtR3MainThread = GetCurrentThreadId(); /* the installer runs on this thread alone */

    static const char s_szFunction[]
        = "int __cdecl rtR3InitBody(unsigned int,int,char ***,const char *)";
    rc = rtProcInitExePath();
    if (RT_FAILURE(rc))
    {
        rtR3LogRelAssert(s_szFunction, "RT_SUCCESS_NP(rc)",
                         "Failed to get executable directory path, rc=%Rrc!\n", rc);
        return rc;
    }

    if (cArgs >= 0 && ppapszArgs)
    {
        if (g_crtR3Args == -1)
        {
            g_crtR3Args = cArgs;
            g_papszrtR3Args = *ppapszArgs;
        }
        else if (g_crtR3Args != cArgs || g_papszrtR3Args != *ppapszArgs)
        {
            rtR3LogRelAssert(s_szFunction, "RT_SUCCESS_NP(rc)",
                             "Failed to convert the arguments, rc=%Rrc!\n", KERR_WRONG_ORDER);
            return KERR_WRONG_ORDER;
        }
    }

    g_u64ProgramStartNanoTS = rtR3NanoTS();
    rc = RTR3AtExit(rtR3ExitCleanup);
    return rc;
}

} // namespace

int RTR3Init(int *pcArgs, char ***ppapszArgs, uint32_t fFlags)
{
    int const cArgs = pcArgs ? *pcArgs : -1;
    if (__atomic_fetch_add(&g_crtR3Users, 1, __ATOMIC_SEQ_CST) != 0)
    {
        g_frtR3InitFlags |= RTR3INIT_FLAGS_REPEATED;
        if ((g_frtR3InitFlags & RTR3INIT_FLAGS_DEFER_HARDENING)
            && !(fFlags & RTR3INIT_FLAGS_DEFER_HARDENING))
        {
            g_frtR3InitFlags &= ~RTR3INIT_FLAGS_DEFER_HARDENING;
            g_frtR3InitFlags |= fFlags & RTR3INIT_FLAGS_SYSTEM32_ONLY;
            rtR3WinHardenDllSearch(g_frtR3InitFlags);
        }
        if (cArgs >= 0 && ppapszArgs)
        {
            if (g_crtR3Args != -1)
            {
                if (g_crtR3Args != cArgs || g_papszrtR3Args != *ppapszArgs)
                    return KERR_WRONG_ORDER;
            }
            else
            {
                g_crtR3Args = cArgs;
                g_papszrtR3Args = *ppapszArgs;
            }
        }
        return KINF_SUCCESS;
    }

    __atomic_exchange_n(&g_frtR3Initializing, 1u, __ATOMIC_SEQ_CST);
    int const rc = rtR3InitBody(fFlags, cArgs, ppapszArgs, nullptr);
    __atomic_exchange_n(&g_frtR3Initializing, 0u, __ATOMIC_SEQ_CST);
    if (RT_FAILURE(rc))
        __atomic_fetch_sub(&g_crtR3Users, 1, __ATOMIC_SEQ_CST);
    return rc;
}

void *rtR3WinSockGetFn(const char *pszName)
{
    RTOnce(&g_WinSockOnce, rtR3InitWinSock, nullptr);
    size_t iFn = 0;
    for (const char *psz = g_szWinSockFns; *psz; psz += RTStrLen(psz) + 1, iFn++)
        if (!RTStrCmp(psz, pszName))
            return g_apvWinSockFns[iFn];
    return nullptr;
}

const char *RTProcExecPath(void)
{
    return g_szrtProcExePath;
}

size_t RTProcExecNameOffset(void)
{
    return g_offrtProcExeName;
}
