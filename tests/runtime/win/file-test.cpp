/*
 * File I/O on the real file system through the real API, on the Windows test bench: the
 * actions and what they report, each sharing value against a second handle
 * (reader, writer, delete, rename), reads past the end, file IDs through
 * several handles, removal, and the failures the system won't produce on
 * demand, forced through the system-call table.
 */
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <zelk/dir.h>
#include <zelk/err.h>
#include <zelk/file.h>
#include <zelk/mem.h>
#include <zelk/path.h>

#include "file-internal.h"
#include "nt.h"
#include "runtime/win/fs-testutil.h"

using namespace fstest;

namespace {

class FileTest : public ScratchDirTest
{
};

/* Opens, or fails the test; closes at the end of the scope. */
struct AutoFile
{
    RTFILE h = NIL_RTFILE;
    ~AutoFile() { RTFileClose(h); }
};

} // namespace

namespace {

/* Replacements for the system-call table. */
std::vector<std::pair<std::wstring, DWORD>> g_vecAttribCalls;

BOOL WINAPI setAttributesRecorded(LPCWSTR pwszPath, DWORD fAttribs)
{
    g_vecAttribCalls.emplace_back(pwszPath, fAttribs);
    return SetFileAttributesW(pwszPath, fAttribs);
}

NTSTATUS NTAPI queryInfoInvalidDeviceRequest(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                             FILE_INFORMATION_CLASS)
{
    return RTNT_STATUS_INVALID_DEVICE_REQUEST;
}

NTSTATUS NTAPI queryInfoAccessDenied(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS)
{
    return RTNT_STATUS_ACCESS_DENIED;
}

/* "File invalid": not one of the statuses that describe a device. */
NTSTATUS NTAPI queryInfoFileInvalid(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS)
{
    return (NTSTATUS)0xC0000098L;
}

NTSTATUS NTAPI volumeAccessDenied(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FS_INFORMATION_CLASS)
{
    return RTNT_STATUS_ACCESS_DENIED;
}

HANDLE WINAPI createFileAccessDenied(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                     HANDLE)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI setAttributesAccessDenied(LPCWSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI setEndOfFileWriteProtected(HANDLE)
{
    SetLastError(ERROR_WRITE_PROTECT);
    return FALSE;
}

DWORD WINAPI fileSizeInvalidFunction(HANDLE, LPDWORD)
{
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_FILE_SIZE;
}

} // namespace

TEST_F(FileTest, ActionsAndWhatTheyReport)
{
    static const struct
    {
        bool fExists;
        uint64_t fOpen;
        int rc;
        RTFILEACTION enmAction;
        const char *pszAfter; /* content afterwards; null: no file */
    } s_aRows[] =             // clang-format off
    {
        { true,  RTFILE_O_OPEN_CREATE | RTFILE_O_TRUNCATE | RTFILE_O_WRITE, 0, RTFILEACTION_TRUNCATED, "" },
        { false, RTFILE_O_OPEN_CREATE | RTFILE_O_TRUNCATE | RTFILE_O_WRITE, 0, RTFILEACTION_CREATED, "" },
        { true,  RTFILE_O_OPEN_CREATE | RTFILE_O_WRITE, 0, RTFILEACTION_OPENED, "old content" },
        { false, RTFILE_O_OPEN_CREATE | RTFILE_O_WRITE, 0, RTFILEACTION_CREATED, "" },
        { true,  RTFILE_O_CREATE_REPLACE | RTFILE_O_WRITE, 0, RTFILEACTION_REPLACED, "" },
        { false, RTFILE_O_CREATE_REPLACE | RTFILE_O_WRITE, 0, RTFILEACTION_CREATED, "" },
        { true,  RTFILE_O_CREATE | RTFILE_O_WRITE, KERR_ALREADY_EXISTS, RTFILEACTION_ALREADY_EXISTS, "old content" },
        { false, RTFILE_O_CREATE | RTFILE_O_WRITE, 0, RTFILEACTION_CREATED, "" },
        { true,  RTFILE_O_OPEN | RTFILE_O_READ, 0, RTFILEACTION_OPENED, "old content" },
        { false, RTFILE_O_OPEN | RTFILE_O_READ, KERR_FILE_NOT_FOUND, RTFILEACTION_INVALID, nullptr },
        { true,  RTFILE_O_OPEN_DEFAULT | RTFILE_O_READ, 0, RTFILEACTION_OPENED, "old content" },
        { true,  RTFILE_O_OPEN | RTFILE_O_TRUNCATE | RTFILE_O_WRITE, 0, RTFILEACTION_TRUNCATED, "" },
        { false, RTFILE_O_OPEN | RTFILE_O_TRUNCATE | RTFILE_O_WRITE, KERR_FILE_NOT_FOUND, RTFILEACTION_INVALID, nullptr },
        { false, RTFILE_O_CREATE | RTFILE_O_WRITE | RTFILE_O_NOT_CONTENT_INDEXED, 0, RTFILEACTION_CREATED, "" },
        { true,  RTFILE_O_CREATE_REPLACE | RTFILE_O_WRITE | RTFILE_O_NOT_CONTENT_INDEXED, 0, RTFILEACTION_REPLACED, "" },
    };
    // clang-format on
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnSetFileAttributesW = setAttributesRecorded;
    g_vecAttribCalls.clear();
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message()
                     << "row " << i << ": flags 0x" << std::hex << s_aRows[i].fOpen);
        std::string const strFile = path("action-" + std::to_string(i));
        if (s_aRows[i].fExists)
        {
            ASSERT_TRUE(writeFile(strFile, "old content"));
        }
        RTFILE hFile = (RTFILE)(uintptr_t)0x1234;
        RTFILEACTION enmAction = (RTFILEACTION)99;
        int rc = RTFileOpenPathEx(strFile.c_str(), s_aRows[i].fOpen, &hFile, &enmAction);
        EXPECT_EQ(rc, s_aRows[i].rc);
        EXPECT_EQ(enmAction, s_aRows[i].enmAction);
        if (RT_SUCCESS(rc))
        {
            EXPECT_TRUE(RTFileIsUsable(hFile));
            EXPECT_EQ(RTFileClose(hFile), 0);
        }
        else
        {
            EXPECT_EQ(hFile, NIL_RTFILE);
        }
        EXPECT_EQ(readFile(strFile), s_aRows[i].pszAfter ? s_aRows[i].pszAfter : "<missing>");
        /* The test system keeps no such attribute; what is checked is that it was asked for, and only then. */
        bool const fIndexFlag = (s_aRows[i].fOpen & RTFILE_O_NOT_CONTENT_INDEXED) && RT_SUCCESS(rc);
        EXPECT_EQ(g_vecAttribCalls.size(), fIndexFlag ? 1u : 0u);
        if (fIndexFlag && g_vecAttribCalls.size() == 1)
        {
            EXPECT_EQ(g_vecAttribCalls[0].first, toWide(strFile));
            EXPECT_EQ(g_vecAttribCalls[0].second, (DWORD)FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        }
        g_vecAttribCalls.clear();
    }
}

