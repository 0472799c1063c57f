/*
 * The local machine's certificate stores as the installer tests see them.
 *
 *   certprobe find STORE SHA1      "present: <subject>" or "absent": the
 *                                  certificate of that thumbprint (hex)
 *   certprobe remove STORE SHA1    deletes it from the store, if there
 *   certprobe deny STORE           the store's registry key refuses every
 *                                  access (a DACL without entries), as the
 *                                  key of a store that an administrator
 *                                  locked; the key is created if missing
 *   certprobe allow STORE          gives the key back its default security
 *
 * Exit code 0 when the command did what it says, 1 otherwise (with the
 * Windows error on standard error).
 */
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int failed(const char *pszWhat)
{
    std::fprintf(stderr, "%s: %lu\n", pszWhat, (unsigned long)GetLastError());
    return 1;
}

bool parseHash(const wchar_t *pwszHex, BYTE *pbHash)
{
    if (std::wcslen(pwszHex) != 40)
        return false;
    for (unsigned i = 0; i < 20; i++)
    {
        wchar_t wsz[3] = { pwszHex[2 * i], pwszHex[2 * i + 1], 0 };
        wchar_t *pwszEnd = nullptr;
        pbHash[i] = (BYTE)std::wcstoul(wsz, &pwszEnd, 16);
        if (*pwszEnd)
            return false;
    }
    return true;
}

HCERTSTORE openStore(const wchar_t *pwszStore, DWORD fFlags)
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | fFlags,
                         pwszStore);
}

int findOrRemove(const wchar_t *pwszStore, const wchar_t *pwszHex, bool fRemove)
{
    BYTE abHash[20];
    if (!parseHash(pwszHex, abHash))
    {
        std::fprintf(stderr, "bad thumbprint\n");
        return 1;
    }
    HCERTSTORE hStore = openStore(pwszStore, fRemove ? 0 : CERT_STORE_READONLY_FLAG);
    if (!hStore)
    {
        if (!fRemove)
        {
            std::printf("absent\n");
            return 0;
        }
        return failed("CertOpenStore");
    }
    CRYPT_HASH_BLOB Blob = { sizeof(abHash), abHash };
    PCCERT_CONTEXT pCtx = CertFindCertificateInStore(hStore, X509_ASN_ENCODING, 0,
                                                     CERT_FIND_SHA1_HASH, &Blob, nullptr);
    int rc = 0;
    if (!pCtx)
        std::printf("absent\n");
    else if (fRemove)
    {
        if (!CertDeleteCertificateFromStore(pCtx))
            rc = failed("CertDeleteCertificateFromStore");
    }
    else
    {
        wchar_t wszName[256];
        CertGetNameStringW(pCtx, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, wszName, 256);
        std::printf("present: %ls\n", wszName);
        CertFreeCertificateContext(pCtx);
    }
    CertCloseStore(hStore, 0);
    return rc;
}

int setKeySecurity(const wchar_t *pwszStore, bool fDeny)
{
    std::wstring const key = std::wstring(L"Software\\Microsoft\\SystemCertificates\\") + pwszStore;
    HKEY hKey;
    LONG lrc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                               READ_CONTROL | WRITE_DAC, nullptr, &hKey, nullptr);
    if (lrc != ERROR_SUCCESS)
    {
        SetLastError(lrc);
        return failed("RegCreateKeyExW");
    }
    SECURITY_DESCRIPTOR Sd;
    InitializeSecurityDescriptor(&Sd, SECURITY_DESCRIPTOR_REVISION);
    ACL Acl;
    InitializeAcl(&Acl, sizeof(Acl), ACL_REVISION);
    /* No entries: nobody may do anything.  No DACL at all: everybody may. */
    SetSecurityDescriptorDacl(&Sd, TRUE, fDeny ? &Acl : nullptr, FALSE);
    lrc = RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, &Sd);
    RegCloseKey(hKey);
    if (lrc != ERROR_SUCCESS)
    {
        SetLastError(lrc);
        return failed("RegSetKeySecurity");
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    std::wstring const cmd = argc > 1 ? argv[1] : L"";
    if ((cmd == L"find" || cmd == L"remove") && argc == 4)
        return findOrRemove(argv[2], argv[3], cmd == L"remove");
    if ((cmd == L"deny" || cmd == L"allow") && argc == 3)
        return setKeySecurity(argv[2], cmd == L"deny");
    std::fprintf(stderr, "usage: certprobe find|remove STORE SHA1 | deny|allow STORE\n");
    return 2;
}
