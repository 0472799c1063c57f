/*
 * Kestrelyn Installer: the publisher's certificate and its addition to a
 * system certificate store.
 *
 * The table has one entry, the resource that the build (or a packer, later)
 * fills with the publisher's certificate.  The certificate goes into the
 * store in one open-add-close sequence; each failing step writes its own
 * "error: " line with the Windows error number, whatever the silent flag.
 */
#include <zelk/err.h>
#include <zelk/stream.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "QornStubLazy.h"

const char *const g_apszStubCerts[] = { STUB_RES_CERT };
const size_t g_cStubCerts = sizeof(g_apszStubCerts) / sizeof(g_apszStubCerts[0]);

namespace {

/* X.509 and PKCS #7, both ASN.1. */
DWORD const g_fStubCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

} // namespace

bool stubAddCertToStore(uint32_t fLocation, const char *pszStoreName, const uint8_t *pbCert,
                        uint32_t cbCert)
{
    PCCERT_CONTEXT pCtx = StubLazy::CertCreateCertificateContext(g_fStubCertEncoding, pbCert,
                                                                 cbCert);
    if (!pCtx)
    {
        RTMsgPrintError("Unable to get certificate context: %d", (int)GetLastError());
        return false;
    }

    HCERTSTORE hStore = nullptr;
    PRTUTF16 pwszStoreName = nullptr;
    if (RT_SUCCESS(RTStrToUtf16(pszStoreName, &pwszStoreName, "stubAddCertToStore")))
    {
        /* Without the open-existing bit a store that isn't there yet is created. */
        hStore = StubLazy::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, g_fStubCertEncoding, 0,
                                         fLocation & ~(uint32_t)CERT_STORE_OPEN_EXISTING_FLAG,
                                         pwszStoreName);
        RTStrRelease(pwszStoreName);
    }
    if (!hStore)
    {
        RTMsgPrintError("Unable to open certificates store: %d", (int)GetLastError());
        StubLazy::CertFreeCertificateContext(pCtx);
        return false;
    }

    bool const fAdded = StubLazy::CertAddCertificateContextToStore(
                            hStore, pCtx, CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
                        != FALSE;
    if (!fAdded)
        RTMsgPrintError("Unable to install certificate: %d", (int)GetLastError());
    StubLazy::CertCloseStore(hStore, CERT_CLOSE_STORE_CHECK_FLAG);
    StubLazy::CertFreeCertificateContext(pCtx);
    return fAdded;
}

bool stubAddCertResourceToStore(uint32_t fLocation, const char *pszStoreName,
                                const char *pszResource)
{
    /* Not there: no bytes, which the context step refuses with its message. */
    const void *pvCert = nullptr;
    uint32_t cbCert = 0;
    stubFindResource(pszResource, &pvCert, &cbCert);
    return stubAddCertToStore(fLocation, pszStoreName, (const uint8_t *)pvCert, cbCert);
}