TEST_F(FileTest, FlagsThatMakeNoOpen)
{
    std::string const strFile = path("flags");
    ASSERT_TRUE(writeFile(strFile, "x"));
    static const uint64_t s_afBad[] = // clang-format off
    {
        0,                                              /* no access at all */
        RTFILE_O_READ | 0x8,                            /* reserved bits */
        RTFILE_O_READ | 0x4000,
        RTFILE_O_READ | UINT64_C(0x80000000),
        RTFILE_O_READ | RTFILE_O_TRUNCATE,              /* truncate without write */
        RTFILE_O_READ | 0x400,                          /* actions 4 to 6 */
        RTFILE_O_READ | 0x600,
        RTFILE_O_READ | RTFILE_O_OPEN | RTFILE_O_NOT_CONTENT_INDEXED,
        RTFILE_O_READ | 0x90,                           /* sharing above 0x80 */
        RTFILE_O_READ | 0xF0,
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_afBad); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        RTFILE hFile = (RTFILE)(uintptr_t)0x1234;
        EXPECT_EQ(RTFileOpenPath(&hFile, strFile.c_str(), s_afBad[i]), KERR_INVALID_PARAMETER);
        EXPECT_EQ(hFile, NIL_RTFILE);
    }
    /* The high half carries nothing and is ignored. */
    AutoFile File;
    EXPECT_EQ(
        RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_READ | UINT64_C(0xFFFFFFFF00000000)), 0);
    EXPECT_EQ(RTFileOpenPath(nullptr, strFile.c_str(), RTFILE_O_READ), KERR_INVALID_PARAMETER);
    RTFILE hFile;
    EXPECT_EQ(RTFileOpenPath(&hFile, nullptr, RTFILE_O_READ), KERR_INVALID_PARAMETER);
}

namespace {

/* What others can do to a file while a first handle holds it with a sharing value. */
struct SHARINGROW
{
    uint64_t fDeny;
    bool fRead, fWrite, fDelete;
};

const SHARINGROW g_aSharingRows[] = // clang-format off
{
    { RTFILE_O_DENY_NONE_DEFAULT,     true,  true,  false },
    { RTFILE_O_DENY_READ,             false, true,  false },
    { RTFILE_O_DENY_WRITE,            true,  false, false },
    { RTFILE_O_DENY_READWRITE,        false, false, false },
    { RTFILE_O_DENY_NOT_DELETE,       true,  true,  true },
    { RTFILE_O_DENY_READ_NOT_DELETE,  false, true,  true },
    { RTFILE_O_DENY_WRITE_NOT_DELETE, true,  false, true },
    { RTFILE_O_DENY_ALL_NOT_DELETE,   false, false, true },
    { RTFILE_O_DENY_NONE,             true,  true,  false },
};
// clang-format on

} // namespace

TEST_F(FileTest, EachSharingValueAgainstASecondHandle)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aSharingRows); i++)
    {
        SHARINGROW const &Row = g_aSharingRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": sharing 0x" << std::hex << Row.fDeny);
        std::string const strFile = path("shared-" + std::to_string(i));
        std::string const strRenamed = path("renamed-" + std::to_string(i));
        ASSERT_TRUE(writeFile(strFile, "content"));

        /* The first holder only reads, so what the others may do depends on its sharing alone. */
        AutoFile Holder;
        ASSERT_EQ(
            RTFileOpenPath(&Holder.h, strFile.c_str(), RTFILE_O_OPEN | RTFILE_O_READ | Row.fDeny),
            0);

        RTFILE hOther = NIL_RTFILE;
        int rc = RTFileOpenPath(&hOther, strFile.c_str(),
                                RTFILE_O_OPEN | RTFILE_O_READ | RTFILE_O_DENY_NOT_DELETE);
        EXPECT_EQ(rc, Row.fRead ? 0 : KERR_SHARING_VIOLATION) << "reader";
        RTFileClose(hOther);

        hOther = NIL_RTFILE;
        rc = RTFileOpenPath(&hOther, strFile.c_str(),
                            RTFILE_O_OPEN | RTFILE_O_WRITE | RTFILE_O_DENY_NOT_DELETE);
        EXPECT_EQ(rc, Row.fWrite ? 0 : KERR_SHARING_VIOLATION) << "writer";
        RTFileClose(hOther);

        /* A rename needs the delete right, as a deletion does. */
        BOOL const fRenamed = MoveFileW(toWide(strFile).c_str(), toWide(strRenamed).c_str());
        EXPECT_EQ(fRenamed != FALSE, Row.fDelete) << "rename, error " << GetLastError();
        if (fRenamed)
        {
            ASSERT_TRUE(MoveFileW(toWide(strRenamed).c_str(), toWide(strFile).c_str()));
        }

        rc = RTFileRemove(strFile.c_str());
        EXPECT_EQ(rc, Row.fDelete ? 0 : KERR_SHARING_VIOLATION) << "delete";
        RTFileClose(Holder.h);
        Holder.h = NIL_RTFILE;
        EXPECT_EQ(exists(strFile), !Row.fDelete);
    }
}

TEST_F(FileTest, DenyWriteRefusedWhileAWriterHoldsTheFile)
{
    std::string const strFile = path("written");
    ASSERT_TRUE(writeFile(strFile, "content"));
    AutoFile Writer;
    ASSERT_EQ(RTFileOpenPath(&Writer.h, strFile.c_str(),
                             RTFILE_O_OPEN | RTFILE_O_WRITE | RTFILE_O_DENY_NONE),
              0);
    RTFILE hReader = NIL_RTFILE;
    EXPECT_EQ(RTFileOpenPath(&hReader, strFile.c_str(), 0x721), KERR_SHARING_VIOLATION);
    EXPECT_EQ(hReader, NIL_RTFILE);
}

