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
        uint8_t bType; /* 1 is VER_NT_WORKSTATION */
        RTWINOSTYPE enmCode;
    } const aRows[] =
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
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
        EXPECT_EQ(rtR3WinVersionCodeFrom(aRows[i].uPlatform, aRows[i].uMajor, aRows[i].uMinor,
                                         aRows[i].uBuild, aRows[i].bType),
                  aRows[i].enmCode)
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
