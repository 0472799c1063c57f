/*
 * Native NT paths: a Windows path in its "\??\" form as a counted UTF-16
 * string, and the open of an existing object by such a path, with the
 * fall-backs that the object manager needs (a trailing separator for
 * volume roots, object-manager directories that are not files).
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"

int rtNtPathFromWinUtf8(UNICODE_STRING *pNtName, const char *pszPath)
{
    pNtName->Length = 0;
    pNtName->MaximumLength = 0;
    pNtName->Buffer = nullptr;

    char *pszNt = nullptr;
    int rc = rtPathNtFormUtf8(pszPath, rtNtOsMajorVersion() < 4, &pszNt, nullptr);
    if (RT_FAILURE(rc))
        return rc;

    PRTUTF16 pwszNt = nullptr;
    size_t cwc = 0;
    rc = RTStrToUtf16Ex(pszNt, RTSTR_MAX, &pwszNt, 0, &cwc, "nt-path");
    RTMemFree(pszNt);
    if (RT_FAILURE(rc))
        return rc;
    /* The counted string holds its length in bytes in 16 bits, terminator room included. */
    if (cwc >= 32767)
    {
        RTStrRelease(pwszNt);
        return KERR_FILENAME_TOO_LONG;
    }
    pNtName->Length = (USHORT)(cwc * sizeof(RTUTF16));
    pNtName->MaximumLength = (USHORT)(pNtName->Length + sizeof(RTUTF16));
    pNtName->Buffer = (PWSTR)pwszNt;
    return KINF_SUCCESS;
}

void rtNtPathFree(UNICODE_STRING *pNtName)
{
    if (pNtName)
    {
        RTStrRelease(pNtName->Buffer);
        pNtName->Buffer = nullptr;
        pNtName->Length = 0;
        pNtName->MaximumLength = 0;
    }
}

namespace {

/* The object-directory rights that stand for the file rights asked for. */
ACCESS_MASK rtNtPathObjDirAccess(ACCESS_MASK fDesiredAccess)
{
    if ((fDesiredAccess & STANDARD_RIGHTS_ALL) == STANDARD_RIGHTS_ALL
        || (fDesiredAccess & GENERIC_ALL))
        return RTNT_DIRECTORY_ALL_ACCESS;
    /* Reading a directory is listing it; writing is adding to it. */
    bool const fReadish = (fDesiredAccess & (GENERIC_READ | READ_CONTROL | FILE_LIST_DIRECTORY))
                          != 0;
    bool const fListish = (fDesiredAccess & (GENERIC_WRITE | READ_CONTROL | FILE_ADD_FILE)) != 0;
    ACCESS_MASK fAccess;
    if (!fListish)
        fAccess = RTNT_DIRECTORY_QUERY;
    else
        fAccess = RTNT_DIRECTORY_CREATE_OBJECT | RTNT_DIRECTORY_CREATE_SUBDIRECTORY
                  | (fReadish ? RTNT_DIRECTORY_QUERY : 0);
    if (fDesiredAccess & FILE_TRAVERSE)
        fAccess |= RTNT_DIRECTORY_TRAVERSE;
    return fAccess;
}

} // namespace

int rtNtPathOpen(const char *pszPath, ACCESS_MASK fDesiredAccess, ULONG fShareAccess,
                 ULONG fCreateOptions, ULONG fObjAttribs, HANDLE *phHandle, bool *pfObjDir)
{
    *phHandle = INVALID_HANDLE_VALUE;
    bool const fObjDirAsked = pfObjDir && rtPathIsZelkNtForm(pszPath);
    if (pfObjDir)
        *pfObjDir = false;

    UNICODE_STRING NtName;
    int rc = rtNtPathFromWinUtf8(&NtName, pszPath);
    if (RT_FAILURE(rc))
        return rc;

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, fObjAttribs, nullptr, nullptr);
    IO_STATUS_BLOCK Ios = {};
    HANDLE hFile;
    NTSTATUS rcNt;
    for (bool fRetried = false;; fRetried = true)
    {
        hFile = INVALID_HANDLE_VALUE;
        rcNt = RT_NT_SYS(NtCreateFile)(&hFile, fDesiredAccess, &ObjAttr, &Ios, nullptr,
                                       FILE_ATTRIBUTE_NORMAL, fShareAccess, FILE_OPEN,
                                       fCreateOptions, nullptr, 0);

        /*
         * A volume root wants its trailing separator ("\??\C:" is the volume,
         * "\??\C:\" its root), if the name has room for it and the terminator.
         */
        if (fRetried || rcNt != RTNT_STATUS_INVALID_PARAMETER
            || NtName.Length > UINT16_MAX - 2 * sizeof(WCHAR)
            || (NtName.Length != 0 && NtName.Buffer[NtName.Length / 2 - 1] == '\\'))
            break;
        PRTUTF16 pwszLonger = (PRTUTF16)RTMemAlloc(NtName.Length + 2 * sizeof(RTUTF16), "nt-path");
        if (!pwszLonger)
            break;
        RTMemCopy(pwszLonger, NtName.Buffer, NtName.Length);
        pwszLonger[NtName.Length / 2] = '\\';
        pwszLonger[NtName.Length / 2 + 1] = 0;
        RTStrRelease(NtName.Buffer);
        NtName.Buffer = (PWSTR)pwszLonger;
        NtName.Length = (USHORT)(NtName.Length + 2);
        NtName.MaximumLength = (USHORT)(NtName.Length + 2);
    }

    if (fObjDirAsked
        && (rcNt == RTNT_STATUS_OBJECT_NAME_INVALID || rcNt == RTNT_STATUS_OBJECT_TYPE_MISMATCH))
    {
        if (NtName.Length > 2 && NtName.Buffer[NtName.Length / 2 - 1] == '\\')
            NtName.Length = (USHORT)(NtName.Length - 2);
        hFile = INVALID_HANDLE_VALUE;
        rcNt = RT_NT_SYS(NtOpenDirectoryObject)(&hFile, rtNtPathObjDirAccess(fDesiredAccess),
                                                &ObjAttr);
        if (NT_SUCCESS(rcNt))
            *pfObjDir = true;
    }

    if (NT_SUCCESS(rcNt))
    {
        *phHandle = hFile;
        rc = KINF_SUCCESS;
    }
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    rtNtPathFree(&NtName);
    return rc;
}
