/*
 * Kestrelyn Installer: the publisher's certificate and its addition to a
 * system certificate store.
 *
 * The table has one entry, the certificate in the marked slot that the build
 * (or a packer, later) fills in.  The certificate goes into the store in one
 * open-add-close sequence; each failing step writes its own "error: " line
 * with the Windows error number, whatever the silent flag.
 */
#include <zelk/err.h>
#include <zelk/stream.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "QornStub.h"
#include "QornStubLazy.h"

// clang-format off
const STUBCERT g_paStubCerts[] = {
    { g_StubCertSlot.abCert, &g_StubCertSlot.cbCert, &g_StubCertSlot.cbMax },
};
// clang-format on
const size_t g_cStubCerts = sizeof(g_paStubCerts) / sizeof(g_paStubCerts[0]);

uint32_t stubCertSize(const STUBCERT *pCert)
{
    /* Rewritten in the file after the link: the compiler must not know these. */
    uint32_t const cbCert = *(const volatile uint32_t *)pCert->pcbCert;
    uint32_t const cbMax = *(const volatile uint32_t *)pCert->pcbMax;
    return cbCert <= cbMax && cbMax <= STUB_CERT_SLOT_MAX ? cbCert : 0;
}

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
