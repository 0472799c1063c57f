/*
 * The system-call table of the file layer (the fault-injection seam, see
 * nt.h), NtQueryFullAttributesFile as start-up found it, and the system
 * version as the process environment block records it.
 */
#include <zelk/string.h>

#include "init-internal.h"
#include "nt.h"

RTNTSYSCALLS g_rtNtSysOverride;

void rtNtSysReset(void)
{
    RTMemSet(&g_rtNtSysOverride, 0, sizeof(g_rtNtSysOverride));
}

decltype(&::NtQueryFullAttributesFile) rtNtSysQueryFullAttributesFile(void)
{
    if (g_rtNtSysOverride.pfnNtQueryFullAttributesFile)
        return g_rtNtSysOverride.pfnNtQueryFullAttributesFile;
    return (decltype(&::NtQueryFullAttributesFile))
        g_apvrtR3NtDllFns[RTR3NTDLLFN_QUERY_FULL_ATTRIBUTES_FILE];
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
