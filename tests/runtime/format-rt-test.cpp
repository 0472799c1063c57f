/*
 * The %R extended conversions: type table lookup and integer widening,
 * addresses, status and Windows error codes, hex output, sizes, escaping,
 * base and function names, time spans, control registers and %R[name].
 */
#include <zelk/err.h>
#include <zelk/format.h>

#include <gtest/gtest.h>

#include <cstring>

#include "format-test.h"
#include "strformat-internal.h"

namespace {

struct StrRowEsc
{
    const char *pszFormat;
    const char *pszArg;
    const char *pszExpected;
};

/*
 * The type table: every name is found by the prefix search, reads the right
 * amount of argument and prints by its kind.
 */

struct TypeRow
{
    const char *pszFormat;
    uint64_t uValue; /* passed as 32 or 64 bits, by bArgBits */
    unsigned bArgBits;
    const char *pszExpected;
};

// clang-format off
const TypeRow g_aTypes[] = {
    { "%RU32", 4000000000u, 32, "4000000000" },
    { "%RI32", (uint32_t)-5, 32, "-5" },
    { "%RI8", (uint32_t)-1, 32, "-1" },
    { "%RI8", 0x1ff, 32, "511" }, /* signed records sign-extend the int without truncating */
    { "%RU8", 0x1ff, 32, "255" }, /* unsigned records keep the low byte */
    { "%RU16", 0x12345, 32, "9029" },
    { "%RI16", (uint32_t)-300, 32, "-300" },
    { "%RX8", 0xabc, 32, "bc" },
    { "%RX16", 0xabcdef, 32, "cdef" },
    { "%RX32", 0x1f, 32, "1f" },
    { "%#RX32", 0x1f, 32, "0x1f" },
    { "%08RX32", 0x1f, 32, "0000001f" },
    { "%#010RX32", 0x1f, 32, "0x0000001f" },
    { "%RX64", UINT64_C(1) << 40, 64, "10000000000" },
    { "%RI64", (uint64_t)INT64_MIN, 64, "-9223372036854775808" },
    { "%RU64", UINT64_MAX, 64, "18446744073709551615" },
    { "%'RU64", 1234567, 64, "1 234 567" },
    { "%'RU32", 1234567, 32, "1 234 567" },
    { "%RGi", (uint64_t)-2, 64, "-2" },
    { "%RGu", UINT64_C(5000000000), 64, "5000000000" },
    { "%RGx", 0xabc, 64, "abc" },
    { "%RGp", 0xabc, 64, "0000000000000abc" },
    { "%RCp", 0x1, 64, "0000000000000001" },
    { "%RHp", 0x2, 64, "0000000000000002" },
    { "%RGv", 0x3, 64, "0000000000000003" },
    { "%RGr", 0x4, 64, "0000000000000004" },
    { "%RCi", (uint32_t)-9, 32, "-9" },
    { "%RCu", 9, 32, "9" },
    { "%RCx", 0x9f, 32, "9f" },
    { "%RHi", (uint32_t)-8, 32, "-8" },
    { "%RHu", 8, 32, "8" },
    { "%RHx", 0x8e, 32, "8e" },
    { "%RTptr", 0x1c, 64, "000000000000001c" },
    { "%#RTptr", 0x1c, 64, "0x000000000000001c" },
    { "%RTino", 0x5, 64, "0000000000000005" },
    { "%RTfoff", (uint64_t)-1, 64, "-1" },
    { "%RTfile", 3, 32, "3" },
    { "%RTfmode", 0x81a4, 32, "000081a4" },
    { "%RTgid", (uint32_t)-1, 32, "-1" },
    { "%RTuid", 1000, 32, "1000" },
    { "%RTint", (uint32_t)-3, 32, "-3" },
    { "%RTuint", 3000000000u, 32, "3000000000" },
    { "%RTxint", 0xfe, 32, "fe" },
    { "%RTsock", 12, 32, "12" },
    { "%RTiop", 0x3f8, 32, "03f8" },
    { "%RTsel", 0x1b, 32, "001b" },
    { "%RTunicp", 0xe9, 32, "000000e9" },
    { "%RTutf16", 0xe9, 32, "00e9" },
    { "%12RTutf16|", 0xe9, 32, "0000000000e9|" }, /* the record adds zero padding */
    { "%12RTiop|", 0x3f8, 32, "         3f8|" },   /* a given width keeps spaces */
    { "%RTbool", 1, 32, "true" },
    { "%RTbool", 0, 32, "false" },
    { "%RTbool", 2, 32, "!2!" },
    { "%#RTbool", 1, 32, "true " },
    { "%RTbool", 0x100, 32, "false" }, /* one value byte */
    { "%10RTbool|", 1, 32, "true|" }, /* width ignored */
    { "%RTnaipv4", 0x0100a8c0, 32, "192.168.0.1" },
    { "%RTfp16", 0x00081234, 32, "0008:1234" },
    { "%RTfp16", 0xabcd00ef, 32, "abcd:00ef" },
};
// clang-format on

std::string fmtArg(const char *pszFormat, uint64_t uValue, unsigned bArgBits)
{
    /* A second argument behind the value proves how much the conversion read. */
    std::string strFormat = std::string(pszFormat) + "#%d";
    std::string str = bArgBits == 32 ? fmt(strFormat.c_str(), (uint32_t)uValue, 77)
                                     : fmt(strFormat.c_str(), uValue, 77);
    size_t const off = str.rfind("#77");
    if (off == std::string::npos || off + 3 != str.size())
        return "<argument misread: " + str + ">";
    return str.substr(0, off);
}

TEST(FormatRtTypes, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aTypes); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aTypes[i].pszFormat);
        EXPECT_EQ(fmtArg(g_aTypes[i].pszFormat, g_aTypes[i].uValue, g_aTypes[i].bArgBits),
                  g_aTypes[i].pszExpected);
    }
}

