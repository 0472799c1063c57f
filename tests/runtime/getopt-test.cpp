/*
 * The option parser.  Most rows run an argument vector to the end (or to the
 * first error) and compare a trace of every result - id, index, converted
 * value, status and what the value record holds - with the expected one.
 * Value kinds get their own table of accepted and rejected inputs.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/getopt.h>

namespace {

const RTOPTIONDEF g_aOpts[] = // clang-format off
{
    { "--path",         'p',  RTGETOPT_REQ_STRING },
    { "-path",          'p',  RTGETOPT_REQ_STRING },
    { "/path",          'p',  RTGETOPT_REQ_STRING },
    { "--silent",       's',  RTGETOPT_REQ_NOTHING },
    { "--verbose",      'v',  RTGETOPT_REQ_NOTHING },
    { "--int",          'i',  RTGETOPT_REQ_INT32 },
    { "--u8",           'u',  RTGETOPT_REQ_UINT8 },
    { "--hex",          'x',  RTGETOPT_REQ_UINT32 | RTGETOPT_FLAG_HEX },
    { "--bool",         'b',  RTGETOPT_REQ_BOOL },
    { "--onoff",        'o',  RTGETOPT_REQ_BOOL_ONOFF },
    { "--disk",         'd',  RTGETOPT_REQ_STRING | RTGETOPT_FLAG_INDEX },
    { "--nic",          'n',  RTGETOPT_REQ_NOTHING | RTGETOPT_FLAG_INDEX | RTGETOPT_FLAG_INDEX_DEF_0
                              | RTGETOPT_FLAG_INDEX_DEF_DASH },
    { "--port",         'r',  RTGETOPT_REQ_UINT16 | RTGETOPT_FLAG_INDEX | RTGETOPT_FLAG_INDEX_DEF_2 },
    { "--slot",         'l',  RTGETOPT_REQ_NOTHING | RTGETOPT_FLAG_INDEX },
    { "--Case",         'c',  RTGETOPT_REQ_NOTHING | RTGETOPT_FLAG_ICASE },
    { "--bad",          'B',  12 },
    { "--badradix",     'R',  RTGETOPT_REQ_STRING | RTGETOPT_FLAG_HEX },
    { "--msi-log-file", 1000, RTGETOPT_REQ_STRING },
    { "--msi-prop",     'P',  RTGETOPT_REQ_STRING },
    { nullptr,          'q',  RTGETOPT_REQ_NOTHING },
};
// clang-format on

/* An argv the parser may reorder, with its strings kept alive. */
struct Args
{
    std::vector<std::string> vecStrings;
    std::vector<char *> vecArgv;

    explicit Args(std::vector<std::string> const &vec) : vecStrings(vec)
    {
        for (std::string &str : vecStrings)
            vecArgv.push_back(&str[0]);
        vecArgv.push_back(nullptr);
    }
    int argc() const { return (int)vecStrings.size(); }
    char **argv() { return vecArgv.data(); }
    std::string order() const
    {
        std::string str;
        for (size_t i = 0; i + 1 < vecArgv.size(); i++)
            str += (i ? " " : "") + std::string(vecArgv[i]);
        return str;
    }
};

std::string idText(int id)
{
    if (id > ' ' && id < 0x7f)
        return std::string(1, (char)id);
    return std::to_string(id);
}

/* The converted value as text, by the definition's kind. */
std::string valueText(uint32_t fFlags, RTOPTIONVALUE const &Value)
{
    switch (fFlags & RTGETOPT_REQ_MASK)
    {
        case RTGETOPT_REQ_NOTHING: return "";
        case RTGETOPT_REQ_STRING: return "=" + std::string(Value.psz);
        case RTGETOPT_REQ_INT32: return "=" + std::to_string(Value.i32);
        case RTGETOPT_REQ_UINT8: return "=" + std::to_string(Value.u8);
        case RTGETOPT_REQ_UINT16: return "=" + std::to_string(Value.u16);
        case RTGETOPT_REQ_UINT32: return "=" + std::to_string(Value.u32);
        case RTGETOPT_REQ_BOOL:
        case RTGETOPT_REQ_BOOL_ONOFF: return Value.f ? "=1" : "=0";
        default: return "=?";
    }
}

/* One result: "p=x" (option, value), "n#2" (index), "@arg", "?text", "E-826{--path}". */
std::string resultText(RTOPTIONSTATE const &State, int rc, RTOPTIONVALUE const &Value)
{
    if (rc == KINF_OPT_NOT_AN_OPTION)
        return "@" + std::string(Value.psz);
    if (rc == KERR_OPT_UNKNOWN)
        return "?" + std::string(Value.psz);
    if (rc < 0)
    {
        if (rc == KERR_OPT_VALUE_MISSING || rc == KERR_OPT_BAD_VALUE_FORMAT
            || rc == KERR_OPT_INDEX_MISSING || rc == KERR_INTERNAL_ERROR)
        {
            std::string const strDef = !Value.pDef           ? "null"
                                       : Value.pDef->pszLong ? Value.pDef->pszLong
                                                             : idText(Value.pDef->iShort);
            return "E" + std::to_string(rc) + "{" + strDef + "}";
        }
        return "E" + std::to_string(rc) + "(" + Value.psz + ")";
    }
    EXPECT_TRUE(State.pDef != nullptr);
    if (!State.pDef)
        return "no-def";
    EXPECT_EQ(State.pDef->iShort, rc);
    std::string str = idText(rc);
    if (State.uIndex != UINT32_MAX)
        str += "#" + std::to_string(State.uIndex);
    return str + valueText(State.pDef->fFlags, Value);
}

