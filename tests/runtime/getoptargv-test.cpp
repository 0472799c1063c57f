/*
 * Argument-string splitting: both quoting styles, in place and copying (each
 * row runs both ways and they must agree), separators, the array growth,
 * allocation failures, and the round trip of command lines quoted by the
 * Windows rules.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/mem.h>

namespace {

typedef std::vector<std::string> StrVec;

/* Splits both ways; returns the status and fills vecArgs (in-place result). */
int split(std::string const &strCmdLine, uint32_t fStyle, const char *pszSeparators,
          StrVec &vecArgs)
{
    vecArgs.clear();
    int aRc[2];
    StrVec aVec[2];
    for (int fInPlace = 0; fInPlace < 2; fInPlace++)
    {
        std::vector<char> vecBuf(strCmdLine.begin(), strCmdLine.end());
        vecBuf.push_back('\0');
        uint32_t const fFlags = fStyle | (fInPlace ? RTGETOPTARGV_CNV_MODIFY_INPUT : 0);
        char **papszArgv = (char **)(uintptr_t)0x1234;
        int cArgs = -42;
        aRc[fInPlace] = RTGetOptArgvFromString(&papszArgv, &cArgs, vecBuf.data(), fFlags,
                                               pszSeparators);
        if (aRc[fInPlace] != 0)
        {
            /* Failures leave the outputs alone. */
            EXPECT_EQ(papszArgv, (char **)(uintptr_t)0x1234);
            EXPECT_EQ(cArgs, -42);
            continue;
        }
        EXPECT_EQ(papszArgv[cArgs], nullptr);
        for (int i = 0; i < cArgs; i++)
        {
            aVec[fInPlace].push_back(papszArgv[i]);
            /* In place the arguments live in the input; copying, in one block starting at [0]. */
            char const *pszBase = fInPlace ? vecBuf.data() : papszArgv[0];
            EXPECT_TRUE(papszArgv[i] >= pszBase
                        && papszArgv[i] + strlen(papszArgv[i]) < pszBase + vecBuf.size());
        }
        if (!fInPlace)
        {
            EXPECT_EQ(std::string(vecBuf.data()), strCmdLine); /* input untouched */
        }
        RTGetOptArgvFreeEx(papszArgv, fFlags);
    }
    EXPECT_EQ(aRc[0], aRc[1]);
    EXPECT_EQ(aVec[0], aVec[1]);
    vecArgs = aVec[1];
    return aRc[1];
}

struct SplitRow
{
    std::string strCmdLine;
    int rc;
    StrVec vecArgs;
    const char *pszSeparators;
};

void runRows(std::vector<SplitRow> const &vecRows, uint32_t fStyle)
{
    for (size_t i = 0; i < vecRows.size(); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": [" << vecRows[i].strCmdLine << "]");
        StrVec vecArgs;
        EXPECT_EQ(split(vecRows[i].strCmdLine, fStyle, vecRows[i].pszSeparators, vecArgs),
                  vecRows[i].rc);
        EXPECT_EQ(vecArgs, vecRows[i].vecArgs);
    }
}