TEST(FormatRtTypes, PointerSizedTypes)
{
    // clang-format off
    const char *const apsz[] = { "%RTnthrd", "%RTthrd", "%RTproc", "%RTsem", "%RTldrm",
                                 "%RTreg", "%RCv", "%RHv", "%RRv", "%RHr", "%RCr" };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(apsz); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << apsz[i]);
        EXPECT_EQ(fmt((std::string(apsz[i]) + "|%d").c_str(), (uintptr_t)0x1c, 5),
                  byPtr("0000001c|5", "000000000000001c|5"));
        EXPECT_EQ(fmt((std::string("%#") + (apsz[i] + 1)).c_str(), (uintptr_t)0x1c),
                  byPtr("0x0000001c", "0x000000000000001c"));
    }
    EXPECT_EQ(fmt("%RKv|%#RKv|%d", (uintptr_t)0x1234, (uintptr_t)0x1234, 3),
              "XXXXXXXX|0xXXXXXXXX|3");
}

TEST(FormatRtTypes, FarPointers)
{
    RTFMTFAR32 const Far32 = { 0x12345678, 0x1b };
    EXPECT_EQ(fmt("%RTfp32|%d", Far32, 4), "001b:12345678|4");
    RTFMTFAR64 const Far64 = { UINT64_C(0xfffff80000001000), 0x10 };
    EXPECT_EQ(fmt("%RTfp64|%d", Far64, 4), "0010:fffff80000001000|4");
    /* Only the upper-case flag counts. */
    EXPECT_EQ(fmt("%-#20RTfp16|", 0x00010002u), "0001:0002|");
}

TEST(FormatRtTypes, UnknownNames)
{
    EXPECT_EQ(fmt("a%RZb"), "ab");         /* unknown family: only the letter is eaten */
    EXPECT_EQ(fmt("%RXyz|%d", 3), "yz|3"); /* failed lookup: no argument, the rest literal */
    EXPECT_EQ(fmt("%RTfoo|%d", 3), "foo|3");
    EXPECT_EQ(fmt("%RU|%d", 3), "|3");
    EXPECT_EQ(fmt("%RI128|%d", 3), "128|3");
}

TEST(FormatRtTypes, FormatEndingInsideAName)
{
    /* Nothing may step over the terminator; arguments are supplied for what is consumed. */
    // clang-format off
    const StrRowEsc aRows[] = {
        { "x%R", "", "x" },       { "x%RT", "", "x" },     { "x%Rr", "", "x" },
        { "x%Rh", "", "x" },      { "x%Rhx", "", "x<null>" }, { "x%RhX", "", "x<null>" },
        { "x%Rhc", "", "x" },     { "x%Rhr", "", "x" },    { "x%RM", "", "x" },
        { "x%RMp", "", "x" },     { "x%RMa", "", "x" },    { "x%RA", "", "x" },
        { "x%RAx86[cr0", "", "xx86[cr0" }, { "x%RD", "", "x" }, { "x%Rb", "", "x" },
        { "x%Rf", "", "x" },      { "x%Rw", "", "x" },     { "x%R[", "", "x" },
        { "x%R[abc", "", "xabc" }, { "x%RDtimesp", "", "xtimesp" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << aRows[i].pszFormat);
        EXPECT_EQ(fmt(aRows[i].pszFormat, (void *)nullptr, (void *)nullptr), aRows[i].pszExpected);
    }
}

/*
 * Addresses.
 */

struct IPv6Row
{
    uint8_t ab[16];
    const char *pszExpected;
};

