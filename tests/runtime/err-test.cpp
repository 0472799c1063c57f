/*
 * Status codes: the Win32 and NT conversion tables row by row, the status
 * table's order and lookup, and the compressed string-table decoder on the
 * generated table and on crafted, malformed ones.
 */
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include <zelk/err.h>

#include "err-internal.h"

namespace {

struct CodeRow
{
    uint32_t uNative;
    int rcExpected;
};

// Every Windows error code of the conversion table, ranges expanded.
const CodeRow g_aWin32Rows[] = // clang-format off
{
    {0, KINF_SUCCESS}, {87, KERR_INVALID_PARAMETER}, {160, KERR_INVALID_PARAMETER},
    {1004, KERR_INVALID_PARAMETER}, {10022, KERR_INVALID_PARAMETER}, {6, KERR_INVALID_HANDLE},
    {130, KERR_INVALID_HANDLE}, {10009, KERR_INVALID_HANDLE}, {487, KERR_INVALID_POINTER},
    {998, KERR_INVALID_POINTER}, {10014, KERR_INVALID_POINTER}, {8, KERR_NO_MEMORY},
    {14, KERR_NO_MEMORY}, {1450, KERR_NO_MEMORY}, {1056, KERR_ALREADY_RUNNING},
    {4390, KERR_NOT_A_REPARSE_POINT}, {1, KERR_INVALID_FUNCTION}, {50, KERR_NOT_SUPPORTED},
    {5, KERR_ACCESS_DENIED}, {10013, KERR_ACCESS_DENIED}, {995, KERR_INTERRUPTED},
    {10004, KERR_INTERRUPTED}, {121, KERR_TIMEOUT}, {258, KERR_TIMEOUT}, {1053, KERR_TIMEOUT},
    {1121, KERR_TIMEOUT}, {1460, KERR_TIMEOUT}, {10060, KERR_TIMEOUT}, {111, KERR_BUFFER_OVERFLOW},
    {122, KERR_BUFFER_OVERFLOW}, {164, KERR_MAX_THREADS_REACHED}, {89, KERR_TOO_MANY_PROCESSES},
    {10067, KERR_TOO_MANY_PROCESSES}, {156, KERR_SIGNAL_REFUSED}, {205, KERR_SIGNAL_REFUSED},
    {162, KERR_SIGNAL_PENDING}, {209, KERR_SIGNAL_INVALID}, {1705, KERR_INVALID_UUID_FORMAT},
    {10035, KERR_TRY_AGAIN}, {11002, KERR_TRY_AGAIN}, {1113, KERR_NO_TRANSLATION},
    {1223, KERR_CANCELLED}, {1060, KERR_NOT_FOUND}, {1168, KERR_NOT_FOUND},
    {1272, KERR_AUTHENTICATION_FAILURE}, {1326, KERR_AUTHENTICATION_FAILURE},
    {1788, KERR_AUTHENTICATION_FAILURE}, {1789, KERR_AUTHENTICATION_FAILURE},
    {110, KERR_OPEN_FAILED}, {2, KERR_FILE_NOT_FOUND}, {3, KERR_PATH_NOT_FOUND},
    {123, KERR_INVALID_NAME}, {161, KERR_INVALID_NAME}, {1200, KERR_INVALID_NAME},
    {80, KERR_ALREADY_EXISTS}, {183, KERR_ALREADY_EXISTS}, {4, KERR_TOO_MANY_OPEN_FILES},
    {10024, KERR_TOO_MANY_OPEN_FILES}, {25, KERR_SEEK}, {131, KERR_NEGATIVE_SEEK},
    {132, KERR_SEEK_ON_DEVICE}, {38, KERR_EOF}, {30, KERR_READ_ERROR}, {29, KERR_WRITE_ERROR},
    {19, KERR_WRITE_PROTECT}, {32, KERR_SHARING_VIOLATION}, {1224, KERR_SHARING_VIOLATION},
    {167, KERR_FILE_LOCK_FAILED}, {33, KERR_FILE_LOCK_VIOLATION}, {82, KERR_CANT_CREATE},
    {16, KERR_CANT_DELETE_DIRECTORY}, {10066, KERR_CANT_DELETE_DIRECTORY},
    {17, KERR_NOT_SAME_DEVICE}, {206, KERR_FILENAME_TOO_LONG}, {10063, KERR_FILENAME_TOO_LONG},
    {1005, KERR_MEDIA_NOT_RECOGNIZED}, {158, KERR_FILE_NOT_LOCKED}, {145, KERR_DIR_NOT_EMPTY},
    {267, KERR_NOT_A_DIRECTORY}, {15, KERR_INVALID_DRIVE}, {39, KERR_DISK_FULL},
    {112, KERR_DISK_FULL}, {10069, KERR_DISK_FULL}, {108, KERR_DRIVE_LOCKED},
    {26, KERR_DISK_INVALID_FORMAT}, {10062, KERR_TOO_MANY_SYMLINKS}, {18, KERR_NO_MORE_FILES},
    {113, KERR_NO_MORE_SEARCH_HANDLES}, {20, KERR_UNKNOWN_UNIT}, {21, KERR_DEVICE_NOT_READY},
    {22, KERR_UNKNOWN_COMMAND}, {23, KERR_CRC_ERROR}, {24, KERR_BAD_LENGTH},
    {27, KERR_SECTOR_NOT_FOUND}, {31, KERR_GENERAL_FAILURE}, {535, KERR_PIPE_ALREADY_CONNECTED},
    {536, KERR_PIPE_ALREADY_CONNECTED}, {109, KERR_BROKEN_PIPE}, {230, KERR_BAD_PIPE},
    {231, KERR_PIPE_BUSY}, {232, KERR_NO_DATA}, {1812, KERR_NO_DATA},
    {233, KERR_PIPE_NOT_CONNECTED}, {234, KERR_MORE_DATA}, {100, KERR_TOO_MANY_SEMAPHORES},
    {101, KERR_SEM_ALREADY_OWNED}, {102, KERR_SEM_IS_SET}, {103, KERR_TOO_MANY_SEM_REQUESTS},
    {288, KERR_NOT_OWNER}, {298, KERR_TOO_MANY_SEM_POSTS}, {105, KERR_SEM_OWNER_DIED},
    {187, KERR_SEM_NOT_FOUND}, {51, KERR_NET_IO_ERROR}, {52, KERR_NET_IO_ERROR},
    {57, KERR_NET_IO_ERROR}, {58, KERR_NET_IO_ERROR}, {59, KERR_NET_IO_ERROR},
    {60, KERR_NET_IO_ERROR}, {65, KERR_NET_IO_ERROR}, {66, KERR_NET_IO_ERROR},
    {70, KERR_NET_IO_ERROR}, {71, KERR_NET_IO_ERROR}, {72, KERR_NET_IO_ERROR},
    {85, KERR_NET_IO_ERROR}, {86, KERR_NET_IO_ERROR}, {88, KERR_NET_IO_ERROR},
    {54, KERR_NET_OUT_OF_RESOURCES}, {56, KERR_NET_OUT_OF_RESOURCES},
    {68, KERR_NET_OUT_OF_RESOURCES}, {69, KERR_NET_OUT_OF_RESOURCES},
    {84, KERR_NET_OUT_OF_RESOURCES}, {53, KERR_NET_HOST_NOT_FOUND}, {64, KERR_NET_HOST_NOT_FOUND},
    {11001, KERR_NET_HOST_NOT_FOUND}, {55, KERR_NET_PATH_NOT_FOUND}, {67, KERR_NET_PATH_NOT_FOUND},
    {61, KERR_NET_PRINT_ERROR}, {62, KERR_NET_PRINT_ERROR}, {63, KERR_NET_PRINT_ERROR},
    {10036, KERR_NET_IN_PROGRESS}, {10037, KERR_NET_ALREADY_IN_PROGRESS},
    {10038, KERR_NET_NOT_SOCKET}, {10039, KERR_NET_DEST_ADDRESS_REQUIRED},
    {10040, KERR_NET_MSG_SIZE}, {10041, KERR_NET_PROTOCOL_TYPE},
    {10042, KERR_NET_PROTOCOL_NOT_AVAILABLE}, {10043, KERR_NET_PROTOCOL_NOT_SUPPORTED},
    {10044, KERR_NET_SOCKET_TYPE_NOT_SUPPORTED}, {10045, KERR_NET_OPERATION_NOT_SUPPORTED},
    {10046, KERR_NET_PROTOCOL_FAMILY_NOT_SUPPORTED}, {10047, KERR_NET_ADDRESS_FAMILY_NOT_SUPPORTED},
    {10048, KERR_NET_ADDRESS_IN_USE}, {10049, KERR_NET_ADDRESS_NOT_AVAILABLE},
    {11004, KERR_NET_ADDRESS_NOT_AVAILABLE}, {10050, KERR_NET_DOWN}, {10051, KERR_NET_UNREACHABLE},
    {10052, KERR_NET_CONNECTION_RESET}, {10053, KERR_NET_CONNECTION_ABORTED},
    {10054, KERR_NET_CONNECTION_RESET_BY_PEER}, {10055, KERR_NET_NO_BUFFER_SPACE},
    {10056, KERR_NET_ALREADY_CONNECTED}, {10057, KERR_NET_NOT_CONNECTED},
    {10058, KERR_NET_SHUTDOWN}, {10059, KERR_NET_TOO_MANY_REFERENCES},
    {10061, KERR_NET_CONNECTION_REFUSED}, {10064, KERR_NET_HOST_DOWN},
    {10065, KERR_NET_HOST_UNREACHABLE}, {10106, KERR_NET_PROVIDER_FAILED_INIT},
    {191, KERR_INVALID_EXE_SIGNATURE}, {193, KERR_BAD_EXE_FORMAT}, {1392, KERR_BAD_EXE_FORMAT},
    {127, KERR_SYMBOL_NOT_FOUND}, {126, KERR_MODULE_NOT_FOUND}, {577, KERR_LDR_IMAGE_HASH},
    {203, KERR_ENV_VAR_NOT_FOUND}, {1325, KERR_ACCOUNT_RESTRICTED}, {1327, KERR_ACCOUNT_RESTRICTED},
    {1330, KERR_ACCOUNT_RESTRICTED}, {1331, KERR_ACCOUNT_RESTRICTED},
    {1314, KERR_PRIVILEGE_NOT_HELD}, {0xC000042C, KERR_PRIVILEGE_NOT_HELD},
    {740, KERR_ELEVATION_REQUIRED}, {0x80090008, KERR_CRYPTO_BAD_ALGORITHM},
};
// clang-format on

// Every NT status of the conversion table, ranges expanded.
const CodeRow g_aNtRows[] = // clang-format off
{
    {0x00000000, KINF_SUCCESS}, {0x000000C0, KERR_INTERRUPTED}, {0x00000101, KERR_INTERRUPTED},
    {0x80000002, KERR_INVALID_POINTER}, {0x80000006, KERR_NO_MORE_FILES},
    {0x8000001A, KERR_NO_MORE_FILES}, {0xC0000003, KERR_INVALID_FUNCTION},
    {0xC0000005, KERR_INVALID_POINTER}, {0xC0000008, KERR_INVALID_HANDLE},
    {0xC000000D, KERR_INVALID_PARAMETER}, {0xC00000EF, KERR_INVALID_PARAMETER},
    {0xC00000F0, KERR_INVALID_PARAMETER}, {0xC00000F1, KERR_INVALID_PARAMETER},
    {0xC00000F2, KERR_INVALID_PARAMETER}, {0xC00000F3, KERR_INVALID_PARAMETER},
    {0xC00000F4, KERR_INVALID_PARAMETER}, {0xC00000F5, KERR_INVALID_PARAMETER},
    {0xC00000F6, KERR_INVALID_PARAMETER}, {0xC00000F7, KERR_INVALID_PARAMETER},
    {0xC00000F8, KERR_INVALID_PARAMETER}, {0xC00000F9, KERR_INVALID_PARAMETER},
    {0xC00000FA, KERR_INVALID_PARAMETER}, {0xC000000E, KERR_FILE_NOT_FOUND},
    {0xC000000F, KERR_FILE_NOT_FOUND}, {0xC0000034, KERR_FILE_NOT_FOUND},
    {0xC0000010, KERR_UNKNOWN_COMMAND}, {0xC0000013, KERR_MEDIA_NOT_PRESENT},
    {0xC0000017, KERR_NO_MEMORY}, {0xC0000022, KERR_ACCESS_DENIED}, {0xC0000024, KERR_WRONG_TYPE},
    {0xC0000033, KERR_INVALID_NAME}, {0xC0000039, KERR_INVALID_NAME},
    {0xC000003B, KERR_INVALID_NAME}, {0xC000003A, KERR_PATH_NOT_FOUND},
    {0xC0000043, KERR_SHARING_VIOLATION}, {0xC000006D, KERR_AUTHENTICATION_FAILURE},
    {0xC00000BA, KERR_IS_A_DIRECTORY}, {0xC00000BE, KERR_NET_PATH_NOT_FOUND},
    {0xC00000C4, KERR_NET_IO_ERROR}, {0xC0000101, KERR_DIR_NOT_EMPTY},
    {0xC0000103, KERR_NOT_A_DIRECTORY}, {0xC0000190, KERR_TRUST_FAILURE},
    {0xC0000280, KERR_TOO_MANY_SYMLINKS}, {0xC0000428, KERR_LDR_IMAGE_HASH},
};
// clang-format on

struct NamedRow
{
    int rc;
    const char *pszName;
};

// The codes the runtime and the installer return or test for, by name.
const NamedRow g_aNamedRows[] = // clang-format off
{
    {0, "KINF_SUCCESS"}, {55, "KWRN_NUMBER_TOO_BIG"}, {76, "KWRN_TRAILING_CHARS"},
    {77, "KWRN_TRAILING_SPACES"}, {828, "KINF_OPT_NOT_AN_OPTION"}, {-2, "KERR_INVALID_PARAMETER"},
    {-4, "KERR_INVALID_HANDLE"}, {-6, "KERR_INVALID_POINTER"}, {-8, "KERR_NO_MEMORY"},
    {-12, "KERR_NOT_IMPLEMENTED"}, {-13, "KERR_INVALID_FLAGS"}, {-20, "KERR_NO_TMP_MEMORY"},
    {-21, "KERR_INVALID_FMODE"}, {-22, "KERR_WRONG_ORDER"}, {-35, "KERR_UNRESOLVED_ERROR"},
    {-36, "KERR_INVALID_FUNCTION"}, {-37, "KERR_NOT_SUPPORTED"}, {-38, "KERR_ACCESS_DENIED"},
    {-39, "KERR_INTERRUPTED"}, {-40, "KERR_TIMEOUT"}, {-41, "KERR_BUFFER_OVERFLOW"},
    {-48, "KERR_MISMATCH"}, {-56, "KERR_NO_DIGITS"}, {-59, "KERR_UTF_NONCHARACTER"},
    {-60, "KERR_UTF8_SURROGATE"}, {-61, "KERR_INVALID_UTF8"}, {-62, "KERR_INVALID_UTF16"},
    {-63, "KERR_CODE_POINT_TOO_BIG"}, {-64, "KERR_NO_STR_MEMORY"}, {-65, "KERR_NO_UTF16_MEMORY"},
    {-66, "KERR_NO_CODE_POINT_MEMORY"}, {-83, "KERR_END_OF_STRING"}, {-102, "KERR_FILE_NOT_FOUND"},
    {-103, "KERR_PATH_NOT_FOUND"}, {-104, "KERR_INVALID_NAME"}, {-105, "KERR_ALREADY_EXISTS"},
    {-106, "KERR_TOO_MANY_OPEN_FILES"}, {-110, "KERR_EOF"}, {-112, "KERR_WRITE_ERROR"},
    {-114, "KERR_SHARING_VIOLATION"}, {-120, "KERR_FILENAME_TOO_LONG"},
    {-125, "KERR_DIR_NOT_EMPTY"}, {-126, "KERR_NOT_A_DIRECTORY"}, {-127, "KERR_IS_A_DIRECTORY"},
    {-128, "KERR_FILE_TOO_BIG"}, {-142, "KERR_PATH_IS_RELATIVE"}, {-145, "KERR_PATH_ZERO_LENGTH"},
    {-152, "KERR_DISK_FULL"}, {-160, "KERR_IS_A_SYMLINK"}, {-201, "KERR_NO_MORE_FILES"},
    {-225, "KERR_INTERNAL_ERROR"}, {-226, "KERR_INTERNAL_ERROR_2"},
    {-227, "KERR_INTERNAL_ERROR_3"}, {-228, "KERR_INTERNAL_ERROR_4"},
    {-257, "KERR_GENERAL_FAILURE"}, {-304, "KERR_NO_DATA"}, {-610, "KERR_MODULE_NOT_FOUND"},
    {-750, "KERR_ENV_VAR_NOT_FOUND"}, {-752, "KERR_ENV_INVALID_VAR_NAME"},
    {-825, "KERR_OPT_UNKNOWN"}, {-826, "KERR_OPT_VALUE_MISSING"},
    {-827, "KERR_OPT_BAD_VALUE_FORMAT"}, {-829, "KERR_OPT_INDEX_MISSING"},
    {-22401, "KERR_STRING_TOO_SHORT"},
};
// clang-format on

size_t collect(void *pvArg, const char *pach, size_t cch)
{
    if (pach)
        static_cast<std::string *>(pvArg)->append(pach, cch);
    return cch;
}

std::string nameOf(int rc)
{
    std::string out;
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    if (pEntry)
        RTErrOutputName(pEntry, collect, &out);
    return out;
}

std::string messageOf(int rc)
{
    std::string out;
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    if (pEntry)
        RTErrOutputMessage(pEntry, collect, &out);
    return out;
}

std::vector<std::string> g_logLines;

void captureLogger(const char *pszFormat, va_list va)
{
    char szLine[512];
    vsnprintf(szLine, sizeof(szLine), pszFormat, va);
    g_logLines.push_back(szLine);
}

} // namespace

