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
const CodeRow g_aWin32Rows[] =
{
    {0, 0}, {87, -2}, {160, -2}, {1004, -2}, {10022, -2}, {6, -4}, {130, -4}, {10009, -4},
    {487, -6}, {998, -6}, {10014, -6}, {8, -8}, {14, -8}, {1450, -8}, {1056, -9}, {4390, -19},
    {1, -36}, {50, -37}, {5, -38}, {10013, -38}, {995, -39}, {10004, -39}, {121, -40}, {258, -40},
    {1053, -40}, {1121, -40}, {1460, -40}, {10060, -40}, {111, -41}, {122, -41}, {164, -43},
    {89, -44}, {10067, -44}, {156, -45}, {205, -45}, {162, -46}, {209, -47}, {1705, -49},
    {10035, -52}, {11002, -52}, {1113, -58}, {1223, -70}, {1060, -78}, {1168, -78}, {1272, -89},
    {1326, -89}, {1788, -89}, {1789, -89}, {110, -101}, {2, -102}, {3, -103}, {123, -104},
    {161, -104}, {1200, -104}, {80, -105}, {183, -105}, {4, -106}, {10024, -106}, {25, -107},
    {131, -108}, {132, -109}, {38, -110}, {30, -111}, {29, -112}, {19, -113}, {32, -114},
    {1224, -114}, {167, -115}, {33, -116}, {82, -117}, {16, -118}, {10066, -118}, {17, -119},
    {206, -120}, {10063, -120}, {1005, -122}, {158, -123}, {145, -125}, {267, -126}, {15, -151},
    {39, -152}, {112, -152}, {10069, -152}, {108, -154}, {26, -155}, {10062, -156}, {18, -201},
    {113, -202}, {20, -251}, {21, -252}, {22, -253}, {23, -254}, {24, -255}, {27, -256},
    {31, -257}, {535, -300}, {536, -300}, {109, -301}, {230, -302}, {231, -303}, {232, -304},
    {1812, -304}, {233, -305}, {234, -306}, {100, -351}, {101, -352}, {102, -353}, {103, -354},
    {288, -355}, {298, -357}, {105, -361}, {187, -362}, {51, -400}, {52, -400}, {57, -400},
    {58, -400}, {59, -400}, {60, -400}, {65, -400}, {66, -400}, {70, -400}, {71, -400}, {72, -400},
    {85, -400}, {86, -400}, {88, -400}, {54, -401}, {56, -401}, {68, -401}, {69, -401}, {84, -401},
    {53, -402}, {64, -402}, {11001, -402}, {55, -403}, {67, -403}, {61, -404}, {62, -404},
    {63, -404}, {10036, -436}, {10037, -437}, {10038, -438}, {10039, -439}, {10040, -440},
    {10041, -441}, {10042, -442}, {10043, -443}, {10044, -444}, {10045, -445}, {10046, -446},
    {10047, -447}, {10048, -448}, {10049, -449}, {11004, -449}, {10050, -450}, {10051, -451},
    {10052, -452}, {10053, -453}, {10054, -454}, {10055, -455}, {10056, -456}, {10057, -457},
    {10058, -458}, {10059, -459}, {10061, -461}, {10064, -464}, {10065, -465}, {10106, -468},
    {191, -600}, {193, -608}, {1392, -608}, {127, -609}, {126, -610}, {577, -619}, {203, -750},
    {1325, -22405}, {1327, -22405}, {1330, -22405}, {1331, -22405}, {1314, -22410},
    {0xC000042C, -22410}, {740, -22419}, {0x80090008, -23502},
};

