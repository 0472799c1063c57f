/*
 * The certificate slot of a stub, for a stub built without one: the marker,
 * the certificate's size, the slot's size and room for the DER bytes.  The
 * tests put a certificate into it (or leave it empty) before packing.
 */
#include <stdint.h>

struct KestrelynCertSlot
{
    char achMagic[16];
    uint32_t cbCert;
    uint32_t cbMax;
    uint8_t abCert[4096];
};

extern "C" const KestrelynCertSlot g_KestrelynPackTestCertSlot;
extern "C" const KestrelynCertSlot g_KestrelynPackTestCertSlot = {
    {'K', 'E', 'S', 'T', 'R', 'E', 'L', 'Y', 'N', '-', 'C', 'E', 'R', 'T', '-', '1'}, 0, 4096, {}};
