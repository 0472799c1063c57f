/*
 * The portable path rules, table by table: parsing, reassembly, absolute
 * paths against a given base, appending and joining, the final-component
 * look-ups, the native NT form and classic-limit shapes of Windows paths,
 * the unique-name template scan, the temporary directory and the
 * executable's directory.  Every row runs in both builds.
 */
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <string>

#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

#ifdef _WIN32
# include "win.h"
#endif

namespace {

const uint32_t DOS = RTPATH_STR_F_STYLE_DOS;
const uint32_t UNX = RTPATH_STR_F_STYLE_UNIX;

/* The components of a parse, joined by '|', for comparing with a row. */
std::string compsOf(const char *pszPath, const RTPARSEDPATH *pParsed)
{
    std::string str;
    for (unsigned i = 0; i < pParsed->cComps; i++)
    {
        if (i)
            str += '|';
        str.append(&pszPath[RTPathParsedComps(pParsed)[i].off], RTPathParsedComps(pParsed)[i].cch);
    }
    return str;
}

struct PARSEROW
{
    const char *pszPath;
    uint32_t fStyle;
    const char *pszComps;
    uint16_t fProps;
    uint16_t cchPath;
    const char *pszSuffix; /* null: none */
};

/* Properties, short for the rows. */
const uint16_t ABS = RTPATH_PROP_ABSOLUTE, REL = RTPATH_PROP_RELATIVE, VOL = RTPATH_PROP_VOLUME;
const uint16_t UNC = RTPATH_PROP_UNC, SPC = RTPATH_PROP_SPECIAL_UNC, RS = RTPATH_PROP_ROOT_SLASH;
const uint16_t XS = RTPATH_PROP_EXTRA_SLASHES, DOT = RTPATH_PROP_DOT_REFS;
const uint16_t DDOT = RTPATH_PROP_DOTDOT_REFS, FN = RTPATH_PROP_FILENAME,
               DS = RTPATH_PROP_DIR_SLASH;
const uint16_t SFX = RTPATH_PROP_SUFFIX;

const PARSEROW g_aParseRows[] = // clang-format off
{
    { "C:\\a\\b.txt",        DOS, "C:\\|a|b.txt", ABS | VOL | RS | FN | SFX, 10, ".txt" },
    { "c:/a/b",              DOS, "c:/|a|b", ABS | VOL | RS | FN, 6, nullptr },
    { "C:",                  DOS, "C:", REL | VOL, 2, nullptr },
    { "C:a",                 DOS, "C:|a", REL | VOL | FN, 3, nullptr },
    { "\\a",                 DOS, "\\|a", REL | RS | FN, 2, nullptr },
    { "\\",                  DOS, "\\", REL | RS | DS, 1, nullptr },
    { "\\\\server\\share\\", DOS, "\\\\server\\|share", ABS | UNC | RS | DS, 15, nullptr },
    { "\\\\server",          DOS, "\\\\server", ABS | UNC, 8, nullptr },
    { "\\\\.\\C:\\x",        DOS, "\\\\.\\|C:|x", ABS | UNC | SPC | RS | FN, 8, nullptr },
    { "\\\\?\\C:\\x.msi",    DOS, "\\\\?\\|C:|x.msi", ABS | UNC | SPC | RS | FN | SFX, 12, ".msi" },
    { "//?/C:/x",            DOS, "//?/|C:|x", ABS | UNC | SPC | RS | FN, 8, nullptr },
    { "\\\\??\\x",           DOS, "\\\\??\\|x", ABS | UNC | RS | FN, 6, nullptr },
    { "a//b/./../c",         DOS, "a|b|.|..|c", REL | XS | DOT | DDOT | FN, 10, nullptr },
    { "C:\\a\\..\\b",        DOS, "C:\\|a|..|b", REL | VOL | RS | DDOT | FN, 9, nullptr },
    { "C:\\\\\\a",           DOS, "C:\\|a", ABS | VOL | RS | XS | FN, 4, nullptr },
    { "dir\\\\",             DOS, "dir", REL | XS | DS, 4, nullptr },
    { "a\\..\\..\\",         DOS, "a|..|..", REL | DDOT | DS, 8, nullptr },
    { ".profile",            DOS, ".profile", REL | FN, 8, nullptr },
    { "name.",               DOS, "name.", REL | FN, 5, nullptr },
    { "..",                  DOS, "..", REL | DDOT | FN, 2, nullptr },
    { "a.tar.gz",            DOS, "a.tar.gz", REL | FN | SFX, 8, ".gz" },
    { "x.d\\f",              DOS, "x.d|f", REL | FN, 5, nullptr },
    { "/",                   UNX, "/", ABS | RS | DS, 1, nullptr },
    { "//x",                 UNX, "/|x", ABS | RS | XS | FN, 2, nullptr },
    { "a\\b",                UNX, "a\\b", REL | FN, 3, nullptr },
    { "C:/x",                UNX, "C:|x", REL | FN, 4, nullptr },
    { "/a/../b.c",           UNX, "/|a|..|b.c", REL | RS | DDOT | FN | SFX, 9, ".c" },
};
// clang-format on

} // namespace

TEST(RTPathParse, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aParseRows); i++)
    {
        PARSEROW const &Row = g_aParseRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszPath);
        union
        {
            RTPARSEDPATH Parsed;
            uint8_t ab[256];
        } u;
        memset(&u, 0xee, sizeof(u));
        ASSERT_EQ(RTPathParse(Row.pszPath, &u.Parsed, sizeof(u), Row.fStyle), 0);
        EXPECT_EQ(compsOf(Row.pszPath, &u.Parsed), Row.pszComps);
        EXPECT_EQ(u.Parsed.fProps, Row.fProps) << std::hex << u.Parsed.fProps;
        EXPECT_EQ(u.Parsed.cchPath, Row.cchPath);
        size_t const cch = strlen(Row.pszPath);
        if (Row.pszSuffix)
        {
            ASSERT_LT(u.Parsed.offSuffix, cch);
            EXPECT_EQ(std::string(&Row.pszPath[u.Parsed.offSuffix], u.Parsed.cchSuffix),
                      Row.pszSuffix);
        }
        else
        {
            EXPECT_EQ(u.Parsed.offSuffix, cch);
            EXPECT_EQ(u.Parsed.cchSuffix, 0);
        }
    }
}