// clang-format off
const IPv6Row g_aIPv6[] = {
    { { 0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, "fe80::1" },
    { { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, "::1" },
    { { 0 }, "::" },
    { { 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, "1::" },
    { { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4 }, "::ffff:1.2.3.4" },
    { { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4 }, "::1.2.3.4" },
    { { 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 1, 2, 3, 4 }, "::ffff:0:1.2.3.4" },
    { { 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8 }, "1:2:3:4:5:6:7:8" },
    { { 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3 }, "1:0:0:2::3" },       /* longer run wins */
    { { 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 3, 0, 4 }, "1::2:0:0:3:4" },     /* leftmost of equals */
    { { 0, 1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7 }, "1:0:2:3:4:5:6:7" },  /* one zero group stays */
    { { 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0xab, 0xcd, 0, 0 }, "2001:db8::abcd:0" },
    { { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2 }, "::0.0.0.2" },        /* compatible form */
    { { 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0xff, 0xff, 1, 2, 3, 4 }, "::1:0:ffff:102:304" },
};
// clang-format on

TEST(FormatRtAddr, IPv6)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aIPv6); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aIPv6[i].pszExpected);
        EXPECT_EQ(fmt("%RTnaipv6", g_aIPv6[i].ab), g_aIPv6[i].pszExpected);
    }
    EXPECT_EQ(fmt("%12RTnaipv6|", (void *)nullptr), "      <NULL>|");
    EXPECT_EQ(fmt("%-RTnaipv6|", (void *)0x20),
              byPtr("<00000020!BadIPv6>|", "<0000000000000020!BadIPv6>|"));
}

TEST(FormatRtAddr, MacUuidNetAddr)
{
    uint8_t const abMac[6] = { 0x00, 0x1b, 0x21, 0xab, 0xcd, 0xef };
    EXPECT_EQ(fmt("%RTmac", abMac), "00:1b:21:ab:cd:ef");
    EXPECT_EQ(fmt("%RTmac", (void *)0x8), byPtr("<00000008!BadMac>", "<0000000000000008!BadMac>"));

    // clang-format off
    uint8_t const abUuid[16] = { 0x78, 0x56, 0x34, 0x12, 0xbc, 0x9a, 0xf0, 0xde,
                                 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef };
    // clang-format on
    EXPECT_EQ(fmt("%RTuuid", abUuid), "12345678-9abc-def0-0123-456789abcdef");
    EXPECT_EQ(fmt("%RTuuid", (void *)nullptr), "<NULL>");

    struct
    {
        RTFMTNETADDR Addr;
        const char *pszExpected;
    } const aRows[] = {
        { { { 10, 0, 0, 1 }, RTFMTNETADDR_IPV4, 8080 }, "10.0.0.1:8080" },
        { { { 10, 0, 0, 1 }, RTFMTNETADDR_IPV4, RTFMTNETADDR_NO_PORT }, "10.0.0.1" },
        { { { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, RTFMTNETADDR_IPV6, 443 },
          "[::1]:443" },
        { { { 0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9 },
            RTFMTNETADDR_IPV6,
            RTFMTNETADDR_NO_PORT },
          "fe80::9" },
        { { { 1, 2, 3, 4, 5, 6 }, RTFMTNETADDR_MAC, 0 }, "01:02:03:04:05:06" },
        { { { 0 }, 3, 0 }, "unsupported-netaddr-type=3" },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(fmt("%RTnaddr", &aRows[i].Addr), aRows[i].pszExpected);
    }
    EXPECT_EQ(fmt("%RTnaddr", (void *)nullptr), "<NULL>");
}

TEST(FormatRtAddr, ErrorInfo)
{
    RTFMTERRINFO const Set = { RTFMTERRINFO_F_SET | 0x3, KERR_BUFFER_OVERFLOW, 64, "details here" };
    EXPECT_EQ(fmt("%RTeic", &Set), "The buffer is too small.: details here");
    EXPECT_EQ(fmt("%#RTeic", &Set), "The buffer is too small. - details here");
    EXPECT_EQ(fmt("%RTeim", &Set), ": details here");
    RTFMTERRINFO const Short = { RTFMTERRINFO_F_SET, -12345, 4, "details here" };
    EXPECT_EQ(fmt("%RTeic", &Short), "Unknown Status -12345 (0xffffcfc7): deta");
    RTFMTERRINFO const NoMsg = { RTFMTERRINFO_F_SET, 0, 0, "ignored" };
    EXPECT_EQ(fmt("%RTeic|%RTeim|", &NoMsg, &NoMsg), "Success.||");
    RTFMTERRINFO const NotSet = { 0xbabe0000, 0, 10, "x" };
    EXPECT_EQ(fmt("%RTeic|%RTeim|%RTeic|%d", &NotSet, &NotSet, (void *)0x10, 6), "|||6");
}

/*
 * Status and Windows error codes.
 */

struct StatusRow
{
    const char *pszFormat;
    int rc;
    const char *pszExpected;
};

// clang-format off
const StatusRow g_aStatus[] = {
    { "%Rrc", 0, "KINF_SUCCESS" },
    { "%Rrc", KERR_BUFFER_OVERFLOW, "KERR_BUFFER_OVERFLOW" },
    { "%Rrc", -12345, "-12345" },
    { "%Rrc", 12345, "12345" },
    { "%Rrs", KERR_BUFFER_OVERFLOW, "The buffer is too small." },
    { "%Rrf", KERR_BUFFER_OVERFLOW, "The buffer is too small." },
    { "%Rrs", -12345, "Unknown Status -12345 (0xffffcfc7)" },
    { "%Rrf", 7, "Unknown Status 7 (0x7)" },
    { "%Rra", KERR_BUFFER_OVERFLOW, "KERR_BUFFER_OVERFLOW (-41) - The buffer is too small." },
    { "%Rra", -12345, "Unknown Status -12345 (0xffffcfc7)" },
    { "%Rrz", KERR_BUFFER_OVERFLOW, "" }, /* other letters: nothing, the argument still taken */
    { "%Rwc", 0, "ERROR_SUCCESS" },
    { "%Rwf", 5, "0x5" },
    { "%Rwc", (int)0x80070000, "ERROR_SUCCESS/0x80070000" },
    { "%Rwc", (int)0x80070005, "0x80070005" },
    { "%Rwa", 0, "ERROR_SUCCESS (0x0)" },
    { "%Rwa", (int)0x80070000, "ERROR_SUCCESS (0x80070000)" },
    { "%Rwa", 2, "Unknown Status 0x2" },
    { "%Rwq", 2, "" },
    { "%Rhrc", 0, "ERROR_SUCCESS" },
    { "%Rhrf", (int)0x00070000, "ERROR_SUCCESS/0x70000" },
    { "%Rhra", (int)0x80004005, "Unknown Status 0x80004005" },
    { "%Rhrx", 1, "" },
};
// clang-format on

TEST(FormatRtStatus, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aStatus); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aStatus[i].pszFormat);
        EXPECT_EQ(fmtArg(g_aStatus[i].pszFormat, (uint32_t)g_aStatus[i].rc, 32),
                  g_aStatus[i].pszExpected);
    }
}

