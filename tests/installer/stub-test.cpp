/*
 * The installer stub's functions tested in place, under Wine: the command
 * line and the parameter text it builds, the displays in silent runs, the
 * payload lookup over this program's own resources (added by
 * kestrelyn_add_payload, the same way installers get theirs), the cleanup
 * passes, and the extraction with its verification and its lock, tried from
 * a second handle and from a second process, the installation steps, and
 * whole driver runs that fail.  Failures that Windows won't produce on
 * demand go through the file layer's system-call table, the lazy-binding
 * slots, this program's import slot for HeapAlloc (a memory shortage that
 * passes) or the runtime's recorded start-up state.  Every message of the
 * driver, extraction, cleanup, installation, certificate and ".custom"
 * modules is reached here or by the end-to-end scripts, except two that no
 * run can reach: a package missing from the cleanup records (each package
 * the installation looks for was recorded by the extraction, which stops
 * the run otherwise) and a failed close of a directory record (RTDirClose
 * fails only for a handle that RTDirIsUsable has just refused).
 *
 * The payload: #0 unit-amd64.msi (1000 bytes, architecture 3), #1
 * unit-any.cab (65536, any), #2 unit-x86.msi (3000, x86), #3 unit-64k1.bin
 * (65537, any), #4 unit-four.msi (5000, architecture 4), #5 a header of 200
 * bytes, #6 empty.msi with an empty blob, #7 unit-big.bin (300000, any), #8 a
 * header of 256 bytes 'A' (names without terminator).
 */
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <type_traits>
#include <vector>

#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/stream.h>
#include <zelk/string.h>

#include "QornStub.h"
#include "QornStubLazy.h"
#include "QornStubLock.h"
#include "QornStubVersion.h"
#include "fs-testutil.h"
#include "init-internal.h"

using namespace fstest;

/* Exit codes and statuses share int's values; the type keeps them apart. */
static_assert(!std::is_convertible<StubExit, int>::value
                  && !std::is_convertible<int, StubExit>::value,
              "an exit code is no status, and no status an exit code");

/* Exit codes in failure messages as their numbers. */
void PrintTo(StubExit Exit, std::ostream *pOs)
{
    *pOs << "exit code " << Exit.iCode;
}

/* The installer's start (QornStub.cpp), run in place. */
int stubMain(int argc, char **argv);

namespace {

const char g_szProg[] = "installer-stub-test.exe";

/*
 * Both standard streams go to files of their own for the whole program (a
 * stream can't be closed before the exit); a capture reads what was added
 * while it lived.  Everything is silent unless a test says otherwise.
 */
class Capture
{
public:
    Capture(bool fSilent = true)
    {
        static PRTSTREAM s_pOut, s_pErr;
        if (!s_pOut)
        {
            RTR3Init(nullptr, nullptr, 0);
            WCHAR wszTemp[MAX_PATH + 1];
            GetTempPathW(MAX_PATH + 1, wszTemp);
            s_strOut = toUtf8(wszTemp) + "installer-stub-test-stdout.txt";
            s_strErr = toUtf8(wszTemp) + "installer-stub-test-stderr.txt";
            EXPECT_EQ(KINF_SUCCESS, RTStrmOpenFile(s_strOut.c_str(), "w", &s_pOut));
            EXPECT_EQ(KINF_SUCCESS, RTStrmOpenFile(s_strErr.c_str(), "w", &s_pErr));
            RTStrmSetBuffering(s_pOut, RTSTRMBUFMODE_UNBUFFERED);
            RTStrmSetBuffering(s_pErr, RTSTRMBUFMODE_UNBUFFERED);
        }
        m_pSavedOut = g_pStdOut;
        m_pSavedErr = g_pStdErr;
        g_pStdOut = s_pOut;
        g_pStdErr = s_pErr;
        m_cbOut = readFile(s_strOut).size();
        m_cbErr = readFile(s_strErr).size();
        g_fStubSilent = fSilent;
        g_cStubVerbosity = 0;
    }
    ~Capture()
    {
        g_pStdOut = m_pSavedOut;
        g_pStdErr = m_pSavedErr;
    }
    std::string out() const { return since(s_strOut, m_cbOut); }
    std::string err() const { return since(s_strErr, m_cbErr); }

private:
    static std::string since(const std::string &strFile, size_t off)
    {
        std::string str = readFile(strFile).substr(off);
        str.erase(std::remove(str.begin(), str.end(), '\r'), str.end());
        return str;
    }
    static std::string s_strOut, s_strErr;
    PRTSTREAM m_pSavedOut, m_pSavedErr;
    size_t m_cbOut, m_cbErr;
};
std::string Capture::s_strOut, Capture::s_strErr;

std::string errLine(const std::string &strText)
{
    return std::string(g_szProg) + ": error: " + strText + "\n";
}

std::string resourceBytes(const char *pszName)
{
    const void *pv = nullptr;
    uint32_t cb = 0;
    if (RT_FAILURE(stubFindResource(pszName, &pv, &cb)))
        return "<none>";
    return std::string((const char *)pv, cb);
}

/* A path as a regular expression that matches it alone. */
std::string reQuote(const std::string &str)
{
    return std::regex_replace(str, std::regex("[\\\\.()\\[\\]^$*+?{}|]"), "\\$&");
}

/* The records from pFirst on, newest first, up to the list's head, by package index. */
std::vector<uint32_t> chainFrom(StubCleanupRecord *pFirst, StubCleanupRecord *pLast)
{
    std::vector<uint32_t> v;
    for (StubCleanupRecord *p = pFirst;; p = p->pNext)
    {
        v.push_back(p->idxPackage);
        if (p == pLast || v.size() > 16)
            break;
    }
    return v;
}

/*
 * Display.
 */

TEST(StubDisplay, SilentRoutes)
{
    Capture cap;
    EXPECT_EQ(1, stubReportError("first %s\nsecond %d", "line", 2).iCode);
    EXPECT_EQ(2, stubReportSyntaxError("Extraction path is too long (%Rrc)", KERR_BUFFER_OVERFLOW).iCode);
    stubReportInfo("Files were extracted to: %s", "C:\\x");
    EXPECT_EQ(errLine("first line") + errLine("second 2")
                  + errLine("Extraction path is too long (KERR_BUFFER_OVERFLOW)"),
              cap.err());
    EXPECT_EQ("Files were extracted to: C:\\x\n", cap.out());
}

TEST(StubDisplay, ErrorLinesIgnoreTheSilentFlag)
{
    for (bool fSilent : { true, false })
    {
        SCOPED_TRACE(fSilent ? "silent" : "interactive");
        Capture cap(fSilent);
        EXPECT_EQ(KERR_INVALID_PARAMETER,
                  stubPrintErrorStatus(KERR_INVALID_PARAMETER, "#%u: status", 7u));
        EXPECT_EQ(1, stubPrintErrorFailure("failure %s", "text").iCode);
        EXPECT_EQ((ptrdiff_t)sizeof("error: plain 4294967295\n") - 1,
                  stubPrintError("plain %u", 0xFFFFFFFFu));
        EXPECT_EQ("error: #7: status\nerror: failure text\nerror: plain 4294967295\n", cap.err());
        EXPECT_EQ("", cap.out());
    }
}

/*
 * Command line.
 */

std::string version()
{
    return "Version: " + std::to_string(KESTRELYN_VERSION_MAJOR) + "."
           + std::to_string(KESTRELYN_VERSION_MINOR) + "." + std::to_string(KESTRELYN_VERSION_BUILD)
           + "r" + std::to_string(KESTRELYN_VERSION_REVISION) + "\n";
}

StubExit parse(std::vector<std::string> args, STUBRUNSTATE *pState)
{
    args.insert(args.begin(), "installer.exe");
    std::vector<char *> argv;
    for (std::string &str : args)
        argv.push_back(&str[0]);
    argv.push_back(nullptr);
    RTMemSet(pState, 0, sizeof(*pState));
    pState->fInstallCert = true;
    return stubParseCommandLine(pState, (int)args.size(), argv.data());
}

TEST(StubCmdLine, ParametersAndErrors)
{
    struct ROW
    {
        std::vector<std::string> args;
        StubExit rcExit;
        std::string strParams; /* when the run goes on */
        std::string strOut;
        std::string strErr;
    };
    std::string const x4093(4093, 'x');
    std::string const strSpaces = "The first argument to --msi-prop must not contain spaces: ";
    std::string const strNoRoom = errLine("Out of space for MSI parameters and properties");
    std::string const strReinstall = "REINSTALLMODE=vomus REINSTALL=ALL";
    const ROW aRows[] = // clang-format off
    {
        { {}, STUBEXIT_CONTINUE, "", "", "" },
        { { "--msiparams", "A=1", "B=2" }, STUBEXIT_CONTINUE, "A=1 B=2", "", "" },
        { { "-m", "A=1", "--", "--extract", "/?" }, STUBEXIT_CONTINUE, "A=1 --extract /?", "", "" },
        { { "--reinstall", "--reinstall" }, STUBEXIT_CONTINUE, strReinstall + " " + strReinstall, "", "" },
        { { "-msiparams", "P=\"a b\"", "/reinstall", "Z=9" }, STUBEXIT_CONTINUE, "P=\"a b\" " + strReinstall + " Z=9", "", "" },
        { { "--msi-prop", "INSTALLDIR", "C:\\x", "--msi-prop", "X", "y z" }, STUBEXIT_CONTINUE,
          "INSTALLDIR=C:\\x X=\"y z\"", "", "" },
        { { "-P", "T", "a\tb", "-P", "N", "a\nb", "-P", "R", "a\rb" }, STUBEXIT_CONTINUE,
          "T=\"a\tb\" N=\"a\nb\" R=\"a\rb\"", "", "" },
        { { "--msi-prop", "Q", "say\"hi\"", "--msi-prop", "E", "", "--msi-prop", "", "v" }, STUBEXIT_CONTINUE,
          "Q=\"say\"\"hi\"\"\" E= =v", "", "" },
        /* A value can't close its quotes and add a property: one property A, value x" B="y. */
        { { "--msi-prop", "A", "x\" B=\"y" }, STUBEXIT_CONTINUE, "A=\"x\"\" B=\"\"y\"", "", "" },
        { { "-P", "A", "\"", "-P", "B", "\"\"" }, STUBEXIT_CONTINUE, "A=\"\"\"\" B=\"\"\"\"\"\"", "", "" },
        /* Doubling counts against the room: 4089 + 'P="' + '""' + '"' is 4095; one more is too many. */
        { { "-P", "P", x4093.substr(0, 4089) + "\"" }, STUBEXIT_CONTINUE, "P=\"" + x4093.substr(0, 4089) + "\"\"\"", "", "" },
        { { "--silent", "-P", "P", x4093.substr(0, 4090) + "\"" }, STUBEXIT_SYNTAX, "", "", strNoRoom },
        { { "--msi-prop", "A", "--extract" }, STUBEXIT_CONTINUE, "A=--extract", "", "" },
        { { "--msiparams", "A=" + x4093 }, STUBEXIT_CONTINUE, "A=" + x4093, "", "" },
        { { "-m", x4093.substr(0, 4091), "-P", "P", "v" }, STUBEXIT_CONTINUE, x4093.substr(0, 4091) + " P=v", "", "" },
        { { "-P", "P", x4093.substr(0, 4089) + " x" }, STUBEXIT_CONTINUE, "P=\"" + x4093.substr(0, 4089) + " x\"", "", "" },
        { { "--silent", "--msiparams", "A=" + x4093 + "x" }, STUBEXIT_SYNTAX, "", "", strNoRoom },
        { { "--silent", "-m", x4093 + "xx", "--reinstall" }, STUBEXIT_SYNTAX, "", "", strNoRoom },
        { { "--silent", "-m", x4093.substr(0, 4092), "-P", "P", "v" }, STUBEXIT_SYNTAX, "", "", strNoRoom },
        { { "--silent", "-P", "P", x4093.substr(0, 4090) + " x" }, STUBEXIT_SYNTAX, "", "", strNoRoom },
        { { "--silent", "--msi-prop", "A B", "v" }, STUBEXIT_SYNTAX, "", "", errLine(strSpaces + "A B") },
        { { "--silent", "--msi-prop", "A\tB", "v" }, STUBEXIT_SYNTAX, "", "", errLine(strSpaces + "A\tB") },
        { { "--silent", "--msi-prop", "A\nB", "v" }, STUBEXIT_SYNTAX, "", "", errLine(strSpaces + "A") + errLine("B") },
        { { "--silent", "--msi-prop", "A\rB", "v" }, STUBEXIT_SYNTAX, "", "", errLine(strSpaces + "AB") /* CRs dropped */ },
        { { "--silent", "--msi-prop", "A" }, STUBEXIT_SYNTAX, "", "",
          errLine("--msi-prop takes two arguments, the 2nd is missing") },
        { { "--silent", "--msi-prop", "A=B", "v" }, STUBEXIT_SYNTAX, "", "",
          errLine("The first argument to --msi-prop must be a property name: A=B") },
        { { "--silent", "--msi-prop", "9A", "v" }, STUBEXIT_SYNTAX, "", "",
          errLine("The first argument to --msi-prop must be a property name: 9A") },
        { { "--silent", "B=2" }, STUBEXIT_SYNTAX, "", "", errLine("Invalid parameter: B=2") },
        { { "--silent", "--bogus" }, STUBEXIT_SYNTAX, "", "", errLine("Unknown option: '--bogus'") },
        { { "--silent", "-V", "--bogus" }, STUBEXIT_SUCCESS, "", version(), "" },
        { { "--silent", "/version" }, STUBEXIT_SUCCESS, "", version(), "" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        const ROW &Row = aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        Capture cap(false);
        STUBRUNSTATE State;
        EXPECT_EQ(Row.rcExit, parse(Row.args, &State));
        if (Row.rcExit == STUBEXIT_CONTINUE)
        {
            EXPECT_EQ(Row.strParams, State.szMsiParams);
        }
        EXPECT_EQ(Row.strOut, cap.out());
        EXPECT_EQ(Row.strErr, cap.err());
    }
}

TEST(StubCmdLine, FlagsAndPaths)
{
    Capture cap(false);
    STUBRUNSTATE State;
    ASSERT_EQ(STUBEXIT_CONTINUE,
              parse({ "-x", "-c", "-t", "-T", "-l", "-r", "-v", "-verbose", "/verbose", "/silent" },
                    &State));
    EXPECT_TRUE(State.fExtractOnly);
    EXPECT_FALSE(State.fInstallCert);
    EXPECT_TRUE(State.fLogging);
    EXPECT_TRUE(State.fIgnoreReboot);
    EXPECT_TRUE(g_fStubSilent);
    EXPECT_EQ(3u, g_cStubVerbosity);

    WCHAR wszCwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, wszCwd);
    std::string const strCwd = toUtf8(wszCwd);
    ASSERT_EQ(STUBEXIT_CONTINUE,
              parse({ "--path", "C:\\first", "-p", "rel\\dir", "-msilogfile", "log.txt" }, &State));
    EXPECT_EQ(strCwd + "\\rel\\dir", State.szExtractPath);
    EXPECT_EQ(strCwd + "\\log.txt", State.szMsiLogFile);
    EXPECT_FALSE(State.fExtractOnly);
    EXPECT_TRUE(State.fInstallCert);
    EXPECT_FALSE(State.fLogging); /* a log file name alone turns logging on later, in the driver */
    ASSERT_EQ(STUBEXIT_CONTINUE,
              parse({ "/path", "C:\\first", "-path", "", "--msi-log-file", "x", "--msi-log-file=" },
                    &State));
    EXPECT_STREQ("", State.szExtractPath);
    EXPECT_STREQ("", State.szMsiLogFile);

    std::string const strLong(4200, 'd');
    g_fStubSilent = true;
    EXPECT_EQ(STUBEXIT_SYNTAX, parse({ "--silent", "/path", strLong }, &State));
    EXPECT_EQ(STUBEXIT_SYNTAX, parse({ "--silent", "--msi-log-file", strLong }, &State));
    EXPECT_EQ(errLine("Extraction path is too long (KERR_BUFFER_OVERFLOW)")
                  + errLine("MSI log file path is too long (KERR_BUFFER_OVERFLOW)"),
              cap.err());
}

/*
 * Payload.
 */

TEST(StubPayload, ResourceLookup)
{
    static const struct
    {
        const char *pszName;
        int rc;
        uint32_t cb;
    } s_aRows[] = // clang-format off
    {
        { "MANIFEST", KINF_SUCCESS, 16 },
        { "HDR_00", KINF_SUCCESS, 256 },
        { "HDR_05", KINF_SUCCESS, 200 },
        { "BIN_00", KINF_SUCCESS, 1000 },
        { "bin_01", KINF_SUCCESS, 65536 },  /* names are found whatever their case */
        { "BIN_07", KINF_SUCCESS, 300000 },
        { "BIN_06", KERR_NO_DATA, 0 },
        { "BIN_99", KERR_GENERAL_FAILURE, 0 },
        { "", KERR_GENERAL_FAILURE, 0 },
        { "\xff", KERR_INVALID_UTF8, 0 },
        { nullptr, KERR_INVALID_PARAMETER, 0 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const void *pv = (const void *)&s_aRows;
        uint32_t cb = 0xCAFE;
        EXPECT_EQ(s_aRows[i].rc, stubFindResource(s_aRows[i].pszName, &pv, &cb));
        if (RT_SUCCESS(s_aRows[i].rc))
        {
            EXPECT_EQ(s_aRows[i].cb, cb);
            EXPECT_NE((const void *)&s_aRows, pv);
        }
        else /* written on success only */
        {
            EXPECT_EQ(0xCAFEu, cb);
            EXPECT_EQ((const void *)&s_aRows, pv);
        }
    }
    const void *pv = nullptr;
    EXPECT_EQ(KINF_SUCCESS, stubFindResource("MANIFEST", &pv, nullptr));
    EXPECT_EQ(KERR_INVALID_PARAMETER, stubFindResource("MANIFEST", nullptr, nullptr));
    const PackageManifest *pManifest = (const PackageManifest *)pv;
    EXPECT_EQ(0, memcmp(pManifest->achMagic, "QornInstV1\0\0\0\0\0", 15));
    EXPECT_EQ(9, pManifest->cPackages);
}

TEST(StubPayload, PackageHeaders)
{
    static const struct
    {
        unsigned idx;
        uint32_t uArch;
        const char *pszRes;
        const char *pszName;
    } s_aRows[] = // clang-format off
    {
        { 0, 3, "BIN_00", "unit-amd64.msi" },
        { 1, 1, "BIN_01", "unit-any.cab" },
        { 2, 2, "BIN_02", "unit-x86.msi" },
        { 3, 1, "BIN_03", "unit-64k1.bin" },
        { 4, 4, "BIN_04", "unit-four.msi" },
        { 7, 1, "BIN_07", "unit-big.bin" },
    };
    // clang-format on
    Capture cap;
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const PackageHeader *pHdr = stubFindPackageHeader(s_aRows[i].idx);
        ASSERT_NE(nullptr, pHdr);
        EXPECT_EQ(s_aRows[i].uArch, pHdr->uArch);
        EXPECT_STREQ(s_aRows[i].pszRes, pHdr->szResName);
        EXPECT_STREQ(s_aRows[i].pszName, pHdr->szFileName);
    }
    EXPECT_EQ("", cap.err());
    EXPECT_EQ(nullptr, stubFindPackageHeader(5));
    EXPECT_EQ(nullptr, stubFindPackageHeader(8));
    EXPECT_EQ(nullptr, stubFindPackageHeader(9));
    EXPECT_EQ(nullptr, stubFindPackageHeader(100));
    EXPECT_EQ(
        errLine("Internal error: Could not find package header #5: KERR_BAD_LENGTH")
            + errLine("Internal error: Could not find package header #8: KERR_INVALID_NAME")
            + errLine("Internal error: Could not find package header #9: KERR_GENERAL_FAILURE")
            + errLine("Internal error: Could not find package header #100: KERR_GENERAL_FAILURE"),
        cap.err());
}

/* A header's file name must name a file inside the extraction directory and nothing else. */
TEST(StubPayload, BareFileNames)
{
    static const struct
    {
        const char *pszName;
        bool fBare;
    } s_aRows[] = // clang-format off
    {
        { "Product-1.0.msi", true },
        { "x", true },
        { "...", false }, /* Windows drops the trailing dots */
        { ".msi", true },
        { "a..b.cab", true },
        { "\xc3\xa9t\xc3\xa9.msi", true },
        { "", false },
        { ".", false },
        { "..", false },
        { "..\\x.msi", false },
        { "../x.msi", false },
        { "a\\b.msi", false },
        { "a/b.msi", false },
        { "\\x.msi", false },
        { "C:x.msi", false },
        { "x.msi:stream", false },
        { "x.msi\\", false },
        { "NUL.cab", false },
        { "nul", false },
        { "Nul.tar.gz", false },
        { "com1.msi", false },
        { "COM9", false },
        { "lpt1.cab", false },
        { "LPT9.msi", false },
        { "con", false },
        { "PRN .msi", false },
        { "NUL      .cab", false }, /* blanks before the dot, however many, are dropped */
        { "com1        .msi", false },
        { "NULx      .cab", true },
        { "aux.cab", false },
        { "CONOUT$", false },
        { "conin$.cab", false },
        { "data.cab.", false },
        { "data.cab ", false },
        { "NULL.cab", true },
        { "COM0.cab", true },
        { "COM10.msi", true },
        { "LPT.cab", true },
        { "xnul.cab", true },
        { "a nul.cab", true },
        { "CONOUT.msi", true },
        { " data.cab", true },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
        EXPECT_EQ(s_aRows[i].fBare, stubIsBareFileName(s_aRows[i].pszName))
            << "row " << i << ": " << s_aRows[i].pszName;
}

TEST(StubPayload, ArchitectureFilter)
{
    BOOL fWow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &fWow64));
    /* A 32-bit process is on a 64-bit host under WOW64 only; a 64-bit one always is. */
    bool const fHost64 = fWow64 || sizeof(void *) == 8;
    EXPECT_EQ(fHost64 ? 1u : 0u, stubIsHost64Bit());
    static const struct
    {
        uint32_t uArch;
        bool f64;
        bool f32;
    } s_aRows[] = // clang-format off
    {
        { 0, false, false }, { 1, true, true }, { 2, false, true }, { 3, true, false }, { 4, false, false },
        { 0xFFFFFFFF, false, false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(fHost64 ? s_aRows[i].f64 : s_aRows[i].f32,
                  stubPackageAppliesToHost(s_aRows[i].uArch));
    }
}

/*
 * A shortage that passes: one heap allocation of the runtime fails, the
 * ones after succeed again (the runtime's own injection
 * fails every allocation from some point on, which also takes the memory
 * that showing a message needs).  The runtime's calls go through this
 * program's import slot for HeapAlloc, which the guard points at the fake
 * for its lifetime.
 */
#ifdef _WIN64
extern "C" void *g_pvImpHeapAlloc asm("__imp_HeapAlloc");
#else
extern "C" void *g_pvImpHeapAlloc asm("__imp__HeapAlloc@12");
#endif

class HeapShortage
{
public:
    HeapShortage()
    {
        s_pfnReal = (decltype(&::HeapAlloc))g_pvImpHeapAlloc;
        s_cFailures = 0;
        swapSlot((void *)fakeHeapAlloc);
    }
    ~HeapShortage()
    {
        swapSlot((void *)s_pfnReal);
        s_cFailures = 0;
    }
    /* After cSkip more allocations the next one fails. */
    static void arm(unsigned cSkip)
    {
        s_cSkip = cSkip;
        s_cFailures = 1;
    }
    /* Failures armed and not yet made. */
    static unsigned left() { return s_cFailures; }

private:
    static void swapSlot(void *pvNew)
    {
        DWORD fOld = 0;
        VirtualProtect(&g_pvImpHeapAlloc, sizeof(void *), PAGE_READWRITE, &fOld);
        g_pvImpHeapAlloc = pvNew;
        VirtualProtect(&g_pvImpHeapAlloc, sizeof(void *), fOld, &fOld);
    }
    static LPVOID WINAPI fakeHeapAlloc(HANDLE hHeap, DWORD fFlags, SIZE_T cb)
    {
        if (s_cFailures && !s_cSkip)
        {
            s_cFailures--;
            return nullptr;
        }
        if (s_cFailures)
            s_cSkip--;
        return s_pfnReal(hHeap, fFlags, cb);
    }
    static decltype(&::HeapAlloc) s_pfnReal;
    static unsigned s_cSkip, s_cFailures;
};
decltype(&::HeapAlloc) HeapShortage::s_pfnReal;
unsigned HeapShortage::s_cSkip, HeapShortage::s_cFailures;

/*
 * Cleanup.
 */

class StubCleanupTest : public ScratchDirTest
{
protected:
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        stubCleanupInit();
    }
    void TearDown() override
    {
        stubCleanupRelease();
        RTMemTestFailAfter(-1);
        ScratchDirTest::TearDown();
    }
    /* A file of ours held like an extracted package: read access, deny write. */
    StubCleanupRecord *addFile(const std::string &strPath, uint32_t idx)
    {
        EXPECT_TRUE(writeFile(strPath, "content"));
        StubCleanupRecord *pRec = stubCleanupAdd(strPath.c_str(), true);
        pRec->idxPackage = idx;
        EXPECT_EQ(KINF_SUCCESS, RTFileOpenPath(&pRec->u.hFile, strPath.c_str(), UINT64_C(0x721)));
        RTFSOBJINFO Info;
        EXPECT_EQ(KINF_SUCCESS, RTFileQueryInfo(pRec->u.hFile, &Info, RTFSOBJATTRADD_UNIX));
        pRec->idFile = Info.Attr.u.Unix.INodeId;
        return pRec;
    }
    StubCleanupRecord *addDir(const std::string &strPath, bool fKeep)
    {
        CreateDirectoryW(toWide(strPath).c_str(), nullptr);
        StubCleanupRecord *pRec = stubCleanupAdd(strPath.c_str(), false);
        pRec->fKeep = fKeep;
        EXPECT_EQ(KINF_SUCCESS, RTDirOpenPath(&pRec->u.hDir, strPath.c_str()));
        return pRec;
    }
};

