/*
 * Describing an object by its path.  The quick way is the full-attributes
 * query, which needs no handle; otherwise the object is opened for reading
 * attributes only, with full sharing.  Two kinds of objects can't be opened
 * that way and are described from where they are listed instead: items
 * that deny the open (access, sharing), from their parent directory's
 * entry, and objects of the object manager's namespace that are not files,
 * from their object directory.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "file-internal.h"
#include "nt.h"
#include "path-internal.h"

namespace {

/* Splits a native name at its last separator into the parent (with "\" for a root) and the final name. */
bool rtPathNtSplit(const UNICODE_STRING *pNtName, UNICODE_STRING *pParent, UNICODE_STRING *pName)
{
    size_t cwc = pNtName->Length / sizeof(WCHAR);
    while (cwc > 1 && pNtName->Buffer[cwc - 1] == '\\')
        cwc--;
    size_t offSep = cwc;
    while (offSep > 0 && pNtName->Buffer[offSep - 1] != '\\')
        offSep--;
    if (offSep == 0 || offSep == cwc)
        return false;
    pName->Buffer = &pNtName->Buffer[offSep];
    pName->Length = (USHORT)((cwc - offSep) * sizeof(WCHAR));
    pName->MaximumLength = pName->Length;
    pParent->Buffer = pNtName->Buffer;
    /* The parent keeps its separator when it is a root ("\" or "\??\C:\"). */
    size_t cwcParent = offSep - 1;
    if (cwcParent == 0 || (cwcParent >= 1 && pNtName->Buffer[cwcParent - 1] == ':'))
        cwcParent++;
    pParent->Length = (USHORT)(cwcParent * sizeof(WCHAR));
    pParent->MaximumLength = pParent->Length;
    return true;
}

bool rtPathNtNameEquals(const UNICODE_STRING *pName1, const UNICODE_STRING *pName2)
{
    if (pName1->Length != pName2->Length)
        return false;
    for (size_t i = 0; i < pName1->Length / sizeof(WCHAR); i++)
    {
        WCHAR wc1 = pName1->Buffer[i];
        WCHAR wc2 = pName2->Buffer[i];
        if (wc1 >= 'a' && wc1 <= 'z')
            wc1 = (WCHAR)(wc1 - 'a' + 'A');
        if (wc2 >= 'a' && wc2 <= 'z')
            wc2 = (WCHAR)(wc2 - 'a' + 'A');
        if (wc1 != wc2)
            return false;
    }
    return true;
}

bool rtPathNtNameIsAscii(const UNICODE_STRING *pName, const char *pszAscii)
{
    size_t const cwc = pName->Length / sizeof(WCHAR);
    for (size_t i = 0; i < cwc; i++)
        if (!pszAscii[i] || pName->Buffer[i] != (WCHAR)(unsigned char)pszAscii[i])
            return false;
    return pszAscii[cwc] == '\0';
}

/* The entry of the item in its parent directory. */
int rtPathGetInfoFromDirEntry(const UNICODE_STRING *pNtName, RTFSOBJINFO *pObjInfo,
                              uint32_t enmAdditional, bool fExecutableName)
{
    UNICODE_STRING Parent, Name;
    if (!rtPathNtSplit(pNtName, &Parent, &Name))
        return KERR_ACCESS_DENIED;

    HANDLE hDir = INVALID_HANDLE_VALUE;
    ULONG fOptions = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT
                     | FILE_OPEN_FOR_BACKUP_INTENT;
    NTSTATUS rcNt = rtNtOpenExisting(&hDir, FILE_LIST_DIRECTORY | SYNCHRONIZE, &Parent, &fOptions);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    IO_STATUS_BLOCK Ios = {};

    union
    {
        RTNT_FILE_ID_BOTH_DIR_INFORMATION Entry;
        uint8_t ab[sizeof(RTNT_FILE_ID_BOTH_DIR_INFORMATION) + 520 * sizeof(WCHAR)];
    } u;
    rcNt = RT_NT_SYS(NtQueryDirectoryFile)(hDir, nullptr, nullptr, nullptr, &Ios, &u, sizeof(u),
                                           RTNT_FILE_ID_BOTH_DIRECTORY_INFORMATION, TRUE, &Name,
                                           TRUE);
    int rc;
    if (NT_SUCCESS(rcNt) || rcNt == RTNT_STATUS_BUFFER_OVERFLOW)
    {
        RTNT_FILE_ID_BOTH_DIR_INFORMATION const &Entry = u.Entry;
        /* In a directory entry the EA size field carries the reparse tag of a reparse point. */
        uint32_t const uTag = Entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? Entry.EaSize
                                                                                  : 0;
        rtFsObjInfoFromNt(pObjInfo, enmAdditional, &Entry.CreationTime, &Entry.LastAccessTime,
                          &Entry.LastWriteTime, &Entry.ChangeTime, &Entry.EndOfFile,
                          &Entry.AllocationSize, Entry.FileAttributes, uTag, fExecutableName);
        if (enmAdditional == RTFSOBJATTRADD_UNIX)
        {
            pObjInfo->Attr.u.Unix.INodeId = (uint64_t)Entry.FileId.QuadPart;
            pObjInfo->Attr.u.Unix.INodeIdDevice = rtFileNtVolumeSerial(hDir);
        }
        rc = KINF_SUCCESS;
    }
    else
        rc = rcNt == RTNT_STATUS_NO_SUCH_FILE || rcNt == RTNT_STATUS_NO_MORE_FILES
                 ? KERR_FILE_NOT_FOUND
                 : RTErrConvertFromNtStatus(rcNt);
    RT_NT_SYS(NtClose)(hDir);
    return rc;
}