/* Runs the parser to the end or the first error; results joined by blanks. */
std::string trace(Args &args, uint32_t fFlags, PCRTOPTIONDEF paOpts = g_aOpts,
                  uint32_t cOpts = RT_ELEMENTS(g_aOpts))
{
    RTOPTIONSTATE State;
    EXPECT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), paOpts, cOpts, 0, fFlags), 0);
    std::string str;
    for (int cCalls = 0; cCalls < 64; cCalls++)
    {
        RTOPTIONVALUE Value;
        int const rc = RTGetOpt(&State, &Value);
        if (rc == 0)
            return str;
        str += (str.empty() ? "" : " ") + resultText(State, rc, Value);
        if (rc < 0)
            return str;
    }
    return str + " <endless>";
}

struct TraceRow
{
    std::vector<std::string> vecArgs;
    std::string strTrace;
};

void runTraceRows(std::vector<TraceRow> const &vecRows, uint32_t fFlags)
{
    for (size_t i = 0; i < vecRows.size(); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Args(vecRows[i].vecArgs).order());
        Args args(vecRows[i].vecArgs);
        EXPECT_EQ(trace(args, fFlags), vecRows[i].strTrace);
    }
}

const char g_szEmDash[] = "\xe2\x80\x94";
const char g_szEnDash[] = "\xe2\x80\x93";
const char g_szMinus[] = "\xe2\x88\x92";  /* U+2212 */
const char g_szFwDash[] = "\xef\xbc\x8d"; /* U+FF0D */
const char g_szEAcute[] = "\xc3\xa9";

TEST(GetOpt, Spellings)
{
    runTraceRows(
        {
            { { "--path=x" }, "p=x" },
            { { "--path:x" }, "p=x" },
            { { "--path", "x" }, "p=x" },
            { { "-px" }, "p=x" },
            { { "-p=x" }, "p=x" },
            { { "-p:x" }, "p=x" },
            { { "-p", "x" }, "p=x" },
            { { "/path=x" }, "p=x" },
            { { "--path=" }, "p=" },
            { { "--path=a=b:c" }, "p=a=b:c" },
            { { "--path", "--silent" }, "p=--silent" },
            { { "--path" }, "E-826{--path}" },
            { { "-p" }, "E-826{--path}" },
            { { "--silent", "-p" }, "s E-826{--path}" },
            { { "--pathx" }, "?--pathx" },
            { { "-pathx" }, "p=athx" },
            { { "-path", "x" }, "p=x" },
            { { "--silent=1" }, "?--silent=1" },
            { { "--msi-log-file=a b" }, "1000=a b" },
            { { "-q" }, "q" },
            { { "--SILENT" }, "?--SILENT" },
            { { "--CASE", "--case", "--cAsE" }, "c c c" },
            { { "--Cas" }, "?--Cas" },
        },
        0);
}

TEST(GetOpt, ShortBundles)
{
    runTraceRows(
        {
            { { "-sv" }, "s v" },
            { { "-svs" }, "s v s" },
            { { "-sq" }, "s q" },
            { { "-sz", "x" }, "s ?z" },
            { { "-spx" }, "s p=x" },
            { { "-sp", "x" }, "s p=x" },
            { { "-sp" }, "s E-826{--path}" },
            { { "-sp=x" }, "s p=x" },
            { { "-s=x" }, "s ?=x" },
            { { std::string("-s") + g_szEAcute }, std::string("s ?") + g_szEAcute },
            { { "-i5" }, "i=5" },
            { { "-si0x1f" }, "s i=31" },
            { { "-svi" }, "s v E-826{--int}" },
        },
        0);
}

TEST(GetOpt, PlainArgumentsAndEndMarker)
{
    runTraceRows(
        {
            { { "-" }, "?-" },
            { { "" }, "@" },
            { { "a", "-s", "b" }, "@a s @b" },
            { { "--", "--path", "-s", "--" }, "@--path @-s @--" },
            { { "-s", "--" }, "s" },
            { { "--", "" }, "@" },
            { { "---" }, "?---" },
            { { "-z" }, "?-z" },
            { { "/z" }, "@/z" },
            { { std::string(g_szEmDash) + "zz" }, std::string("@") + g_szEmDash + "zz" },
            { { "\xff" }, "E-61(\xff)" },
            { { "\xed\xa0\x80" }, "E-60(\xed\xa0\x80)" },
        },
        0);
}

