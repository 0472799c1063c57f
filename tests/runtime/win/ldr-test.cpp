/*
 * The system-module loader under Wine: where a module is taken from when
 * side-by-side redirection points elsewhere, and with which search flags it
 * is loaded.  Redirection, the WOW64 system directory and the load itself go
 * through the system-call table, so each row sees exactly which file the
 * loader would have mapped.
 */
#include <gtest/gtest.h>

#include <string>

#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/ldr.h>

#include "nt.h"
#include "runtime/win/fs-testutil.h"

using namespace fstest;

namespace {

std::wstring g_wstrRedirect; /* what the redirection answers; empty: no redirection */
std::wstring g_wstrWow64Dir; /* what GetSystemWow64DirectoryW answers; empty: none */
std::wstring g_wstrLoaded;   /* the last path handed to LoadLibraryExW */
DWORD g_fLoaded;

NTSTATUS NTAPI redirectTo(ULONG, PUNICODE_STRING, PUNICODE_STRING, PUNICODE_STRING pStatic,
                          PUNICODE_STRING, PUNICODE_STRING *ppNew, PULONG, PSIZE_T, PSIZE_T)
{
    if (g_wstrRedirect.empty())
        return (NTSTATUS)0xC0150008L; /* STATUS_SXS_KEY_NOT_FOUND */
    size_t const cb = g_wstrRedirect.size() * sizeof(WCHAR);
    memcpy(pStatic->Buffer, g_wstrRedirect.c_str(), cb);
    pStatic->Length = (USHORT)cb;
    *ppNew = pStatic;
    return RTNT_STATUS_SUCCESS;
}

UINT WINAPI wow64Dir(LPWSTR pwszBuf, UINT cwcBuf)
{
    if (g_wstrWow64Dir.empty())
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    if (g_wstrWow64Dir.size() >= cwcBuf)
        return (UINT)g_wstrWow64Dir.size() + 1;
    wcscpy(pwszBuf, g_wstrWow64Dir.c_str());
    return (UINT)g_wstrWow64Dir.size();
}

/* Records the load and lets the real loader do it. */
HMODULE WINAPI loadRecorded(LPCWSTR pwszPath, HANDLE hFile, DWORD fFlags)
{
    g_wstrLoaded = pwszPath;
    g_fLoaded = fFlags;
    return LoadLibraryExW(pwszPath, hFile, fFlags);
}

std::wstring sysDir()
{
    wchar_t wsz[MAX_PATH];
    UINT const cwc = GetSystemDirectoryW(wsz, MAX_PATH);
    return std::wstring(wsz, cwc);
}

std::wstring lower(std::wstring wstr)
{
    for (wchar_t &wc : wstr)
        wc = towlower(wc);
    return wstr;
}

/* Makes an empty file; a load of it fails, but the recorded path tells where the loader went. */
void touch(const std::wstring &wstrPath)
{
    HANDLE h = CreateFileW(wstrPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << toUtf8(wstrPath);
    CloseHandle(h);
}

} // namespace

TEST(LdrLoadSystem, TakesTheSystemDirectoryAndSearchesOnlyThere)
{
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnLoadLibraryExW = loadRecorded;
    RTLDRMOD hMod = nullptr;
    ASSERT_EQ(RTLdrLoadSystem("msi", RTLDRLOAD_FLAGS_NO_UNLOAD, &hMod), KINF_SUCCESS);
    EXPECT_EQ(lower(g_wstrLoaded), lower(sysDir() + L"\\msi.dll"));
    /* Wine's kernel32 exports AddDllDirectory, so the search is confined to the system directory. */
    ASSERT_NE(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory"), nullptr);
    EXPECT_EQ(g_fLoaded, (DWORD)LOAD_LIBRARY_SEARCH_SYSTEM32);
    void *pv = nullptr;
    EXPECT_EQ(RTLdrGetSymbol(hMod, "MsiInstallProductW", &pv), KINF_SUCCESS);
}

TEST(LdrLoadSystem, RedirectionOnlyIntoTheSystemDirectories)
{
    std::wstring const wstrSys = sysDir();
    /* Stand-ins that exist, so that only the directory rule decides. */
    std::wstring const wstrTemp = L"C:\\windows\\Temp\\zelk-ldr-test";
    CreateDirectoryW(wstrTemp.c_str(), nullptr);
    std::wstring const wstrWow64 = wstrTemp + L"\\SysWOW64";
    CreateDirectoryW(wstrWow64.c_str(), nullptr);
    touch(L"C:\\windows\\Temp\\MSI.DLL");
    touch(wstrTemp + L"\\MSI.DLL");
    touch(wstrWow64 + L"\\MSI.DLL");
    std::wstring wstrSysUpper = wstrSys;
    for (wchar_t &wc : wstrSysUpper)
        wc = towupper(wc);

    struct
    {
        std::wstring wstrRedirect;
        std::wstring wstrWow64Dir;
        std::wstring wstrExpected;
    } const aRows[] = // clang-format off
    {
        /* Anything else under the Windows folder is refused; the system directory's file is taken. */
        { L"C:\\windows\\Temp\\MSI.DLL", L"", wstrSys + L"\\MSI.DLL" },
        { wstrTemp + L"\\MSI.DLL", L"", wstrSys + L"\\MSI.DLL" },
        { wstrSys + L"\\..\\Temp\\MSI.DLL", L"", wstrSys + L"\\MSI.DLL" },
        { L"C:\\windows\\Temp\\MSI.DLL", L"C:\\windows", wstrSys + L"\\MSI.DLL" },
        /* The system directory itself, however it is spelt, and the 32-bit twin. */
        { wstrSysUpper + L"/MSI.DLL", L"", wstrSysUpper + L"/MSI.DLL" },
        { wstrWow64 + L"\\MSI.DLL", wstrWow64, wstrWow64 + L"\\MSI.DLL" },
        { wstrWow64 + L"\\MSI.DLL", L"", wstrSys + L"\\MSI.DLL" },
        /* No redirection. */
        { L"", L"", wstrSys + L"\\MSI.DLL" },
    };
    // clang-format on
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnRtlDosApplyFileIsolationRedirection_Ustr = redirectTo;
    g_rtNtSysOverride.pfnGetSystemWow64DirectoryW = wow64Dir;
    g_rtNtSysOverride.pfnLoadLibraryExW = loadRecorded;
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << toUtf8(aRows[i].wstrRedirect));
        g_wstrRedirect = aRows[i].wstrRedirect;
        g_wstrWow64Dir = aRows[i].wstrWow64Dir;
        g_wstrLoaded.clear();
        RTLDRMOD hMod = nullptr;
        RTLdrLoadSystem("MSI.DLL", 0, &hMod);
        EXPECT_EQ(toUtf8(g_wstrLoaded), toUtf8(aRows[i].wstrExpected));
    }