TEST(ErrRangeMapLookup, EndsGapsAndEdges)
{
    static const RTERRRANGEMAP s_aMap[] = // clang-format off
    {
        { 0, 0, -1 }, { 5, 9, -2 }, { 10, 10, -3 }, { 100, 199, -4 }, { UINT32_C(0xFFFFFFFF), UINT32_C(0xFFFFFFFF), -5 },
    };
    // clang-format on
    static const struct
    {
        uint32_t uNative;
        bool fFound;
        int rc;
    } s_aRows[] = // clang-format off
    {
        { 0, true, -1 }, { 1, false, 0 }, { 4, false, 0 }, { 5, true, -2 }, { 7, true, -2 }, { 9, true, -2 },
        { 10, true, -3 }, { 11, false, 0 }, { 99, false, 0 }, { 100, true, -4 }, { 199, true, -4 },
        { 200, false, 0 }, { UINT32_C(0xFFFFFFFE), false, 0 }, { UINT32_C(0xFFFFFFFF), true, -5 },
    };
    // clang-format on
    for (size_t cMap = 0; cMap <= RT_ELEMENTS(s_aMap); cMap++)
        for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
        {
            /* A shorter table is the same table cut: rows past its end are not found. */
            bool fInTable = false;
            for (size_t j = 0; j < cMap; j++)
                fInTable |= s_aRows[i].uNative >= s_aMap[j].uFirst
                            && s_aRows[i].uNative <= s_aMap[j].uLast();
            int rc = 12345;
            EXPECT_EQ(rtErrRangeMapLookup(s_aMap, cMap, s_aRows[i].uNative, &rc),
                      s_aRows[i].fFound && fInTable)
                << "table of " << cMap << ", row " << i;
            EXPECT_EQ(rc, s_aRows[i].fFound && fInTable ? s_aRows[i].rc : 12345)
                << "table of " << cMap << ", row " << i;
        }
}