TEST_F(FileTest, ReadsPastTheEnd)
{
    std::string const strFile = path("ten");
    ASSERT_TRUE(writeFile(strFile, "0123456789"));
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_OPEN | RTFILE_O_READ), 0);

    char ab[32];
    memset(ab, 'Z', sizeof(ab));
    EXPECT_EQ(RTFileRead(File.h, ab, 20, nullptr), KERR_EOF);

    ASSERT_EQ(RTFileSetPosition(File.h, 0, RTFILE_SEEK_BEGIN, nullptr), 0);
    size_t cbRead = 99;
    EXPECT_EQ(RTFileRead(File.h, ab, 20, &cbRead), 0);
    EXPECT_EQ(cbRead, 10u);
    EXPECT_EQ(std::string(ab, 10), "0123456789");
    EXPECT_EQ(ab[10], 'Z');

    /* At the end: nothing, and success, when the count is asked for. */
    cbRead = 99;
    EXPECT_EQ(RTFileRead(File.h, ab, 5, &cbRead), 0);
    EXPECT_EQ(cbRead, 0u);
    EXPECT_EQ(RTFileRead(File.h, ab, 5, nullptr), KERR_EOF);
    cbRead = 99;
    EXPECT_EQ(RTFileRead(File.h, ab, 0, &cbRead), 0);
    EXPECT_EQ(cbRead, 0u);

    /* Exactly the rest, without a count. */
    ASSERT_EQ(RTFileSetPosition(File.h, -4, RTFILE_SEEK_END, nullptr), 0);
    EXPECT_EQ(RTFileRead(File.h, ab, 4, nullptr), 0);
    EXPECT_EQ(std::string(ab, 4), "6789");
}

TEST_F(FileTest, WritePositionLengthAndSync)
{
    std::string const strFile = path("rw");
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_READWRITE), 0);
    size_t cbWritten = 0;
    EXPECT_EQ(RTFileWrite(File.h, "hello world", 11, &cbWritten), 0);
    EXPECT_EQ(cbWritten, 11u);
    EXPECT_EQ(RTFileWrite(File.h, "!", 1, nullptr), 0);
    EXPECT_EQ(RTFileWrite(File.h, "", 0, nullptr), 0);
    EXPECT_EQ(RTFileGetPosition(File.h), 12u);
    uint64_t cb = 0;
    EXPECT_EQ(RTFileGetLength(File.h, &cb), 0);
    EXPECT_EQ(cb, 12u);
    EXPECT_EQ(RTFileSync(File.h), 0);

    /* Positions past 4 GiB: the low half all ones is a position, not a failure. */
    uint64_t off = 0;
    EXPECT_EQ(RTFileSetPosition(File.h, INT64_C(0x1FFFFFFFF), RTFILE_SEEK_BEGIN, &off), 0);
    EXPECT_EQ(off, UINT64_C(0x1FFFFFFFF));
    EXPECT_EQ(RTFileGetPosition(File.h), UINT64_C(0x1FFFFFFFF));
    EXPECT_EQ(RTFileSetPosition(File.h, 6, RTFILE_SEEK_BEGIN, &off), 0);
    EXPECT_EQ(RTFileSetPosition(File.h, -1, RTFILE_SEEK_CURRENT, &off), 0);
    EXPECT_EQ(off, 5u);
    EXPECT_EQ(RTFileSetPosition(File.h, 0, 3, &off), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileSetPosition(File.h, -20, RTFILE_SEEK_BEGIN, &off), KERR_NEGATIVE_SEEK);

    char ab[16];
    ASSERT_EQ(RTFileSetPosition(File.h, 6, RTFILE_SEEK_BEGIN, nullptr), 0);
    EXPECT_EQ(RTFileRead(File.h, ab, 6, nullptr), 0);
    EXPECT_EQ(std::string(ab, 6), "world!");
}