TEST(FormatRtStatus, EveryTableEntryPrintsItsName)
{
    for (size_t i = 0; i < RTErrTableSize(); i++)
    {
        int const rc = RTErrEntryStatus(RTErrTableEntry(i));
        SCOPED_TRACE(testing::Message() << "entry " << i << " rc " << rc);
        std::string const strName = fmt("%Rrc", rc);
        EXPECT_TRUE(strName.rfind("K", 0) == 0) << strName;
        std::string const strAll = fmt("%Rra", rc);
        EXPECT_EQ(strAll.substr(0, strName.size() + 2), strName + " (");
        EXPECT_NE(strAll.find(fmt("%Rrs", rc)), std::string::npos);
    }
}

/*
 * The smaller siblings of the integer and status families, called as the
 * engine calls a family: the cursor on the 'R', flags and width parsed.
 */

struct SiblingRow
{
    const RTSTRFMTFAMILY *pFamily;
    const char *pszName; /* from the 'R' on */
    unsigned fFlags;
    int cchWidth;
    uint64_t uValue; /* passed as 32 or 64 bits, by bArgBits */
    unsigned bArgBits;
    const char *pszExpected; /* output "|" the rest of the name "|" the next int argument */
};

std::string fmtFamily(const SiblingRow &Row, ...)
{
    FmtCapture Cap;
    va_list va;
    va_start(va, Row);
    const char *psz = Row.pszName;
    size_t const cch = Row.pFamily->pfnFormat(fmtCaptureOutput, &Cap, &psz, &va, Row.cchWidth, -1,
                                              Row.fFlags, 0);
    int const iNext = va_arg(va, int);
    va_end(va);
    if (cch != Cap.strOut.size())
        return "<count " + std::to_string(cch) + " for " + Cap.strOut + ">";
    return Cap.strOut + "|" + psz + "|" + std::to_string(iNext);
}