TEST(GetOptArgv, WindowsQuoting)
{
    runRows(
        {
            { "", 0, {}, nullptr },
            { " \t\n\r ", 0, {}, nullptr },
            { "a \"b c\" d", 0, { "a", "b c", "d" }, nullptr },
            { "\"\"", 0, { "" }, nullptr },
            { "\"\" \"\"", 0, { "", "" }, nullptr },
            { "\"a\"\"b\"", 0, { "a\"b" }, nullptr },
            { "\"a\"\"\" b", 0, { "a\"", "b" }, nullptr },
            { "a\"\"", 0, { "a" }, nullptr },
            { "\\\\\"x\"", 0, { "\\x" }, nullptr },
            { "\\\"x", 0, { "\"x" }, nullptr },
            { "\\\\\\\"x", 0, { "\\\"x" }, nullptr },
            { "\\\\\\\\\"a b\"", 0, { "\\\\a b" }, nullptr },
            { "a\\\\b", 0, { "a\\\\b" }, nullptr },
            { "a\\", 0, { "a\\" }, nullptr },
            { "C:\\Program Files\\X\\", 0, { "C:\\Program", "Files\\X\\" }, nullptr },
            { "\"C:\\Program Files\\X\\\\\"", 0, { "C:\\Program Files\\X\\" }, nullptr },
            { "\"unterminated x", 0, { "unterminated x" }, nullptr },
            { "\"a b\"c d", 0, { "a bc", "d" }, nullptr },
            { "  a  ", 0, { "a" }, nullptr },
            { "a\tb\nc\rd", 0, { "a", "b", "c", "d" }, nullptr },
            { "\"a\tb\"", 0, { "a\tb" }, nullptr },
            { "'a b'", 0, { "'a", "b'" }, nullptr },
            { "\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80",
              0,
              { "\xc3\xa9", "\xe2\x82\xac\xf0\x9f\x98\x80" },
              nullptr },
            /* A process's own command line: blank and tab only, so an unquoted LF or CR stays. */
            { "a\tb\nc\rd", 0, { "a", "b\nc\rd" }, RTGETOPTARGV_WIN_CMDLINE_SEPARATORS },
            { "--msi-prop A hello\nECHOFILE=C:\\x",
              0,
              { "--msi-prop", "A", "hello\nECHOFILE=C:\\x" },
              RTGETOPTARGV_WIN_CMDLINE_SEPARATORS },
            { "--msi-prop A hello\nECHOFILE=C:\\x",
              0,
              { "--msi-prop", "A", "hello", "ECHOFILE=C:\\x" },
              nullptr },
            { "\r\n \n\r", 0, { "\r\n", "\n\r" }, RTGETOPTARGV_WIN_CMDLINE_SEPARATORS },
            { " \t ", 0, {}, RTGETOPTARGV_WIN_CMDLINE_SEPARATORS },
            { "a,b,,c", 0, { "a", "b", "c" }, "," },
            { "a b,c", 0, { "a b", "c" }, "," },
            { "\"a,b\",c", 0, { "a,b", "c" }, "," },
            { "a\xe2\x86\x92"
              "b\xe2\x86\x92\xe2\x86\x92",
              0,
              { "a", "b" },
              "\xe2\x86\x92" },
            { "a\xe2\x86\x91"
              "b",
              0,
              { "a\xe2\x86\x91"
                "b" },
              "\xe2\x86\x92" },
            { "a \xff", KERR_INVALID_UTF8, {}, nullptr },
            { "\xff", KERR_INVALID_UTF8, {}, nullptr },
            { "\"\xc3\"", KERR_INVALID_UTF8, {}, nullptr },
            { "a \xed\xa0\x80", KERR_UTF8_SURROGATE, {}, nullptr },
            { "a", KERR_INVALID_UTF8, {}, "\xff" },
            { "a", KERR_INVALID_PARAMETER, {}, "" },
        },
        RTGETOPTARGV_CNV_QUOTE_MS_CRT);
}