TEST(ErrRangeMapLookup, SingleCodeRows)
{
    static const RTERRCODEMAP s_aMap[] = // clang-format off
    {
        { 0, -1 }, { 5, -2 }, { 6, -3 }, { 100, -4 }, { UINT16_MAX, -5 },
    };
    // clang-format on
    static const struct
    {
        uint32_t uNative;
        bool fFound;
        int rc;
    } s_aRows[] = // clang-format off
    {
        { 0, true, -1 }, { 1, false, 0 }, { 4, false, 0 }, { 5, true, -2 }, { 6, true, -3 },
        { 7, false, 0 }, { 99, false, 0 }, { 100, true, -4 }, { 101, false, 0 },
        { UINT16_MAX - 1, false, 0 }, { UINT16_MAX, true, -5 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        int rc = 12345;
        EXPECT_EQ(rtErrRangeMapLookup(s_aMap, RT_ELEMENTS(s_aMap), s_aRows[i].uNative, &rc),
                  s_aRows[i].fFound)
            << "row " << i;
        EXPECT_EQ(rc, s_aRows[i].fFound ? s_aRows[i].rc : 12345) << "row " << i;
    }
}

TEST(ErrConvertFromWin32, EveryTableRow)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aWin32Rows); i++)
        EXPECT_EQ(RTErrConvertFromWin32(g_aWin32Rows[i].uNative), g_aWin32Rows[i].rcExpected)
            << "row " << i << ": Windows error " << g_aWin32Rows[i].uNative;
}