TEST(RTPathParse, Failures)
{
    union
    {
        RTPARSEDPATH Parsed;
        uint8_t ab[64];
    } u;
    EXPECT_EQ(RTPathParse("", &u.Parsed, sizeof(u), DOS), KERR_PATH_ZERO_LENGTH);
    EXPECT_EQ(RTPathParse(nullptr, &u.Parsed, sizeof(u), DOS), KERR_INVALID_POINTER);
    EXPECT_EQ(RTPathParse("a", &u.Parsed, sizeof(u), RTPATH_STR_F_STYLE_RESERVED),
              KERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathParse("a", &u.Parsed, sizeof(u), 0x100), KERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathParse("a", &u.Parsed, 11, DOS), KERR_INVALID_PARAMETER);

    /* Two components fit 20 bytes; the count of all of them comes back for the retry. */
    memset(&u, 0xee, sizeof(u));
    EXPECT_EQ(RTPathParse("C:\\a\\b\\c\\d", &u.Parsed, RTPARSEDPATH_SIZE(2), DOS),
              KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(u.Parsed.cComps, 5);
    EXPECT_EQ(u.Parsed.cchPath, 10);
    EXPECT_EQ(RTPathParsedComps(&u.Parsed)[1].off, 3);
    EXPECT_EQ(u.ab[RTPARSEDPATH_SIZE(2)], 0xee) << "wrote past the record";
    EXPECT_EQ(RTPathParse("C:\\a\\b\\c\\d", &u.Parsed, RTPARSEDPATH_SIZE(5), DOS), 0);
    EXPECT_EQ(RTPathParse("C:\\a\\b\\c\\d", &u.Parsed, RTPARSEDPATH_SIZE(0), DOS),
              KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(u.Parsed.cComps, 5);

    /* Offsets are 16 bits: 0xFFFF bytes parse, one more does not. */
    std::string strLong(UINT16_MAX, 'a');
    EXPECT_EQ(RTPathParse(strLong.c_str(), &u.Parsed, sizeof(u), DOS), 0);
    EXPECT_EQ(u.Parsed.cchPath, UINT16_MAX);
    strLong += 'a';
    EXPECT_EQ(RTPathParse(strLong.c_str(), &u.Parsed, sizeof(u), DOS), KERR_FILENAME_TOO_LONG);
}

TEST(RTPathParsedReassemble, Rows)
{
    static const struct
    {
        const char *pszPath;
        uint32_t fParse;
        uint32_t fOut;
        const char *pszExpect;
    } s_aRows[] = // clang-format off
    {
        { "C:/a//b/",            DOS, DOS, "C:\\a\\b\\" },
        { "C:/a//b/",            DOS, UNX, "C:/a/b/" },
        { "\\\\srv/shr\\\\x",    DOS, DOS, "\\\\srv\\shr\\x" },
        { "a\\\\b\\.",           DOS, UNX, "a/b/." },
        { "//x//y",              UNX, UNX, "/x/y" },
        { "C:x",                 DOS, DOS, "C:x" },
        { "C:\\",                DOS, DOS, "C:\\" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        union
        {
            RTPARSEDPATH Parsed;
            uint8_t ab[256];
        } u;
        ASSERT_EQ(RTPathParse(s_aRows[i].pszPath, &u.Parsed, sizeof(u), s_aRows[i].fParse), 0);
        char szOut[64];
        ASSERT_EQ(RTPathParsedReassemble(s_aRows[i].pszPath, &u.Parsed, s_aRows[i].fOut, szOut,
                                         sizeof(szOut)),
                  0);
        EXPECT_STREQ(szOut, s_aRows[i].pszExpect);
        EXPECT_EQ(strlen(szOut), strlen(s_aRows[i].pszExpect));
    }
}

TEST(RTPathParsedReassemble, EditedAndBounded)
{
    const char *pszPath = "C:\\one\\two\\three\\";
    union
    {
        RTPARSEDPATH Parsed;
        uint8_t ab[256];
    } u;
    ASSERT_EQ(RTPathParse(pszPath, &u.Parsed, sizeof(u), DOS), 0);

    /* Drop "two" and the trailing separator. */
    RTPathParsedComps(&u.Parsed)[2] = RTPathParsedComps(&u.Parsed)[3];
    u.Parsed.cComps = 3;
    u.Parsed.fProps &= (uint16_t)~RTPATH_PROP_DIR_SLASH;
    char szOut[32];
    ASSERT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, DOS, szOut, sizeof(szOut)), 0);
    EXPECT_STREQ(szOut, "C:\\one\\three");

    /* "C:\one\three" is 12 bytes: 13 fit, 12 leave an empty string and the canary. */
    char szSmall[14];
    memset(szSmall, 'Z', sizeof(szSmall));
    EXPECT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, DOS, szSmall, 13), 0);
    EXPECT_STREQ(szSmall, "C:\\one\\three");
    EXPECT_EQ(szSmall[13], 'Z');
    memset(szSmall, 'Z', sizeof(szSmall));
    EXPECT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, DOS, szSmall, 12), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(szSmall[0], '\0');
    EXPECT_EQ(szSmall[12], 'Z');
    EXPECT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, DOS, nullptr, 0), KERR_BUFFER_OVERFLOW);

    /* A component that points past the source string is refused, not read. */
    RTPathParsedComps(&u.Parsed)[2].off = 60;
    EXPECT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, DOS, szOut, sizeof(szOut)),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTPathParsedReassemble(pszPath, &u.Parsed, RTPATH_STR_F_STYLE_RESERVED, szOut,
                                     sizeof(szOut)),
              KERR_INVALID_FLAGS);
}

