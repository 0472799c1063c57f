/*
 * Kestrelyn Installer: the publisher's certificates and their addition to a
 * system certificate store.
 */
#include "QornStub.h"

const STUBCERT *const g_paStubCerts = nullptr;
const size_t g_cStubCerts = 0;

bool stubAddCertToStore(uint32_t fLocation, const char *pszStoreName, const uint8_t *pbCert, uint32_t cbCert)
{
    (void)fLocation;
    (void)pszStoreName;
    (void)pbCert;
    (void)cbCert;
    return true;
}