TEST(GetOptArgv, BourneQuoting)
{
    runRows(
        {
            { "", 0, {}, nullptr },
            { "'a\\b'", 0, { "a\\b" }, nullptr },
            { "\"a\\$b\"", 0, { "a$b" }, nullptr },
            { "a\\ b", 0, { "a b" }, nullptr },
            { "\"a\\xb\"", 0, { "a\\xb" }, nullptr },
            { "\"a\\\"b\" \"\\\\\" \"\\`\" \"\\\n\"", 0, { "a\"b", "\\", "`", "\n" }, nullptr },
            { "'a\"b' \"a'b\"", 0, { "a\"b", "a'b" }, nullptr },
            { "a\\", 0, { "a" }, nullptr },
            { "\"a\\", 0, { "a" }, nullptr },
            { "a\\ ", 0, { "a " }, nullptr },
            { "'unterminated x", 0, { "unterminated x" }, nullptr },
            { "a'b c'd e", 0, { "ab cd", "e" }, nullptr },
            { "'' \"\"", 0, { "", "" }, nullptr },
            { "\\\\ \\'", 0, { "\\", "'" }, nullptr },
            { "\\\xc3\xa9 \"\\\xc3\xa9\"", 0, { "\xc3\xa9", "\\\xc3\xa9" }, nullptr },
            { "a\\\nb", 0, { "a\nb" }, nullptr },
            { "\"\\", 0, { "" }, nullptr },
            { "a:b", 0, { "a", "b" }, ":" },
            { "'a:b':c", 0, { "a:b", "c" }, ":" },
            { "\\\xff", KERR_INVALID_UTF8, {}, nullptr },
            { "'\xff'", KERR_INVALID_UTF8, {}, nullptr },
            { "\"\\\xff\"", KERR_INVALID_UTF8, {}, nullptr },
        },
        RTGETOPTARGV_CNV_QUOTE_BOURNE_SH);
}

TEST(GetOptArgv, BadArguments)
{
    char **papszArgv = nullptr;
    int cArgs = 0;
    char szCmd[] = "a b";
    for (uint32_t fFlags : { 2u, 3u, 6u, 7u, 8u, 0x80000000u })
        EXPECT_EQ(RTGetOptArgvFromString(&papszArgv, &cArgs, szCmd, fFlags, nullptr),
                  KERR_INVALID_FLAGS)
            << fFlags;
    EXPECT_EQ(RTGetOptArgvFromString(&papszArgv, &cArgs, nullptr, 0, nullptr),
              KERR_INVALID_POINTER);
    EXPECT_EQ(RTGetOptArgvFromString(nullptr, &cArgs, szCmd, 0, nullptr), KERR_INVALID_POINTER);
    EXPECT_EQ(RTGetOptArgvFromString(&papszArgv, nullptr, szCmd, 0, nullptr), KERR_INVALID_POINTER);
    EXPECT_EQ(papszArgv, nullptr);
    RTGetOptArgvFree(nullptr);
}

std::string manyArgs(int cArgs)
{
    std::string str;
    for (int i = 0; i < cArgs; i++)
        str += " a" + std::to_string(i);
    return str;
}

/*
 * The array takes 33 entries and grows by 32: counting the allocations a
 * split needs shows the growth points, and every failure on the way must
 * free everything (the sanitizer build checks for leaks) and say which
 * allocation failed.
 */
TEST(GetOptArgv, GrowthAndAllocationFailures)
{
    struct Row
    {
        int cArgs;
        uint32_t fFlags;
        int cAllocs;
    };
    const Row aRows[] = // clang-format off
    {
        { 0,  0, 2 },                                   /* copy, then the lone null entry */
        { 0,  RTGETOPTARGV_CNV_MODIFY_INPUT, 1 },
        { 1,  0, 2 },
        { 32, 0, 2 },
        { 33, 0, 3 },
        { 33, RTGETOPTARGV_CNV_MODIFY_INPUT, 2 },
        { 64, 0, 3 },
        { 65, 0, 4 },
        { 100, RTGETOPTARGV_CNV_QUOTE_BOURNE_SH, 5 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        Row const &Row = aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ", " << Row.cArgs << " arguments");
        std::string const strCmdLine = manyArgs(Row.cArgs);
        for (int cAllowed = 0; cAllowed <= Row.cAllocs; cAllowed++)
        {
            std::vector<char> vecBuf(strCmdLine.begin(), strCmdLine.end());
            vecBuf.push_back('\0');
            char **papszArgv = nullptr;
            int cArgs = -1;
            RTMemTestFailAfter(cAllowed);
            int const rc = RTGetOptArgvFromString(&papszArgv, &cArgs, vecBuf.data(), Row.fFlags,
                                                  nullptr);
            RTMemTestFailAfter(-1);
            if (cAllowed < Row.cAllocs)
            {
                bool const fCopyFailed = cAllowed == 0
                                         && !(Row.fFlags & RTGETOPTARGV_CNV_MODIFY_INPUT);
                EXPECT_EQ(rc, fCopyFailed ? KERR_NO_STR_MEMORY : KERR_NO_MEMORY) << cAllowed;
                EXPECT_EQ(papszArgv, nullptr);
                EXPECT_EQ(cArgs, -1);
                continue;
            }
            ASSERT_EQ(rc, 0);
            ASSERT_EQ(cArgs, Row.cArgs);
            EXPECT_EQ(papszArgv[cArgs], nullptr);
            if (cArgs)
            {
                EXPECT_STREQ(papszArgv[cArgs - 1], ("a" + std::to_string(cArgs - 1)).c_str());
            }
            RTGetOptArgvFreeEx(papszArgv, Row.fFlags);
        }
    }
}