TEST(ErrConvertFromWin32, UnmappedCodesAreUnresolved)
{
    // clang-format off
    /* 0x10002 and 0x10005 share their low 16 bits with mapped codes. */
    const uint32_t auUnmapped[] = { 7, 9, 1057, 10005, 10107, 11000, 11005, 12345, 0x10002,
                                    0x10005, 0xC000042B, 0xC000042D, 0x80090007, 0xFFFFFFFF };
    // clang-format on
    PFNRTERRRELLOG pfnOld = rtErrSetReleaseLogger(captureLogger);
    g_logLines.clear();
    for (size_t i = 0; i < RT_ELEMENTS(auUnmapped); i++)
        EXPECT_EQ(RTErrConvertFromWin32(auUnmapped[i]), KERR_UNRESOLVED_ERROR) << "row " << i;
    EXPECT_TRUE(g_logLines.empty()); // the Win32 conversion never logs
    rtErrSetReleaseLogger(pfnOld);
}

TEST(ErrConvertFromNtStatus, EveryTableRow)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aNtRows); i++)
        EXPECT_EQ(RTErrConvertFromNtStatus((int32_t)g_aNtRows[i].uNative), g_aNtRows[i].rcExpected)
            << "row " << i << ": NT status " << std::hex << g_aNtRows[i].uNative;
}

