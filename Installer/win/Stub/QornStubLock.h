/*
 * Kestrelyn Installer: the single-instance lock.
 *
 * One installer at a time on the whole machine, across sessions, and a lock
 * that no unprivileged process can take first to keep an elevated run from
 * starting: where the system allows, the mutex lives in a private namespace
 * whose boundary is the Administrators group, which only an elevated or
 * SYSTEM process can create.
 */
#ifndef QORNSTUBLOCK_H
#define QORNSTUBLOCK_H

#include "win.h"

/*
 * The single-instance lock and what it rests on, and the pauses of the wait
 * and of the cleanup.
 * A null entry means the system's own function; the namespace functions are
 * looked up in kernel32 by name, as Wine and older systems lack some.
 * Tests store replacements and clear them again.
 */
typedef struct STUBLOCKSYS
{
    decltype(&::CreateMutexW) pfnCreateMutexW;
    decltype(&::Sleep) pfnSleep;
    decltype(&::CreateBoundaryDescriptorW) pfnCreateBoundaryDescriptorW;
    decltype(&::AddSIDToBoundaryDescriptor) pfnAddSIDToBoundaryDescriptor;
    decltype(&::CreatePrivateNamespaceW) pfnCreatePrivateNamespaceW;
    decltype(&::OpenPrivateNamespaceW) pfnOpenPrivateNamespaceW;
} STUBLOCKSYS;
extern STUBLOCKSYS g_StubLockSys;

/* The lock's handles: the mutex and the private namespace holding it (each may be null). */
typedef struct STUBLOCK
{
    HANDLE hMutex;
    HANDLE hNamespace;
} STUBLOCK;

/*
 * Takes the machine-wide lock "QornStubInstaller": in a private namespace
 * bound to the Administrators group, else as "Global\QornStubInstaller",
 * else under the plain name, whichever the system grants first.  Returns
 * false, holding nothing, when another copy holds it; true otherwise, also
 * when the system grants no lock at all (the run goes on without).
 */
bool stubLockAcquire(STUBLOCK *pLock);

/* Closes what stubLockAcquire holds. */
void stubLockRelease(STUBLOCK *pLock);

/* Sleeps cMs milliseconds (through g_StubLockSys.pfnSleep when a test set one). */
void stubSleep(uint32_t cMs);

#endif
