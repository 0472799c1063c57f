/*
 * Kestrelyn Installer: the ".custom" directory beside the executable, copied
 * into the extraction directory for the packages to find.
 *
 * The installer often runs elevated, as SYSTEM, from a folder that others
 * can write to, so the copy is a walk of its own that follows nothing.
 * Every item is opened relative to the directory handle it was listed in,
 * as itself (never through a reparse point), and a link, junction or other
 * reparse point anywhere in the tree, ".custom" itself included, refuses the
 * whole copy: an install with part of its custom files left out silently
 * would be worse than one that stops and says why.  So does a tree of more
 * than STUB_CUSTOM_MAX_ENTRIES items or STUB_CUSTOM_MAX_MIB of file data.
 * A first pass checks the whole tree and writes nothing, so that a refused
 * tree leaves nothing behind; the copying pass checks every item again as
 * it opens it.  Everything in the copy is created new.  Only the copied
 * directory itself is recorded for the cleanup (held open until then), not
 * the files in it, so a ".custom" that is not empty stays on disk together
 * with the extraction directory.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "nt.h"

namespace {

const char g_szStubCustomDir[] = ".custom";
WCHAR g_wszStubCustomDir[] = L".custom";

/* Bounds of one copy: items (".custom" itself included), and bytes of file data. */
#define STUB_CUSTOM_MAX_ENTRIES 10000
#define STUB_CUSTOM_MAX_MIB     1024
#define STUB_CUSTOM_STR(a)      STUB_CUSTOM_STR2(a)
#define STUB_CUSTOM_STR2(a)     #a
const uint64_t g_cbStubCustomMax = (uint64_t)STUB_CUSTOM_MAX_MIB << 20;

/* The walk's state, kept out of the stack frames of the recursion. */
struct STUBCUSTOMWALK
{
    bool fFound;
    uint32_t cEntries;
    uint64_t cbData;
    /* The item's path from the executable's directory, for the messages. */
    size_t cwcRel;
    RTUTF16 wszRel[STUB_PATH_MAX];
    /* One directory entry at a time; a name has at most 255 units. */
    union
    {
        FILE_DIRECTORY_INFORMATION Info;
        uint8_t ab[sizeof(FILE_DIRECTORY_INFORMATION) + 256 * sizeof(WCHAR)];
    } Entry;
    uint8_t abData[65536];
};
STUBCUSTOMWALK g_StubCustom;

/* Shows why the copy failed at the current item: pszWhy is a text, or "%Rrc" for rc. */
StubExit stubCustomFail(const char *pszWhy, int rc = 0)
{
    return stubReportError("Copying '%ls' failed: %M", g_StubCustom.wszRel, pszWhy, rc);
}

const char g_szStubCustomStatus[] = "%Rrc";
const char g_szStubCustomLink[] = "a link or junction";

/* Counts cb bytes of file data; false (after the message) past the bound. */
bool stubCustomCountData(uint64_t cb)
{
    if ((g_StubCustom.cbData += cb) <= g_cbStubCustomMax)
        return true;
    stubCustomFail("over " STUB_CUSTOM_STR(STUB_CUSTOM_MAX_MIB) " MiB");
    return false;
}

/* Opens (FILE_OPEN) or creates (FILE_CREATE) pName below hDir; a reparse point is opened as itself. */
NTSTATUS stubCustomOpen(HANDLE *phItem, HANDLE hDir, UNICODE_STRING *pName, ACCESS_MASK fAccess,
                        ULONG uDisposition, ULONG fOptions)
{
    return rtNtOpenRelative(phItem, hDir, pName, fAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            uDisposition, fOptions | FILE_OPEN_REPARSE_POINT);
}

StubExit stubCustomCopyData(HANDLE hSrc, HANDLE hDst)
{
    STUBCUSTOMWALK *const pWalk = &g_StubCustom;
    for (;;)
    {
        DWORD cbRead = 0;
        DWORD cbWritten;
        if (!RT_NT_SYS(ReadFile)(hSrc, pWalk->abData, sizeof(pWalk->abData), &cbRead, nullptr))
            break;
        if (!cbRead)
            return STUBEXIT_SUCCESS;
        if (!stubCustomCountData(cbRead))
            return STUBEXIT_FAILURE;
        if (!RT_NT_SYS(WriteFile)(hDst, pWalk->abData, cbRead, &cbWritten, nullptr))
            break;
    }
    return stubCustomFail(g_szStubCustomStatus, RTErrConvertFromWin32(GetLastError()));
}

