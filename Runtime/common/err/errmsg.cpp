/*
 * Status table lookup and the decoding of its compressed string table.
 *
 * Names and messages are never assembled into one string: the decoder hands
 * each plain character or dictionary word to the formatter's output callback
 * as it goes, so printing a status needs no buffer.
 */
#include "err-internal.h"

const RTSTATUSENTRY *RTErrLookup(int rc)
{
    size_t iLo = 0;
    size_t iHi = g_cRTErrEntries;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        int const rcEntry = RTErrEntryStatus(&g_aRTErrEntries[i]);
        if (rc < rcEntry)
            iHi = i;
        else if (rc > rcEntry)
            iLo = i + 1;
        else
            return &g_aRTErrEntries[i];
    }
    return nullptr;
}

size_t RTErrTableSize(void)
{
    return g_cRTErrEntries;
}

const RTSTATUSENTRY *RTErrTableEntry(size_t idx)
{
    return idx < g_cRTErrEntries ? &g_aRTErrEntries[idx] : nullptr;
}

/* A field of an entry, by its name in the generated layout. */
#define RTERR_ENTRY_FIELD(a_u, a_Field)                  \
    ((uint32_t)((a_u) >> RTSTATUSENTRY_##a_Field##_SHIFT) \
     & ((UINT32_C(1) << RTSTATUSENTRY_##a_Field##_BITS) - 1))

static_assert(RTSTATUSENTRY_STATUS_SHIFT + RTSTATUSENTRY_STATUS_BITS == 64
                  && RTSTATUSENTRY_STATUS_BITS == 16,
              "the status code fills the entry's top 16 bits, read as int16_t");

int RTErrEntryStatus(const RTSTATUSENTRY *pEntry)
{
    return (int16_t)(uint16_t)(*pEntry >> RTSTATUSENTRY_STATUS_SHIFT);
}

size_t RTErrOutputName(const RTSTATUSENTRY *pEntry, PFNRTFMTOUTPUT pfnOutput, void *pvArg)
{
    uint64_t const u = *pEntry;
    return RTErrStrTabDecode(&g_RTErrStrTab, RTERR_ENTRY_FIELD(u, NAME_OFF),
                             RTERR_ENTRY_FIELD(u, NAME_LEN), pfnOutput, pvArg);
}

size_t RTErrOutputMessage(const RTSTATUSENTRY *pEntry, PFNRTFMTOUTPUT pfnOutput, void *pvArg)
{
    uint64_t const u = *pEntry;
    return RTErrStrTabDecode(&g_RTErrMsgStrTab, RTERR_ENTRY_FIELD(u, MSG_OFF),
                             RTERR_ENTRY_FIELD(u, MSG_LEN), pfnOutput, pvArg);
}

namespace {

/*
 * Emits one UTF-8 character that follows a 0xFF escape at pb[0..cbLeft).
 * Returns the bytes consumed; a malformed or cut sequence prints "?" and
 * consumes only its lead byte.
 */
size_t rtErrEmitEscapedUtf8(const uint8_t *pb, size_t cbLeft, PFNRTFMTOUTPUT pfnOutput, void *pvArg,
                            size_t *pcchOut)
{
    uint8_t const bLead = pb[0];
    size_t cb = bLead >= 0xf0 && bLead < 0xf8 ? 4 : bLead >= 0xe0 ? 3 : bLead >= 0xc0 ? 2 : 0;
    if (bLead >= 0xf8)
        cb = 0;
    bool fOk = cb != 0 && cb <= cbLeft;
    for (size_t i = 1; fOk && i < cb; i++)
        fOk = (pb[i] & 0xc0) == 0x80;
    if (!fOk)
    {
        *pcchOut += pfnOutput(pvArg, "?", 1);
        return 1;
    }
    *pcchOut += pfnOutput(pvArg, (const char *)pb, cb);
    return cb;
}

} // namespace

size_t RTErrStrTabDecode(const RTERRSTRTAB *pStrTab, uint32_t offString, uint32_t cbString,
                         PFNRTFMTOUTPUT pfnOutput, void *pvArg)
{
    size_t const cbTab = pStrTab->cbCompressed;
    if (offString > cbTab || cbString > cbTab - offString)
        return 0;

    const uint8_t *pb = pStrTab->pabCompressed + offString;
    const uint8_t *const pbEnd = pb + cbString;
    size_t cchOut = 0;
    if (pStrTab->cDict == 0)
        return cbString ? pfnOutput(pvArg, (const char *)pb, cbString) : 0;

    bool const fEscapes = pStrTab->cDict < 256;
    while (pb < pbEnd)
    {
        uint8_t const b = *pb++;
        if (fEscapes && b == 0xff)
        {
            if (pb >= pbEnd)
                break;
            if (*pb < 0x80)
                cchOut += pfnOutput(pvArg, (const char *)pb++, 1);
            else
                pb += rtErrEmitEscapedUtf8(pb, (size_t)(pbEnd - pb), pfnOutput, pvArg, &cchOut);
            continue;
        }
        uint32_t const uEntry = b < pStrTab->cDict ? pStrTab->pauDict[b] : 0;
        if (uEntry > UINT32_C(0x7fffff))
        {
            uint32_t const offWord = uEntry & UINT32_C(0x3fffff);
            uint32_t const cbWord = uEntry >> 22;
            if (offWord > cbTab || cbWord > cbTab - offWord)
                break;
            cchOut += pfnOutput(pvArg, (const char *)pStrTab->pabCompressed + offWord, cbWord);
        }
        else
            cchOut += pfnOutput(pvArg, (const char *)&pb[-1], 1);
    }
    return cchOut;
}
