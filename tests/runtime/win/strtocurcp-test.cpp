/*
 * Conversion to the ANSI code page through the real WideCharToMultiByte.
 */
#include <gtest/gtest.h>

#include <zelk/err.h>
#include <zelk/utf.h>

#include "win.h"

TEST(StrToCurrentCPWin, ConvertsToTheAnsiCodePage)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrToCurrentCP(&psz, "caf\xc3\xa9 \xe2\x82\xac", "test"), 0);
    if (GetACP() == 1252)
    {
        EXPECT_STREQ(psz, "caf\xe9 \x80"); // U+20AC is 0x80 in code page 1252
    }
    else if (GetACP() == CP_UTF8)
    {
        EXPECT_STREQ(psz, "caf\xc3\xa9 \xe2\x82\xac");
    }
    else
    {
        ADD_FAILURE() << "unexpected ANSI code page " << GetACP();
    }
    RTStrRelease(psz);

    // Characters the code page lacks become its default character.
    ASSERT_EQ(RTStrToCurrentCP(&psz, "\xe4\xb8\xad", "test"), 0);
    if (GetACP() == 1252)
    {
        EXPECT_STREQ(psz, "?");
    }
    RTStrRelease(psz);
}