namespace {

struct ABSROW
{
    const char *pszBase;
    const char *pszPath;
    uint32_t fFlags;
    int rc;
    const char *pszExpect;
};

const ABSROW g_aAbsRows[] = // clang-format off
{
    /* Absolute paths: the base plays no part. */
    { nullptr,             "c:/a/./b//c",           0,   0, "C:\\a\\b\\c" },
    { nullptr,             "C:/a/./b//c/../d/",     0,   0, "C:\\a\\b\\d\\" },
    { nullptr,             "C:\\a\\..\\..",         0,   0, "C:\\" },
    { nullptr,             "c:\\a\\..\\b",          0,   0, "c:\\b" },
    { nullptr,             "C:\\",                  RTPATHABS_F_ENSURE_TRAILING_SLASH, 0, "C:\\" },
    { nullptr,             "C:\\a",                 RTPATHABS_F_ENSURE_TRAILING_SLASH, 0, "C:\\a\\" },
    { nullptr,             "C:\\a\\.",              0,   0, "C:\\a" },
    { nullptr,             "\\\\srv\\shr\\..\\x",   0,   0, "\\\\srv\\shr\\x" },
    { nullptr,             "\\\\srv/shr//x/",       0,   0, "\\\\srv\\shr\\x\\" },
    { nullptr,             "\\\\.\\pipe\\..\\x",    0,   0, "\\\\.\\x" },
    { nullptr,             "\\\\?\\C:\\a\\.\\b",    0,   0, "\\\\?\\C:\\a\\b" },
    { nullptr,             "\\\\server",            0,   0, "\\\\server" },
    /* Relative paths against a base. */
    { "C:\\base",          "x\\y",                  0,   0, "C:\\base\\x\\y" },
    { "c:\\base\\",        "x",                     0,   0, "C:\\base\\x" },
    { "C:\\base",          "..\\..\\..\\x",         0,   0, "C:\\x" },
    { "C:\\base\\sub",     "..\\x",                 0,   0, "C:\\base\\x" },
    { "C:\\base\\sub",     "..\\x",                 RTPATHABS_F_STOP_AT_BASE, 0, "C:\\base\\sub\\x" },
    { "C:\\base\\sub",     "..\\x",                 RTPATHABS_F_STOP_AT_CWD, 0, "C:\\base\\x" },
    { "C:\\base\\sub",     "y\\..\\..\\x",          RTPATHABS_F_STOP_AT_BASE, 0, "C:\\base\\sub\\x" },
    { "C:\\base",          ".",                     0,   0, "C:\\base" },
    { "C:\\base\\",        ".",                     0,   0, "C:\\base\\" },
    { "C:\\base",          "x\\",                   0,   0, "C:\\base\\x\\" },
    { "C:\\base",          "x",                     RTPATHABS_F_ENSURE_TRAILING_SLASH, 0, "C:\\base\\x\\" },
    { "C:\\",              "x",                     0,   0, "C:\\x" },
    { "C:\\",              "..",                    0,   0, "C:\\" },
    { "C:\\a\\.\\b\\..\\c", "d",                    0,   0, "C:\\a\\c\\d" },
    { "C:\\base",          "C:x",                   0,   0, "C:\\base\\x" },
    { "c:\\base",          "c:..\\x",               0,   0, "C:\\x" },
    { "C:\\base",          "q:x",                   0,   0, "Q:\\x" },
    { "\\\\srv\\shr\\dir", "..\\..\\x",             0,   0, "\\\\srv\\shr\\x" },
    { "\\\\?\\C:\\dir",    "..\\..\\x",             0,   0, "\\\\?\\C:\\x" },
    /* A single leading separator takes the base's volume. */
    { "\\\\srv\\shr\\dir", "\\x",                   0,   0, "\\\\srv\\shr\\x" },
    { "d:\\base",          "\\x\\..\\y",            0,   0, "D:\\y" },
    { "d:\\base",          "/x/",                   0,   0, "D:\\x\\" },
    /* The '/' style. */
    { "/base",             "x/../y",                UNX, 0, "/base/y" },
    { nullptr,             "/a/./b",                UNX, 0, "/a/b" },
    { "/",                 "..",                    UNX, 0, "/" },
    { nullptr,             "//a//b/..",             UNX, 0, "/a" },
    { "/b",                "c\\d",                  UNX, 0, "/b/c\\d" },
    /* Failures. */
    { "base",              "x",                     0,   KERR_PATH_IS_RELATIVE, nullptr },
    { "C:",                "x",                     0,   KERR_PATH_IS_RELATIVE, nullptr },
    { "C:foo",             "x",                     0,   KERR_PATH_IS_RELATIVE, nullptr },
    { "C:\\base",          "",                      0,   KERR_PATH_ZERO_LENGTH, nullptr },
    { "C:\\base",          "x",                     RTPATH_STR_F_STYLE_RESERVED, KERR_INVALID_FLAGS, nullptr },
    { "C:\\base",          "x",                     0x80000, KERR_INVALID_FLAGS, nullptr },
    { "C:\\base",          "x",                     0x100, KERR_INVALID_FLAGS, nullptr },
};
// clang-format on

} // namespace

TEST(RTPathAbsEx, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aAbsRows); i++)
    {
        ABSROW const &Row = g_aAbsRows[i];
        SCOPED_TRACE(testing::Message()
                     << "row " << i << ": " << (Row.pszBase ? Row.pszBase : "<null>") << " + "
                     << Row.pszPath);
        char szOut[128];
        memset(szOut, 'Z', sizeof(szOut));
        size_t cb = sizeof(szOut);
        int rc = RTPathAbsEx(Row.pszBase, Row.pszPath, Row.fFlags, szOut, &cb);
        ASSERT_EQ(rc, Row.rc);
        if (Row.rc == 0)
        {
            EXPECT_STREQ(szOut, Row.pszExpect);
            EXPECT_EQ(cb, strlen(Row.pszExpect));
        }
    }
}

