/*
 * The data side of the file layer, in both builds: validation of the
 * open-flag word and its mapping to the Win32 open values (each access,
 * sharing, action and attribute row), the mode derived from Windows
 * attributes and names, times, and the file-system kinds with their size
 * limits.
 */
#include <gtest/gtest.h>

#include <string.h>

#include <zelk/err.h>
#include <zelk/file.h>

#include "file-internal.h"

namespace {

struct MAPROW
{
    uint64_t fOpen;
    uint32_t fAccess;
    uint32_t fShare;
    uint32_t uDisposition;
    uint32_t fFlags;
};

/* The Win32 values the rows expect, by the SDK's names (FILE_GENERIC_READ and so on). */
const uint32_t kRead = RTFILE_WIN_FILE_GENERIC_READ;
const uint32_t kWrite = RTFILE_WIN_FILE_GENERIC_WRITE;
const uint32_t kWriteData = RTFILE_WIN_WRITE_DATA;
const uint32_t kAppendData = RTFILE_WIN_APPEND_DATA;
const uint32_t kReadAttrs = RTFILE_WIN_READ_ATTRIBUTES;
const uint32_t kWriteAttrs = RTFILE_WIN_WRITE_ATTRIBUTES;
const uint32_t kSync = RTFILE_WIN_SYNCHRONIZE;
const uint32_t kGenericWrite = RTFILE_WIN_GENERIC_WRITE;
const uint32_t kShR = RTFILE_WIN_SHARE_READ;
const uint32_t kShW = RTFILE_WIN_SHARE_WRITE;
const uint32_t kShD = RTFILE_WIN_SHARE_DELETE;
const uint32_t kNormal = RTFILE_WIN_ATTRIBUTE_NORMAL;

const MAPROW g_aMapRows[] = // clang-format off
{
    { RTFILE_O_READ | RTFILE_O_OPEN,
      kRead, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ,
      kRead, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_CREATE,
      kWrite, kShR | kShW, RTFILE_WIN_CREATE_NEW, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_APPEND | RTFILE_O_OPEN_CREATE,
      kWrite & ~kWriteData, kShR | kShW, RTFILE_WIN_OPEN_ALWAYS, kNormal },
    { RTFILE_O_READWRITE | RTFILE_O_CREATE_REPLACE,
      kRead | kWrite, kShR | kShW, RTFILE_WIN_CREATE_ALWAYS, kNormal },
    { RTFILE_O_READWRITE | RTFILE_O_APPEND | RTFILE_O_OPEN,
      (kRead | kWrite) & ~kWriteData, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_ACCESS_ATTR_READ | RTFILE_O_OPEN,
      kSync | kReadAttrs, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_ACCESS_ATTR_WRITE | RTFILE_O_OPEN,
      kSync | kWriteAttrs, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_ACCESS_ATTR_READWRITE | RTFILE_O_OPEN,
      kSync | kReadAttrs | kWriteAttrs, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_ACCESS_ATTR_WRITE | RTFILE_O_OPEN,
      kRead | kWriteAttrs, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_ACCESS_ATTR_READ | RTFILE_O_OPEN,
      kWrite | kReadAttrs, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_TRUNCATE | RTFILE_O_OPEN,
      kWrite | kGenericWrite, kShR | kShW, RTFILE_WIN_TRUNCATE_EXISTING, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_TRUNCATE | RTFILE_O_OPEN_CREATE,
      kWrite, kShR | kShW, RTFILE_WIN_OPEN_ALWAYS, kNormal },
    { RTFILE_O_WRITE | RTFILE_O_NO_CACHE | RTFILE_O_CREATE,
      kWrite & ~kAppendData, kShR | kShW, RTFILE_WIN_CREATE_NEW, kNormal | RTFILE_WIN_FLAG_NO_BUFFERING },
    { RTFILE_O_READWRITE | RTFILE_O_NO_CACHE | RTFILE_O_OPEN,
      (kRead | kWrite) & ~kAppendData, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal | RTFILE_WIN_FLAG_NO_BUFFERING },
    { RTFILE_O_WRITE | RTFILE_O_WRITE_THROUGH | RTFILE_O_CREATE,
      kWrite, kShR | kShW, RTFILE_WIN_CREATE_NEW, kNormal | RTFILE_WIN_FLAG_WRITE_THROUGH },
    { RTFILE_O_READ | RTFILE_O_ASYNC_IO | RTFILE_O_OPEN,
      kRead, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal | RTFILE_WIN_FLAG_OVERLAPPED },
    { RTFILE_O_WRITE | RTFILE_O_TEMPORARY | RTFILE_O_CREATE,
      kWrite, kShR | kShW, RTFILE_WIN_CREATE_NEW, RTFILE_WIN_ATTRIBUTE_TEMPORARY },
    { RTFILE_O_WRITE | RTFILE_O_CREATE | (UINT64_C(0700) << 20),
      kWrite, kShR | kShW, RTFILE_WIN_CREATE_NEW, kNormal },
    /* Each sharing value. */
    { RTFILE_O_READ | RTFILE_O_DENY_READ,
      kRead, kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_WRITE,
      kRead, kShR, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_READWRITE,
      kRead, 0, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_NOT_DELETE,
      kRead, kShR | kShW | kShD, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_READ_NOT_DELETE,
      kRead, kShW | kShD, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_WRITE_NOT_DELETE,
      kRead, kShR | kShD, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_ALL_NOT_DELETE,
      kRead, kShD, RTFILE_WIN_OPEN_EXISTING, kNormal },
    { RTFILE_O_READ | RTFILE_O_DENY_NONE,
      kRead, kShR | kShW, RTFILE_WIN_OPEN_EXISTING, kNormal },
};
// clang-format on

} // namespace