TEST_F(StubCleanupTest, RecordsNewestFirst)
{
    Capture cap;
    StubCleanupRecord *pDir = stubCleanupAdd(path("d").c_str(), false);
    ASSERT_NE(nullptr, pDir);
    EXPECT_EQ(STUB_NO_PACKAGE, pDir->idxPackage);
    EXPECT_FALSE(pDir->fFile);
    EXPECT_FALSE(pDir->fKeep);
    EXPECT_EQ(NIL_RTDIR, pDir->u.hDir);
    EXPECT_EQ(path("d"), pDir->szPath);
    StubCleanupRecord *pOld = stubCleanupAdd("a", true);
    EXPECT_EQ(NIL_RTFILE, pOld->u.hFile);
    pOld->idxPackage = 1;
    StubCleanupRecord *pNew = stubCleanupAdd("b", true);
    pNew->idxPackage = 1;
    EXPECT_EQ(pNew, stubCleanupFindPackage(1));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(0));
    EXPECT_EQ(pDir, stubCleanupFindPackage(STUB_NO_PACKAGE));
    EXPECT_EQ(pOld, pNew->pNext);
    EXPECT_EQ(pDir, pOld->pNext);
    EXPECT_EQ(pNew, pDir->pNext->pNext); /* round through the head */

    RTMemTestFailAfter(0);
    EXPECT_EQ(nullptr, stubCleanupAdd("c", true));
    RTMemTestFailAfter(-1);
    EXPECT_EQ(pNew, pDir->pNext->pNext);
}

TEST_F(StubCleanupTest, OnePassDeletesFilesThenDirectories)
{
    Capture cap;
    stubCleanupRun(); /* nothing to do */
    std::string const strDir = path("extract");
    addDir(strDir, false);
    addFile(strDir + "\\a.msi", 0);
    addFile(strDir + "\\b.cab", 1);
    StubCleanupRecord *pGone = stubCleanupAdd((strDir + "\\gone.msi").c_str(), true);
    pGone->idxPackage = 2;
    stubCleanupRun(); /* the record without a handle is dropped: nothing to delete through */
    EXPECT_FALSE(exists(strDir));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(0));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(2));
    EXPECT_EQ("", cap.err());
}

TEST_F(StubCleanupTest, KeptDirectoryStays)
{
    Capture cap;
    std::string const strDir = path("kept");
    addDir(strDir, true);
    addFile(strDir + "\\a.msi", 0);
    StubCleanupRecord *pKeptFile = addFile(strDir + "\\keep.txt", 5);
    pKeptFile->fKeep = true;
    stubCleanupRun();
    EXPECT_TRUE(exists(strDir));
    EXPECT_FALSE(exists(strDir + "\\a.msi"));
    EXPECT_TRUE(exists(strDir + "\\keep.txt"));
    /* Its handle is closed all the same. */
    EXPECT_TRUE(writeFile(strDir + "\\keep.txt", "rewritten"));
    EXPECT_EQ("", cap.err());
}