TEST(ErrConvertFromNtStatus, UnmappedValueIsLoggedWhenALoggerExists)
{
    EXPECT_EQ(rtErrGetReleaseLogger(), nullptr); // absent by default
    EXPECT_EQ(RTErrConvertFromNtStatus(0x12345), KERR_UNRESOLVED_ERROR);

    PFNRTERRRELLOG pfnOld = rtErrSetReleaseLogger(captureLogger);
    g_logLines.clear();
    EXPECT_EQ(RTErrConvertFromNtStatus((int32_t)0xC00000EE), KERR_UNRESOLVED_ERROR);
    rtErrSetReleaseLogger(pfnOld);
    ASSERT_EQ(g_logLines.size(), 2u);
    EXPECT_EQ(g_logLines[0].rfind("AssertLogRel ", 0), 0u) << g_logLines[0];
    EXPECT_NE(g_logLines[0].find(" int __cdecl RTErrConvertFromNtStatus(long): \n"),
              std::string::npos)
        << g_logLines[0];
    EXPECT_EQ(g_logLines[1], "Unhandled error 0xc00000ee (3221225710)\n");
}

TEST(ErrTable, SortedUniqueAndEveryEntryFoundByLookup)
{
    size_t const cEntries = RTErrTableSize();
    ASSERT_GT(cEntries, 100u);
    for (size_t i = 0; i < cEntries; i++)
    {
        int const rc = RTErrEntryStatus(RTErrTableEntry(i));
        if (i > 0)
        {
            EXPECT_LT(RTErrEntryStatus(RTErrTableEntry(i - 1)), rc) << "entry " << i;
        }
        EXPECT_EQ(RTErrLookup(rc), RTErrTableEntry(i)) << "entry " << i;
        std::string const name = nameOf(rc);
        const char *pszPrefix = rc < 0 ? "KERR_" : rc == 0 ? "KINF_" : "K";
        EXPECT_EQ(name.rfind(pszPrefix, 0), 0u) << "entry " << i << ": " << name;
        EXPECT_FALSE(messageOf(rc).empty()) << "entry " << i << ": " << name;
    }
    EXPECT_EQ(RTErrTableEntry(cEntries), nullptr);
}

