/*
 * Kestrelyn Installer: the payload carried in the executable's resources.
 *
 * The payload is a set of raw-data resources: the manifest with the package
 * count, one header per package, and one blob per package named by its
 * header.  The builder stores them under U.S. English; the lookup asks for
 * the neutral language, which finds a resource whatever language it has.
 * Resources are mapped with the image and read in place for the life of the
 * process.  Nothing here reads past a resource's size or outside the image:
 * a resource whose declared size runs past the image, a header shorter than
 * its layout, or with a name that runs to the end of its field, is refused
 * like a missing one.  A header's file name is joined to the extraction
 * directory, so a name that could lead out of it is refused too, and so is
 * one that Windows would open as a device or store under another name.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/ldr.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "win.h"

namespace {

#ifndef _WIN64
typedef BOOL(WINAPI *PFNISWOW64PROCESS)(HANDLE, PBOOL);
PFNISWOW64PROCESS g_pfnStubIsWow64Process;
bool g_fStubIsWow64ProcessResolved;
#endif

/*
 * Whether cb bytes at pv lie inside this program's mapped image.  The size
 * of a resource is whatever its directory entry says; a broken or tampered
 * executable can claim more than the image holds.
 */
bool stubIsInsideImage(const void *pv, uint32_t cb)
{
    const uint8_t *pbImage = (const uint8_t *)GetModuleHandleW(nullptr);
    if (!pbImage)
        return false;
    const IMAGE_DOS_HEADER *pDos = (const IMAGE_DOS_HEADER *)pbImage;
    const IMAGE_NT_HEADERS *pNt = (const IMAGE_NT_HEADERS *)(pbImage + pDos->e_lfanew);
    uintptr_t const uStart = (uintptr_t)pbImage;
    uintptr_t const uEnd = uStart + pNt->OptionalHeader.SizeOfImage;
    uintptr_t const uData = (uintptr_t)pv;
    return uData >= uStart && uData <= uEnd && cb <= uEnd - uData;
}

/*
 * Whether Windows takes pszName for a device: the part before the first
 * dot, trailing blanks dropped, is one of the reserved names in any case,
 * so "nul.cab" or "COM1 .msi" open a device, not a file.
 */
bool stubIsDeviceName(const char *pszName)
{
    static const char s_aszDevices[][8] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" };
    /* The part before the first dot, its trailing blanks dropped however many. */
    size_t cch = 0;
    while (pszName[cch] && pszName[cch] != '.')
        cch++;
    while (cch && pszName[cch - 1] == ' ')
        cch--;
    char szStem[8];
    if (cch >= sizeof(szStem))
        return false;
    for (size_t i = 0; i < cch; i++)
    {
        char const ch = pszName[i];
        szStem[i] = ch >= 'a' && ch <= 'z' ? (char)(ch - 'a' + 'A') : ch;
    }
    szStem[cch] = '\0';
    for (size_t i = 0; i < RT_ELEMENTS(s_aszDevices); i++)
        if (!RTStrCmp(szStem, s_aszDevices[i]))
            return true;
    return cch == 4 && (!RTStrNCmp(szStem, "COM", 3) || !RTStrNCmp(szStem, "LPT", 3))
           && szStem[3] >= '1' && szStem[3] <= '9';
}

} // namespace

bool stubIsBareFileName(const char *pszName)
{
    if (!*pszName || !RTStrCmp(pszName, ".") || !RTStrCmp(pszName, ".."))
        return false;
    for (const char *pch = pszName; *pch; pch++)
        if (*pch == '/' || *pch == '\\' || *pch == ':')
            return false;
    /* Windows drops a trailing dot or blank: the file would get another name than the header's. */
    char const chLast = pszName[RTStrLen(pszName) - 1];
    return chLast != '.' && chLast != ' ' && !stubIsDeviceName(pszName);
}

int stubFindResource(const char *pszName, const void **ppvData, uint32_t *pcbData)
{
    if (!pszName || !ppvData)
        return KERR_INVALID_PARAMETER;
    PRTUTF16 pwszName = nullptr;
    int rc = RTStrToUtf16(pszName, &pwszName, "stubFindResource");
    if (RT_FAILURE(rc))
        return rc;
    HRSRC const hRsrc = FindResourceExW(nullptr, RT_RCDATA, (LPCWSTR)pwszName,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    RTStrRelease(pwszName);
    if (!hRsrc)
        return KERR_GENERAL_FAILURE;
    DWORD const cb = SizeofResource(nullptr, hRsrc);
    if (!cb)
        return KERR_NO_DATA;
    HGLOBAL const hData = LoadResource(nullptr, hRsrc);
    const void *pv = hData ? LockResource(hData) : nullptr;
    if (!pv || !stubIsInsideImage(pv, cb))
        return KERR_GENERAL_FAILURE;
    *ppvData = pv;
    if (pcbData)
        *pcbData = cb;
    return KINF_SUCCESS;
}

const PackageHeader *stubFindPackageHeader(unsigned idxPackage)
{
    char szName[32];
    RTStrFmtToBuf(szName, sizeof(szName), STUB_RES_HEADER_FMT, idxPackage);
    const void *pv = nullptr;
    uint32_t cb = 0;
    int rc = stubFindResource(szName, &pv, &cb);
    if (RT_SUCCESS(rc))
    {
        const PackageHeader *pHdr = (const PackageHeader *)pv;
        if (cb < sizeof(PackageHeader))
            rc = KERR_BAD_LENGTH;
        else if (RTStrNLen(pHdr->szResName, sizeof(pHdr->szResName)) >= sizeof(pHdr->szResName)
                 || RTStrNLen(pHdr->szFileName, sizeof(pHdr->szFileName))
                        >= sizeof(pHdr->szFileName)
                 || !stubIsBareFileName(pHdr->szFileName))
            rc = KERR_INVALID_NAME;
        else
            return pHdr;
    }
    stubReportError("Internal error: Could not find package header #%u: %Rrc", idxPackage, rc);
    return nullptr;
}

unsigned stubIsHost64Bit(void)
{
#ifdef _WIN64
    /* A 64-bit program runs on a 64-bit host only. */
    return 1;
#else
    if (!g_fStubIsWow64ProcessResolved)
    {
        g_pfnStubIsWow64Process = (PFNISWOW64PROCESS)RTLdrBindOptional(&g_RTLdrBindKernel32,
                                                                       "IsWow64Process");
        g_fStubIsWow64ProcessResolved = true;
    }
    /* A system without the call predates 64-bit Windows, so this is no WOW64 process. */
    if (!g_pfnStubIsWow64Process)
        return 0;
    BOOL fWow64 = FALSE;
    if (!g_pfnStubIsWow64Process(GetCurrentProcess(), &fWow64))
        return 0;
    return fWow64 ? 1 : 0;
#endif
}

bool stubPackageAppliesToHost(uint32_t uArch)
{
    if (uArch == PKG_ARCH_ANY)
        return true;
    if (stubIsHost64Bit())
        return uArch == PKG_ARCH_AMD64;
    return uArch == PKG_ARCH_X86;
}
