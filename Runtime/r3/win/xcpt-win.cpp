/*
 * The unhandled-exception report: when an exception reaches the top of a
 * thread, write a post-mortem to the release (else the default) logger, then
 * hand the exception to the filter that was installed before.
 *
 * Everything read here comes from records that may be damaged; every pointer
 * is checked before it is followed and unusable parts are left out.
 */
#include <zelk/log.h>

#include "init-internal.h"
#include "ptr-internal.h"
#include "win.h"

#include <winternl.h>

extern LPTOP_LEVEL_EXCEPTION_FILTER g_pfnrtR3WinUnhandledXcptFilter;

typedef void(WINAPI *PFNGETCURRENTTHREADSTACKLIMITS)(PULONG_PTR, PULONG_PTR);
PFNGETCURRENTTHREADSTACKLIMITS g_pfnrtGetCurrentThreadStackLimits;

namespace {

/* The loader's module record (the layout the loader has had since NT 3.1). */
struct RTLDRMODENTRY
{
    LIST_ENTRY InLoadOrderLinks;
    LIST_ENTRY InMemoryOrderLinks;
    LIST_ENTRY InInitializationOrderLinks;
    void *DllBase;
    void *EntryPoint;
    ULONG SizeOfImage;
    UNICODE_STRING FullDllName;
    UNICODE_STRING BaseDllName;
    ULONG Flags;
    USHORT LoadCount;
    USHORT TlsIndex;
    LIST_ENTRY HashLinks;
    ULONG TimeDateStamp;
};

inline bool rtIsUsablePtr(const void *pv)
{
    return !rtIsBadPtr(pv);
}

/* The path is printable: a usable buffer, even byte length 1..0x1FFE within its maximum. */
inline bool rtIsUsablePath(const UNICODE_STRING *pStr)
{
    return rtIsUsablePtr(pStr->Buffer) && pStr->Length != 0 && pStr->Length <= 0x1ffe
           && !(pStr->Length & 1) && pStr->Length <= pStr->MaximumLength;
}

uint32_t g_idProcessCached;

const uint32_t g_cMaxModules = 1024;

RTLDRMODENTRY *rtModFromLink(LIST_ENTRY *pLink)
{
    return (RTLDRMODENTRY *)((uint8_t *)pLink - offsetof(RTLDRMODENTRY, InMemoryOrderLinks));
}

/*
 * The rest of a "label: value - offset into module" line.  Always inlined: in
 * a program without a logger the whole report is dead code, and an
 * out-of-line copy of this one (it has two callers) would stay behind.
 */
inline __attribute__((always_inline)) void rtLogModuleRef(PRTLOGGER pLogger, uintptr_t uValue, RTLDRMODENTRY *pMod)
{
    uint32_t const offInto = (uint32_t)(uValue - (uintptr_t)pMod->DllBase);
    if (rtIsUsablePath(&pMod->FullDllName))
        RTLogLogger(pLogger, "%p - %#010RX32 bytes into %.*ls\n", (void *)uValue, offInto,
                    (int)(pMod->FullDllName.Length / 2), pMod->FullDllName.Buffer);
    else
        RTLogLogger(pLogger, "%p - %08RX32 into module at %p\n", (void *)uValue, offInto,
                    pMod->DllBase);
}

/* What the sections of one report pass on to the next. */
struct RTXCPTREPORT
{
    PRTLOGGER pLogger;
    /* The exception PC: the record's address, the nested record's, then the context's. */
    uintptr_t uXcptPC;
    PCONTEXT pCtx;
    /* The context's stack pointer, else the marker's address. */
    uintptr_t uStackTop;
    /* The dumped stack range. */
    uintptr_t uStart;
    size_t cbDump;
};

void rtXcptLogRecords(RTXCPTREPORT *pReport, EXCEPTION_POINTERS *pXcptPtrs)
{
    PRTLOGGER const pLogger = pReport->pLogger;
    if (!rtIsUsablePtr(pXcptPtrs))
        return;
    if (rtIsUsablePtr(pXcptPtrs->ExceptionRecord))
    {
        EXCEPTION_RECORD const *pRec = pXcptPtrs->ExceptionRecord;
        RTLogLogger(pLogger, "\nExceptionCode=%#010x ExceptionFlags=%#010x ExceptionAddress=%p\n",
                    (unsigned)pRec->ExceptionCode, (unsigned)pRec->ExceptionFlags,
                    pRec->ExceptionAddress);
        pReport->uXcptPC = (uintptr_t)pRec->ExceptionAddress;
        DWORD const cParams = pRec->NumberParameters < 15 ? pRec->NumberParameters : 15;
        for (DWORD i = 0; i < cParams; i++)
            RTLogLogger(pLogger, "ExceptionInformation[%d]=%p\n", (int)i,
                        (void *)pRec->ExceptionInformation[i]);
        EXCEPTION_RECORD const *pNested = pRec->ExceptionRecord;
        if (rtIsUsablePtr(pNested))
        {
            RTLogLogger(pLogger,
                        "Nested: ExceptionCode=%#010x ExceptionFlags=%#010x ExceptionAddress=%p "
                        "(nested %p)\n",
                        (unsigned)pNested->ExceptionCode, (unsigned)pNested->ExceptionFlags,
                        pNested->ExceptionAddress, (void *)pNested->ExceptionRecord);
            DWORD const cNested = pNested->NumberParameters < 15 ? pNested->NumberParameters : 15;
            for (DWORD i = 0; i < cNested; i++)
                RTLogLogger(pLogger, "Nested: ExceptionInformation[%d]=%p\n", (int)i,
                            (void *)pNested->ExceptionInformation[i]);
            pReport->uXcptPC = (uintptr_t)pNested->ExceptionAddress;
        }
    }
    if (rtIsUsablePtr(pXcptPtrs->ContextRecord))
        pReport->pCtx = pXcptPtrs->ContextRecord;
}

/* The register lines of the context, in the processor's own names. */
void rtXcptLogRegisters(RTXCPTREPORT *pReport)
{
    PRTLOGGER const pLogger = pReport->pLogger;
    PCONTEXT const pCtx = pReport->pCtx;
#if defined(__i386__)
    RTLogLogger(pLogger, "\ncs:eip=%04x:%08RX32\n", (unsigned)pCtx->SegCs, (uint32_t)pCtx->Eip);
    RTLogLogger(pLogger, "ss:esp=%04x:%08RX32 ebp=%08RX32\n", (unsigned)pCtx->SegSs,
                (uint32_t)pCtx->Esp, (uint32_t)pCtx->Ebp);
    RTLogLogger(pLogger, "eax=%08RX32 ecx=%08RX32 edx=%08RX32 ebx=%08RX32\n", (uint32_t)pCtx->Eax,
                (uint32_t)pCtx->Ecx, (uint32_t)pCtx->Edx, (uint32_t)pCtx->Ebx);
    RTLogLogger(pLogger, "esi=%08RX32 edi=%08RX32 esp=%08RX32 ebp=%08RX32\n", (uint32_t)pCtx->Esi,
                (uint32_t)pCtx->Edi, (uint32_t)pCtx->Esp, (uint32_t)pCtx->Ebp);
    pReport->uXcptPC = pCtx->Eip;
    pReport->uStackTop = pCtx->Esp;
#elif defined(__x86_64__)
    RTLogLogger(pLogger, "\ncs:rip=%04x:%016RX64\n", (unsigned)pCtx->SegCs, (uint64_t)pCtx->Rip);
    RTLogLogger(pLogger, "ss:rsp=%04x:%016RX64 rbp=%016RX64\n", (unsigned)pCtx->SegSs,
                (uint64_t)pCtx->Rsp, (uint64_t)pCtx->Rbp);
    RTLogLogger(pLogger, "rax=%016RX64 rcx=%016RX64 rdx=%016RX64 rbx=%016RX64\n",
                (uint64_t)pCtx->Rax, (uint64_t)pCtx->Rcx, (uint64_t)pCtx->Rdx, (uint64_t)pCtx->Rbx);
    RTLogLogger(pLogger, "rsi=%016RX64 rdi=%016RX64 rsp=%016RX64 rbp=%016RX64\n",
                (uint64_t)pCtx->Rsi, (uint64_t)pCtx->Rdi, (uint64_t)pCtx->Rsp, (uint64_t)pCtx->Rbp);
    RTLogLogger(pLogger, "r8 =%016RX64 r9 =%016RX64 r10=%016RX64 r11=%016RX64\n",
                (uint64_t)pCtx->R8, (uint64_t)pCtx->R9, (uint64_t)pCtx->R10, (uint64_t)pCtx->R11);
    RTLogLogger(pLogger, "r12=%016RX64 r13=%016RX64 r14=%016RX64 r15=%016RX64\n",
                (uint64_t)pCtx->R12, (uint64_t)pCtx->R13, (uint64_t)pCtx->R14, (uint64_t)pCtx->R15);
    pReport->uXcptPC = pCtx->Rip;
    pReport->uStackTop = pCtx->Rsp;
#else
# error "No register report for this processor"
#endif
    RTLogLogger(pLogger, "ds=%04x es=%04x fs=%04x gs=%04x eflags=%08x\n", (unsigned)pCtx->SegDs,
                (unsigned)pCtx->SegEs, (unsigned)pCtx->SegFs, (unsigned)pCtx->SegGs,
                (unsigned)pCtx->EFlags);
}

/* The stack from the marker up, to the top of the stack when that is near; then the thread. */
void rtXcptLogStack(RTXCPTREPORT *pReport, volatile char *pchMarker)
{
    PRTLOGGER const pLogger = pReport->pLogger;
    uintptr_t const uStart = (uintptr_t)pchMarker & ~(uintptr_t)15;
    size_t const cbPage = 4096;
    size_t cbDump = cbPage - (uStart & (cbPage - 1));
    if (cbDump < 512)
        cbDump += cbPage;
    while (pReport->uStackTop >= uStart + cbDump && pReport->uStackTop - uStart <= 0x4000)
        cbDump += cbPage;
    ULONG_PTR uLow = (ULONG_PTR)pchMarker;
    ULONG_PTR uHigh = uLow;
    if (g_pfnrtGetCurrentThreadStackLimits)
    {
        g_pfnrtGetCurrentThreadStackLimits(&uLow, &uHigh);
        ULONG_PTR const uTop = uLow > uHigh ? uLow : uHigh;
        if (uTop > uStart && uTop - uStart < 0x100000)
            cbDump = uTop - uStart;
    }
    RTLogLogger(pLogger, "\nStack %p, dumping %#x bytes (low=%p, high=%p)\n", (void *)uStart,
                (unsigned)cbDump, (void *)uLow, (void *)uHigh);
    RTLogLogger(pLogger, "%.*RhxD\n", (int)cbDump, (void *)uStart);
    pReport->uStart = uStart;
    pReport->cbDump = cbDump;

    RTLogLogger(pLogger, "Thread ID:   %p\n", (void *)(uintptr_t)GetCurrentThreadId());
    RTLogLogger(pLogger, "Thread name: %s\n", (const char *)nullptr);
    RTLogLogger(pLogger, "Thread ZELK: %p\n", (void *)nullptr);
}

/*
 * The loaded modules, the one holding the exception PC marked.  Returns that
 * module (the last one found) and whether the list was walked to its end.
 */
bool rtXcptLogModules(RTXCPTREPORT *pReport, LIST_ENTRY *pHead, RTLDRMODENTRY **ppXcptMod)
{
    PRTLOGGER const pLogger = pReport->pLogger;
    RTLogLogger(pLogger, "\nLoaded Modules:\n%-*s[*] Timestamp Path\n", 17, "Address range");
    uint32_t cModules = 0;
    for (LIST_ENTRY *pLink = pHead->Flink;
         rtIsUsablePtr(pLink) && pLink != pHead && cModules < g_cMaxModules;
         pLink = pLink->Flink, cModules++)
    {
        RTLDRMODENTRY *pMod = rtModFromLink(pLink);
        uintptr_t const uBase = (uintptr_t)pMod->DllBase;
        bool const fHit = pReport->uXcptPC - uBase < pMod->SizeOfImage;
        if (fHit)
            *ppXcptMod = pMod;
        if (rtIsUsablePath(&pMod->FullDllName))
            RTLogLogger(pLogger, "%p..%p%c  %08RX32  %.*ls\n", pMod->DllBase,
                        (void *)(uBase + pMod->SizeOfImage - 1), fHit ? '*' : ' ',
                        (uint32_t)pMod->TimeDateStamp, (int)(pMod->FullDllName.Length / 2),
                        pMod->FullDllName.Buffer);
        else
            RTLogLogger(pLogger, "%p..%p%c  %08RX32  <bad or missing: %p LB %#x max %#x\n",
                        pMod->DllBase, (void *)(uBase + pMod->SizeOfImage - 1), fHit ? '*' : ' ',
                        (uint32_t)pMod->TimeDateStamp, pMod->FullDllName.Buffer,
                        (unsigned)pMod->FullDllName.Length,
                        (unsigned)pMod->FullDllName.MaximumLength);
    }
    return cModules < g_cMaxModules;
}

/*
 * The exception PC and every pointer-sized word from the stack top to the end
 * of the dump that points into a module (the first one in list order).
 */
void rtXcptLogCodeAddresses(RTXCPTREPORT *pReport, LIST_ENTRY *pHead, RTLDRMODENTRY *pXcptMod)
{
    PRTLOGGER const pLogger = pReport->pLogger;
    uintptr_t const uEnd = pReport->uStart + pReport->cbDump;
    if (pReport->uStackTop < pReport->uStart || pReport->uStackTop >= uEnd)
        return;
    RTLogLogger(pLogger, "\nPotential code addresses on the stack:\n");
    if (pXcptMod)
    {
        RTLogLogger(pLogger, "%-*s: ", 8, "Xcpt PC");
        rtLogModuleRef(pLogger, pReport->uXcptPC, pXcptMod);
    }
    size_t const cbWord = sizeof(uintptr_t);
    for (uintptr_t uAddr = pReport->uStackTop & ~(uintptr_t)(cbWord - 1); uAddr + cbWord <= uEnd;
         uAddr += cbWord)
    {
        uintptr_t const uValue = *(volatile uintptr_t *)uAddr;
        if (!rtIsUsablePtr((void *)uValue))
            continue;
        uint32_t cTried = 0;
        for (LIST_ENTRY *pLink = pHead->Flink;
             rtIsUsablePtr(pLink) && pLink != pHead && cTried < g_cMaxModules;
             pLink = pLink->Flink, cTried++)
        {
            RTLDRMODENTRY *pMod = rtModFromLink(pLink);
            if (uValue - (uintptr_t)pMod->DllBase < pMod->SizeOfImage)
            {
                RTLogLogger(pLogger, "%p: ", (void *)uAddr);
                rtLogModuleRef(pLogger, uValue, pMod);
                break;
            }
        }
    }
}

void rtXcptLogCommandLine(RTXCPTREPORT *pReport, PEB *pPeb)
{
    RTL_USER_PROCESS_PARAMETERS *const pParams = pPeb->ProcessParameters;
    if (rtIsUsablePtr(pParams) && rtIsUsablePtr(pParams->CommandLine.Buffer)
        && pParams->CommandLine.Length != 0 && !(pParams->CommandLine.Length & 1)
        && pParams->CommandLine.Length <= pParams->CommandLine.MaximumLength
        && !(pParams->CommandLine.MaximumLength & 1))
        RTLogLogger(pReport->pLogger, "PEB/CommandLine: %.*ls\n",
                    (int)(pParams->CommandLine.Length / 2), pParams->CommandLine.Buffer);
}

} // namespace

LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptPtrs)
{
    volatile char szMarker[12] = "stackmarker";
    PRTLOGGER pLogger = RTLogRelGetDefaultInstance();
    if (!pLogger)
        pLogger = RTLogDefaultInstance();
    if (pLogger)
    {
        if (!g_idProcessCached)
            g_idProcessCached = GetCurrentProcessId();
        RTLogLogger(pLogger,
                    "\n!!! rtR3WinUnhandledXcptFilter caught an exception on thread %p in %u !!!\n",
                    (void *)(uintptr_t)GetCurrentThreadId(), g_idProcessCached);

        RTXCPTREPORT Report = { pLogger, 0, nullptr, (uintptr_t)&szMarker[0], 0, 0 };
        rtXcptLogRecords(&Report, pXcptPtrs);
        if (Report.pCtx)
            rtXcptLogRegisters(&Report);
        rtXcptLogStack(&Report, szMarker);

        PEB *const pPeb = (PEB *)rtR3WinCurrentPeb();
        if (rtIsUsablePtr(pPeb))
        {
            if (rtIsUsablePtr(pPeb->Ldr))
            {
                LIST_ENTRY *const pHead = &pPeb->Ldr->InMemoryOrderModuleList;
                RTLDRMODENTRY *pXcptMod = nullptr;
                if (rtXcptLogModules(&Report, pHead, &pXcptMod))
                    rtXcptLogCodeAddresses(&Report, pHead, pXcptMod);
            }
            rtXcptLogCommandLine(&Report, pPeb);
        }
    }

    if (g_pfnrtR3WinUnhandledXcptFilter)
        return g_pfnrtR3WinUnhandledXcptFilter(pXcptPtrs);
    return EXCEPTION_CONTINUE_SEARCH;
}
