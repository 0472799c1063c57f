/*
 * Module loading on Windows: the native loader and the system-module loader.
 *
 * The system-module loader exists so that a DLL planted next to the
 * executable (a downloads folder, say) can never stand in for a system DLL:
 * the file is taken from the system directory by full path.  A side-by-side
 * redirection is followed only when it leads right into the system
 * directory or its 32-bit twin; the installer may run elevated from a
 * folder that others can write to (C:\Windows\Temp is under the Windows
 * folder too), so nothing else is trusted.  Where the system supports it,
 * the module's own imports are searched for in the system directory only.
 */
#include <zelk/assert.h>
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/ldr.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "nt.h"
#include "path-internal.h"

namespace {

PFNRTNTDOSAPPLYFILEISOLATIONREDIRECTION g_pfnRedirect;
bool g_fRedirectResolved;

/* 0: unknown; else the LoadLibraryExW flags for a system module. */
DWORD g_fSystemLoadFlags;

/*
 * LOAD_LIBRARY_SEARCH_SYSTEM32 where kernel32 exports AddDllDirectory (from
 * Windows 7 with KB2533623); older systems refuse the flag, and get the
 * altered search path, which at least starts at the module's own folder.
 */
DWORD rtldrSystemLoadFlags(void)
{
    if (!g_fSystemLoadFlags)
    {
        HMODULE const hKernel32 = GetModuleHandleW(L"kernel32.dll");
        g_fSystemLoadFlags = hKernel32 && GetProcAddress(hKernel32, "AddDllDirectory")
                                 ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                 : LOAD_WITH_ALTERED_SEARCH_PATH;
    }
    return g_fSystemLoadFlags;
}

/* Whether a redirected module path lies right inside the system directory or its 32-bit twin. */
bool rtldrIsInSystemDirs(PCRTUTF16 pwszPath, const wchar_t *pwszSysDir)
{
    if (rtLdrIsFileInDir(pwszPath, (PCRTUTF16)pwszSysDir))
        return true;
    /* A 32-bit process on 64-bit Windows already gets SysWOW64 above; elsewhere there is none. */
    wchar_t wszWow64Dir[MAX_PATH];
    UINT const cwc = RT_NT_SYS(GetSystemWow64DirectoryW)(wszWow64Dir, MAX_PATH);
    return cwc > 0 && cwc < MAX_PATH && rtLdrIsFileInDir(pwszPath, (PCRTUTF16)wszWow64Dir);
}

int rtldrLoadW(PCRTUTF16 pwszPath, DWORD fLoad, uint32_t fFlags, RTLDRMOD *phMod)
{
    int rc = KINF_SUCCESS;
    HMODULE hMod = RT_NT_SYS(LoadLibraryExW)((LPCWSTR)pwszPath, nullptr, fLoad);
    if (!hMod)
        rc = RTErrConvertFromWin32(GetLastError());
    else if (fFlags & RTLDRLOAD_FLAGS_NO_UNLOAD)
    {
        HMODULE hPinned;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, (LPCWSTR)pwszPath, &hPinned);
    }
    if (!hMod)
        return RT_FAILURE(rc) ? rc : KERR_MODULE_NOT_FOUND;
    *phMod = (RTLDRMOD)hMod;
    return KINF_SUCCESS;
}

} // namespace

int rtldrNativeLoad(const char *pszPath, uint32_t fFlags, RTLDRMOD *phMod)
{
    PRTUTF16 pwszPath = nullptr;
    int rc = RTStrToUtf16(pszPath, &pwszPath, "rtldrNativeLoad");
    if (RT_FAILURE(rc))
        return rc;
    rc = rtldrLoadW(pwszPath, LOAD_WITH_ALTERED_SEARCH_PATH, fFlags, phMod);
    RTStrRelease(pwszPath);
    return rc;
}

int RTLdrGetSymbol(RTLDRMOD hMod, const char *pszSymbol, void **ppvValue)
{
    FARPROC const pfn = GetProcAddress((HMODULE)hMod, pszSymbol);
    if (!pfn)
        return KERR_SYMBOL_NOT_FOUND;
    *ppvValue = (void *)pfn;
    return KINF_SUCCESS;
}

