/*
 * The binding tables of the lazily bound imports and the common part of
 * the binders; loading and lookup are the runtime binder's.  No locks: the
 * installer binds on its one thread.
 */
#include "QornStubLazy.h"

STUBLAZYMOD g_StubLazyMsi = { "MSI.DLL", NIL_RTLDRMOD };
STUBLAZYMOD g_StubLazyCrypt32 = { "CRYPT32.DLL", NIL_RTLDRMOD };
STUBLAZYMOD g_StubLazyWs2 = { "WS2_32.DLL", NIL_RTLDRMOD };
STUBLAZYMOD g_StubLazyUser32 = { "USER32.DLL", NIL_RTLDRMOD };
STUBLAZYMOD g_StubLazyShell32 = { "SHELL32.DLL", NIL_RTLDRMOD };

namespace StubLazy {

#define STUB_LAZY_NAME(a_Name) extern const char g_szStubLazy_##a_Name[] = #a_Name;
STUB_LAZY_NAME(MsiInstallProductW)
STUB_LAZY_NAME(MsiEnableLogW)
STUB_LAZY_NAME(MsiSetInternalUI)
STUB_LAZY_NAME(CertCreateCertificateContext)
STUB_LAZY_NAME(CertOpenStore)
STUB_LAZY_NAME(CertFreeCertificateContext)
STUB_LAZY_NAME(CertAddCertificateContextToStore)
STUB_LAZY_NAME(CertCloseStore)
STUB_LAZY_NAME(WSASetLastError)
STUB_LAZY_NAME(WSAGetLastError)
STUB_LAZY_NAME(MessageBoxW)
STUB_LAZY_NAME(MessageBoxA)
STUB_LAZY_NAME(GetDesktopWindow)
STUB_LAZY_NAME(CommandLineToArgvW)
STUB_LAZY_NAME(SHFileOperationW)

} // namespace StubLazy

void *stubLazyBind(void **ppvSlot, const char *pszName, STUBLAZYMOD *pMod)
{
    *ppvSlot = stubLazyResolve(pMod, pszName);
    return *ppvSlot;
}

/*
 * stubLazyBindCommon (x86): entered from a binder, which pushed the table,
 * the name and the slot on top of the caller's return address and
 * arguments.  It keeps ecx and edx (the registers a call may pass arguments
 * in), aligns the stack to 16 bytes for stubLazyBind, then drops what the
 * binder pushed and jumps through the slot, so that the real function finds
 * the stack as the caller made it and returns straight to the caller.
 */
#if defined(__i386__)
__asm__(".text\n"
        ".globl stubLazyBindCommon\n"
        "stubLazyBindCommon:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %ecx\n"
        "    pushl %edx\n"
        "    andl $-16, %esp\n"
        "    subl $4, %esp\n"
        "    pushl 12(%ebp)\n" /* the table */
        "    pushl 8(%ebp)\n"  /* the name */
        "    pushl 4(%ebp)\n"  /* the slot */
        "    call stubLazyBind\n"
        "    movl -8(%ebp), %edx\n"
        "    movl -4(%ebp), %ecx\n"
        "    movl %ebp, %esp\n"
        "    popl %ebp\n"
        "    addl $12, %esp\n"
        "    jmp *%eax\n");
#endif
