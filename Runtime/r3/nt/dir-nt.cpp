/*
 * Directory handles on native NT directory handles.  The directory is held
 * with read and write sharing but not delete, so nobody can remove or
 * rename it while the handle lives.  Whether the system can open a
 * symbolic link itself (the open-reparse-point option) is learnt from the
 * first open that asks, and remembered for the process.  A caller that has
 * just made a directory in a place others can write to asks for no reparse
 * point at all: a junction put in its place before the open would lead the
 * handle, and everything written through it, somewhere else.
 *
 * Deletion goes through the handle too.  A handle with delete access can't
 * be held all along: the process's current directory, which may well be
 * this directory, is held by the system without delete sharing.  So the
 * handle gets delete access only when the directory is to go, reopened
 * from itself (no name is looked up) over a bridge handle that shares
 * everything; and the files in it are opened for deletion by their names
 * below the handle, never by a full path.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "file-internal.h"
#include "nt.h"
#include "path-internal.h"

namespace {

const uint32_t g_uDirMagic = UINT32_C(0x19291112);
const uint32_t g_uDirMagicDead = UINT32_C(0xE6D6EEED);

/* List directory, traverse, read attributes, synchronise. */
const ACCESS_MASK g_fDirAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES
                                 | SYNCHRONIZE;
const ULONG g_fDirOptions = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT
                            | FILE_OPEN_FOR_BACKUP_INTENT;

} // namespace

int32_t volatile g_rtDirNtReparseSupport = RTNT_REPARSE_SUPPORT_UNKNOWN;

struct RTDIRINTERNAL
{
    uint32_t u32Magic;
    uint32_t fFlags;
    char *pszPath;   /* absolute, ending in a separator */
    char *pszFilter; /* null without a filter */
    RTDIRFILTER enmFilter;
    HANDLE hDir;
};