TEST(ErrTable, EndsAndAbsentCodes)
{
    EXPECT_EQ(RTErrEntryStatus(RTErrTableEntry(0)), KERR_STATUS_RANGE_LOWEST);
    EXPECT_EQ(RTErrEntryStatus(RTErrTableEntry(RTErrTableSize() - 1)), KINF_STATUS_RANGE_HIGHEST);
    ASSERT_NE(RTErrLookup(KERR_STATUS_RANGE_LOWEST), nullptr);
    ASSERT_NE(RTErrLookup(KINF_STATUS_RANGE_HIGHEST), nullptr);
    // clang-format off
    const int aAbsent[] = { -30000, KERR_STATUS_RANGE_LOWEST - 1, -1, 1, KINF_STATUS_RANGE_HIGHEST + 1, 30000,
                            INT32_MIN, INT32_MAX, KERR_FILE_NOT_FOUND - 65536 };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aAbsent); i++)
        EXPECT_EQ(RTErrLookup(aAbsent[i]), nullptr) << "row " << i;
    EXPECT_EQ(nameOf(-102), "KERR_FILE_NOT_FOUND");
    EXPECT_EQ(messageOf(-102), "File not found.");
}

TEST(ErrTable, NamedCodesCarryTheirNames)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aNamedRows); i++)
        EXPECT_EQ(nameOf(g_aNamedRows[i].rc), g_aNamedRows[i].pszName) << "row " << i;
}

