/*
 * Kestrelyn Installer: what the stub's modules share.
 *
 * The stub is one run from the command line to the cleanup: the driver owns
 * the run state and the order of the steps, and calls the payload lookup,
 * extraction, cleanup, display and installation modules declared here.  The
 * payload records are the byte layouts of the executable's own raw-data
 * resources, read in place and never written.
 */
#ifndef QORNSTUB_H
#define QORNSTUB_H

#include <zelk/dir.h>
#include <zelk/file.h>
#include <zelk/path.h>
#include <zelk/types.h>

/*
 * Exit codes of the installer (stubMain's result and the process's): a type
 * of their own, so that the compiler keeps them apart from statuses, which
 * share int's values with them (RT_SUCCESS(STUBEXIT_FAILURE) does not
 * compile).  iCode is the plain integer.
 */
struct StubExit
{
    int iCode;
    constexpr bool operator==(StubExit Other) const { return iCode == Other.iCode; }
    constexpr bool operator!=(StubExit Other) const { return iCode != Other.iCode; }
};
constexpr StubExit STUBEXIT_SUCCESS = { 0 };
constexpr StubExit STUBEXIT_FAILURE = { 1 };
constexpr StubExit STUBEXIT_SYNTAX = { 2 };
constexpr StubExit STUBEXIT_INIT = { 3 };
constexpr StubExit STUBEXIT_REBOOT = { 3010 };
/* The installation succeeded and the Windows Installer has started a restart. */
constexpr StubExit STUBEXIT_RESTARTING = { 1641 };
/* With --msi-exit-codes: another installation holds the lock (ERROR_INSTALL_ALREADY_RUNNING). */
constexpr StubExit STUBEXIT_BUSY = { 1618 };
/* Not an exit code: stubParseCommandLine's "carry on with the run". */
constexpr StubExit STUBEXIT_CONTINUE = { -1 };

/* Sizes of the run state's buffers, terminator included. */
#define STUB_PATH_MAX       RTPATH_MAX
#define STUB_MSI_PARAMS_MAX 4096

/* Template of the extraction directory's and the package files' random names. */
#define STUB_RANDOM_TEMPLATE "XXXXXXXXXXXXXXXXXXXXXXXX"

/*
 * The run state that the options set.  The silent flag and the verbosity
 * are process-wide (g_fStubSilent, g_cStubVerbosity): the displays read them.
 */
typedef struct STUBRUNSTATE
{
    char szExtractPath[STUB_PATH_MAX];
    char szMsiParams[STUB_MSI_PARAMS_MAX];
    char szMsiLogFile[STUB_PATH_MAX];
    bool fExtractOnly;
    bool fInstallCert;
    bool fLogging;
    bool fIgnoreReboot;
} STUBRUNSTATE;

extern bool g_fStubSilent;
extern unsigned g_cStubVerbosity;
/* --msi-exit-codes: a failed installation exits with the Windows Installer's answer. */
extern bool g_fStubMsiExitCodes;
/*
 * --wait: what is left of the time to wait for another installation (ms),
 * and the pauses made so far, which set the next pause's length.
 */
extern uint32_t g_cStubWaitMsLeft;
extern unsigned g_cStubWaitPauses;

/*
 * One pause of the wait for another installation: false when no time is
 * left.  The first pause of a silent run says so on standard output.
 */
bool stubWaitPause(void);

/*
 * Payload records.
 */

/* The manifest, the package headers and the resource names (tools/payload_layout.py). */
#include "QornStubPayload.h"

/*
 * Finds the raw-data resource pszName of the executable (neutral-language
 * lookup, so any stored language is found).
 * @param pszName   UTF-8 name.
 * @param ppvData   receives the read-only address of its bytes.
 * @param pcbData   optional; receives its size.
 * @returns 0; KERR_INVALID_PARAMETER for a missing name or output, the
 *          UTF-16 conversion's status, KERR_GENERAL_FAILURE when not found,
 *          not loadable or not wholly inside the image, KERR_NO_DATA when
 *          empty.  The outputs are written
 *          on success only.
 */
int stubFindResource(const char *pszName, const void **ppvData, uint32_t *pcbData);

/*
 * The header of package idxPackage, or null after showing "Internal error:
 * Could not find package header #n: status".  A resource shorter than the
 * header (KERR_BAD_LENGTH), whose names lack their terminator inside their
 * fields, or whose file name is not a bare name (KERR_INVALID_NAME) is
 * refused like a missing one.
 */
const PackageHeader *stubFindPackageHeader(unsigned idxPackage);

/*
 * Whether a header's file name names a file inside the extraction directory
 * and nothing else: not empty, not "." or "..", without a slash, backslash
 * or colon (no path, no drive, no stream), not ending in a dot or blank
 * (Windows would drop them), and not a device name (CON, PRN, AUX, NUL,
 * CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 in any case, with any suffix).
 */
bool stubIsBareFileName(const char *pszName);

/* Non-zero on a 64-bit Windows host. */
unsigned stubIsHost64Bit(void);

/* Whether a package of architecture uArch is for this host (extract-only aside). */
bool stubPackageAppliesToHost(uint32_t uArch);

/*
 * Cleanup records.
 */

/* Package index of records that belong to no package. */
#define STUB_NO_PACKAGE UINT32_C(0xFFFFFFFF)

typedef struct StubCleanupRecord
{
    struct StubCleanupRecord *pNext;
    struct StubCleanupRecord *pPrev;
    uint32_t idxPackage; /* STUB_NO_PACKAGE, or the package a file record holds */
    bool fFile;          /* a file record, else a directory record */
    bool fKeep;          /* close the handle, never delete the object */
    uint64_t idFile;     /* a file record's file ID, from its creation; 0 when unknown */
    union
    {
        RTFILE hFile; /* NIL_RTFILE when none */
        RTDIR hDir;   /* NIL_RTDIR when none */
    } u;
    char szPath[1]; /* the full path, stored inline */
} StubCleanupRecord;

