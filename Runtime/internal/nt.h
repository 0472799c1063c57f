/*
 * Native NT declarations that mingw's winternl.h lacks, the NT path
 * helpers, and the table through which the file and directory code makes
 * its system calls.
 *
 * The table is the fault-injection seam: every Win32 and native call of the
 * file layer goes through RT_NT_SYS(Name), which takes the test's
 * replacement when g_rtNtSysOverride has one and the system's function
 * otherwise.  Tests use it to make the system fail where a real file system
 * won't on demand (no memory for a transfer, a full FAT32 disk, access
 * denied), and reset it when done.  The table starts zeroed, so nothing runs
 * at start-up.
 */
#ifndef ZELK_INTERNAL_NT_H
#define ZELK_INTERNAL_NT_H

#include "win.h"
#include <winternl.h>

#include <zelk/fs.h>

/* NT status values used by the file layer. */
#define RTNT_STATUS_SUCCESS                ((NTSTATUS)0x00000000L)
#define RTNT_STATUS_BUFFER_OVERFLOW        ((NTSTATUS)0x80000005L)
#define RTNT_STATUS_NO_MORE_FILES          ((NTSTATUS)0x80000006L)
#define RTNT_STATUS_NO_MORE_ENTRIES        ((NTSTATUS)0x8000001AL)
#define RTNT_STATUS_INVALID_INFO_CLASS     ((NTSTATUS)0xC0000003L)
#define RTNT_STATUS_INVALID_HANDLE         ((NTSTATUS)0xC0000008L)
#define RTNT_STATUS_INVALID_PARAMETER      ((NTSTATUS)0xC000000DL)
#define RTNT_STATUS_NO_SUCH_FILE           ((NTSTATUS)0xC000000FL)
#define RTNT_STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define RTNT_STATUS_NOT_IMPLEMENTED        ((NTSTATUS)0xC0000002L)
#define RTNT_STATUS_ACCESS_DENIED          ((NTSTATUS)0xC0000022L)
#define RTNT_STATUS_BUFFER_TOO_SMALL       ((NTSTATUS)0xC0000023L)
#define RTNT_STATUS_OBJECT_TYPE_MISMATCH   ((NTSTATUS)0xC0000024L)
#define RTNT_STATUS_OBJECT_NAME_INVALID    ((NTSTATUS)0xC0000033L)
#define RTNT_STATUS_OBJECT_NAME_NOT_FOUND  ((NTSTATUS)0xC0000034L)
#define RTNT_STATUS_OBJECT_PATH_NOT_FOUND  ((NTSTATUS)0xC000003AL)
#define RTNT_STATUS_SHARING_VIOLATION      ((NTSTATUS)0xC0000043L)
#define RTNT_STATUS_DELETE_PENDING         ((NTSTATUS)0xC0000056L)
#define RTNT_STATUS_NOT_A_DIRECTORY        ((NTSTATUS)0xC0000103L)

/* Object-manager directory rights. */
#define RTNT_DIRECTORY_QUERY               0x0001
#define RTNT_DIRECTORY_TRAVERSE            0x0002
#define RTNT_DIRECTORY_CREATE_OBJECT       0x0004
#define RTNT_DIRECTORY_CREATE_SUBDIRECTORY 0x0008
#define RTNT_DIRECTORY_ALL_ACCESS          (STANDARD_RIGHTS_REQUIRED | 0x000F)

/* Information classes that the enumerations of winternl.h leave out. */
#define RTNT_FILE_ID_BOTH_DIRECTORY_INFORMATION ((FILE_INFORMATION_CLASS)37)

typedef struct RTNT_OBJECT_DIRECTORY_INFORMATION
{
    UNICODE_STRING Name;
    UNICODE_STRING TypeName;
} RTNT_OBJECT_DIRECTORY_INFORMATION;

typedef struct RTNT_FILE_ID_BOTH_DIR_INFORMATION
{
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    LARGE_INTEGER FileId;
    WCHAR FileName[1];
} RTNT_FILE_ID_BOTH_DIR_INFORMATION;

extern "C" {
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE hFile, HANDLE hEvent, PIO_APC_ROUTINE pfnApc,
                                    PVOID pvApcCtx, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                    FILE_INFORMATION_CLASS enmClass, BOOLEAN fSingleEntry,
                                    PUNICODE_STRING pFilter, BOOLEAN fRestartScan);
NTSTATUS NTAPI NtOpenDirectoryObject(PHANDLE phDir, ACCESS_MASK fAccess,
                                     POBJECT_ATTRIBUTES pObjAttr);
NTSTATUS NTAPI NtQueryDirectoryObject(HANDLE hDir, PVOID pvBuf, ULONG cbBuf, BOOLEAN fSingleEntry,
                                      BOOLEAN fRestartScan, PULONG puContext, PULONG pcbReturned);