TEST(GetOpt, StandardOptions)
{
    runTraceRows(
        {
            { { "-?" }, "h" },
            { { "-h" }, "h" },
            { { "--help", "-help" }, "h h" },
            { { "--version", "-version", "-V" }, "V V V" },
            { { "--HELP" }, "?--HELP" },
            { { std::string(g_szEmDash) + g_szEmDash + "help" }, "h" },
            { { std::string(g_szEmDash) + "-help" }, "h" },
        },
        0);
    runTraceRows(
        {
            { { "--help" }, "?--help" },
            { { "-help" }, "?-help" },
            { { "-?" }, "?-?" },
            { { "-h" }, "?-h" },
            { { "-V" }, "?-V" },
        },
        RTGETOPTINIT_F_NO_STD_OPTS);

    /* The caller's own '?' comes first. */
    static const RTOPTIONDEF s_aOwn[] = { { "/?", '?', RTGETOPT_REQ_NOTHING } };
    Args args({ "-?", "/?", "--help" });
    EXPECT_EQ(trace(args, 0, s_aOwn, RT_ELEMENTS(s_aOwn)), "? ? h");
}

TEST(GetOpt, DashLookAlikes)
{
    runTraceRows(
        {
            { { std::string(g_szEnDash) + g_szEnDash + "silent" }, "s" },
            { { std::string(g_szMinus) + "-verbose" }, "v" },
            { { std::string("-") + g_szFwDash + "path=x" }, "p=x" },
            { { std::string(g_szFwDash) + "s" }, "s" },
            { { std::string(g_szEmDash) + "px" }, "p=x" },
            { { std::string("--nic") + g_szEnDash + "3" }, "n#3" },
            /* The dash rule is for the name only: "--" must be typed as "--" or look-alikes of both. */
            { { std::string("-") + g_szEAcute + "silent" },
              std::string("?-") + g_szEAcute + "silent" },
            { { std::string(g_szEmDash) + g_szEmDash, "-s" }, "@-s" },
            { { "\xe2\x80\x15"
                "-silent" },
              "E-61(\xe2\x80\x15-silent)" },
        },
        0);
}

TEST(GetOpt, IndexedOptions)
{
    runTraceRows(
        {
            { { "--disk3=x" }, "d#3=x" },
            { { "--disk3:x" }, "d#3=x" },
            { { "--disk3", "x" }, "d#3=x" },
            { { "--disk4294967294=x" }, "d#4294967294=x" },
            { { "--disk4294967295=x" }, "E-827{--disk}" }, /* the "no index" value */
            { { "--disk4294967296=x" }, "E-827{--disk}" },
            { { "--disk" }, "E-829{--disk}" },
            { { "--disk=x" }, "E-827{--disk}" },
            { { "--disk3" }, "E-826{--disk}" },
            { { "--disk-3=x" }, "?--disk-3=x" },
            { { "--disk3x" }, "?--disk3x" },
            { { "--nic" }, "n#0" },
            { { "--nic2", "--nic-7", "--nic007" }, "n#2 n#7 n#7" },
            { { "--nic-" }, "?--nic-" },
            { { "--nic2=x" }, "?--nic2=x" },
            { { "--nic99999999999" }, "E-827{--nic}" },
            { { "--slot4" }, "l#4" },
            { { "--slot" }, "E-829{--slot}" },
            { { "--port=80" }, "r#2=80" },
            { { "--port", "80" }, "r#2=80" },
            { { "--port5=80" }, "r#5=80" },
            { { "--port2=70000" }, "E-827{--port}" },
            { { "-d", "x" }, "d=x" },
        },
        0);
}

/* Converted values reached through every spelling; the kinds themselves have their own table. */
TEST(GetOpt, ValuesThroughSpellings)
{
    runTraceRows(
        {
            { { "--int", "-5", "-i", "7", "-i0x1f" }, "i=-5 i=7 i=31" },
            { { "--u8:256" }, "E-827{--u8}" },
            { { "--hex=1F", "-x0x20", "-x:ff" }, "x=31 x=32 x=255" },
            { { "--bool", "Tr" }, "?Tr" },
            { { "--onoff=ON", "-ooFf", "-o=o" }, "o=1 o=0 ?o" },
            { { "--bad=1" }, "E-225{--bad}" },
            { { "--bad" }, "E-826{--bad}" },
        },
        0);
}

