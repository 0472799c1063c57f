/*
 * The delay-load helper for executables without the C runtime: the first
 * call of a delay-imported function lands here, through the stub of the
 * delay-import library.  The DLL is loaded from the system directory only
 * (like every DLL the installer loads after start-up), the function is looked
 * up by name or ordinal, and its address is patched into the import slot so
 * later calls go straight to it.  A failure stops the process with a message.
 */
#include <zelk/assert.h>
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/ldr.h>

#include "win.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

/* The delay descriptor with relative addresses (the only kind the tools make). */
struct RTDELAYDESCR
{
    DWORD grAttrs;
    DWORD rvaDLLName;
    DWORD rvaHmod;
    DWORD rvaIAT;
    DWORD rvaINT;
    DWORD rvaBoundIAT;
    DWORD rvaUnloadIAT;
    DWORD dwTimeStamp;
};

} // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(const RTDELAYDESCR *pDesc, FARPROC *ppfnIATEntry)
{
    uint8_t *const pbImage = (uint8_t *)&__ImageBase;
    const char *const pszDll = (const char *)(pbImage + pDesc->rvaDLLName);
    RTLDRMOD *const phMod = (RTLDRMOD *)(pbImage + pDesc->rvaHmod);
    if (*phMod == NIL_RTLDRMOD)
    {
        RTLDRMOD hMod = NIL_RTLDRMOD;
        int const rc = RTLdrLoadSystem(pszDll, RTLDRLOAD_FLAGS_NO_UNLOAD, &hMod);
        if (RT_FAILURE(rc))
        {
            RTAssertMsg2("Delay loader failed to load \"%s\": %Rrc\n", pszDll, rc);
            RTAssertDoPanic();
        }
        *phMod = hMod;
    }

    FARPROC *const paIAT = (FARPROC *)(pbImage + pDesc->rvaIAT);
    IMAGE_THUNK_DATA const *const paINT = (IMAGE_THUNK_DATA const *)(pbImage + pDesc->rvaINT);
    IMAGE_THUNK_DATA const *const pThunk = &paINT[ppfnIATEntry - paIAT];
    const char *pszSymbol;
    char szName[16];
    if (IMAGE_SNAP_BY_ORDINAL(pThunk->u1.Ordinal))
    {
        /* GetProcAddress takes an ordinal in place of the name pointer. */
        pszSymbol = (const char *)(uintptr_t)IMAGE_ORDINAL(pThunk->u1.Ordinal);
        RTStrFmtToBuf(szName, sizeof(szName), "#%u", (unsigned)IMAGE_ORDINAL(pThunk->u1.Ordinal));
    }
    else
        pszSymbol
            = (const char *)((IMAGE_IMPORT_BY_NAME const *)(pbImage + pThunk->u1.AddressOfData))
                  ->Name;

    void *pv = nullptr;
    int const rc = RTLdrGetSymbol(*phMod, pszSymbol, &pv);
    if (RT_FAILURE(rc))
    {
        RTAssertMsg2("Delay loader failed to resolve symbol \"%s\" in \"%s\": %Rrc\n",
                     (uintptr_t)pszSymbol < 0x10000 ? szName : pszSymbol, pszDll, rc);
        RTAssertDoPanic();
    }
    *ppfnIATEntry = (FARPROC)pv;
    return (FARPROC)pv;
}