TEST(FormatRtFamilies, SmallerSiblings)
{
    const RTSTRFMTFAMILY *const pInts = &g_RTStrFmtFamilySizedInts;
    const RTSTRFMTFAMILY *const pNames = &g_RTStrFmtFamilyStatusNames;
    // clang-format off
    const SiblingRow aRows[] = {
        { pInts, "RI8", 0, -1, 0x1ff, 32, "511||77" },
        { pInts, "RU8x", 0, -1, 0x1ff, 32, "255|x|77" },
        { pInts, "RI16", 0, -1, (uint32_t)-300, 32, "-300||77" },
        { pInts, "RX16", FMT_F_ALT, -1, 0xabcdef, 32, "0xcdef||77" },
        { pInts, "RI32", FMT_F_PLUS, -1, 5, 32, "+5||77" },
        { pInts, "RU32", 0, 6, 42, 32, "    42||77" },
        { pInts, "RX32", FMT_F_ZEROPAD, 8, 0x1f, 32, "0000001f||77" },
        { pInts, "RI64", 0, -1, (uint64_t)INT64_MIN, 64, "-9223372036854775808||77" },
        { pInts, "RU64", FMT_F_GROUP, -1, 1234567, 64, "1 234 567||77" },
        { pInts, "RX64", 0, -1, UINT64_C(1) << 40, 64, "10000000000||77" },
        /* Not a width: no argument taken, the rest of the name is literal. */
        { pInts, "RI128", 0, -1, 77, 32, "|128|77" },
        { pInts, "RU6", 0, -1, 77, 32, "|6|77" },
        { pInts, "RX", 0, -1, 77, 32, "||77" },
        { pNames, "Rrc", 0, -1, (uint32_t)KERR_BUFFER_OVERFLOW, 32, "KERR_BUFFER_OVERFLOW||77" },
        { pNames, "Rrc|", 0, 30, (uint32_t)-12345, 32, "-12345|||77" },
        /* Other letters print nothing but take the argument; the end of the format stays. */
        { pNames, "Rrz", 0, -1, 5, 32, "||77" },
        { pNames, "Rr", 0, -1, 5, 32, "||77" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SiblingRow const &Row = aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszName);
        std::string const str = Row.bArgBits == 32 ? fmtFamily(Row, (uint32_t)Row.uValue, 77)
                                                   : fmtFamily(Row, Row.uValue, 77);
        EXPECT_EQ(str, Row.pszExpected);
    }
}

/*
 * Hex strings and dumps.
 */

TEST(FormatRtHex, Strings)
{
    uint8_t const ab[] = { 0x01, 0x02, 0x03, 0xab };
    EXPECT_EQ(fmt("%.3Rhxs", ab), "01 02 03");
    EXPECT_EQ(fmt("%'.3Rhxs", ab), "01:02:03");
    EXPECT_EQ(fmt("%#.3Rhxs", ab), "010203");
    EXPECT_EQ(fmt("%#'.4Rhxs", ab), "010203ab");
    EXPECT_EQ(fmt("%.0Rhxs|%d", ab, 1), "|1");
    EXPECT_EQ(fmt("%.2RhXs|%d", ab, (uint64_t)0x1000, 2), "00001000: 01 02|2");
    EXPECT_EQ(fmt("%.2RhXs", ab, UINT64_C(0xfffffffe)), "00000000fffffffe: 01 02");
    EXPECT_EQ(fmt("%.2RhXs", ab, UINT64_C(0x100000000)), "0000000100000000: 01 02");
    EXPECT_EQ(fmt("%Rhxs|%RhXd|%d", (void *)nullptr, (void *)nullptr, (uint64_t)0, 3),
              "<null>|<null>|3");
    EXPECT_EQ(fmt("%.2Rhxq|%d", ab, 4), "|4"); /* unknown variant: arguments consumed */
    EXPECT_EQ(fmt("%Rhxs", (void *)0x40), byPtr("<00000040!BadHex>", "<0000000000000040!BadHex>"));
}

TEST(FormatRtHex, Dump)
{
    uint8_t ab[20];
    for (size_t i = 0; i < sizeof(ab); i++)
        ab[i] = (uint8_t)(0x41 + i);
    ab[3] = 0x7f;
    ab[4] = 0x1f;
    /* Each missing byte of a short last line leaves three spaces, then one before the text. */
    EXPECT_EQ(fmt("%.20RhXd", ab, (uint64_t)0x400),
              "00000400/0000: 41 42 43 7f 1f 46 47 48-49 4a 4b 4c 4d 4e 4f 50 ABC..FGHIJKLMNOP\n"
              "00000410/0010: 51 52 53 54"
                  + std::string(12 * 3 + 1, ' ') + "QRST");
    EXPECT_EQ(fmt("%4.6RhXd", ab, (uint64_t)0), "00000000/0000: 41 42 43 7f ABC.\n"
                                                "00000004/0004: 1f 46"
                                                    + std::string(2 * 3 + 1, ' ') + ".F");
    EXPECT_EQ(fmt("%10.9RhXd", ab, (uint64_t)0), "00000000/0000: 41 42 43 7f 1f 46 47 48-49"
                                                     + std::string(1 * 3 + 1, ' ') + "ABC..FGHI");
    /* Without X the address is the data pointer, at pointer width. */
    EXPECT_EQ(fmt("%.2Rhxd", ab),
              fmt("%p", ab) + "/0000: 41 42" + std::string(14 * 3 + 1, ' ') + "AB");
}

