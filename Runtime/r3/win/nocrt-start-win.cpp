/*
 * Process entry for executables linked without the C runtime.
 *
 * Prepares the image (only the oldest NT needs that), seeds the stack
 * cookie, records the executable's path, runs the static initialisers, turns
 * the UTF-16 command line of the process parameters into a UTF-8 argument
 * vector with the Windows quoting rules, and calls ZelkMain.  Everything it
 * reports goes straight to the standard error handle: the runtime's streams
 * are not set up yet.  The command line copy and the vector are never freed;
 * they live as long as the process.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/init.h>
#include <zelk/stderr.h>
#include <zelk/utf.h>

#include "init-internal.h"
#include "path-internal.h"
#include "win.h"

#include <winternl.h>

/* Stack-protection value, seeded from the time-stamp counter before anything runs. */
uintptr_t g_uRTStackCookie = 0x2b992ddf;

typedef int (*PFNRTSTATICINITSTATUS)(void);
typedef void (*PFNRTSTATICINIT)(void);

/*
 * The linker sorts the .CRT$X* sections by name: initialisers returning a
 * status go in .CRT$XIB to .CRT$XIY, plain ones in .CRT$XCB to .CRT$XCY.
 * These empty slots bracket each table (and keep the sections alive when
 * unused sections are dropped).
 */
__attribute__((section(".CRT$XIA"), used)) PFNRTSTATICINITSTATUS g_apfnRTInitStatusStart[1]
    = { nullptr };
__attribute__((section(".CRT$XIZ"), used)) PFNRTSTATICINITSTATUS g_apfnRTInitStatusEnd[1]
    = { nullptr };
__attribute__((section(".CRT$XCA"), used)) PFNRTSTATICINIT g_apfnRTInitStart[1] = { nullptr };
__attribute__((section(".CRT$XCZ"), used)) PFNRTSTATICINIT g_apfnRTInitEnd[1] = { nullptr };
/* C++ constructors: a count (or -1) first, then the functions, a null last. */
extern "C" PFNRTSTATICINIT __CTOR_LIST__[];

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

typedef LONG(NTAPI *PFNNTPROTECTVIRTUALMEMORY)(HANDLE, PVOID *, PSIZE_T, ULONG, PULONG);

/*
 * NT 3.1 and 3.10 do not zero the part of a section between its file data
 * and its virtual size.  Later versions do; there is nothing to do there.
 */
void rtR3WinLegacyImageFixup(void)
{
    DWORD const uVer = GetVersion();
    if ((uVer & 0xff) != 3 || ((uVer >> 8) & 0xff) >= 50)
        return;

    PFNNTPROTECTVIRTUALMEMORY const pfnProtect = (PFNNTPROTECTVIRTUALMEMORY)(void *)GetProcAddress(
        GetModuleHandleW(L"ntdll.dll"), "NtProtectVirtualMemory");
    if (!pfnProtect)
        __builtin_trap();

    /*
     * The image starts at __ImageBase, but the symbol is declared as the DOS
     * header alone: hide where the pointer came from, or the compiler takes
     * the headers behind it for reads past a 64-byte object.
     */
    uint8_t *pbImage = (uint8_t *)&__ImageBase;
    __asm__("" : "+r"(pbImage));
    IMAGE_NT_HEADERS *const pNtHdrs = (IMAGE_NT_HEADERS *)(pbImage + __ImageBase.e_lfanew);
    IMAGE_SECTION_HEADER *paSections = IMAGE_FIRST_SECTION(pNtHdrs);
    for (unsigned i = 0; i < pNtHdrs->FileHeader.NumberOfSections; i++)
    {
        IMAGE_SECTION_HEADER const *pSect = &paSections[i];
        if (pSect->Misc.VirtualSize <= pSect->SizeOfRawData)
            continue;
        uint8_t *pbZero = pbImage + pSect->VirtualAddress + pSect->SizeOfRawData;
        SIZE_T cbZero = pSect->Misc.VirtualSize - pSect->SizeOfRawData;
        bool const fWritable = (pSect->Characteristics & IMAGE_SCN_MEM_WRITE) != 0;
        ULONG fOldProt = 0;
        PVOID pvProt = pbZero;
        SIZE_T cbProt = cbZero;
        if (!fWritable)
        {
            ULONG const fNewProt = pSect->Characteristics & IMAGE_SCN_MEM_EXECUTE
                                       ? PAGE_EXECUTE_READWRITE
                                       : PAGE_READWRITE;
            if (pfnProtect(GetCurrentProcess(), &pvProt, &cbProt, fNewProt, &fOldProt) < 0)
                __builtin_trap();
        }
        RTMemSet(pbZero, 0, cbZero);
        if (!fWritable)
        {
            ULONG fIgnored;
            pfnProtect(GetCurrentProcess(), &pvProt, &cbProt, fOldProt, &fIgnored);
        }
    }
}