TEST_F(FileTest, HandleTests)
{
    std::string const strFile = path("handle");
    RTFILE hFile = NIL_RTFILE;
    EXPECT_FALSE(RTFileIsUsable(NIL_RTFILE));
    ASSERT_EQ(RTFileOpenPath(&hFile, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    EXPECT_TRUE(RTFileIsUsable(hFile));

    RTFILE hWrapped = NIL_RTFILE;
    EXPECT_EQ(RTFileWrapNative(&hWrapped, (intptr_t)hFile), 0);
    EXPECT_EQ(hWrapped, hFile);
    EXPECT_EQ(RTFileWrapNative(&hWrapped, -1), KERR_INVALID_HANDLE);
    EXPECT_EQ(hWrapped, NIL_RTFILE);

    EXPECT_EQ(RTFileClose(hFile), 0);
    EXPECT_FALSE(RTFileIsUsable(hFile));
    EXPECT_EQ(RTFileClose(hFile), KERR_INVALID_HANDLE);
    EXPECT_EQ(RTFileClose(NIL_RTFILE), 0);
}

TEST_F(FileTest, QueryInfoGivesOneFileIdPerFile)
{
    std::string const strA = path("a.txt");
    std::string const strB = path("b.txt");
    ASSERT_TRUE(writeFile(strA, "0123456789"));
    ASSERT_TRUE(writeFile(strB, "x"));

    static const uint64_t s_afOpen[] = // clang-format off
    {
        RTFILE_O_OPEN | RTFILE_O_READ,
        RTFILE_O_OPEN | RTFILE_O_WRITE | RTFILE_O_ACCESS_ATTR_READWRITE,
        RTFILE_O_OPEN | RTFILE_O_READ | RTFILE_O_DENY_NOT_DELETE,
        RTFILE_O_OPEN | RTFILE_O_ACCESS_ATTR_READ,
    };
    // clang-format on
    AutoFile aFiles[RT_ELEMENTS(s_afOpen)];
    RTFSOBJINFO aInfo[RT_ELEMENTS(s_afOpen)];
    for (size_t i = 0; i < RT_ELEMENTS(s_afOpen); i++)
    {
        SCOPED_TRACE(testing::Message() << "handle " << i);
        ASSERT_EQ(RTFileOpenPath(&aFiles[i].h, strA.c_str(), s_afOpen[i]), 0);
        ASSERT_EQ(RTFileQueryInfo(aFiles[i].h, &aInfo[i], RTFSOBJATTRADD_UNIX), 0);
        EXPECT_EQ(aInfo[i].cbObject, 10);
        EXPECT_EQ(aInfo[i].Attr.fMode & (RTFS_TYPE_MASK | RTFS_UNIX_MASK), RTFS_TYPE_FILE | 0666u);
        EXPECT_EQ(aInfo[i].Attr.enmAdditional, RTFSOBJATTRADD_UNIX);
        EXPECT_EQ(aInfo[i].Attr.u.Unix.uid, NIL_RTUID);
        EXPECT_GE(aInfo[i].Attr.u.Unix.cHardlinks, 1u);
        EXPECT_NE(aInfo[i].Attr.u.Unix.INodeId, 0u);
        EXPECT_EQ(aInfo[i].Attr.u.Unix.INodeId, aInfo[0].Attr.u.Unix.INodeId);
        EXPECT_EQ(aInfo[i].Attr.u.Unix.INodeIdDevice, aInfo[0].Attr.u.Unix.INodeIdDevice);
    }

    AutoFile FileB;
    ASSERT_EQ(RTFileOpenPath(&FileB.h, strB.c_str(), RTFILE_O_OPEN | RTFILE_O_READ), 0);
    RTFSOBJINFO InfoB;
    ASSERT_EQ(RTFileQueryInfo(FileB.h, &InfoB, RTFSOBJATTRADD_UNIX), 0);
    EXPECT_NE(InfoB.Attr.u.Unix.INodeId, aInfo[0].Attr.u.Unix.INodeId);
    EXPECT_EQ(InfoB.Attr.u.Unix.INodeIdDevice, aInfo[0].Attr.u.Unix.INodeIdDevice);

    /* Times are this century's, in nanoseconds since 1970. */
    EXPECT_GT(InfoB.ModificationTime, INT64_C(1600000000) * 1000000000);
    EXPECT_LT(InfoB.ModificationTime, INT64_C(4000000000) * 1000000000);

    /* The other kinds carry their defaults. */
    RTFSOBJINFO Info;
    ASSERT_EQ(RTFileQueryInfo(FileB.h, &Info, RTFSOBJATTRADD_UNIX_OWNER), 0);
    EXPECT_EQ(Info.Attr.u.UnixOwner.uid, NIL_RTUID);
    EXPECT_EQ(Info.Attr.u.UnixOwner.szName[0], '\0');
    ASSERT_EQ(RTFileQueryInfo(FileB.h, &Info, RTFSOBJATTRADD_EASIZE), 0);
    EXPECT_EQ(Info.Attr.u.EASize.cb, 0u);

    EXPECT_EQ(RTFileQueryInfo(FileB.h, &Info, 0), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(FileB.h, &Info, 6), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(FileB.h, nullptr, 1), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(NIL_RTFILE, &Info, 1), KERR_INVALID_PARAMETER);
}

TEST_F(FileTest, QueryInfoOnDeadHandlesAndDevices)
{
    std::string const strFile = path("dead");
    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(RTFileOpenPath(&hFile, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    ASSERT_EQ(RTFileClose(hFile), 0);
    RTFSOBJINFO Info;
    EXPECT_EQ(RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_NOTHING), KERR_INVALID_HANDLE);

    /* A device the system gives no file information for: a record of zeros that says so. */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoInvalidDeviceRequest;
    AutoFile Nul;
    ASSERT_EQ(RTFileOpenPath(&Nul.h, "NUL", RTFILE_O_OPEN | RTFILE_O_WRITE), 0);
    memset(&Info, 0xcc, sizeof(Info));
    ASSERT_EQ(RTFileQueryInfo(Nul.h, &Info, RTFSOBJATTRADD_UNIX), 0);
    EXPECT_EQ(Info.Attr.fMode, RTFS_MODE_DEVICE_DEFAULT);
    EXPECT_EQ(Info.cbObject, 0);
    EXPECT_EQ(Info.ModificationTime, 0);
    EXPECT_EQ(Info.Attr.u.Unix.INodeId, 0u);
    EXPECT_EQ(Info.Attr.u.Unix.uid, NIL_RTUID);

    /* A live handle that may not read attributes is described the same way, not called dead. */
    g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoAccessDenied;
    ASSERT_EQ(RTFileQueryInfo(Nul.h, &Info, RTFSOBJATTRADD_NOTHING), 0);
    EXPECT_EQ(Info.Attr.fMode, RTFS_MODE_DEVICE_DEFAULT);
    g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoFileInvalid;
    EXPECT_NE(RTFileQueryInfo(Nul.h, &Info, RTFSOBJATTRADD_NOTHING), 0);
}

TEST_F(FileTest, RemoveDeletesOneFileOnly)
{
    std::string const strFile = path("gone.txt");
    std::string const strDir = path("dir");
    ASSERT_TRUE(writeFile(strFile, "x"));
    ASSERT_TRUE(CreateDirectoryW(toWide(strDir).c_str(), nullptr));

    EXPECT_EQ(RTFileRemove(strDir.c_str()), KERR_IS_A_DIRECTORY);
    EXPECT_TRUE(exists(strDir));
    EXPECT_EQ(RTFileRemove(strFile.c_str()), 0);
    EXPECT_FALSE(exists(strFile));
    EXPECT_EQ(RTFileRemove(strFile.c_str()), KERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTFileRemove(path("no-dir\\x").c_str()), KERR_PATH_NOT_FOUND);
    EXPECT_EQ(RTFileRemove(nullptr), KERR_INVALID_POINTER);

    /* Held open without delete sharing: refused, and untouched. */
    ASSERT_TRUE(writeFile(strFile, "kept"));
    {
        AutoFile Holder;
        ASSERT_EQ(RTFileOpenPath(&Holder.h, strFile.c_str(),
                                 RTFILE_O_OPEN | RTFILE_O_READ | RTFILE_O_DENY_WRITE),
                  0);
        EXPECT_EQ(RTFileRemove(strFile.c_str()), KERR_SHARING_VIOLATION);
    }
    EXPECT_EQ(readFile(strFile), "kept");

    /* Held open with delete sharing: gone once the last handle closes. */
    {
        AutoFile Holder;
        ASSERT_EQ(RTFileOpenPath(&Holder.h, strFile.c_str(),
                                 RTFILE_O_OPEN | RTFILE_O_READ | RTFILE_O_DENY_NOT_DELETE),
                  0);
        EXPECT_EQ(RTFileRemove(strFile.c_str()), 0);
    }
    EXPECT_FALSE(exists(strFile));
}

/* One step from name to name; an existing target only with fReplace, never a directory. */
TEST_F(FileTest, RenameReplacesTheNameOnly)
{
    std::string const strDir = path("dir");
    ASSERT_TRUE(CreateDirectoryW(toWide(strDir).c_str(), nullptr));
    static const struct
    {
        const char *pszDst; /* relative to the scratch directory; "" none */
        bool fReplace;
        int rc;
    } s_aRows[] = {
        { "new.txt", false, 0 },
        { "new.txt", true, 0 },
        { "old.txt", false, KERR_ALREADY_EXISTS },
        { "old.txt", true, 0 },
        { "dir", true, KERR_ACCESS_DENIED },
        { "no-dir\\x.txt", true, KERR_PATH_NOT_FOUND },
    };
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszDst);
        std::string const strSrc = path("src.txt");
        std::string const strDst = path(s_aRows[i].pszDst);
        DeleteFileW(toWide(path("new.txt")).c_str());
        ASSERT_TRUE(writeFile(strSrc, "source"));
        ASSERT_TRUE(writeFile(path("old.txt"), "old"));
        EXPECT_EQ(s_aRows[i].rc, RTFileRename(strSrc.c_str(), strDst.c_str(), s_aRows[i].fReplace));
        if (s_aRows[i].rc == 0)
        {
            EXPECT_FALSE(exists(strSrc));
            EXPECT_EQ("source", readFile(strDst));
        }
        else
            EXPECT_EQ("source", readFile(strSrc));
        EXPECT_TRUE(exists(strDir));
    }
    EXPECT_EQ(KERR_FILE_NOT_FOUND,
              RTFileRename(path("none.txt").c_str(), path("other.txt").c_str(), true));
    EXPECT_EQ(KERR_INVALID_POINTER, RTFileRename(nullptr, path("x").c_str(), true));
    EXPECT_EQ(KERR_INVALID_POINTER, RTFileRename(path("x").c_str(), nullptr, true));
}

TEST_F(FileTest, RemoveRefusesASymbolicLink)
{
    std::string const strTarget = path("target.txt");
    std::string const strLink = path("link.txt");
    ASSERT_TRUE(writeFile(strTarget, "target"));
    CreateSymbolicLinkW(toWide(strLink).c_str(), toWide(strTarget).c_str(), 0);
    if (!isRealSymlink(strLink))
    {
        /*
         * No symbolic links here: let the system report one.  The link
         * query says reparse point with the symbolic-link tag.
         */
        ASSERT_TRUE(writeFile(strLink, "pretend link"));
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoAsSymlink;
        EXPECT_EQ(RTFileRemove(strLink.c_str()), KERR_IS_A_SYMLINK);
    }
    else
    {
        EXPECT_EQ(RTFileRemove(strLink.c_str()), KERR_IS_A_SYMLINK);
    }
    EXPECT_TRUE(exists(strLink));
    EXPECT_EQ(readFile(strTarget), "target");
}

namespace {

/* Records the sizes that ReadFile/WriteFile were asked for, and fails with error 8 on demand. */
std::vector<DWORD> g_acbIo;
unsigned g_cIoFailures;

BOOL WINAPI readFailingFirst(HANDLE hFile, LPVOID pv, DWORD cb, LPDWORD pcb,
                             LPOVERLAPPED pOverlapped)
{
    g_acbIo.push_back(cb);
    if (g_cIoFailures)
    {
        g_cIoFailures--;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return ReadFile(hFile, pv, cb, pcb, pOverlapped);
}

BOOL WINAPI writeFailingFirst(HANDLE hFile, LPCVOID pv, DWORD cb, LPDWORD pcb,
                              LPOVERLAPPED pOverlapped)
{
    g_acbIo.push_back(cb);
    if (g_cIoFailures)
    {
        g_cIoFailures--;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return WriteFile(hFile, pv, cb, pcb, pOverlapped);
}

std::string patternOf(size_t cb)
{
    std::string str(cb, '\0');
    for (size_t i = 0; i < cb; i++)
        str[i] = (char)('a' + i % 23);
    return str;
}

} // namespace

TEST_F(FileTest, ReadInChunksWhenTheSystemLacksMemory)
{
    std::string const strFile = path("big");
    std::string const strData = patternOf(100000);
    ASSERT_TRUE(writeFile(strFile, strData));
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_OPEN | RTFILE_O_READ), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnReadFile = readFailingFirst;

    /* Without a count: the whole lot in chunks of 16 KiB after the first refusal. */
    g_acbIo.clear();
    g_cIoFailures = 1;
    std::string strBuf(100000, '\0');
    ASSERT_EQ(RTFileRead(File.h, &strBuf[0], strBuf.size(), nullptr), 0);
    EXPECT_EQ(strBuf, strData);
    ASSERT_GE(g_acbIo.size(), 2u);
    EXPECT_EQ(g_acbIo[0], 100000u);
    for (size_t i = 1; i < g_acbIo.size(); i++)
    {
        EXPECT_LE(g_acbIo[i], 16384u) << "call " << i;
    }
    EXPECT_EQ(g_acbIo.size(), 1u + 7u);

    /* With a count: the first chunk ends the call. */
    ASSERT_EQ(RTFileSetPosition(File.h, 0, RTFILE_SEEK_BEGIN, nullptr), 0);
    g_acbIo.clear();
    g_cIoFailures = 1;
    size_t cbRead = 0;
    ASSERT_EQ(RTFileRead(File.h, &strBuf[0], 1000, &cbRead), 0);
    EXPECT_EQ(cbRead, 512u);
    EXPECT_EQ(g_acbIo, (std::vector<DWORD>{ 1000, 512 }));

    /* Refused at every size: halved down to 8 bytes, then the error. */
    ASSERT_EQ(RTFileSetPosition(File.h, 0, RTFILE_SEEK_BEGIN, nullptr), 0);
    g_acbIo.clear();
    g_cIoFailures = 1000;
    EXPECT_EQ(RTFileRead(File.h, &strBuf[0], 100000, nullptr), KERR_NO_MEMORY);
    EXPECT_EQ(g_acbIo, (std::vector<DWORD>{ 100000, 16384, 8192, 4096, 2048, 1024, 512, 256, 128,
                                            64, 32, 16, 8 }));

    /* Refused twice, then fine: the reading goes on at the smaller size; past the end is EOF. */
    ASSERT_EQ(RTFileSetPosition(File.h, 99000, RTFILE_SEEK_BEGIN, nullptr), 0);
    g_acbIo.clear();
    g_cIoFailures = 2;
    EXPECT_EQ(RTFileRead(File.h, &strBuf[0], 3000, nullptr), KERR_EOF);
    ASSERT_GE(g_acbIo.size(), 4u);
    EXPECT_EQ(g_acbIo[1], 1536u);
    EXPECT_EQ(g_acbIo[2], 768u);
}

TEST_F(FileTest, WriteInChunksWhenTheSystemLacksMemory)
{
    std::string const strFile = path("big-out");
    std::string const strData = patternOf(100000);
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnWriteFile = writeFailingFirst;

    g_acbIo.clear();
    g_cIoFailures = 1;
    ASSERT_EQ(RTFileWrite(File.h, strData.data(), strData.size(), nullptr), 0);
    ASSERT_EQ(g_acbIo.size(), 1u + 4u);
    EXPECT_EQ(g_acbIo[1], 32768u);
    EXPECT_EQ(g_acbIo[4], 100000u - 3 * 32768u);

    g_acbIo.clear();
    g_cIoFailures = 1;
    size_t cbWritten = 0;
    ASSERT_EQ(RTFileWrite(File.h, "0123456789", 10, &cbWritten), 0);
    EXPECT_EQ(cbWritten, 10u);
    EXPECT_EQ(g_acbIo, (std::vector<DWORD>{ 10, 10 }));

    g_acbIo.clear();
    g_cIoFailures = 1000;
    EXPECT_EQ(RTFileWrite(File.h, strData.data(), 40000, nullptr), KERR_NO_MEMORY);
    EXPECT_EQ(g_acbIo.front(), 40000u);
    EXPECT_EQ(g_acbIo[1], 20224u);
    EXPECT_EQ(g_acbIo, (std::vector<DWORD>{ 40000, 20224, 10112, 5056, 2528, 1264, 632, 316, 158,
                                            79, 39, 19, 9, 4 }));

    RTFileClose(File.h);
    File.h = NIL_RTFILE;
    EXPECT_EQ(readFile(strFile), strData + "0123456789");
}

namespace {

/* What the faked system call reports as moved: a count, or kcbMoreThanAsked. */
DWORD g_cbReported;
const DWORD kcbMoreThanAsked = ~(DWORD)0;

BOOL WINAPI readReporting(HANDLE, LPVOID, DWORD cb, LPDWORD pcb, LPOVERLAPPED)
{
    g_acbIo.push_back(cb);
    *pcb = g_cbReported == kcbMoreThanAsked ? cb + 5 : g_cbReported;
    return TRUE;
}

BOOL WINAPI writeReporting(HANDLE, LPCVOID, DWORD cb, LPDWORD pcb, LPOVERLAPPED)
{
    g_acbIo.push_back(cb);
    *pcb = g_cbReported == kcbMoreThanAsked ? cb + 5 : g_cbReported;
    return TRUE;
}

} // namespace

/* Reading and writing share one body: the same rows, both directions. */
TEST_F(FileTest, WhatTheSystemReportsAsMovedInBothDirections)
{
    std::string const strFile = path("reported");
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_READWRITE), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnReadFile = readReporting;
    g_rtNtSysOverride.pfnWriteFile = writeReporting;

    static const struct
    {
        DWORD cbReported;
        bool fCount;
        int rcRead, rcWrite;
        size_t cbDone; /* with a count */
        size_t cCalls;
    } s_aRows[] = // clang-format off
    {
        { 0, false, KERR_EOF, KERR_WRITE_ERROR, 0, 1 },   /* nothing moved, everything asked for */
        { 0, true, 0, 0, 0, 1 },                           /* nothing moved is an answer with a count */
        { 40, false, 0, 0, 0, 3 },                         /* 100 bytes in three calls */
        { 40, true, 0, 0, 40, 1 },
        { kcbMoreThanAsked, true, 0, 0, 100, 1 },          /* never more than was asked */
        { kcbMoreThanAsked, false, 0, 0, 0, 1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
        for (int fWrite = 0; fWrite <= 1; fWrite++)
        {
            SCOPED_TRACE(testing::Message() << "row " << i << (fWrite ? " write" : " read"));
            g_cbReported = s_aRows[i].cbReported;
            g_acbIo.clear();
            char abBuf[100] = "";
            size_t cbDone = 12345;
            size_t *pcbDone = s_aRows[i].fCount ? &cbDone : nullptr;
            int const rc = fWrite ? RTFileWrite(File.h, abBuf, sizeof(abBuf), pcbDone)
                                  : RTFileRead(File.h, abBuf, sizeof(abBuf), pcbDone);
            EXPECT_EQ(rc, fWrite ? s_aRows[i].rcWrite : s_aRows[i].rcRead);
            EXPECT_EQ(cbDone, s_aRows[i].fCount ? s_aRows[i].cbDone : 12345u);
            EXPECT_EQ(g_acbIo.size(), s_aRows[i].cCalls);
        }
}

namespace {

const wchar_t *g_pwszFsName;
unsigned g_cFsQueries;

NTSTATUS NTAPI volumeWithName(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                              FS_INFORMATION_CLASS enmClass)
{
    if (enmClass != FileFsAttributeInformation)
        return NtQueryVolumeInformationFile(hFile, pIos, pv, cb, enmClass);
    g_cFsQueries++;
    FILE_FS_ATTRIBUTE_INFORMATION *pInfo = (FILE_FS_ATTRIBUTE_INFORMATION *)pv;
    pInfo->FileSystemAttributes = 0;
    pInfo->MaximumComponentNameLength = 255;
    size_t const cwc = wcslen(g_pwszFsName);
    pInfo->FileSystemNameLength = (ULONG)(cwc * sizeof(WCHAR));
    memcpy(pInfo->FileSystemName, g_pwszFsName, cwc * sizeof(WCHAR));
    pIos->Status = 0;
    pIos->Information = sizeof(*pInfo) + cwc * sizeof(WCHAR);
    return 0;
}

BOOL WINAPI writeDiskFull(HANDLE, LPCVOID, DWORD, LPDWORD pcb, LPOVERLAPPED)
{
    *pcb = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

} // namespace

TEST_F(FileTest, DiskFullOnFat32VersusNtfs)
{
    std::string const strFile = path("full");
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnWriteFile = writeDiskFull;
    g_rtNtSysOverride.pfnNtQueryVolumeInformationFile = volumeWithName;

    static const struct
    {
        const wchar_t *pwszFs;
        int64_t off;
        size_t cb;
        int rc;
        unsigned cQueries;
    } s_aRows[] = // clang-format off
    {
        { L"FAT32", INT64_C(0xFFFFFF00), 0x100, KERR_FILE_TOO_BIG, 1 },
        { L"FAT32", INT64_C(0xFFFFFF00), 0xFF, KERR_DISK_FULL, 1 },
        { L"FAT",   INT64_C(0xFFFFFF00), 0x200, KERR_FILE_TOO_BIG, 1 },
        { L"NTFS",  INT64_C(0xFFFFFF00), 0x200, KERR_DISK_FULL, 1 },
        { L"exFAT", INT64_C(0xFFFFFF00), 0x200, KERR_DISK_FULL, 1 },
        { L"HPFS",  INT64_C(0x7FFFFF00), 0x100, KERR_FILE_TOO_BIG, 1 },
        { L"fat32", INT64_C(0xFFFFFF00), 0x200, KERR_DISK_FULL, 1 },
        { L"FAT32", 0, 0x1000, KERR_DISK_FULL, 0 },
        { L"FAT32", INT64_C(0x7FFFFF00), 0xFE, KERR_DISK_FULL, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        g_pwszFsName = s_aRows[i].pwszFs;
        g_cFsQueries = 0;
        ASSERT_EQ(RTFileSetPosition(File.h, s_aRows[i].off, RTFILE_SEEK_BEGIN, nullptr), 0);
        std::string const strData(s_aRows[i].cb, 'x');
        EXPECT_EQ(RTFileWrite(File.h, strData.data(), strData.size(), nullptr), s_aRows[i].rc);
        EXPECT_EQ(g_cFsQueries, s_aRows[i].cQueries);
        size_t cbWritten = 1;
        EXPECT_EQ(RTFileWrite(File.h, strData.data(), strData.size(), &cbWritten), s_aRows[i].rc);
    }
}

TEST_F(FileTest, FileSystemKindOfTheRealVolume)
{
    std::string const strFile = path("kind");
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    uint32_t enmType = 99;
    ASSERT_EQ(rtFileQueryFsKind((HANDLE)File.h, &enmType), 0);
    /* The prefix's drive C: is a fixed disk that reports itself as NTFS. */
    EXPECT_EQ(enmType, RTFSTYPE_NTFS);

    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtQueryVolumeInformationFile = volumeAccessDenied;
    EXPECT_EQ(rtFileQueryFsKind((HANDLE)File.h, &enmType), KERR_ACCESS_DENIED);
    EXPECT_EQ(enmType, RTFSTYPE_UNKNOWN);
    /* No volume information: the ID device stays 0, the rest is there. */
    RTFSOBJINFO Info;
    ASSERT_EQ(RTFileQueryInfo(File.h, &Info, RTFSOBJATTRADD_UNIX), 0);
    EXPECT_EQ(Info.Attr.u.Unix.INodeIdDevice, 0u);
    EXPECT_NE(Info.Attr.u.Unix.INodeId, 0u);
    /* And a full disk on an unknown file system is only that. */
    EXPECT_EQ(rtFileDiagnoseDiskFull((HANDLE)File.h, UINT64_C(0x200000000)), KERR_DISK_FULL);
}

TEST_F(FileTest, AccessDeniedAndFailedPostSteps)
{
    std::string const strFile = path("denied");
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnCreateFileW = createFileAccessDenied;
    RTFILE hFile = (RTFILE)(uintptr_t)0x1234;
    RTFILEACTION enmAction = RTFILEACTION_CREATED;
    EXPECT_EQ(
        RTFileOpenPathEx(strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE, &hFile, &enmAction),
        KERR_ACCESS_DENIED);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_EQ(enmAction, RTFILEACTION_INVALID);
    EXPECT_FALSE(exists(strFile));
    rtNtSysReset();

    /* The attribute can't be set: the handle is closed and the file this call made taken away. */
    g_rtNtSysOverride.pfnSetFileAttributesW = setAttributesAccessDenied;
    EXPECT_EQ(RTFileOpenPathEx(strFile.c_str(),
                               RTFILE_O_CREATE | RTFILE_O_WRITE | RTFILE_O_NOT_CONTENT_INDEXED,
                               &hFile, &enmAction),
              KERR_ACCESS_DENIED);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_FALSE(exists(strFile));

    /* Truncation of an opened file fails: closed, and the file as it was. */
    ASSERT_TRUE(writeFile(strFile, "old"));
    g_rtNtSysOverride.pfnSetEndOfFile = setEndOfFileWriteProtected;
    EXPECT_EQ(RTFileOpenPathEx(strFile.c_str(),
                               RTFILE_O_OPEN_CREATE | RTFILE_O_TRUNCATE | RTFILE_O_WRITE, &hFile,
                               &enmAction),
              KERR_WRITE_PROTECT);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_EQ(readFile(strFile), "old");

    /* Out of memory for the path conversion. */
    rtNtSysReset();
    RTMemTestFailAfter(0);
    int rc = RTFileOpenPath(&hFile, strFile.c_str(), RTFILE_O_OPEN | RTFILE_O_READ);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(rc, KERR_NO_UTF16_MEMORY);
    EXPECT_EQ(hFile, NIL_RTFILE);
}

namespace {

DWORD g_uGeometryMedia;

BOOL WINAPI deviceIoGeometry(HANDLE, DWORD uCode, LPVOID, DWORD, LPVOID pvOut, DWORD cbOut,
                             LPDWORD pcbRet, LPOVERLAPPED)
{
    if (uCode == IOCTL_DISK_GET_DRIVE_GEOMETRY && cbOut >= sizeof(DISK_GEOMETRY))
    {
        DISK_GEOMETRY *pGeometry = (DISK_GEOMETRY *)pvOut;
        memset(pGeometry, 0, sizeof(*pGeometry));
        pGeometry->Cylinders.QuadPart = 1000;
        pGeometry->MediaType = (MEDIA_TYPE)g_uGeometryMedia;
        pGeometry->TracksPerCylinder = 255;
        pGeometry->SectorsPerTrack = 63;
        pGeometry->BytesPerSector = 512;
        *pcbRet = sizeof(*pGeometry);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

} // namespace

TEST_F(FileTest, LengthOfADiskDeviceFromItsGeometry)
{
    std::string const strFile = path("disk");
    AutoFile File;
    ASSERT_EQ(RTFileOpenPath(&File.h, strFile.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnGetFileSize = fileSizeInvalidFunction;
    g_rtNtSysOverride.pfnDeviceIoControl = deviceIoGeometry;

    static const struct
    {
        DWORD uMedia;
        int rc;
        uint64_t cb;
    } s_aRows[] = // clang-format off
    {
        { FixedMedia, 0, UINT64_C(1000) * 255 * 63 * 512 },
        { RemovableMedia, 0, UINT64_C(1000) * 255 * 63 * 512 },
        { Unknown, KERR_INVALID_FUNCTION, 0 },
        { F3_120M_512, KERR_INVALID_FUNCTION, 0 }, /* the first after FixedMedia */
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        g_uGeometryMedia = s_aRows[i].uMedia;
        uint64_t cb = 7;
        EXPECT_EQ(RTFileGetLength(File.h, &cb), s_aRows[i].rc);
        EXPECT_EQ(cb, s_aRows[i].rc ? 7 : s_aRows[i].cb);
    }
}

TEST_F(FileTest, NonAsciiNamesBeyondTheClassicLimit)
{
    /* Cyrillic, CJK and a character outside the BMP, deep enough to pass 260 units. */
    static const char *s_apszParts[] = // clang-format off
    {
        "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82-\xd0\xbc\xd0\xb8\xd1\x80",       /* Привет-мир */
        "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x95\xe3\x82\xa9\xe3\x83\xab\xe3\x83\x80", /* 日本語のフォルダ */
        "\xf0\x9f\x98\x80-smile-\xf0\x9d\x84\x9e",                                          /* 😀-smile-𝄞 */
    };
    // clang-format on
    std::string strDir = m_strDir;
    std::vector<std::string> vecDirs;
    size_t i = 0;
    while (toWide(strDir).size() < 300)
    {
        strDir += "\\" + std::string(s_apszParts[i % 3]) + "-" + std::to_string(i) + "-"
                  + std::string(30, (char)('a' + i % 26));
        ASSERT_EQ(RTDirMake(strDir.c_str(), 0700, 0), 0) << strDir;
        vecDirs.push_back(strDir);
        i++;
    }
    ASSERT_GT(toWide(strDir).size(), 260u);

    std::string const strFile = strDir + "\\" + s_apszParts[2]
                                + "-\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.txt";
    std::string const strData = "data \xe2\x82\xac " + patternOf(5000);
    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(RTFileOpenPath(&hFile, strFile.c_str(),
                             RTFILE_O_CREATE | RTFILE_O_READWRITE | RTFILE_O_DENY_WRITE),
              0);
    EXPECT_EQ(RTFileWrite(hFile, strData.data(), strData.size(), nullptr), 0);
    ASSERT_EQ(RTFileSetPosition(hFile, 0, RTFILE_SEEK_BEGIN, nullptr), 0);
    std::string strBack(strData.size(), '\0');
    EXPECT_EQ(RTFileRead(hFile, &strBack[0], strBack.size(), nullptr), 0);
    EXPECT_EQ(strBack, strData);
    EXPECT_EQ(RTFileClose(hFile), 0);

    /* The system sees the very name that was asked for. */
    EXPECT_EQ(readFile(strFile), strData);
    RTFSOBJINFO Info;
    ASSERT_EQ(RTPathGetInfo(strFile.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK),
              0);
    EXPECT_EQ(Info.cbObject, (int64_t)strData.size());
    EXPECT_TRUE(RTDirExists(strDir.c_str()));

    EXPECT_EQ(RTFileRemove(strFile.c_str()), 0);
    EXPECT_FALSE(exists(strFile));
    for (size_t j = vecDirs.size(); j > 0; j--)
    {
        SCOPED_TRACE(testing::Message() << "level " << j);
        EXPECT_EQ(RTDirDelete(vecDirs[j - 1].c_str()), 0);
        EXPECT_FALSE(exists(vecDirs[j - 1]));
    }
}

TEST_F(FileTest, RelativePathOverTheLimitTakesTheLongForm)
{
    ASSERT_EQ(RTPathSetCurrent(m_strDir.c_str()), 0);
    char szCwd[1024];
    ASSERT_EQ(RTPathGetCurrent(szCwd, sizeof(szCwd)), 0);
    size_t const cwcCwd = toWide(szCwd).size();

    /* One name, so long that with the current directory it passes the limit. */
    std::string const strName = std::string(243 - cwcCwd, 'n');
    PRTUTF16 pwsz = nullptr;
    ASSERT_EQ(rtPathWin32FromUtf8(strName.c_str(), &pwsz), 0);
    std::wstring const wstrWin32 = (const wchar_t *)pwsz;
    RTMemFree(pwsz);
    EXPECT_EQ(wstrWin32.substr(0, 4), L"\\\\?\\");
    EXPECT_EQ(wstrWin32, L"\\\\?\\" + toWide(szCwd) + L"\\" + toWide(strName));

    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(RTFileOpenPath(&hFile, strName.c_str(), RTFILE_O_CREATE | RTFILE_O_WRITE), 0);
    EXPECT_EQ(RTFileWrite(hFile, "long", 4, nullptr), 0);
    EXPECT_EQ(RTFileClose(hFile), 0);
    EXPECT_EQ(readFile(path(strName)), "long");
    EXPECT_EQ(RTFileRemove(strName.c_str()), 0);

    /*
     * The limit counts the current directory as the system reports its size,
     * terminator included: the joined path may have 242 units, not one more.
     */
    std::string const strBorder = std::string(242 - cwcCwd, 'b');
    ASSERT_EQ(rtPathWin32FromUtf8(strBorder.c_str(), &pwsz), 0);
    EXPECT_EQ(std::wstring((const wchar_t *)pwsz).substr(0, 4), L"\\\\?\\");
    RTMemFree(pwsz);
    std::string const strShort = std::string(241 - cwcCwd, 's');
    ASSERT_EQ(rtPathWin32FromUtf8(strShort.c_str(), &pwsz), 0);
    EXPECT_EQ(std::wstring((const wchar_t *)pwsz), toWide(strShort));
    RTMemFree(pwsz);
}