TEST(FormatRtHex, DumpDitto)
{
    uint8_t abZero[64];
    memset(abZero, 0, sizeof(abZero));
    std::string const strLine = " 00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00 ................";
    EXPECT_EQ(fmt("%.*RhXD", 64, abZero, (uint64_t)0),
              "00000000/0000:" + strLine
                  + "\n******** ****  <ditto x 2>\n00000030/0030:" + strLine);
    /* Two identical lines are both printed; a run needs a third. */
    EXPECT_EQ(fmt("%.*RhXD", 32, abZero, (uint64_t)0),
              "00000000/0000:" + strLine + "\n00000010/0010:" + strLine);
    /* A partial last line is never left out, nor the last full line before it. */
    EXPECT_EQ(fmt("%8.*RhXD", 36, abZero, (uint64_t)0),
              "00000000/0000: 00 00 00 00 00 00 00 00 ........\n"
              "******** ****  <ditto x 2>\n"
              "00000018/0018: 00 00 00 00 00 00 00 00 ........\n"
              "00000020/0020: 00 00 00 00"
                  + std::string(4 * 3 + 1, ' ') + "....");
    /* A differing line ends the run. */
    uint8_t ab[80];
    memset(ab, 0, sizeof(ab));
    ab[40] = 1;
    std::string const str = fmt("%8.*RhXD", 80, ab, (uint64_t)0);
    EXPECT_NE(str.find("<ditto x 4>\n00000028/0028: 01"), std::string::npos) << str;
    EXPECT_NE(str.find("00000028/0028: 01"), std::string::npos) << str;
    EXPECT_NE(str.find("<ditto x 2>\n00000048/0048:"), std::string::npos) << str;
    /* Without D nothing is left out. */
    EXPECT_EQ(fmt("%.*RhXd", 64, abZero, (uint64_t)0).find("ditto"), std::string::npos);
}

/*
 * Human-readable sizes.
 */

struct SizeRow
{
    const char *pszFormat;
    uint64_t uValue;
    const char *pszExpected;
};

// clang-format off
const SizeRow g_aSizes[] = {
    { "%Rhcb", 1536, "1.5KiB" },
    { "%RhcB", 1536, "1.5KB" },
    { "%Rhci", 1536, "1.5kB" },
    { "%Rhub", 1536, "1.5Ki" },
    { "%Rhui", 1536, "1.5k" },
    { "%Rhcb", 100, "100B" },
    { "%.0Rhcb", 1536, "1536B" },
    { "%.0Rhcb", 2048, "2KiB" },
    { "%.2Rhcb", 1536, "1.50KiB" },
    { "%.9Rhub", 1025, "1.000Ki" },       /* more than 3 digits count as 3 */
    { "% Rhcb", 1536, "1.5 KiB" },
    { "% Rhub", 100, "100 " },
    { "%Rhub", 0, "0" },
    { "%Rhcb", 1023, "1023B" },
    { "%Rhcb", 1024, "1.0KiB" },
    { "%Rhcb", UINT64_C(1) << 20, "1.0MiB" },
    { "%Rhcb", (UINT64_C(3) << 30) + (UINT64_C(1) << 29), "3.5GiB" },
    { "%Rhcb", UINT64_MAX, "15.9EiB" },   /* the fraction does not overflow 64 bits */
    { "%.3Rhcb", UINT64_MAX, "15.999EiB" },
    { "%Rhcb", UINT64_C(1) << 40, "1.0TiB" },
    { "%Rhcb", UINT64_C(1) << 50, "1.0PiB" },
    { "%Rhci", 999, "999B" },
    { "%Rhci", 1000, "1.0kB" },
    { "%.0Rhci", 1009, "1009B" },
    { "%.0Rhci", 1010, "1kB" },
    { "%Rhci", 1450, "1.5kB" },           /* rounded */
    { "%Rhci", 1449, "1.4kB" },
    { "%Rhci", 999999, "1000.0kB" },      /* a fraction rounding to 10 carries */
    { "%.3Rhui", 999999999, "1000.000M" },
    { "%Rhui", UINT64_C(1) << 62, "4.6E" },
    { "%.3Rhui", UINT64_MAX, "18.447E" }, /* remainder x 1000 does not overflow */
    { "%Rhui", UINT64_C(2500000000000), "2.5T" },
    { "%Rhui", UINT64_C(7000000000000000), "7.0P" },
    { "%Rhui", UINT64_C(1200000000), "1.2G" },
    { "%Rhui", UINT64_C(3400000), "3.4M" },
    { "%10Rhcb|", 1536, "    1.5KiB|" },
    { "%010Rhcb|", 1536, "00001.5KiB|" },
    { "%-10Rhcb|", 1536, "1.5KiB|" },     /* no left-justification */
    { "%Rhcz|", 5, "|" },                 /* other letters: nothing, no argument */
};
// clang-format on