int RTLdrLoadSystem(const char *pszFilename, uint32_t fFlags, RTLDRMOD *phMod)
{
    for (const char *pch = pszFilename; *pch; pch++)
        if (rtPathIsSepOrColon(*pch))
            return KERR_INVALID_PARAMETER;
    if (fFlags & RTLDRLOAD_FLAGS_INVALID_MASK)
        return KERR_INVALID_FLAGS;
    size_t const cchName = RTStrLen(pszFilename);
    if (cchName >= 3075)
        return KERR_INVALID_PARAMETER;
    bool const fAddSuffix = RTStrRChr(pszFilename, '.') == nullptr;

    wchar_t wszSysDir[MAX_PATH];
    UINT const cwcSysDir = RT_NT_SYS(GetSystemDirectoryW)(wszSysDir, MAX_PATH);
    if (cwcSysDir == 0)
        return RTErrConvertFromWin32(GetLastError());
    if (cwcSysDir >= MAX_PATH)
        return KERR_FILENAME_TOO_LONG;

    PRTUTF16 pwszName = nullptr;
    int rc = RTStrToUtf16Ex(pszFilename, RTSTR_MAX, &pwszName, cchName + 5, nullptr,
                            "RTLdrLoadSystem");
    if (RT_FAILURE(rc))
        return rc;
    if (fAddSuffix)
    {
        size_t cwc = RTUtf16Units(pwszName);
        for (const char *pch = ".DLL"; *pch; pch++)
            pwszName[cwc++] = (RTUTF16)*pch;
        pwszName[cwc] = 0;
    }

    if (!g_fRedirectResolved)
    {
        g_pfnRedirect = (PFNRTNTDOSAPPLYFILEISOLATIONREDIRECTION)(void *)GetProcAddress(
            GetModuleHandleW(L"ntdll.dll"), "RtlDosApplyFileIsolationRedirection_Ustr");
        g_fRedirectResolved = true;
    }
    PFNRTNTDOSAPPLYFILEISOLATIONREDIRECTION const pfnRedirect
        = g_rtNtSysOverride.pfnRtlDosApplyFileIsolationRedirection_Ustr
              ? g_rtNtSysOverride.pfnRtlDosApplyFileIsolationRedirection_Ustr
              : g_pfnRedirect;

    /* Room for the system directory, a separator, the name and the terminator. */
    size_t const cwcName = RTUtf16Units(pwszName);
    size_t const cwcPathMax = cwcSysDir + 1 + cwcName + 1 + 4096;
    PRTUTF16 pwszPath = (PRTUTF16)RTMemAlloc(cwcPathMax * sizeof(RTUTF16), "RTLdrLoadSystem");
    if (!pwszPath)
    {
        RTStrRelease(pwszName);
        return KERR_NO_MEMORY;
    }
    bool fHavePath = false;
    if (pfnRedirect)
    {
        UNICODE_STRING Original = { (USHORT)(cwcName * 2), (USHORT)(cwcName * 2), (PWSTR)pwszName };
        static wchar_t s_wszDllExt[] = L".DLL";
        UNICODE_STRING Extension = { 8, 10, s_wszDllExt };
        wchar_t wszStatic[MAX_PATH];
        UNICODE_STRING Static = { 0, sizeof(wszStatic), wszStatic };
        UNICODE_STRING *pNew = nullptr;
        if (pfnRedirect(1, &Original, &Extension, &Static, nullptr, &pNew, nullptr, nullptr,
                        nullptr)
                >= 0
            && pNew && pNew->Buffer && pNew->Length / 2 < cwcPathMax)
        {
            size_t const cwcNew = pNew->Length / 2;
            RTMemCopy(pwszPath, pNew->Buffer, cwcNew * 2);
            pwszPath[cwcNew] = 0;
            fHavePath = rtldrIsInSystemDirs(pwszPath, wszSysDir);
        }
    }
    if (!fHavePath)
    {
        RTMemCopy(pwszPath, wszSysDir, cwcSysDir * 2);
        size_t off = cwcSysDir;
        if (off > 0 && !rtPathIsSep(wszSysDir[off - 1]))
            pwszPath[off++] = '\\';
        RTMemCopy(&pwszPath[off], pwszName, (cwcName + 1) * 2);
    }
    RTStrRelease(pwszName);

    DWORD const fAttr = GetFileAttributesW((LPCWSTR)pwszPath);
    if (fAttr == INVALID_FILE_ATTRIBUTES || (fAttr & FILE_ATTRIBUTE_DIRECTORY))
        rc = KERR_MODULE_NOT_FOUND;
    else
        rc = rtldrLoadW(pwszPath, rtldrSystemLoadFlags(), fFlags, phMod);
    RTMemFree(pwszPath);
    return rc;
}

RTLDRBINDMOD g_RTLdrBindKernel32 = { "KERNEL32.DLL", NIL_RTLDRMOD };
RTLDRBINDMOD g_RTLdrBindNtDll = { "NTDLL.DLL", NIL_RTLDRMOD };

int RTLdrBind(RTLDRBINDMOD *pMod, const char *pszSymbol, void **ppv)
{
    *ppv = nullptr;
    if (pMod->hMod == NIL_RTLDRMOD)
    {
        RTLDRMOD hMod = NIL_RTLDRMOD;
        int const rc = RTLdrLoadSystem(pMod->pszName, RTLDRLOAD_FLAGS_NO_UNLOAD, &hMod);
        if (RT_FAILURE(rc))
            return rc;
        pMod->hMod = hMod;
    }
    return RTLdrGetSymbol(pMod->hMod, pszSymbol, ppv);
}

void *RTLdrBindOptional(RTLDRBINDMOD *pMod, const char *pszSymbol)
{
    void *pv;
    RTLdrBind(pMod, pszSymbol, &pv);
    return pv;
}

void *RTLdrBindOrPanic(RTLDRBINDMOD *pMod, const char *pszSymbol, const char *pszWho)
{
    void *pv;
    int const rc = RTLdrBind(pMod, pszSymbol, &pv);
    if (RT_SUCCESS(rc))
        return pv;
    if (pMod->hMod == NIL_RTLDRMOD)
        RTAssertMsg2("%s failed to load \"%s\": %Rrc\n", pszWho, pMod->pszName, rc);
    else
    {
        char szOrdinal[16];
        if ((uintptr_t)pszSymbol < 0x10000)
        {
            RTStrFmtToBuf(szOrdinal, sizeof(szOrdinal), "#%u", (unsigned)(uintptr_t)pszSymbol);
            pszSymbol = szOrdinal;
        }
        RTAssertMsg2("%s failed to resolve symbol \"%s\" in \"%s\": %Rrc\n", pszWho, pszSymbol,
                     pMod->pszName, rc);
    }
    RTAssertDoPanic();
}
