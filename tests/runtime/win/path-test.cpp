/*
 * The Windows side of the path module on the test bench: the current directory and
 * drive, absolute paths against them, the environment and the temporary
 * directory, the executable's directory, and the conversions to the forms
 * the Win32 and native calls take, with their opens.
 */
#include <gtest/gtest.h>

#include <string>

#include <zelk/dir.h>
#include <zelk/env.h>
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/path.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"
#include "runtime/win/fs-testutil.h"

using namespace fstest;

namespace {

class PathWinTest : public ScratchDirTest
{
};

/* A fake current directory for the calls that report it. */
std::wstring g_wstrFakeCwd;

DWORD WINAPI currentDirectoryFake(DWORD cwcBuf, LPWSTR pwszBuf)
{
    if (cwcBuf <= g_wstrFakeCwd.size())
        return (DWORD)g_wstrFakeCwd.size() + 1;
    memcpy(pwszBuf, g_wstrFakeCwd.c_str(), (g_wstrFakeCwd.size() + 1) * sizeof(WCHAR));
    return (DWORD)g_wstrFakeCwd.size();
}

DWORD WINAPI fullPathIdentity(LPCWSTR pwszIn, DWORD cwcBuf, LPWSTR pwszBuf, LPWSTR *)
{
    size_t const cwc = wcslen(pwszIn);
    if (cwcBuf <= cwc)
        return (DWORD)cwc + 1;
    memcpy(pwszBuf, pwszIn, (cwc + 1) * sizeof(WCHAR));
    return (DWORD)cwc;
}

/* Environment values of a size the system would not hold. */
DWORD WINAPI envHuge(LPCWSTR, LPWSTR, DWORD)
{
    return 40000;
}

/* A value that grows between the sizing call and the reading call, twice. */
unsigned g_cEnvCalls;

DWORD WINAPI envGrowing(LPCWSTR, LPWSTR pwszBuf, DWORD cwcBuf)
{
    DWORD const cwcValue = 600 + 700 * (g_cEnvCalls < 2 ? g_cEnvCalls : 2);
    g_cEnvCalls++;
    if (cwcBuf <= cwcValue)
        return cwcValue + 1;
    for (DWORD i = 0; i < cwcValue; i++)
        pwszBuf[i] = L'g';
    pwszBuf[cwcValue] = 0;
    return cwcValue;
}

/* A volume that only opens with its trailing separator, as NT volumes do. */
std::wstring g_wstrLastNtName;

NTSTATUS NTAPI createFileWantsTrailingSep(PHANDLE ph, ACCESS_MASK fAccess,
                                          POBJECT_ATTRIBUTES pObjAttr, PIO_STATUS_BLOCK pIos,
                                          PLARGE_INTEGER pcbAlloc, ULONG fAttribs, ULONG fShare,
                                          ULONG uDisposition, ULONG fOptions, PVOID pvEa,
                                          ULONG cbEa)
{
    g_wstrLastNtName.assign(pObjAttr->ObjectName->Buffer,
                            pObjAttr->ObjectName->Length / sizeof(WCHAR));
    if (g_wstrLastNtName.back() != L'\\')
        return RTNT_STATUS_INVALID_PARAMETER;
    return NtCreateFile(ph, fAccess, pObjAttr, pIos, pcbAlloc, fAttribs, fShare, uDisposition,
                        fOptions, pvEa, cbEa);
}

} // namespace

