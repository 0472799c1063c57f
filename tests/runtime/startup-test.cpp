/*
 * Start-up logic that is pure computation: the Windows version code, the
 * directory part of the executable path, and the system-module loader's path
 * comparison.
 */
#include <gtest/gtest.h>

#include <string>

#include <zelk/ldr.h>

#include "init-internal.h"

TEST(WinVersionCode, EveryRowOfTheTable)
{
    struct
    {
        uint32_t uPlatform, uMajor, uMinor, uBuild;
        uint8_t bType;
        int iCode;
    } const aRows[] =
    {
        { 1, 4, 0, 950, 1, 1 }, { 1, 4, 0, 951, 1, 2 }, { 1, 4, 3, 1080, 1, 2 }, { 1, 4, 9, 1081, 1, 3 },
        { 1, 4, 0, 949, 1, 0 }, { 1, 4, 10, 1998, 1, 4 }, { 1, 4, 10, 1999, 1, 5 },
        { 1, 4, 10, 2182, 1, 5 }, { 1, 4, 10, 2183, 1, 6 }, { 1, 4, 10, 1997, 1, 0 },
        { 1, 4, 90, 3000, 1, 7 }, { 1, 4, 50, 3000, 1, 0 }, { 1, 5, 0, 0, 1, 0 },
        { 2, 3, 0, 0, 1, 100 }, { 2, 3, 49, 0, 1, 100 }, { 2, 3, 50, 0, 1, 101 }, { 2, 3, 51, 0, 1, 102 },
        { 2, 3, 99, 0, 1, 102 }, { 2, 4, 0, 0, 1, 103 }, { 2, 5, 0, 0, 1, 104 }, { 2, 5, 1, 0, 1, 105 },
        { 2, 5, 2, 0, 1, 107 }, { 2, 5, 3, 0, 3, 107 },
        { 2, 6, 0, 0, 1, 108 }, { 2, 6, 0, 0, 3, 109 }, { 2, 6, 1, 0, 1, 110 }, { 2, 6, 1, 0, 2, 111 },
        { 2, 6, 2, 0, 1, 112 }, { 2, 6, 2, 0, 3, 113 }, { 2, 6, 3, 0, 1, 114 }, { 2, 6, 3, 0, 3, 115 },
        { 2, 6, 4, 0, 1, 116 }, { 2, 6, 4, 0, 3, 117 }, { 2, 6, 5, 0, 1, 199 },
        { 2, 10, 0, 19045, 1, 116 }, { 2, 10, 0, 21999, 1, 116 }, { 2, 10, 0, 22000, 1, 120 },
        { 2, 10, 0, 14393, 3, 117 }, { 2, 10, 0, 17762, 3, 117 }, { 2, 10, 0, 17763, 3, 118 },
        { 2, 10, 0, 20347, 3, 118 }, { 2, 10, 0, 20348, 3, 119 }, { 2, 10, 1, 0, 1, 199 },
        { 2, 11, 0, 0, 1, 199 }, { 2, 2, 0, 0, 1, 199 }, { 0, 6, 1, 0, 1, 0 }, { 3, 10, 0, 0, 1, 0 },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(rtR3WinVersionCodeFrom(aRows[i].uPlatform, aRows[i].uMajor, aRows[i].uMinor,
                                         aRows[i].uBuild, aRows[i].bType),
                  aRows[i].iCode)
            << "row " << i;
}

TEST(ExecPathDirLength, StartupCopyRule)
{
    struct
    {
        const char *pszPath;
        size_t cchStartup;
    } const aRows[] =
    {
        { "C:\\dir\\prog.exe", 6 },
        { "C:\\dir\\\\prog.exe", 6 },
        { "C:\\prog.exe", 3 },          // the separator after ':' stays
        { "C:prog.exe", 2 },
        { "\\\\server\\share\\prog.exe", 14 },
        { "\\\\server\\prog.exe", 8 },
        { "\\prog.exe", 2 },            // never below 2
        { "prog.exe", 2 },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        std::string const path = aRows[i].pszPath;
        size_t offName = path.find_last_of("\\/:");
        offName = offName == std::string::npos ? 0 : offName + 1;
        EXPECT_EQ(rtR3StartupDirLength(path.c_str(), offName), aRows[i].cchStartup) << "row " << i;
    }
}

TEST(LdrIsFileInDir, Rows)
{
    struct
    {
        const char *pszPath;
        const char *pszDir;
        bool fInside;
    } const aRows[] =
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
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        std::u16string const path(aRows[i].pszPath, aRows[i].pszPath + strlen(aRows[i].pszPath));
        std::u16string const dir(aRows[i].pszDir, aRows[i].pszDir + strlen(aRows[i].pszDir));
        EXPECT_EQ(rtLdrIsFileInDir((PCRTUTF16)path.c_str(), (PCRTUTF16)dir.c_str()), aRows[i].fInside)
            << "row " << i << ": " << aRows[i].pszPath;
    }
}