/* An object of the object manager's namespace, from its object directory. */
int rtPathGetInfoFromObjDir(const UNICODE_STRING *pNtName, RTFSOBJINFO *pObjInfo,
                            uint32_t enmAdditional)
{
    UNICODE_STRING Parent, Name;
    if (!rtPathNtSplit(pNtName, &Parent, &Name))
    {
        /* The root of the namespace. */
        if (pNtName->Length == sizeof(WCHAR) && pNtName->Buffer[0] == '\\')
        {
            rtFsObjInfoInit(pObjInfo, enmAdditional);
            pObjInfo->Attr.fMode = rtFsModeFromDos(FILE_ATTRIBUTE_DIRECTORY, false, 0);
            return KINF_SUCCESS;
        }
        return KERR_FILE_NOT_FOUND;
    }

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &Parent, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE hObjDir = INVALID_HANDLE_VALUE;
    NTSTATUS rcNt = RT_NT_SYS(NtOpenDirectoryObject)(&hObjDir, RTNT_DIRECTORY_QUERY, &ObjAttr);
    if (!NT_SUCCESS(rcNt))
    {
        int const rc = RTErrConvertFromNtStatus(rcNt);
        return rc == KERR_PATH_NOT_FOUND || rc == KERR_WRONG_TYPE ? KERR_FILE_NOT_FOUND : rc;
    }

    int rc = KERR_FILE_NOT_FOUND;
    ULONG uContext = 0;
    for (;;)
    {
        union
        {
            RTNT_OBJECT_DIRECTORY_INFORMATION Info;
            uint8_t ab[2048];
        } u;
        ULONG cbReturned = 0;
        rcNt = RT_NT_SYS(NtQueryDirectoryObject)(hObjDir, &u, sizeof(u), TRUE, uContext == 0,
                                                 &uContext, &cbReturned);
        if (!NT_SUCCESS(rcNt))
        {
            if (rcNt != RTNT_STATUS_NO_MORE_ENTRIES && rcNt != RTNT_STATUS_NO_MORE_FILES)
                rc = RTErrConvertFromNtStatus(rcNt);
            break;
        }
        if (!rtPathNtNameEquals(&u.Info.Name, &Name))
            continue;
        rtFsObjInfoInit(pObjInfo, enmAdditional);
        if (rtPathNtNameIsAscii(&u.Info.TypeName, "Directory"))
            pObjInfo->Attr.fMode = rtFsModeFromDos(FILE_ATTRIBUTE_DIRECTORY, false, 0);
        else if (rtPathNtNameIsAscii(&u.Info.TypeName, "SymbolicLink"))
            pObjInfo->Attr.fMode = rtFsModeFromDos(FILE_ATTRIBUTE_REPARSE_POINT, false,
                                                   RTFS_REPARSE_TAG_SYMLINK);
        else
            pObjInfo->Attr.fMode = RTFS_MODE_DEVICE_DEFAULT;
        rc = KINF_SUCCESS;
        break;
    }
    RT_NT_SYS(NtClose)(hObjDir);
    return rc;
}

} // namespace

