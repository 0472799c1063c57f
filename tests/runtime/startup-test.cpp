/*
 * Start-up logic that is pure computation: the Windows version code and the
 * system-module loader's path comparison.
 */
#include <gtest/gtest.h>

#include <string>

#include <zelk/ldr.h>

#include "init-internal.h"

TEST(WinVersionCode, EveryRowOfTheTable)
{
    struct
    {
        uint32_t uPlatform, uMajor, uMinor, uBuild; /* platform 1 is 9x, 2 NT */
        uint8_t bType;                              /* 1 is VER_NT_WORKSTATION */
        RTWINOSTYPE enmCode;
    } const aRows[] = // clang-format off
    {
        { 1, 4, 0, 950, 1, RTWINOSTYPE_95 }, { 1, 4, 0, 951, 1, RTWINOSTYPE_95SP1 },
        { 1, 4, 3, 1080, 1, RTWINOSTYPE_95SP1 }, { 1, 4, 9, 1081, 1, RTWINOSTYPE_95OSR2 },
        { 1, 4, 0, 949, 1, RTWINOSTYPE_UNKNOWN }, { 1, 4, 10, 1998, 1, RTWINOSTYPE_98 },
        { 1, 4, 10, 1999, 1, RTWINOSTYPE_98SP1 }, { 1, 4, 10, 2182, 1, RTWINOSTYPE_98SP1 },
        { 1, 4, 10, 2183, 1, RTWINOSTYPE_98SE }, { 1, 4, 10, 1997, 1, RTWINOSTYPE_UNKNOWN },
        { 1, 4, 90, 3000, 1, RTWINOSTYPE_ME }, { 1, 4, 50, 3000, 1, RTWINOSTYPE_UNKNOWN },
        { 1, 5, 0, 0, 1, RTWINOSTYPE_UNKNOWN }, { 2, 3, 0, 0, 1, RTWINOSTYPE_NT310 },
        { 2, 3, 49, 0, 1, RTWINOSTYPE_NT310 }, { 2, 3, 50, 0, 1, RTWINOSTYPE_NT350 },
        { 2, 3, 51, 0, 1, RTWINOSTYPE_NT351 }, { 2, 3, 99, 0, 1, RTWINOSTYPE_NT351 },
        { 2, 4, 0, 0, 1, RTWINOSTYPE_NT4 }, { 2, 5, 0, 0, 1, RTWINOSTYPE_2K },
        { 2, 5, 1, 0, 1, RTWINOSTYPE_XP }, { 2, 5, 2, 0, 1, RTWINOSTYPE_2003 },
        { 2, 5, 3, 0, 3, RTWINOSTYPE_2003 }, { 2, 6, 0, 0, 1, RTWINOSTYPE_VISTA },
        { 2, 6, 0, 0, 3, RTWINOSTYPE_2008 }, { 2, 6, 1, 0, 1, RTWINOSTYPE_7 },
        { 2, 6, 1, 0, 2, RTWINOSTYPE_2008R2 }, { 2, 6, 2, 0, 1, RTWINOSTYPE_8 },
        { 2, 6, 2, 0, 3, RTWINOSTYPE_2012 }, { 2, 6, 3, 0, 1, RTWINOSTYPE_81 },
        { 2, 6, 3, 0, 3, RTWINOSTYPE_2012R2 }, { 2, 6, 4, 0, 1, RTWINOSTYPE_10 },
        { 2, 6, 4, 0, 3, RTWINOSTYPE_2016 }, { 2, 6, 5, 0, 1, RTWINOSTYPE_NT_UNKNOWN },
        { 2, 10, 0, 19045, 1, RTWINOSTYPE_10 }, { 2, 10, 0, 21999, 1, RTWINOSTYPE_10 },
        { 2, 10, 0, 22000, 1, RTWINOSTYPE_11 }, { 2, 10, 0, 14393, 3, RTWINOSTYPE_2016 },
        { 2, 10, 0, 17762, 3, RTWINOSTYPE_2016 }, { 2, 10, 0, 17763, 3, RTWINOSTYPE_2019 },
        { 2, 10, 0, 20347, 3, RTWINOSTYPE_2019 }, { 2, 10, 0, 20348, 3, RTWINOSTYPE_2022 },
        { 2, 10, 1, 0, 1, RTWINOSTYPE_NT_UNKNOWN }, { 2, 11, 0, 0, 1, RTWINOSTYPE_NT_UNKNOWN },
        { 2, 2, 0, 0, 1, RTWINOSTYPE_NT_UNKNOWN }, { 0, 6, 1, 0, 1, RTWINOSTYPE_UNKNOWN },
        { 3, 10, 0, 0, 1, RTWINOSTYPE_UNKNOWN },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(rtR3WinVersionCodeFrom(aRows[i].uPlatform, aRows[i].uMajor, aRows[i].uMinor,
                                         aRows[i].uBuild, aRows[i].bType),
                  aRows[i].enmCode)
            << "row " << i;
}

TEST(LdrIsFileInDir, Rows)
{
    struct
    {
        const char *pszPath;
        const char *pszDir;
        bool fInside;
    } const aRows[] = // clang-format off
    {
        { "C:\\windows\\system32\\msi.dll", "C:\\windows\\system32", true },
        { "c:/WINDOWS/System32/MSI.DLL", "C:\\windows\\system32", true },
        { "C:\\windows\\\\system32\\msi.dll", "C:\\windows\\system32\\", true },
        { "C:\\windows\\syswow64\\msi.dll", "C:\\Windows\\SysWOW64", true },
        { "\\\\?\\C:\\windows\\system32\\x.dll", "\\\\?\\C:\\windows\\system32", true },
        /* Anything else under the Windows folder shares two separators with it, and is refused. */
        { "C:\\windows\\Temp\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\WinSxS\\x86_comctl32\\comctl32.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\system32x\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\system3\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\sub\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\..\\Temp\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\..", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\.", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\", "C:\\windows\\system32", false },
        { "C:\\windows\\system32", "C:\\windows\\system32", false },
        { "C:\\windows\\system32\\msi.dll:ads", "C:\\windows\\system32", false },
        { "D:\\windows\\system32\\msi.dll", "C:\\windows\\system32", false },
        { "C:\\Program Files\\app\\msi.dll", "C:\\windows\\system32", false },
        { "msi.dll", "", false },
        { "", "C:\\windows\\system32", false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        std::u16string const path(aRows[i].pszPath, aRows[i].pszPath + strlen(aRows[i].pszPath));
        std::u16string const dir(aRows[i].pszDir, aRows[i].pszDir + strlen(aRows[i].pszDir));
        EXPECT_EQ(rtLdrIsFileInDir((PCRTUTF16)path.c_str(), (PCRTUTF16)dir.c_str()),
                  aRows[i].fInside)
            << "row " << i << ": " << aRows[i].pszPath;
    }
}