StubExit stubCustomWalk(HANDLE hSrcDir, HANDLE hDstDir, bool fTop);

/*
 * One listed item pName below hSrcDir, with the attributes and size its
 * entry gave: checked, and unless hDstDir is null, copied into it.
 */
StubExit stubCustomItem(HANDLE hSrcDir, HANDLE hDstDir, UNICODE_STRING *pName, ULONG fAttribs,
                   uint64_t cbFile)
{
    /* Wine lists a Unix link to a directory as a reparse point, but opens it as its target. */
    if (fAttribs & FILE_ATTRIBUTE_REPARSE_POINT)
        return stubCustomFail(g_szStubCustomLink);
    bool const fDir = (fAttribs & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!fDir && !hDstDir)
        return stubCustomCountData(cbFile) ? STUBEXIT_SUCCESS : STUBEXIT_FAILURE;

    /* The kind the entry named, or the open fails: nothing swapped in since is taken. */
    ULONG const fKind = fDir ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE;
    HANDLE hSrc = nullptr;
    HANDLE hDst = nullptr;
    StubExit rcExit = STUBEXIT_FAILURE;
    FILE_ATTRIBUTE_TAG_INFORMATION Tag;
    NTSTATUS rcNt = stubCustomOpen(&hSrc, hSrcDir, pName, FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                   FILE_OPEN, fKind);
    if (NT_SUCCESS(rcNt))
        rcNt = rtNtQueryFileInfo(hSrc, &Tag, sizeof(Tag), FileAttributeTagInformation);
    if (NT_SUCCESS(rcNt) && (Tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        stubCustomFail(g_szStubCustomLink);
    else
    {
        if (NT_SUCCESS(rcNt) && hDstDir)
            rcNt = stubCustomOpen(&hDst, hDstDir, pName,
                                  fDir ? FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY
                                       : FILE_WRITE_DATA,
                                  FILE_CREATE, fKind);
        if (!NT_SUCCESS(rcNt))
            stubCustomFail(g_szStubCustomStatus, RTErrConvertFromNtStatus(rcNt));
        else
            rcExit = fDir ? stubCustomWalk(hSrc, hDst, false) : stubCustomCopyData(hSrc, hDst);
    }
    if (hDst)
        RT_NT_SYS(NtClose)(hDst);
    if (hSrc)
        RT_NT_SYS(NtClose)(hSrc);
    return rcExit;
}

/*
 * The items of hSrcDir, or with fTop only the one named ".custom" (nothing
 * when it is missing or no directory).  hDstDir as for stubCustomItem.
 */
StubExit stubCustomWalk(HANDLE hSrcDir, HANDLE hDstDir, bool fTop)
{
    STUBCUSTOMWALK *const pWalk = &g_StubCustom;
    UNICODE_STRING Filter = { sizeof(g_wszStubCustomDir) - sizeof(WCHAR),
                              sizeof(g_wszStubCustomDir), g_wszStubCustomDir };
    size_t const cwcParent = pWalk->cwcRel;
    for (BOOLEAN fRestart = TRUE;; fRestart = FALSE)
    {
        IO_STATUS_BLOCK Ios;
        FILE_DIRECTORY_INFORMATION const *pInfo = &pWalk->Entry.Info;
        NTSTATUS const rcNt = RT_NT_SYS(NtQueryDirectoryFile)(
            hSrcDir, nullptr, nullptr, nullptr, &Ios, &pWalk->Entry, sizeof(pWalk->Entry),
            FileDirectoryInformation, TRUE, fTop ? &Filter : nullptr, fRestart);
        if (rcNt == RTNT_STATUS_NO_MORE_FILES || rcNt == RTNT_STATUS_NO_SUCH_FILE
            || (fTop && !NT_SUCCESS(rcNt)))
            return STUBEXIT_SUCCESS;
        if (!NT_SUCCESS(rcNt))
            return stubCustomFail(g_szStubCustomStatus, RTErrConvertFromNtStatus(rcNt));
        size_t const cwcName = pInfo->FileNameLength / sizeof(WCHAR);
        if (pInfo->FileName[0] == '.'
            && (cwcName == 1 || (cwcName == 2 && pInfo->FileName[1] == '.')))
            continue;
        if (fTop && !(pInfo->FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return STUBEXIT_SUCCESS;
        pWalk->fFound = true;

        /* The path for the messages, whose tail is the name for the opens. */
        RTUTF16 *pwszName = &pWalk->wszRel[cwcParent];
        if (cwcParent + 1 + cwcName >= RT_ELEMENTS(pWalk->wszRel))
            return stubCustomFail(g_szStubCustomStatus, KERR_FILENAME_TOO_LONG);
        if (cwcParent)
            *pwszName++ = '\\';
        RTMemCopy(pwszName, pInfo->FileName, cwcName * sizeof(WCHAR));
        pwszName[cwcName] = 0;
        pWalk->cwcRel = (size_t)(pwszName - pWalk->wszRel) + cwcName;
        if (++pWalk->cEntries > STUB_CUSTOM_MAX_ENTRIES)
            return stubCustomFail("over " STUB_CUSTOM_STR(STUB_CUSTOM_MAX_ENTRIES) " items");

        UNICODE_STRING Name = { (USHORT)(cwcName * sizeof(WCHAR)),
                                (USHORT)(cwcName * sizeof(WCHAR)), (PWSTR)pwszName };
        StubExit const rcExit = stubCustomItem(hSrcDir, hDstDir, &Name, pInfo->FileAttributes,
                                          (uint64_t)pInfo->EndOfFile.QuadPart);
        if (rcExit != STUBEXIT_SUCCESS)
            return rcExit;
        pWalk->cwcRel = cwcParent;
    }
}

/* One walk over the tree from the executable's directory hExecDir; counts start afresh. */
StubExit stubCustomPass(HANDLE hExecDir, HANDLE hDstDir)
{
    g_StubCustom.cEntries = 0;
    g_StubCustom.cbData = 0;
    g_StubCustom.cwcRel = 0;
    return stubCustomWalk(hExecDir, hDstDir, true);
}

int stubCustomOpenDir(const char *pszPath, ACCESS_MASK fAccess, HANDLE *phDir)
{
    return rtNtPathOpen(pszPath, fAccess | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE,
                        phDir, nullptr);
}

} // namespace

StubExit stubCopyCustomDir(const char *pszExtractPath)
{
    char szExecDir[STUB_PATH_MAX];
    int rc = RTPathExecDir(szExecDir, sizeof(szExecDir));
    if (RT_FAILURE(rc))
        return stubReportError("Failed to construct '.custom' dir path: %Rrc", rc);
    /* A directory that can't be listed shows no ".custom". */
    HANDLE hExecDir;
    g_StubCustom.fFound = false;
    if (RT_FAILURE(stubCustomOpenDir(szExecDir, FILE_LIST_DIRECTORY, &hExecDir)))
        return STUBEXIT_SUCCESS;

    StubExit rcExit = stubCustomPass(hExecDir, nullptr);
    if (rcExit == STUBEXIT_SUCCESS && g_StubCustom.fFound)
    {
        HANDLE hDstDir;
        rc = stubCustomOpenDir(pszExtractPath, FILE_ADD_SUBDIRECTORY, &hDstDir);
        if (RT_FAILURE(rc))
            rcExit = stubReportError("Unable to open the destination .custom directory: %Rrc", rc);
        else
        {
            rcExit = stubCustomPass(hExecDir, hDstDir);
            RT_NT_SYS(NtClose)(hDstDir);
        }
    }
    RT_NT_SYS(NtClose)(hExecDir);
    if (rcExit != STUBEXIT_SUCCESS || !g_StubCustom.fFound)
        return rcExit;

    char *pszDst = RTPathJoinA(pszExtractPath, g_szStubCustomDir);
    if (!pszDst)
        return stubReportError("Out of memory!");
    StubCleanupRecord *pRec = stubCleanupAdd(pszDst, false);
    if (!pRec)
    {
        RTMemFree(pszDst);
        return STUBEXIT_FAILURE;
    }
    RTDIR hDir = NIL_RTDIR;
    rc = RTDirOpenPath(&hDir, pszDst);
    RTMemFree(pszDst);
    if (RT_FAILURE(rc))
        return stubReportError("Unable to open the destination .custom directory: %Rrc", rc);
    pRec->u.hDir = hDir;
    return STUBEXIT_SUCCESS;
}