namespace {

/*
 * The body of RTPathGetInfo once the request is checked; fExecutableName as
 * rtFileNtQueryInfo takes it.
 */
int rtPathNtGetInfo(const char *pszPath, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional,
                    bool fFollow, bool fExecutableName)
{
    UNICODE_STRING NtName;
    int rc = rtNtPathFromWinUtf8(&NtName, pszPath);
    if (RT_FAILURE(rc))
        return rc;

    /* The quick answer, when it is about a plain item. */
    if (enmAdditional != RTFSOBJATTRADD_UNIX)
    {
        decltype(&::NtQueryFullAttributesFile) const pfnQuery = rtNtSysQueryFullAttributesFile();
        OBJECT_ATTRIBUTES ObjAttr;
        InitializeObjectAttributes(&ObjAttr, &NtName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        FILE_NETWORK_OPEN_INFORMATION NetInfo;
        if (pfnQuery && NT_SUCCESS(pfnQuery(&ObjAttr, &NetInfo))
            && !(NetInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            rtFsObjInfoFromNt(pObjInfo, enmAdditional, &NetInfo.CreationTime,
                              &NetInfo.LastAccessTime, &NetInfo.LastWriteTime, &NetInfo.ChangeTime,
                              &NetInfo.EndOfFile, &NetInfo.AllocationSize, NetInfo.FileAttributes,
                              0, fExecutableName);
            rtNtPathFree(&NtName);
            return KINF_SUCCESS;
        }
    }

    HANDLE hFile = INVALID_HANDLE_VALUE;
    ULONG fOptions = FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT
                     | (fFollow ? 0 : FILE_OPEN_REPARSE_POINT);
    NTSTATUS const rcNt = rtNtOpenExisting(&hFile, FILE_READ_ATTRIBUTES | SYNCHRONIZE, &NtName,
                                           &fOptions);
    if (NT_SUCCESS(rcNt))
    {
        rc = rtFileNtQueryInfo(hFile, pObjInfo, enmAdditional, fExecutableName);
        RT_NT_SYS(NtClose)(hFile);
    }
    else if (rcNt == RTNT_STATUS_ACCESS_DENIED || rcNt == RTNT_STATUS_SHARING_VIOLATION
             || rcNt == RTNT_STATUS_DELETE_PENDING)
        rc = rtPathGetInfoFromDirEntry(&NtName, pObjInfo, enmAdditional, fExecutableName);
    else if (rcNt == RTNT_STATUS_OBJECT_TYPE_MISMATCH || rtPathIsZelkNtForm(pszPath))
        rc = rtPathGetInfoFromObjDir(&NtName, pObjInfo, enmAdditional);
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    rtNtPathFree(&NtName);
    return rc;
}

} // namespace

int RTPathGetInfo(const char *pszPath, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional,
                  uint32_t fFlags)
{
    if (!pszPath || !pObjInfo)
        return KERR_INVALID_POINTER;
    if (!*pszPath)
        return KERR_INVALID_PARAMETER;
    if (enmAdditional < RTFSOBJATTRADD_NOTHING || enmAdditional > RTFSOBJATTRADD_EASIZE)
        return KERR_INVALID_PARAMETER;
    uint32_t const fLinkFlags = fFlags & ~RTPATH_F_NO_SYMLINKS;
    if (fLinkFlags != RTPATH_F_ON_LINK && fLinkFlags != RTPATH_F_FOLLOW_LINK)
        return KERR_INVALID_PARAMETER;
    const char *pszName = RTPathFilename(pszPath);
    bool const fExecutableName = pszName && rtFsIsExecutableNameUtf8(pszName, RTStrLen(pszName));
    return rtPathNtGetInfo(pszPath, pObjInfo, enmAdditional, fLinkFlags == RTPATH_F_FOLLOW_LINK,
                           fExecutableName);
}

bool RTDirExists(const char *pszPath)
{
    /* Whether the name looks executable changes permission bits only, never the type. */
    RTFSOBJINFO ObjInfo;
    return pszPath && *pszPath
           && RT_SUCCESS(rtPathNtGetInfo(pszPath, &ObjInfo, RTFSOBJATTRADD_NOTHING, true, false))
           && (ObjInfo.Attr.fMode & RTFS_TYPE_MASK) == RTFS_TYPE_DIRECTORY;
}