TEST(FormatRtSize, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aSizes); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aSizes[i].pszFormat);
        std::string const strFormat = std::string(g_aSizes[i].pszFormat) + "#%d";
        std::string const strExpected = std::string(g_aSizes[i].pszExpected) + "#77";
        if (strchr(g_aSizes[i].pszFormat, 'z'))
            EXPECT_EQ(fmt(strFormat.c_str(), 77), strExpected);
        else
            EXPECT_EQ(fmt(strFormat.c_str(), g_aSizes[i].uValue, 77), strExpected);
    }
}

/*
 * Escaping.
 */

// clang-format off
const StrRowEsc g_aEscapes[] = {
    { "%RMes", "a<b&c", "a&lt;b&amp;c" },
    { "%RMes", "\"it's\" >", "&quot;it&apos;s&quot; &gt;" },
    { "%RMes", "line\nfeed", "line\nfeed" },
    { "%RMas", "a<b&c", "\"a&lt;b&amp;c\"" },
    { "%RMas", "x\r\ny'", "\"x&#xD;&#xA;y'\"" },
    { "%6RMas", "ab", "\"    ab\"" },
    { "%-6RMas", "a&", "\"a&amp;    \"" },   /* padding counts unescaped bytes */
    { "%.3RMes", "a<bcdef", "a&lt;b" },
    { "%RMjs", "a \"quoted\"\ttab", "\"a \\\"quoted\\\"\\ttab\"" },
    { "%RMjs", "\\/\b\f\n\r\x01\x1f", "\"\\\\/\\b\\f\\n\\u000d\\u0001\\u001f\"" },
    { "%RMjs", "\xc3\xa9\x7f", "\"\xc3\xa9\x7f\"" },
    { "%5RMjs", "ab", "\"   ab\"" },
    { "%RMpa", "a b", "a%20b" },
    { "%RMpf", "a b", "a+b" },
    { "%RMpa", "a/b+c~-._Z9", "a%2Fb%2Bc~-._Z9" },
    { "%RMpp", "a/b+c", "a/b%2Bc" },
    { "%RMpq", "a/b+c", "a%2Fb+c" },
    { "%RMpf", "\xc3\xa9&=", "%C3%A9%26%3D" },
    { "%4RMpa|", "ab", "%20%20ab|" },
    { "%-4RMpa|", "ab", "ab%20%20|" },
};
// clang-format on

TEST(FormatRtEscape, Rows)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aEscapes); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aEscapes[i].pszFormat);
        EXPECT_EQ(fmt(g_aEscapes[i].pszFormat, g_aEscapes[i].pszArg), g_aEscapes[i].pszExpected);
    }
}

TEST(FormatRtEscape, CursorAndArguments)
{
    EXPECT_EQ(fmt("%RMes", (char *)nullptr), "&lt;NULL&gt;");
    EXPECT_EQ(fmt("%RMjs", (char *)0x30), "\"<NULL>\"");
    EXPECT_EQ(fmt("%RMpz|%d", 5), "|5"); /* two characters after M, no argument */
    EXPECT_EQ(fmt("%RMaz|%d", 5), "|5");
    EXPECT_EQ(fmt("%RMe|%d", 5), "5");   /* the letter after e is eaten */
    EXPECT_EQ(fmt("%RMq|%d", 5), "q|5"); /* unknown: cursor stays after M */
}

/*
 * Base names, big-endian UTF-16, function names.
 */

// clang-format off
const StrRowEsc g_aBaseNames[] = {
    { "%Rbn", "C:\\dir\\file.txt", "file.txt" },
    { "%Rbn", "C:\\dir\\", "dir\\" },
    { "%Rbn", "/usr/lib//", "lib//" },
    { "%Rbn", "file", "file" },
    { "%Rbn", "C:file", "file" },
    { "%Rbn", "\\\\", "\\\\" },
    { "%Rbn", "", "" },
    { "%Rbn", "a/b:c\\d", "d" },
    { "%20.2Rbn", "x/name", "name" }, /* width and precision ignored */
};
// clang-format on

TEST(FormatRtNames, BaseName)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aBaseNames); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aBaseNames[i].pszArg);
        EXPECT_EQ(fmt(g_aBaseNames[i].pszFormat, g_aBaseNames[i].pszArg),
                  g_aBaseNames[i].pszExpected);
    }
    EXPECT_EQ(fmt("%Rbn", (char *)0x1),
              byPtr("<00000001!BadBaseName>", "<0000000000000001!BadBaseName>"));
}

// clang-format off
const StrRowEsc g_aFnNames[] = {
    { "%Rfn", "int __cdecl RTFoo(int)", "RTFoo" },
    { "%Rfn", "void ns::Kls<int, char>::method(void)", "ns::Kls<int, char>::method" },
    { "%Rfn", "plain", "plain" },
    { "%Rfn", "static int\tdouble (foo)(x)", "foo)" },
    { "%Rfn", "f(x)", "f" },
    { "%Rfn", "", "" },
};
// clang-format on