TEST(rtFileOpenFlags, WindowsValuesAreTheSdks)
{
    /* winnt.h's numbers: the names above must mean what the system means by them. */
    EXPECT_EQ(RTFILE_WIN_FILE_GENERIC_READ, UINT32_C(0x120089));
    EXPECT_EQ(RTFILE_WIN_FILE_GENERIC_WRITE, UINT32_C(0x120116));
    EXPECT_EQ(RTFILE_WIN_SYNCHRONIZE | RTFILE_WIN_READ_ATTRIBUTES, UINT32_C(0x100080));
}

TEST(rtFileOpenFlags, MappingRows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aMapRows); i++)
    {
        SCOPED_TRACE(testing::Message()
                     << "row " << i << ": 0x" << std::hex << g_aMapRows[i].fOpen);
        uint64_t fOpen = g_aMapRows[i].fOpen;
        ASSERT_EQ(rtFileOpenFlagsValidate(&fOpen), 0);
        RTFILEWINOPEN Win;
        memset(&Win, 0xcc, sizeof(Win));
        ASSERT_EQ(rtFileOpenFlagsToWin(fOpen, &Win), 0);
        EXPECT_EQ(Win.fDesiredAccess, g_aMapRows[i].fAccess) << std::hex << Win.fDesiredAccess;
        EXPECT_EQ(Win.fShareMode, g_aMapRows[i].fShare);
        EXPECT_EQ(Win.uCreationDisposition, g_aMapRows[i].uDisposition);
        EXPECT_EQ(Win.fFlagsAndAttributes, g_aMapRows[i].fFlags)
            << std::hex << Win.fFlagsAndAttributes;
        EXPECT_FALSE(Win.fInherit);
    }

    uint64_t fOpen = RTFILE_O_READ | RTFILE_O_INHERIT;
    ASSERT_EQ(rtFileOpenFlagsValidate(&fOpen), 0);
    RTFILEWINOPEN Win;
    ASSERT_EQ(rtFileOpenFlagsToWin(fOpen, &Win), 0);
    EXPECT_TRUE(Win.fInherit);

    /* Unvalidated words with no mapping. */
    EXPECT_EQ(rtFileOpenFlagsToWin(RTFILE_O_READ | RTFILE_O_OPEN, &Win), KERR_INVALID_FLAGS);
    EXPECT_EQ(rtFileOpenFlagsToWin(RTFILE_O_READ | RTFILE_O_DENY_NONE, &Win), KERR_INVALID_FLAGS);
    EXPECT_EQ(rtFileOpenFlagsToWin(RTFILE_O_READ | RTFILE_O_DENY_NONE | 0x500, &Win),
              KERR_INVALID_FLAGS);
}