/*
 * Deletes the file that hBridge is open on (a handle from RTFileReopen that
 * shares everything, opened before the handles that deny deletion were
 * closed) through a handle with delete access opened from it, and closes
 * hBridge.  No name is looked up.  Returns 0, or KERR_SHARING_VIOLATION
 * while another handle to the file denies deletion, or another failure.
 */
int stubDeleteThroughBridge(RTFILE hBridge);

/* Empties the list without looking at what was in it (start of a run). */
void stubCleanupInit(void);

/*
 * Records pszPath (a file when fFile, else a directory) at the front of the
 * list, with no handle and no package.  Returns the record, or null after
 * showing "Out of memory!".
 */
StubCleanupRecord *stubCleanupAdd(const char *pszPath, bool fFile);

/* The newest record of package idxPackage, or null. */
StubCleanupRecord *stubCleanupFindPackage(uint32_t idxPackage);

/*
 * Deletes what is not kept, newest first, in up to five passes with 100 ms
 * and then 3 s between them, and closes every recorded handle.  Deletion
 * goes through the handles held since the creation, and in later passes
 * by the file's name below its directory's handle (the directory record
 * next older than it), never by a full path.  A directory goes once it is
 * empty; the handle of a directory record is kept until then (at most to
 * the last pass), also for the retries of the files in it.
 */
void stubCleanupRun(void);

/*
 * Unlinks and frees every record left, closing their handles (a close that
 * fails is reported as in the cleanup) and touching nothing on disk.
 */
void stubCleanupRelease(void);

/*
 * Extraction.
 */

/*
 * Writes every package that applies (every package when fExtractOnly) into
 * pszExtractPath, creating or adopting the directory and keeping it open in
 * *ppDirRec, and verifies each file.  Returns 0, or 1 after reporting.
 */
StubExit stubExtractPackages(unsigned cPackages, const char *pszExtractPath, bool fExtractOnly,
                             StubCleanupRecord **ppDirRec);

/*
 * Makes the current directory what it was before stubExtractPackages made
 * the extraction directory the current one, if it did; when that directory
 * can't be entered any more, its parent, so that it can be removed.
 */
void stubLeaveExtractDir(void);

/*
 * Creates pszFile as a new empty file: made under a unique name in the same
 * directory, then renamed over whatever has the name (a file or a link, not
 * followed).  Returns 0 and, when pidFile is given, the new file's ID; else
 * the failing step's status, with nothing left behind.
 */
int stubCreateFileAnew(const char *pszFile, uint64_t *pidFile);

/*
 * Writes the blob pszResName to pszFile (through hFile when it is open, else
 * creating the file anew with stubCreateFileAnew), records it as package idxPackage and
 * verifies it, leaving it open for reading only.  Returns 0,
 * KERR_INVALID_POINTER for a missing name or path, or the failing step's
 * status after an "error: " line on standard error.
 */
int stubExtractPackage(const char *pszResName, const char *pszFile, RTFILE hFile,
                       unsigned idxPackage);

/*
 * Command line.
 */

/*
 * Applies the options of argv[1..argc-1] to pState in their order.  Returns
 * STUBEXIT_CONTINUE when the run goes on, else the exit code to end with
 * (0 after the help or version, 2 after a command-line error, 1 when the
 * parser can't start), the message already shown.
 */
StubExit stubParseCommandLine(STUBRUNSTATE *pState, int argc, char **argv);

/*
 * Displays.  The report functions follow the silent flag at the time of the
 * call: a message box titled "Kestrelyn Installer", or the standard streams.
 * The print functions always write "error: " lines to standard error.
 */
StubExit stubReportError(const char *pszFormat, ...);
void stubReportInfo(const char *pszFormat, ...);
StubExit stubReportSyntaxError(const char *pszFormat, ...);
ptrdiff_t stubPrintError(const char *pszFormat, ...);
StubExit stubPrintErrorFailure(const char *pszFormat, ...);
int stubPrintErrorStatus(int rc, const char *pszFormat, ...);

/*
 * Installation steps after the extraction.
 */

/*
 * Installs one package; 0, 3010, 1641, or on failure 1 (with
 * --msi-exit-codes the Windows Installer's answer).  An answer of 1618 is
 * retried while the wait allows.
 */
StubExit stubInstallMsi(const char *pszPackage, const char *pszParams, const char *pszLogFile);

/* Copies ".custom" beside the executable into pszExtractPath; 0 or 1. */
StubExit stubCopyCustomDir(const char *pszExtractPath);

/*
 * Adds a certificate to a system store of fLocation (CERT_SYSTEM_STORE_*),
 * creating the store if needed; true when it is there.  Each failure writes
 * its "error: " line with the last Windows error to standard error.
 */
bool stubAddCertToStore(uint32_t fLocation, const char *pszStoreName, const uint8_t *pbCert,
                        uint32_t cbCert);

/*
 * The certificates that silent runs add to the trusted publishers, by the
 * names of the raw-data resources that hold them (DER X.509).  The build puts
 * the publisher's certificate into the resource "CERT"; a packer may put
 * another one in its place, of any size.
 */
extern const char *const g_apszStubCerts[];
extern const size_t g_cStubCerts;

/*
 * Adds the certificate of resource pszResource to a system store, as
 * stubAddCertToStore does.  A missing or empty resource is no certificate,
 * and fails the way such bytes do.
 */
bool stubAddCertResourceToStore(uint32_t fLocation, const char *pszStoreName,
                                const char *pszResource);

#endif