    DeleteFileW(L"C:\\windows\\Temp\\MSI.DLL");
    DeleteFileW((wstrTemp + L"\\MSI.DLL").c_str());
    DeleteFileW((wstrWow64 + L"\\MSI.DLL").c_str());
    RemoveDirectoryW(wstrWow64.c_str());
    RemoveDirectoryW(wstrTemp.c_str());
}

TEST(LdrBind, LoadsOnceCachesTheModuleAndReportsWhichStepFailed)
{
    ASSERT_EQ(RTR3Init(nullptr, nullptr, 0), 0);
    SysOverrideGuard Guard;
    g_rtNtSysOverride.pfnLoadLibraryExW = loadRecorded;
    RTLDRBINDMOD Msi = { "MSI.DLL", NIL_RTLDRMOD };
    RTLDRBINDMOD Ws2 = { "WS2_32.DLL", NIL_RTLDRMOD };
    RTLDRBINDMOD Missing = { "ZELKNOSUCHLIBRARY.DLL", NIL_RTLDRMOD };
    RTLDRBINDMOD Planted = { "..\\MSI.DLL", NIL_RTLDRMOD };
    void *const pvMsiReal = (void *)GetProcAddress(LoadLibraryW(L"msi.dll"), "MsiInstallProductW");

    struct
    {
        RTLDRBINDMOD *pMod;
        const char *pszSymbol;
        int rcExpected;
        bool fLoaded;  /* a load went to the system directory on this call */
        bool fHasMod;  /* the record holds a module afterwards */
    } const aRows[] = // clang-format off
    {
        { &Msi,     "MsiInstallProductW",  KINF_SUCCESS,           true,  true  },
        /* The second symbol of the module takes the cached handle: no load. */
        { &Msi,     "MsiEnableLogW",       KINF_SUCCESS,           false, true  },
        { &Msi,     "NoSuchFunctionAtAll", KERR_SYMBOL_NOT_FOUND,  false, true  },
        /* An ordinal is a symbol like any other: 3 is closesocket of the socket library. */
        { &Ws2,     (const char *)3,       KINF_SUCCESS,           true,  true  },
        { &Missing, "Anything",            KERR_MODULE_NOT_FOUND,  false, false },
        /* A name with a path is refused before any load. */
        { &Planted, "MsiInstallProductW",  KERR_INVALID_PARAMETER, false, false },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(aRows); i++)
    {
        SCOPED_TRACE(testing::Message() << "row " << i);
        g_wstrLoaded.clear();
        void *pv = (void *)&aRows;
        EXPECT_EQ(RTLdrBind(aRows[i].pMod, aRows[i].pszSymbol, &pv), aRows[i].rcExpected);
        EXPECT_EQ(pv == nullptr, RT_FAILURE(aRows[i].rcExpected));
        EXPECT_EQ(!g_wstrLoaded.empty(), aRows[i].fLoaded) << toUtf8(g_wstrLoaded);
        EXPECT_EQ(aRows[i].pMod->hMod != NIL_RTLDRMOD, aRows[i].fHasMod);
        EXPECT_EQ(RTLdrBindOptional(aRows[i].pMod, aRows[i].pszSymbol), pv);
    }
    EXPECT_EQ(RTLdrBindOptional(&Msi, "MsiInstallProductW"), pvMsiReal);
    EXPECT_EQ(RTLdrBindOptional(&Ws2, (const char *)3),
              (void *)GetProcAddress(GetModuleHandleW(L"ws2_32.dll"), "closesocket"));
    /* Start-up gave the records of the modules mapped before the program their handles. */
    EXPECT_EQ(g_RTLdrBindKernel32.hMod, (RTLDRMOD)GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(RTLdrBindOptional(&g_RTLdrBindNtDll, "NtClose"),
              (void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtClose"));
}