TEST(rtFileOpenFlags, Validation)
{
    static const struct
    {
        uint64_t fIn;
        int rc;
        uint64_t fOut;
    } s_aRows[] = // clang-format off
    {
        { 0,                                               KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_OPEN | RTFILE_O_DENY_NONE,              KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x8,                             KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x4000,                          KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | UINT64_C(0x80000000),            KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | RTFILE_O_TRUNCATE,               KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_ACCESS_ATTR_WRITE | RTFILE_O_TRUNCATE,  KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x400,                           KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x500,                           KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x600,                           KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | RTFILE_O_NOT_CONTENT_INDEXED,    KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0x90,                            KERR_INVALID_PARAMETER, 0 },
        { RTFILE_O_READ | 0xF0,                            KERR_INVALID_PARAMETER, 0 },
        /* Defaults settled, the high half dropped. */
        { RTFILE_O_READ,                                   0, RTFILE_O_READ | RTFILE_O_OPEN | RTFILE_O_DENY_NONE },
        { RTFILE_O_READ | UINT64_C(0xFFFFFFFF00000000),    0, RTFILE_O_READ | RTFILE_O_OPEN | RTFILE_O_DENY_NONE },
        { RTFILE_O_ACCESS_ATTR_READ | RTFILE_O_DENY_WRITE, 0, RTFILE_O_ACCESS_ATTR_READ | RTFILE_O_OPEN | RTFILE_O_DENY_WRITE },
        { RTFILE_O_WRITE | RTFILE_O_CREATE | RTFILE_O_NOT_CONTENT_INDEXED | RTFILE_O_TRUNCATE, 0,
          RTFILE_O_WRITE | RTFILE_O_CREATE | RTFILE_O_NOT_CONTENT_INDEXED | RTFILE_O_TRUNCATE | RTFILE_O_DENY_NONE },
        { 0x721,                                           0, 0x721 },
        { UINT64_C(0x5C000702),                            0, UINT64_C(0x5C000782) },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": 0x" << std::hex << s_aRows[i].fIn);
        uint64_t fOpen = s_aRows[i].fIn;
        ASSERT_EQ(rtFileOpenFlagsValidate(&fOpen), s_aRows[i].rc);
        if (s_aRows[i].rc == 0)
        {
            EXPECT_EQ(fOpen, s_aRows[i].fOut) << std::hex << fOpen;
        }
        else
        {
            EXPECT_EQ(fOpen, s_aRows[i].fIn) << "a refused word is left as it was";
        }
    }
}

TEST(rtFileOpenFlags, ActionFromDisposition)
{
    static const struct
    {
        uint32_t uDisposition;
        bool fExisted;
        RTFILEACTION enmAction;
    } s_aRows[] = // clang-format off
    {
        { RTFILE_WIN_CREATE_NEW,        false, RTFILEACTION_CREATED },
        { RTFILE_WIN_CREATE_NEW,        true,  RTFILEACTION_CREATED },
        { RTFILE_WIN_CREATE_ALWAYS,     false, RTFILEACTION_CREATED },
        { RTFILE_WIN_CREATE_ALWAYS,     true,  RTFILEACTION_REPLACED },
        { RTFILE_WIN_OPEN_EXISTING,     false, RTFILEACTION_OPENED },
        { RTFILE_WIN_OPEN_EXISTING,     true,  RTFILEACTION_OPENED },
        { RTFILE_WIN_OPEN_ALWAYS,       false, RTFILEACTION_CREATED },
        { RTFILE_WIN_OPEN_ALWAYS,       true,  RTFILEACTION_OPENED },
        { RTFILE_WIN_TRUNCATE_EXISTING, false, RTFILEACTION_TRUNCATED },
        { RTFILE_WIN_TRUNCATE_EXISTING, true,  RTFILEACTION_TRUNCATED },
        /* Dispositions the mapping never gives. */
        { 0,                            false, RTFILEACTION_OPENED },
        { 6,                            true,  RTFILEACTION_OPENED },
        { UINT32_MAX,                   false, RTFILEACTION_OPENED },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(rtFileOpenActionFromWin(s_aRows[i].uDisposition, s_aRows[i].fExisted),
                  s_aRows[i].enmAction);
    }
}

