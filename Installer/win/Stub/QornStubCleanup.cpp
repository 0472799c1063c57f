/*
 * Kestrelyn Installer: cleanup records.
 *
 * Everything the installer creates or adopts on disk is recorded here the
 * moment it exists, with the handle that keeps it locked.  The cleanup
 * deletes what is not kept, newest first, so files go before the
 * directories that hold them.  Deletions that fail are retried for about
 * nine seconds, because a virus scanner or an indexer that still has a file
 * open usually lets go within that time; what still fails is reported once.
 *
 * The installer often runs elevated in a folder that others can write to,
 * and a name looked up again at the end may lead somewhere else by then (a
 * junction put in place of a parent).  So nothing is deleted by its path:
 * a file through the handle held since its creation, reopened from it with
 * delete access; a retry by the file's name below the handle of its
 * directory, held until the directory goes, and only when it is still the
 * file that was made there; a directory through its own handle.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "QornStubLock.h"

namespace {

/* The list head: only the links of a record are used. */
StubCleanupRecord g_StubCleanupHead
    = { &g_StubCleanupHead, &g_StubCleanupHead, 0, false, false, 0, { nullptr }, { 0 } };

/* Passes of the cleanup and the pauses after each but the last (ms). */
const unsigned g_acStubCleanupSleepMs[] = { 100, 3000, 3000, 3000 };
const unsigned g_cStubCleanupPasses = RT_ELEMENTS(g_acStubCleanupSleepMs) + 1;

void stubCleanupUnlinkAndFree(StubCleanupRecord *pRec)
{
    pRec->pPrev->pNext = pRec->pNext;
    pRec->pNext->pPrev = pRec->pPrev;
    pRec->pNext = nullptr;
    pRec->pPrev = nullptr;
    RTMemFree(pRec);
}

/* Closes the record's handle, if it has one that is open, and reports a close that fails. */
void stubCleanupCloseHandle(StubCleanupRecord *pRec)
{
    bool const fFile = pRec->fFile;
    void *const pvHandle = fFile ? (void *)pRec->u.hFile : (void *)pRec->u.hDir;
    int rc = KINF_SUCCESS;
    if (fFile ? RTFileIsUsable(pRec->u.hFile) : RTDirIsUsable(pRec->u.hDir))
        rc = fFile ? RTFileClose(pRec->u.hFile) : RTDirClose(pRec->u.hDir);
    if (RT_FAILURE(rc))
        stubPrintError(fFile ? "Cleanup file '%s' for #%u: RTFileClose(%p) failed: %Rrc"
                             : "Cleanup dir '%s' for #%u: RTDirClose(%p) failed: %Rrc",
                       pRec->szPath, pRec->idxPackage, pvHandle, rc);
    if (fFile)
        pRec->u.hFile = NIL_RTFILE;
    else
        pRec->u.hDir = NIL_RTDIR;
}

/*
 * The handle of the directory a file record's file is in: the next older
 * directory record's, as each directory is recorded before what it holds.
 * The list's head ends the walk with no handle.
 */
RTDIR stubCleanupDirOf(StubCleanupRecord *pRec)
{
    do
        pRec = pRec->pNext;
    while (pRec->fFile);
    return pRec->u.hDir;
}

/* Whether a deletion's status means the object is gone. */
bool stubCleanupGone(int rc)
{
    return RT_SUCCESS(rc) || rc == KERR_FILE_NOT_FOUND || rc == KERR_PATH_NOT_FOUND;
}

/* A file record in one pass; true when the record is done with and can go. */
bool stubCleanupFile(StubCleanupRecord *pRec, bool fLastPass)
{
    /*
     * The kept handle denies deletion to others, itself included: a bridge
     * that shares everything holds the file from before the kept handle is
     * closed until the handle with delete access is opened from it.
     */
    RTFILE hBridge = NIL_RTFILE;
    if (!pRec->fKeep)
        RTFileReopen(pRec->u.hFile, false, &hBridge);
    stubCleanupCloseHandle(pRec);
    if (pRec->fKeep)
        return true;

    int rc;
    if (hBridge != NIL_RTFILE)
        rc = stubDeleteThroughBridge(hBridge);
    else
    {
        /* A retry: whatever has the name now is only deleted when it is the file made there. */
        RTFILE hDelete = NIL_RTFILE;
        rc = RTDirOpenFileForDelete(stubCleanupDirOf(pRec), RTPathFilename(pRec->szPath),
                                    &hDelete);
        if (RT_SUCCESS(rc))
        {
            RTFSOBJINFO Info;
            rc = RTFileQueryInfo(hDelete, &Info, RTFSOBJATTRADD_UNIX);
            if (RT_SUCCESS(rc) && Info.Attr.u.Unix.INodeId != pRec->idFile)
                rc = KERR_MISMATCH;
        }
        if (RT_SUCCESS(rc))
            rc = RTFileSetDeleteDisposition(hDelete);
        RTFileClose(hDelete);
    }
    if (stubCleanupGone(rc))
        return true;
    if (fLastPass)
        stubReportError("Failed to delete temporary file '%s': %Rrc", pRec->szPath, rc);
    return false;
}