std::vector<std::string> listDir(const std::string &strDir);

/*
 * The cleanup's pauses, taken through the lock's sleep slot: recorded, and
 * the first one runs what a test puts between the first pass and the next.
 */
struct FakePause
{
    static std::vector<DWORD> s_vecPauses;
    static void (*s_pfnBetween)();
    static void WINAPI sleep(DWORD cMs)
    {
        s_vecPauses.push_back(cMs);
        if (s_vecPauses.size() == 1 && s_pfnBetween)
            s_pfnBetween();
    }
    FakePause(void (*pfnBetween)() = nullptr)
    {
        s_vecPauses.clear();
        s_pfnBetween = pfnBetween;
        g_StubLockSys.pfnSleep = sleep;
    }
    ~FakePause() { g_StubLockSys.pfnSleep = nullptr; }
};
std::vector<DWORD> FakePause::s_vecPauses;
void (*FakePause::s_pfnBetween)();

/* The whole schedule: 100 ms after the first pass, 3 s after each of the next three. */
const std::vector<DWORD> g_vecAllPauses = { 100, 3000, 3000, 3000 };

/* The final path of a handle ends in pwszTail. */
bool handleEndsWith(HANDLE h, const wchar_t *pwszTail)
{
    WCHAR wsz[MAX_PATH];
    DWORD const cwc = GetFinalPathNameByHandleW(h, wsz, MAX_PATH, 0);
    size_t const cwcTail = wcslen(pwszTail);
    return cwc >= cwcTail && cwc < MAX_PATH && !wcscmp(&wsz[cwc - cwcTail], pwszTail);
}

/*
 * Delete dispositions: the next s_cRefused are refused whatever they are
 * for, and every one for a directory named "refused".
 */
struct FakeDisposition
{
    static unsigned s_cRefused;
    static NTSTATUS NTAPI set(HANDLE h, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                              FILE_INFORMATION_CLASS enmClass)
    {
        if (enmClass == FileDispositionInformation
            && (s_cRefused ? (s_cRefused--, true) : handleEndsWith(h, L"\\refused")))
            return RTNT_STATUS_ACCESS_DENIED;
        return NtSetInformationFile(h, pIos, pv, cb, enmClass);
    }
};
unsigned FakeDisposition::s_cRefused;

/*
 * A file someone else holds without delete sharing, and a directory whose
 * deletion is refused: retried through the whole schedule and reported once,
 * in the last pass; the directory that stays not empty is dropped silently.
 */
TEST_F(StubCleanupTest, RetriesThroughTheScheduleAndReportsOnce)
{
    Capture cap;
    std::string const strDir = path("busy");
    addDir(strDir, false);
    addFile(strDir + "\\held.msi", 0);
    /* Newest: tried and reported first. */
    std::string const strRefused = path("refused");
    addDir(strRefused, false);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtSetInformationFile = FakeDisposition::set;
    FakeDisposition::s_cRefused = 0;
    HANDLE hHolder = CreateFileW(toWide(strDir + "\\held.msi").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHolder);
    {
        FakePause Pause;
        stubCleanupRun();
        EXPECT_EQ(g_vecAllPauses, FakePause::s_vecPauses);
    }
    CloseHandle(hHolder);
    EXPECT_EQ(
        errLine("Failed to delete temporary directory '" + strRefused + "': KERR_ACCESS_DENIED")
            + errLine("Failed to delete temporary file '" + strDir
                      + "\\held.msi': KERR_SHARING_VIOLATION"),
        cap.err());
    EXPECT_TRUE(exists(strRefused));
    /*
     * The records that failed stay for the driver to free, the directory's
     * with its handle; the directory that was not empty was dropped in the
     * last pass.
     */
    StubCleanupRecord *pRec = stubCleanupFindPackage(0);
    ASSERT_NE(nullptr, pRec);
    EXPECT_EQ(NIL_RTFILE, pRec->u.hFile);
    StubCleanupRecord *pRefused = stubCleanupFindPackage(STUB_NO_PACKAGE);
    EXPECT_EQ((std::vector<uint32_t>{ STUB_NO_PACKAGE, 0 }), chainFrom(pRefused, pRec));
    EXPECT_EQ(strRefused, pRefused->szPath);
    EXPECT_TRUE(RTDirIsUsable(pRefused->u.hDir));
    EXPECT_EQ(pRec, pRefused->pNext);
    EXPECT_TRUE(exists(strDir + "\\held.msi"));
    EXPECT_EQ("content", readFile(strDir + "\\held.msi"));
}

/*
 * A retry finds the file by its name below the directory's handle, and
 * deletes it only when it is the file that was made there (its file ID).
 * The first pass's deletion is refused; between the passes something
 * happens to the name.  s_strDir is the directory, s_strFile the file.
 */
struct Between
{
    static std::string s_strDir, s_strFile;
    static HANDLE s_hHolder;
    static void moveAway() { MoveFileW(toWide(s_strFile).c_str(), toWide(s_strDir + ".moved").c_str()); }
    static void swapFile()
    {
        MoveFileW(toWide(s_strFile).c_str(), toWide(s_strFile + ".ours").c_str());
        writeFile(s_strFile, "swapped in");
    }
    static void swapDir()
    {
        MoveFileW(toWide(s_strFile).c_str(), toWide(s_strFile + ".ours").c_str());
        CreateDirectoryW(toWide(s_strFile).c_str(), nullptr);
    }
    static void letGo()
    {
        CloseHandle(s_hHolder);
        s_hHolder = nullptr;
    }
};
std::string Between::s_strDir, Between::s_strFile;
HANDLE Between::s_hHolder;

TEST_F(StubCleanupTest, RetryByNameBelowTheDirectoryHandle)
{
    struct ROW
    {
        const char *pszWhat;
        unsigned cRefused; /* dispositions refused from the start */
        bool fHeld;        /* held without delete sharing until the first pause */
        void (*pfnBetween)();
        std::vector<DWORD> vecPauses;
        const char *pszErr; /* %F: the file's path */
        const char *pszLeft; /* what has the file's name afterwards: "" none, "dir", or its content */
        bool fOursLeft;     /* whether our file is still there, under another name */
        bool fDirLeft;
    };
    const ROW aRows[] = // clang-format off
    {
        { "refused once, nothing changed", 1, false, nullptr, { 100 }, "", "", false, false },
        { "held, then let go", 0, true, Between::letGo, { 100 }, "", "", false, false },
        { "moved away: nothing of ours has the name", 1, false, Between::moveAway, { 100 }, "", "", true, false },
        { "another file under its name", 1, false, Between::swapFile, g_vecAllPauses,
          "Failed to delete temporary file '%F': KERR_MISMATCH", "swapped in", true, true },
        { "a directory under its name", 1, false, Between::swapDir, g_vecAllPauses,
          "Failed to delete temporary file '%F': KERR_IS_A_DIRECTORY", "dir", true, true },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        const ROW &Row = aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszWhat);
        stubCleanupInit();
        Between::s_strDir = path("d" + std::to_string(i));
        Between::s_strFile = Between::s_strDir + "\\p.msi";
        addDir(Between::s_strDir, false);
        addFile(Between::s_strFile, 0);
        if (Row.fHeld)
            Between::s_hHolder = CreateFileW(toWide(Between::s_strFile).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr);
        Capture cap;
        {
            SysOverrideGuard Guard;
            g_rtNtSysOverride.pfnNtSetInformationFile = FakeDisposition::set;
            FakeDisposition::s_cRefused = Row.cRefused;
            FakePause Pause(Row.pfnBetween);
            stubCleanupRun();
            EXPECT_EQ(Row.vecPauses, FakePause::s_vecPauses);
        }
        std::string strErr = Row.pszErr;
        if (!strErr.empty())
            strErr = errLine(strErr.replace(strErr.find("%F"), 2, Between::s_strFile));
        EXPECT_EQ(strErr, cap.err());
        std::string const strLeft = !exists(Between::s_strFile) ? ""
                                    : RTDirExists(Between::s_strFile.c_str()) ? "dir"
                                                                             : readFile(Between::s_strFile);
        EXPECT_EQ(Row.pszLeft, strLeft);
        EXPECT_EQ(Row.fOursLeft, exists(Between::s_strFile + ".ours") || exists(Between::s_strDir + ".moved"));
        EXPECT_EQ(Row.fDirLeft, exists(Between::s_strDir));
        stubCleanupRelease();
    }
}

/*
 * A junction put in place of the directory above the extraction directory
 * between the passes, made through the system-call table (Wine makes none,
 * and deletes what a handle was opened on by the path it had then): from
 * then on every name below "par" that the system looks up from the top
 * leads into "decoy", which holds the same names.  The cleanup looks up no
 * such name, so what goes is ours, and the decoy keeps all it had.
 */
struct FakeJunction
{
    static std::wstring s_wstrFrom, s_wstrTo; /* NT forms */
    static bool s_fArmed;
    static unsigned s_cFullPathOpens;
    static std::wstring redirect(const std::wstring &wstr)
    {
        if (s_fArmed && !_wcsnicmp(wstr.c_str(), s_wstrFrom.c_str(), s_wstrFrom.size()))
            return s_wstrTo + wstr.substr(s_wstrFrom.size());
        return wstr;
    }
    static NTSTATUS NTAPI create(PHANDLE ph, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pAttr,
                                 PIO_STATUS_BLOCK pIos, PLARGE_INTEGER pcb, ULONG fAttribs,
                                 ULONG fShare, ULONG uDisp, ULONG fOptions, PVOID pvEa, ULONG cbEa)
    {
        OBJECT_ATTRIBUTES Attr = *pAttr;
        std::wstring wstr(pAttr->ObjectName->Buffer, pAttr->ObjectName->Length / sizeof(WCHAR));
        if (!pAttr->RootDirectory)
            s_cFullPathOpens++;
        wstr = pAttr->RootDirectory ? wstr : redirect(wstr);
        UNICODE_STRING Name = { (USHORT)(wstr.size() * 2), (USHORT)(wstr.size() * 2), &wstr[0] };
        Attr.ObjectName = &Name;
        return NtCreateFile(ph, fAccess, &Attr, pIos, pcb, fAttribs, fShare, uDisp, fOptions, pvEa, cbEa);
    }
    static BOOL WINAPI removeDir(LPCWSTR pwsz)
    {
        s_cFullPathOpens++;
        return RemoveDirectoryW(redirect(pwsz).c_str());
    }
    static BOOL WINAPI deleteFile(LPCWSTR pwsz)
    {
        s_cFullPathOpens++;
        return DeleteFileW(redirect(pwsz).c_str());
    }
    static void arm()
    {
        s_fArmed = true;
        s_cFullPathOpens = 0;
        Between::letGo();
    }
};
std::wstring FakeJunction::s_wstrFrom, FakeJunction::s_wstrTo;
bool FakeJunction::s_fArmed;
unsigned FakeJunction::s_cFullPathOpens;

TEST_F(StubCleanupTest, JunctionForTheParentBetweenPasses)
{
    Capture cap;
    std::string const strPar = path("par"), strDecoy = path("decoy");
    for (const std::string &strTop : { strPar, strDecoy })
    {
        CreateDirectoryW(toWide(strTop).c_str(), nullptr);
        CreateDirectoryW(toWide(strTop + "\\priv").c_str(), nullptr);
    }
    std::string const strPriv = strPar + "\\priv";
    addDir(strPriv, false);
    addFile(strPriv + "\\a.msi", 0);
    addFile(strPriv + "\\held.msi", 1);
    writeFile(strDecoy + "\\priv\\a.msi", "decoy");
    writeFile(strDecoy + "\\priv\\held.msi", "decoy");
    /* Held past the first pass, so that the retries run once the junction is there. */
    Between::s_hHolder = CreateFileW(toWide(strPriv + "\\held.msi").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, Between::s_hHolder);
    FakeJunction::s_wstrFrom = L"\\??\\" + toWide(strPar) + L"\\";
    FakeJunction::s_wstrTo = L"\\??\\" + toWide(strDecoy) + L"\\";
    FakeJunction::s_fArmed = false;
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnNtCreateFile = FakeJunction::create;
        g_rtNtSysOverride.pfnRemoveDirectoryW = FakeJunction::removeDir;
        g_rtNtSysOverride.pfnDeleteFileW = FakeJunction::deleteFile;
        FakePause Pause(FakeJunction::arm);
        stubCleanupRun();
        EXPECT_EQ(std::vector<DWORD>{ 100 }, FakePause::s_vecPauses);
    }
    EXPECT_EQ("", cap.err());
    EXPECT_EQ(0u, FakeJunction::s_cFullPathOpens);
    EXPECT_FALSE(exists(strPriv));
    EXPECT_EQ((std::vector<std::string>{ "a.msi", "held.msi" }), listDir(strDecoy + "\\priv"));
    EXPECT_EQ("decoy", readFile(strDecoy + "\\priv\\held.msi"));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(STUB_NO_PACKAGE));
}

/* Closing a handle of a file named "close.msi" closes it but reports failure. */
BOOL WINAPI closeReportsFailure(HANDLE h)
{
    WCHAR wsz[MAX_PATH];
    DWORD const cwc = GetFinalPathNameByHandleW(h, wsz, MAX_PATH, 0);
    bool const fFail = cwc > 10 && cwc < MAX_PATH && !wcscmp(&wsz[cwc - 10], L"\\close.msi");
    BOOL const fOk = CloseHandle(h);
    if (!fFail)
        return fOk;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

/* A handle that won't close is reported, and the file still goes. */
TEST_F(StubCleanupTest, CloseFailureIsReported)
{
    Capture cap;
    std::string const strFile = path("close.msi");
    addFile(strFile, 4);
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnCloseHandle = closeReportsFailure;
        stubCleanupRun();
    }
    std::regex const re("error: Cleanup file '" + reQuote(strFile)
                        + "' for #4: RTFileClose\\([0-9A-Fa-fx]+\\) failed: KERR_INVALID_HANDLE\n");
    EXPECT_TRUE(std::regex_match(cap.err(), re)) << cap.err();
    EXPECT_FALSE(exists(strFile));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(4));
}

/*
 * Extraction.
 */