TEST(rtFsModeFromDos, Rows)
{
    static const struct
    {
        uint32_t fAttribs;
        bool fExe;
        uint32_t uTag;
        RTFMODE fMode;
    } s_aRows[] = // clang-format off
    {
        { 0x0020, false, 0,          0x0200000 | RTFS_TYPE_FILE | 0666 },
        { 0x0080, false, 0,          0x0800000 | RTFS_TYPE_FILE | 0666 },
        { 0x0001, false, 0,          0x0010000 | RTFS_TYPE_FILE | 0444 },
        { 0x0010, false, 0,          0x0100000 | RTFS_TYPE_DIRECTORY | 0777 },
        { 0x0011, false, 0,          0x0110000 | RTFS_TYPE_DIRECTORY | 0777 },
        { 0x0020, true,  0,          0x0200000 | RTFS_TYPE_FILE | 0777 },
        { 0x0021, true,  0,          0x0210000 | RTFS_TYPE_FILE | 0555 },
        { 0x0400, false, 0xA000000C, 0x4000000 | RTFS_TYPE_SYMLINK | 0666 },
        { 0x0410, false, 0xA000000C, 0x4100000 | RTFS_TYPE_SYMLINK | 0777 },
        { 0x0400, false, 0xA0000003, 0x4000000 | RTFS_TYPE_FILE | 0666 },
        { 0x0400, false, 0,          0x4000000 | RTFS_TYPE_FILE | 0666 },
        { 0x0000, false, 0xA000000C, RTFS_TYPE_FILE | 0666 },
        { 0x2000, false, 0,          0x20000000 | RTFS_TYPE_FILE | 0666 },
        { 0xFFFF, false, 0,          0x7FFF0000 | RTFS_TYPE_DIRECTORY | 0777 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(rtFsModeFromDos(s_aRows[i].fAttribs, s_aRows[i].fExe, s_aRows[i].uTag),
                  s_aRows[i].fMode)
            << std::hex << rtFsModeFromDos(s_aRows[i].fAttribs, s_aRows[i].fExe, s_aRows[i].uTag);
    }
}

TEST(rtFsIsExecutableName, Rows)
{
    static const struct
    {
        const char *pszName;
        bool fExe;
    } s_aRows[] = // clang-format off
    {
        { "a.exe", true }, { "A.EXE", true }, { "x.Bat", true }, { "y.com", true }, { "z.cmd", true },
        { "w.btm", true }, { ".exe", true }, { "dir\\setup.Exe", true }, { "exe", false }, { "a.exf", false },
        { "a.ex", false }, { "aexe", false }, { "a.exe.txt", false }, { "a.ps1", false }, { "", false },
        { "a.\xd0\xb5xe", false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        EXPECT_EQ(rtFsIsExecutableNameUtf8(s_aRows[i].pszName, strlen(s_aRows[i].pszName)),
                  s_aRows[i].fExe);
        /* The same in UTF-16: ASCII unit by unit, the two-byte Cyrillic letter as one unit. */
        RTUTF16 awc[32];
        size_t cwc = 0;
        const unsigned char *pb = (const unsigned char *)s_aRows[i].pszName;
        while (*pb)
        {
            if (*pb == 0xd0)
            {
                awc[cwc++] = (RTUTF16)(0x0400 | (pb[1] & 0x3f));
                pb += 2;
            }
            else
                awc[cwc++] = *pb++;
        }
        EXPECT_EQ(rtFsIsExecutableNameUtf16(awc, cwc), s_aRows[i].fExe);
    }
    EXPECT_FALSE(rtFsIsExecutableNameUtf8(nullptr, 5));
}

TEST(rtFsTimeFromNt, Rows)
{
    static const struct
    {
        int64_t iNt;
        int64_t iNs;
    } s_aRows[] = // clang-format off
    {
        { INT64_C(116444736000000000), 0 },
        { INT64_C(116444736000000001), 100 },
        { INT64_C(116444735999999999), -100 },
        { INT64_C(133000000000000000), INT64_C(1655526400000000000) },
        { INT64_C(116444736000000000) + INT64_MAX / 100, (INT64_MAX / 100) * 100 },
        { INT64_C(116444736000000000) + INT64_MAX / 100 + 1, INT64_MAX },
        { 0, INT64_MIN },
        { INT64_MAX, INT64_MAX },
        { INT64_MIN, INT64_MIN },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(rtFsTimeFromNt(s_aRows[i].iNt), s_aRows[i].iNs);
    }
}

TEST(rtFsTypeFromName, RowsAndLimits)
{
    static const struct
    {
        const char16_t *pwszName;
        RTFSTYPE enmType;
        uint64_t cbMax;
    } s_aRows[] = // clang-format off
    {
        { u"NTFS", RTFSTYPE_NTFS, UINT64_MAX },
        { u"FAT", RTFSTYPE_FAT, UINT64_C(0x100000000) },
        { u"FAT32", RTFSTYPE_FAT, UINT64_C(0x100000000) },
        { u"exFAT", RTFSTYPE_EXFAT, UINT64_MAX },
        { u"UDF", RTFSTYPE_UDF, UINT64_MAX },
        { u"CDFS", RTFSTYPE_ISO9660, UINT64_C(0x80000000000) },
        { u"HPFS", RTFSTYPE_HPFS, UINT64_C(0x80000000) },
        { u"ReFS", RTFSTYPE_REFS, UINT64_MAX },
        { u"QornSharedFolderFS", RTFSTYPE_SHARED_FOLDER, UINT64_MAX },
        { u"ntfs", RTFSTYPE_UNKNOWN, UINT64_MAX },
        { u"EXFAT", RTFSTYPE_UNKNOWN, UINT64_MAX },
        { u"NTF", RTFSTYPE_UNKNOWN, UINT64_MAX },
        { u"NTFS ", RTFSTYPE_UNKNOWN, UINT64_MAX },
        { u"", RTFSTYPE_UNKNOWN, UINT64_MAX },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        size_t cwc = 0;
        while (s_aRows[i].pwszName[cwc])
            cwc++;
        RTFSTYPE const enmType = rtFsTypeFromName((PCRTUTF16)s_aRows[i].pwszName, cwc);
        EXPECT_EQ(enmType, s_aRows[i].enmType);
        EXPECT_EQ(rtFsTypeMaxFileSize(enmType), s_aRows[i].cbMax);
    }
    /* Only the counted units take part: "NTFS" within "NTFSX". */
    EXPECT_EQ(rtFsTypeFromName((PCRTUTF16)u"NTFSX", 4), RTFSTYPE_NTFS);
}

TEST(rtFsObjInfoInit, DefaultsOfEachKind)
{
    RTFSOBJINFO Info;
    memset(&Info, 0xcc, sizeof(Info));
    rtFsObjInfoInit(&Info, RTFSOBJATTRADD_UNIX);
    EXPECT_EQ(Info.cbObject, 0);
    EXPECT_EQ(Info.Attr.fMode, 0u);
    EXPECT_EQ(Info.Attr.enmAdditional, RTFSOBJATTRADD_UNIX);
    EXPECT_EQ(Info.Attr.u.Unix.uid, NIL_RTUID);
    EXPECT_EQ(Info.Attr.u.Unix.gid, NIL_RTGID);
    EXPECT_EQ(Info.Attr.u.Unix.cHardlinks, 1u);
    EXPECT_EQ(Info.Attr.u.Unix.INodeId, 0u);
    rtFsObjInfoInit(&Info, RTFSOBJATTRADD_UNIX_GROUP);
    EXPECT_EQ(Info.Attr.u.UnixGroup.gid, NIL_RTGID);
    EXPECT_EQ(Info.Attr.u.UnixGroup.szName[0], '\0');
    rtFsObjInfoInit(&Info, RTFSOBJATTRADD_EASIZE);
    EXPECT_EQ(Info.Attr.u.EASize.cb, 0u);
}