// Every NT status of the conversion table, ranges expanded.
const CodeRow g_aNtRows[] =
{
    {0x00000000, 0}, {0x000000C0, -39}, {0x00000101, -39}, {0x80000002, -6}, {0x80000006, -201},
    {0x8000001A, -201}, {0xC0000003, -36}, {0xC0000005, -6}, {0xC0000008, -4}, {0xC000000D, -2},
    {0xC00000EF, -2}, {0xC00000F0, -2}, {0xC00000F1, -2}, {0xC00000F2, -2}, {0xC00000F3, -2},
    {0xC00000F4, -2}, {0xC00000F5, -2}, {0xC00000F6, -2}, {0xC00000F7, -2}, {0xC00000F8, -2},
    {0xC00000F9, -2}, {0xC00000FA, -2}, {0xC000000E, -102}, {0xC000000F, -102}, {0xC0000034, -102},
    {0xC0000010, -253}, {0xC0000013, -165}, {0xC0000017, -8}, {0xC0000022, -38},
    {0xC0000024, -141}, {0xC0000033, -104}, {0xC0000039, -104}, {0xC000003B, -104},
    {0xC000003A, -103}, {0xC0000043, -114}, {0xC000006D, -89}, {0xC00000BA, -127},
    {0xC00000BE, -403}, {0xC00000C4, -400}, {0xC0000101, -125}, {0xC0000103, -126},
    {0xC0000190, -3775}, {0xC0000280, -156}, {0xC0000428, -619},
};

struct NamedRow
{
    int rc;
    const char *pszName;
};

// The codes the runtime and the installer return or test for, by name.
const NamedRow g_aNamedRows[] =
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
    static const RTERRRANGEMAP s_aMap[] =
    {
        { 0, 0, -1 }, { 5, 9, -2 }, { 10, 10, -3 }, { 100, 199, -4 }, { UINT32_C(0xFFFFFFFF), UINT32_C(0xFFFFFFFF), -5 },
    };
    static const struct { uint32_t uNative; bool fFound; int rc; } s_aRows[] =
    {
        { 0, true, -1 }, { 1, false, 0 }, { 4, false, 0 }, { 5, true, -2 }, { 7, true, -2 }, { 9, true, -2 },
        { 10, true, -3 }, { 11, false, 0 }, { 99, false, 0 }, { 100, true, -4 }, { 199, true, -4 },
        { 200, false, 0 }, { UINT32_C(0xFFFFFFFE), false, 0 }, { UINT32_C(0xFFFFFFFF), true, -5 },
    };
    for (size_t cMap = 0; cMap <= RT_ELEMENTS(s_aMap); cMap++)
        for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
        {
            /* A shorter table is the same table cut: rows past its end are not found. */
            bool fInTable = false;
            for (size_t j = 0; j < cMap; j++)
                fInTable |= s_aRows[i].uNative >= s_aMap[j].uFirst && s_aRows[i].uNative <= s_aMap[j].uLast;
            int rc = 12345;
            EXPECT_EQ(rtErrRangeMapLookup(s_aMap, cMap, s_aRows[i].uNative, &rc), s_aRows[i].fFound && fInTable)
                << "table of " << cMap << ", row " << i;
            EXPECT_EQ(rc, s_aRows[i].fFound && fInTable ? s_aRows[i].rc : 12345)
                << "table of " << cMap << ", row " << i;
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
    const uint32_t auUnmapped[] = { 7, 9, 1057, 10005, 10107, 11000, 11005, 12345,
                                    0xC000042B, 0xC000042D, 0x80090007, 0xFFFFFFFF };
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
    EXPECT_NE(g_logLines[0].find(" int __cdecl RTErrConvertFromNtStatus(long): \n"), std::string::npos)
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
    EXPECT_EQ(RTErrEntryStatus(RTErrTableEntry(0)), -27018);
    EXPECT_EQ(RTErrEntryStatus(RTErrTableEntry(RTErrTableSize() - 1)), 25704);
    ASSERT_NE(RTErrLookup(-27018), nullptr);
    ASSERT_NE(RTErrLookup(25704), nullptr);
    const int aAbsent[] = { -30000, -27019, -1, 1, 25705, 30000, INT32_MIN, INT32_MAX, -102 - 65536 };
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
    RTERRSTRTAB tab = { row.compressed.data(), row.compressed.size(), (uint32_t)row.dict.size(),
                        row.dict.data() };
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

std::vector<uint32_t> dictWith(size_t cEntries, std::initializer_list<std::pair<uint8_t, uint32_t>> words)
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
    const DecodeRow aRows[] =
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
