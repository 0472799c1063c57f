/*
 * Kestrelyn Installer: the installer stub's driver.
 *
 * stubMain runs the whole installation on the start-up thread: it parses the
 * command line, takes the machine-wide single-instance lock, settles the
 * extraction directory, extracts and verifies the packages, copies the
 * custom directory, adds the certificate in silent runs, installs each MSI
 * package for this host, and cleans up.  Once the extraction directory
 * exists, every way out goes through the cleanup, so a failed run leaves no
 * empty directory behind in the temporary directory; only an extract-only
 * run keeps what it wrote.
 */
#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/path.h>
#include <zelk/stream.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "QornStubLock.h"
#include "win.h"

#include <wincrypt.h>

namespace {

const char g_szStubManifest[] = STUB_RES_MANIFEST;
const char g_szStubLogName[] = "QornInstallLog.txt";

/*
 * Makes the extraction directory pState->szExtractPath with mode 0700 (with
 * fUnique, a new one of 24 random characters inside it, whose name is
 * appended) and records it, so that the cleanup removes it.
 */
int stubMakeExtractDir(STUBRUNSTATE *pState, StubCleanupRecord **ppDirRec, bool fUnique)
{
    int rc;
    if (!fUnique)
        rc = RTDirMake(pState->szExtractPath, 0700, 0);
    else
    {
        rc = RTPathAppend(pState->szExtractPath, sizeof(pState->szExtractPath),
                          STUB_RANDOM_TEMPLATE);
        if (RT_SUCCESS(rc))
            rc = RTDirMakeUnique(pState->szExtractPath, 0700);
    }
    if (RT_SUCCESS(rc))
    {
        *ppDirRec = stubCleanupAdd(pState->szExtractPath, false);
        if (!*ppDirRec)
        {
            /* Unrecorded, nobody would ever remove it. */
            RTDirDelete(pState->szExtractPath);
            rc = KERR_NO_MEMORY;
        }
        else
            /*
             * Held from the start, as the cleanup deletes through the handle.  A
             * junction or link in its place already is refused, and the
             * extraction, which opens it again then, says so.
             */
            RTDirOpenPathFiltered(&(*ppDirRec)->u.hDir, pState->szExtractPath, RTDIRFILTER_NONE,
                                  RTDIR_F_NO_REPARSE);
    }
    return rc;
}

/*
 * The extraction directory in the temporary directory, unless --path named
 * one.  A failure releases the lock before its message: a box may wait for a
 * click for long, and meanwhile another installer may run.  Extract-only
 * runs write where they are told.
 */
StubExit stubSettleExtractPath(STUBRUNSTATE *pState, StubCleanupRecord **ppDirRec, STUBLOCK *pLock)
{
    if (pState->szExtractPath[0])
    {
        if (pState->fExtractOnly)
            return STUBEXIT_SUCCESS;
        /*
         * A directory that the run makes is its own; one that exists already
         * belongs to someone else, who may have put anything in it (a cabinet
         * of the right name, a link under the log's name), so the run makes a
         * new private directory inside it and works there.
         */
        int rc = stubMakeExtractDir(pState, ppDirRec, false);
        if (rc == KERR_ALREADY_EXISTS)
            rc = stubMakeExtractDir(pState, ppDirRec, true);
        if (RT_SUCCESS(rc))
            return STUBEXIT_SUCCESS;
        stubLockRelease(pLock);
        return stubReportError("Failed to create extraction path '%s': %Rrc",
                               pState->szExtractPath, rc);
    }
    /*
     * Absolute before use: the extraction makes the new directory the current
     * one, and a relative name would then point somewhere else.
     */
    char szTemp[STUB_PATH_MAX];
    int rc = RTPathTemp(szTemp, sizeof(szTemp));
    if (RT_SUCCESS(rc))
        rc = RTPathAbs(szTemp, pState->szExtractPath, sizeof(pState->szExtractPath));
    if (RT_FAILURE(rc))
    {
        stubLockRelease(pLock);
        return stubReportError("Failed to find temporary directory: %Rrc", rc);
    }
    if (pState->fExtractOnly)
        return STUBEXIT_SUCCESS;

    rc = stubMakeExtractDir(pState, ppDirRec, true);
    if (RT_FAILURE(rc))
    {
        stubLockRelease(pLock);
        return stubReportError("Failed to create extraction path: %Rrc", rc);
    }
    return STUBEXIT_SUCCESS;
}

/* --verbose: both standard streams go to a console of our own from here on. */
StubExit stubOpenConsole(void)
{
    if (!AllocConsole())
        return stubReportError("Unable to allocate console: LastError=%u\n", GetLastError());
    /*
     * Read and write, not append: a console refuses writes through a handle
     * that may only append, and there is nothing to append to anyway.
     */
    PRTSTREAM pConsole = nullptr;
    if (RT_SUCCESS(RTStrmOpenFile("CONOUT$", "r+", &pConsole)))
    {
        RTStrmSetBuffering(pConsole, RTSTRMBUFMODE_UNBUFFERED);
        g_pStdOut = pConsole;
        g_pStdErr = pConsole;
    }
    return STUBEXIT_SUCCESS;
}

void stubPrintSummary(const STUBRUNSTATE *pState)
{
    RTStrmFmt(g_pStdOut, "Extraction path          : %s\n", pState->szExtractPath);
    RTStrmFmt(g_pStdOut, "Silent installation      : %s\n", g_fStubSilent ? "true" : "false");
    RTStrmFmt(g_pStdOut, "Certificate installation : %s\n",
              pState->fInstallCert ? "true" : "false");
    RTStrmFmt(g_pStdOut, "Additional MSI parameters: %s\n",
              pState->szMsiParams[0] ? pState->szMsiParams : "<None>");
    RTStrmFmt(g_pStdOut, "Logging to file          : %s\n",
              pState->szMsiLogFile[0] ? pState->szMsiLogFile : "<None>");
}

/* Installs the extracted packages for this host in index order; the run's result so far comes in. */
StubExit stubInstallPackages(const STUBRUNSTATE *pState, unsigned cPackages, StubExit rcExit)
{
    for (unsigned idxPackage = 0;
         idxPackage < cPackages && (rcExit == STUBEXIT_SUCCESS || rcExit == STUBEXIT_REBOOT);
         idxPackage++)
    {
        const PackageHeader *pHdr = stubFindPackageHeader(idxPackage);
        if (!pHdr)
            return STUBEXIT_FAILURE;
        if (!stubPackageAppliesToHost(pHdr->uArch))
            continue;

        StubCleanupRecord *pRec = stubCleanupFindPackage(idxPackage);
        if (!pRec)
            return stubPrintErrorFailure("Package #%u not found in cleanup records", idxPackage);
        RTPathChangeToDosSlashes(pRec->szPath, true);
        const char *pszSuffix = RTPathSuffix(pRec->szPath);
        StubExit rcStep;
        if (pszSuffix && !RTStrCmpAsciiNoCase(pszSuffix, ".msi"))
            rcStep = stubInstallMsi(pRec->szPath, pState->szMsiParams,
                                    pState->szMsiLogFile[0] ? pState->szMsiLogFile : nullptr);
        else if (pszSuffix && !RTStrCmpAsciiNoCase(pszSuffix, ".cab"))
            rcStep = STUBEXIT_SUCCESS; /* the database next to it refers to it */
        else
            rcStep = stubReportError("Internal error: Do not know how to handle file '%s' (%s).",
                                     pHdr->szFileName, pRec->szPath);
        /* A reboot asked for by an earlier package survives later successes. */
        if (rcStep != STUBEXIT_SUCCESS)
            rcExit = rcStep;
    }
    return rcExit;
}

/* The steps between the summary and the cleanup. */
StubExit stubRunPayload(STUBRUNSTATE *pState, StubCleanupRecord **ppDirRec)
{
    if (!pState->fExtractOnly && !g_fStubSilent && !stubIsHost64Bit())
        return stubReportError("32-bit Windows hosts are not supported by this Kestrelyn release.");

    const void *pvManifest = nullptr;
    uint32_t cbManifest = 0;
    int rc = stubFindResource(g_szStubManifest, &pvManifest, &cbManifest);
    if (RT_SUCCESS(rc) && cbManifest < sizeof(PackageManifest))
        rc = KERR_BAD_LENGTH;
    if (RT_FAILURE(rc))
        return stubReportError("Internal package error: Manifest not found (%Rrc)", rc);
    unsigned const cPackages = ((const PackageManifest *)pvManifest)->cPackages;

    /*
     * Packages, none of them for this host: nothing would be installed, and a
     * deployment tool must not read that as success.  (A missing header is
     * reported here as the extraction would report it.)
     */
    bool fForHost = !cPackages || pState->fExtractOnly;
    for (unsigned idxPackage = 0; idxPackage < cPackages && !fForHost; idxPackage++)
    {
        const PackageHeader *pHdr = stubFindPackageHeader(idxPackage);
        if (!pHdr)
            return STUBEXIT_FAILURE;
        fForHost = stubPackageAppliesToHost(pHdr->uArch);
    }
    if (!fForHost)
        return stubReportError("This installer has no package for this host (%s).",
                               stubIsHost64Bit() ? "amd64" : "x86");

    StubExit rcExit = stubExtractPackages(cPackages, pState->szExtractPath, pState->fExtractOnly,
                                          ppDirRec);
    if (rcExit != STUBEXIT_SUCCESS)
        return rcExit;
    if (pState->fExtractOnly)
    {
        stubReportInfo("Files were extracted to: %s", pState->szExtractPath);
        return STUBEXIT_SUCCESS;
    }

    rcExit = stubCopyCustomDir(pState->szExtractPath);
    if (rcExit == STUBEXIT_SUCCESS && pState->fInstallCert && g_fStubSilent)
        for (size_t iCert = 0; iCert < g_cStubCerts; iCert++)
            if (!stubAddCertResourceToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, "TrustedPublisher",
                                            g_apszStubCerts[iCert]))
            {
                rcExit = stubReportError(
                    "Failed to add our certificate(s) to trusted publisher store.");
                break;
            }