TEST_F(PathWinTest, CurrentDirectoryRoundTrip)
{
    /* A trailing separator is dropped, a lower-case drive comes back upper-case. */
    std::string strLower = m_strDir + "\\";
    strLower[0] = (char)(strLower[0] - 'A' + 'a');
    ASSERT_EQ(RTPathSetCurrent(strLower.c_str()), 0);
    char szCwd[1024];
    ASSERT_EQ(RTPathGetCurrent(szCwd, sizeof(szCwd)), 0);
    EXPECT_STREQ(szCwd, m_strDir.c_str());

    size_t const cch = m_strDir.size();
    EXPECT_EQ(RTPathGetCurrent(szCwd, cch), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathGetCurrent(szCwd, cch + 1), 0);
    EXPECT_EQ(RTPathGetCurrent(szCwd, 0), KERR_BUFFER_OVERFLOW);

    char szDrive[16];
    ASSERT_EQ(RTPathGetCurrentDrive(szDrive, sizeof(szDrive)), 0);
    EXPECT_EQ(std::string(szDrive), m_strDir.substr(0, 2));
    EXPECT_EQ(RTPathGetCurrentDrive(szDrive, 2), KERR_BUFFER_OVERFLOW);

    /* The drive root itself keeps its separator. */
    ASSERT_EQ(RTPathSetCurrent("C:\\"), 0);
    ASSERT_EQ(RTPathGetCurrent(szCwd, sizeof(szCwd)), 0);
    EXPECT_STREQ(szCwd, "C:\\");
    ASSERT_EQ(RTPathGetCurrentOnDrive('c', szCwd, sizeof(szCwd)), 0);
    EXPECT_STREQ(szCwd, "C:\\");

    EXPECT_EQ(RTPathSetCurrent(""), KERR_INVALID_PARAMETER);
    EXPECT_EQ(RTPathSetCurrent(path("missing").c_str()), KERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTPathGetCurrentOnDrive('1', szCwd, sizeof(szCwd)), KERR_INVALID_PARAMETER);
}

TEST_F(PathWinTest, AbsoluteAgainstTheCurrentDirectory)
{
    ASSERT_EQ(RTPathSetCurrent(m_strDir.c_str()), 0);
    std::string const strDrive = m_strDir.substr(0, 2);
    static const struct
    {
        const char *pszPath;
        std::string strExpect;
    } s_aRows[] = // clang-format off
    {
        { "x", m_strDir + "\\x" },
        { ".\\x\\..\\y\\", m_strDir + "\\y\\" },
        { "..\\sibling", m_strDir.substr(0, m_strDir.rfind('\\')) + "\\sibling" },
        { "\\top\\x", strDrive + "\\top\\x" },
        { "/top/../x", strDrive + "\\x" },
        { "c:x", m_strDir + "\\x" },
        { "q:x", "Q:\\x" },
        { ".", m_strDir },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszPath);
        char szOut[1024];
        ASSERT_EQ(RTPathAbs(s_aRows[i].pszPath, szOut, sizeof(szOut)), 0);
        EXPECT_EQ(std::string(szOut), s_aRows[i].strExpect);
    }

    /* The stop flag for the current directory keeps ".." inside it. */
    char szOut[1024];
    size_t cb = sizeof(szOut);
    ASSERT_EQ(RTPathAbsEx(nullptr, "..\\..\\x", RTPATHABS_F_STOP_AT_CWD, szOut, &cb), 0);
    EXPECT_EQ(std::string(szOut), m_strDir + "\\x");

    char *psz = RTPathAbsExDup(nullptr, "dup", 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), m_strDir + "\\dup");
    RTMemFree(psz);
}

TEST_F(PathWinTest, CurrentDirectoryLongerThanTheBuffer)
{
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnGetCurrentDirectoryW = currentDirectoryFake;
    g_rtNtSysOverride.pfnGetFullPathNameW = fullPathIdentity;

    /* Longer than the caller's 100 bytes: the size needed comes back. */
    g_wstrFakeCwd = L"C:\\" + std::wstring(5000, L'c');
    char szOut[100];
    size_t cb = sizeof(szOut);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", 0, szOut, &cb), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cb, 3u + 5000u + 2u + 1u);
    EXPECT_EQ(szOut[0], '\0');

    /*
     * Longer than 64 KiB and four times the buffer: too long, whatever the
     * buffer, and the same for a path that takes only the directory's drive.
     */
    g_wstrFakeCwd = L"C:\\" + std::wstring(70000, L'c');
    cb = sizeof(szOut);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", 0, szOut, &cb), KERR_FILENAME_TOO_LONG);
    cb = sizeof(szOut);
    EXPECT_EQ(RTPathAbsEx(nullptr, "\\x", 0, szOut, &cb), KERR_FILENAME_TOO_LONG);

    /* A current directory without a drive or share has no root for "\x". */
    g_wstrFakeCwd = L"\\\\?\\";
    EXPECT_EQ(RTPathAbs("\\x", szOut, sizeof(szOut)), KERR_INTERNAL_ERROR_4);
    g_wstrFakeCwd = L"\\\\srv\\shr\\dir";
    ASSERT_EQ(RTPathAbs("\\x", szOut, sizeof(szOut)), 0);
    EXPECT_STREQ(szOut, "\\\\srv\\shr\\x");

    /* A relative path in a UNC current directory takes the UNC native form. */
    UNICODE_STRING NtName;
    ASSERT_EQ(rtNtPathFromWinUtf8(&NtName, "file"), 0);
    EXPECT_EQ(std::wstring(NtName.Buffer, NtName.Length / 2), L"\\??\\UNC\\srv\\shr\\dir\\file");
    rtNtPathFree(&NtName);
}

