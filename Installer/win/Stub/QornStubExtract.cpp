/*
 * Kestrelyn Installer: package extraction and verification.
 *
 * Each package that applies is written from the mapped resource to a file in
 * the extraction directory, then proven on disk: the file is re-opened, its
 * size and file ID are compared with what was written, and its content is
 * read back and compared in 64 KiB blocks.  From its creation to the cleanup
 * the file is never without a handle of ours, and after the verification
 * only a read handle that denies writing is left, so what the installer
 * later hands on is what was verified.  The directory itself is held open,
 * which keeps anyone from deleting or renaming it under us.
 *
 * The installer often runs elevated in a directory that other users can
 * write to.  So every package file is a file of our own making: a file
 * under its header's name is first created new under a unique name beside
 * it and then renamed over whatever has the name, never opened and
 * rewritten, so that no owner, access list, hard link or symbolic link of
 * something planted there beforehand survives or is written through.
 * (Removing a planted link first is no way: Wine deletes what a link leads
 * to, and Windows refuses to.)
 */
#include <zelk/err.h>
#include <zelk/fs.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "QornStub.h"

namespace {

/*
 * Open-flag words of a package file's handles: the writing handle, always on
 * a new file (under the header's name once any old file of that name is
 * gone, or under a new unique name), the bridge that is opened while the
 * writing handle is still open (so it must let others write), and the
 * handle kept until the cleanup, which lets others read only.
 */
const uint64_t g_fStubOpenCreateNew = RTFILE_O_WRITE | RTFILE_O_DENY_WRITE | RTFILE_O_CREATE
                                      | (UINT64_C(0700) << RTFILE_O_CREATE_MODE_SHIFT);
const uint64_t g_fStubOpenBridge = RTFILE_O_READ | RTFILE_O_DENY_NONE | RTFILE_O_OPEN
                                   | (UINT64_C(0700) << RTFILE_O_CREATE_MODE_SHIFT);
const uint64_t g_fStubOpenKept = RTFILE_O_READ | RTFILE_O_DENY_WRITE | RTFILE_O_OPEN;

/* The writing handle on a file just created under another name and renamed. */
const uint64_t g_fStubOpenCreated = RTFILE_O_WRITE | RTFILE_O_DENY_WRITE | RTFILE_O_OPEN;

static_assert(g_fStubOpenCreateNew == UINT64_C(0x1C000222), "writing handle");
static_assert(g_fStubOpenBridge == UINT64_C(0x1C000781), "bridge handle");
static_assert(g_fStubOpenKept == UINT64_C(0x721), "kept handle");

/* The read-back unit. */
#define STUB_VERIFY_BLOCK 65536

/*
 * Whether two blocks are equal, a word at a time: the byte loop of the
 * runtime's memcmp would take longer than reading the package back.
 */
typedef uint32_t __attribute__((may_alias, aligned(1))) STUBU32;
bool stubBlocksEqual(const uint8_t *pb1, const uint8_t *pb2, size_t cb)
{
    size_t off = 0;
    for (; off + 16 <= cb; off += 16)
    {
        const STUBU32 *pu1 = (const STUBU32 *)&pb1[off];
        const STUBU32 *pu2 = (const STUBU32 *)&pb2[off];
        if ((pu1[0] ^ pu2[0]) | (pu1[1] ^ pu2[1]) | (pu1[2] ^ pu2[2]) | (pu1[3] ^ pu2[3]))
            return false;
    }
    for (; off < cb; off++)
        if (pb1[off] != pb2[off])
            return false;
    return true;
}

/* Size, file ID and content of the file behind hFile against the blob. */
int stubVerifyPackage(RTFILE hFile, const char *pszFile, unsigned idxPackage, const uint8_t *pbBlob,
                      uint32_t cbBlob, uint64_t idFile)
{
    RTFSOBJINFO Info;
    int rc = RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", idxPackage,
                                    pszFile, rc);
    if ((uint64_t)Info.cbObject != cbBlob)
        return stubPrintErrorStatus(KERR_MISMATCH,
                                    "#%u: File size of '%s' changed: %'RU64, expected %'RU32",
                                    idxPackage, pszFile, (uint64_t)Info.cbObject, cbBlob);
    if (Info.Attr.u.Unix.INodeId != idFile)
        return stubPrintErrorStatus(KERR_MISMATCH,
                                    "#%u: File ID of '%s' changed: %#RX64, expected %#RX64",
                                    idxPackage, pszFile, Info.Attr.u.Unix.INodeId, idFile);

