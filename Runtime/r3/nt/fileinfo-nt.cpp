/*
 * What the native API tells about open files: the information record, the
 * file-system kind of the volume, whether a full disk is really a file too
 * big for its file system, and deletion: of one file by path, through an NT
 * handle opened on the link itself, so that it can refuse directories and
 * symbolic links before anything is marked for deletion; and of a file
 * through a handle already open on it, reopened from that handle, so that
 * no name is looked up again.
 */
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/ldr.h>
#include <zelk/mem.h>

#include "file-internal.h"
#include "nt.h"

namespace {

const ULONG g_cbFsAttribBuf = 4112;

/* "VerifyConsoleIoHandle", looked up once per process (null where kernel32 has none). */
typedef BOOL(WINAPI *PFNVERIFYCONSOLEIOHANDLE)(HANDLE);
int32_t volatile g_fVerifyConsoleLookedUp = 0;
PFNVERIFYCONSOLEIOHANDLE volatile g_pfnVerifyConsoleIoHandle = nullptr;

/*
 * Whether a handle that the file query refused is still open.  Console
 * handles of older systems are not file objects and are recognised by name;
 * any other handle counts as live when the system still knows its type.
 */
bool rtFileNtIsHandleLive(HANDLE hFile)
{
    if (!__atomic_exchange_n(&g_fVerifyConsoleLookedUp, 1, __ATOMIC_ACQ_REL))
    {
        g_pfnVerifyConsoleIoHandle = (PFNVERIFYCONSOLEIOHANDLE)RTLdrBindOptional(
            &g_RTLdrBindKernel32, "VerifyConsoleIoHandle");
    }
    PFNVERIFYCONSOLEIOHANDLE const pfnVerify = g_pfnVerifyConsoleIoHandle;
    if (pfnVerify && pfnVerify(hFile))
        return true;
    SetLastError(NO_ERROR);
    DWORD const uType = RT_NT_SYS(GetFileType)(hFile);
    return uType != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

} // namespace

NTSTATUS rtNtQueryFileInfo(HANDLE hFile, void *pvInfo, ULONG cbInfo,
                           FILE_INFORMATION_CLASS enmClass)
{
    IO_STATUS_BLOCK Ios = {};
    return RT_NT_SYS(NtQueryInformationFile)(hFile, &Ios, pvInfo, cbInfo, enmClass);
}

NTSTATUS rtNtOpenExisting(HANDLE *phFile, ACCESS_MASK fAccess, UNICODE_STRING *pNtName,
                          ULONG *pfOptions)
{
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, pNtName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK Ios = {};
    for (;;)
    {
        NTSTATUS const rcNt = RT_NT_SYS(NtCreateFile)(
            phFile, fAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, *pfOptions, nullptr,
            0);
        /* Systems without the option for the link itself refuse it as a bad parameter. */
        if (rcNt != RTNT_STATUS_INVALID_PARAMETER || !(*pfOptions & FILE_OPEN_REPARSE_POINT))
            return rcNt;
        *pfOptions &= ~(ULONG)FILE_OPEN_REPARSE_POINT;
    }
}

NTSTATUS rtNtOpenRelative(HANDLE *phNew, HANDLE hRoot, UNICODE_STRING *pName, ACCESS_MASK fAccess,
                          ULONG fShare, ULONG uDisposition, ULONG fOptions)
{
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, pName, OBJ_CASE_INSENSITIVE, hRoot, nullptr);
    IO_STATUS_BLOCK Ios;
    return RT_NT_SYS(NtCreateFile)(phNew, fAccess | SYNCHRONIZE, &ObjAttr, &Ios, nullptr,
                                   FILE_ATTRIBUTE_NORMAL, fShare, uDisposition,
                                   fOptions | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

NTSTATUS rtNtSetDeleteDisposition(HANDLE hFile)
{
    FILE_DISPOSITION_INFORMATION Disposition;
    Disposition.DoDeleteFile = TRUE;
    IO_STATUS_BLOCK Ios;
    return RT_NT_SYS(NtSetInformationFile)(hFile, &Ios, &Disposition, sizeof(Disposition),
                                           FileDispositionInformation);
}

void rtFsObjInfoFromNt(RTFSOBJINFO *pObjInfo, uint32_t enmAdditional, const LARGE_INTEGER *pBirth,
                       const LARGE_INTEGER *pAccess, const LARGE_INTEGER *pWrite,
                       const LARGE_INTEGER *pChange, const LARGE_INTEGER *pcbObject,
                       const LARGE_INTEGER *pcbAllocated, uint32_t fAttribs, uint32_t uReparseTag,
                       bool fExecutableName)
{
    rtFsObjInfoInit(pObjInfo, enmAdditional);
    pObjInfo->cbObject = pcbObject->QuadPart;
    pObjInfo->cbAllocated = pcbAllocated->QuadPart;
    /* One conversion in a loop: inlined once per time, it came out four times as large. */
    const LARGE_INTEGER *const apNtTimes[] = { pAccess, pWrite, pChange, pBirth };
    int64_t *const apiTimes[] = { &pObjInfo->AccessTime, &pObjInfo->ModificationTime,
                                  &pObjInfo->ChangeTime, &pObjInfo->BirthTime };
    for (size_t i = 0; i < RT_ELEMENTS(apNtTimes); i++)
        *apiTimes[i] = rtFsTimeFromNt(apNtTimes[i]->QuadPart);
    pObjInfo->Attr.fMode = rtFsModeFromDos(fAttribs, fExecutableName, uReparseTag);
}

uint32_t rtFileNtVolumeSerial(HANDLE hFile)
{
    union
    {
        FILE_FS_VOLUME_INFORMATION Info;
        uint8_t ab[sizeof(FILE_FS_VOLUME_INFORMATION) + 64 * sizeof(WCHAR)];
    } u;
    IO_STATUS_BLOCK Ios = {};
    /* A label that does not fit only says so; the serial number is there. */
    NTSTATUS const rcNt = RT_NT_SYS(NtQueryVolumeInformationFile)(hFile, &Ios, &u, sizeof(u),
                                                                  FileFsVolumeInformation);
    if (NT_SUCCESS(rcNt) || rcNt == RTNT_STATUS_BUFFER_OVERFLOW)
        return u.Info.VolumeSerialNumber;
    return 0;
}

int rtFileNtQueryInfo(HANDLE hFile, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional,
                      bool fExecutableName)
{
    /* Room for only the start of the name: the name is not needed, and may be very long. */
    union
    {
        FILE_ALL_INFORMATION All;
        uint8_t ab[sizeof(FILE_ALL_INFORMATION) + 64];
    } u;
    NTSTATUS rcNt = rtNtQueryFileInfo(hFile, &u, sizeof(u), FileAllInformation);
    if (rcNt == RTNT_STATUS_BUFFER_OVERFLOW)
        rcNt = RTNT_STATUS_SUCCESS;
    if (NT_SUCCESS(rcNt))
    {
        uint32_t const fAttribs = u.All.BasicInformation.FileAttributes;
        uint32_t uReparseTag = 0;
        if (fAttribs & FILE_ATTRIBUTE_REPARSE_POINT)
        {
            FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
            if (NT_SUCCESS(rtNtQueryFileInfo(hFile, &TagInfo, sizeof(TagInfo),
                                             FileAttributeTagInformation)))
                uReparseTag = TagInfo.ReparseTag;
        }
        rtFsObjInfoFromNt(
            pObjInfo, enmAdditional, &u.All.BasicInformation.CreationTime,
            &u.All.BasicInformation.LastAccessTime, &u.All.BasicInformation.LastWriteTime,
            &u.All.BasicInformation.ChangeTime, &u.All.StandardInformation.EndOfFile,
            &u.All.StandardInformation.AllocationSize, fAttribs, uReparseTag, fExecutableName);
        if (enmAdditional == RTFSOBJATTRADD_UNIX)
        {
            ULONG const cLinks = u.All.StandardInformation.NumberOfLinks;
            pObjInfo->Attr.u.Unix.cHardlinks = cLinks ? cLinks : 1;
            pObjInfo->Attr.u.Unix.INodeId
                = (uint64_t)u.All.InternalInformation.IndexNumber.QuadPart;
            pObjInfo->Attr.u.Unix.INodeIdDevice = rtFileNtVolumeSerial(hFile);
        }
        return KINF_SUCCESS;
    }

    int rc = RTErrConvertFromNtStatus(rcNt);
    if (rc == KERR_WRONG_TYPE || rc == KERR_ACCESS_DENIED || rc == KERR_INVALID_HANDLE)
    {
        if (!rtFileNtIsHandleLive(hFile))
            return KERR_INVALID_HANDLE;
        rc = KERR_INVALID_FUNCTION;
    }
    if (rc == KERR_INVALID_FUNCTION || rc == KERR_UNKNOWN_COMMAND)
    {
        /* Devices, consoles and the like: a record of zeros that says "device". */
        rtFsObjInfoInit(pObjInfo, enmAdditional);
        pObjInfo->Attr.fMode = RTFS_MODE_DEVICE_DEFAULT;
        return KINF_SUCCESS;
    }
    return rc;
}

int RTFileQueryInfo(RTFILE hFile, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional)
{
    if (hFile == NIL_RTFILE || !pObjInfo || enmAdditional < RTFSOBJATTRADD_NOTHING
        || enmAdditional > RTFSOBJATTRADD_EASIZE)
        return KERR_INVALID_PARAMETER;
    return rtFileNtQueryInfo((HANDLE)hFile, pObjInfo, enmAdditional, false);
}

int rtFileQueryFsKind(HANDLE hFile, uint32_t *penmType)
{
    *penmType = RTFSTYPE_UNKNOWN;
    union
    {
        FILE_FS_ATTRIBUTE_INFORMATION Info;
        uint8_t ab[g_cbFsAttribBuf];
    } *pu = (decltype(pu))RTMemAlloc(g_cbFsAttribBuf, "fs-kind");
    if (!pu)
        return KERR_NO_TMP_MEMORY;
    IO_STATUS_BLOCK Ios = {};
    NTSTATUS const rcNt = RT_NT_SYS(NtQueryVolumeInformationFile)(hFile, &Ios, pu, g_cbFsAttribBuf,
                                                                  FileFsAttributeInformation);
    int rc = KINF_SUCCESS;
    if (NT_SUCCESS(rcNt))
    {
        size_t const cbNameMax = g_cbFsAttribBuf
                                 - offsetof(FILE_FS_ATTRIBUTE_INFORMATION, FileSystemName);
        size_t const cbName = pu->Info.FileSystemNameLength < cbNameMax
                                  ? pu->Info.FileSystemNameLength
                                  : cbNameMax;
        *penmType = rtFsTypeFromName((PCRTUTF16)pu->Info.FileSystemName, cbName / sizeof(RTUTF16));
    }
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    RTMemFree(pu);
    return rc;
}

int rtFileDiagnoseDiskFull(HANDLE hFile, uint64_t cbFile)
{
    if (cbFile < UINT64_C(0x7FFFFFFF))
        return KERR_DISK_FULL;
    uint32_t enmType = RTFSTYPE_UNKNOWN;
    rtFileQueryFsKind(hFile, &enmType);
    return cbFile >= rtFsTypeMaxFileSize((RTFSTYPE)enmType) ? KERR_FILE_TOO_BIG : KERR_DISK_FULL;
}

int RTFileRemove(const char *pszFilename)
{
    if (!pszFilename)
        return KERR_INVALID_POINTER;
    UNICODE_STRING NtName;
    int rc = rtNtPathFromWinUtf8(&NtName, pszFilename);
    if (RT_FAILURE(rc))
        return rc;

    /* Open the link itself, not what it points at. */
    HANDLE hFile = INVALID_HANDLE_VALUE;
    ULONG fOptions = FILE_OPEN_FOR_BACKUP_INTENT | FILE_NON_DIRECTORY_FILE
                     | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
    NTSTATUS rcNt = rtNtOpenExisting(&hFile, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &NtName,
                                     &fOptions);
    rtNtPathFree(&NtName);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    if (fOptions & FILE_OPEN_REPARSE_POINT)
    {
        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
        rcNt = rtNtQueryFileInfo(hFile, &TagInfo, sizeof(TagInfo), FileAttributeTagInformation);
        if (NT_SUCCESS(rcNt))
        {
            if (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                rc = KERR_IS_A_SYMLINK;
        }
        else if (rcNt != RTNT_STATUS_INVALID_PARAMETER && rcNt != RTNT_STATUS_NOT_IMPLEMENTED
                 && rcNt != RTNT_STATUS_INVALID_INFO_CLASS)
            rc = RTErrConvertFromNtStatus(rcNt);
    }

    if (RT_SUCCESS(rc))
    {
        FILE_BASIC_INFORMATION BasicInfo = {};
        rcNt = rtNtQueryFileInfo(hFile, &BasicInfo, sizeof(BasicInfo), FileBasicInformation);
        if (!NT_SUCCESS(rcNt))
            rc = RTErrConvertFromNtStatus(rcNt);
        else if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            rc = KERR_IS_A_DIRECTORY;
        else if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            rc = KERR_IS_A_SYMLINK;
        else
        {
            rcNt = rtNtSetDeleteDisposition(hFile);
            if (!NT_SUCCESS(rcNt))
                rc = RTErrConvertFromNtStatus(rcNt);
        }
    }

    rcNt = RT_NT_SYS(NtClose)(hFile);
    if (RT_SUCCESS(rc) && !NT_SUCCESS(rcNt))
        rc = RTErrConvertFromNtStatus(rcNt);
    return rc;
}

int RTFileReopen(RTFILE hFile, bool fDelete, RTFILE *phNew)
{
    *phNew = NIL_RTFILE;
    if (hFile == NIL_RTFILE)
        return KERR_INVALID_HANDLE;
    UNICODE_STRING Empty = {};
    HANDLE hNew;
    NTSTATUS const rcNt = rtNtOpenRelative(
        &hNew, (HANDLE)hFile, &Empty, FILE_READ_ATTRIBUTES | (fDelete ? DELETE : 0),
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    *phNew = (RTFILE)hNew;
    return KINF_SUCCESS;
}

int RTFileSetDeleteDisposition(RTFILE hFile)
{
    return RTErrConvertFromNtStatus(rtNtSetDeleteDisposition((HANDLE)hFile));
}