TEST_F(PathWinTest, EnvironmentQueries)
{
    /* Non-ASCII values, an empty variable, and one longer than the first 512-unit buffer. */
    std::string const strCyr
        = "\xd0\xb7\xd0\xbd\xd0\xb0\xd1\x87\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5 \xf0\x9f\x98\x80";
    std::string const strLong(5000, 'L');
    static const struct
    {
        const char *pszName;
        const std::string *pstrValue;
    } s_aRows[] = // clang-format off
    {
        { "ZELK_TEST_CYR", &strCyr },
        { "ZELK_TEST_LONG", &strLong },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszName);
        ASSERT_TRUE(SetEnvironmentVariableW(toWide(s_aRows[i].pszName).c_str(),
                                            toWide(*s_aRows[i].pstrValue).c_str()));
        std::string strBuf(s_aRows[i].pstrValue->size() + 1, '\0');
        size_t cch = 0;
        EXPECT_EQ(RTEnvQueryVar(s_aRows[i].pszName, &strBuf[0], strBuf.size(), &cch), 0);
        EXPECT_EQ(cch, s_aRows[i].pstrValue->size());
        EXPECT_EQ(std::string(strBuf.c_str()), *s_aRows[i].pstrValue);
        EXPECT_EQ(RTEnvQueryVar(s_aRows[i].pszName, &strBuf[0], strBuf.size() - 1, &cch),
                  KERR_BUFFER_OVERFLOW);
        EXPECT_EQ(RTEnvQueryVar(s_aRows[i].pszName, nullptr, 0, &cch), 0);
        EXPECT_EQ(cch, s_aRows[i].pstrValue->size());
        SetEnvironmentVariableW(toWide(s_aRows[i].pszName).c_str(), nullptr);
    }

    ASSERT_TRUE(SetEnvironmentVariableW(L"ZELK_TEST_EMPTY", L""));
    char szBuf[8] = "junk";
    EXPECT_EQ(RTEnvQueryVar("ZELK_TEST_EMPTY", szBuf, sizeof(szBuf), nullptr), 0);
    EXPECT_STREQ(szBuf, "");
    SetEnvironmentVariableW(L"ZELK_TEST_EMPTY", nullptr);
    EXPECT_EQ(RTEnvQueryVar("ZELK_TEST_EMPTY", szBuf, sizeof(szBuf), nullptr),
              KERR_ENV_VAR_NOT_FOUND);
    EXPECT_EQ(RTEnvQueryVar("A=B", szBuf, sizeof(szBuf), nullptr), KERR_ENV_INVALID_VAR_NAME);
    EXPECT_EQ(RTEnvQueryVar("\xff", szBuf, sizeof(szBuf), nullptr), KERR_INVALID_UTF8);

    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnGetEnvironmentVariableW = envHuge;
    EXPECT_EQ(RTEnvQueryVar("ANY", szBuf, sizeof(szBuf), nullptr), KERR_INTERNAL_ERROR_3);
    g_rtNtSysOverride.pfnGetEnvironmentVariableW = envGrowing;
    g_cEnvCalls = 0;
    std::string strBuf(4096, '\0');
    size_t cch = 0;
    EXPECT_EQ(RTEnvQueryVar("ANY", &strBuf[0], strBuf.size(), &cch), 0);
    EXPECT_EQ(g_cEnvCalls, 4u);
    EXPECT_EQ(cch, 2000u);
    RTMemTestFailAfter(1);
    g_cEnvCalls = 0;
    int rc = RTEnvQueryVar("ANY", &strBuf[0], strBuf.size(), &cch);
    RTMemTestFailAfter(-1);
    EXPECT_EQ(rc, KERR_NO_TMP_MEMORY);
}