NTSTATUS NTAPI NtQueryFullAttributesFile(POBJECT_ATTRIBUTES pObjAttr,
                                         PFILE_NETWORK_OPEN_INFORMATION pInfo);
NTSTATUS NTAPI NtOpenProcessToken(HANDLE hProcess, ACCESS_MASK fAccess, PHANDLE phToken);
NTSTATUS NTAPI NtQueryInformationToken(HANDLE hToken, TOKEN_INFORMATION_CLASS enmClass,
                                       PVOID pvInfo, ULONG cbInfo, PULONG pcbReturned);
}

/* Side-by-side redirection of a DLL name (ntdll; looked up by name, as older systems lack it). */
typedef NTSTATUS(NTAPI *PFNRTNTDOSAPPLYFILEISOLATIONREDIRECTION)(ULONG, PUNICODE_STRING,
                                                                 PUNICODE_STRING, PUNICODE_STRING,
                                                                 PUNICODE_STRING, PUNICODE_STRING *,
                                                                 PULONG, PSIZE_T, PSIZE_T);

/*
 * The system calls of the file layer and of the system-module loader.  A null entry means the system's own
 * function; tests store replacements and clear them with rtNtSysReset.
 */
typedef struct RTNTSYSCALLS
{
    decltype(&::CreateFileW) pfnCreateFileW;
    decltype(&::ReadFile) pfnReadFile;
    decltype(&::WriteFile) pfnWriteFile;
    decltype(&::GetFileSize) pfnGetFileSize;
    decltype(&::SetFilePointer) pfnSetFilePointer;
    decltype(&::SetEndOfFile) pfnSetEndOfFile;
    decltype(&::FlushFileBuffers) pfnFlushFileBuffers;
    decltype(&::DeviceIoControl) pfnDeviceIoControl;
    decltype(&::GetFileType) pfnGetFileType;
    decltype(&::CloseHandle) pfnCloseHandle;
    decltype(&::SetFileAttributesW) pfnSetFileAttributesW;
    decltype(&::DeleteFileW) pfnDeleteFileW;
    decltype(&::MoveFileExW) pfnMoveFileExW;
    decltype(&::CreateDirectoryW) pfnCreateDirectoryW;
    decltype(&::RemoveDirectoryW) pfnRemoveDirectoryW;
    decltype(&::GetEnvironmentVariableW) pfnGetEnvironmentVariableW;
    /* The temporary directory's: the account, and the system's directories. */
    decltype(&::NtQueryInformationToken) pfnNtQueryInformationToken;
    decltype(&::GetTempPathW) pfnGetTempPathW;
    /* Replaces GetTempPath2W (the same form), looked up by name as older systems lack it. */
    decltype(&::GetTempPathW) pfnGetTempPath2W;
    decltype(&::GetSystemWindowsDirectoryW) pfnGetSystemWindowsDirectoryW;
    decltype(&::GetCurrentDirectoryW) pfnGetCurrentDirectoryW;
    decltype(&::GetFullPathNameW) pfnGetFullPathNameW;
    decltype(&::SetCurrentDirectoryW) pfnSetCurrentDirectoryW;
    decltype(&::NtCreateFile) pfnNtCreateFile;
    decltype(&::NtClose) pfnNtClose;
    decltype(&::NtQueryInformationFile) pfnNtQueryInformationFile;
    decltype(&::NtQueryVolumeInformationFile) pfnNtQueryVolumeInformationFile;
    decltype(&::NtSetInformationFile) pfnNtSetInformationFile;
    decltype(&::NtQueryDirectoryFile) pfnNtQueryDirectoryFile;
    decltype(&::NtOpenDirectoryObject) pfnNtOpenDirectoryObject;
    decltype(&::NtQueryDirectoryObject) pfnNtQueryDirectoryObject;
    /* Looked up by name, as older systems lack it; see rtNtSysQueryFullAttributesFile. */
    decltype(&::NtQueryFullAttributesFile) pfnNtQueryFullAttributesFile;
    /* The system-module loader's. */
    decltype(&::GetSystemDirectoryW) pfnGetSystemDirectoryW;
    decltype(&::GetSystemWow64DirectoryW) pfnGetSystemWow64DirectoryW;
    decltype(&::LoadLibraryExW) pfnLoadLibraryExW;
    /* Replaces the one looked up by name; see RTLdrLoadSystem. */
    PFNRTNTDOSAPPLYFILEISOLATIONREDIRECTION pfnRtlDosApplyFileIsolationRedirection_Ustr;
} RTNTSYSCALLS;

extern RTNTSYSCALLS g_rtNtSysOverride;