TEST(ErrTable, EveryConvertedStatusHasAnEntry)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aWin32Rows); i++)
        EXPECT_NE(RTErrLookup(g_aWin32Rows[i].rcExpected), nullptr) << "Win32 row " << i;
    for (size_t i = 0; i < RT_ELEMENTS(g_aNtRows); i++)
        EXPECT_NE(RTErrLookup(g_aNtRows[i].rcExpected), nullptr) << "NT row " << i;
    EXPECT_NE(RTErrLookup(KERR_UNRESOLVED_ERROR), nullptr);
}

namespace {

size_t collectPieces(void *pvArg, const char *pach, size_t cch)
{
    static_cast<std::vector<std::string> *>(pvArg)->push_back(std::string(pach, cch));
    return cch;
}

struct DecodeRow
{
    std::vector<uint8_t> compressed;
    std::vector<uint32_t> dict;
    uint32_t off, cb;
    const char *pszExpected;
};

std::string decode(const DecodeRow &row, size_t *pcchReturned = nullptr)
{
    // clang-format off
    RTERRSTRTAB tab = { row.compressed.data(), row.compressed.size(), (uint32_t)row.dict.size(),
                        row.dict.data() };
    // clang-format on
    std::string out;
    size_t cch = RTErrStrTabDecode(&tab, row.off, row.cb, collect, &out);
    if (pcchReturned)
        *pcchReturned = cch;
    return out;
}

// (2 << 22) | 0: a two-byte word at offset 0 of the compressed bytes.
constexpr uint32_t word(uint32_t off, uint32_t cb)
{
    return cb << 22 | off;
}

std::vector<uint32_t> dictWith(size_t cEntries,
                               std::initializer_list<std::pair<uint8_t, uint32_t>> words)
{
    std::vector<uint32_t> dict(cEntries);
    for (size_t i = 0; i < cEntries; i++)
        dict[i] = (uint32_t)i;
    for (auto &w : words)
        dict[w.first] = w.second;
    return dict;
}

} // namespace