TEST_F(PathWinTest, TemporaryDirectoryWithNonAsciiName)
{
    std::string const strTmp = path(
        "\xe4\xb8\xb4\xe6\x97\xb6-\xd0\xb2\xd1\x80\xd0\xb5\xd0\xbc\xd1\x8f");
    ASSERT_EQ(RTDirMake(strTmp.c_str(), 0700, 0), 0);
    ASSERT_TRUE(SetEnvironmentVariableW(L"ZELK_TMPDIR", toWide(strTmp).c_str()));
    char szTmp[1024];
    int rc = RTPathTemp(szTmp, sizeof(szTmp));
    SetEnvironmentVariableW(L"ZELK_TMPDIR", nullptr);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::string(szTmp), strTmp);

    char szTemplate[1024];
    ASSERT_EQ(RTPathJoin(szTemplate, sizeof(szTemplate), szTmp, "XXXXXXXXXXXXXXXXXXXXXXXX"), 0);
    ASSERT_EQ(RTDirMakeUnique(szTemplate, 0700), 0);
    EXPECT_TRUE(RTDirExists(szTemplate));
    EXPECT_EQ(std::string(szTemplate).size(), strTmp.size() + 25);
}

/* Replacements that make the process SYSTEM, and give the system's directories. */
NTSTATUS NTAPI tokenUserSystem(HANDLE hToken, TOKEN_INFORMATION_CLASS enmClass, PVOID pvInfo,
                               ULONG cbInfo, PULONG pcbRet)
{
    NTSTATUS const rcNt = NtQueryInformationToken(hToken, enmClass, pvInfo, cbInfo, pcbRet);
    if (enmClass == TokenUser && NT_SUCCESS(rcNt))
    {
        static uint8_t s_abSystem[] = { 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0 };
        ((TOKEN_USER *)pvInfo)->User.Sid = (PSID)s_abSystem;
    }
    return rcNt;
}
std::wstring g_wstrFakeDir;
DWORD WINAPI tempPathFake(DWORD cwcBuf, LPWSTR pwszBuf)
{
    return currentDirectoryFake(cwcBuf, pwszBuf) == g_wstrFakeDir.size() + 1
               ? (DWORD)g_wstrFakeDir.size() + 1
               : (DWORD)g_wstrFakeDir.size();
}
UINT WINAPI windowsDirectoryFake(LPWSTR pwszBuf, UINT cwcBuf)
{
    return (UINT)currentDirectoryFake(cwcBuf, pwszBuf);
}
DWORD WINAPI tempPathFails(DWORD, LPWSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

std::string systemWindowsDir()
{
    WCHAR wsz[MAX_PATH + 1];
    UINT const cwc = GetSystemWindowsDirectoryW(wsz, MAX_PATH);
    return toUtf8(std::wstring(wsz, cwc));
}

/*
 * A run as SYSTEM takes the system's own directory, whatever TMP and TEMP
 * say, unless ZELK_TMPDIR names one: GetTempPath2W where kernel32 has it,
 * else "SystemTemp" in the Windows directory when it exists, else its "Temp".
 * Any other run without the variables takes the system's temporary path.
 */
TEST_F(PathWinTest, TemporaryDirectoryOfSystemAndWithoutVariables)
{
    static const char *const s_apszVars[] = { "ZELK_TMPDIR", "TMP", "TEMP", "USERPROFILE" };
    std::wstring awstrSaved[4];
    bool afSet[4];
    for (int i = 0; i < 4; i++)
    {
        WCHAR wsz[4096];
        DWORD const cwc = GetEnvironmentVariableW(toWide(s_apszVars[i]).c_str(), wsz, 4096);
        afSet[i] = cwc || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        awstrSaved[i] = std::wstring(wsz, cwc);
    }
    bool const fHas2W = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W") != nullptr;
    ASSERT_EQ(RTDirMake(path("win").c_str(), 0700, 0), 0);
    ASSERT_EQ(RTDirMake(path("winst").c_str(), 0700, 0), 0);
    ASSERT_EQ(RTDirMake(path("winst\\SystemTemp").c_str(), 0700, 0), 0);
    WCHAR wszSysTemp[MAX_PATH + 1];
    static const struct
    {
        const char *pszWhat;
        bool fSystem;
        const char *pszTmpDir; /* ZELK_TMPDIR, or null */
        const char *pszTemp2;  /* what GetTempPath2W gives, or null for none */
        const char *pszWinDir; /* scratch subdirectory as the Windows directory, or null */
        const char *pszExpect; /* scratch-relative, or null for the case's own */
    } s_aRows[] = // clang-format off
    {
        { "SYSTEM, GetTempPath2W",              true,  nullptr,  "C:\\Sys\\Temp2\\", nullptr, "C:\\Sys\\Temp2\\" },
        { "SYSTEM, ZELK_TMPDIR first",          true,  "C:\\zt", "C:\\Sys\\Temp2\\", nullptr, "C:\\zt" },
        { "SYSTEM, no GetTempPath2W, no SystemTemp", true, nullptr, nullptr, "win",   "win\\Temp" },
        { "SYSTEM, no GetTempPath2W, SystemTemp", true,  nullptr,  nullptr,  "winst", "winst\\SystemTemp" },
        { "SYSTEM, the real Windows directory", true,  nullptr,  nullptr,  nullptr, nullptr },
        { "user, no variables",                 false, nullptr,  "C:\\Sys\\Temp2\\", nullptr, nullptr },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].pszWhat);
        SysOverrideGuard Guard;
        SetEnvironmentVariableW(L"TMP", L"C:\\users\\public");
        SetEnvironmentVariableW(L"TEMP", L"C:\\users\\public");
        SetEnvironmentVariableW(L"USERPROFILE", L"C:\\users\\public");
        SetEnvironmentVariableA("ZELK_TMPDIR", s_aRows[i].pszTmpDir);
        if (!s_aRows[i].fSystem)
        {
            SetEnvironmentVariableW(L"TMP", nullptr);
            SetEnvironmentVariableW(L"TEMP", nullptr);
            SetEnvironmentVariableW(L"USERPROFILE", nullptr);
        }
        else
            g_rtNtSysOverride.pfnNtQueryInformationToken = tokenUserSystem;
        if (s_aRows[i].pszTemp2)
        {
            g_wstrFakeDir = toWide(s_aRows[i].pszTemp2);
            g_wstrFakeCwd = g_wstrFakeDir;
            g_rtNtSysOverride.pfnGetTempPath2W = tempPathFake;
        }
        if (s_aRows[i].pszWinDir)
        {
            g_wstrFakeCwd = toWide(path(s_aRows[i].pszWinDir));
            g_rtNtSysOverride.pfnGetSystemWindowsDirectoryW = windowsDirectoryFake;
        }
        std::string strExpect;
        if (!s_aRows[i].pszExpect)
            strExpect = !s_aRows[i].fSystem ? toUtf8(std::wstring(wszSysTemp, GetTempPathW(MAX_PATH + 1, wszSysTemp)))
                        : fHas2W           ? std::string("<GetTempPath2W>")
                                           : systemWindowsDir() + "\\Temp";
        else if (s_aRows[i].pszWinDir)
            strExpect = path(s_aRows[i].pszExpect);
        else
            strExpect = s_aRows[i].pszExpect;
        char szTmp[1024];
        int const rc = RTPathTemp(szTmp, sizeof(szTmp));
        EXPECT_EQ(rc, 0);
        if (strExpect != "<GetTempPath2W>")
        {
            EXPECT_EQ(std::string(szTmp), strExpect);
        }
        EXPECT_NE(std::string(szTmp), "/tmp");
    }
    {
        /* The system's answer fails: its error, not another directory. */
        SysOverrideGuard Guard;
        SetEnvironmentVariableW(L"TMP", nullptr);
        SetEnvironmentVariableW(L"TEMP", nullptr);
        SetEnvironmentVariableW(L"USERPROFILE", nullptr);
        SetEnvironmentVariableW(L"ZELK_TMPDIR", nullptr);
        g_rtNtSysOverride.pfnGetTempPathW = tempPathFails;
        char szTmp[64];
        EXPECT_EQ(RTPathTemp(szTmp, sizeof(szTmp)), KERR_ACCESS_DENIED);
        g_rtNtSysOverride.pfnNtQueryInformationToken = tokenUserSystem;
        g_rtNtSysOverride.pfnGetTempPath2W = tempPathFails;
        EXPECT_EQ(RTPathTemp(szTmp, sizeof(szTmp)), KERR_ACCESS_DENIED);
        /* A buffer too small for the answer. */
        g_wstrFakeDir = g_wstrFakeCwd = L"C:\\Windows\\SystemTemp\\";
        g_rtNtSysOverride.pfnGetTempPath2W = tempPathFake;
        EXPECT_EQ(RTPathTemp(szTmp, 10), KERR_BUFFER_OVERFLOW);
    }
    for (int i = 0; i < 4; i++)
        SetEnvironmentVariableW(toWide(s_apszVars[i]).c_str(),
                                afSet[i] ? awstrSaved[i].c_str() : nullptr);
}