TEST(GetOpt, Permute)
{
    struct PermuteRow
    {
        std::vector<std::string> vecArgs;
        std::string strTrace;
        std::string strOrder; /* argv afterwards */
    };
    const PermuteRow aRows[] = // clang-format off
    {
        { { "a", "--silent", "b", "-p", "x", "c" }, "s p=x @a @b @c", "--silent -p x a b c" },
        { { "a", "b", "--path", "x" }, "p=x @a @b", "--path x a b" },
        { { "a", "-sv", "b" }, "s v @a @b", "-sv a b" },
        { { "a", "-sp", "x", "b" }, "s p=x @a @b", "-sp x a b" },
        { { "a", "--", "-s", "b" }, "@a @-s @b", "-- a -s b" },
        { { "a", "-s", "--", "-v", "b", "-v" }, "s @a @-v @b @-v", "-s -- a -v b -v" },
        { { "a", "--path" }, "E-826{--path}", "--path a" },
        { { "a", "-zz", "b" }, "?-zz", "-zz a b" },
        { { "a", std::string(g_szEmDash) + "zz" }, std::string("?") + g_szEmDash + "zz",
          "\xe2\x80\x94zz a" },
        { { "a", "b", "c" }, "@a @b @c", "a b c" },
        { { "--disk1", "a", "x" }, "d#1=a @x", "--disk1 a x" },
        { { }, "", "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        Args args(aRows[i].vecArgs);
        EXPECT_EQ(trace(args, RTGETOPTINIT_F_PERMUTE), aRows[i].strTrace);
        EXPECT_EQ(args.order(), aRows[i].strOrder);
    }
}

TEST(GetOpt, StateAcrossCalls)
{
    Args args({ "prog", "-sv", "-zq", "x" });
    RTOPTIONSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 1, 0),
              0);
    EXPECT_EQ(State.iNext, 1);
    EXPECT_EQ(State.uIndex, UINT32_MAX);
    EXPECT_EQ(State.pDef, nullptr);
    EXPECT_EQ(State.cNonOptions, 0);

    RTOPTIONVALUE Value;
    EXPECT_EQ(RTGetOpt(&State, &Value), 's');
    EXPECT_EQ(State.iNext, 1); /* still working through "-sv" */
    EXPECT_STREQ(State.pszNextShort, "v");
    EXPECT_EQ(State.pDef, &g_aOpts[3]);
    EXPECT_EQ(RTGetOpt(&State, &Value), 'v');
    EXPECT_EQ(State.iNext, 2);
    EXPECT_EQ(State.pszNextShort, nullptr);

    /* "-zq": unknown at once, the whole argument is the text. */
    EXPECT_EQ(RTGetOpt(&State, &Value), KERR_OPT_UNKNOWN);
    EXPECT_STREQ(Value.psz, "-zq");
    EXPECT_EQ(State.pDef, nullptr);
    EXPECT_EQ(RTGetOpt(&State, &Value), KINF_OPT_NOT_AN_OPTION);
    EXPECT_EQ(Value.psz, args.argv()[3]);
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
}

/*
 * An unknown character inside a bundle must not pin the parser to it: a
 * caller that reports the error and goes on reaches the next argument.
 */
TEST(GetOpt, UnknownInBundleMovesOn)
{
    Args args({ "-sz", "-v" });
    RTOPTIONSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 0, 0),
              0);
    RTOPTIONVALUE Value;
    EXPECT_EQ(RTGetOpt(&State, &Value), 's');
    EXPECT_EQ(RTGetOpt(&State, &Value), KERR_OPT_UNKNOWN);
    EXPECT_STREQ(Value.psz, "z");
    EXPECT_EQ(RTGetOpt(&State, &Value), 'v');
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
}

TEST(GetOpt, ValueRecordOnErrors)
{
    struct Row
    {
        std::vector<std::string> vecArgs;
        int rc;
        PCRTOPTIONDEF pDef; /* expected first word, when it is a definition */
        size_t iText;       /* otherwise the argv entry it points to */
    };
    const Row aRows[] = // clang-format off
    {
        { { "--path" },        KERR_OPT_VALUE_MISSING,    &g_aOpts[0],  0 },
        { { "-p" },            KERR_OPT_VALUE_MISSING,    &g_aOpts[0],  0 },
        { { "--int=x" },       KERR_OPT_BAD_VALUE_FORMAT, &g_aOpts[5],  0 },
        { { "--disk" },        KERR_OPT_INDEX_MISSING,    &g_aOpts[10], 0 },
        { { "--bad=1" },       KERR_INTERNAL_ERROR,       &g_aOpts[15], 0 },
        { { "--nope" },        KERR_OPT_UNKNOWN,          nullptr,      0 },
        { { "x" },             KINF_OPT_NOT_AN_OPTION,    nullptr,      0 },
        { { "--bool", "maybe" }, KERR_OPT_UNKNOWN,        nullptr,      1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        Args args(aRows[i].vecArgs);
        RTOPTIONSTATE State;
        ASSERT_EQ(
            RTGetOptInit(&State, args.argc(), args.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 0, 0), 0);
        RTOPTIONVALUE Value;
        memset(&Value, 0xee, sizeof(Value));
        EXPECT_EQ(RTGetOpt(&State, &Value), aRows[i].rc);
        if (aRows[i].pDef)
        {
            EXPECT_EQ(Value.pDef, aRows[i].pDef);
        }
        else
        {
            EXPECT_EQ(Value.psz, args.argv()[aRows[i].iText]);
        }
        EXPECT_EQ(State.pDef, nullptr);
        EXPECT_EQ(State.uIndex, UINT32_MAX);
    }
}

TEST(GetOpt, InitRejectsBadArguments)
{
    RTOPTIONSTATE State;
    char *apsz[] = { nullptr };
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, g_aOpts, 1, 0, 4), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, g_aOpts, 1, 0, UINT32_C(0x80000000)),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, -1, apsz, g_aOpts, 1, 0, 0), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, g_aOpts, 1, -1, 0), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, nullptr, 1, 0, 0), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, nullptr, 0, 0, 3), 0);
    RTOPTIONVALUE Value;
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
}

