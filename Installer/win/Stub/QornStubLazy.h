/*
 * Lazily bound imports of the installer.
 *
 * The installer imports only kernel32 and ntdll (and COMCTL32, delay-loaded).
 * Functions of MSI.DLL, CRYPT32.DLL, WS2_32.DLL, USER32.DLL and SHELL32.DLL
 * are bound on their first call: the DLL is loaded from the system directory
 * when the first of its functions is called, each function is looked up at
 * its own first call, and a failure stops the process with a message.
 * Callers write StubLazy::MessageBoxW(...) and so on, with the Windows
 * signatures.
 */
#ifndef QORNSTUBLAZY_H
#define QORNSTUBLAZY_H

#include <zelk/ldr.h>

#include "win.h"

#include <msi.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <winsock2.h>

/* One binding table per DLL: the runtime binder's module record. */
typedef RTLDRBINDMOD STUBLAZYMOD;

extern STUBLAZYMOD g_StubLazyMsi;
extern STUBLAZYMOD g_StubLazyCrypt32;
extern STUBLAZYMOD g_StubLazyWs2;
extern STUBLAZYMOD g_StubLazyUser32;
extern STUBLAZYMOD g_StubLazyShell32;

/* Resolves a function of the table's DLL; stops the process on failure. */
inline void *stubLazyResolve(STUBLAZYMOD *pMod, const char *pszSymbol)
{
    return RTLdrBindOrPanic(pMod, pszSymbol, "Lazy loader");
}

/*
 * The first call of a function: resolves it (stopping the process when that
 * fails), stores the address in the slot and returns it.  Called only from
 * the binders' common part, stubLazyBindCommon (QornStubLazy.cpp), by this
 * name, which the optimiser must therefore keep.
 */
extern "C" __attribute__((used, externally_visible)) void *stubLazyBind(
    void **ppvSlot, const char *pszName, STUBLAZYMOD *pMod) __asm__("stubLazyBind");

/*
 * One slot per function: it starts at the binder, which resolves the real
 * address, stores it in the slot and carries on with the pending call.  On
 * x86 the binder is three pushes (the table, the name, the slot) and a jump
 * to the shared stubLazyBindCommon, which keeps the caller's argument
 * registers and stack as they are and jumps on through the slot, so no
 * binder copies the arguments of its function.  On x64, where the addresses
 * of other modules' variables are no constants for an instruction, the
 * binder is a C++ function that passes its arguments on.
 */
template <STUBLAZYMOD *a_pMod, const char *a_pszName, typename a_PFN>
struct StubLazyFn;
template <STUBLAZYMOD *a_pMod, const char *a_pszName, typename a_Ret, typename... a_Args>
struct StubLazyFn<a_pMod, a_pszName, a_Ret(WINAPI *)(a_Args...)>
{
    typedef a_Ret(WINAPI *PFN)(a_Args...);
    static PFN s_pfnSlot;

#if defined(__i386__)
    __attribute__((naked)) static a_Ret WINAPI bind(a_Args...)
    {
        __asm__("pushl %0\n\tpushl %1\n\tpushl %2\n\tjmp stubLazyBindCommon"
                :
                : "i"(a_pMod), "i"(a_pszName), "i"(&s_pfnSlot));
    }
#else
    static a_Ret WINAPI bind(a_Args... args)
    {
        return ((PFN)stubLazyBind((void **)&s_pfnSlot, a_pszName, a_pMod))(args...);
    }
#endif
};
template <STUBLAZYMOD *a_pMod, const char *a_pszName, typename a_Ret, typename... a_Args>
typename StubLazyFn<a_pMod, a_pszName, a_Ret(WINAPI *)(a_Args...)>::PFN
    StubLazyFn<a_pMod, a_pszName, a_Ret(WINAPI *)(a_Args...)>::s_pfnSlot
    = &StubLazyFn<a_pMod, a_pszName, a_Ret(WINAPI *)(a_Args...)>::bind;

#define STUB_LAZY_IMPORT(a_Mod, a_Name)                                                        \
 extern const char g_szStubLazy_##a_Name[];                                                    \
 typedef StubLazyFn<&a_Mod, g_szStubLazy_##a_Name, decltype(&::a_Name)> StubLazySlot_##a_Name; \
 template <typename... a_Args>                                                                 \
 inline auto a_Name(a_Args... args)                                                            \
 {                                                                                             \
  return StubLazySlot_##a_Name::s_pfnSlot(args...);                                            \
 }

namespace StubLazy {

STUB_LAZY_IMPORT(g_StubLazyMsi, MsiInstallProductW)
STUB_LAZY_IMPORT(g_StubLazyMsi, MsiEnableLogW)
STUB_LAZY_IMPORT(g_StubLazyMsi, MsiSetInternalUI)

STUB_LAZY_IMPORT(g_StubLazyCrypt32, CertCreateCertificateContext)
STUB_LAZY_IMPORT(g_StubLazyCrypt32, CertOpenStore)
STUB_LAZY_IMPORT(g_StubLazyCrypt32, CertFreeCertificateContext)
STUB_LAZY_IMPORT(g_StubLazyCrypt32, CertAddCertificateContextToStore)
STUB_LAZY_IMPORT(g_StubLazyCrypt32, CertCloseStore)

STUB_LAZY_IMPORT(g_StubLazyWs2, WSASetLastError)
STUB_LAZY_IMPORT(g_StubLazyWs2, WSAGetLastError)

STUB_LAZY_IMPORT(g_StubLazyUser32, MessageBoxW)
STUB_LAZY_IMPORT(g_StubLazyUser32, MessageBoxA)
STUB_LAZY_IMPORT(g_StubLazyUser32, GetDesktopWindow)

STUB_LAZY_IMPORT(g_StubLazyShell32, CommandLineToArgvW)
STUB_LAZY_IMPORT(g_StubLazyShell32, SHFileOperationW)

} // namespace StubLazy

#endif