#define RT_NT_SYS(a_Name) \
 (g_rtNtSysOverride.pfn##a_Name ? g_rtNtSysOverride.pfn##a_Name : &::a_Name)

/* Clears every replacement. */
void rtNtSysReset(void);

/*
 * NtQueryFullAttributesFile: the replacement, else the system's as RTR3Init
 * looked it up; null where the system has none and before RTR3Init (callers
 * then take the longer way through an open handle).
 */
decltype(&::NtQueryFullAttributesFile) rtNtSysQueryFullAttributesFile(void);

/* The major version of the running system, from the process environment block. */
ULONG rtNtOsMajorVersion(void);

/*
 * The native form of a Windows UTF-8 path as a counted UTF-16 string (see
 * rtPathNtFormUtf8), allocated; release with rtNtPathFree.
 * KERR_FILENAME_TOO_LONG when it has 32767 units or more.
 */
int rtNtPathFromWinUtf8(UNICODE_STRING *pNtName, const char *pszPath);
void rtNtPathFree(UNICODE_STRING *pNtName);

/*
 * Opens an existing object by its Windows path with NtCreateFile.  With
 * pfObjDir, a "\\:zelknt:" path that names an object-manager directory is
 * opened as one (and *pfObjDir set).  *phHandle is INVALID_HANDLE_VALUE
 * until success.
 */
int rtNtPathOpen(const char *pszPath, ACCESS_MASK fDesiredAccess, ULONG fShareAccess,
                 ULONG fCreateOptions, ULONG fObjAttribs, HANDLE *phHandle, bool *pfObjDir);

/*
 * The Win32 form of a UTF-8 path: the path itself while it fits the classic
 * length limit, else the "\\?\" long form.  *ppwszPath is freed with
 * RTStrRelease.  KERR_NOT_SUPPORTED when the native form has no Win32
 * equivalent.
 */
int rtPathWin32FromUtf8(const char *pszPath, PRTUTF16 *ppwszPath);

/*
 * Whether NtCreateFile supports the open-reparse-point option for directory
 * opens: unsettled (0) until the first open that asks for it.
 */
#define RTNT_REPARSE_SUPPORT_UNKNOWN 0
#define RTNT_REPARSE_SUPPORT_YES     1
#define RTNT_REPARSE_SUPPORT_NO      2
extern int32_t volatile g_rtDirNtReparseSupport;

/*
 * Fills a record from a handle's full information (the core of
 * RTFileQueryInfo); fExecutableName says whether the item's name marks it
 * executable (the handle does not tell).
 */
int rtFileNtQueryInfo(HANDLE hFile, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional,
                      bool fExecutableName);

/*
 * Opens pName below hRoot with NtCreateFile, synchronous, the name taken
 * without regard to case.  An empty name opens the object that hRoot is open
 * on once more: no name is looked up at all.  *phNew is only written on success.
 */
NTSTATUS rtNtOpenRelative(HANDLE *phNew, HANDLE hRoot, UNICODE_STRING *pName, ACCESS_MASK fAccess,
                          ULONG fShare, ULONG uDisposition, ULONG fOptions);

/* Marks the object of hFile for deletion (it needs delete access); it goes with its last handle. */
NTSTATUS rtNtSetDeleteDisposition(HANDLE hFile);

/* NtQueryInformationFile for callers that have no use for the status block. */
NTSTATUS rtNtQueryFileInfo(HANDLE hFile, void *pvInfo, ULONG cbInfo,
                           FILE_INFORMATION_CLASS enmClass);

/*
 * Opens an existing object by its native name with full sharing.  When
 * *pfOptions has FILE_OPEN_REPARSE_POINT and the system refuses the option
 * (STATUS_INVALID_PARAMETER), the open is made again without it, which
 * *pfOptions then tells.
 */
NTSTATUS rtNtOpenExisting(HANDLE *phFile, ACCESS_MASK fAccess, UNICODE_STRING *pNtName,
                          ULONG *pfOptions);

/* Fills the common part of a record from the values that every NT answer carries. */
void rtFsObjInfoFromNt(RTFSOBJINFO *pObjInfo, uint32_t enmAdditional, const LARGE_INTEGER *pBirth,
                       const LARGE_INTEGER *pAccess, const LARGE_INTEGER *pWrite,
                       const LARGE_INTEGER *pChange, const LARGE_INTEGER *pcbObject,
                       const LARGE_INTEGER *pcbAllocated, uint32_t fAttribs, uint32_t uReparseTag,
                       bool fExecutableName);

/* The serial number of the volume a handle is on; 0 when it can't be had. */
uint32_t rtFileNtVolumeSerial(HANDLE hFile);

/* The file-system kind of the volume a handle is on (rtFileQueryFsKind). */
int rtFileQueryFsKind(HANDLE hFile, uint32_t *penmType);

/* KERR_DISK_FULL, or KERR_FILE_TOO_BIG when cbFile passes the file system's limit. */
int rtFileDiagnoseDiskFull(HANDLE hFile, uint64_t cbFile);

#endif