TEST(GetOpt, TakeValue)
{
    RTOPTIONSTATE State;
    RTOPTIONVALUE Value;

    /* The installer's --msi-prop NAME VALUE; the second value may look like an option. */
    Args args({ "--msi-prop", "NAME", "--x", "--msi-prop", "N" });
    ASSERT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 0, 0),
              0);
    EXPECT_EQ(RTGetOpt(&State, &Value), 'P');
    EXPECT_STREQ(Value.psz, "NAME");
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, 0), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING | UINT32_C(0x100)),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING | UINT32_C(0x1000000)),
              KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING), 0);
    EXPECT_STREQ(Value.psz, "--x");
    EXPECT_EQ(RTGetOpt(&State, &Value), 'P');
    memset(&Value, 0xee, sizeof(Value));
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING), KERR_OPT_VALUE_MISSING);
    EXPECT_EQ(Value.pDef, nullptr);
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);

    /* A conversion failure names the option returned last. */
    Args args2({ "--msi-prop", "N", "abc", "0x10" });
    ASSERT_EQ(RTGetOptInit(&State, args2.argc(), args2.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 0, 0),
              0);
    EXPECT_EQ(RTGetOpt(&State, &Value), 'P');
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_INT32), KERR_OPT_BAD_VALUE_FORMAT);
    EXPECT_EQ(Value.pDef, &g_aOpts[18]);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_INT32), 0);
    EXPECT_EQ(Value.i32, 16);

    /* Permute mode: the value comes from after the option, not from the held-back arguments. */
    Args args3({ "a", "--msi-prop", "N", "V", "b" });
    ASSERT_EQ(RTGetOptInit(&State, args3.argc(), args3.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 0,
                           RTGETOPTINIT_F_PERMUTE),
              0);
    EXPECT_EQ(RTGetOpt(&State, &Value), 'P');
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING), 0);
    EXPECT_STREQ(Value.psz, "V");
    EXPECT_EQ(RTGetOpt(&State, &Value), KINF_OPT_NOT_AN_OPTION);
    EXPECT_STREQ(Value.psz, "a");
    EXPECT_EQ(RTGetOpt(&State, &Value), KINF_OPT_NOT_AN_OPTION);
    EXPECT_STREQ(Value.psz, "b");
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);

    /* In the middle of a bundle the value is the argument after it, and the bundle goes on. */
    for (uint32_t fFlags : { UINT32_C(0), RTGETOPTINIT_F_PERMUTE })
    {
        SCOPED_TRACE(fFlags);
        Args args4({ "a", "-sv", "X", "b" });
        ASSERT_EQ(RTGetOptInit(&State, args4.argc(), args4.argv(), g_aOpts, RT_ELEMENTS(g_aOpts), 1,
                               fFlags),
                  0);
        EXPECT_EQ(RTGetOpt(&State, &Value), 's');
        EXPECT_EQ(RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING), 0);
        EXPECT_STREQ(Value.psz, "X");
        EXPECT_EQ(RTGetOpt(&State, &Value), 'v');
        EXPECT_EQ(RTGetOpt(&State, &Value), KINF_OPT_NOT_AN_OPTION);
        EXPECT_STREQ(Value.psz, "b");
        EXPECT_EQ(RTGetOpt(&State, &Value), 0);
    }
}

/* Value kinds: one option of the row's flags, given the row's text. */
struct KindRow
{
    uint32_t fFlags;
    const char *pszValue;
    int rc;                /* 0 for success */
    const char *pszExpect; /* the value as text on success */
};

std::string hex2(uint8_t b)
{
    static const char s_szHex[] = "0123456789abcdef";
    return std::string(1, s_szHex[b >> 4]) + s_szHex[b & 15];
}

std::string ipv4Text(RTNETADDRIPV4 const &Addr)
{
    return std::to_string(Addr.au8[0]) + "." + std::to_string(Addr.au8[1]) + "."
           + std::to_string(Addr.au8[2]) + "." + std::to_string(Addr.au8[3]);
}

std::string kindText(uint32_t fFlags, RTOPTIONVALUE const &V)
{
    std::string str;
    switch (fFlags & RTGETOPT_REQ_MASK)
    {
        case RTGETOPT_REQ_INT8: return std::to_string(V.i8);
        case RTGETOPT_REQ_UINT8: return std::to_string(V.u8);
        case RTGETOPT_REQ_INT16: return std::to_string(V.i16);
        case RTGETOPT_REQ_UINT16: return std::to_string(V.u16);
        case RTGETOPT_REQ_INT32: return std::to_string(V.i32);
        case RTGETOPT_REQ_UINT32: return std::to_string(V.u32);
        case RTGETOPT_REQ_INT64: return std::to_string(V.i64);
        case RTGETOPT_REQ_UINT64: return std::to_string(V.u64);
        case RTGETOPT_REQ_IPV4ADDR: return ipv4Text(V.IPv4Addr);
        case RTGETOPT_REQ_IPV4CIDR:
            return ipv4Text(V.CidrNetworkAddr.IPv4Network) + "/"
                   + ipv4Text(V.CidrNetworkAddr.IPv4Netmask);
        case RTGETOPT_REQ_MACADDR:
            for (unsigned i = 0; i < 6; i++)
                str += (i ? ":" : "") + hex2(V.MacAddr.au8[i]);
            return str;
        case RTGETOPT_REQ_UUID:
        {
            /* Printed from the GUID fields, so the layout is checked too. */
            char sz[40];
            snprintf(sz, sizeof(sz), "%08x-%04x-%04x-", V.Uuid.Gen.u32TimeLow,
                     V.Uuid.Gen.u16TimeMid, V.Uuid.Gen.u16TimeHiAndVersion);
            str = sz;
            for (unsigned i = 0; i < 8; i++)
                str += (i == 2 ? "-" : "") + hex2(V.Uuid.Gen.au8Node[i]);
            return str;
        }
        case RTGETOPT_REQ_BOOL_ONOFF:
        case RTGETOPT_REQ_BOOL: return V.f ? "1" : "0";
        case RTGETOPT_REQ_UINT32_PAIR:
        case RTGETOPT_REQ_UINT32_OPTIONAL_PAIR:
            return std::to_string(V.PairU32.uFirst) + "," + std::to_string(V.PairU32.uSecond);
        case RTGETOPT_REQ_UINT64_PAIR:
        case RTGETOPT_REQ_UINT64_OPTIONAL_PAIR:
            return std::to_string(V.PairU64.uFirst) + "," + std::to_string(V.PairU64.uSecond);
        default: return "?";
    }
}