/*
 * Quotes one argument the way Windows programs expect: quotes around
 * arguments with blanks or quotes (or empty ones), backslashes doubled where
 * a quote follows them.
 */
std::string quoteWindows(std::string const &strArg)
{
    if (!strArg.empty() && strArg.find_first_of(" \t\n\r\"") == std::string::npos)
        return strArg;
    std::string str = "\"";
    size_t cBackslashes = 0;
    for (char ch : strArg)
    {
        if (ch == '\\')
        {
            cBackslashes++;
            continue;
        }
        str.append(ch == '"' ? cBackslashes * 2 + 1 : cBackslashes, '\\');
        cBackslashes = 0;
        str += ch;
    }
    str.append(cBackslashes * 2, '\\');
    return str + "\"";
}

void expectRoundTrip(StrVec const &vecArgs)
{
    std::string strCmdLine;
    for (size_t i = 0; i < vecArgs.size(); i++)
        strCmdLine += (i ? " " : "") + quoteWindows(vecArgs[i]);
    SCOPED_TRACE(testing::Message() << "[" << strCmdLine << "]");
    StrVec vecSplit;
    EXPECT_EQ(split(strCmdLine, RTGETOPTARGV_CNV_QUOTE_MS_CRT, nullptr, vecSplit), 0);
    EXPECT_EQ(vecSplit, vecArgs);
}

TEST(GetOptArgv, WindowsQuotedCommandLinesRoundTrip)
{
    expectRoundTrip({ "C:\\Program Files\\Kestrelyn\\setup.exe", "--msiparams",
                      "INSTALLDIR=\"C:\\Program Files\\Kestrelyn\"", "--path", "C:\\Temp dir\\",
                      "--msi-prop", "X", "y z", "", "\\\\server\\share\\", "a\\\\\"b", "\"", "\\",
                      "tab\there", "\xc3\xa9\xe2\x82\xac" });

    /* Every string of up to five characters from a, blank, quote and backslash, alone and paired. */
    static const char s_achAlphabet[] = { 'a', ' ', '"', '\\' };
    std::vector<std::string> vecAll = { "" };
    for (size_t iStart = 0, cLen = 0; cLen < 5; cLen++)
    {
        size_t const iEnd = vecAll.size();
        for (size_t i = iStart; i < iEnd; i++)
            for (char ch : s_achAlphabet)
                vecAll.push_back(vecAll[i] + ch);
        iStart = iEnd;
    }
    ASSERT_EQ(vecAll.size(), 1u + 4 + 16 + 64 + 256 + 1024);
    for (size_t i = 0; i < vecAll.size(); i++)
    {
        expectRoundTrip({ vecAll[i] });
        expectRoundTrip({ vecAll[i], vecAll[vecAll.size() - 1 - i] });
        if (HasFailure())
            break;
    }
}

} // namespace
