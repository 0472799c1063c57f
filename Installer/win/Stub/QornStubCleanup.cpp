/*
 * Kestrelyn Installer: cleanup records.
 *
 * Everything the installer creates or adopts on disk is recorded here the
 * moment it exists, with the handle that keeps it locked.  The cleanup closes
 * the handles and deletes what is not kept, newest first, so files go before
 * the directories that hold them.  Deletions that fail are retried for about
 * nine seconds, because a virus scanner or an indexer that still has a file
 * open usually lets go within that time; what still fails is reported once.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "win.h"

namespace {

/* The list head: only the links of a record are used. */
StubCleanupRecord g_StubCleanupHead
    = { &g_StubCleanupHead, &g_StubCleanupHead, 0, false, false, { nullptr }, { 0 } };

/* Passes of the cleanup and the sleeps after each but the last (ms). */
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

void stubCleanupCloseHandle(StubCleanupRecord *pRec)
{
    if (pRec->fFile)
    {
        if (pRec->u.hFile != NIL_RTFILE)
        {
            if (RTFileIsUsable(pRec->u.hFile))
            {
                int const rc = RTFileClose(pRec->u.hFile);
                if (RT_FAILURE(rc))
                    stubPrintError("Cleanup file '%s' for #%u: RTFileClose(%p) failed: %Rrc",
                                   pRec->szPath, pRec->idxPackage, pRec->u.hFile, rc);
            }
            pRec->u.hFile = NIL_RTFILE;
        }
    }
    else if (pRec->u.hDir != NIL_RTDIR)
    {
        if (RTDirIsUsable(pRec->u.hDir))
        {
            int const rc = RTDirClose(pRec->u.hDir);
            if (RT_FAILURE(rc))
                stubPrintError("Cleanup dir '%s' for #%u: RTDirClose(%p) failed: %Rrc",
                               pRec->szPath, pRec->idxPackage, pRec->u.hDir, rc);
        }
        pRec->u.hDir = NIL_RTDIR;
    }
}

/* One record in one pass; true when the record is done with and can go. */
bool stubCleanupRecord(StubCleanupRecord *pRec, bool fLastPass)
{
    stubCleanupCloseHandle(pRec);
    if (pRec->fKeep)
        return true;
    if (pRec->fFile)
    {
        int const rc = RTFileRemove(pRec->szPath);
        if (RT_SUCCESS(rc) || rc == KERR_FILE_NOT_FOUND || rc == KERR_PATH_NOT_FOUND)
            return true;
        if (fLastPass)
            stubReportError("Failed to delete temporary file '%s': %Rrc", pRec->szPath, rc);
        return false;
    }
    int const rc = RTDirDelete(pRec->szPath);
    /* Whatever keeps a directory non-empty (a log, a copied ".custom") is not ours to delete. */
    if (rc == KERR_DIR_NOT_EMPTY)
        return fLastPass;
    if (RT_SUCCESS(rc) || rc == KERR_FILE_NOT_FOUND || rc == KERR_PATH_NOT_FOUND)
        return true;
    if (fLastPass)
        stubReportError("Failed to delete temporary directory '%s': %Rrc", pRec->szPath, rc);
    return false;
}

} // namespace

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
    if (fFile)
        pRec->u.hFile = NIL_RTFILE;
    else
        pRec->u.hDir = NIL_RTDIR;
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

int stubCleanupRun(const char *pszPkgDir)
{
    for (unsigned iPass = 0;; iPass++)
    {
        bool const fLastPass = iPass + 1 >= g_cStubCleanupPasses;
        StubCleanupRecord *pNext;
        for (StubCleanupRecord *pRec = g_StubCleanupHead.pNext; pRec != &g_StubCleanupHead;
             pRec = pNext)
        {
            pNext = pRec->pNext;
            if (stubCleanupRecord(pRec, fLastPass))
                stubCleanupUnlinkAndFree(pRec);
        }

        if (g_StubCleanupHead.pNext == &g_StubCleanupHead || fLastPass)
        {
            if (!pszPkgDir)
                return KINF_SUCCESS;
            int const rc = RTDirDelete(pszPkgDir);
            if (RT_SUCCESS(rc) || rc == KERR_FILE_NOT_FOUND || rc == KERR_PATH_NOT_FOUND
                || fLastPass)
                return rc;
        }
        Sleep(g_acStubCleanupSleepMs[iPass]);
    }
}

void stubCleanupRelease(void)
{
    while (g_StubCleanupHead.pNext != &g_StubCleanupHead)
    {
        StubCleanupRecord *pRec = g_StubCleanupHead.pNext;
        if (pRec->fFile ? RTFileIsUsable(pRec->u.hFile) : RTDirIsUsable(pRec->u.hDir))
        {
            if (pRec->fFile)
                RTFileClose(pRec->u.hFile);
            else
                RTDirClose(pRec->u.hDir);
        }
        stubCleanupUnlinkAndFree(pRec);
    }
}