const uint32_t HEX = RTGETOPT_FLAG_HEX;
const uint32_t OCT = RTGETOPT_FLAG_OCT;
const uint32_t DEC = RTGETOPT_FLAG_DEC;
const int BAD = KERR_OPT_BAD_VALUE_FORMAT;
const int UNK = KERR_OPT_UNKNOWN;
const int INT = KERR_INTERNAL_ERROR;

const KindRow g_aKindRows[] = // clang-format off
{
    { RTGETOPT_REQ_INT8,   "-128", 0, "-128" },
    { RTGETOPT_REQ_INT8,   "127", 0, "127" },
    { RTGETOPT_REQ_INT8,   "128", BAD, nullptr },
    { RTGETOPT_REQ_INT8,   "0x7f", 0, "127" },
    { RTGETOPT_REQ_INT8,   "0x80", BAD, nullptr },
    { RTGETOPT_REQ_INT8,   "-0x1", BAD, nullptr },
    { RTGETOPT_REQ_UINT8,  "255", 0, "255" },
    { RTGETOPT_REQ_UINT8,  "0XFF", 0, "255" },
    { RTGETOPT_REQ_UINT8,  "256", BAD, nullptr },
    { RTGETOPT_REQ_UINT8,  "-1", BAD, nullptr },
    { RTGETOPT_REQ_INT16,  "-32768", 0, "-32768" },
    { RTGETOPT_REQ_INT16,  "32768", BAD, nullptr },
    { RTGETOPT_REQ_UINT16, "65535", 0, "65535" },
    { RTGETOPT_REQ_UINT16, "0x10000", BAD, nullptr },
    { RTGETOPT_REQ_INT32,  "0x1F", 0, "31" },
    { RTGETOPT_REQ_INT32,  "1F", BAD, nullptr },
    { RTGETOPT_REQ_INT32,  "+12", 0, "12" },
    { RTGETOPT_REQ_INT32,  "", BAD, nullptr },
    { RTGETOPT_REQ_INT32,  " 1", BAD, nullptr },
    { RTGETOPT_REQ_INT32,  "1 ", BAD, nullptr },
    { RTGETOPT_REQ_INT32,  "0x", BAD, nullptr },
    { RTGETOPT_REQ_UINT32, "4294967295", 0, "4294967295" },
    { RTGETOPT_REQ_UINT32, "4294967296", BAD, nullptr },
    { RTGETOPT_REQ_INT64,  "-9223372036854775808", 0, "-9223372036854775808" },
    { RTGETOPT_REQ_INT64,  "9223372036854775808", BAD, nullptr },
    { RTGETOPT_REQ_UINT64, "18446744073709551615", 0, "18446744073709551615" },
    { RTGETOPT_REQ_UINT64, "0xFFFFFFFFFFFFFFFF", 0, "18446744073709551615" },
    { RTGETOPT_REQ_UINT64, "18446744073709551616", BAD, nullptr },
    { RTGETOPT_REQ_UINT32 | HEX, "ff", 0, "255" },
    { RTGETOPT_REQ_UINT32 | HEX, "0xff", 0, "255" },
    { RTGETOPT_REQ_UINT32 | HEX, "10", 0, "16" },
    { RTGETOPT_REQ_UINT32 | OCT, "17", 0, "15" },
    { RTGETOPT_REQ_UINT32 | OCT, "8", BAD, nullptr },
    { RTGETOPT_REQ_UINT32 | OCT, "0x10", BAD, nullptr },
    { RTGETOPT_REQ_UINT32 | DEC, "010", 0, "10" },
    { RTGETOPT_REQ_UINT32 | DEC, "0x10", BAD, nullptr },
    { RTGETOPT_REQ_UINT32 | HEX | OCT, "1", INT, nullptr },
    { RTGETOPT_REQ_UINT32 | HEX | OCT | DEC, "1", INT, nullptr },
    { RTGETOPT_REQ_STRING | HEX, "1", INT, nullptr },
    { RTGETOPT_REQ_BOOL | DEC, "1", INT, nullptr },
    { 12, "1", INT, nullptr },
    { 13, "1", INT, nullptr },
    { 22, "1", INT, nullptr },
    { 31, "1", INT, nullptr },

    { RTGETOPT_REQ_IPV4ADDR, "10.0.0.1", 0, "10.0.0.1" },
    { RTGETOPT_REQ_IPV4ADDR, " \t192.168.1.255 \t", 0, "192.168.1.255" },
    { RTGETOPT_REQ_IPV4ADDR, "0.0.0.0", 0, "0.0.0.0" },
    { RTGETOPT_REQ_IPV4ADDR, "256.0.0.1", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "1.2.3", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "1.2.3.4.5", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "01.2.3.4", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "1.2.3.4x", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "1..3.4", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "1.2.3.0004", BAD, nullptr },
    { RTGETOPT_REQ_IPV4ADDR, "", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.0/8", 0, "10.0.0.0/255.0.0.0" },
    { RTGETOPT_REQ_IPV4CIDR, "192.168.4.0/22", 0, "192.168.4.0/255.255.252.0" },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.1", 0, "10.0.0.1/255.255.255.255" },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.1/32", 0, "10.0.0.1/255.255.255.255" },
    { RTGETOPT_REQ_IPV4CIDR, " 0.0.0.0/0 ", 0, "0.0.0.0/0.0.0.0" },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.1/8", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "1.0.0.0/0", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.0/33", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.0/", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.0/08", BAD, nullptr },
    { RTGETOPT_REQ_IPV4CIDR, "10.0.0.0/100", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "00:1a:2B:3c:4d:5e", 0, "00:1a:2b:3c:4d:5e" },
    { RTGETOPT_REQ_MACADDR, "001A2B3C4D5E", 0, "00:1a:2b:3c:4d:5e" },
    { RTGETOPT_REQ_MACADDR, "0:1:2:3:4:f", 0, "00:01:02:03:04:0f" },
    { RTGETOPT_REQ_MACADDR, ":::::", 0, "00:00:00:00:00:00" },
    { RTGETOPT_REQ_MACADDR, " \t00:11:22:33:44:55 ", 0, "00:11:22:33:44:55" },
    { RTGETOPT_REQ_MACADDR, "00:11:22:33:44", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "00:11:22:33:44:55:66", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "001:1:2:3:4:5", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "00112233445", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "0011223344556", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "00-11-22-33-44-55", BAD, nullptr },
    { RTGETOPT_REQ_MACADDR, "", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee00-1234-5678-9abc-def012345678", 0, "c0ffee00-1234-5678-9abc-def012345678" },
    { RTGETOPT_REQ_UUID, "{C0FFEE00-1234-5678-9ABC-DEF012345678}", 0, "c0ffee00-1234-5678-9abc-def012345678" },
    { RTGETOPT_REQ_UUID, "{c0ffee00-1234-5678-9abc-def012345678", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee00-1234-5678-9abc-def012345678}", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee0-1234-5678-9abc-def0123456789", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee00123456789abcdef012345678", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee00-1234-5678-9abc-def01234567", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "c0ffee00-1234-5678-9abc-def0123456789", BAD, nullptr },
    { RTGETOPT_REQ_UUID, "g0ffee00-1234-5678-9abc-def012345678", BAD, nullptr },
    { RTGETOPT_REQ_UUID, " c0ffee00-1234-5678-9abc-def012345678", BAD, nullptr },

    { RTGETOPT_REQ_BOOL_ONOFF, "on", 0, "1" },
    { RTGETOPT_REQ_BOOL_ONOFF, "oN", 0, "1" },
    { RTGETOPT_REQ_BOOL_ONOFF, "OFF", 0, "0" },
    { RTGETOPT_REQ_BOOL_ONOFF, "of", UNK, nullptr },
    { RTGETOPT_REQ_BOOL_ONOFF, "true", UNK, nullptr },
    { RTGETOPT_REQ_BOOL_ONOFF, "", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "t", 0, "1" },
    { RTGETOPT_REQ_BOOL, "tRuE", 0, "1" },
    { RTGETOPT_REQ_BOOL, "tr", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "tru", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "truex", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "Y", 0, "1" },
    { RTGETOPT_REQ_BOOL, "ye", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "YES", 0, "1" },
    { RTGETOPT_REQ_BOOL, "e", 0, "1" },
    { RTGETOPT_REQ_BOOL, "en", 0, "1" },
    { RTGETOPT_REQ_BOOL, "ena", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "enable", 0, "1" },
    { RTGETOPT_REQ_BOOL, "Enabled", 0, "1" },
    { RTGETOPT_REQ_BOOL, "enabledx", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "on", 0, "1" },
    { RTGETOPT_REQ_BOOL, "o", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "1", 0, "1" },
    { RTGETOPT_REQ_BOOL, "f", 0, "0" },
    { RTGETOPT_REQ_BOOL, "fa", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "FALSE", 0, "0" },
    { RTGETOPT_REQ_BOOL, "n", 0, "0" },
    { RTGETOPT_REQ_BOOL, "No", 0, "0" },
    { RTGETOPT_REQ_BOOL, "d", 0, "0" },
    { RTGETOPT_REQ_BOOL, "dis", 0, "0" },
    { RTGETOPT_REQ_BOOL, "disa", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "disable", 0, "0" },
    { RTGETOPT_REQ_BOOL, "disabled", 0, "0" },
    { RTGETOPT_REQ_BOOL, "off", 0, "0" },
    { RTGETOPT_REQ_BOOL, "of", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "0", 0, "0" },
    { RTGETOPT_REQ_BOOL, "2", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "", UNK, nullptr },
    { RTGETOPT_REQ_BOOL, "true ", UNK, nullptr },

    { RTGETOPT_REQ_UINT32_PAIR, "1/2", 0, "1,2" },
    { RTGETOPT_REQ_UINT32_PAIR, "1:2", 0, "1,2" },
    { RTGETOPT_REQ_UINT32_PAIR, "1|2", 0, "1,2" },
    { RTGETOPT_REQ_UINT32_PAIR, "1 2", 0, "1,2" },
    { RTGETOPT_REQ_UINT32_PAIR, "1 \t/ \t2", 0, "1,2" },
    { RTGETOPT_REQ_UINT32_PAIR, "0x10:0X20", 0, "16,32" },
    { RTGETOPT_REQ_UINT32_PAIR, "4294967295/0", 0, "4294967295,0" },
    { RTGETOPT_REQ_UINT32_PAIR, "1", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1/", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1//2", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "/2", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1x2", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1/2x", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1/2 ", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "4294967296/1", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR, "1/4294967296", BAD, nullptr },
    { RTGETOPT_REQ_UINT64_PAIR, "18446744073709551615 1", 0, "18446744073709551615,1" },
    { RTGETOPT_REQ_UINT64_PAIR, "1|18446744073709551616", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_OPTIONAL_PAIR, "5", 0, "5,4294967295" },
    { RTGETOPT_REQ_UINT32_OPTIONAL_PAIR, "5/6", 0, "5,6" },
    { RTGETOPT_REQ_UINT32_OPTIONAL_PAIR, "5x", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_OPTIONAL_PAIR, "5 ", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_OPTIONAL_PAIR, "", BAD, nullptr },
    { RTGETOPT_REQ_UINT64_OPTIONAL_PAIR, "7", 0, "7,18446744073709551615" },
    { RTGETOPT_REQ_UINT32_PAIR | HEX, "10/20", 0, "16,32" },
    { RTGETOPT_REQ_UINT32_PAIR | OCT, "10/0x10", 0, "8,16" },
    { RTGETOPT_REQ_UINT32_PAIR | OCT, "10/9", BAD, nullptr },
    { RTGETOPT_REQ_UINT32_PAIR | DEC, "010/10", 0, "10,10" },
};
// clang-format on