/* Records the executable path for the whole process; a failure is reported and start-up goes on. */
void initProcExecPath(void)
{
    uint32_t const uNoWinErr = UINT32_MAX;
    uint32_t uWinErr = uNoWinErr;
    int const rc = rtProcInitExePath(&uWinErr);
    if (RT_SUCCESS(rc))
        return;
    if (uWinErr != uNoWinErr)
    {
        static const char s_szMsg[] = "initProcExecPath: GetModuleFileNameW failed: ";
        rtStdErrWrite(s_szMsg, sizeof(s_szMsg) - 1);
        rtStdErrWriteDecHex(uWinErr);
        rtStdErrWrite("\r\n", 2);
    }
    else
    {
        static const char s_szMsg[] = "initProcExecPath: RTUtf16ToUtf8Ex failed: ";
        rtStdErrWriteMsgNum(s_szMsg, sizeof(s_szMsg) - 1, (uint32_t)rc);
    }
}

void rtR3RunStaticInitialisers(void)
{
    for (PFNRTSTATICINITSTATUS *ppfn = g_apfnRTInitStatusStart; ppfn < g_apfnRTInitStatusEnd;
         ppfn++)
    {
        if (!*ppfn)
            continue;
        int const rc = (*ppfn)();
        if (rc != 0)
        {
            static const char s_szMsg[] = "A C static initializor failed (";
            rtStdErrWrite(s_szMsg, sizeof(s_szMsg) - 1);
            rtStdErrWriteDecHex((uint32_t)rc);
            rtStdErrWrite("\r\n", 2);
            RTR3ProcExit((uint32_t)rc, false);
        }
    }
    for (PFNRTSTATICINIT *ppfn = g_apfnRTInitStart; ppfn < g_apfnRTInitEnd; ppfn++)
        if (*ppfn)
            (*ppfn)();

    /* C++ constructors, last first as the compiler lays them out. */
    size_t cCtors = 0;
    while (__CTOR_LIST__[cCtors + 1])
        cCtors++;
    for (size_t i = cCtors; i > 0; i--)
        __CTOR_LIST__[i]();
}

} // namespace

extern "C" __attribute__((noreturn)) void __stdcall KestrelStart(void)
{
    PEB *const pPeb = (PEB *)rtR3WinCurrentPeb();
    rtR3WinLegacyImageFixup();
    g_uRTStackCookie ^= (uintptr_t)__builtin_ia32_rdtsc();
    initProcExecPath();
    rtR3RunStaticInitialisers();

    RTL_USER_PROCESS_PARAMETERS *const pParams = pPeb ? pPeb->ProcessParameters : nullptr;
    if (!pParams)
    {
        static const char s_szMsg[] = "No command line\r\n";
        rtStdErrWrite(s_szMsg, sizeof(s_szMsg) - 1);
        RTR3ProcExit(3, true);
    }

    char *pszCmdLine = nullptr;
    int rc = RTUtf16ToUtf8Ex((PCRTUTF16)pParams->CommandLine.Buffer,
                             pParams->CommandLine.Length / 2, &pszCmdLine, 0, nullptr,
                             "KestrelStart");
    if (RT_FAILURE(rc))
    {
        static const char s_szMsg[] = "Failed to convert command line to UTF-8: ";
        rtStdErrWriteMsgNum(s_szMsg, sizeof(s_szMsg) - 1, (uint32_t)rc);
        RTR3ProcExit(3, true);
    }

    char **papszArgs = nullptr;
    int cArgs = 0;
    rc = RTGetOptArgvFromString(&papszArgs, &cArgs, pszCmdLine,
                                RTGETOPTARGV_CNV_QUOTE_MS_CRT | RTGETOPTARGV_CNV_MODIFY_INPUT,
                                RTGETOPTARGV_WIN_CMDLINE_SEPARATORS);
    if (RT_FAILURE(rc))
    {
        static const char s_szMsg[] = "Error parsing command line: ";
        rtStdErrWriteMsgNum(s_szMsg, sizeof(s_szMsg) - 1, (uint32_t)rc);
        RTR3ProcExit(3, true);
    }

    rc = ZelkMain(cArgs, papszArgs, nullptr);
    RTR3ProcExit((uint32_t)rc, true);
}