TEST(ErrStrTabDecode, CraftedTables)
{
    const DecodeRow aRows[] = // clang-format off
    {
        // No dictionary: stored plainly.
        { { 'a', 'b', 'c' }, {}, 0, 3, "abc" },
        { { 'a', 'b', 'c' }, {}, 1, 2, "bc" },
        // Offset or length reaching past the bytes: nothing at all.
        { { 'a', 'b', 'c' }, {}, 2, 2, "" },
        { { 'a', 'b', 'c' }, {}, 4, 0, "" },
        { { 'a', 'b', 'c' }, dictWith(256, {}), 0, 4, "" },
        { { 'a', 'b', 'c' }, dictWith(256, {}), 0xffffffff, 2, "" },
        // Bytes whose entry is small stand for themselves; big entries name words.
        { { 'h', 'i', 1, '!', 1 }, dictWith(256, { { 1, word(0, 2) } }), 2, 3, "hi!hi" },
        // A word reaching past the end stops the string there.
        { { 'x', 1, 'y' }, dictWith(256, { { 1, word(2, 5) } }), 0, 3, "x" },
        { { 'x', 1, 'y' }, dictWith(256, { { 1, word(0x3fffff, 2) } }), 0, 3, "x" },
        // Escapes exist only with fewer than 256 entries.
        { { 0xff, 'A', 'b' }, dictWith(16, {}), 0, 3, "Ab" },
        { { 0xff, 0xc3, 0xa9, '.' }, dictWith(16, {}), 0, 4, "\xc3\xa9." },
        { { 0xff, 0xf0, 0x9f, 0x98, 0x80 }, dictWith(16, {}), 0, 5, "\xf0\x9f\x98\x80" },
        { { 0xff, 0xc3, 'x' }, dictWith(16, {}), 0, 3, "?x" },
        { { 0xff, 0x80, 'x' }, dictWith(16, {}), 0, 3, "?x" },
        { { 0xff, 0xe2, 0x82 }, dictWith(16, {}), 0, 3, "?\x82" },
        { { 'a', 0xff }, dictWith(16, {}), 0, 2, "a" },
        { { 0xff, 0xff }, dictWith(256, {}), 0, 2, "\xff\xff" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(decode(aRows[i]), aRows[i].pszExpected) << "row " << i;
}

TEST(ErrStrTabDecode, WordsArriveAsWholePiecesAndCountsAreSummed)
{
    std::vector<uint8_t> bytes = { 'w', 'o', 'r', 'd', 1, ' ', 1 };
    std::vector<uint32_t> dict = dictWith(256, { { 1, word(0, 4) } });
    RTERRSTRTAB tab = { bytes.data(), bytes.size(), 256, dict.data() };
    std::vector<std::string> pieces;
    EXPECT_EQ(RTErrStrTabDecode(&tab, 4, 3, collectPieces, &pieces), 9u);
    EXPECT_EQ(pieces, (std::vector<std::string>{ "word", " ", "word" }));
}