TEST_F(PathWinTest, ExecutableDirectory)
{
    ASSERT_EQ(rtProcInitExePath(), 0);
    WCHAR wszExe[1024];
    DWORD const cwc = GetModuleFileNameW(nullptr, wszExe, RT_ELEMENTS(wszExe));
    std::string const strExe = toUtf8(std::wstring(wszExe, cwc));
    std::string const strDir = strExe.substr(0, strExe.rfind('\\'));

    char szDir[1024];
    ASSERT_EQ(RTPathExecDir(szDir, sizeof(szDir)), 0);
    EXPECT_EQ(std::string(szDir), strDir);
    memset(szDir, 'Z', sizeof(szDir));
    EXPECT_EQ(RTPathExecDir(szDir, strDir.size()), KERR_BUFFER_OVERFLOW);
    EXPECT_EQ(szDir[0], 'Z');
    EXPECT_EQ(RTPathExecDir(szDir, strDir.size() + 1), 0);
}

TEST_F(PathWinTest, Win32FormsOfPaths)
{
    ASSERT_EQ(RTPathSetCurrent(m_strDir.c_str()), 0);
    std::string const strLongName(250, 'n');
    static const struct
    {
        std::string strIn;
        std::wstring wstrExpect;
    } s_aRows[] = // clang-format off
    {
        { "C:\\short\\path", L"C:\\short\\path" },
        { "rel\\x", L"rel\\x" },
        { "c:rel", toWide(m_strDir) + L"\\rel" },
        { "C:\\" + strLongName, L"\\\\?\\C:\\" + toWide(strLongName) },
        { "C:\\a\\..\\" + strLongName, L"\\\\?\\C:\\" + toWide(strLongName) },
        { "\\\\srv\\shr\\" + strLongName, L"\\\\?\\UNC\\srv\\shr\\" + toWide(strLongName) },
        { "\\\\?\\C:\\" + strLongName, L"\\\\?\\C:\\" + toWide(strLongName) },
        { "\\\\?\\C:\\x\\..\\y", L"\\\\?\\C:\\x\\..\\y" },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << s_aRows[i].strIn.substr(0, 40));
        PRTUTF16 pwsz = nullptr;
        ASSERT_EQ(rtPathWin32FromUtf8(s_aRows[i].strIn.c_str(), &pwsz), 0);
        EXPECT_EQ(std::wstring((const wchar_t *)pwsz), s_aRows[i].wstrExpect);
        RTStrRelease(pwsz);
    }

    /* A native path outside the DOS devices has no Win32 spelling. */
    PRTUTF16 pwsz = (PRTUTF16)(uintptr_t)1;
    std::string const strNative = "\\\\:zelknt:\\Device\\" + strLongName;
    EXPECT_EQ(rtPathWin32FromUtf8(strNative.c_str(), &pwsz), KERR_NOT_SUPPORTED);
    EXPECT_EQ(pwsz, nullptr);
    EXPECT_EQ(rtPathWin32FromUtf8("\xc3(", &pwsz), KERR_INVALID_UTF8);
}

