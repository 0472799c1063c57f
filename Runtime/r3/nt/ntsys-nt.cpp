/*
 * The system-call table of the file layer (the fault-injection seam, see
 * nt.h), the by-name lookup of NtQueryFullAttributesFile, and the system
 * version as the process environment block records it.
 */
#include <zelk/string.h>

#include "nt.h"

RTNTSYSCALLS g_rtNtSysOverride;

namespace {

/* 1 once looked up; the pointer may stay null on systems without the call. */
int32_t volatile g_fQueryFullAttributesLookedUp = 0;
decltype(&::NtQueryFullAttributesFile) volatile g_pfnQueryFullAttributesFile = nullptr;

} // namespace

void rtNtSysReset(void)
{
    RTMemSet(&g_rtNtSysOverride, 0, sizeof(g_rtNtSysOverride));
}

decltype(&::NtQueryFullAttributesFile) rtNtSysQueryFullAttributesFile(void)
{
    if (g_rtNtSysOverride.pfnNtQueryFullAttributesFile)
        return g_rtNtSysOverride.pfnNtQueryFullAttributesFile;
    if (!__atomic_load_n(&g_fQueryFullAttributesLookedUp, __ATOMIC_ACQUIRE))
    {
        /* Two threads racing here look up and store the same value. */
        HMODULE const hModNtDll = GetModuleHandleW(L"ntdll.dll");
        if (hModNtDll)
            g_pfnQueryFullAttributesFile = (decltype(&::NtQueryFullAttributesFile))(void *)
                GetProcAddress(hModNtDll, "NtQueryFullAttributesFile");
        __atomic_store_n(&g_fQueryFullAttributesLookedUp, 1, __ATOMIC_RELEASE);
    }
    return g_pfnQueryFullAttributesFile;
}

ULONG rtNtOsMajorVersion(void)
{
    /* OSMajorVersion sits past the fields winternl.h names; the block is found through the TEB. */
    const uint8_t *pbPeb;
#ifdef _WIN64
    __asm__("movq %%gs:0x60, %0" : "=r"(pbPeb));
    size_t const offMajor = 0x118;
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(pbPeb));
    size_t const offMajor = 0xa4;
#endif
    return *(const ULONG *)(pbPeb + offMajor);
}