    static uint8_t s_abBlock[STUB_VERIFY_BLOCK];
    for (uint32_t off = 0; off < cbBlob;)
    {
        uint32_t const cb = cbBlob - off < STUB_VERIFY_BLOCK ? cbBlob - off : STUB_VERIFY_BLOCK;
        rc = RTFileRead(hFile, s_abBlock, cb, nullptr);
        if (RT_FAILURE(rc))
            return stubPrintErrorStatus(rc, "#%u: RTFileRead failed on '%s' at offset %#RX32: %Rrc",
                                        idxPackage, pszFile, off, rc);
        if (!stubBlocksEqual(s_abBlock, pbBlob + off, cb))
            return stubPrintErrorStatus(
                KERR_MISMATCH, "#%u: File '%s' has change (mismatch in %#zx byte block at %#RX32)",
                idxPackage, pszFile, (size_t)cb, off);
        off += cb;
    }
    return KINF_SUCCESS;
}

/*
 * The current directory before stubPrepareExtractDir made the extraction
 * directory the current one; empty when it did not.
 */
char g_szStubPrevCwd[STUB_PATH_MAX];

/* The extraction directory: created or adopted, recorded, held open and made current. */
StubExit stubPrepareExtractDir(const char *pszExtractPath, StubCleanupRecord **ppDirRec)
{
    if (!RTDirExists(pszExtractPath))
    {
        if (*ppDirRec)
            return stubReportError("RTDirExists failed on '%s' which we just created!",
                                   pszExtractPath);
        int const rc = RTDirMake(pszExtractPath, 0700, 0);
        if (RT_FAILURE(rc))
            return stubReportError("Failed to create extraction path '%s': %Rrc", pszExtractPath,
                                   rc);
        *ppDirRec = stubCleanupAdd(pszExtractPath, false);
        if (!*ppDirRec)
        {
            /* Unrecorded, nobody would ever remove it. */
            RTDirDelete(pszExtractPath);
            return stubPrintErrorFailure("Failed to add cleanup record for dir '%s'",
                                         pszExtractPath);
        }
    }
    else if (!*ppDirRec)
    {
        /* Named with --path, or the temporary directory itself: only ever borrowed. */
        StubCleanupRecord *pRec = stubCleanupAdd(pszExtractPath, false);
        if (!pRec)
            return stubPrintErrorFailure("Failed to add cleanup record for existing dir '%s'",
                                         pszExtractPath);
        pRec->fKeep = true;
        *ppDirRec = pRec;
    }

    /*
     * A directory of ours was made a moment ago in a place others may write
     * to: if it is a junction or link now, someone put it there.  One that
     * was only borrowed is taken as it is.  The driver may have opened it
     * already, right after making it.
     */
    if ((*ppDirRec)->u.hDir == NIL_RTDIR)
    {
        int const rc = RTDirOpenPathFiltered(&(*ppDirRec)->u.hDir, pszExtractPath,
                                             RTDIRFILTER_NONE,
                                             (*ppDirRec)->fKeep ? 0 : RTDIR_F_NO_REPARSE);
        if (RT_FAILURE(rc))
            return stubReportError("Failed to open extraction path '%s': %Rrc", pszExtractPath,
                                   rc);
    }

    /* Only a change that can be undone exactly is made. */
    if (RT_FAILURE(RTPathGetCurrent(g_szStubPrevCwd, sizeof(g_szStubPrevCwd)))
        || RT_FAILURE(RTPathSetCurrent(pszExtractPath)))
        g_szStubPrevCwd[0] = '\0';
    return STUBEXIT_SUCCESS;
}

} // namespace