TEST_F(PathWinTest, NativePaths)
{
    UNICODE_STRING NtName;
    ASSERT_EQ(rtNtPathFromWinUtf8(&NtName, "C:\\dir\\file"), 0);
    EXPECT_EQ(std::wstring(NtName.Buffer, NtName.Length / 2), L"\\??\\C:\\dir\\file");
    EXPECT_EQ(NtName.MaximumLength, NtName.Length + 2);
    EXPECT_EQ(NtName.Buffer[NtName.Length / 2], 0);
    rtNtPathFree(&NtName);
    EXPECT_EQ(NtName.Buffer, nullptr);

    /* The counted string holds at most 32766 units. */
    std::string strPath = "C:\\" + std::string(32759, 'a');
    ASSERT_EQ(rtNtPathFromWinUtf8(&NtName, strPath.c_str()), 0);
    EXPECT_EQ(NtName.Length, 32766 * 2);
    rtNtPathFree(&NtName);
    strPath += 'a';
    EXPECT_EQ(rtNtPathFromWinUtf8(&NtName, strPath.c_str()), KERR_FILENAME_TOO_LONG);
    EXPECT_EQ(rtNtPathFromWinUtf8(&NtName, ("\\\\?\\" + strPath).c_str()), KERR_FILENAME_TOO_LONG);
    strPath.resize(strPath.size() - 1);
    ASSERT_EQ(rtNtPathFromWinUtf8(&NtName, ("\\\\?\\" + strPath).c_str()), 0);
    EXPECT_EQ(NtName.Length, 32766 * 2);
    rtNtPathFree(&NtName);
}

