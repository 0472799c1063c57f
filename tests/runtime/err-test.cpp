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

// The SDK's error names: the Windows build has them with the Windows headers;
// the host build finds mingw-w64's copy of <winerror.h> after its own headers,
// and gives it the macro and the type that <_mingw.h> and <windows.h> would.
#ifdef _WIN32
# include "win.h"
#else
# define __MSABI_LONG(a_x) a_x
typedef int32_t HRESULT;
# include <winerror.h>
#endif

namespace {

struct CodeRow
{
    uint32_t uNative;
    int rcExpected;
};

// Every Windows error code of the conversion table, ranges expanded, by its
// name in the Windows SDK's <winerror.h> (mingw-w64's copy), each mapped by
// hand to the status it stands for, so that a wrong number in the runtime's
// table shows here.  Four codes have no name in that header and stay numbers:
// 1272 (ERROR_SMB_GUEST_LOGON_BLOCKED in newer SDKs), 577
// (ERROR_INVALID_IMAGE_HASH), 740 (ERROR_ELEVATION_REQUIRED) and 0xC000042C
// (the NT status STATUS_ELEVATION_REQUIRED, which callers pass as a Windows
// error).
const CodeRow g_aWin32Rows[] = // clang-format off
{
    {ERROR_SUCCESS, KINF_SUCCESS}, {ERROR_INVALID_PARAMETER, KERR_INVALID_PARAMETER},
    {ERROR_BAD_ARGUMENTS, KERR_INVALID_PARAMETER}, {ERROR_INVALID_FLAGS, KERR_INVALID_PARAMETER},
    {WSAEINVAL, KERR_INVALID_PARAMETER}, {ERROR_INVALID_HANDLE, KERR_INVALID_HANDLE},
    {ERROR_DIRECT_ACCESS_HANDLE, KERR_INVALID_HANDLE}, {WSAEBADF, KERR_INVALID_HANDLE},
    {ERROR_INVALID_ADDRESS, KERR_INVALID_POINTER}, {ERROR_NOACCESS, KERR_INVALID_POINTER},
    {WSAEFAULT, KERR_INVALID_POINTER}, {ERROR_NOT_ENOUGH_MEMORY, KERR_NO_MEMORY},
    {ERROR_OUTOFMEMORY, KERR_NO_MEMORY}, {ERROR_NO_SYSTEM_RESOURCES, KERR_NO_MEMORY},
    {ERROR_SERVICE_ALREADY_RUNNING, KERR_ALREADY_RUNNING},
    {ERROR_NOT_A_REPARSE_POINT, KERR_NOT_A_REPARSE_POINT},
    {ERROR_INVALID_FUNCTION, KERR_INVALID_FUNCTION}, {ERROR_NOT_SUPPORTED, KERR_NOT_SUPPORTED},
    {ERROR_ACCESS_DENIED, KERR_ACCESS_DENIED}, {WSAEACCES, KERR_ACCESS_DENIED},
    {ERROR_OPERATION_ABORTED, KERR_INTERRUPTED}, {WSAEINTR, KERR_INTERRUPTED},
    {ERROR_SEM_TIMEOUT, KERR_TIMEOUT}, {WAIT_TIMEOUT, KERR_TIMEOUT},
    {ERROR_SERVICE_REQUEST_TIMEOUT, KERR_TIMEOUT}, {ERROR_COUNTER_TIMEOUT, KERR_TIMEOUT},
    {ERROR_TIMEOUT, KERR_TIMEOUT}, {WSAETIMEDOUT, KERR_TIMEOUT},
    {ERROR_BUFFER_OVERFLOW, KERR_BUFFER_OVERFLOW},
    {ERROR_INSUFFICIENT_BUFFER, KERR_BUFFER_OVERFLOW},
    {ERROR_MAX_THRDS_REACHED, KERR_MAX_THREADS_REACHED},
    {ERROR_NO_PROC_SLOTS, KERR_TOO_MANY_PROCESSES}, {WSAEPROCLIM, KERR_TOO_MANY_PROCESSES},
    {ERROR_SIGNAL_REFUSED, KERR_SIGNAL_REFUSED}, {ERROR_NO_SIGNAL_SENT, KERR_SIGNAL_REFUSED},
    {ERROR_SIGNAL_PENDING, KERR_SIGNAL_PENDING}, {ERROR_INVALID_SIGNAL_NUMBER, KERR_SIGNAL_INVALID},
    {RPC_S_INVALID_STRING_UUID, KERR_INVALID_UUID_FORMAT}, {WSAEWOULDBLOCK, KERR_TRY_AGAIN},
    {WSATRY_AGAIN, KERR_TRY_AGAIN}, {ERROR_NO_UNICODE_TRANSLATION, KERR_NO_TRANSLATION},
    {ERROR_CANCELLED, KERR_CANCELLED}, {ERROR_SERVICE_DOES_NOT_EXIST, KERR_NOT_FOUND},
    {ERROR_NOT_FOUND, KERR_NOT_FOUND}, {1272, KERR_AUTHENTICATION_FAILURE},
    {ERROR_LOGON_FAILURE, KERR_AUTHENTICATION_FAILURE},
    {ERROR_TRUSTED_DOMAIN_FAILURE, KERR_AUTHENTICATION_FAILURE},
    {ERROR_TRUSTED_RELATIONSHIP_FAILURE, KERR_AUTHENTICATION_FAILURE},
    {ERROR_OPEN_FAILED, KERR_OPEN_FAILED}, {ERROR_FILE_NOT_FOUND, KERR_FILE_NOT_FOUND},
    {ERROR_PATH_NOT_FOUND, KERR_PATH_NOT_FOUND}, {ERROR_INVALID_NAME, KERR_INVALID_NAME},
    {ERROR_BAD_PATHNAME, KERR_INVALID_NAME}, {ERROR_BAD_DEVICE, KERR_INVALID_NAME},
    {ERROR_FILE_EXISTS, KERR_ALREADY_EXISTS}, {ERROR_ALREADY_EXISTS, KERR_ALREADY_EXISTS},
    {ERROR_TOO_MANY_OPEN_FILES, KERR_TOO_MANY_OPEN_FILES}, {WSAEMFILE, KERR_TOO_MANY_OPEN_FILES},
    {ERROR_SEEK, KERR_SEEK}, {ERROR_NEGATIVE_SEEK, KERR_NEGATIVE_SEEK},
    {ERROR_SEEK_ON_DEVICE, KERR_SEEK_ON_DEVICE}, {ERROR_HANDLE_EOF, KERR_EOF},
    {ERROR_READ_FAULT, KERR_READ_ERROR}, {ERROR_WRITE_FAULT, KERR_WRITE_ERROR},
    {ERROR_WRITE_PROTECT, KERR_WRITE_PROTECT}, {ERROR_SHARING_VIOLATION, KERR_SHARING_VIOLATION},
    {ERROR_USER_MAPPED_FILE, KERR_SHARING_VIOLATION}, {ERROR_LOCK_FAILED, KERR_FILE_LOCK_FAILED},
    {ERROR_LOCK_VIOLATION, KERR_FILE_LOCK_VIOLATION}, {ERROR_CANNOT_MAKE, KERR_CANT_CREATE},
    {ERROR_CURRENT_DIRECTORY, KERR_CANT_DELETE_DIRECTORY},
    {WSAENOTEMPTY, KERR_CANT_DELETE_DIRECTORY}, {ERROR_NOT_SAME_DEVICE, KERR_NOT_SAME_DEVICE},
    {ERROR_FILENAME_EXCED_RANGE, KERR_FILENAME_TOO_LONG}, {WSAENAMETOOLONG, KERR_FILENAME_TOO_LONG},
    {ERROR_UNRECOGNIZED_VOLUME, KERR_MEDIA_NOT_RECOGNIZED},
    {ERROR_NOT_LOCKED, KERR_FILE_NOT_LOCKED}, {ERROR_DIR_NOT_EMPTY, KERR_DIR_NOT_EMPTY},
    {ERROR_DIRECTORY, KERR_NOT_A_DIRECTORY}, {ERROR_INVALID_DRIVE, KERR_INVALID_DRIVE},
    {ERROR_HANDLE_DISK_FULL, KERR_DISK_FULL}, {ERROR_DISK_FULL, KERR_DISK_FULL},
    {WSAEDQUOT, KERR_DISK_FULL}, {ERROR_DRIVE_LOCKED, KERR_DRIVE_LOCKED},
    {ERROR_NOT_DOS_DISK, KERR_DISK_INVALID_FORMAT}, {WSAELOOP, KERR_TOO_MANY_SYMLINKS},
    {ERROR_NO_MORE_FILES, KERR_NO_MORE_FILES},
    {ERROR_NO_MORE_SEARCH_HANDLES, KERR_NO_MORE_SEARCH_HANDLES},
    {ERROR_BAD_UNIT, KERR_UNKNOWN_UNIT}, {ERROR_NOT_READY, KERR_DEVICE_NOT_READY},
    {ERROR_BAD_COMMAND, KERR_UNKNOWN_COMMAND}, {ERROR_CRC, KERR_CRC_ERROR},
    {ERROR_BAD_LENGTH, KERR_BAD_LENGTH}, {ERROR_SECTOR_NOT_FOUND, KERR_SECTOR_NOT_FOUND},
    {ERROR_GEN_FAILURE, KERR_GENERAL_FAILURE}, {ERROR_PIPE_CONNECTED, KERR_PIPE_ALREADY_CONNECTED},
    {ERROR_PIPE_LISTENING, KERR_PIPE_ALREADY_CONNECTED}, {ERROR_BROKEN_PIPE, KERR_BROKEN_PIPE},
    {ERROR_BAD_PIPE, KERR_BAD_PIPE}, {ERROR_PIPE_BUSY, KERR_PIPE_BUSY},
    {ERROR_NO_DATA, KERR_NO_DATA}, {ERROR_RESOURCE_DATA_NOT_FOUND, KERR_NO_DATA},
    {ERROR_PIPE_NOT_CONNECTED, KERR_PIPE_NOT_CONNECTED}, {ERROR_MORE_DATA, KERR_MORE_DATA},
    {ERROR_TOO_MANY_SEMAPHORES, KERR_TOO_MANY_SEMAPHORES},
    {ERROR_EXCL_SEM_ALREADY_OWNED, KERR_SEM_ALREADY_OWNED}, {ERROR_SEM_IS_SET, KERR_SEM_IS_SET},
    {ERROR_TOO_MANY_SEM_REQUESTS, KERR_TOO_MANY_SEM_REQUESTS}, {ERROR_NOT_OWNER, KERR_NOT_OWNER},
    {ERROR_TOO_MANY_POSTS, KERR_TOO_MANY_SEM_POSTS}, {ERROR_SEM_OWNER_DIED, KERR_SEM_OWNER_DIED},
    {ERROR_SEM_NOT_FOUND, KERR_SEM_NOT_FOUND}, {ERROR_REM_NOT_LIST, KERR_NET_IO_ERROR},
    {ERROR_DUP_NAME, KERR_NET_IO_ERROR}, {ERROR_ADAP_HDW_ERR, KERR_NET_IO_ERROR},
    {ERROR_BAD_NET_RESP, KERR_NET_IO_ERROR}, {ERROR_UNEXP_NET_ERR, KERR_NET_IO_ERROR},
    {ERROR_BAD_REM_ADAP, KERR_NET_IO_ERROR}, {ERROR_NETWORK_ACCESS_DENIED, KERR_NET_IO_ERROR},
    {ERROR_BAD_DEV_TYPE, KERR_NET_IO_ERROR}, {ERROR_SHARING_PAUSED, KERR_NET_IO_ERROR},
    {ERROR_REQ_NOT_ACCEP, KERR_NET_IO_ERROR}, {ERROR_REDIR_PAUSED, KERR_NET_IO_ERROR},
    {ERROR_ALREADY_ASSIGNED, KERR_NET_IO_ERROR}, {ERROR_INVALID_PASSWORD, KERR_NET_IO_ERROR},
    {ERROR_NET_WRITE_FAULT, KERR_NET_IO_ERROR}, {ERROR_NETWORK_BUSY, KERR_NET_OUT_OF_RESOURCES},
    {ERROR_TOO_MANY_CMDS, KERR_NET_OUT_OF_RESOURCES},
    {ERROR_TOO_MANY_NAMES, KERR_NET_OUT_OF_RESOURCES},
    {ERROR_TOO_MANY_SESS, KERR_NET_OUT_OF_RESOURCES},
    {ERROR_OUT_OF_STRUCTURES, KERR_NET_OUT_OF_RESOURCES},
    {ERROR_BAD_NETPATH, KERR_NET_HOST_NOT_FOUND}, {ERROR_NETNAME_DELETED, KERR_NET_HOST_NOT_FOUND},
    {WSAHOST_NOT_FOUND, KERR_NET_HOST_NOT_FOUND}, {ERROR_DEV_NOT_EXIST, KERR_NET_PATH_NOT_FOUND},
    {ERROR_BAD_NET_NAME, KERR_NET_PATH_NOT_FOUND}, {ERROR_PRINTQ_FULL, KERR_NET_PRINT_ERROR},
    {ERROR_NO_SPOOL_SPACE, KERR_NET_PRINT_ERROR}, {ERROR_PRINT_CANCELLED, KERR_NET_PRINT_ERROR},
    {WSAEINPROGRESS, KERR_NET_IN_PROGRESS}, {WSAEALREADY, KERR_NET_ALREADY_IN_PROGRESS},
    {WSAENOTSOCK, KERR_NET_NOT_SOCKET}, {WSAEDESTADDRREQ, KERR_NET_DEST_ADDRESS_REQUIRED},
    {WSAEMSGSIZE, KERR_NET_MSG_SIZE}, {WSAEPROTOTYPE, KERR_NET_PROTOCOL_TYPE},
    {WSAENOPROTOOPT, KERR_NET_PROTOCOL_NOT_AVAILABLE},
    {WSAEPROTONOSUPPORT, KERR_NET_PROTOCOL_NOT_SUPPORTED},
    {WSAESOCKTNOSUPPORT, KERR_NET_SOCKET_TYPE_NOT_SUPPORTED},
    {WSAEOPNOTSUPP, KERR_NET_OPERATION_NOT_SUPPORTED},
    {WSAEPFNOSUPPORT, KERR_NET_PROTOCOL_FAMILY_NOT_SUPPORTED},
    {WSAEAFNOSUPPORT, KERR_NET_ADDRESS_FAMILY_NOT_SUPPORTED},
    {WSAEADDRINUSE, KERR_NET_ADDRESS_IN_USE}, {WSAEADDRNOTAVAIL, KERR_NET_ADDRESS_NOT_AVAILABLE},
    {WSANO_DATA, KERR_NET_ADDRESS_NOT_AVAILABLE}, {WSAENETDOWN, KERR_NET_DOWN},
    {WSAENETUNREACH, KERR_NET_UNREACHABLE}, {WSAENETRESET, KERR_NET_CONNECTION_RESET},
    {WSAECONNABORTED, KERR_NET_CONNECTION_ABORTED},
    {WSAECONNRESET, KERR_NET_CONNECTION_RESET_BY_PEER}, {WSAENOBUFS, KERR_NET_NO_BUFFER_SPACE},
    {WSAEISCONN, KERR_NET_ALREADY_CONNECTED}, {WSAENOTCONN, KERR_NET_NOT_CONNECTED},
    {WSAESHUTDOWN, KERR_NET_SHUTDOWN}, {WSAETOOMANYREFS, KERR_NET_TOO_MANY_REFERENCES},
    {WSAECONNREFUSED, KERR_NET_CONNECTION_REFUSED}, {WSAEHOSTDOWN, KERR_NET_HOST_DOWN},
    {WSAEHOSTUNREACH, KERR_NET_HOST_UNREACHABLE},
    {WSAEPROVIDERFAILEDINIT, KERR_NET_PROVIDER_FAILED_INIT},
    {ERROR_INVALID_EXE_SIGNATURE, KERR_INVALID_EXE_SIGNATURE},
    {ERROR_BAD_EXE_FORMAT, KERR_BAD_EXE_FORMAT}, {ERROR_FILE_CORRUPT, KERR_BAD_EXE_FORMAT},
    {ERROR_PROC_NOT_FOUND, KERR_SYMBOL_NOT_FOUND}, {ERROR_MOD_NOT_FOUND, KERR_MODULE_NOT_FOUND},
    {577, KERR_LDR_IMAGE_HASH}, {ERROR_ENVVAR_NOT_FOUND, KERR_ENV_VAR_NOT_FOUND},
    {ERROR_PASSWORD_RESTRICTION, KERR_ACCOUNT_RESTRICTED},
    {ERROR_ACCOUNT_RESTRICTION, KERR_ACCOUNT_RESTRICTED},
    {ERROR_PASSWORD_EXPIRED, KERR_ACCOUNT_RESTRICTED},
    {ERROR_ACCOUNT_DISABLED, KERR_ACCOUNT_RESTRICTED},
    {ERROR_PRIVILEGE_NOT_HELD, KERR_PRIVILEGE_NOT_HELD}, {0xC000042C, KERR_PRIVILEGE_NOT_HELD},
    {740, KERR_ELEVATION_REQUIRED}, {(uint32_t)NTE_BAD_ALGID, KERR_CRYPTO_BAD_ALGORITHM},
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
