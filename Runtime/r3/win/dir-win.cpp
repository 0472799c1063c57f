/*
 * Making and removing one directory.  A new directory is marked not content
 * indexed, so that the indexer does not hold files of an extraction open
 * while they are verified and removed; when that fails and the caller cares,
 * the directory just made is removed again, so that a failed call leaves
 * nothing behind.
 *
 * A directory whose mode grants nothing to group and others (0700, say) is
 * made private: its access list gives full control to the process's user,
 * SYSTEM and Administrators, is passed on to everything made inside it, and
 * takes nothing from the parent.  Without that it would inherit the
 * parent's list, and a temporary directory such as C:\Windows\Temp lets
 * every local user in.  Other modes keep the inherited list.
 */
#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "nt.h"

namespace {

/* The group and other bits of a mode: without them, a directory is private. */
const RTFMODE g_fDirModeShared = 077;

/* S-1-5-18 (SYSTEM) and S-1-5-32-544 (Administrators), in their binary form. */
alignas(4) const uint8_t g_abSidSystem[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
alignas(4) const uint8_t g_abSidAdmins[] = { 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0 };

/* An absolute security descriptor with its access list and the user's SID beside it. */
struct RTDIRPRIVATESD
{
    SECURITY_DESCRIPTOR Sd;
    union
    {
        TOKEN_USER User;
        uint8_t ab[256];
    } u;
    union
    {
        ACL Acl;
        alignas(DWORD) uint8_t ab[512];
    } Dacl;
};

/* Fills pPriv with the private directory's descriptor (see the file banner). */
int rtDirPrivateSecDesc(RTDIRPRIVATESD *pPriv)
{
    HANDLE hToken = nullptr;
    NTSTATUS rcNt = NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    if (NT_SUCCESS(rcNt))
    {
        ULONG cbRet = 0;
        rcNt = NtQueryInformationToken(hToken, TokenUser, &pPriv->u, sizeof(pPriv->u), &cbRet);
        NtClose(hToken);
    }
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    /*
     * The list is laid out as the system's list functions lay it out: its
     * header, then per entry a header, the rights and the SID.  A SID has at
     * most 15 sub-authorities, so three entries take at most 3 * 76 bytes.
     */
    ACL *const pAcl = &pPriv->Dacl.Acl;
    pAcl->AclRevision = ACL_REVISION;
    pAcl->Sbz1 = 0;
    pAcl->AclSize = sizeof(pPriv->Dacl);
    pAcl->AceCount = 0;
    pAcl->Sbz2 = 0;
    size_t off = sizeof(ACL);
    const SID *const apSids[] = { (const SID *)pPriv->u.User.User.Sid, (const SID *)g_abSidSystem,
                                  (const SID *)g_abSidAdmins };
    for (size_t i = 0; i < RT_ELEMENTS(apSids); i++)
    {
        size_t const cbSid = offsetof(SID, SubAuthority)
                             + apSids[i]->SubAuthorityCount * sizeof(DWORD);
        ACCESS_ALLOWED_ACE *const pAce = (ACCESS_ALLOWED_ACE *)&pPriv->Dacl.ab[off];
        pAce->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
        pAce->Header.AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        pAce->Header.AceSize = (WORD)(offsetof(ACCESS_ALLOWED_ACE, SidStart) + cbSid);
        pAce->Mask = FILE_ALL_ACCESS;
        RTMemCopy(&pAce->SidStart, apSids[i], cbSid);
        off += pAce->Header.AceSize;
        pAcl->AceCount++;
    }

    SECURITY_DESCRIPTOR *const pSd = &pPriv->Sd;
    RTMemSet(pSd, 0, sizeof(*pSd));
    pSd->Revision = SECURITY_DESCRIPTOR_REVISION;
    pSd->Control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
    pSd->Dacl = pAcl;
    return KINF_SUCCESS;
}

} // namespace

int RTDirMake(const char *pszPath, RTFMODE fMode, uint32_t fCreate)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    if (fCreate & ~RTDIRCREATE_FLAGS_VALID_MASK)
        return KERR_INVALID_FLAGS;
    if (!(fMode & RTFS_TYPE_MASK))
        fMode |= RTFS_TYPE_DIRECTORY;
    fMode |= RTFS_DOS_DIRECTORY;
    if ((fMode & RTFS_TYPE_MASK) != RTFS_TYPE_DIRECTORY)
        return KERR_INVALID_FMODE;

    RTDIRPRIVATESD Priv;
    SECURITY_ATTRIBUTES SecAttr = { sizeof(SecAttr), &Priv.Sd, FALSE };
    bool const fPrivate = !(fMode & g_fDirModeShared);
    if (fPrivate)
    {
        int const rc = rtDirPrivateSecDesc(&Priv);
        if (RT_FAILURE(rc))
            return rc;
    }

    PRTUTF16 pwszPath = nullptr;
    int rc = rtPathWin32FromUtf8(pszPath, &pwszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!RT_NT_SYS(CreateDirectoryW)((LPCWSTR)pwszPath, fPrivate ? &SecAttr : nullptr))
        rc = RTErrConvertFromWin32(GetLastError());
    else if (!(fCreate & RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_DONT_SET)
             && !RT_NT_SYS(SetFileAttributesW)((LPCWSTR)pwszPath,
                                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
             && !(fCreate & RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_NOT_CRITICAL))
    {
        rc = RTErrConvertFromWin32(GetLastError());
        RT_NT_SYS(RemoveDirectoryW)((LPCWSTR)pwszPath);
    }
    RTStrRelease(pwszPath);
    return rc;
}

int RTDirDelete(const char *pszPath)
{
    if (!pszPath)
        return KERR_INVALID_POINTER;
    PRTUTF16 pwszPath = nullptr;
    int rc = rtPathWin32FromUtf8(pszPath, &pwszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!RT_NT_SYS(RemoveDirectoryW)((LPCWSTR)pwszPath))
        rc = RTErrConvertFromWin32(GetLastError());
    RTStrRelease(pwszPath);
    return rc;
}