class StubExtractTest : public StubCleanupTest
{
protected:
    void TearDown() override
    {
        stubLeaveExtractDir();
        SetCurrentDirectoryW(m_wstrSavedCwd.c_str()); /* out of the extraction directory */
        StubCleanupTest::TearDown();
    }
};

std::string currentDir()
{
    WCHAR wszCwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, wszCwd);
    std::string str = toUtf8(wszCwd);
    if (str.size() > 3 && str.back() == '\\')
        str.pop_back();
    return str;
}

/*
 * The extraction makes its directory the current one, and leaving it puts
 * back exactly what was current before (not the parent); when that is gone,
 * the parent.  A leaving that nothing came before changes nothing.
 */
TEST_F(StubExtractTest, LeavingPutsBackTheCurrentDirectory)
{
    struct ROW
    {
        const char *pszWhat;
        const char *pszBefore; /* the current directory before, under the scratch directory */
        const char *pszExtract; /* null: no extraction */
        bool fBeforeGone;
        const char *pszAfter;
    };
    static const ROW s_aRows[] = // clang-format off
    {
        { "back to where it was", "elsewhere", "x", false, "elsewhere" },
        { "where it was is gone: the parent", "gone", "y", true, "" },
        { "nothing extracted: nothing changed", "elsewhere\\deeper", nullptr, false, "elsewhere\\deeper" },
        { "left already: nothing changed", "elsewhere", nullptr, false, "elsewhere" },
    };
    // clang-format on
    CreateDirectoryW(toWide(path("elsewhere")).c_str(), nullptr);
    CreateDirectoryW(toWide(path("elsewhere\\deeper")).c_str(), nullptr);
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        const ROW &Row = s_aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszWhat);
        Capture cap;
        stubCleanupInit();
        CreateDirectoryW(toWide(path(Row.pszBefore)).c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(toWide(path(Row.pszBefore)).c_str()));
        if (Row.pszExtract)
        {
            StubCleanupRecord *pDirRec = nullptr;
            ASSERT_EQ(STUBEXIT_SUCCESS, stubExtractPackages(2, path(Row.pszExtract).c_str(), true, &pDirRec));
            EXPECT_EQ(path(Row.pszExtract), currentDir());
        }
        if (Row.fBeforeGone)
        {
            EXPECT_TRUE(RemoveDirectoryW(toWide(path(Row.pszBefore)).c_str()));
        }
        stubLeaveExtractDir();
        EXPECT_EQ(*Row.pszAfter ? path(Row.pszAfter) : m_strDir, currentDir());
        EXPECT_EQ("", cap.err());
        stubCleanupRun();
    }
}

/* What a second handle of this process, or a second process, may do to an extracted file and its directory. */
std::string trySecondHandle(const std::string &strFile, const std::string &strDir)
{
    std::string str;
    auto note = [&](const char *pszWhat, bool fOk) {
        str += std::string(pszWhat) + ": " + (fOk ? "ok" : std::to_string(GetLastError())) + "\n";
    };
    std::wstring const wstrFile = toWide(strFile);
    HANDLE h = CreateFileW(wstrFile.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    note("open-write", h != INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    writeFile(strFile + ".other", "other");
    note("replace", MoveFileExW(toWide(strFile + ".other").c_str(), wstrFile.c_str(),
                                MOVEFILE_REPLACE_EXISTING));
    DeleteFileW(toWide(strFile + ".other").c_str());
    note("rename", MoveFileW(wstrFile.c_str(), toWide(strFile + ".renamed").c_str()));
    note("delete", DeleteFileW(wstrFile.c_str()));
    h = CreateFileW(wstrFile.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    0, nullptr);
    note("open-read", h != INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    note("rename", MoveFileW(toWide(strDir).c_str(), toWide(strDir + ".renamed").c_str()));
    note("delete", RemoveDirectoryW(toWide(strDir).c_str()));
    return str;
}

std::string runProbe(const std::string &strArgs)
{
    const char *pszProbe = getenv("KESTRELYN_FSPROBE");
    if (!pszProbe)
        return "<KESTRELYN_FSPROBE not set>";
    std::wstring wstrCmd = L"\"" + toWide(pszProbe) + L"\" " + toWide(strArgs);
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    HANDLE hRead, hWrite;
    CreatePipe(&hRead, &hWrite, &sa, 0);
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &wstrCmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
        return "<CreateProcessW failed>";
    CloseHandle(hWrite);
    std::string str;
    char ab[512];
    DWORD cb;
    while (ReadFile(hRead, ab, sizeof(ab), &cb, nullptr) && cb)
        str.append(ab, cb);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(hRead);
    str.erase(std::remove(str.begin(), str.end(), '\r'), str.end());
    return str;
}

/* Every attempt refused except reading. */
void expectLocked(const std::string &strReport)
{
    std::regex const re(
        "open-write: [1-9][0-9]*\nreplace: [1-9][0-9]*\nrename: [1-9][0-9]*\ndelete: [1-9][0-9]*\n"
        "open-read: ok\n(rename: [1-9][0-9]*\ndelete: [1-9][0-9]*\n)?");
    EXPECT_TRUE(std::regex_match(strReport, re)) << strReport;
}

TEST_F(StubExtractTest, NormalRunWritesVerifiesAndLocks)
{
    Capture cap;
    std::string const strDir = path("x"); /* missing: made and recorded */
    StubCleanupRecord *pDirRec = nullptr;
    ASSERT_EQ(STUBEXIT_SUCCESS, stubExtractPackages(5, strDir.c_str(), false, &pDirRec));
    EXPECT_EQ("", cap.err());
    ASSERT_NE(nullptr, pDirRec);
    EXPECT_FALSE(pDirRec->fKeep);
    EXPECT_TRUE(RTDirIsUsable(pDirRec->u.hDir));
    WCHAR wszCwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, wszCwd);
    EXPECT_EQ(strDir, toUtf8(wszCwd));

    /* On a 64-bit host #0 (amd64) and on a 32-bit one #2 (x86); #1 and #3 always; #4 never. */
    uint32_t const idxArch = stubIsHost64Bit() ? 0 : 2;
    ASSERT_NE(nullptr, stubCleanupFindPackage(3));
    EXPECT_EQ((std::vector<uint32_t>{ 3, 1, idxArch, STUB_NO_PACKAGE }),
              chainFrom(stubCleanupFindPackage(3), pDirRec));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(2 - idxArch));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(4));
    StubCleanupRecord *pRec = stubCleanupFindPackage(idxArch);
    ASSERT_NE(nullptr, pRec);
    EXPECT_TRUE(std::regex_match(std::string(pRec->szPath),
                                 std::regex(std::regex_replace(strDir, std::regex("\\\\"), "\\\\")
                                            + "\\\\[0-9a-z]{24}\\.msi")))
        << pRec->szPath;
    EXPECT_EQ(resourceBytes(idxArch ? "BIN_02" : "BIN_00"), readFile(pRec->szPath));
    EXPECT_STREQ((strDir + "\\unit-any.cab").c_str(), stubCleanupFindPackage(1)->szPath);
    EXPECT_EQ(resourceBytes("BIN_01"), readFile(strDir + "\\unit-any.cab"));
    EXPECT_EQ(resourceBytes("BIN_03"), readFile(strDir + "\\unit-64k1.bin"));

    /* Locked against everything but reading, from here and from another process, by our handles alone. */
    SetCurrentDirectoryW(m_wstrSavedCwd.c_str());
    expectLocked(trySecondHandle(pRec->szPath, strDir));
    expectLocked(runProbe("try-file \"" + std::string(pRec->szPath) + "\""));
    expectLocked(runProbe("try-file \"" + strDir + "\\unit-64k1.bin\""));
    std::string const strDirReport = runProbe("try-dir \"" + strDir + "\"");
    EXPECT_TRUE(
        std::regex_match(strDirReport, std::regex("rename: [1-9][0-9]*\ndelete: [1-9][0-9]*\n")))
        << strDirReport;
    EXPECT_EQ(resourceBytes("BIN_03"), readFile(strDir + "\\unit-64k1.bin"));

    stubLeaveExtractDir();
    stubCleanupRun();
    EXPECT_FALSE(exists(strDir));
    EXPECT_EQ("", cap.err());
}

TEST_F(StubExtractTest, ExtractOnlyTakesEveryPackageUnderItsName)
{
    Capture cap;
    writeFile(path("unit-x86.msi"), std::string(70000, 'o')); /* replaced, and cut to size */
    StubCleanupRecord *pDirRec = nullptr;
    ASSERT_EQ(STUBEXIT_SUCCESS, stubExtractPackages(5, m_strDir.c_str(), true, &pDirRec));
    ASSERT_NE(nullptr, pDirRec);
    EXPECT_TRUE(pDirRec->fKeep); /* an existing directory is only borrowed */
    // clang-format off
    static const char *const s_apszNames[] = { "unit-amd64.msi", "unit-any.cab", "unit-x86.msi", "unit-64k1.bin",
                                               "unit-four.msi" };
    // clang-format on
    for (unsigned i = 0; i < RT_ELEMENTS(s_apszNames); i++)
    {
        SCOPED_TRACE(s_apszNames[i]);
        char szRes[16];
        snprintf(szRes, sizeof(szRes), "BIN_%02u", i);
        EXPECT_EQ(resourceBytes(szRes), readFile(path(s_apszNames[i])));
        ASSERT_NE(nullptr, stubCleanupFindPackage(i));
        EXPECT_EQ(path(s_apszNames[i]), stubCleanupFindPackage(i)->szPath);
    }
    SetCurrentDirectoryW(m_wstrSavedCwd.c_str());
    stubCleanupRun();
    EXPECT_TRUE(exists(m_strDir));
    EXPECT_FALSE(exists(path("unit-any.cab")));
}

TEST_F(StubExtractTest, DirectoryAndHeaderFailures)
{
    Capture cap;
    StubCleanupRecord *pDirRec = stubCleanupAdd(path("made").c_str(), false);
    EXPECT_EQ(STUBEXIT_FAILURE, stubExtractPackages(1, path("made").c_str(), false, &pDirRec));
    std::string const strMissing = path("no\\such");
    pDirRec = nullptr;
    EXPECT_EQ(STUBEXIT_FAILURE, stubExtractPackages(1, strMissing.c_str(), false, &pDirRec));
    EXPECT_EQ(nullptr, pDirRec);
    EXPECT_EQ(STUBEXIT_FAILURE, stubExtractPackages(6, m_strDir.c_str(), true, &pDirRec));
    EXPECT_EQ(
        errLine("RTDirExists failed on '" + path("made") + "' which we just created!")
            + errLine("Failed to create extraction path '" + strMissing + "': KERR_PATH_NOT_FOUND")
            + errLine("Internal error: Could not find package header #5: KERR_BAD_LENGTH"),
        cap.err());
    /* The packages before the bad header stay recorded, for the driver to delete or keep. */
    EXPECT_NE(nullptr, stubCleanupFindPackage(4));
}

/* The names in a directory, sorted. */
std::vector<std::string> listDir(const std::string &strDir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW(toWide(strDir + "\\*").c_str(), &Data);
    if (hFind == INVALID_HANDLE_VALUE)
        return { "<cannot list>" };
    do
    {
        std::wstring const wstrName = Data.cFileName;
        if (wstrName != L"." && wstrName != L"..")
            names.push_back(toUtf8(wstrName));
    } while (FindNextFileW(hFind, &Data));
    FindClose(hFind);
    std::sort(names.begin(), names.end());
    return names;
}

/*
 * A junction in place of the directory just made (the system calls it one,
 * as Wine makes none): the run stops before writing anything through it.
 * A directory named with --path is borrowed as it is, junction or not.
 */
TEST_F(StubExtractTest, JunctionInPlaceOfTheNewDirectory)
{
    Capture cap;
    std::string const strDir = path("made");
    ASSERT_EQ(0, RTDirMake(strDir.c_str(), 0700, 0));
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoAsMountPoint;
        StubCleanupRecord *pDirRec = stubCleanupAdd(strDir.c_str(), false);
        EXPECT_EQ(STUBEXIT_FAILURE, stubExtractPackages(2, strDir.c_str(), true, &pDirRec));
        EXPECT_EQ(nullptr, pDirRec->u.hDir);
    }
    EXPECT_EQ(errLine("Failed to open extraction path '" + strDir + "': KERR_IS_A_SYMLINK"),
              cap.err());
    EXPECT_EQ(std::vector<std::string>{}, listDir(strDir));

    std::string const strBorrowed = path("borrowed");
    ASSERT_EQ(0, RTDirMake(strBorrowed.c_str(), 0700, 0));
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnNtQueryInformationFile = queryInfoAsMountPoint;
        StubCleanupRecord *pDirRec = nullptr;
        EXPECT_EQ(STUBEXIT_SUCCESS, stubExtractPackages(2, strBorrowed.c_str(), true, &pDirRec));
        ASSERT_NE(nullptr, pDirRec);
        EXPECT_TRUE(pDirRec->fKeep);
    }
    EXPECT_EQ((std::vector<std::string>{ "unit-amd64.msi", "unit-any.cab" }), listDir(strBorrowed));
}

/* The next allocation, right after the system call that the test arms it from, fails. */
BOOL WINAPI createDirThenNoMemory(LPCWSTR pwsz, LPSECURITY_ATTRIBUTES pSa)
{
    BOOL const fOk = CreateDirectoryW(pwsz, pSa);
    HeapShortage::arm(0);
    return fOk;
}

NTSTATUS NTAPI queryAttribsThenNoMemory(POBJECT_ATTRIBUTES pObjAttr,
                                        PFILE_NETWORK_OPEN_INFORMATION pInfo)
{
    static decltype(&::NtQueryFullAttributesFile) const s_pfn
        = (decltype(&::NtQueryFullAttributesFile))(void *)GetProcAddress(
            GetModuleHandleW(L"ntdll.dll"), "NtQueryFullAttributesFile");
    NTSTATUS const rcNt = s_pfn(pObjAttr, pInfo);
    HeapShortage::arm(0);
    return rcNt;
}

/* Creating any new file but unit-any.cab is refused. */
HANDLE WINAPI createOnlyTheCab(LPCWSTR pwsz, DWORD fAccess, DWORD fShare, LPSECURITY_ATTRIBUTES pSa,
                               DWORD uDisp, DWORD fFlags, HANDLE hTemplate)
{
    size_t const cwc = wcslen(pwsz);
    if (uDisp == CREATE_NEW && (cwc < 13 || wcscmp(&pwsz[cwc - 13], L"\\unit-any.cab")))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(pwsz, fAccess, fShare, pSa, uDisp, fFlags, hTemplate);
}

