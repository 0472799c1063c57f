/*
 * The delay-load helper for executables without the C runtime: the first
 * call of a delay-imported function lands here, through the stub of the
 * delay-import library.  The DLL is loaded from the system directory only
 * (like every DLL the installer loads after start-up), the function is looked
 * up by name or ordinal, and its address is patched into the import slot so
 * later calls go straight to it.  A failure stops the process with a message.
 */
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
    /* The descriptor's module slot is the cache; the binder fills it on the first call. */
    RTLDRMOD *const phMod = (RTLDRMOD *)(pbImage + pDesc->rvaHmod);
    RTLDRBINDMOD Mod = { (const char *)(pbImage + pDesc->rvaDLLName), *phMod };

    FARPROC *const paIAT = (FARPROC *)(pbImage + pDesc->rvaIAT);
    IMAGE_THUNK_DATA const *const paINT = (IMAGE_THUNK_DATA const *)(pbImage + pDesc->rvaINT);
    IMAGE_THUNK_DATA const *const pThunk = &paINT[ppfnIATEntry - paIAT];
    /* GetProcAddress takes an ordinal in place of the name pointer. */
    const char *const pszSymbol
        = IMAGE_SNAP_BY_ORDINAL(pThunk->u1.Ordinal)
              ? (const char *)(uintptr_t)IMAGE_ORDINAL(pThunk->u1.Ordinal)
              : (const char *)((IMAGE_IMPORT_BY_NAME const *)(pbImage + pThunk->u1.AddressOfData))
                    ->Name;
    void *const pv = RTLdrBindOrPanic(&Mod, pszSymbol, "Delay loader");
    *phMod = Mod.hMod;
    *ppfnIATEntry = (FARPROC)pv;
    return (FARPROC)pv;
}