TEST_F(PathWinTest, NativeOpens)
{
    ASSERT_TRUE(writeFile(path("f.txt"), "x"));
    HANDLE h = nullptr;
    ASSERT_EQ(rtNtPathOpen(m_strDir.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE,
                           FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE,
                           &h, nullptr),
              0);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    NtClose(h);

    h = nullptr;
    EXPECT_EQ(rtNtPathOpen(path("f.txt").c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                           FILE_SHARE_READ, FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                           OBJ_CASE_INSENSITIVE, &h, nullptr),
              KERR_NOT_A_DIRECTORY);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rtNtPathOpen(path("none").c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ, FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE, &h,
                           nullptr),
              KERR_FILE_NOT_FOUND);

    /* An object-manager directory, only when the caller asks for one. */
    bool fObjDir = false;
    ASSERT_EQ(rtNtPathOpen("\\\\:zelknt:\\Device\\", GENERIC_READ, FILE_SHARE_READ,
                           FILE_DIRECTORY_FILE, OBJ_CASE_INSENSITIVE, &h, &fObjDir),
              0);
    EXPECT_TRUE(fObjDir);
    NtClose(h);
    EXPECT_NE(rtNtPathOpen("\\\\:zelknt:\\Device", GENERIC_READ, FILE_SHARE_READ,
                           FILE_DIRECTORY_FILE, OBJ_CASE_INSENSITIVE, &h, nullptr),
              0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);

    /* A name refused as a parameter is tried once more with a trailing separator. */
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnNtCreateFile = createFileWantsTrailingSep;
    ASSERT_EQ(rtNtPathOpen(m_strDir.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE,
                           FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE,
                           &h, nullptr),
              0);
    EXPECT_EQ(g_wstrLastNtName, L"\\??\\" + toWide(m_strDir) + L"\\");
    NtClose(h);
}