void stubLeaveExtractDir(void)
{
    if (g_szStubPrevCwd[0] && RT_FAILURE(RTPathSetCurrent(g_szStubPrevCwd)))
        RTPathSetCurrent("..");
    g_szStubPrevCwd[0] = '\0';
}

int stubCreateFileAnew(const char *pszFile, uint64_t *pidFile)
{
    char szNew[STUB_PATH_MAX];
    int rc = RTStrCopyInto(szNew, sizeof(szNew), pszFile);
    if (RT_SUCCESS(rc))
    {
        *RTPathFilename(szNew) = '\0';
        rc = RTStrAppendInto(szNew, sizeof(szNew), STUB_RANDOM_TEMPLATE);
    }
    RTFILE hFile = NIL_RTFILE;
    if (RT_SUCCESS(rc))
        rc = RTFileOpenUnique(&hFile, szNew, g_fStubOpenCreateNew);
    if (RT_FAILURE(rc))
        return rc;
    /* Held through the rename by a handle that lets it happen; deleted through it if it fails. */
    RTFSOBJINFO Info;
    RTFILE hBridge = NIL_RTFILE;
    rc = RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX);
    if (RT_SUCCESS(rc))
        rc = RTFileReopen(hFile, false, &hBridge);
    RTFileClose(hFile);
    if (RT_SUCCESS(rc))
        rc = RTFileRename(szNew, pszFile, true);
    if (RT_FAILURE(rc))
        stubDeleteThroughBridge(hBridge);
    else
    {
        RTFileClose(hBridge);
        if (pidFile)
            *pidFile = Info.Attr.u.Unix.INodeId;
    }
    return rc;
}

int stubExtractPackage(const char *pszResName, const char *pszFile, RTFILE hFile,
                       unsigned idxPackage)
{
    if (!pszResName || !pszFile)
        return KERR_INVALID_POINTER;

    int rc;
    uint64_t idNew = 0;
    bool const fAnew = hFile == NIL_RTFILE;
    if (fAnew)
    {
        /* Opened again by its name: the file ID below tells whether it is still ours. */
        rc = stubCreateFileAnew(pszFile, &idNew);
        if (RT_SUCCESS(rc))
            rc = RTFileOpenPath(&hFile, pszFile, g_fStubOpenCreated);
        if (RT_FAILURE(rc))
            return stubPrintErrorStatus(rc, "#%u: Failed to create/replace '%s' for writing: %Rrc",
                                        idxPackage, pszFile, rc);
    }

    StubCleanupRecord *pRec = stubCleanupAdd(pszFile, true);
    if (!pRec)
    {
        /* Unrecorded, the file would outlive the run. */
        RTFILE hBridge = NIL_RTFILE;
        RTFileReopen(hFile, false, &hBridge);
        RTFileClose(hFile);
        stubDeleteThroughBridge(hBridge);
        return KERR_NO_MEMORY;
    }
    pRec->idxPackage = idxPackage;
    pRec->u.hFile = hFile;

    const void *pvBlob = nullptr;
    uint32_t cbBlob = 0;
    rc = stubFindResource(pszResName, &pvBlob, &cbBlob);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: Failed to locate resource '%s': %Rrc", idxPackage,
                                    pszResName, rc);

    rc = RTFileWrite(hFile, pvBlob, cbBlob, nullptr);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: RTFileWrite('%s',, %#x,) failed: %Rrc", idxPackage,
                                    pszFile, cbBlob, rc);

    RTFSOBJINFO Info;
    rc = RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", idxPackage,
                                    pszFile, rc);
    uint64_t const idFile = Info.Attr.u.Unix.INodeId;
    if (fAnew && idFile != idNew)
        return stubPrintErrorStatus(KERR_MISMATCH,
                                    "#%u: File ID of '%s' changed: %#RX64, expected %#RX64",
                                    idxPackage, pszFile, idFile, idNew);
    pRec->idFile = idFile;

    /* Never without a handle: the bridge comes before the writing handle goes. */
    RTFILE hBridge = NIL_RTFILE;
    rc = RTFileOpenPath(&hBridge, pszFile, g_fStubOpenBridge);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: First re-opening of '%s' failed: %Rrc", idxPackage,
                                    pszFile, rc);
    rc = RTFileClose(hFile);
    pRec->u.hFile = hBridge;
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: RTFileClose('%s') failed: %Rrc", idxPackage, pszFile,
                                    rc);

    /* Denying writes only works once nobody, the writing handle included, may write. */
    RTFILE hKept = NIL_RTFILE;
    rc = RTFileOpenPath(&hKept, pszFile, g_fStubOpenKept);
    if (RT_FAILURE(rc))
        return stubPrintErrorStatus(rc, "#%u: Second re-opening of '%s' failed: %Rrc", idxPackage,
                                    pszFile, rc);
    pRec->u.hFile = hKept;
    rc = RTFileClose(hBridge);
    if (RT_FAILURE(rc))
        stubPrintError("#%u: Failed to close 2nd handle to '%s': %Rrc", idxPackage, pszFile, rc);

    return stubVerifyPackage(hKept, pszFile, idxPackage, (const uint8_t *)pvBlob, cbBlob, idFile);
}

