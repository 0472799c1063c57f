/*
 * Directories and unique names on the real file system of the test bench:
 * existence, creation and removal of one directory, directory handles and
 * what they lock, the open-reparse-point probe, path information (including
 * items that can only be described from their directory entry or object
 * directory), and the unique-name operations.
 */
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/fs.h>
#include <zelk/init.h>
#include <zelk/path.h>

#include "file-internal.h"
#include "nt.h"
#include "path-internal.h"
#include "runtime/win/fs-testutil.h"

#include <sddl.h>

using namespace fstest;

namespace {

class DirTest : public ScratchDirTest
{
};

/* Replacements for the system-call table. */

/* A system that refuses the open-reparse-point option, counting the opens that ask for it. */
unsigned g_cReparseAsked;

NTSTATUS NTAPI createFileNoReparseOption(PHANDLE ph, ACCESS_MASK fAccess,
                                         POBJECT_ATTRIBUTES pObjAttr, PIO_STATUS_BLOCK pIos,
                                         PLARGE_INTEGER pcbAlloc, ULONG fAttribs, ULONG fShare,
                                         ULONG uDisposition, ULONG fOptions, PVOID pvEa, ULONG cbEa)
{
    if (fOptions & FILE_OPEN_REPARSE_POINT)
    {
        g_cReparseAsked++;
        return RTNT_STATUS_INVALID_PARAMETER;
    }
    return NtCreateFile(ph, fAccess, pObjAttr, pIos, pcbAlloc, fAttribs, fShare, uDisposition,
                        fOptions, pvEa, cbEa);
}

/* Opens of names ending in "locked" are refused as if another process held the item. */
NTSTATUS NTAPI createFileLockedOut(PHANDLE ph, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pObjAttr,
                                   PIO_STATUS_BLOCK pIos, PLARGE_INTEGER pcbAlloc, ULONG fAttribs,
                                   ULONG fShare, ULONG uDisposition, ULONG fOptions, PVOID pvEa,
                                   ULONG cbEa)
{
    std::wstring const wstrName(pObjAttr->ObjectName->Buffer,
                                pObjAttr->ObjectName->Length / sizeof(WCHAR));
    if (wstrName.size() >= 6 && wstrName.compare(wstrName.size() - 6, 6, L"locked") == 0)
        return RTNT_STATUS_SHARING_VIOLATION;
    if (wstrName.size() >= 6 && wstrName.compare(wstrName.size() - 6, 6, L"denied") == 0)
        return RTNT_STATUS_ACCESS_DENIED;
    return NtCreateFile(ph, fAccess, pObjAttr, pIos, pcbAlloc, fAttribs, fShare, uDisposition,
                        fOptions, pvEa, cbEa);
}

NTSTATUS NTAPI fullAttributesNotImplemented(POBJECT_ATTRIBUTES, PFILE_NETWORK_OPEN_INFORMATION)
{
    return RTNT_STATUS_NOT_IMPLEMENTED;
}

NTSTATUS NTAPI fullAttributesSharingViolation(POBJECT_ATTRIBUTES, PFILE_NETWORK_OPEN_INFORMATION)
{
    return RTNT_STATUS_SHARING_VIOLATION;
}

/* "\??\Z:" leads nowhere. */
NTSTATUS NTAPI createFileDanglingZ(PHANDLE ph, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pObjAttr,
                                   PIO_STATUS_BLOCK pIos, PLARGE_INTEGER pcbAlloc, ULONG fAttribs,
                                   ULONG fShare, ULONG uDisposition, ULONG fOptions, PVOID pvEa,
                                   ULONG cbEa)
{
    std::wstring const wstrName(pObjAttr->ObjectName->Buffer,
                                pObjAttr->ObjectName->Length / sizeof(WCHAR));
    if (wstrName == L"\\??\\Z:")
        return RTNT_STATUS_OBJECT_NAME_NOT_FOUND;
    return NtCreateFile(ph, fAccess, pObjAttr, pIos, pcbAlloc, fAttribs, fShare, uDisposition,
                        fOptions, pvEa, cbEa);
}

BOOL WINAPI setAttributesFailing(LPCWSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

unsigned g_cCreateDirCalls;

BOOL WINAPI createDirectoryCounted(LPCWSTR pwszPath, LPSECURITY_ATTRIBUTES pSecAttr)
{
    g_cCreateDirCalls++;
    return CreateDirectoryW(pwszPath, pSecAttr);
}

BOOL WINAPI createDirectoryAlwaysExists(LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    g_cCreateDirCalls++;
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

/*
 * The entries of an access list as "SID mask flags" lines, and whether it is
 * protected from inheritance ("protected" first when it is).
 */
std::vector<std::string> describeDacl(SECURITY_DESCRIPTOR_CONTROL fControl, PACL pAcl)
{
    std::vector<std::string> lines;
    if (pAcl && !IsValidAcl(pAcl))
        lines.push_back("invalid list");
    if (fControl & SE_DACL_PROTECTED)
        lines.push_back("protected");
    for (DWORD i = 0; pAcl && i < pAcl->AceCount; i++)
    {
        ACCESS_ALLOWED_ACE *pAce = nullptr;
        if (!GetAce(pAcl, i, (void **)&pAce))
            break;
        LPWSTR pwszSid = nullptr;
        ConvertSidToStringSidW((PSID)&pAce->SidStart, &pwszSid);
        char szLine[160];
        snprintf(szLine, sizeof(szLine), "%s type=%u mask=%#lx flags=%#x",
                 pwszSid ? toUtf8(pwszSid).c_str() : "?", pAce->Header.AceType,
                 (unsigned long)pAce->Mask, pAce->Header.AceFlags);
        LocalFree(pwszSid);
        lines.push_back(szLine);
    }
    return lines;
}

std::string currentUserSid()
{
    HANDLE hToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    union
    {
        TOKEN_USER User;
        uint8_t ab[256];
    } u;
    DWORD cb = 0;
    GetTokenInformation(hToken, TokenUser, &u, sizeof(u), &cb);
    CloseHandle(hToken);
    LPWSTR pwszSid = nullptr;
    ConvertSidToStringSidW(u.User.User.Sid, &pwszSid);
    std::string const str = pwszSid ? toUtf8(pwszSid) : "?";
    LocalFree(pwszSid);
    return str;
}

/* The access list that a private directory must carry, and nothing else. */
std::vector<std::string> privateDacl()
{
    char szFlags[32];
    snprintf(szFlags, sizeof(szFlags), " type=0 mask=%#lx flags=%#x",
             (unsigned long)FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    return { "protected", currentUserSid() + szFlags, std::string("S-1-5-18") + szFlags,
             std::string("S-1-5-32-544") + szFlags };
}

/* What each CreateDirectoryW call was asked to set; "inherit" when no descriptor came. */
std::vector<std::vector<std::string>> g_aCreateDirDacls;

BOOL WINAPI createDirectoryRecordingDacl(LPCWSTR pwszPath, LPSECURITY_ATTRIBUTES pSecAttr)
{
    if (!pSecAttr || !pSecAttr->lpSecurityDescriptor)
        g_aCreateDirDacls.push_back({ "inherit" });
    else if (!IsValidSecurityDescriptor(pSecAttr->lpSecurityDescriptor))
        g_aCreateDirDacls.push_back({ "invalid descriptor" });
    else
    {
        SECURITY_DESCRIPTOR_CONTROL fControl = 0;
        DWORD uRevision = 0;
        GetSecurityDescriptorControl(pSecAttr->lpSecurityDescriptor, &fControl, &uRevision);
        BOOL fPresent = FALSE, fDefaulted = FALSE;
        PACL pAcl = nullptr;
        GetSecurityDescriptorDacl(pSecAttr->lpSecurityDescriptor, &fPresent, &pAcl, &fDefaulted);
        g_aCreateDirDacls.push_back(fPresent ? describeDacl(fControl, pAcl)
                                             : std::vector<std::string>{ "no dacl" });
    }
    return CreateDirectoryW(pwszPath, pSecAttr);
}

bool isUniqueName(const std::string &strName, size_t cch)
{
    if (strName.size() != cch)
        return false;
    for (char ch : strName)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z')))
            return false;
    return true;
}

} // namespace

TEST_F(DirTest, MakeExistsDelete)
{
    std::string const strDir = path("made");
    EXPECT_FALSE(RTDirExists(strDir.c_str()));
    ASSERT_EQ(RTDirMake(strDir.c_str(), 0755, 0), 0);
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(RTDirMake(strDir.c_str(), 0755, 0), KERR_ALREADY_EXISTS);
    EXPECT_EQ(RTDirMake(path("no\\such\\parent").c_str(), 0755, 0), KERR_PATH_NOT_FOUND);
    EXPECT_EQ(RTDirMake(path("file-mode").c_str(), RTFS_TYPE_FILE | 0755, 0), KERR_INVALID_FMODE);
    EXPECT_EQ(RTDirMake(path("flags").c_str(), 0755, 8), KERR_INVALID_FLAGS);
    EXPECT_FALSE(exists(path("file-mode")));
    EXPECT_EQ(RTDirMake(path("typed").c_str(), RTFS_TYPE_DIRECTORY | RTFS_DOS_DIRECTORY | 0700, 0),
              0);

    /* A file is not a directory; a directory with something in it is not removed. */
    ASSERT_TRUE(writeFile(path("made\\inside.txt"), "x"));
    EXPECT_FALSE(RTDirExists(path("made\\inside.txt").c_str()));
    EXPECT_EQ(RTDirDelete(strDir.c_str()), KERR_DIR_NOT_EMPTY);
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(readFile(path("made\\inside.txt")), "x");
    ASSERT_TRUE(DeleteFileW(toWide(path("made\\inside.txt")).c_str()));
    EXPECT_EQ(RTDirDelete(strDir.c_str()), 0);
    EXPECT_FALSE(exists(strDir));
    EXPECT_EQ(RTDirDelete(strDir.c_str()), KERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTDirDelete(path("no\\such").c_str()), KERR_PATH_NOT_FOUND);
    EXPECT_EQ(RTDirMake(nullptr, 0, 0), KERR_INVALID_POINTER);
    EXPECT_FALSE(RTDirExists(""));
}

/*
 * A private mode makes a private directory.  Wine neither keeps the
 * descriptor a directory is created with (no extended attribute, and the
 * Unix mode stays 0755) nor gives it back, so the check is on what
 * CreateDirectoryW is asked for, through the table.
 */
TEST_F(DirTest, PrivateModeMakesAPrivateAccessList)
{
    std::vector<std::string> const expected = privateDacl();
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnCreateDirectoryW = createDirectoryRecordingDacl;
        g_aCreateDirDacls.clear();
        ASSERT_EQ(RTDirMake(path("private").c_str(), 0700, 0), 0);
        ASSERT_EQ(RTDirMake(path("owner-only").c_str(), 0500, 0), 0);
        ASSERT_EQ(RTDirMake(path("shared").c_str(), 0755, 0), 0);
        ASSERT_EQ(RTDirMake(path("group").c_str(), 0770, 0), 0);
        char szTemplate[MAX_PATH];
        snprintf(szTemplate, sizeof(szTemplate), "%s", path("XXXXXXXX").c_str());
        ASSERT_EQ(RTDirMakeUnique(szTemplate, 0700), 0);
        ASSERT_EQ(g_aCreateDirDacls.size(), 5u);
        EXPECT_EQ(g_aCreateDirDacls[0], expected);
        EXPECT_EQ(g_aCreateDirDacls[1], expected);
        EXPECT_EQ(g_aCreateDirDacls[2], std::vector<std::string>{ "inherit" });
        EXPECT_EQ(g_aCreateDirDacls[3], std::vector<std::string>{ "inherit" });
        EXPECT_EQ(g_aCreateDirDacls[4], expected);
    }
}

TEST_F(DirTest, NotContentIndexedAttribute)
{
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnSetFileAttributesW = setAttributesFailing;

    /* The attribute can't be set: the failure comes back and nothing is left behind. */
    EXPECT_EQ(RTDirMake(path("a").c_str(), 0700, 0), KERR_ACCESS_DENIED);
    EXPECT_FALSE(exists(path("a")));
    EXPECT_EQ(
        RTDirMake(path("b").c_str(), 0700, RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_NOT_CRITICAL), 0);
    EXPECT_TRUE(RTDirExists(path("b").c_str()));
    EXPECT_EQ(RTDirMake(path("c").c_str(), 0700, RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_DONT_SET),
              0);
    EXPECT_TRUE(RTDirExists(path("c").c_str()));
}

TEST_F(DirTest, HandleLocksTheDirectory)
{
    std::string const strDir = path("held");
    ASSERT_EQ(RTDirMake(strDir.c_str(), 0700, 0), 0);
    RTDIR hDir = NIL_RTDIR;
    ASSERT_EQ(RTDirOpenPath(&hDir, strDir.c_str()), 0);
    EXPECT_TRUE(RTDirIsUsable(hDir));
    EXPECT_EQ(*(const uint32_t *)hDir, UINT32_C(0x19291112));

    /* Files can come and go inside; the directory itself can't be removed or renamed. */
    EXPECT_TRUE(writeFile(path("held\\f.txt"), "x"));
    EXPECT_TRUE(DeleteFileW(toWide(path("held\\f.txt")).c_str()));
    EXPECT_NE(RTDirDelete(strDir.c_str()), 0);
    EXPECT_TRUE(exists(strDir));
    EXPECT_FALSE(MoveFileW(toWide(strDir).c_str(), toWide(path("moved")).c_str()));
    EXPECT_TRUE(exists(strDir));

    EXPECT_EQ(RTDirClose(hDir), 0);
    EXPECT_EQ(RTDirDelete(strDir.c_str()), 0);

    EXPECT_FALSE(RTDirIsUsable(NIL_RTDIR));
    EXPECT_FALSE(RTDirIsUsable((RTDIR)(uintptr_t)0x10));
    EXPECT_EQ(RTDirClose(NIL_RTDIR), KERR_INVALID_PARAMETER);
    uint32_t au32Fake[8] = { UINT32_C(0xE6D6EEED) };
    EXPECT_FALSE(RTDirIsUsable((RTDIR)au32Fake));
    EXPECT_EQ(RTDirClose((RTDIR)au32Fake), KERR_INVALID_PARAMETER);
}

TEST_F(DirTest, OpenFailuresAndArguments)
{
    ASSERT_TRUE(writeFile(path("file.txt"), "x"));
    ASSERT_EQ(RTDirMake(path("sub").c_str(), 0700, 0), 0);
    static const struct
    {
        const char *pszName;
        uint32_t enmFilter;
        uint32_t fFlags;
        int rc;
    } s_aRows[] = // clang-format off
    {
        { "sub",               RTDIRFILTER_NONE,  0,    0 },
        { "sub\\",             RTDIRFILTER_NONE,  0,    0 },
        { "sub\\*.txt",        RTDIRFILTER_WINNT, 0,    0 },
        { "sub",               RTDIRFILTER_NONE,  RTDIR_F_NO_FOLLOW, 0 },
        { "sub",               RTDIRFILTER_NONE,  RTDIR_F_NO_ABS_PATH, 0 },
        { "sub",               RTDIRFILTER_NONE,  RTDIR_F_NO_REPARSE, 0 },
        { "sub\\",             RTDIRFILTER_NONE,  RTDIR_F_NO_REPARSE, 0 },
        { "file.txt",          RTDIRFILTER_NONE,  0,    KERR_NOT_A_DIRECTORY },
        { "missing",           RTDIRFILTER_NONE,  0,    KERR_FILE_NOT_FOUND },
        { "missing\\x\\*.txt", RTDIRFILTER_WINNT, 0,    KERR_PATH_NOT_FOUND },
        { "sub",               RTDIRFILTER_NONE,  0x10, KERR_INVALID_FLAGS },
        { "sub",               RTDIRFILTER_UNIX,  0,    KERR_NOT_IMPLEMENTED },
        { "sub",               RTDIRFILTER_UNIX_UPCASED, 0, KERR_NOT_IMPLEMENTED },
        { "sub",               RTDIRFILTER_INVALID, 0,  KERR_INVALID_PARAMETER },
        { "sub",               7,                 0,    KERR_INVALID_PARAMETER },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        RTDIR hDir = NIL_RTDIR;
        int rc = RTDirOpenPathFiltered(&hDir, path(s_aRows[i].pszName).c_str(),
                                       s_aRows[i].enmFilter, s_aRows[i].fFlags);
        EXPECT_EQ(rc, s_aRows[i].rc);
        if (RT_SUCCESS(rc))
        {
            EXPECT_TRUE(RTDirIsUsable(hDir));
            EXPECT_EQ(RTDirClose(hDir), 0);
        }
        else
        {
            EXPECT_EQ(hDir, NIL_RTDIR);
        }
    }
    RTDIR hDir;
    EXPECT_EQ(RTDirOpenPath(nullptr, m_strDir.c_str()), KERR_INVALID_POINTER);
    EXPECT_EQ(RTDirOpenPath(&hDir, nullptr), KERR_INVALID_POINTER);
    EXPECT_EQ(RTDirOpenPathFiltered(&hDir, "", RTDIRFILTER_NONE, 0), KERR_INVALID_PARAMETER);

    /* Relative to the current directory. */
    ASSERT_EQ(RTPathSetCurrent(m_strDir.c_str()), 0);
    ASSERT_EQ(RTDirOpenPath(&hDir, "sub"), 0);
    EXPECT_EQ(RTDirClose(hDir), 0);
}

TEST_F(DirTest, SymbolicLinkRefusedWithNoFollow)
{
    ASSERT_EQ(RTDirMake(path("real").c_str(), 0700, 0), 0);
    std::string const strLink = path("link");
    CreateSymbolicLinkW(toWide(strLink).c_str(), toWide(path("real")).c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY);
    SysOverrideGuard Guard;
    if (!isRealSymlink(strLink))
    {
        /* Let the system call the directory a link. */
        ASSERT_EQ(RTDirMake(strLink.c_str(), 0700, 0), 0);
        g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoAsSymlink;
    }
    RTDIR hDir = NIL_RTDIR;
    EXPECT_EQ(RTDirOpenPathFiltered(&hDir, strLink.c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW),
              KERR_IS_A_SYMLINK);
    EXPECT_EQ(hDir, NIL_RTDIR);
    /* Without the flag, or with a trailing separator, the link is followed. */
    ASSERT_EQ(RTDirOpenPathFiltered(&hDir, strLink.c_str(), RTDIRFILTER_NONE, 0), 0);
    EXPECT_EQ(RTDirClose(hDir), 0);
    ASSERT_EQ(
        RTDirOpenPathFiltered(&hDir, (strLink + "\\").c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW),
        0);
    EXPECT_EQ(RTDirClose(hDir), 0);
}

/* A junction is followed, even with RTDIR_F_NO_FOLLOW, unless every reparse point is refused. */
TEST_F(DirTest, JunctionRefusedWithNoReparse)
{
    ASSERT_EQ(RTDirMake(path("junction").c_str(), 0700, 0), 0);
    ASSERT_EQ(RTDirMake(path("link").c_str(), 0700, 0), 0);
    static const struct
    {
        const char *pszName;
        bool fSymlink;
        uint32_t fFlags;
        int rc;
    } s_aRows[] = // clang-format off
    {
        { "junction",   false, 0,                                     0 },
        { "junction",   false, RTDIR_F_NO_FOLLOW,                     0 },
        { "junction",   false, RTDIR_F_NO_REPARSE,                    KERR_IS_A_SYMLINK },
        { "junction\\", false, RTDIR_F_NO_REPARSE,                    KERR_IS_A_SYMLINK },
        { "junction",   false, RTDIR_F_NO_REPARSE | RTDIR_F_NO_FOLLOW, KERR_IS_A_SYMLINK },
        { "link",       true,  RTDIR_F_NO_FOLLOW,                     KERR_IS_A_SYMLINK },
        { "link",       true,  RTDIR_F_NO_REPARSE,                    KERR_IS_A_SYMLINK },
        { "link",       true,  0,                                     0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnNtQueryInformationFile = s_aRows[i].fSymlink ? queryInfoAsSymlink
                                                                          : queryInfoAsMountPoint;
        RTDIR hDir = NIL_RTDIR;
        int const rc = RTDirOpenPathFiltered(&hDir, path(s_aRows[i].pszName).c_str(),
                                             RTDIRFILTER_NONE, s_aRows[i].fFlags);
        EXPECT_EQ(rc, s_aRows[i].rc);
        if (RT_SUCCESS(rc))
            EXPECT_EQ(RTDirClose(hDir), 0);
        else
            EXPECT_EQ(hDir, NIL_RTDIR);
    }
}

TEST_F(DirTest, ReparseOptionProbeIsSettledOnce)
{
    ASSERT_EQ(RTDirMake(path("d").c_str(), 0700, 0), 0);
    int32_t const enmSaved = g_rtDirNtReparseSupport;

    /* The real system settles it as supported. */
    g_rtDirNtReparseSupport = RTNT_REPARSE_SUPPORT_UNKNOWN;
    RTDIR hDir = NIL_RTDIR;
    ASSERT_EQ(RTDirOpenPathFiltered(&hDir, path("d").c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW),
              0);
    EXPECT_EQ(RTDirClose(hDir), 0);
    EXPECT_EQ(g_rtDirNtReparseSupport, RTNT_REPARSE_SUPPORT_YES);

    /* A system that refuses the option: learnt from the first open, never asked again. */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtCreateFile = createFileNoReparseOption;
    g_rtDirNtReparseSupport = RTNT_REPARSE_SUPPORT_UNKNOWN;
    g_cReparseAsked = 0;
    unsigned cAskedByFirst = 0;
    for (int i = 0; i < 3; i++)
    {
        SCOPED_TRACE(testing::Message() << "open " << i);
        ASSERT_EQ(
            RTDirOpenPathFiltered(&hDir, path("d").c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW),
            0);
        EXPECT_EQ(RTDirClose(hDir), 0);
        EXPECT_EQ(g_rtDirNtReparseSupport, RTNT_REPARSE_SUPPORT_NO);
        if (i == 0)
            cAskedByFirst = g_cReparseAsked;
    }
    EXPECT_GE(cAskedByFirst, 1u);
    EXPECT_EQ(g_cReparseAsked, cAskedByFirst) << "asked again after the refusal was known";

    /* Once known to work, a refusal is a real failure, not news about the system. */
    g_rtDirNtReparseSupport = RTNT_REPARSE_SUPPORT_YES;
    EXPECT_EQ(RTDirOpenPathFiltered(&hDir, path("d").c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(g_rtDirNtReparseSupport, RTNT_REPARSE_SUPPORT_YES);
    g_rtDirNtReparseSupport = enmSaved;
}

TEST_F(DirTest, PathInfoRows)
{
    ASSERT_TRUE(writeFile(path("plain.txt"), "0123456789"));
    ASSERT_TRUE(writeFile(path("tool.EXE"), "MZ"));
    ASSERT_TRUE(writeFile(path("script.cmd"), "@echo"));
    ASSERT_TRUE(writeFile(path("ro.txt"), "r"));
    ASSERT_TRUE(SetFileAttributesW(toWide(path("ro.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(RTDirMake(path("dir").c_str(), 0700, 0), 0);

    static const struct
    {
        const char *pszName;
        uint32_t enmAdd;
        uint32_t fFlags;
        int rc;
        RTFMODE fMode;
        int64_t cb;
    } s_aRows[] = // clang-format off
    {
        { "plain.txt",  RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_FILE | 0666, 10 },
        { "plain.txt",  RTFSOBJATTRADD_UNIX,    RTPATH_F_ON_LINK,     0, RTFS_TYPE_FILE | 0666, 10 },
        { "plain.txt",  RTFSOBJATTRADD_EASIZE,  RTPATH_F_FOLLOW_LINK | RTPATH_F_NO_SYMLINKS, 0, RTFS_TYPE_FILE | 0666, 10 },
        { "tool.EXE",   RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_FILE | 0777, 2 },
        { "tool.EXE",   RTFSOBJATTRADD_UNIX,    RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_FILE | 0777, 2 },
        { "script.cmd", RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_FILE | 0777, 5 },
        { "ro.txt",     RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_FILE | 0444, 1 },
        { "dir",        RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_DIRECTORY | 0777, -1 },
        { "dir\\",      RTFSOBJATTRADD_UNIX,    RTPATH_F_FOLLOW_LINK, 0, RTFS_TYPE_DIRECTORY | 0777, -1 },
        { "missing",    RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK, KERR_FILE_NOT_FOUND, 0, 0 },
        { "missing\\x", RTFSOBJATTRADD_UNIX,    RTPATH_F_FOLLOW_LINK, KERR_PATH_NOT_FOUND, 0, 0 },
        { "plain.txt",  0,                      RTPATH_F_FOLLOW_LINK, KERR_INVALID_PARAMETER, 0, 0 },
        { "plain.txt",  6,                      RTPATH_F_FOLLOW_LINK, KERR_INVALID_PARAMETER, 0, 0 },
        { "plain.txt",  RTFSOBJATTRADD_NOTHING, 0,                    KERR_INVALID_PARAMETER, 0, 0 },
        { "plain.txt",  RTFSOBJATTRADD_NOTHING, 3,                    KERR_INVALID_PARAMETER, 0, 0 },
        { "plain.txt",  RTFSOBJATTRADD_NOTHING, 4,                    KERR_INVALID_PARAMETER, 0, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        RTFSOBJINFO Info;
        int rc = RTPathGetInfo(path(s_aRows[i].pszName).c_str(), &Info, s_aRows[i].enmAdd,
                               s_aRows[i].fFlags);
        ASSERT_EQ(rc, s_aRows[i].rc);
        if (rc != 0)
            continue;
        EXPECT_EQ(Info.Attr.fMode & (RTFS_TYPE_MASK | RTFS_UNIX_MASK), s_aRows[i].fMode)
            << std::oct << Info.Attr.fMode;
        if (s_aRows[i].cb >= 0)
        {
            EXPECT_EQ(Info.cbObject, s_aRows[i].cb);
        }
        EXPECT_EQ(Info.Attr.enmAdditional, (RTFSOBJATTRADD)s_aRows[i].enmAdd);
        if (s_aRows[i].enmAdd == RTFSOBJATTRADD_UNIX)
        {
            EXPECT_NE(Info.Attr.u.Unix.INodeId, 0u);
        }
    }
    SetFileAttributesW(toWide(path("ro.txt")).c_str(), FILE_ATTRIBUTE_NORMAL);

    RTFSOBJINFO Info;
    EXPECT_EQ(RTPathGetInfo(nullptr, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK),
              KERR_INVALID_POINTER);
    EXPECT_EQ(RTPathGetInfo(path("plain.txt").c_str(), nullptr, RTFSOBJATTRADD_NOTHING,
                            RTPATH_F_FOLLOW_LINK),
              KERR_INVALID_POINTER);
    EXPECT_EQ(RTPathGetInfo("", &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK),
              KERR_INVALID_PARAMETER);
}

TEST_F(DirTest, PathInfoSameThroughEveryRoute)
{
    /* Start-up looks the shortcut up; the system here has it. */
    ASSERT_EQ(RTR3Init(nullptr, nullptr, 0), 0);
    ASSERT_NE(rtNtSysQueryFullAttributesFile(), nullptr);
    ASSERT_TRUE(writeFile(path("x.dat"), std::string(1234, 'x')));
    RTFSOBJINFO Quick, Opened;
    /* Kind 1 takes the full-attributes shortcut, kind 2 opens the file. */
    ASSERT_EQ(
        RTPathGetInfo(path("x.dat").c_str(), &Quick, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK),
        0);
    ASSERT_EQ(
        RTPathGetInfo(path("x.dat").c_str(), &Opened, RTFSOBJATTRADD_UNIX, RTPATH_F_FOLLOW_LINK),
        0);
    EXPECT_EQ(Quick.cbObject, Opened.cbObject);
    EXPECT_EQ(Quick.Attr.fMode, Opened.Attr.fMode);
    EXPECT_EQ(Quick.ModificationTime, Opened.ModificationTime);

    /* Kind 2 agrees with the handle of the file. */
    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(RTFileOpenPath(&hFile, path("x.dat").c_str(), RTFILE_O_OPEN | RTFILE_O_READ), 0);
    RTFSOBJINFO ByHandle;
    ASSERT_EQ(RTFileQueryInfo(hFile, &ByHandle, RTFSOBJATTRADD_UNIX), 0);
    RTFileClose(hFile);
    EXPECT_EQ(ByHandle.Attr.u.Unix.INodeId, Opened.Attr.u.Unix.INodeId);
    EXPECT_EQ(ByHandle.Attr.u.Unix.INodeIdDevice, Opened.Attr.u.Unix.INodeIdDevice);

    /* Without the shortcut (an older system), the open gives the same. */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtQueryFullAttributesFile = fullAttributesNotImplemented;
    RTFSOBJINFO NoShortcut;
    ASSERT_EQ(RTPathGetInfo(path("x.dat").c_str(), &NoShortcut, RTFSOBJATTRADD_NOTHING,
                            RTPATH_F_FOLLOW_LINK),
              0);
    EXPECT_EQ(NoShortcut.cbObject, 1234);
    EXPECT_EQ(NoShortcut.Attr.fMode, Quick.Attr.fMode);
}

TEST_F(DirTest, PathInfoFromTheDirectoryEntry)
{
    ASSERT_TRUE(writeFile(path("held-locked"), "held by another"));
    ASSERT_TRUE(writeFile(path("acl-denied"), "no access"));
    ASSERT_EQ(RTDirMake(path("dir-locked").c_str(), 0700, 0), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtCreateFile = createFileLockedOut;
    g_rtNtSysOverride.pfnNtQueryFullAttributesFile = fullAttributesSharingViolation;

    static const struct
    {
        const char *pszName;
        RTFMODE fType;
        int64_t cb;
    } s_aRows[] = // clang-format off
    {
        { "held-locked", RTFS_TYPE_FILE, 15 },
        { "acl-denied", RTFS_TYPE_FILE, 9 },
        { "dir-locked", RTFS_TYPE_DIRECTORY, -1 },
    };
    // clang-format on
    RTFSOBJINFO Info;
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        ASSERT_EQ(RTPathGetInfo(path(s_aRows[i].pszName).c_str(), &Info, RTFSOBJATTRADD_UNIX,
                                RTPATH_F_FOLLOW_LINK),
                  0);
        EXPECT_EQ(Info.Attr.fMode & RTFS_TYPE_MASK, s_aRows[i].fType);
        if (s_aRows[i].cb >= 0)
        {
            EXPECT_EQ(Info.cbObject, s_aRows[i].cb);
        }
        EXPECT_GT(Info.ModificationTime, INT64_C(1600000000) * 1000000000);
    }
    EXPECT_TRUE(RTDirExists(path("dir-locked").c_str()));
    EXPECT_EQ(RTPathGetInfo(path("gone-locked").c_str(), &Info, RTFSOBJATTRADD_NOTHING,
                            RTPATH_F_FOLLOW_LINK),
              KERR_FILE_NOT_FOUND);
}

TEST_F(DirTest, PathInfoOfObjectNamespaceItems)
{
    static const struct
    {
        const char *pszPath;
        int rc;
        RTFMODE fType;
    } s_aRows[] = // clang-format off
    {
        { "\\\\:zelknt:\\Device", 0, RTFS_TYPE_DIRECTORY },
        { "\\\\:zelknt:\\", 0, RTFS_TYPE_DIRECTORY },
        { "\\\\:zelknt:\\Device\\Null", 0, RTFS_TYPE_FILE },
        { "\\\\:zelknt:\\NoSuchObjectDir", KERR_FILE_NOT_FOUND, 0 },
        { "\\\\:zelknt:\\Device\\NoSuchDevice", KERR_FILE_NOT_FOUND, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        RTFSOBJINFO Info;
        int rc = RTPathGetInfo(s_aRows[i].pszPath, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK);
        ASSERT_EQ(rc, s_aRows[i].rc);
        if (rc == 0)
        {
            EXPECT_EQ(Info.Attr.fMode & RTFS_TYPE_MASK, s_aRows[i].fType)
                << std::hex << Info.Attr.fMode;
        }
    }
    EXPECT_TRUE(RTDirExists("\\\\:zelknt:\\Device"));

    /*
     * A symbolic link of the object manager is followed by every open; one
     * that leads nowhere can only be described from its object directory.
     */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtCreateFile = createFileDanglingZ;
    RTFSOBJINFO Info;
    ASSERT_EQ(
        RTPathGetInfo("\\\\:zelknt:\\??\\Z:", &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), 0);
    EXPECT_EQ(Info.Attr.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
}

TEST_F(DirTest, MakeUniqueDirectories)
{
    std::string const strTemplate = path("XXXXXXXXXXXXXXXXXXXXXXXX");
    std::set<std::string> setNames;
    for (int i = 0; i < 1000; i++)
    {
        char szBuf[512];
        strcpy(szBuf, strTemplate.c_str());
        ASSERT_EQ(RTDirMakeUnique(szBuf, 0700), 0) << "creation " << i;
        std::string const strMade = szBuf;
        ASSERT_EQ(strMade.substr(0, m_strDir.size() + 1), m_strDir + "\\");
        std::string const strName = strMade.substr(m_strDir.size() + 1);
        ASSERT_TRUE(isUniqueName(strName, 24)) << strName;
        ASSERT_TRUE(RTDirExists(strMade.c_str()));
        setNames.insert(strName);
    }
    EXPECT_EQ(setNames.size(), 1000u);

    static const char *s_apszBad[] = { "no-x-here", "ab.XX.msi", "" };
    for (size_t i = 0; i < RT_ELEMENTS(s_apszBad); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_apszBad[i]);
        char szBuf[512];
        strcpy(szBuf, path(s_apszBad[i]).c_str());
        if (!*s_apszBad[i])
            szBuf[0] = '\0';
        EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), KERR_INVALID_PARAMETER);
        EXPECT_EQ(szBuf[0], '\0');
    }

    /* A parent that does not exist: one try, then the failure and an empty template. */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnCreateDirectoryW = createDirectoryCounted;
    g_cCreateDirCalls = 0;
    char szBuf[512];
    strcpy(szBuf, path("missing\\XXXXXX").c_str());
    EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), KERR_PATH_NOT_FOUND);
    EXPECT_EQ(szBuf[0], '\0');
    EXPECT_EQ(g_cCreateDirCalls, 1u);

    /* Every name taken: 10000 tries, then "already exists". */
    g_rtNtSysOverride.pfnCreateDirectoryW = createDirectoryAlwaysExists;
    g_cCreateDirCalls = 0;
    strcpy(szBuf, path("XXXX").c_str());
    EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), KERR_ALREADY_EXISTS);
    EXPECT_EQ(szBuf[0], '\0');
    EXPECT_EQ(g_cCreateDirCalls, 10000u);
}

TEST_F(DirTest, OpenUniqueFiles)
{
    std::set<std::string> setNames;
    for (int i = 0; i < 1000; i++)
    {
        char szBuf[512];
        strcpy(szBuf, path("XXXXXXXXXXXXXXXXXXXXXXXX.msi").c_str());
        RTFILE hFile = NIL_RTFILE;
        ASSERT_EQ(
            RTFileOpenUnique(&hFile, szBuf, RTFILE_O_CREATE | RTFILE_O_WRITE | RTFILE_O_DENY_WRITE),
            0)
            << "creation " << i;
        ASSERT_NE(hFile, NIL_RTFILE);
        EXPECT_EQ(RTFileClose(hFile), 0);
        std::string const strName = std::string(szBuf).substr(m_strDir.size() + 1);
        ASSERT_EQ(strName.size(), 28u);
        ASSERT_EQ(strName.substr(24), ".msi");
        ASSERT_TRUE(isUniqueName(strName.substr(0, 24), 24)) << strName;
        ASSERT_TRUE(exists(szBuf));
        setNames.insert(strName);
    }
    EXPECT_EQ(setNames.size(), 1000u);

    /* Another action than create-new: refused before anything is touched. */
    static const uint64_t s_afActions[] = { RTFILE_O_OPEN_CREATE, RTFILE_O_CREATE_REPLACE,
                                            RTFILE_O_OPEN, 0 };
    for (size_t i = 0; i < RT_ELEMENTS(s_afActions); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        char szBuf[512];
        strcpy(szBuf, path("other-XXXX").c_str());
        RTFILE hFile = (RTFILE)(uintptr_t)0x1234;
        EXPECT_EQ(RTFileOpenUnique(&hFile, szBuf, s_afActions[i] | RTFILE_O_WRITE),
                  KERR_INVALID_FLAGS);
        EXPECT_EQ(hFile, NIL_RTFILE);
        EXPECT_EQ(szBuf[0], '\0');
    }
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW(toWide(path("other-*")).c_str(), &Data);
    EXPECT_EQ(hFind, INVALID_HANDLE_VALUE);
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);

    char szBuf[512];
    RTFILE hFile;
    strcpy(szBuf, path("missing\\XXXX").c_str());
    EXPECT_EQ(RTFileOpenUnique(&hFile, szBuf, RTFILE_O_CREATE | RTFILE_O_WRITE),
              KERR_PATH_NOT_FOUND);
    EXPECT_EQ(szBuf[0], '\0');
    strcpy(szBuf, path("name.XX.msi").c_str());
    EXPECT_EQ(RTFileOpenUnique(&hFile, szBuf, RTFILE_O_CREATE | RTFILE_O_WRITE),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(szBuf[0], '\0');
}

namespace {

/*
 * Deletion through handles.  A file held by a handle that denies deletion
 * (as the installer holds its packages) is reopened from it and marked for
 * deletion once that handle is gone; a directory through its own handle,
 * once it is empty and nothing else denies deletion; an entry by its name
 * below a held directory.
 */
TEST_F(DirTest, FileDeletedThroughItsHandle)
{
    std::string const strFile = path("f.msi");
    ASSERT_TRUE(writeFile(strFile, "x"));
    RTFILE hKept = NIL_RTFILE;
    ASSERT_EQ(KINF_SUCCESS, RTFileOpenPath(&hKept, strFile.c_str(), UINT64_C(0x721)));
    RTFILE hBridge = NIL_RTFILE, hDelete = NIL_RTFILE;
    /* The kept handle has no delete access, and denies it to every other handle. */
    EXPECT_EQ(KERR_ACCESS_DENIED, RTFileSetDeleteDisposition(hKept));
    EXPECT_EQ(KERR_SHARING_VIOLATION, RTFileReopen(hKept, true, &hDelete));
    EXPECT_EQ(NIL_RTFILE, hDelete);
    ASSERT_EQ(KINF_SUCCESS, RTFileReopen(hKept, false, &hBridge));
    /* The bridge holds it without locking it. */
    EXPECT_EQ(KINF_SUCCESS, RTFileClose(hKept));
    EXPECT_TRUE(writeFile(strFile, "written"));
    EXPECT_EQ(KERR_ACCESS_DENIED, RTFileSetDeleteDisposition(hBridge));
    ASSERT_EQ(KINF_SUCCESS, RTFileReopen(hBridge, true, &hDelete));
    EXPECT_EQ(KINF_SUCCESS, RTFileSetDeleteDisposition(hDelete));
    EXPECT_EQ(KINF_SUCCESS, RTFileClose(hDelete));
    EXPECT_EQ(KINF_SUCCESS, RTFileClose(hBridge));
    EXPECT_FALSE(exists(strFile));
    EXPECT_EQ(KERR_INVALID_HANDLE, RTFileReopen(NIL_RTFILE, false, &hBridge));
    EXPECT_EQ(NIL_RTFILE, hBridge);
}

TEST_F(DirTest, DirectoryDeletedThroughItsHandle)
{
    std::string const strDir = path("d");
    ASSERT_EQ(0, RTDirMake(strDir.c_str(), 0700, 0));
    ASSERT_TRUE(writeFile(strDir + "\\f.txt", "x"));
    RTDIR hDir = NIL_RTDIR;
    ASSERT_EQ(KINF_SUCCESS, RTDirOpenPath(&hDir, strDir.c_str()));

    /*
     * Each refusal leaves a usable handle that the next try goes through.
     * The current directory denies deletion; and once the handle has
     * delete access, the directory can't become the current one.
     */
    ASSERT_TRUE(SetCurrentDirectoryW(toWide(strDir).c_str()));
    EXPECT_EQ(KERR_SHARING_VIOLATION, RTDirSetDeleteDisposition(hDir));
    EXPECT_TRUE(RTDirIsUsable(hDir));
    ASSERT_TRUE(SetCurrentDirectoryW(m_wstrSavedCwd.c_str()));
    HANDLE hOther = CreateFileW(toWide(strDir).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hOther);
    EXPECT_EQ(KERR_SHARING_VIOLATION, RTDirSetDeleteDisposition(hDir));
    CloseHandle(hOther);
    EXPECT_EQ(KERR_DIR_NOT_EMPTY, RTDirSetDeleteDisposition(hDir));
    EXPECT_TRUE(RTDirIsUsable(hDir));
    EXPECT_FALSE(SetCurrentDirectoryW(toWide(strDir).c_str()));
    ASSERT_TRUE(DeleteFileW(toWide(strDir + "\\f.txt").c_str()));
    EXPECT_TRUE(exists(strDir));

    EXPECT_EQ(KINF_SUCCESS, RTDirSetDeleteDisposition(hDir));
    EXPECT_EQ(KINF_SUCCESS, RTDirClose(hDir));
    EXPECT_FALSE(exists(strDir));
    EXPECT_EQ(KERR_INVALID_HANDLE, RTDirSetDeleteDisposition(NIL_RTDIR));
}

TEST_F(DirTest, EntriesOpenedForDeletionBelowTheHandle)
{
    std::string const strDir = path("d");
    ASSERT_EQ(0, RTDirMake(strDir.c_str(), 0700, 0));
    ASSERT_TRUE(writeFile(strDir + "\\plain.msi", "x"));
    ASSERT_TRUE(writeFile(strDir + "\\held.msi", "x"));
    ASSERT_TRUE(writeFile(strDir + "\\shared.msi", "x"));
    ASSERT_TRUE(writeFile(strDir + "\\Mixed Case.msi", "x"));
    ASSERT_TRUE(CreateDirectoryW(toWide(strDir + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(writeFile(strDir + "\\sub\\deep.msi", "x"));
    HANDLE const hHeld = CreateFileW(toWide(strDir + "\\held.msi").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
    HANDLE const hShared = CreateFileW(toWide(strDir + "\\shared.msi").c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    ASSERT_NE(INVALID_HANDLE_VALUE, hShared);
    RTDIR hDir = NIL_RTDIR;
    ASSERT_EQ(KINF_SUCCESS, RTDirOpenPath(&hDir, strDir.c_str()));

    static const struct
    {
        const char *pszName;
        int rc;
        bool fGone; /* after the disposition and the close */
    } s_aRows[] = {
        { "plain.msi", KINF_SUCCESS, true },
        { "mixed case.msi", KINF_SUCCESS, true },
        { "shared.msi", KINF_SUCCESS, false }, /* goes when the other handle does */
        { "held.msi", KERR_SHARING_VIOLATION, false },
        { "missing.msi", KERR_FILE_NOT_FOUND, false },
        { "sub", KERR_IS_A_DIRECTORY, false },
        { "sub\\deep.msi", KERR_INVALID_NAME, false },
        { "sub/deep.msi", KERR_INVALID_NAME, false },
    };
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        std::string const strEntry = strDir + "\\" + s_aRows[i].pszName;
        bool const fExisted = exists(strEntry);
        RTFILE hFile = (RTFILE)(uintptr_t)0x42;
        EXPECT_EQ(s_aRows[i].rc, RTDirOpenFileForDelete(hDir, s_aRows[i].pszName, &hFile));
        if (RT_SUCCESS(s_aRows[i].rc))
        {
            EXPECT_EQ(KINF_SUCCESS, RTFileSetDeleteDisposition(hFile));
            EXPECT_EQ(KINF_SUCCESS, RTFileClose(hFile));
        }
        else
            EXPECT_EQ(NIL_RTFILE, hFile);
        EXPECT_EQ(fExisted && !s_aRows[i].fGone, exists(strEntry));
    }
    CloseHandle(hShared);
    EXPECT_FALSE(exists(strDir + "\\shared.msi"));
    CloseHandle(hHeld);
    EXPECT_TRUE(exists(strDir + "\\held.msi"));
    EXPECT_TRUE(exists(strDir + "\\sub\\deep.msi"));
    EXPECT_EQ(KINF_SUCCESS, RTDirClose(hDir));
    RTFILE hFile;
    EXPECT_EQ(KERR_INVALID_HANDLE, RTDirOpenFileForDelete(NIL_RTDIR, "plain.msi", &hFile));
}

} // namespace
