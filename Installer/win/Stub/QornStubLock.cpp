/*
 * Kestrelyn Installer: the single-instance lock and the wait for another
 * installation.
 *
 * A name in the session's own namespace excludes nothing across sessions (a
 * run as SYSTEM in session 0 and one in a user's session), and a name in the
 * global namespace can be created first by any user.  So the lock is taken
 * in a private namespace whose boundary holds the Administrators group: only
 * a process whose token has that group enabled creates or opens it.  Where
 * the system refuses one (an unelevated run, Wine, which lacks the calls),
 * the global name serves, and the plain name where even that is refused.
 */
#include <zelk/ldr.h>
#include <zelk/stream.h>

#include "QornStub.h"
#include "QornStubLock.h"

STUBLOCKSYS g_StubLockSys;
bool g_fStubMsiExitCodes = false;
uint32_t g_cStubWaitMsLeft = 0;
unsigned g_cStubWaitPauses = 0;

namespace {

/* The design's name, in the global namespace and (+7) in the session's. */
const WCHAR g_wszStubLockGlobal[] = L"Global\\QornStubInstaller";
/* The private namespace's boundary and alias, and the name inside it. */
const WCHAR g_wszStubLockPrivate[] = L"Kestrelyn\\QornStubInstaller";
const WCHAR g_wszStubLockAlias[] = L"Kestrelyn";

/* S-1-5-32-544, BUILTIN\Administrators, laid out as a SID. */
struct
{
    BYTE bRevision, cSubAuthorities;
    BYTE abAuthority[6];
    DWORD aSubAuthorities[2];
} g_StubAdminsSid = { SID_REVISION, 2, { 0, 0, 0, 0, 0, 5 },
                      { SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS } };

/* pfn when a test replaced it, else kernel32's export pszName, or null. */
void *stubLockSysFn(void *pfn, const char *pszName)
{
    return pfn ? pfn : RTLdrBindOptional(&g_RTLdrBindKernel32, pszName);
}
#define STUB_LOCK_SYS(a_Name) \
 ((decltype(&::a_Name))stubLockSysFn((void *)g_StubLockSys.pfn##a_Name, #a_Name))

/* Creates the mutex pwszName; null when the system refuses it or another copy holds it (*pfHeld). */
HANDLE stubLockCreateMutex(const WCHAR *pwszName, bool *pfHeld)
{
    SetLastError(NO_ERROR);
    HANDLE hMutex = (g_StubLockSys.pfnCreateMutexW ? g_StubLockSys.pfnCreateMutexW
                                                   : &::CreateMutexW)(nullptr, FALSE, pwszName);
    if (hMutex && GetLastError() == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(hMutex);
        *pfHeld = true;
        return nullptr;
    }
    return hMutex;
}

} // namespace

bool stubLockAcquire(STUBLOCK *pLock)
{
    bool fHeld = false;
    pLock->hMutex = pLock->hNamespace = nullptr;
    auto const pfnCreateNs = STUB_LOCK_SYS(CreatePrivateNamespaceW);
    auto const pfnOpenNs = STUB_LOCK_SYS(OpenPrivateNamespaceW);
    auto const pfnAddSid = STUB_LOCK_SYS(AddSIDToBoundaryDescriptor);
    auto const pfnBoundary = STUB_LOCK_SYS(CreateBoundaryDescriptorW);
    /* The descriptor is a block of this process's heap, left to the exit. */
    HANDLE hBoundary = pfnCreateNs && pfnOpenNs && pfnAddSid && pfnBoundary
                           ? pfnBoundary(g_wszStubLockAlias, 0)
                           : nullptr;
    if (hBoundary && pfnAddSid(&hBoundary, (PSID)&g_StubAdminsSid))
    {
        /* Another elevated copy may have made it: then it is opened. */
        pLock->hNamespace = pfnCreateNs(nullptr, hBoundary, g_wszStubLockAlias);
        if (!pLock->hNamespace && GetLastError() == ERROR_ALREADY_EXISTS)
            pLock->hNamespace = pfnOpenNs(hBoundary, g_wszStubLockAlias);
        if (pLock->hNamespace)
            pLock->hMutex = stubLockCreateMutex(g_wszStubLockPrivate, &fHeld);
    }
    if (!pLock->hMutex && !fHeld)
        pLock->hMutex = stubLockCreateMutex(g_wszStubLockGlobal, &fHeld);
    if (!pLock->hMutex && !fHeld)
        pLock->hMutex = stubLockCreateMutex(g_wszStubLockGlobal + 7, &fHeld);
    if (fHeld)
        stubLockRelease(pLock);
    return !fHeld;
}

void stubLockRelease(STUBLOCK *pLock)
{
    /* The mutex first: its name lives in the namespace. */
    if (pLock->hMutex)
        CloseHandle(pLock->hMutex);
    if (pLock->hNamespace)
        CloseHandle(pLock->hNamespace);
    pLock->hMutex = pLock->hNamespace = nullptr;
}

bool stubWaitPause(void)
{
    if (!g_cStubWaitMsLeft)
        return false;
    if (!g_cStubWaitPauses && g_fStubSilent)
        RTMsgPrintInfo("Waiting up to %u s for another installer\n",
                       (unsigned)((g_cStubWaitMsLeft + 999) / 1000));
    /* 0.5 s, doubling up to 8 s: a short wait is noticed soon, a long one polls seldom. */
    uint32_t cMs = UINT32_C(500) << (g_cStubWaitPauses < 4 ? g_cStubWaitPauses : 4);
    if (cMs > g_cStubWaitMsLeft)
        cMs = g_cStubWaitMsLeft;
    g_cStubWaitMsLeft -= cMs;
    g_cStubWaitPauses++;
    stubSleep(cMs);
    return true;
}

void stubSleep(uint32_t cMs)
{
    (g_StubLockSys.pfnSleep ? g_StubLockSys.pfnSleep : &::Sleep)(cMs);
}
