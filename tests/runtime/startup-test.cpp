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

TEST(LdrCommonSeparators, Rows)
{
    struct
    {
        const char *psz1;
        const char *psz2;
        size_t cSeps;
    } const aRows[] =
    {
        { "C:\\windows\\system32", "C:\\windows\\system32\\msi.dll", 2 },
        { "c:/WINDOWS/System32", "C:\\windows\\system32\\msi.dll", 2 },
        { "C:\\windows\\\\system32\\", "C:\\windows\\system32\\msi.dll", 3 },
        { "C:\\windows\\WinSxS\\x86_comctl32\\comctl32.dll", "C:\\windows\\system32", 2 },
        { "C:\\Program Files\\app\\msi.dll", "C:\\windows\\system32", 1 },
        { "D:\\windows\\system32\\msi.dll", "C:\\windows\\system32", 0 },
        { "\\\\?\\C:\\windows\\x", "\\\\?\\C:\\windows\\y", 3 }, // the leading run is not counted
        { "", "C:\\windows", 0 },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        std::u16string const s1(aRows[i].psz1, aRows[i].psz1 + strlen(aRows[i].psz1));
        std::u16string const s2(aRows[i].psz2, aRows[i].psz2 + strlen(aRows[i].psz2));
        EXPECT_EQ(rtLdrCommonSeparators((PCRTUTF16)s1.c_str(), (PCRTUTF16)s2.c_str()), aRows[i].cSeps)
            << "row " << i;
        EXPECT_EQ(rtLdrCommonSeparators((PCRTUTF16)s2.c_str(), (PCRTUTF16)s1.c_str()), aRows[i].cSeps)
            << "row " << i << " swapped";
    }
}
