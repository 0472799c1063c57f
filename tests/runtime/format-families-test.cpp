/*
 * A program that names its own %R families and option value kinds: what it
 * names works, what it leaves out fails visibly and takes no argument, and
 * (where the linker can tell) the left-out parts are not in the program.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/getopt.h>

#include <gtest/gtest.h>

#include <string>

RTSTRFMT_FAMILIES(&g_RTStrFmtFamilyStatus, &g_RTStrFmtFamilyNames);
RTGETOPT_VALUE_KINDS(&g_RTGetOptKindsBool);

#if defined(__ELF__)
/* Weak references pull nothing in: null when no other object references them. */
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyInts __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilySizedInts __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyRtTypes __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyHex __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilySize __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyStatusMsg __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyEscape __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyMisc __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyFloat __attribute__((weak));
extern const struct RTSTRFMTFAMILY g_RTStrFmtFamilyCustom __attribute__((weak));
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsInt __attribute__((weak));
extern const struct RTGETOPTVALUEKINDS g_RTGetOptKindsPair __attribute__((weak));
#endif

namespace {

std::string fmt(const char *pszFormat, ...)
{
    char szBuf[256];
    va_list va;
    va_start(va, pszFormat);
    RTStrFmtToBufV(szBuf, sizeof(szBuf), pszFormat, va);
    va_end(va);
    return szBuf;
}

TEST(FormatFamilies, NamedFamiliesPrint)
{
    EXPECT_EQ(fmt("%Rrc", KERR_OPT_UNKNOWN), "KERR_OPT_UNKNOWN");
    EXPECT_EQ(fmt("%Rwc", 5u), "0x5");
    EXPECT_EQ(fmt("%Rbn", "C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(fmt("%Rfn", "int main(void)"), "main");
}

/* A left-out family names itself and leaves its argument to the next conversion. */
TEST(FormatFamilies, LeftOutFamiliesAreVisible)
{
    struct Row
    {
        const char *pszFormat;
        const char *pszExpected;
    };
    // clang-format off
    static const Row s_aRows[] = {
        { "%RX32 %d", "<missing:%RX>32 7" },
        { "%RTbool %d", "<missing:%RT>bool 7" },
        { "%Rhxs %d", "<missing:%Rh>xs 7" },
        { "%RMjs %d", "<missing:%RM>js 7" },
        { "%RDtimespec %d", "<missing:%RD>timespec 7" },
        { "%RAx86[cr0] %d", "<missing:%RA>x86[cr0] 7" },
        /* Two-character starts: the status family is in, its messages are not. */
        { "%Rrs %d", "<missing:%Rrs> 7" },
        { "%Rra %d", "<missing:%Rra> 7" },
        { "%Rhcb %d", "<missing:%Rhc>b 7" },
        /* Floating point is a family of its own, found by the conversion character. */
        { "%f %d", "<missing:%f> 7" },
        { "%-8.3LG %d", "<missing:%G> 7" },
        /* Types registered by name are a family whose names start with '['. */
        { "%R[any] %d", "<missing:%R[>any] 7" },
        /* Not a family at all: as in every program, the name prints as text. */
        { "%RZz %d", "z 7" },
        { "%R", "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszFormat);
        EXPECT_EQ(fmt(s_aRows[i].pszFormat, 7), s_aRows[i].pszExpected);
    }
}

TEST(FormatFamilies, LeftOutPartsAreNotLinked)
{
#if defined(__ELF__)
    EXPECT_EQ(&g_RTStrFmtFamilyInts, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilySizedInts, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyRtTypes, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyHex, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilySize, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyStatusMsg, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyEscape, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyMisc, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyFloat, nullptr);
    EXPECT_EQ(&g_RTStrFmtFamilyCustom, nullptr);
    EXPECT_EQ(&g_RTGetOptKindsInt, nullptr);
    EXPECT_EQ(&g_RTGetOptKindsPair, nullptr);
#else
    GTEST_SKIP() << "weak references are checked on ELF targets";
#endif
}

int parseOne(const char *pszArg, uint32_t fKind, RTOPTIONVALUE *pValue)
{
    const RTOPTIONDEF aOpts[] = { { "--opt", 'o', fKind } };
    char szProg[] = "prog";
    char szOpt[] = "--opt";
    /* The value points into argv: it must outlive the call. */
    static std::string s_strArg;
    s_strArg = pszArg;
    char *apszArgv[] = { szProg, szOpt, &s_strArg[0], nullptr };
    RTOPTIONSTATE State;
    EXPECT_EQ(RTGetOptInit(&State, 3, apszArgv, aOpts, 1, 1, RTGETOPTINIT_F_NO_STD_OPTS), 0);
    return RTGetOpt(&State, pValue);
}

TEST(GetOptValueKinds, NamedKindsConvertLeftOutKindsFail)
{
    RTOPTIONVALUE Value;
    EXPECT_EQ(parseOne("yes", RTGETOPT_REQ_BOOL, &Value), 'o');
    EXPECT_TRUE(Value.f);
    EXPECT_EQ(parseOne("text", RTGETOPT_REQ_STRING, &Value), 'o');
    EXPECT_STREQ(Value.psz, "text");
    /* Not linked: refused as an unknown kind, never converted wrongly. */
    EXPECT_EQ(parseOne("42", RTGETOPT_REQ_UINT32, &Value), KERR_INTERNAL_ERROR);
    EXPECT_EQ(parseOne("1/2", RTGETOPT_REQ_UINT32_PAIR, &Value), KERR_INTERNAL_ERROR);
    EXPECT_EQ(parseOne("1.2.3.4", RTGETOPT_REQ_IPV4ADDR, &Value), KERR_INTERNAL_ERROR);
}

} // namespace