namespace {

/*
 * Opens the record's directory; pszOpen is the path to open, fNoFollow asks
 * for the link itself, fNoReparse refuses any reparse point.  The loop opens
 * again without the traverse right when that is denied, without the
 * reparse-point option when the system turns out not to know it, and
 * without it too when what it found is a mount point.
 */
int rtDirNtOpen(RTDIRINTERNAL *pDir, const char *pszOpen, bool fNoFollow, bool fNoReparse)
{
    bool fReparse = (fNoFollow || fNoReparse)
                    && __atomic_load_n(&g_rtDirNtReparseSupport, __ATOMIC_RELAXED)
                           != RTNT_REPARSE_SUPPORT_NO;
    ACCESS_MASK fAccess = g_fDirAccess;
    ULONG const fShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE hDir = INVALID_HANDLE_VALUE;
    int rc;
    for (;;)
    {
        rc = rtNtPathOpen(pszOpen, fAccess, fShare,
                          g_fDirOptions | (fReparse ? FILE_OPEN_REPARSE_POINT : 0),
                          OBJ_CASE_INSENSITIVE, &hDir, nullptr);
        if (rc == KERR_ACCESS_DENIED && (fAccess & FILE_TRAVERSE))
        {
            fAccess &= ~(ACCESS_MASK)FILE_TRAVERSE;
            continue;
        }
        if (fReparse
            && __atomic_load_n(&g_rtDirNtReparseSupport, __ATOMIC_RELAXED)
                   == RTNT_REPARSE_SUPPORT_UNKNOWN)
        {
            if (rc == KERR_INVALID_PARAMETER)
            {
                __atomic_store_n(&g_rtDirNtReparseSupport, RTNT_REPARSE_SUPPORT_NO,
                                 __ATOMIC_RELAXED);
                fReparse = false;
                continue;
            }
            if (RT_SUCCESS(rc))
                __atomic_store_n(&g_rtDirNtReparseSupport, RTNT_REPARSE_SUPPORT_YES,
                                 __ATOMIC_RELAXED);
        }
        if (RT_FAILURE(rc) || !fReparse)
            break;

        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
        NTSTATUS const rcNt = rtNtQueryFileInfo(hDir, &TagInfo, sizeof(TagInfo),
                                                FileAttributeTagInformation);
        if (!NT_SUCCESS(rcNt) && fNoReparse)
        {
            /* What can't be told apart from a junction is refused like one. */
            RT_NT_SYS(NtClose)(hDir);
            return RTErrConvertFromNtStatus(rcNt);
        }
        if (!NT_SUCCESS(rcNt) || !(TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            break;
        RT_NT_SYS(NtClose)(hDir);
        if (TagInfo.ReparseTag == RTFS_REPARSE_TAG_SYMLINK || fNoReparse)
            return KERR_IS_A_SYMLINK;
        /* A mount point or the like: what it leads to is the directory, opened afresh. */
        fReparse = false;
        fAccess = g_fDirAccess;
    }
    if (RT_FAILURE(rc))
        return rc;
    pDir->hDir = hDir;
    return KINF_SUCCESS;
}

void rtDirFree(RTDIRINTERNAL *pDir)
{
    RTMemFree(pDir->pszPath);
    RTMemFree(pDir->pszFilter);
    RTMemFree(pDir);
}

} // namespace

int RTDirOpenPath(RTDIR *phDir, const char *pszPath)
{
    if (!phDir || !pszPath)
        return KERR_INVALID_POINTER;
    return RTDirOpenPathFiltered(phDir, pszPath, RTDIRFILTER_NONE, 0);
}

int RTDirOpenPathFiltered(RTDIR *phDir, const char *pszPath, uint32_t enmFilter, uint32_t fFlags)
{
    if (!phDir || !pszPath)
        return KERR_INVALID_POINTER;
    if (fFlags & ~RTDIR_F_VALID_MASK)
        return KERR_INVALID_FLAGS;
    if (enmFilter == RTDIRFILTER_UNIX || enmFilter == RTDIRFILTER_UNIX_UPCASED)
        return KERR_NOT_IMPLEMENTED;
    if (enmFilter != RTDIRFILTER_NONE && enmFilter != RTDIRFILTER_WINNT)
        return KERR_INVALID_PARAMETER;
    if (!*pszPath)
        return KERR_INVALID_PARAMETER;

    RTDIRINTERNAL *pDir = (RTDIRINTERNAL *)RTMemAllocZ(sizeof(*pDir), "dir");
    if (!pDir)
        return KERR_NO_MEMORY;
    pDir->hDir = INVALID_HANDLE_VALUE;
    pDir->enmFilter = RTDIRFILTER_NONE;

    /* A wildcard filter is the path's last component; the directory is what precedes it. */
    const char *pszDirPart = pszPath;
    char *pszDirPartFree = nullptr;
    const char *pszFilter = enmFilter == RTDIRFILTER_WINNT ? RTPathFilename(pszPath) : nullptr;
    if (pszFilter)
    {
        pDir->pszFilter = RTStrClone(pszFilter, "dir-filter");
        size_t const cchDirPart = (size_t)(pszFilter - pszPath);
        pszDirPartFree = cchDirPart ? RTStrCloneMax(pszPath, cchDirPart, "dir-path")
                                    : RTStrClone(".", "dir-path");
        if (!pDir->pszFilter || !pszDirPartFree)
        {
            RTMemFree(pszDirPartFree);
            rtDirFree(pDir);
            return KERR_NO_MEMORY;
        }
        pDir->enmFilter = RTDIRFILTER_WINNT;
        pszDirPart = pszDirPartFree;
    }

    int rc = KINF_SUCCESS;
    if (fFlags & RTDIR_F_NO_ABS_PATH)
    {
        size_t const cch = RTStrLen(pszDirPart);
        pDir->pszPath = (char *)RTMemAlloc(cch + 2, "dir-path");
        if (pDir->pszPath)
        {
            RTMemCopy(pDir->pszPath, pszDirPart, cch + 1);
            if (!rtPathIsSep(pszDirPart[cch - 1]))
            {
                pDir->pszPath[cch] = '\\';
                pDir->pszPath[cch + 1] = '\0';
            }
        }
    }
    else
    {
        /* Ask for the status first, so that a path that can't be made absolute says why. */
        size_t cbNeeded = 0;
        rc = RTPathAbsEx(nullptr, pszDirPart, RTPATHABS_F_ENSURE_TRAILING_SLASH, nullptr,
                         &cbNeeded);
        if (rc == KERR_BUFFER_OVERFLOW)
        {
            rc = KINF_SUCCESS;
            pDir->pszPath = RTPathAbsExDup(nullptr, pszDirPart, RTPATHABS_F_ENSURE_TRAILING_SLASH);
        }
    }
    if (RT_SUCCESS(rc) && !pDir->pszPath)
        rc = KERR_NO_MEMORY;

    if (RT_SUCCESS(rc))
    {
        pDir->u32Magic = g_uDirMagic;
        pDir->fFlags = fFlags;
        /* Asking for the link itself only makes sense for a name, not for "dir\". */
        size_t const cchGiven = RTStrLen(pszDirPart);
        bool const fNoFollow = (fFlags & RTDIR_F_NO_FOLLOW) && cchGiven
                               && !rtPathIsSep(pszDirPart[cchGiven - 1]);
        /*
         * Opened without the record's trailing separator, except at a root: so that a link
         * is not traversed when asked for itself, and a file is "not a directory", not a
         * bad name.  A volume root that wants the separator gets it back from rtNtPathOpen.
         */
        size_t cchOpen = RTStrLen(pDir->pszPath);
        if (cchOpen > 1 && rtPathIsSep(pDir->pszPath[cchOpen - 1])
            && !rtPathIsSepOrColon(pDir->pszPath[cchOpen - 2]))
            cchOpen--;
        char *pszOpenFree = RTStrCloneMax(pDir->pszPath, cchOpen, "dir-open");
        if (!pszOpenFree)
            rc = KERR_NO_MEMORY;
        else
            rc = rtDirNtOpen(pDir, pszOpenFree, fNoFollow, (fFlags & RTDIR_F_NO_REPARSE) != 0);
        RTMemFree(pszOpenFree);
    }
    RTMemFree(pszDirPartFree);

    if (RT_FAILURE(rc))
    {
        pDir->u32Magic = g_uDirMagicDead;
        rtDirFree(pDir);
        return rc;
    }
    *phDir = pDir;
    return KINF_SUCCESS;
}

int RTDirClose(RTDIR hDir)
{
    if (!hDir || hDir->u32Magic != g_uDirMagic)
        return KERR_INVALID_PARAMETER;
    hDir->u32Magic = g_uDirMagicDead;
    if (hDir->hDir != INVALID_HANDLE_VALUE)
        RT_NT_SYS(NtClose)(hDir->hDir);
    hDir->hDir = INVALID_HANDLE_VALUE;
    rtDirFree(hDir);
    return KINF_SUCCESS;
}

bool RTDirIsUsable(RTDIR hDir)
{
    return (uintptr_t)hDir >= 0x1000 && hDir->u32Magic == g_uDirMagic;
}

int RTDirSetDeleteDisposition(RTDIR hDir)
{
    if (!RTDirIsUsable(hDir))
        return KERR_INVALID_HANDLE;
    /*
     * The handle held denies delete sharing, so a handle with delete access
     * can only be had once it is gone: the bridge holds the directory
     * meanwhile, and stays as the handle when delete access is refused.
     * (A handle opened below this one needs no access to it.)
     */
    RTFILE hNew;
    int rc = KINF_SUCCESS;
    for (unsigned iStep = 0; iStep < 2 && RT_SUCCESS(rc); iStep++)
    {
        rc = RTFileReopen((RTFILE)hDir->hDir, iStep != 0, &hNew);
        if (RT_SUCCESS(rc))
        {
            RT_NT_SYS(NtClose)(hDir->hDir);
            hDir->hDir = (HANDLE)hNew;
        }
    }
    if (RT_SUCCESS(rc))
        rc = RTFileSetDeleteDisposition(hNew);
    return rc;
}

int RTDirOpenFileForDelete(RTDIR hDir, const char *pszName, RTFILE *phFile)
{
    *phFile = NIL_RTFILE;
    if (!RTDirIsUsable(hDir))
        return KERR_INVALID_HANDLE;
    if (RTPathFilename(pszName) != pszName)
        return KERR_INVALID_NAME;
    PRTUTF16 pwszName = nullptr;
    size_t cwcName = 0;
    int rc = RTStrToUtf16Ex(pszName, RTSTR_MAX, &pwszName, 0, &cwcName, "nt-path");
    if (RT_FAILURE(rc))
        return rc;
    UNICODE_STRING Name = { (USHORT)(cwcName * sizeof(RTUTF16)),
                            (USHORT)(cwcName * sizeof(RTUTF16)), (PWSTR)pwszName };
    HANDLE hFile;
    NTSTATUS const rcNt = rtNtOpenRelative(
        &hFile, hDir->hDir, &Name, DELETE | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
        FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT);
    RTStrRelease(pwszName);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    *phFile = (RTFILE)hFile;
    return KINF_SUCCESS;
}