/*
 * The directory's record and the package file names: no memory for a record,
 * no unique name to be had, no room for the name in the path buffer.  A long
 * extraction path is the scratch directory padded with "\." to cchPath: the
 * system takes it as the scratch directory, while the names are built on the
 * padded text.
 */
TEST_F(StubExtractTest, DirectoryRecordAndFileNameFailures)
{
    struct ROW
    {
        const char *pszWhat;
        void (*pfnArm)();
        const char *pszSub; /* under the scratch directory; null: the padded path */
        size_t cchPath;
        bool fExtractOnly;
        unsigned cPackages;
        const char *pszErr; /* %D: the extraction path; %A: the architecture's package name */
    };
    /*
     * No memory for a record: a directory made a moment ago is removed again,
     * a borrowed one is left alone.
     */
    static const ROW s_aRows[] = // clang-format off
    {
        { "no memory for the new directory's record",
          [] { g_rtNtSysOverride.pfnCreateDirectoryW = createDirThenNoMemory; }, "new", 0, false, 1,
          "installer-stub-test.exe: error: Out of memory!\nerror: Failed to add cleanup record for dir '%D'\n" },
        { "no memory for the existing directory's record",
          [] { g_rtNtSysOverride.pfnNtQueryFullAttributesFile = queryAttribsThenNoMemory; }, "", 0, false, 1,
          "installer-stub-test.exe: error: Out of memory!\n"
          "error: Failed to add cleanup record for existing dir '%D'\n" },
        { "no unique name", [] { g_rtNtSysOverride.pfnCreateFileW = createOnlyTheCab; }, "", 0, false, 3,
          "installer-stub-test.exe: error: Failed to create unique filename for '%A' in '%D': KERR_ACCESS_DENIED\n" },
        /* Room for "\unit-any.cab" (13) and the terminator, not for "\" and 24 random characters. */
        { "no room for the random name", [] {}, nullptr, STUB_PATH_MAX - 20, false, 3,
          "installer-stub-test.exe: error: Internal error: Build extraction file name failed: KERR_BUFFER_OVERFLOW\n" },
        /* Room for the random name (25) and the terminator, not for the suffix ".msi" too. */
        { "no room for the suffix", [] {}, nullptr, STUB_PATH_MAX - 28, false, 3,
          "installer-stub-test.exe: error: Internal error: Build extraction file name failed: KERR_BUFFER_OVERFLOW\n" },
        /* No room for "\unit-amd64.msi" (15). */
        { "no room for the header's name", [] {}, nullptr, STUB_PATH_MAX - 10, true, 1,
          "installer-stub-test.exe: error: Internal error: Build extraction file name failed: KERR_BUFFER_OVERFLOW\n" },
    };
    // clang-format on
    std::string const strArch = stubIsHost64Bit() ? "unit-amd64.msi" : "unit-x86.msi";
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        const ROW &Row = s_aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszWhat);
        stubCleanupInit();
        std::string strDir = m_strDir;
        if (Row.pszSub && *Row.pszSub)
            strDir += "\\" + std::string(Row.pszSub);
        while (!Row.pszSub
               && strDir.size() < Row.cchPath) /* cchPath or one more: the rows allow for both */
            strDir += "\\.";
        Capture cap;
        StubCleanupRecord *pDirRec = nullptr;
        {
            HeapShortage Shortage;
            SysOverrideGuard Guard;
            Row.pfnArm();
            EXPECT_EQ(STUBEXIT_FAILURE, stubExtractPackages(Row.cPackages, strDir.c_str(),
                                                            Row.fExtractOnly, &pDirRec));
            EXPECT_EQ(0u, HeapShortage::left());
        }
        /* Without a record the directory is not handed back; with one it is, for the cleanup. */
        EXPECT_EQ(strstr(Row.pszErr, "Failed to add cleanup record") != nullptr,
                  pDirRec == nullptr);
        EXPECT_TRUE(exists(m_strDir));
        EXPECT_FALSE(exists(m_strDir + "\\new"));
        std::string strErr = std::regex_replace(Row.pszErr, std::regex("%A"), strArch);
        if (strErr.find("%D") != std::string::npos)
            strErr.replace(strErr.find("%D"), 2, strDir);
        EXPECT_EQ(strErr, cap.err());
        SetCurrentDirectoryW(m_wstrSavedCwd.c_str());
        stubCleanupRun();
    }
}

TEST_F(StubExtractTest, PackageFailures)
{
    Capture cap;
    std::string const strFile = path("p.msi");
    EXPECT_EQ(KERR_INVALID_POINTER, stubExtractPackage(nullptr, strFile.c_str(), NIL_RTFILE, 0));
    EXPECT_EQ(KERR_INVALID_POINTER, stubExtractPackage("BIN_00", nullptr, NIL_RTFILE, 0));
    EXPECT_EQ("", cap.err());

    EXPECT_EQ(KERR_GENERAL_FAILURE, stubExtractPackage("NOPE", strFile.c_str(), NIL_RTFILE, 7));
    EXPECT_EQ(KERR_NO_DATA, stubExtractPackage("BIN_06", path("e.msi").c_str(), NIL_RTFILE, 6));
    EXPECT_EQ(KERR_PATH_NOT_FOUND,
              stubExtractPackage("BIN_00", path("no\\p.msi").c_str(), NIL_RTFILE, 0));
    EXPECT_EQ("error: #7: Failed to locate resource 'NOPE': KERR_GENERAL_FAILURE\n"
              "error: #6: Failed to locate resource 'BIN_06': KERR_NO_DATA\n"
              "error: #0: Failed to create/replace '"
                  + path("no\\p.msi") + "' for writing: KERR_PATH_NOT_FOUND\n",
              cap.err());
    /* The empty files are recorded, so the cleanup deletes them. */
    EXPECT_EQ(strFile, stubCleanupFindPackage(7)->szPath);
    EXPECT_EQ(0u, readFile(strFile).size());
    stubCleanupRun();
    EXPECT_FALSE(exists(strFile));
    EXPECT_FALSE(exists(path("e.msi")));
}

/* Memory comes back the moment the handle is closed: a passing shortage. */
BOOL WINAPI closeAndRecover(HANDLE h)
{
    RTMemTestFailAfter(-1);
    return CloseHandle(h);
}

TEST_F(StubExtractTest, UnrecordedFileIsDeletedAtOnce)
{
    Capture cap;
    std::string const strFile = path("unique.msi");
    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(KINF_SUCCESS, RTFileOpenPath(&hFile, strFile.c_str(), UINT64_C(0x1C000222)));
    {
        SysOverrideGuard Guard;
        g_rtNtSysOverride.pfnCloseHandle = closeAndRecover;
        RTMemTestFailAfter(0);
        EXPECT_EQ(KERR_NO_MEMORY, stubExtractPackage("BIN_00", strFile.c_str(), hFile, 0));
        RTMemTestFailAfter(-1);
    }
    EXPECT_FALSE(exists(strFile));
    EXPECT_EQ(nullptr, stubCleanupFindPackage(0));
}

/*
 * Verification failures, made by the file layer's system-call table.
 */

struct Fault
{
    static unsigned s_cCalls;
    static unsigned s_iFailAt;
    static HANDLE s_hIntruder;
};
unsigned Fault::s_cCalls, Fault::s_iFailAt;
HANDLE Fault::s_hIntruder = INVALID_HANDLE_VALUE;

/* Only the package file's handles are touched: the captured streams write through the same table. */
bool isPackage(HANDLE h)
{
    WCHAR wsz[MAX_PATH];
    DWORD const cwc = GetFinalPathNameByHandleW(h, wsz, MAX_PATH, 0);
    return cwc > 6 && cwc < MAX_PATH && !wcscmp(&wsz[cwc - 6], L"\\v.bin");
}

BOOL WINAPI faultWriteFile(HANDLE h, LPCVOID pv, DWORD cb, LPDWORD pcb, LPOVERLAPPED pOv)
{
    if (!isPackage(h))
        return WriteFile(h, pv, cb, pcb, pOv);
    *pcb = 0;
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
}

/*
 * The second read (the block at 64 KiB) fails (1) or comes back with its
 * first byte changed (2); or the first block has a byte changed in its middle
 * (3).
 */