TEST(GetOpt, ValueKinds)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aKindRows); i++)
    {
        KindRow const &Row = g_aKindRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " kind " << (Row.fFlags & 31) << " \""
                                        << Row.pszValue << "\"");
        RTOPTIONDEF const Def = { "--o", 'o', Row.fFlags };
        Args args({ "--o", Row.pszValue });
        RTOPTIONSTATE State;
        ASSERT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), &Def, 1, 0, 0), 0);
        RTOPTIONVALUE Value;
        memset(&Value, 0xee, sizeof(Value));
        int const rc = RTGetOpt(&State, &Value);
        if (Row.rc == 0)
        {
            ASSERT_EQ(rc, 'o');
            EXPECT_EQ(kindText(Row.fFlags, Value), Row.pszExpect);
        }
        else
        {
            EXPECT_EQ(rc, Row.rc);
            /* The boolean kinds leave the rejected text, all others the definition. */
            if (rc == KERR_OPT_UNKNOWN)
            {
                EXPECT_EQ(Value.psz, args.argv()[1]);
            }
            else
            {
                EXPECT_EQ(Value.pDef, &Def);
            }
        }

        /* The same conversion through RTGetOptTakeValue. */
        Args args2({ "--s", Row.pszValue });
        RTOPTIONDEF const DefS = { "--s", 's', RTGETOPT_REQ_NOTHING };
        ASSERT_EQ(RTGetOptInit(&State, args2.argc(), args2.argv(), &DefS, 1, 0, 0), 0);
        ASSERT_EQ(RTGetOpt(&State, &Value), 's');
        int const rc2 = RTGetOptTakeValue(&State, &Value, Row.fFlags);
        if (Row.rc == 0)
        {
            EXPECT_EQ(rc2, 0);
            EXPECT_EQ(kindText(Row.fFlags, Value), Row.pszExpect);
        }
        else
        {
            EXPECT_EQ(rc2, Row.rc);
        }
    }
}

TEST(GetOpt, NarrowValuesFillTheRecord)
{
    /* A one-byte value must not leave bytes of the definition pointer behind it. */
    RTOPTIONDEF const Def = { "--o", 'o', RTGETOPT_REQ_UINT8 };
    Args args({ "--o=200" });
    RTOPTIONSTATE State;
    ASSERT_EQ(RTGetOptInit(&State, args.argc(), args.argv(), &Def, 1, 0, 0), 0);
    RTOPTIONVALUE Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'o');
    EXPECT_EQ(Value.u64, 200u);
    EXPECT_EQ(Value.PairU64.uSecond, 0u);
}

} // namespace