TEST(RTPathAbsEx, BufferSizes)
{
    const char *pszExpect = "C:\\base\\dir\\file.txt";
    size_t const cchExpect = strlen(pszExpect);
    for (size_t cbBuf : { (size_t)0, (size_t)1, (size_t)2, cchExpect - 1, cchExpect, cchExpect + 1,
                          cchExpect + 2 })
    {
        SCOPED_TRACE(testing::Message() << "buffer of " << cbBuf);
        char szOut[64];
        memset(szOut, 'Z', sizeof(szOut));
        size_t cb = cbBuf;
        int rc = RTPathAbsEx("C:\\base\\sub", "..\\dir\\.\\file.txt", 0, cbBuf ? szOut : nullptr,
                             &cb);
        if (cbBuf > cchExpect)
        {
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(cb, cchExpect);
            EXPECT_STREQ(szOut, pszExpect);
        }
        else
        {
            ASSERT_EQ(rc, KERR_BUFFER_OVERFLOW);
            EXPECT_EQ(cb, cchExpect + 1);
            if (cbBuf)
            {
                EXPECT_EQ(szOut[0], '\0');
            }
        }
        for (size_t off = cbBuf; off < sizeof(szOut); off++)
            ASSERT_EQ(szOut[off], 'Z') << "byte " << off << " written past the buffer";
    }
}

TEST(RTPathAbsEx, ManyComponentsUseTheHeapRecord)
{
    /* 400 components do not fit the 1 KiB record on the stack. */
    std::string strPath = "C:\\";
    for (int i = 0; i < 400; i++)
        strPath += "d\\";
    strPath += "..\\x";
    std::string strExpect = "C:\\";
    for (int i = 0; i < 399; i++)
        strExpect += "d\\";
    strExpect += "x";
    char szOut[1024];
    size_t cb = sizeof(szOut);
    ASSERT_EQ(RTPathAbsEx(nullptr, strPath.c_str(), 0, szOut, &cb), 0);
    EXPECT_EQ(std::string(szOut), strExpect);

    RTMemTestFailAfter(0);
    cb = sizeof(szOut);
    int rc = RTPathAbsEx(nullptr, strPath.c_str(), 0, szOut, &cb);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(rc, KERR_NO_TMP_MEMORY);
}

TEST(RTPathAbsExDup, GrowsAndFails)
{
    char *psz = RTPathAbsExDup("C:\\base", "x", 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\base\\x");
    RTMemFree(psz);

    /* Longer than the first 2050 bytes: retried with the size needed. */
    std::string strLong = "C:\\" + std::string(3000, 'a') + "\\b";
    psz = RTPathAbsExDup(nullptr, strLong.c_str(), 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), strLong);
    RTMemFree(psz);

    EXPECT_EQ(RTPathAbsExDup("base", "x", 0), nullptr);
    RTMemTestFailAfter(0);
    psz = RTPathAbsExDup("C:\\base", "x", 0);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(psz, nullptr);
}

TEST(RTPathAppendEx, Rows)
{
    static const struct
    {
        const char *pszPath;
        const char *pszAppend;
        size_t cchMax;
        uint32_t fFlags;
        const char *pszExpect;
    } s_aRows[] = // clang-format off
    {
        { "C:",                  "x",        RTSTR_MAX, 0,   "C:x" },
        { "C:\\",                "\\\\x",    RTSTR_MAX, 0,   "C:\\x" },
        { "a\\\\\\",             "b",        RTSTR_MAX, 0,   "a\\b" },
        { "",                    "b",        RTSTR_MAX, 0,   "b" },
        { "",                    "\\\\b",    RTSTR_MAX, 0,   "\\\\b" },
        { "a",                   "b",        RTSTR_MAX, 0,   "a\\b" },
        { "a",                   "\\\\\\b",  RTSTR_MAX, 0,   "a\\b" },
        { "a",                   "/b//c",    RTSTR_MAX, 0,   "a/b//c" },
        { "a/",                  "b",        RTSTR_MAX, 0,   "a/b" },
        { "\\",                  "\\x",      RTSTR_MAX, 0,   "\\x" },
        { "C:\\\\\\",            "x",        RTSTR_MAX, 0,   "C:\\x" },
        { "\\\\srv\\shr\\\\\\",  "x",        RTSTR_MAX, 0,   "\\\\srv\\shr\\x" },
        { "\\\\",                "x",        RTSTR_MAX, 0,   "\\\\x" },
        { "a\\\\",               "\\\\",     RTSTR_MAX, 0,   "a\\" },
        { "a",                   "",         RTSTR_MAX, 0,   "a" },
        { "a",                   nullptr,    RTSTR_MAX, 0,   "a" },
        { "a",                   "bcdef",    2,         0,   "a\\bc" },
        { "a",                   "bcdef",    0,         0,   "a" },
        { "a",                   "b",        RTSTR_MAX, UNX, "a/b" },
        { "a\\",                 "b",        RTSTR_MAX, UNX, "a\\/b" },
        { "C:",                  "x",        RTSTR_MAX, UNX, "C:/x" },
        { "/",                   "//x",      RTSTR_MAX, UNX, "/x" },
        { "//",                  "x",        RTSTR_MAX, UNX, "/x" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message()
                     << "row " << i << ": " << s_aRows[i].pszPath << " + "
                     << (s_aRows[i].pszAppend ? s_aRows[i].pszAppend : "<null>"));
        char szBuf[64];
        strcpy(szBuf, s_aRows[i].pszPath);
        ASSERT_EQ(RTPathAppendEx(szBuf, sizeof(szBuf), s_aRows[i].pszAppend, s_aRows[i].cchMax,
                                 s_aRows[i].fFlags),
                  0);
        EXPECT_STREQ(szBuf, s_aRows[i].pszExpect);
    }
}

TEST(RTPathAppendEx, Bounds)
{
    /* "abc" + "de" needs 7 bytes with the terminator. */
    char szBuf[10];
    memset(szBuf, 'Z', sizeof(szBuf));
    strcpy(szBuf, "abc");
    EXPECT_EQ(RTPathAppend(szBuf, 6, "de"), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "abc");
    EXPECT_EQ(szBuf[4], 'Z');
    EXPECT_EQ(RTPathAppend(szBuf, 7, "de"), 0);
    EXPECT_STREQ(szBuf, "abc\\de");
    EXPECT_EQ(szBuf[7], 'Z');

    /* Trimming separators is undone when the result does not fit. */
    strcpy(szBuf, "ab\\\\\\");
    EXPECT_EQ(RTPathAppend(szBuf, 7, "cdef"), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "ab\\\\\\");

    /* No terminator within the size. */
    memset(szBuf, 'a', sizeof(szBuf));
    EXPECT_EQ(RTPathAppend(szBuf, sizeof(szBuf), "b"), KERR_INVALID_PARAMETER);
    strcpy(szBuf, "a");
    EXPECT_EQ(RTPathAppendEx(szBuf, sizeof(szBuf), "b", RTSTR_MAX, RTPATH_STR_F_STYLE_RESERVED),
              KERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathAppendEx(szBuf, sizeof(szBuf), "b", RTSTR_MAX, 0x10000), KERR_INVALID_FLAGS);
}