TEST(FormatRtNames, FunctionName)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aFnNames); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << g_aFnNames[i].pszArg);
        EXPECT_EQ(fmt(g_aFnNames[i].pszFormat, g_aFnNames[i].pszArg), g_aFnNames[i].pszExpected);
    }
    EXPECT_EQ(fmt("%Rfn", (char *)nullptr), "<NULL>");
    EXPECT_EQ(fmt("%Rfx|%d", 3), "|3");
}

TEST(FormatRtNames, BigEndianUtf16)
{
    static const RTUTF16 s_wsz[] = { 0x4100, 0xe900, 0x3dd8, 0x00de, 0x4200, 0 }; /* A é 😀 B */
    EXPECT_EQ(fmt("%.5lRbs", s_wsz), "A\xc3\xa9\xf0\x9f\x98\x80"
                                     "B");
    EXPECT_EQ(fmt("%.100lRbs", s_wsz), "A\xc3\xa9\xf0\x9f\x98\x80"
                                       "B");
    EXPECT_EQ(fmt("%lRbs|", s_wsz), "|"); /* no precision: nothing */
    EXPECT_EQ(fmt("%4lRbs|", s_wsz), "    |");
    EXPECT_EQ(fmt("%7.2lRbs|", s_wsz), "     A\xc3\xa9|");
    EXPECT_EQ(fmt("%-4.2lRbs|", s_wsz), "A\xc3\xa9  |");
    /* A pair cut by the precision: the high half alone is invalid and nothing past it is read. */
    EXPECT_EQ(fmt("%.3lRbs|", s_wsz), "A\xc3\xa9\x7f|");
    static const RTUTF16 s_wszLone[] = { 0x00dc, 0x4300, 0 };
    EXPECT_EQ(fmt("%.2lRbs", s_wszLone), "\x7f"
                                         "C");
    EXPECT_EQ(fmt("%.10lRbs", (RTUTF16 *)nullptr), "<NULL>");
    EXPECT_EQ(fmt("%Rbs|%d", s_wsz, 4), "|4");
    EXPECT_EQ(fmt("%Rbq|%d", 4), "|4");
}

/*
 * Time spans, control registers, registered types.
 */

TEST(FormatRtMisc, TimeSpan)
{
    int64_t i64 = 1500000000;
    EXPECT_EQ(fmt("%RDtimespec", &i64), "1 500 000 000 ns");
    i64 = -12;
    EXPECT_EQ(fmt("%RDtimespec|", &i64), "-12 ns|");
    EXPECT_EQ(fmt("%RDtimespec", (void *)0x10),
              byPtr("<00000010!BadRD>", "<0000000000000010!BadRD>"));
    EXPECT_EQ(fmt("%RDtime|%d", 3), "time|3");
}

TEST(FormatRtMisc, ControlRegisters)
{
    struct
    {
        const char *pszFormat;
        uint64_t uValue;
        const char *pszExpected;
    } const aRows[] = {
        { "%RAx86[cr0]", 0x80000011, "80000011{PE,ET,PG}" },
        { "%#RAx86[cr0]", 0x80000011, "0x80000011{PE,ET,PG}" },
        { "%RAx86[cr0]", 0, "00000000" },
        { "%RAx86[cr0]", 0x80000008, "80000008{DE,PG}" },
        { "%RAx86[cr0]", 0x100, "00000100{unkn=100}" },
        { "%RAx86[cr0]", UINT64_C(0x100000021), "100000021{PE,NE,unkn=100000000}" },
        { "%RAx86[cr4]", 0x3406f8,
          "003406f8{DE,PSE,PAE,MCE,PGE,OSFXSR,OSXMMEEXCPT,OSXSAVE,SMEP,SMAP}" },
        { "%RAx86[cr4]", 0x2000, "00002000{VMXE}" },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << aRows[i].pszFormat);
        EXPECT_EQ(fmtArg(aRows[i].pszFormat, aRows[i].uValue, 64), aRows[i].pszExpected);
    }
    EXPECT_EQ(fmt("%RAx86[cr3]|%d", 3), "|3");
    EXPECT_EQ(fmt("%RAx64[cr0]|%d", 3), "|3");
    EXPECT_EQ(fmt("%RAx86[cr0|%d", 3), "x86[cr0|3"); /* no ']': cursor after A */
}

TEST(FormatRtMisc, RegisteredTypes)
{
    EXPECT_EQ(fmt("%R[any]|%d", (void *)nullptr, 3), "<missing:%R[any]>|3");
    EXPECT_EQ(fmt("%R[]|%d", (void *)nullptr, 3), "<missing:%R[]>|3");
    EXPECT_EQ(fmt("%R[a%d]", (void *)nullptr, 3), "a3]"); /* '%' ends the name: cursor after R[ */
    EXPECT_EQ(fmt("%R[a[b]", (void *)nullptr), "a[b]");
    EXPECT_EQ(fmt("%R[abc", (void *)nullptr), "abc");
}

} // namespace
