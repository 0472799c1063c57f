/*
 * Module loading on Windows: the native loader and the system-module loader.
 *
 * The system-module loader exists so that a DLL planted next to the
 * executable (a downloads folder, say) can never stand in for a system DLL:
 * the file is taken from the system directory by full path, or from the
 * side-by-side store when the system redirects it there.
 */
#include <zelk/err.h>
#include <zelk/ldr.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "win.h"

#include <winternl.h>

namespace {

typedef LONG(NTAPI *PFNRTLDOSAPPLYFILEISOLATIONREDIRECTION)(ULONG, PUNICODE_STRING, PUNICODE_STRING,
                                                           PUNICODE_STRING, PUNICODE_STRING,
                                                           PUNICODE_STRING *, PULONG, PSIZE_T, PSIZE_T);

PFNRTLDOSAPPLYFILEISOLATIONREDIRECTION g_pfnRedirect;
bool g_fRedirectResolved;

} // namespace

int rtldrNativeLoad(const char *pszPath, uint32_t fFlags, RTLDRMOD *phMod)
{
    PRTUTF16 pwszPath = nullptr;
    int rc = RTStrToUtf16(pszPath, &pwszPath, "rtldrNativeLoad");
    if (RT_FAILURE(rc))
        return rc;
    HMODULE hMod = LoadLibraryExW((LPCWSTR)pwszPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!hMod)
        rc = RTErrConvertFromWin32(GetLastError());
    else if (fFlags & RTLDRLOAD_FLAGS_NO_UNLOAD)
    {
        HMODULE hPinned;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, (LPCWSTR)pwszPath, &hPinned);
    }
    RTStrRelease(pwszPath);
    if (!hMod)
        return RT_FAILURE(rc) ? rc : KERR_MODULE_NOT_FOUND;
    *phMod = (RTLDRMOD)hMod;
    return KINF_SUCCESS;
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
        if (*pch == '/' || *pch == '\\' || *pch == ':')
            return KERR_INVALID_PARAMETER;
    if (fFlags & RTLDRLOAD_FLAGS_INVALID_MASK)
        return KERR_INVALID_FLAGS;
    size_t const cchName = RTStrLen(pszFilename);
    if (cchName >= 3075)
        return KERR_INVALID_PARAMETER;
    bool const fAddSuffix = RTStrRChr(pszFilename, '.') == nullptr;

    wchar_t wszSysDir[MAX_PATH];
    UINT const cwcSysDir = GetSystemDirectoryW(wszSysDir, MAX_PATH);
    if (cwcSysDir == 0)
        return RTErrConvertFromWin32(GetLastError());
    if (cwcSysDir >= MAX_PATH)
        return KERR_FILENAME_TOO_LONG;

    PRTUTF16 pwszName = nullptr;
    int rc = RTStrToUtf16Ex(pszFilename, RTSTR_MAX, &pwszName, cchName + 5, nullptr, "RTLdrLoadSystem");
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
        g_pfnRedirect = (PFNRTLDOSAPPLYFILEISOLATIONREDIRECTION)(void *)GetProcAddress(
            GetModuleHandleW(L"ntdll.dll"), "RtlDosApplyFileIsolationRedirection_Ustr");
        g_fRedirectResolved = true;
    }

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
    if (g_pfnRedirect)
    {
        UNICODE_STRING Original = { (USHORT)(cwcName * 2), (USHORT)(cwcName * 2), (PWSTR)pwszName };
        static wchar_t s_wszDllExt[] = L".DLL";
        UNICODE_STRING Extension = { 8, 10, s_wszDllExt };
        wchar_t wszStatic[MAX_PATH];
        UNICODE_STRING Static = { 0, sizeof(wszStatic), wszStatic };
        UNICODE_STRING *pNew = nullptr;
        if (g_pfnRedirect(1, &Original, &Extension, &Static, nullptr, &pNew, nullptr, nullptr, nullptr) >= 0
            && pNew && pNew->Buffer && pNew->Length / 2 < cwcPathMax)
        {
            size_t const cwcNew = pNew->Length / 2;
            RTMemCopy(pwszPath, pNew->Buffer, cwcNew * 2);
            pwszPath[cwcNew] = 0;
            fHavePath = rtLdrCommonSeparators(pwszPath, (PCRTUTF16)wszSysDir) >= 2;
        }
    }
    if (!fHavePath)
    {
        RTMemCopy(pwszPath, wszSysDir, cwcSysDir * 2);
        size_t off = cwcSysDir;
        if (off > 0 && wszSysDir[off - 1] != L'\\' && wszSysDir[off - 1] != L'/')
            pwszPath[off++] = '\\';
        RTMemCopy(&pwszPath[off], pwszName, (cwcName + 1) * 2);
    }
    RTStrRelease(pwszName);

    DWORD const fAttr = GetFileAttributesW((LPCWSTR)pwszPath);
    if (fAttr == INVALID_FILE_ATTRIBUTES || (fAttr & FILE_ATTRIBUTE_DIRECTORY))
        rc = KERR_MODULE_NOT_FOUND;
    else
    {
        char *pszPath = nullptr;
        rc = RTUtf16ToUtf8Ex(pwszPath, RTSTR_MAX, &pszPath, 0, nullptr, "RTLdrLoadSystem");
        if (RT_SUCCESS(rc))
        {
            rc = rtldrNativeLoad(pszPath, fFlags, phMod);
            RTStrRelease(pszPath);
        }
    }
    RTMemFree(pwszPath);
    return rc;
}