TEST(RTPathJoin, CopiesThenAppends)
{
    char szBuf[16];
    memset(szBuf, 'Z', sizeof(szBuf));
    EXPECT_EQ(RTPathJoin(szBuf, sizeof(szBuf), "C:\\dir", "file"), 0);
    EXPECT_STREQ(szBuf, "C:\\dir\\file");

    memset(szBuf, 'Z', sizeof(szBuf));
    EXPECT_EQ(RTPathJoin(szBuf, 6, "C:\\dir", "file"), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(szBuf[0], 'Z') << "a base that does not fit leaves the buffer alone";
    EXPECT_EQ(RTPathJoin(szBuf, 8, "C:\\dir", "file"), KERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "C:\\dir");

    char *psz = RTPathJoinA("C:\\dir\\", "\\file");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\dir\\file");
    RTMemFree(psz);
    psz = RTPathJoinA("C:", "file");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:file");
    RTMemFree(psz);
    RTMemTestFailAfter(0);
    psz = RTPathJoinA("C:", "file");
    RTMemTestFailAfter(-1);
    EXPECT_EQ(psz, nullptr);
}

TEST(RTPathFilename, Rows)
{
    static const struct
    {
        const char *pszPath;
        int offName;
    } s_aRows[] = // clang-format off
    {
        { "C:\\dir\\file.txt", 7 }, { "C:\\dir\\", -1 }, { "C:file", 2 }, { "C:", -1 }, { "file", 0 },
        { "a/b", 2 }, { "", -1 }, { "\\\\srv\\shr", 6 }, { "dir/", -1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        char *psz = RTPathFilename(s_aRows[i].pszPath);
        if (s_aRows[i].offName < 0)
            EXPECT_EQ(psz, nullptr);
        else
            EXPECT_EQ(psz, s_aRows[i].pszPath + s_aRows[i].offName);
    }
}

TEST(RTPathSuffix, Rows)
{
    static const struct
    {
        const char *pszPath;
        int offSuffix;
    } s_aRows[] = // clang-format off
    {
        { "file.tar.gz", 8 }, { ".profile", -1 }, { "name.", -1 }, { "name", -1 }, { "C:\\a.b\\name", -1 },
        { "C:\\dir\\.profile", -1 }, { "C:\\dir\\x.msi", 8 }, { "C:x.y", 3 }, { "a/b.c", 3 }, { "..", -1 },
        { "a..b", 2 }, { "", -1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        char *psz = RTPathSuffix(s_aRows[i].pszPath);
        if (s_aRows[i].offSuffix < 0)
            EXPECT_EQ(psz, nullptr);
        else
            EXPECT_EQ(psz, s_aRows[i].pszPath + s_aRows[i].offSuffix);
    }
}

TEST(RTPathEnsureTrailingSeparator, Rows)
{
    static const struct
    {
        const char *pszPath;
        size_t cb;
        size_t cchRet;
        const char *pszExpect;
    } s_aRows[] = // clang-format off
    {
        { "C:\\dir",  8, 7, "C:\\dir\\" },
        { "C:\\dir",  7, 0, "C:\\dir" },
        { "C:\\dir\\", 8, 7, "C:\\dir\\" },
        { "a/",       3, 2, "a/" },
        { "C:",       3, 2, "C:" },
        { "",         3, 2, ".\\" },
        { "",         2, 0, "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        char szBuf[16];
        memset(szBuf, 'Z', sizeof(szBuf));
        strcpy(szBuf, s_aRows[i].pszPath);
        EXPECT_EQ(RTPathEnsureTrailingSeparator(szBuf, s_aRows[i].cb), s_aRows[i].cchRet);
        EXPECT_STREQ(szBuf, s_aRows[i].pszExpect);
        EXPECT_EQ(szBuf[s_aRows[i].cb], 'Z');
    }
    char szFull[4] = { 'a', 'b', 'c', 'd' };
    EXPECT_EQ(RTPathEnsureTrailingSeparator(szFull, sizeof(szFull)), 0u);
}

TEST(RTPathChangeToDosSlashes, InPlace)
{
    char szBuf[] = "C:/a\\b//c/";
    EXPECT_EQ(RTPathChangeToDosSlashes(szBuf, false), szBuf);
    EXPECT_STREQ(szBuf, "C:\\a\\b\\\\c\\");
}

TEST(rtPathNtFormUtf8, Rows)
{
    static const struct
    {
        const char *pszPath;
        bool fOld;
        int rc;
        const char *pszExpect;
        bool fZelkNt;
    } s_aRows[] = // clang-format off
    {
        { "C:\\a\\..\\b",             false, 0, "\\??\\C:\\b", false },
        { "c:/x/y",                   false, 0, "\\??\\C:\\x\\y", false },
        { "\\\\srv\\shr\\x",          false, 0, "\\??\\UNC\\srv\\shr\\x", false },
        { "//srv/shr/x/../y",         false, 0, "\\??\\UNC\\srv\\shr\\y", false },
        { "\\\\?\\C:\\a\\..\\b",      false, 0, "\\??\\C:\\a\\..\\b", false },
        { "//?/C:/x",                 false, 0, "\\??\\C:/x", false },
        { "\\\\.\\pipe\\x",           false, 0, "\\??\\pipe\\x", false },
        { "\\\\.\\C:\\a\\.\\b",       false, 0, "\\??\\C:\\a\\b", false },
        { "\\\\:zelknt:\\Device\\Null", false, 0, "\\Device\\Null", true },
        { "//:zelknt:/",              false, 0, "/", true },
        { "\\\\:zelknt:x",            false, 0, "\\??\\UNC\\:zelknt:x", false },
        { "\\\\:zelknt",              false, 0, "\\??\\UNC\\:zelknt", false },
        { "/\\:zelknt:/Device",       false, 0, "/Device", true },
        { "\\\\?x\\y",                false, 0, "\\??\\UNC\\?x\\y", false },
        { "\\\\.x\\y",                false, 0, "\\??\\UNC\\.x\\y", false },
        { "\\\\?",                    false, 0, "\\??\\UNC\\?", false },
        { "C:\\x",                    true,  0, "\\DosDevices\\C:\\x", false },
        { "\\\\srv\\shr",             true,  0, "\\DosDevices\\UNC\\srv\\shr", false },
        { "\\\\?\\C:\\x",             true,  0, "\\DosDevices\\C:\\x", false },
        { "",                         false, KERR_PATH_ZERO_LENGTH, nullptr, false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        char *pszNt = (char *)(uintptr_t)1;
        bool fZelkNt = !s_aRows[i].fZelkNt;
        ASSERT_EQ(rtPathNtFormUtf8(s_aRows[i].pszPath, s_aRows[i].fOld, &pszNt, &fZelkNt),
                  s_aRows[i].rc);
        if (s_aRows[i].rc == 0)
        {
            EXPECT_STREQ(pszNt, s_aRows[i].pszExpect);
            EXPECT_EQ(fZelkNt, s_aRows[i].fZelkNt);
            RTMemFree(pszNt);
        }
        else
            EXPECT_EQ(pszNt, nullptr);
    }
}

TEST(rtPathNtFormUtf8, LongPathsGrowTheBuffer)
{
    /* Beyond the 4100-byte first buffer, and beyond what a path may be (0xFFFF). */
    std::string strPath = "C:\\" + std::string(5000, 'd') + "\\..\\" + std::string(300, 'f');
    char *pszNt = nullptr;
    ASSERT_EQ(rtPathNtFormUtf8(strPath.c_str(), false, &pszNt, nullptr), 0);
    EXPECT_EQ(std::string(pszNt), "\\??\\C:\\" + std::string(300, 'f'));
    RTMemFree(pszNt);

    strPath = "C:\\" + std::string(0x10000, 'd');
    EXPECT_EQ(rtPathNtFormUtf8(strPath.c_str(), false, &pszNt, nullptr), KERR_FILENAME_TOO_LONG);
}

TEST(rtPathWin32Shape, Rows)
{
    static const struct
    {
        const char16_t *pwsz;
        RTPATHWIN32SHAPE enmShape;
    } s_aRows[] = // clang-format off
    {
        { u"C:\\x", RTPATHWIN32SHAPE_DRIVE_ROOTED },   { u"c:/", RTPATHWIN32SHAPE_DRIVE_ROOTED },
        { u"C:x", RTPATHWIN32SHAPE_DRIVE_RELATIVE },   { u"C:", RTPATHWIN32SHAPE_DRIVE_RELATIVE },
        { u"x", RTPATHWIN32SHAPE_RELATIVE },           { u"\u0416:\\x", RTPATHWIN32SHAPE_RELATIVE },
        { u"\\x", RTPATHWIN32SHAPE_ROOT_SLASH },       { u"\\\\", RTPATHWIN32SHAPE_ROOT_SLASH },
        { u"\\\\\\x", RTPATHWIN32SHAPE_ROOT_SLASH },   { u"\\\\srv\\x", RTPATHWIN32SHAPE_UNC },
        { u"\\\\?\\C:", RTPATHWIN32SHAPE_UNC },        { u"\\\\.\\x", RTPATHWIN32SHAPE_UNC },
        { u"\\\\?", RTPATHWIN32SHAPE_QMARK_NO_SEP },   { u"//?x", RTPATHWIN32SHAPE_QMARK_NO_SEP },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(rtPathWin32Shape((PCRTUTF16)s_aRows[i].pwsz), s_aRows[i].enmShape);
    }
}

TEST(rtPathWin32FitsClassic, Limits)
{
    static const struct
    {
        RTPATHWIN32SHAPE enmShape;
        size_t cwc;
        size_t cwcCwd;
        bool fFits;
    } s_aRows[] = // clang-format off
    {
        { RTPATHWIN32SHAPE_DRIVE_ROOTED, 243, 0, true },     { RTPATHWIN32SHAPE_DRIVE_ROOTED, 244, 0, false },
        { RTPATHWIN32SHAPE_DRIVE_RELATIVE, 243, 0, true },   { RTPATHWIN32SHAPE_DRIVE_RELATIVE, 244, 0, false },
        { RTPATHWIN32SHAPE_RELATIVE, 200, 42, true },        { RTPATHWIN32SHAPE_RELATIVE, 200, 43, false },
        { RTPATHWIN32SHAPE_ROOT_SLASH, 241, 0, true },       { RTPATHWIN32SHAPE_ROOT_SLASH, 242, 0, false },
        { RTPATHWIN32SHAPE_UNC, 240, 0, true },              { RTPATHWIN32SHAPE_UNC, 241, 0, false },
        { RTPATHWIN32SHAPE_QMARK_NO_SEP, 243, 0, true },     { RTPATHWIN32SHAPE_QMARK_NO_SEP, 244, 0, false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(rtPathWin32FitsClassic(s_aRows[i].enmShape, s_aRows[i].cwc, s_aRows[i].cwcCwd),
                  s_aRows[i].fFits);
    }
}

TEST(rtUniqueTemplateScan, Rows)
{
    static const struct
    {
        const char *pszTemplate;
        int rc;
        size_t off;
        size_t cch;
    } s_aRows[] = // clang-format off
    {
        { "XXXXXXXXXXXXXXXXXXXXXXXX",                  0, 0, 24 },
        { "C:\\tmp\\XXXXXXXXXXXXXXXXXXXXXXXX",         0, 7, 24 },
        { "C:\\tmp\\XXXXXXXXXXXXXXXXXXXXXXXX.msi",     0, 7, 24 },
        { "C:\\XXXX\\name.X",                          0, 13, 1 },
        { "X",                                         0, 0, 1 },
        { "C:\\dir\\noX",                              0, 9, 1 },
        { "XXXa",                                      0, 0, 3 },
        { "aXXXXb.c",                                  0, 1, 4 },
        { "C:\\XXXX\\a.XXX.b",                         0, 10, 3 },
        { "C:\\dir\\ab.XX.msi",                        KERR_INVALID_PARAMETER, 0, 0 },
        { "C:\\dir\\file",                             KERR_INVALID_PARAMETER, 0, 0 },
        { "C:\\XXXX\\a.b",                             KERR_INVALID_PARAMETER, 0, 0 },
        { "C:\\dir\\XXX.",                             0, 7, 3 },
        { "",                                          KERR_INVALID_PARAMETER, 0, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszTemplate);
        size_t off = 99, cch = 99;
        ASSERT_EQ(rtUniqueTemplateScan(s_aRows[i].pszTemplate, &off, &cch), s_aRows[i].rc);
        if (s_aRows[i].rc == 0)
        {
            EXPECT_EQ(off, s_aRows[i].off);
            EXPECT_EQ(cch, s_aRows[i].cch);
        }
    }
}

namespace {

void testSetEnv(const char *pszName, const char *pszValue)
{
#ifdef _WIN32
    SetEnvironmentVariableA(pszName, pszValue);
#else
    if (pszValue)
        setenv(pszName, pszValue, 1);
    else
        unsetenv(pszName);
#endif
}

/*
 * What RTPathTemp gives when no variable is set: the system's temporary path
 * on Windows (never a folder at the root of the drive), "/tmp" elsewhere.
 */
std::string systemTempDir()
{
#ifdef _WIN32
    WCHAR wszDir[MAX_PATH + 1];
    DWORD const cwc = GetTempPathW(MAX_PATH + 1, wszDir);
    char szDir[MAX_PATH * 3];
    int const cch = WideCharToMultiByte(CP_UTF8, 0, wszDir, (int)cwc, szDir, sizeof(szDir),
                                        nullptr, nullptr);
    return std::string(szDir, (size_t)cch);
#else
    return "/tmp";
#endif
}

/* Saves the temporary-directory variables and puts them back. */
class RTPathTempTest : public testing::Test
{
protected:
    static constexpr const char *s_apszVars[4] = { "ZELK_TMPDIR", "TMP", "TEMP", "USERPROFILE" };
    std::string m_aSaved[4];
    bool m_afSet[4] = {};

    void SetUp() override
    {
        for (int i = 0; i < 4; i++)
        {
            const char *psz = getenv(s_apszVars[i]);
            m_afSet[i] = psz != nullptr;
            m_aSaved[i] = psz ? psz : "";
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < 4; i++)
            testSetEnv(s_apszVars[i], m_afSet[i] ? m_aSaved[i].c_str() : nullptr);
    }
};

} // namespace

TEST_F(RTPathTempTest, OrderOfVariables)
{
    static const struct
    {
        const char *apszValues[4];
        const char *pszExpect;
    } s_aRows[] = // clang-format off
    {
        { { "zt", "tmp", "temp", "prof" }, "zt" },
        { { nullptr, "tmp", "temp", "prof" }, "tmp" },
        { { nullptr, nullptr, "temp", "prof" }, "temp" },
        { { nullptr, nullptr, nullptr, "prof" }, "prof" },
        { { nullptr, nullptr, nullptr, nullptr }, nullptr },
        { { nullptr, "relative\\dir", "temp", nullptr }, "relative\\dir" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        for (int j = 0; j < 4; j++)
            testSetEnv(s_apszVars[j], s_aRows[i].apszValues[j]);
        char szBuf[1024];
        ASSERT_EQ(RTPathTemp(szBuf, sizeof(szBuf)), 0);
        EXPECT_EQ(std::string(szBuf),
                  s_aRows[i].pszExpect ? std::string(s_aRows[i].pszExpect) : systemTempDir());
    }
}

TEST_F(RTPathTempTest, OverflowStopsTheSearch)
{
    testSetEnv("ZELK_TMPDIR", nullptr);
    testSetEnv("TMP", "C:\\a-long-temporary-directory");
    testSetEnv("TEMP", "C:\\t");
    char szBuf[8];
    EXPECT_EQ(RTPathTemp(szBuf, sizeof(szBuf)), KERR_BUFFER_OVERFLOW);

    for (int j = 0; j < 4; j++)
        testSetEnv(s_apszVars[j], nullptr);
    std::string const strSystem = systemTempDir();
    ASSERT_FALSE(strSystem.empty());
    std::string strBuf(strSystem.size() + 1, 'Z');
    EXPECT_EQ(RTPathTemp(&strBuf[0], strSystem.size()), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathTemp(&strBuf[0], strSystem.size() + 1), 0);
    EXPECT_EQ(std::string(strBuf.c_str()), strSystem);
}

TEST(RTEnvQueryVar, NameAndBuffer)
{
    testSetEnv("ZELK_PATH_TEST_VAR", "value");
    char szBuf[8];
    size_t cch = 0;
    EXPECT_EQ(RTEnvQueryVar("ZELK_PATH_TEST_VAR", szBuf, sizeof(szBuf), &cch), 0);
    EXPECT_STREQ(szBuf, "value");
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(RTEnvQueryVar("ZELK_PATH_TEST_VAR", nullptr, 0, &cch), 0);
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(RTEnvQueryVar("ZELK_PATH_TEST_VAR", szBuf, 5, &cch), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(RTEnvQueryVar("ZELK_PATH_TEST_VAR", szBuf, 6, nullptr), 0);
    EXPECT_EQ(RTEnvQueryVar("ZELK=X", szBuf, sizeof(szBuf), nullptr), KERR_ENV_INVALID_VAR_NAME);
    testSetEnv("ZELK_PATH_TEST_VAR", nullptr);
    EXPECT_EQ(RTEnvQueryVar("ZELK_PATH_TEST_VAR", szBuf, sizeof(szBuf), nullptr),
              KERR_ENV_VAR_NOT_FOUND);
    EXPECT_EQ(RTEnvQueryVar(nullptr, szBuf, sizeof(szBuf), nullptr), KERR_INVALID_POINTER);
}

TEST(rtPathExecDirLength, Rows)
{
    static const struct
    {
        const char *pszExe;
        const char *pszDir;
    } s_aRows[] = // clang-format off
    {
        { "C:\\dir\\app.exe", "C:\\dir" },
        { "D:\\setup.exe", "D:\\" },
        { "D:setup.exe", "D:" },
        { "C:\\dir\\\\\\app.exe", "C:\\dir" },
        { "\\\\srv\\shr\\app.exe", "\\\\srv\\shr" },
        { "\\\\srv\\app.exe", "\\\\srv" },
        { "/usr/bin/app", "/usr/bin" },
        { "/app", "/" },
        { "\\app.exe", "\\" },
        { "C:app.exe", "C:" },
        { "app", "" },
        { "prog.exe", "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszExe);
        const char *pszName = RTPathFilename(s_aRows[i].pszExe);
        ASSERT_NE(pszName, nullptr);
        size_t const cch = rtPathExecDirLength(s_aRows[i].pszExe,
                                               (size_t)(pszName - s_aRows[i].pszExe));
        EXPECT_EQ(std::string(s_aRows[i].pszExe, cch), s_aRows[i].pszDir);
    }
}

TEST(rtPathRootParse, Rows)
{
    static const struct
    {
        const char *psz;
        uint32_t fStyle;
        RTPATHROOTKIND enmKind;
        size_t offServerEnd, offShare, offShareEnd;
    } s_aRows[] = // clang-format off
    {
        { "", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_NONE, 0, 0, 0 },
        { "name\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_NONE, 0, 0, 0 },
        { ":x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_NONE, 0, 0, 0 },
        { "1:\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_NONE, 0, 0, 0 },
        { "c:", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_DRIVE, 2, 2, 2 },
        { "c:x\\y", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_DRIVE, 2, 2, 2 },
        { "Z:\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_DRIVE_SLASH, 3, 3, 3 },
        { "Z:/", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_DRIVE_SLASH, 3, 3, 3 },
        { "\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_SLASH, 1, 1, 1 },
        { "/", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_SLASH, 1, 1, 1 },
        { "\\\\", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 2, 2, 2 },
        { "\\\\\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 2, 3, 4 },
        { "\\\\srv", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 5, 5, 5 },
        { "//srv/", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 5, 6, 6 },
        { "\\\\srv\\shr", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 5, 6, 9 },
        { "\\\\srv\\shr\\dir", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 5, 6, 9 },
        { "\\\\?\\C:\\x", RTPATH_STR_F_STYLE_DOS, RTPATHROOTKIND_UNC, 3, 4, 6 },
        { "/usr", RTPATH_STR_F_STYLE_UNIX, RTPATHROOTKIND_SLASH, 1, 1, 1 },
        { "//srv/shr", RTPATH_STR_F_STYLE_UNIX, RTPATHROOTKIND_SLASH, 1, 1, 1 },
        { "c:/x", RTPATH_STR_F_STYLE_UNIX, RTPATHROOTKIND_NONE, 0, 0, 0 },
        { "\\\\srv", RTPATH_STR_F_STYLE_UNIX, RTPATHROOTKIND_NONE, 0, 0, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].psz);
        std::string const str = s_aRows[i].psz;
        std::u16string const wstr(str.begin(), str.end());
        RTPATHROOT const aRoots[] = // clang-format off
        {
            rtPathRootParse(str.c_str(), 1, RTSTR_MAX, s_aRows[i].fStyle),
            rtPathRootParse(wstr.c_str(), 2, RTSTR_MAX, s_aRows[i].fStyle),
            /* A length limit acts as the end of the text. */
            rtPathRootParse((str + "\\more").c_str(), 1, str.size(), s_aRows[i].fStyle),
        };
        // clang-format on
        for (size_t j = 0; j < RT_ELEMENTS(aRoots); j++)
        {
            SCOPED_TRACE(testing::Message() << "variant " << j);
            EXPECT_EQ(aRoots[j].enmKind, s_aRows[i].enmKind);
            EXPECT_EQ(aRoots[j].offServerEnd, s_aRows[i].offServerEnd);
            EXPECT_EQ(aRoots[j].offShare, s_aRows[i].offShare);
            EXPECT_EQ(aRoots[j].offShareEnd, s_aRows[i].offShareEnd);
        }
    }

    /* A UTF-16 unit whose low byte is a separator or letter is neither. */
    static const RTUTF16 s_wszWide[] = { 0x215c, 0x5c5c, 'x', 0 };
    EXPECT_EQ(rtPathRoot16(s_wszWide).enmKind, RTPATHROOTKIND_NONE);
    static const RTUTF16 s_wszWideDrive[] = { 0x0143, ':', '\\', 0 };
    EXPECT_EQ(rtPathRoot16(s_wszWideDrive).enmKind, RTPATHROOTKIND_NONE);
}

TEST(rtPathCutToDrive, Rows)
{
    static const struct
    {
        const char *pszCwd;
        const char *pszRoot;
    } s_aRows[] = // clang-format off
    {
        { "C:\\dir\\sub", "C:" },
        { "c:", "c:" },
        { "\\\\srv\\shr\\dir", "\\\\srv\\shr" },
        { "//srv/shr", "//srv/shr" },
        { "\\\\srv\\", "" },
        { "\\\\srv", "" },
        { "\\\\\\shr", "" },
        { "\\dir", "" },
        { "dir", "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszCwd);
        std::string str = s_aRows[i].pszCwd;
        size_t const cch = rtPathCutToDrive(&str[0]);
        EXPECT_EQ(cch, strlen(s_aRows[i].pszRoot));
        if (cch)
            EXPECT_STREQ(str.c_str(), s_aRows[i].pszRoot);
        else
            EXPECT_EQ(str, s_aRows[i].pszCwd); /* untouched */
    }
}