    return stubInstallPackages(pState, cPackages, rcExit);
}

} // namespace

int stubMain(int argc, char **argv)
{
    int rc = RTR3Init(&argc, &argv, RTR3INIT_FLAGS_SYSTEM32_ONLY);
    if (RT_FAILURE(rc))
        return RTMsgReportInitFailure(rc);

    /* 12 KiB of buffers: kept off the start-up thread's stack. */
    static STUBRUNSTATE s_State;
    STUBRUNSTATE *pState = &s_State;
    RTMemSet(pState, 0, sizeof(*pState));
    pState->fInstallCert = true;
    StubExit rcExit = stubParseCommandLine(pState, argc, argv);
    if (rcExit != STUBEXIT_CONTINUE)
        return rcExit.iCode;

    STUBLOCK Lock;
    while (!stubLockAcquire(&Lock))
        if (!stubWaitPause())
        {
            stubReportError("Another installer is already running");
            return (g_fStubMsiExitCodes ? STUBEXIT_BUSY : STUBEXIT_FAILURE).iCode;
        }

    stubCleanupInit();
    StubCleanupRecord *pDirRec = nullptr;
    rcExit = stubSettleExtractPath(pState, &pDirRec, &Lock);
    if (rcExit != STUBEXIT_SUCCESS)
        return rcExit.iCode;
    RTPathChangeToDosSlashes(pState->szExtractPath, true);

    /* From here on every failure still removes the directory made above. */
    bool fConsole = false;
    if (g_cStubVerbosity >= 1)
    {
        rcExit = stubOpenConsole();
        fConsole = rcExit == STUBEXIT_SUCCESS;
    }
    if (rcExit == STUBEXIT_SUCCESS)
    {
        if (!pState->fLogging && pState->szMsiLogFile[0])
            pState->fLogging = true;
        if (pState->fLogging && !pState->szMsiLogFile[0])
        {
            rc = RTPathJoin(pState->szMsiLogFile, sizeof(pState->szMsiLogFile),
                            pState->szExtractPath, g_szStubLogName);
            if (RT_FAILURE(rc))
                rcExit = stubReportError("Error creating MSI log file name, rc=%Rrc", rc);
        }
    }
    if (rcExit == STUBEXIT_SUCCESS)
    {
        if (g_cStubVerbosity >= 1)
            stubPrintSummary(pState);
        rcExit = stubRunPayload(pState, &pDirRec);
    }

    /*
     * The extract-only flow keeps whatever it wrote, failure or not.  A
     * directory holding the log stays, as it is not empty, and one that
     * --path named was never ours.
     */
    if (!pState->fExtractOnly)
    {
        /* Out of the extraction directory, or it can't be removed. */
        stubLeaveExtractDir();
        stubCleanupRun();
    }
    stubCleanupRelease();

    if (fConsole)
        FreeConsole();
    stubLockRelease(&Lock);
    if (rcExit == STUBEXIT_REBOOT && pState->fIgnoreReboot)
        rcExit = STUBEXIT_SUCCESS;
    return rcExit.iCode;
}

extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv)
{
    (void)papszEnv;
    return stubMain(cArgs, papszArgs);
}