/*
 * A directory record in one pass.  Its handle stays while newer records are
 * left, which may need it for their retries, and it is the one the
 * directory is deleted through once empty.
 */
bool stubCleanupDir(StubCleanupRecord *pRec, bool fLastPass)
{
    int rc = KINF_SUCCESS;
    if (pRec->fKeep)
    {
        if (pRec->pPrev != &g_StubCleanupHead)
            rc = KERR_DIR_NOT_EMPTY;
    }
    /* One never held can't be told from what has its name now: nothing to delete through. */
    else if (pRec->u.hDir != NIL_RTDIR)
        rc = RTDirSetDeleteDisposition(pRec->u.hDir);
    /* Whatever keeps a directory non-empty (a log, a copied ".custom") is not ours to delete. */
    bool const fDone = stubCleanupGone(rc) || (fLastPass && rc == KERR_DIR_NOT_EMPTY);
    if (fDone)
        stubCleanupCloseHandle(pRec);
    else if (fLastPass)
        stubReportError("Failed to delete temporary directory '%s': %Rrc", pRec->szPath, rc);
    return fDone;
}

} // namespace

int stubDeleteThroughBridge(RTFILE hBridge)
{
    RTFILE hDelete;
    int rc = RTFileReopen(hBridge, true, &hDelete);
    RTFileClose(hBridge);
    if (RT_SUCCESS(rc))
    {
        rc = RTFileSetDeleteDisposition(hDelete);
        RTFileClose(hDelete);
    }
    return rc;
}

void stubCleanupInit(void)
{
    g_StubCleanupHead.pNext = &g_StubCleanupHead;
    g_StubCleanupHead.pPrev = &g_StubCleanupHead;
}

StubCleanupRecord *stubCleanupAdd(const char *pszPath, bool fFile)
{
    size_t const cchPath = RTStrLen(pszPath);
    StubCleanupRecord *pRec = (StubCleanupRecord *)RTMemAllocZ(
        offsetof(StubCleanupRecord, szPath) + cchPath + 1, "stubCleanupAdd");
    if (!pRec)
    {
        stubReportError("Out of memory!");
        return nullptr;
    }
    pRec->idxPackage = STUB_NO_PACKAGE;
    pRec->fFile = fFile;
    /* The zeros are NIL_RTDIR already. */
    if (fFile)
        pRec->u.hFile = NIL_RTFILE;
    RTMemCopy(pRec->szPath, pszPath, cchPath + 1);

    pRec->pNext = g_StubCleanupHead.pNext;
    pRec->pPrev = &g_StubCleanupHead;
    g_StubCleanupHead.pNext->pPrev = pRec;
    g_StubCleanupHead.pNext = pRec;
    return pRec;
}

StubCleanupRecord *stubCleanupFindPackage(uint32_t idxPackage)
{
    for (StubCleanupRecord *pRec = g_StubCleanupHead.pNext; pRec != &g_StubCleanupHead;
         pRec = pRec->pNext)
        if (pRec->idxPackage == idxPackage)
            return pRec;
    return nullptr;
}

void stubCleanupRun(void)
{
    for (unsigned iPass = 0;; iPass++)
    {
        bool const fLastPass = iPass + 1 >= g_cStubCleanupPasses;
        StubCleanupRecord *pNext;
        for (StubCleanupRecord *pRec = g_StubCleanupHead.pNext; pRec != &g_StubCleanupHead;
             pRec = pNext)
        {
            pNext = pRec->pNext;
            if (pRec->fFile ? stubCleanupFile(pRec, fLastPass) : stubCleanupDir(pRec, fLastPass))
                stubCleanupUnlinkAndFree(pRec);
        }
        if (g_StubCleanupHead.pNext == &g_StubCleanupHead || fLastPass)
            return;
        stubSleep(g_acStubCleanupSleepMs[iPass]);
    }
}

void stubCleanupRelease(void)
{
    while (g_StubCleanupHead.pNext != &g_StubCleanupHead)
    {
        StubCleanupRecord *pRec = g_StubCleanupHead.pNext;
        stubCleanupCloseHandle(pRec);
        stubCleanupUnlinkAndFree(pRec);
    }
}