BOOL WINAPI faultReadFile(HANDLE h, LPVOID pv, DWORD cb, LPDWORD pcb, LPOVERLAPPED pOv)
{
    if (!isPackage(h))
        return ReadFile(h, pv, cb, pcb, pOv);
    if (++Fault::s_cCalls == 2 && Fault::s_iFailAt == 1)
    {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    BOOL const fOk = ReadFile(h, pv, cb, pcb, pOv);
    if (fOk && Fault::s_cCalls == 2 && Fault::s_iFailAt == 2 && *pcb)
        ((uint8_t *)pv)[0] ^= 0x5A;
    if (fOk && Fault::s_cCalls == 1 && Fault::s_iFailAt == 3 && *pcb > 0x7FFF)
        ((uint8_t *)pv)[0x7FFF] ^= 0x01;
    return fOk;
}

/* The second full query (through the kept handle) sees another size or another file. */
NTSTATUS NTAPI faultQueryInformationFile(HANDLE h, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                                         FILE_INFORMATION_CLASS enm)
{
    NTSTATUS const rcNt = NtQueryInformationFile(h, pIos, pv, cb, enm);
    /* Success, or the name cut short (a warning): the fixed part is filled either way. */
    bool const fFilled = (uint32_t)rcNt < UINT32_C(0xC0000000);
    if (enm == FileAllInformation && fFilled && isPackage(h) && ++Fault::s_cCalls == 2)
    {
        FILE_ALL_INFORMATION *pAll = (FILE_ALL_INFORMATION *)pv;
        if (Fault::s_iFailAt == 1)
            pAll->StandardInformation.EndOfFile.QuadPart += 0x100000000LL + 1;
        else
            pAll->InternalInformation.IndexNumber.QuadPart ^= 0xF00D;
    }
    return rcNt;
}

/* Someone opens the file for writing just before the kept handle is opened. */
HANDLE WINAPI faultCreateFileW(LPCWSTR pwsz, DWORD fAccess, DWORD fShare, LPSECURITY_ATTRIBUTES pSa,
                               DWORD uDisp, DWORD fFlags, HANDLE hTemplate)
{
    if (uDisp == OPEN_EXISTING && fShare == FILE_SHARE_READ
        && !(fAccess & (GENERIC_WRITE | FILE_WRITE_DATA))
        && Fault::s_hIntruder == INVALID_HANDLE_VALUE)
        Fault::s_hIntruder = CreateFileW(pwsz, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    return CreateFileW(pwsz, fAccess, fShare, pSa, uDisp, fFlags, hTemplate);
}

const NTSTATUS g_rcNtNoMemory = (NTSTATUS)0xC0000017L; /* STATUS_NO_MEMORY */

/*
 * The Nth full query of the package's handles runs out of memory (the one
 * after the write, then the kept handle's).  A refusal would not do: the file
 * layer takes it for a device and answers with a record of zeros, which the
 * size and ID checks then catch.
 */
NTSTATUS NTAPI faultQueryFails(HANDLE h, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                               FILE_INFORMATION_CLASS enm)
{
    if (enm == FileAllInformation && isPackage(h) && ++Fault::s_cCalls == Fault::s_iFailAt)
        return g_rcNtNoMemory;
    return NtQueryInformationFile(h, pIos, pv, cb, enm);
}

/* The first re-opening of the package (the bridge) is refused. */
HANDLE WINAPI faultReopenFails(LPCWSTR pwsz, DWORD fAccess, DWORD fShare, LPSECURITY_ATTRIBUTES pSa,
                               DWORD uDisp, DWORD fFlags, HANDLE hTemplate)
{
    size_t const cwc = wcslen(pwsz);
    if (uDisp == OPEN_EXISTING && !(fAccess & (GENERIC_WRITE | FILE_WRITE_DATA)) && cwc > 6
        && !wcscmp(&pwsz[cwc - 6], L"\\v.bin") && ++Fault::s_cCalls == 1)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(pwsz, fAccess, fShare, pSa, uDisp, fFlags, hTemplate);
}

/* The Nth close of a package handle closes it but reports failure (the writing handle, then the bridge). */
BOOL WINAPI faultCloseFails(HANDLE h)
{
    bool const fFail = isPackage(h) && ++Fault::s_cCalls == Fault::s_iFailAt;
    BOOL const fOk = CloseHandle(h);
    if (!fFail)
        return fOk;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

TEST_F(StubExtractTest, VerificationFailures)
{
    std::string const strFile = path("v.bin");
    struct ROW
    {
        const char *pszWhat;
        void (*pfnArm)();
        const char *pszRes;
        int rc;
        std::string strLine;
    };
    const ROW aRows[] = // clang-format off
    {
        { "write fails", [] { g_rtNtSysOverride.pfnWriteFile = faultWriteFile; }, "BIN_00", KERR_WRITE_ERROR,
          "#0: RTFileWrite('" + strFile + "',, 0x3e8,) failed: KERR_WRITE_ERROR" },
        { "read of the second block fails", [] { Fault::s_iFailAt = 1; g_rtNtSysOverride.pfnReadFile = faultReadFile; },
          "BIN_03", KERR_READ_ERROR, "#0: RTFileRead failed on '" + strFile + "' at offset 0x10000: KERR_READ_ERROR" },
        { "second block differs", [] { Fault::s_iFailAt = 2; g_rtNtSysOverride.pfnReadFile = faultReadFile; },
          "BIN_03", KERR_MISMATCH, "#0: File '" + strFile + "' has change (mismatch in 0x1 byte block at 0x10000)" },
        { "first block differs", [] { Fault::s_iFailAt = 3; g_rtNtSysOverride.pfnReadFile = faultReadFile; },
          "BIN_03", KERR_MISMATCH, "#0: File '" + strFile + "' has change (mismatch in 0x10000 byte block at 0x0)" },
        { "size changed", [] { Fault::s_iFailAt = 1; g_rtNtSysOverride.pfnNtQueryInformationFile = faultQueryInformationFile; },
          "BIN_00", KERR_MISMATCH, "#0: File size of '" + strFile + "' changed: 4 294 968 297, expected 1 000" },
        { "file replaced", [] { Fault::s_iFailAt = 2; g_rtNtSysOverride.pfnNtQueryInformationFile = faultQueryInformationFile; },
          "BIN_00", KERR_MISMATCH, "<id>" },
        { "writer between the handles", [] { g_rtNtSysOverride.pfnCreateFileW = faultCreateFileW; },
          "BIN_00", KERR_SHARING_VIOLATION, "#0: Second re-opening of '" + strFile + "' failed: KERR_SHARING_VIOLATION" },
        { "query after the write fails",
          [] { Fault::s_iFailAt = 1; g_rtNtSysOverride.pfnNtQueryInformationFile = faultQueryFails; },
          "BIN_00", KERR_NO_MEMORY, "#0: RTFileQueryInfo failed on '" + strFile + "': KERR_NO_MEMORY" },
        { "query of the kept handle fails",
          [] { Fault::s_iFailAt = 2; g_rtNtSysOverride.pfnNtQueryInformationFile = faultQueryFails; },
          "BIN_00", KERR_NO_MEMORY, "#0: RTFileQueryInfo failed on '" + strFile + "': KERR_NO_MEMORY" },
        { "bridge refused", [] { g_rtNtSysOverride.pfnCreateFileW = faultReopenFails; },
          "BIN_00", KERR_ACCESS_DENIED, "#0: First re-opening of '" + strFile + "' failed: KERR_ACCESS_DENIED" },
        { "closing the writing handle fails",
          [] { Fault::s_iFailAt = 1; g_rtNtSysOverride.pfnCloseHandle = faultCloseFails; },
          "BIN_00", KERR_INVALID_HANDLE, "#0: RTFileClose('" + strFile + "') failed: KERR_INVALID_HANDLE" },
        /* Only reported: the kept handle is open by then, and the verification goes on and passes. */
        { "closing the bridge fails",
          [] { Fault::s_iFailAt = 2; g_rtNtSysOverride.pfnCloseHandle = faultCloseFails; },
          "BIN_00", KINF_SUCCESS, "#0: Failed to close 2nd handle to '" + strFile + "': KERR_INVALID_HANDLE" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        const ROW &Row = aRows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << Row.pszWhat);
        Capture cap;
        stubCleanupInit();
        Fault::s_cCalls = 0;
        Fault::s_iFailAt = 0;
        Fault::s_hIntruder = INVALID_HANDLE_VALUE;
        {
            SysOverrideGuard Guard;
            Row.pfnArm();
            EXPECT_EQ(Row.rc, stubExtractPackage(Row.pszRes, strFile.c_str(), NIL_RTFILE, 0));
        }
        if (Row.strLine == "<id>")
        {
            EXPECT_TRUE(std::regex_match(
                cap.err(), std::regex("error: #0: File ID of '.*' changed: 0x[0-9a-f]+, "
                                      "expected 0x[0-9a-f]+\n")))
                << cap.err();
        }
        else
        {
            EXPECT_EQ("error: " + Row.strLine + "\n", cap.err());
        }
        if (Fault::s_hIntruder != INVALID_HANDLE_VALUE)
            CloseHandle(Fault::s_hIntruder);
        /* Whatever failed, the file is recorded and goes with the cleanup. */
        ASSERT_NE(nullptr, stubCleanupFindPackage(0));
        stubCleanupRun();
        EXPECT_FALSE(exists(strFile));
    }
}

/*
 * Installation steps, with the Windows functions replaced through their
 * lazy-binding slots: the Windows Installer's every kind of answer, the
 * certificate store's failures and the shell's copy, with the arguments that
 * reach them.
 */
template <typename a_Slot>
class SlotGuard
{
public:
    explicit SlotGuard(typename a_Slot::PFN pfn) : m_pfnSaved(a_Slot::s_pfnSlot)
    {
        a_Slot::s_pfnSlot = pfn;
    }
    ~SlotGuard() { a_Slot::s_pfnSlot = m_pfnSaved; }

private:
    typename a_Slot::PFN m_pfnSaved;
};

struct FakeUser
{
    static std::vector<std::string> s_vecCalls;
    static int WINAPI boxW(HWND hwnd, LPCWSTR pwszText, LPCWSTR pwszTitle, UINT fStyle)
    {
        s_vecCalls.push_back("W " + std::to_string(hwnd == (HWND)0x1234) + " " + toUtf8(pwszTitle)
                             + " " + std::to_string(fStyle) + " " + toUtf8(pwszText));
        return IDOK;
    }
    static int WINAPI boxA(HWND hwnd, LPCSTR pszText, LPCSTR pszTitle, UINT fStyle)
    {
        s_vecCalls.push_back("A " + std::to_string(hwnd == (HWND)0x1234) + " " + pszTitle + " "
                             + std::to_string(fStyle) + " " + pszText);
        return IDOK;
    }
    static HWND WINAPI desktop() { return (HWND)0x1234; }
};
std::vector<std::string> FakeUser::s_vecCalls;

struct FakeMsi
{
    static INSTALLUILEVEL s_enmUiLevel;
    static INSTALLUILEVEL s_enmUiAnswer;
    static int s_cEnableLog;
    static DWORD s_fLogMode, s_fLogAttr;
    static std::wstring s_wstrLog, s_wstrPackage, s_wstrParams;
    static UINT s_uLogAnswer, s_uAnswer;
    static void reset(UINT uAnswer)
    {
        s_enmUiLevel = INSTALLUILEVEL_NOCHANGE;
        s_enmUiAnswer = INSTALLUILEVEL_DEFAULT;
        s_cEnableLog = 0;
        s_fLogMode = s_fLogAttr = 0;
        s_wstrLog = s_wstrPackage = s_wstrParams = L"<none>";
        s_uLogAnswer = ERROR_SUCCESS;
        s_uAnswer = uAnswer;
    }
    static INSTALLUILEVEL WINAPI setInternalUI(INSTALLUILEVEL enmLevel, HWND *phWnd)
    {
        EXPECT_EQ(nullptr, phWnd);
        s_enmUiLevel = enmLevel;
        return s_enmUiAnswer;
    }
    static UINT WINAPI enableLog(DWORD fMode, LPCWSTR pwszLog, DWORD fAttr)
    {
        s_cEnableLog++;
        s_fLogMode = fMode;
        s_fLogAttr = fAttr;
        s_wstrLog = pwszLog;
        return s_uLogAnswer;
    }
    static UINT WINAPI installProduct(LPCWSTR pwszPackage, LPCWSTR pwszParams)
    {
        s_wstrPackage = pwszPackage;
        s_wstrParams = pwszParams;
        return s_uAnswer;
    }
};
INSTALLUILEVEL FakeMsi::s_enmUiLevel, FakeMsi::s_enmUiAnswer;
int FakeMsi::s_cEnableLog;
DWORD FakeMsi::s_fLogMode, FakeMsi::s_fLogAttr;
std::wstring FakeMsi::s_wstrLog, FakeMsi::s_wstrPackage, FakeMsi::s_wstrParams;
UINT FakeMsi::s_uLogAnswer, FakeMsi::s_uAnswer;

struct MsiGuards
{
    SlotGuard<StubLazy::StubLazySlot_MsiSetInternalUI> Ui{ FakeMsi::setInternalUI };
    SlotGuard<StubLazy::StubLazySlot_MsiEnableLogW> Log{ FakeMsi::enableLog };
    SlotGuard<StubLazy::StubLazySlot_MsiInstallProductW> Install{ FakeMsi::installProduct };
};

/* The system's own text for a Windows error, as the installer shows it ("" when it has none). */
std::string systemText(DWORD uError)
{
    PWSTR pwsz = nullptr;
    DWORD cwc = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, uError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (PWSTR)&pwsz, 0, nullptr);
    std::string str = cwc && pwsz ? toUtf8(std::wstring(pwsz, cwc)) : "";
    if (pwsz)
        LocalFree(pwsz);
    str.erase(std::remove(str.begin(), str.end(), '\r'), str.end());
    return str;
}

TEST(StubInstallMsi, AnswersToResultsAndMessages)
{
    const std::string strShown = "Installation failed! Error: ";
    const struct
    {
        UINT uAnswer;
        int rcExit;
        std::string strOut,
            strErr; /* "<system>": the system's text for the answer, or its number */
    } aRows[] = {
        { ERROR_SUCCESS, 0, "", "" },
        { ERROR_SUCCESS_REBOOT_REQUIRED, 3010,
          std::string(g_szProg) + ": info: Reboot required (by C:\\x y\\p.msi)\n", "" },
        { ERROR_SUCCESS_REBOOT_INITIATED, 1641,
          std::string(g_szProg) + ": info: Restart initiated (by C:\\x y\\p.msi)\n", "" },
        { ERROR_INSTALL_USEREXIT, 1, "", "" },
        { ERROR_INSTALL_PACKAGE_VERSION, 1, "",
          errLine("This installation package cannot be installed by the Windows Installer service.")
              + errLine("You must install a Windows service pack that contains a newer version of "
                        "the Windows "
                        "Installer service.") },
        { ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1, "",
          errLine("This installation package is not supported on this platform.") },
        { ERROR_INSTALL_FAILURE, 1, "", "<system>" },
        { ERROR_INSTALL_PACKAGE_INVALID, 1, "", "<system>" },
        { 1639 /* invalid command line */, 1, "", "<system>" },
        { 2102 /* a network message */, 1, "", "<netmsg>" },
        { 0xBEEF /* no text anywhere */, 1, "", errLine(strShown + "48879") },
    };
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE("row " + std::to_string(i));
        MsiGuards Guards;
        FakeMsi::reset(aRows[i].uAnswer);
        Capture cap;
        EXPECT_EQ(aRows[i].rcExit,
                  stubInstallMsi("C:\\x y\\p.msi", "A=1 B=\"two words\"", nullptr).iCode);
        EXPECT_EQ(INSTALLUILEVEL_NONE, FakeMsi::s_enmUiLevel);
        EXPECT_EQ(0, FakeMsi::s_cEnableLog);
        EXPECT_EQ(L"C:\\x y\\p.msi", FakeMsi::s_wstrPackage);
        EXPECT_EQ(L"A=1 B=\"two words\"", FakeMsi::s_wstrParams);
        EXPECT_EQ(aRows[i].strOut, cap.out());
        if (aRows[i].strErr == "<system>")
        {
            std::string const strText = systemText(aRows[i].uAnswer);
            ASSERT_NE("", strText) << "Wine has a text for " << aRows[i].uAnswer;
            /* The text as the system gave it: its line break ends the message's first line. */
            EXPECT_EQ(0u, cap.err().find(errLine(strShown + strText.substr(0, strText.find('\n')))))
                << cap.err();
        }
        else if (aRows[i].strErr == "<netmsg>")
            EXPECT_TRUE(std::regex_match(
                cap.err(), std::regex(errLine(strShown + "(2102|[^0-9\n][^\n]*)") + "(.*\n)*")))
                << cap.err();
        else
            EXPECT_EQ(aRows[i].strErr, cap.err());
    }
}

/*
 * --msi-exit-codes: a failure exits with the answer itself, the message
 * unchanged; successes are unchanged.  An answer of 1618 is asked again
 * after each pause of the wait (recorded, not slept), and given up when the
 * wait has run out.
 */
struct FakeWait
{
    static std::vector<DWORD> s_vecPauses;
    static unsigned s_cBusy;
    static void WINAPI sleep(DWORD cMs) { s_vecPauses.push_back(cMs); }
    static UINT WINAPI busyThenDone(LPCWSTR, LPCWSTR)
    {
        return s_cBusy ? (s_cBusy--, ERROR_INSTALL_ALREADY_RUNNING) : ERROR_SUCCESS;
    }
};
std::vector<DWORD> FakeWait::s_vecPauses;
unsigned FakeWait::s_cBusy;

TEST(StubInstallMsi, MsiExitCodesAndTheWait)
{
    static const struct
    {
        UINT uAnswer;
        int rcPlain, rcCodes;
    } s_aRows[] = {
        { ERROR_SUCCESS, 0, 0 }, { ERROR_SUCCESS_REBOOT_REQUIRED, 3010, 3010 },
        { ERROR_SUCCESS_REBOOT_INITIATED, 1641, 1641 }, { ERROR_INSTALL_USEREXIT, 1, 1602 },
        { ERROR_INSTALL_FAILURE, 1, 1603 }, { ERROR_INSTALL_ALREADY_RUNNING, 1, 1618 },
        { ERROR_INSTALL_PACKAGE_OPEN_FAILED, 1, 1619 }, { ERROR_INSTALL_PACKAGE_INVALID, 1, 1620 },
        { ERROR_INSTALL_PACKAGE_VERSION, 1, 1613 }, { ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1, 1633 },
    };
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE("row " + std::to_string(i));
        MsiGuards Guards;
        std::string strErr[2];
        for (int fCodes = 0; fCodes < 2; fCodes++)
        {
            FakeMsi::reset(s_aRows[i].uAnswer);
            Capture cap;
            g_fStubMsiExitCodes = fCodes != 0;
            EXPECT_EQ(fCodes ? s_aRows[i].rcCodes : s_aRows[i].rcPlain,
                      stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
            g_fStubMsiExitCodes = false;
            strErr[fCodes] = cap.err();
        }
        EXPECT_EQ(strErr[0], strErr[1]);
    }

    /* 1618 three times, then success: three growing pauses, one line. */
    MsiGuards Guards;
    SlotGuard<StubLazy::StubLazySlot_MsiInstallProductW> Busy{ FakeWait::busyThenDone };
    g_StubLockSys.pfnSleep = FakeWait::sleep;
    FakeWait::s_vecPauses.clear();
    FakeWait::s_cBusy = 3;
    g_cStubWaitMsLeft = 60000;
    g_cStubWaitPauses = 0;
    {
        Capture cap;
        EXPECT_EQ(0, stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
        EXPECT_EQ(std::vector<DWORD>({ 500, 1000, 2000 }), FakeWait::s_vecPauses);
        EXPECT_EQ(std::string(g_szProg) + ": info: Waiting up to 60 s for another installer\n",
                  cap.out());
    }
    /* Always busy: the pauses add up to the time given, then 1618 fails as before. */
    FakeWait::s_vecPauses.clear();
    FakeWait::s_cBusy = 1000;
    g_cStubWaitMsLeft = 20000;
    g_cStubWaitPauses = 0;
    {
        Capture cap;
        g_fStubMsiExitCodes = true;
        EXPECT_EQ(1618, stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
        g_fStubMsiExitCodes = false;
        EXPECT_EQ(std::vector<DWORD>({ 500, 1000, 2000, 4000, 8000, 4500 }), FakeWait::s_vecPauses);
        EXPECT_EQ(0u, g_cStubWaitMsLeft);
    }
    g_StubLockSys = STUBLOCKSYS();
    g_cStubWaitPauses = 0;
}

/*
 * The lock's ways, with the system's answers injected: the private
 * namespace where every call succeeds, the global name where the namespace
 * is refused, the plain name where the global one is refused too, and the
 * lock held: the run waits while --wait allows.
 */
struct FakeNs
{
    static bool s_fCreate, s_fExists;
    static HANDLE WINAPI boundary(LPCWSTR pwszName, ULONG)
    {
        s_vecCalls.push_back("boundary " + toUtf8(pwszName));
        return (HANDLE)0x100;
    }
    static BOOL WINAPI addSid(HANDLE *phBoundary, PSID pSid)
    {
        BYTE const abAdmins[] = { 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0 };
        s_vecCalls.push_back(std::string("sid ") + (*phBoundary == (HANDLE)0x100 ? "" : "?")
                             + (memcmp(pSid, abAdmins, sizeof(abAdmins)) ? "other" : "admins"));
        return TRUE;
    }
    static HANDLE WINAPI createNs(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR pwszAlias)
    {
        s_vecCalls.push_back("create " + toUtf8(pwszAlias));
        SetLastError(s_fExists ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED);
        return s_fCreate ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
    }
    static HANDLE WINAPI openNs(LPVOID, LPCWSTR pwszAlias)
    {
        s_vecCalls.push_back("open " + toUtf8(pwszAlias));
        return CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    static HANDLE WINAPI mutex(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR pwszName)
    {
        std::string const strName = toUtf8(pwszName);
        s_vecCalls.push_back("mutex " + strName);
        if (strName.find(s_strRefuse) == 0 && !s_strRefuse.empty())
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        SetLastError(NO_ERROR);
        return CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    static std::vector<std::string> s_vecCalls;
    static std::string s_strRefuse;
};
bool FakeNs::s_fCreate, FakeNs::s_fExists;
std::vector<std::string> FakeNs::s_vecCalls;
std::string FakeNs::s_strRefuse;

TEST(StubLock, NamespaceGlobalAndPlainName)
{
    static const struct
    {
        bool fCreate, fExists;
        const char *pszRefuse;
        std::vector<std::string> vecCalls;
        bool fNamespace;
    } s_aRows[] = {
        { true, false, "", { "boundary Kestrelyn", "sid admins", "create Kestrelyn",
                             "mutex Kestrelyn\\QornStubInstaller" }, true },
        { false, true, "", { "boundary Kestrelyn", "sid admins", "create Kestrelyn", "open Kestrelyn",
                             "mutex Kestrelyn\\QornStubInstaller" }, true },
        { false, false, "", { "boundary Kestrelyn", "sid admins", "create Kestrelyn",
                              "mutex Global\\QornStubInstaller" }, false },
        { false, false, "Global\\", { "boundary Kestrelyn", "sid admins", "create Kestrelyn",
                                      "mutex Global\\QornStubInstaller", "mutex QornStubInstaller" }, false },
        { true, false, "Kestrelyn\\", { "boundary Kestrelyn", "sid admins", "create Kestrelyn",
                                        "mutex Kestrelyn\\QornStubInstaller",
                                        "mutex Global\\QornStubInstaller" }, true },
    };
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE("row " + std::to_string(i));
        g_StubLockSys.pfnCreateBoundaryDescriptorW = FakeNs::boundary;
        g_StubLockSys.pfnAddSIDToBoundaryDescriptor = FakeNs::addSid;
        g_StubLockSys.pfnCreatePrivateNamespaceW = FakeNs::createNs;
        g_StubLockSys.pfnOpenPrivateNamespaceW = FakeNs::openNs;
        g_StubLockSys.pfnCreateMutexW = FakeNs::mutex;
        FakeNs::s_fCreate = s_aRows[i].fCreate;
        FakeNs::s_fExists = s_aRows[i].fExists;
        FakeNs::s_strRefuse = s_aRows[i].pszRefuse;
        FakeNs::s_vecCalls.clear();
        STUBLOCK Lock;
        EXPECT_TRUE(stubLockAcquire(&Lock));
        EXPECT_EQ(s_aRows[i].vecCalls, FakeNs::s_vecCalls);
        EXPECT_NE(nullptr, Lock.hMutex);
        EXPECT_EQ(s_aRows[i].fNamespace, Lock.hNamespace != nullptr);
        stubLockRelease(&Lock);
        EXPECT_EQ(nullptr, Lock.hMutex);
        EXPECT_EQ(nullptr, Lock.hNamespace);
        g_StubLockSys = STUBLOCKSYS();
    }
    /* This system's own answer (Wine lacks the namespace calls): the global name, a real mutex. */
    STUBLOCK Lock;
    EXPECT_TRUE(stubLockAcquire(&Lock));
    HANDLE hGlobal = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\QornStubInstaller");
    EXPECT_NE(nullptr, hGlobal);
    if (hGlobal)
        CloseHandle(hGlobal);
    /* A second copy finds it held. */
    STUBLOCK Second;
    EXPECT_FALSE(stubLockAcquire(&Second));
    EXPECT_EQ(nullptr, Second.hMutex);
    EXPECT_EQ(nullptr, Second.hNamespace);
    stubLockRelease(&Lock);
}

TEST(StubInstallMsi, InterfaceLevelAndLog)
{
    MsiGuards Guards;
    /* Interactive: the full interface, and a reboot is not announced. */
    FakeMsi::reset(ERROR_SUCCESS_REBOOT_REQUIRED);
    {
        Capture cap(false);
        EXPECT_EQ(3010, stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
        EXPECT_EQ(INSTALLUILEVEL_FULL, FakeMsi::s_enmUiLevel);
        EXPECT_EQ("", cap.out() + cap.err());
    }
    /* Nor is a restart that the Windows Installer's interface has started. */
    FakeMsi::reset(ERROR_SUCCESS_REBOOT_INITIATED);
    {
        SlotGuard<StubLazy::StubLazySlot_MessageBoxW> Box(FakeUser::boxW);
        FakeUser::s_vecCalls.clear();
        Capture cap(false);
        EXPECT_EQ(1641, stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
        EXPECT_EQ(INSTALLUILEVEL_FULL, FakeMsi::s_enmUiLevel);
        EXPECT_EQ("", cap.out() + cap.err());
        EXPECT_EQ(std::vector<std::string>{}, FakeUser::s_vecCalls);
    }
    /*
     * A log: verbose, flushed line by line, not appended, and a new file of
     * the installer's own in place of what had the name.
     */
    char szTemp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof(szTemp), szTemp));
    std::string const strLog = std::string(szTemp) + "Grüße.log";
    ASSERT_TRUE(writeFile(strLog, "old log"));
    FakeMsi::reset(ERROR_SUCCESS);
    {
        Capture cap;
        EXPECT_EQ(0, stubInstallMsi("C:\\p.msi", "", strLog.c_str()).iCode);
        EXPECT_EQ(1, FakeMsi::s_cEnableLog);
        EXPECT_EQ((DWORD)INSTALLLOGMODE_VERBOSE, FakeMsi::s_fLogMode);
        EXPECT_EQ((DWORD)INSTALLLOGATTRIBUTES_FLUSHEACHLINE, FakeMsi::s_fLogAttr);
        EXPECT_EQ(toWide(strLog), FakeMsi::s_wstrLog);
        EXPECT_EQ("", readFile(strLog));
    }
    /* A log that can't be made new: nothing is installed. */
    FakeMsi::reset(ERROR_SUCCESS);
    {
        Capture cap;
        std::string const strNoDir = std::string(szTemp) + "no-such-dir\\x.log";
        EXPECT_EQ(1, stubInstallMsi("C:\\p.msi", "", strNoDir.c_str()).iCode);
        EXPECT_EQ(errLine("Failed to create the log file '" + strNoDir + "': KERR_PATH_NOT_FOUND"),
                  cap.err());
        EXPECT_EQ(0, FakeMsi::s_cEnableLog);
        EXPECT_EQ(L"<none>", FakeMsi::s_wstrPackage);
    }
    /* The log refused, the interface level refused: nothing is installed. */
    FakeMsi::reset(ERROR_SUCCESS);
    FakeMsi::s_uLogAnswer = ERROR_INVALID_PARAMETER;
    {
        Capture cap;
        EXPECT_EQ(1, stubInstallMsi("C:\\p.msi", "", strLog.c_str()).iCode);
        EXPECT_EQ(errLine("MsiEnableLogW failed"), cap.err());
        EXPECT_EQ(L"<none>", FakeMsi::s_wstrPackage);
    }
    DeleteFileW(toWide(strLog).c_str());
    FakeMsi::reset(ERROR_SUCCESS);
    FakeMsi::s_enmUiAnswer = INSTALLUILEVEL_NOCHANGE;
    {
        Capture cap;
        EXPECT_EQ(1, stubInstallMsi("C:\\p.msi", "", nullptr).iCode);
        EXPECT_EQ(errLine("Internal error: MsiSetInternalUI failed."), cap.err());
        EXPECT_EQ(L"<none>", FakeMsi::s_wstrPackage);
    }
    /* Text that is not UTF-8 can't reach the Windows Installer: parameters, package or log name. */
    static const struct
    {
        const char *pszPackage, *pszParams, *pszLog, *pszBad, *pszMsg;
    } s_aBad[] = // clang-format off
    {
        { "C:\\p.msi", "A=\xff", nullptr, "A=\xff", "RTStrToUtf16 failed on '" },
        { "C:\\p\xfe.msi", "", nullptr, "C:\\p\xfe.msi", "RTStrToUtf16 failed on '" },
        { "C:\\p.msi", "", "C:\\log\xc3.txt", "C:\\log\xc3.txt", "Failed to create the log file '" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aBad); i++)
    {
        SCOPED_TRACE(testing::Message() << "bad text " << i);
        FakeMsi::reset(ERROR_SUCCESS);
        Capture cap;
        EXPECT_EQ(1, stubInstallMsi(s_aBad[i].pszPackage, s_aBad[i].pszParams, s_aBad[i].pszLog).iCode);
        std::string const strHead = errLine(std::string(s_aBad[i].pszMsg) + s_aBad[i].pszBad
                                            + "': KERR_");
        EXPECT_EQ(0u, cap.err().find(strHead.substr(0, strHead.size() - 1))) << cap.err();
        EXPECT_EQ(0, FakeMsi::s_cEnableLog);
        EXPECT_EQ(L"<none>", FakeMsi::s_wstrPackage);
    }
}

struct FakeCrypt
{
    static DWORD s_fFlags, s_uProvider, s_fEncoding;
    static std::wstring s_wstrStore;
    static HCERTSTORE WINAPI openStoreFails(LPCSTR pszProvider, DWORD fEncoding, HCRYPTPROV_LEGACY,
                                            DWORD fFlags, const void *pvPara)
    {
        s_uProvider = (DWORD)(uintptr_t)pszProvider;
        s_fEncoding = fEncoding;
        s_fFlags = fFlags;
        s_wstrStore = (const wchar_t *)pvPara;
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    static BOOL WINAPI addFails(HCERTSTORE, PCCERT_CONTEXT, DWORD uDisposition,
                                PCCERT_CONTEXT *ppStoreCtx)
    {
        EXPECT_EQ((DWORD)CERT_STORE_ADD_REPLACE_EXISTING, uDisposition);
        EXPECT_EQ(nullptr, ppStoreCtx);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
};
DWORD FakeCrypt::s_fFlags, FakeCrypt::s_uProvider, FakeCrypt::s_fEncoding;
std::wstring FakeCrypt::s_wstrStore;

TEST(StubAddCertToStore, Failures)
{
    ASSERT_EQ(1u, g_cStubCerts);
    const void *pvCert = nullptr;
    uint32_t cbCert = 0;
    ASSERT_EQ(KINF_SUCCESS, stubFindResource(g_apszStubCerts[0], &pvCert, &cbCert));
    ASSERT_GT(cbCert, 100u);
    const uint8_t *const pbCert = (const uint8_t *)pvCert;
    ASSERT_EQ(0x30, pbCert[0]);
    {
        Capture cap;
        EXPECT_FALSE(stubAddCertToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, "TrustedPublisher",
                                        (const uint8_t *)"\x30\x03xyz", 5));
        EXPECT_TRUE(std::regex_match(
            cap.err(), std::regex(errLine("Unable to get certificate context: -?[0-9]+"))))
            << cap.err();
    }
    {
        /* No such resource: no bytes, refused at the first step and nothing opened. */
        SlotGuard<StubLazy::StubLazySlot_CertOpenStore> Guard(FakeCrypt::openStoreFails);
        FakeCrypt::s_wstrStore.clear();
        Capture cap;
        EXPECT_FALSE(stubAddCertResourceToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                                "TrustedPublisher", "NO_SUCH_CERT"));
        EXPECT_TRUE(std::regex_match(
            cap.err(), std::regex(errLine("Unable to get certificate context: -?[0-9]+"))))
            << cap.err();
        EXPECT_EQ(L"", FakeCrypt::s_wstrStore);
    }
    {
        /* The build's resource holds a certificate: the store step is reached. */
        SlotGuard<StubLazy::StubLazySlot_CertOpenStore> Guard(FakeCrypt::openStoreFails);
        Capture cap;
        EXPECT_FALSE(stubAddCertResourceToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                                "TrustedPublisher", g_apszStubCerts[0]));
        EXPECT_EQ(errLine("Unable to open certificates store: 5"), cap.err());
    }
    {
        SlotGuard<StubLazy::StubLazySlot_CertOpenStore> Guard(FakeCrypt::openStoreFails);
        Capture cap;
        /* The open-existing bit is cleared: a missing store is created. */
        EXPECT_FALSE(
            stubAddCertToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG,
                               "TrustedPublisher", pbCert, cbCert));
        EXPECT_EQ(errLine("Unable to open certificates store: 5"), cap.err());
        EXPECT_EQ((DWORD)(uintptr_t)CERT_STORE_PROV_SYSTEM_W, FakeCrypt::s_uProvider);
        EXPECT_EQ((DWORD)(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING), FakeCrypt::s_fEncoding);
        EXPECT_EQ((DWORD)CERT_SYSTEM_STORE_LOCAL_MACHINE, FakeCrypt::s_fFlags);
        EXPECT_EQ(L"TrustedPublisher", FakeCrypt::s_wstrStore);
    }
    {
        SlotGuard<StubLazy::StubLazySlot_CertAddCertificateContextToStore> Guard(
            FakeCrypt::addFails);
        Capture cap;
        EXPECT_FALSE(stubAddCertToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, "KestrelynUnitTest",
                                        pbCert, cbCert));
        EXPECT_EQ(errLine("Unable to install certificate: 112"), cap.err());
    }
}

/*
 * The ".custom" copy: a ".custom" beside this program for a moment, copied
 * into a scratch extraction directory.  What Wine can't show (a link to a
 * file listed as one, an item swapped for a link between the listing and
 * the open, a refused create) is put in through the system-call table.
 */
class StubCustomTest : public fstest::ScratchDirTest
{
protected:
    std::string m_strCustom;
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        char szExecDir[MAX_PATH * 3];
        ASSERT_EQ(KINF_SUCCESS, RTPathExecDir(szExecDir, sizeof(szExecDir)));
        m_strCustom = std::string(szExecDir) + "\\.custom";
        removeTree(longForm(m_strCustom));
        ASSERT_TRUE(CreateDirectoryW(toWide(m_strCustom).c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(toWide(m_strCustom + "\\sub").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(toWide(m_strCustom + "\\sub\\empty").c_str(), nullptr));
        ASSERT_TRUE(writeFile(m_strCustom + "\\top.txt", "top"));
        ASSERT_TRUE(writeFile(m_strCustom + "\\sub\\link.txt", std::string(70000, 'x')));
        stubCleanupInit();
    }
    void TearDown() override
    {
        stubCleanupRelease();
        removeTree(longForm(m_strCustom));
        ScratchDirTest::TearDown();
    }
};

/* Entries named link.txt are listed as reparse points, as Windows lists a link to a file. */
NTSTATUS NTAPI listLinkAsReparse(HANDLE hDir, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pvCtx,
                                 PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                 FILE_INFORMATION_CLASS enmClass, BOOLEAN fSingle,
                                 PUNICODE_STRING pFilter, BOOLEAN fRestart)
{
    NTSTATUS const rcNt = NtQueryDirectoryFile(hDir, hEvent, pfnApc, pvCtx, pIos, pvBuf, cbBuf,
                                               enmClass, fSingle, pFilter, fRestart);
    FILE_DIRECTORY_INFORMATION *pInfo = (FILE_DIRECTORY_INFORMATION *)pvBuf;
    if (NT_SUCCESS(rcNt) && enmClass == FileDirectoryInformation
        && std::wstring(pInfo->FileName, pInfo->FileNameLength / 2) == L"link.txt")
        pInfo->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return rcNt;
}

/* Every file opened turns out a link: swapped in after the listing. */
NTSTATUS NTAPI filesOpenAsLinks(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb,
                                FILE_INFORMATION_CLASS enmClass)
{
    NTSTATUS const rcNt = NtQueryInformationFile(hFile, pIos, pv, cb, enmClass);
    FILE_ATTRIBUTE_TAG_INFORMATION *pTag = (FILE_ATTRIBUTE_TAG_INFORMATION *)pv;
    if (enmClass == FileAttributeTagInformation && NT_SUCCESS(rcNt)
        && !(pTag->FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        pTag->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        pTag->ReparseTag = IO_REPARSE_TAG_SYMLINK;
    }
    return rcNt;
}

/* Nothing can be created. */
NTSTATUS NTAPI createRefused(PHANDLE phFile, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pAttr,
                             PIO_STATUS_BLOCK pIos, PLARGE_INTEGER pcbAlloc, ULONG fAttribs,
                             ULONG fShare, ULONG uDisposition, ULONG fOptions, PVOID pvEa, ULONG cbEa)
{
    if (uDisposition == FILE_CREATE)
        return RTNT_STATUS_ACCESS_DENIED;
    return NtCreateFile(phFile, fAccess, pAttr, pIos, pcbAlloc, fAttribs, fShare, uDisposition,
                        fOptions, pvEa, cbEa);
}

TEST_F(StubCustomTest, CopiesTheTreeAsNewItems)
{
    std::string const strExtract = path("x");
    ASSERT_TRUE(CreateDirectoryW(toWide(strExtract).c_str(), nullptr));
    {
        Capture cap;
        EXPECT_EQ(0, stubCopyCustomDir(strExtract.c_str()).iCode);
        EXPECT_EQ("", cap.err());
    }
    EXPECT_EQ("top", readFile(strExtract + "\\.custom\\top.txt"));
    EXPECT_EQ(std::string(70000, 'x'), readFile(strExtract + "\\.custom\\sub\\link.txt"));
    EXPECT_TRUE(RTDirExists((strExtract + "\\.custom\\sub\\empty").c_str()));
    StubCleanupRecord *pRec = stubCleanupFindPackage(STUB_NO_PACKAGE);
    ASSERT_NE(nullptr, pRec);
    EXPECT_EQ(strExtract + "\\.custom", pRec->szPath);
    EXPECT_TRUE(RTDirIsUsable(pRec->u.hDir));
    stubCleanupRelease();

    /* The copy is made new: one already there is never written into. */
    ASSERT_TRUE(DeleteFileW(toWide(strExtract + "\\.custom\\top.txt").c_str()));
    Capture cap;
    EXPECT_EQ(1, stubCopyCustomDir(strExtract.c_str()).iCode);
    EXPECT_TRUE(std::regex_match(cap.err(), std::regex(errLine("Copying '\\.custom' failed: KERR_[A-Z_]+"))))
        << cap.err();
    EXPECT_EQ(nullptr, stubCleanupFindPackage(STUB_NO_PACKAGE));
    EXPECT_FALSE(exists(strExtract + "\\.custom\\top.txt"));
}

TEST_F(StubCustomTest, RefusalsThroughTheSystemCallTable)
{
    static const struct
    {
        const char *pszWhat;
        bool fListed, fOpened, fCreate, fMissingDst;
        const char *pszErr;
        bool fCreated; /* whether the copying pass got to make ".custom" */
    } s_aRows[] = // clang-format off
    {
        { "a link to a file, listed as one", true,  false, false, false,
          "Copying '.custom\\sub\\link.txt' failed: a link or junction", false },
        { "files swapped for links after the check", false, true, false, false,
          "Copying '.custom\\top.txt' failed: a link or junction", true },
        { "nothing can be created", false, false, true, false,
          "Copying '.custom' failed: KERR_ACCESS_DENIED", false },
        { "no extraction directory", false, false, false, true,
          "Unable to open the destination .custom directory: KERR_FILE_NOT_FOUND", false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszWhat);
        std::string const strExtract = path("x" + std::to_string(i));
        if (!s_aRows[i].fMissingDst)
        {
            ASSERT_TRUE(CreateDirectoryW(toWide(strExtract).c_str(), nullptr));
        }
        SysOverrideGuard Guard;
        if (s_aRows[i].fListed)
            g_rtNtSysOverride.pfnNtQueryDirectoryFile = listLinkAsReparse;
        if (s_aRows[i].fOpened)
            g_rtNtSysOverride.pfnNtQueryInformationFile = filesOpenAsLinks;
        if (s_aRows[i].fCreate)
            g_rtNtSysOverride.pfnNtCreateFile = createRefused;
        Capture cap;
        EXPECT_EQ(1, stubCopyCustomDir(strExtract.c_str()).iCode);
        rtNtSysReset();
        std::string strErr = cap.err();
        /* Which file comes first is the file system's order. */
        if (s_aRows[i].fOpened)
        {
            strErr = std::regex_replace(strErr, std::regex("\\\\(top|sub\\\\link)\\.txt'"), "\\top.txt'");
        }
        EXPECT_EQ(errLine(s_aRows[i].pszErr), strErr);
        EXPECT_EQ(nullptr, stubCleanupFindPackage(STUB_NO_PACKAGE));
        EXPECT_EQ(s_aRows[i].fCreated, exists(strExtract + "\\.custom"));
        EXPECT_FALSE(exists(strExtract + "\\.custom\\top.txt"));
    }
}

/*
 * Without the executable's path there is no ".custom" to look for.  RTR3Init
 * fails when it can't record the path, so a real run ends with exit code 3
 * before it gets here; the runtime is made to forget the path for a moment.
 */
TEST(StubCopyCustomDir, ExecutablePathUnknown)
{
    size_t const cchSaved = g_cchrtProcExePath;
    g_cchrtProcExePath = 0;
    StubExit rcExit;
    std::string strErr;
    {
        Capture cap;
        rcExit = stubCopyCustomDir("C:\\extract here");
        strErr = cap.err();
    }
    g_cchrtProcExePath = cchSaved;
    EXPECT_EQ(STUBEXIT_FAILURE, rcExit);
    EXPECT_EQ(errLine("Failed to construct '.custom' dir path: KERR_WRONG_ORDER"), strErr);
}

/*
 * Whole runs of the driver in place, with the temporary directory in a
 * scratch directory.  This program's payload has a broken header (#5), so a
 * run that gets to the extraction stops there; either way the directory it
 * made is gone afterwards.  The runtime is made to take each run's arguments
 * as its own.
 */
class StubMainTest : public StubExtractTest
{
protected:
    int run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "installer.exe");
        std::vector<char *> argv;
        for (std::string &str : args)
            argv.push_back(&str[0]);
        argv.push_back(nullptr);
        int const cSavedArgs = g_crtR3Args;
        char **papszSaved = g_papszrtR3Args;
        g_crtR3Args = -1;
        SetEnvironmentVariableW(L"ZELK_TMPDIR", toWide(m_strDir).c_str());
        int const rcExit = stubMain((int)args.size(), argv.data());
        SetEnvironmentVariableW(L"ZELK_TMPDIR", nullptr);
        g_crtR3Args = cSavedArgs;
        g_papszrtR3Args = papszSaved;
        return rcExit;
    }
};

TEST_F(StubMainTest, RunsThatFailLeaveNothingBehind)
{
    struct ROW
    {
        const char *pszWhat;
        void (*pfnArm)();
        std::string strErr;
    };
    const ROW aRows[] = // clang-format off
    {
        { "no memory for the extraction directory's record",
          [] { g_rtNtSysOverride.pfnCreateDirectoryW = createDirThenNoMemory; },
          errLine("Out of memory!") + errLine("Failed to create extraction path: KERR_NO_MEMORY") },
        { "up to the broken header", [] {},
          errLine("Internal error: Could not find package header #5: KERR_BAD_LENGTH") },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(aRows[i].pszWhat);
        Capture cap;
        int rcExit;
        /* Whether the extraction got to change it or not, the current directory is put back. */
        CreateDirectoryW(toWide(path("cwd")).c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(toWide(path("cwd")).c_str()));
        {
            HeapShortage Shortage;
            SysOverrideGuard Guard;
            aRows[i].pfnArm();
            rcExit = run({ "--silent" });
        }
        EXPECT_EQ(path("cwd"), currentDir());
        SetCurrentDirectoryW(m_wstrSavedCwd.c_str());
        RemoveDirectoryW(toWide(path("cwd")).c_str());
        EXPECT_EQ(STUBEXIT_FAILURE.iCode, rcExit);
        EXPECT_EQ(aRows[i].strErr, cap.err());
        EXPECT_EQ("", cap.out());
        EXPECT_EQ(std::vector<std::string>{}, listDir(m_strDir));
    }
}

/*
 * The driver's start: the runtime refuses a second start with other
 * arguments (exit code 3, before anything else is done), and the parser
 * refuses an argument count below zero, which only a caller in place can
 * pass.
 */
TEST(StubMain, RuntimeStartAndParserStartFail)
{
    static char s_szArg0[] = "installer.exe", s_szArg1[] = "--silent";
    char *apszArgs[] = { s_szArg0, s_szArg1, nullptr };
    int const cSavedArgs = g_crtR3Args;
    char **papszSaved = g_papszrtR3Args;
    char *apszOther[] = { s_szArg0, nullptr };
    g_crtR3Args = 1;
    g_papszrtR3Args = apszOther;
    int rcExit;
    std::string strErr, strOut;
    {
        Capture cap;
        rcExit = stubMain(2, apszArgs);
        strErr = cap.err();
        strOut = cap.out();
    }
    g_crtR3Args = cSavedArgs;
    g_papszrtR3Args = papszSaved;
    EXPECT_EQ(STUBEXIT_INIT.iCode, rcExit);
    EXPECT_EQ(std::string(g_szProg) + ": fatal error: RTR3Init: KERR_WRONG_ORDER\n", strErr);
    EXPECT_EQ("", strOut);

    Capture cap;
    STUBRUNSTATE State;
    RTMemSet(&State, 0, sizeof(State));
    EXPECT_EQ(STUBEXIT_FAILURE, stubParseCommandLine(&State, -1, apszArgs));
    EXPECT_EQ(errLine("RTGetOptInit failed: KERR_INVALID_PARAMETER"), cap.err());
}


TEST(StubDisplay, BoxesTheirStyleAndTheNarrowFallback)
{
    SlotGuard<StubLazy::StubLazySlot_MessageBoxW> GuardW(FakeUser::boxW);
    SlotGuard<StubLazy::StubLazySlot_MessageBoxA> GuardA(FakeUser::boxA);
    SlotGuard<StubLazy::StubLazySlot_GetDesktopWindow> GuardD(FakeUser::desktop);
    FakeUser::s_vecCalls.clear();
    Capture cap(false);
    EXPECT_EQ(1, stubReportError("Grüße %s", "日本").iCode);
    stubReportInfo("Version: %u", 7);
    /* Not UTF-8: shown byte for byte through the narrow box. */
    EXPECT_EQ(1, stubReportError("bad \xff byte").iCode);
    stubReportInfo("bad \xfe byte");
    // clang-format off
    std::vector<std::string> const vecExpected = {
        "W 1 Kestrelyn Installer " + std::to_string(MB_OK | MB_ICONERROR) + " Grüße 日本",
        "W 1 Kestrelyn Installer " + std::to_string(MB_OK | MB_ICONINFORMATION) + " Version: 7",
        "A 1 Kestrelyn Installer " + std::to_string(MB_OK | MB_ICONERROR) + " bad \xff byte",
        "A 1 Kestrelyn Installer " + std::to_string(MB_OK | MB_ICONINFORMATION) + " bad \xfe byte",
    };
    // clang-format on
    EXPECT_EQ(vecExpected, FakeUser::s_vecCalls);
    EXPECT_EQ(0x10, MB_OK | MB_ICONERROR);
    EXPECT_EQ(0x40, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ("", cap.out() + cap.err());
}

} // namespace