StubExit stubExtractPackages(unsigned cPackages, const char *pszExtractPath, bool fExtractOnly,
                             StubCleanupRecord **ppDirRec)
{
    StubExit rcExit = stubPrepareExtractDir(pszExtractPath, ppDirRec);
    if (rcExit != STUBEXIT_SUCCESS)
        return rcExit;

    for (unsigned idxPackage = 0; idxPackage < cPackages; idxPackage++)
    {
        const PackageHeader *pHdr = stubFindPackageHeader(idxPackage);
        if (!pHdr)
            return STUBEXIT_FAILURE;
        if (!fExtractOnly && !stubPackageAppliesToHost(pHdr->uArch))
            continue;

        /*
         * Packages for one architecture get a name nobody can have prepared
         * for them, but a cabinet keeps its own: the Windows Installer looks
         * for it under the name in the database, beside it.
         */
        char szFile[STUB_PATH_MAX];
        RTFILE hFile = NIL_RTFILE;
        const char *pszSuffix = RTPathSuffix(pHdr->szFileName);
        int rc;
        if (fExtractOnly || pHdr->uArch == PKG_ARCH_ANY
            || (pszSuffix && !RTStrCmpAsciiNoCase(pszSuffix, ".cab")))
            rc = RTPathJoin(szFile, sizeof(szFile), pszExtractPath, pHdr->szFileName);
        else
        {
            rc = RTPathJoin(szFile, sizeof(szFile), pszExtractPath, STUB_RANDOM_TEMPLATE);
            if (RT_SUCCESS(rc) && pszSuffix)
                rc = RTStrAppendInto(szFile, sizeof(szFile), pszSuffix);
            if (RT_SUCCESS(rc))
            {
                rc = RTFileOpenUnique(&hFile, szFile, g_fStubOpenCreateNew);
                if (RT_FAILURE(rc))
                    return stubReportError(
                        "Failed to create unique filename for '%s' in '%s': %Rrc", pHdr->szFileName,
                        pszExtractPath, rc);
            }
        }
        if (RT_FAILURE(rc))
            return stubReportError("Internal error: Build extraction file name failed: %Rrc", rc);

        rc = stubExtractPackage(pHdr->szResName, szFile, hFile, idxPackage);
        if (RT_FAILURE(rc))
            return stubReportError("Error extracting package #%u (%s): %Rrc", idxPackage,
                                   pHdr->szFileName, rc);
    }
    return STUBEXIT_SUCCESS;
}
