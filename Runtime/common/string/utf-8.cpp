/*
 * UTF-8: acceptance, measuring, code point decoding and encoding, and the
 * conversions to UTF-16 and to code point arrays.
 *
 * One sequence decoder serves every caller.  It accepts what the code point
 * functions accept (4-, 5- and 6-byte sequences above U+10FFFF included);
 * the UTF-16 measure then refuses what UTF-16 cannot represent.  Conversions
 * always measure first, so the converting loops never meet invalid input.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "utf-internal.h"

namespace {

/*
 * Decodes the sequence at pb with at most cbLeft bytes available (a NUL
 * inside a sequence fails the continuation test).  On success stores the
 * code point and the sequence length.
 */
int rtUtf8DecodeSeq(const unsigned char *pb, size_t cbLeft, RTUNICP *pCp, size_t *pcbSeq)
{
    /* The smallest code point of each length from 2 to 6 bytes: below it, overlong. */
    static const RTUNICP s_acpMin[] = { 0x80, 0x800, 0x10000, 0x200000, 0x4000000 };
    unsigned const bLead = pb[0];
    if (bLead < 0x80)
    {
        *pCp = bLead;
        *pcbSeq = 1;
        return KINF_SUCCESS;
    }

    /* The lead byte's leading ones count the bytes, a zero ends them. */
    size_t cb = 1;
    while (bLead & (0x80u >> cb))
        cb++;
    if (cb < 2 || cb > 6)
        return KERR_INVALID_UTF8; /* continuation byte, 0xfe or 0xff in lead position */
    if (cb > cbLeft)
        return KERR_INVALID_UTF8;
    RTUNICP cp = bLead & (0x7fu >> cb);
    for (size_t i = 1; i < cb; i++)
    {
        if ((pb[i] & 0xc0) != 0x80)
            return KERR_INVALID_UTF8;
        cp = (cp << 6) | (pb[i] & 0x3f);
    }
    if (cp < s_acpMin[cb - 2])
        return KERR_INVALID_UTF8; /* overlong */
    if (cb == 3)
    {
        if (cp == 0xfffe || cp == 0xffff)
            return KERR_UTF_NONCHARACTER;
        if (cp >= 0xd800 && cp <= 0xdfff)
            return KERR_UTF8_SURROGATE;
    }
    *pCp = cp;
    *pcbSeq = cb;
    return KINF_SUCCESS;
}

/*
 * Walks psz up to cch bytes or the NUL.  fUtf16 refuses code points above
 * U+10FFFF and counts UTF-16 units, and with pwsz also writes them (room for
 * cwcRoom units plus the terminator, KERR_BUFFER_OVERFLOW when they do not
 * fit); otherwise code points are counted.
 */
int rtUtf8Walk(const char *psz, size_t cch, bool fUtf16, PRTUTF16 pwsz, size_t cwcRoom,
               size_t *pcCount, size_t *pcbExamined)
{
    const unsigned char *pb = (const unsigned char *)psz;
    size_t off = 0;
    size_t cCount = 0;
    int rc = KINF_SUCCESS;
    while (off < cch && pb[off])
    {
        RTUNICP cp;
        size_t cbSeq;
        rc = rtUtf8DecodeSeq(&pb[off], cch - off, &cp, &cbSeq);
        if (rc != KINF_SUCCESS)
            break;
        if (fUtf16 && cp > 0x10ffff)
        {
            rc = KERR_CODE_POINT_TOO_BIG;
            break;
        }
        size_t const cUnits = fUtf16 && cp >= 0x10000 ? 2 : 1;
        if (pwsz)
        {
            if (cwcRoom - cCount < cUnits)
            {
                rc = KERR_BUFFER_OVERFLOW;
                break;
            }
            if (cUnits == 1)
                pwsz[cCount] = (RTUTF16)cp;
            else
            {
                cp -= 0x10000;
                pwsz[cCount] = (RTUTF16)(0xd800 + (cp >> 10));
                pwsz[cCount + 1] = (RTUTF16)(0xdc00 + (cp & 0x3ff));
            }
        }
        cCount += cUnits;
        off += cbSeq;
    }
    if (pwsz)
        pwsz[cCount] = 0;
    if (pcbExamined)
        *pcbExamined = off;
    if (rc == KINF_SUCCESS)
        *pcCount = cCount;
    return rc;
}

int rtUtf8Measure(const char *psz, size_t cch, bool fUtf16, size_t *pcCount, size_t *pcbExamined)
{
    return rtUtf8Walk(psz, cch, fUtf16, nullptr, 0, pcCount, pcbExamined);
}

/* Writes the already validated text into pwsz (room for cwcRoom units plus the terminator). */
int rtUtf8ToUtf16Recode(const void *pvIn, size_t cch, void *pvOut, size_t cwcRoom)
{
    size_t cwcIgnored;
    return rtUtf8Walk((const char *)pvIn, cch, true, (PRTUTF16)pvOut, cwcRoom, &cwcIgnored,
                      nullptr);
}

/* Writes the already validated text into paCps (room for cRoom code points plus the terminator). */
int rtUtf8ToCpsRecode(const void *pvIn, size_t cch, void *pvOut, size_t cRoom)
{
    RTUNICP *const paCps = (RTUNICP *)pvOut;
    const char *psz = (const char *)pvIn;
    size_t i = 0;
    while (cch > 0 && *psz && i < cRoom)
        RTStrDecodeCpN(&psz, &cch, &paCps[i++]);
    paCps[i] = 0;
    return KINF_SUCCESS;
}

} // namespace

int RTStrUtf16Units(const char *psz, size_t *pcwc)
{
    return rtUtf8Measure(psz, RTSTR_MAX, true, pcwc, nullptr);
}

int RTStrUtf16UnitsN(const char *psz, size_t cch, size_t *pcwc)
{
    return rtUtf8Measure(psz, cch, true, pcwc, nullptr);
}

int RTStrUtf16UnitsEx(const char *psz, size_t cch, size_t *pcwc)
{
    size_t cwc = 0;
    int const rc = cch == RTSTR_MAX ? RTStrUtf16Units(psz, &cwc) : RTStrUtf16UnitsN(psz, cch, &cwc);
    if (pcwc)
        *pcwc = RT_SUCCESS(rc) ? cwc : RTSTR_MAX;
    return rc;
}

int RTStrCpCountEx(const char *psz, size_t cch, size_t *pcCps, size_t *pcbExamined)
{
    return rtUtf8Measure(psz, cch, false, pcCps, pcbExamined);
}

size_t RTStrCpCount(const char *psz)
{
    size_t cCps = 0;
    return RT_SUCCESS(RTStrCpCountEx(psz, RTSTR_MAX, &cCps, nullptr)) ? cCps : 0;
}

int RTStrCheckEncoding(const char *psz, size_t cch, uint32_t fFlags)
{
    if (fFlags & ~(RTSTR_CHECK_F_TERMINATED | RTSTR_CHECK_F_EXACT_LENGTH))
        return KERR_INVALID_PARAMETER;
    size_t cCps = 0;
    size_t cbText = 0;
    int const rc = RTStrCpCountEx(psz, cch, &cCps, &cbText);
    if (RT_FAILURE(rc))
        return rc;
    if (fFlags & RTSTR_CHECK_F_EXACT_LENGTH)
    {
        size_t const cbNeeded = cbText + (fFlags & RTSTR_CHECK_F_TERMINATED ? 1 : 0);
        if (cbNeeded == cch)
            return KINF_SUCCESS;
        return cbNeeded < cch ? KERR_STRING_TOO_SHORT : KERR_BUFFER_OVERFLOW;
    }
    if ((fFlags & RTSTR_CHECK_F_TERMINATED) && cbText >= cch)
        return KERR_BUFFER_OVERFLOW;
    return rc;
}

int RTStrDecodeCp(const char **ppsz, RTUNICP *pCp)
{
    return RTStrDecodeCpN(ppsz, nullptr, pCp);
}

RTUNICP RTStrCpAt(const char *psz)
{
    RTUNICP cp;
    RTStrDecodeCp(&psz, &cp);
    return cp;
}

/* pcch null: NUL-terminated string without a count. */
int RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp)
{
    const unsigned char *pb = (const unsigned char *)*ppsz;
    size_t const cbLeft = pcch ? *pcch : RTSTR_MAX;
    if (cbLeft == 0)
    {
        *pCp = RTUNICP_INVALID;
        return KERR_END_OF_STRING;
    }
    RTUNICP cp = 0;
    size_t cbSeq = 1;
    int rc = rtUtf8DecodeSeq(pb, cbLeft, &cp, &cbSeq);
    if (rc != KINF_SUCCESS)
    {
        cp = RTUNICP_INVALID;
        cbSeq = 1;
    }
    *pCp = cp;
    *ppsz += cbSeq;
    if (pcch)
        *pcch -= cbSeq;
    return rc;
}

char *RTStrEncodeCp(char *psz, RTUNICP cp)
{
    unsigned char *pb = (unsigned char *)psz;
    if (cp < 0x80 || cp >= 0x80000000)
    {
        /* Past 31 bits nothing encodes it; the invalid marker lands here too. */
        *pb = cp < 0x80 ? (unsigned char)cp : 0x7f;
        return psz + 1;
    }
    /* A sequence of n bytes holds 5n+1 bits: 6 per continuation byte, the rest in the lead. */
    size_t cb = 2;
    while (cb < 6 && cp >> (5 * cb + 1))
        cb++;
    for (size_t i = cb - 1; i > 0; i--)
    {
        pb[i] = (unsigned char)(0x80 | (cp & 0x3f));
        cp >>= 6;
    }
    pb[0] = (unsigned char)((0xff00u >> cb) | cp);
    return psz + cb;
}

const char *RTStrCpBefore(const char *pszStart, const char *psz)
{
    if (psz <= pszStart)
        return psz;
    const unsigned char *pb = (const unsigned char *)psz - 1;
    if (*pb < 0x80)
        return (const char *)pb;
    if ((*pb & 0xc0) != 0x80)
        return pszStart; /* a lead byte with nothing after it */

    /* Walk back over at most six more bytes of continuation. */
    size_t cContinuation = 0;
    const unsigned char *const pbStart = (const unsigned char *)pszStart;
    while ((*pb & 0xc0) == 0x80)
    {
        cContinuation++;
        if (pb == pbStart || cContinuation > 6)
            return pszStart;
        pb--;
    }
    /* The lead byte must announce exactly the continuation bytes passed. */
    unsigned const bLead = *pb;
    unsigned const cLeadingOnes = bLead >= 0xfe   ? 7
                                  : bLead >= 0xfc ? 6
                                  : bLead >= 0xf8 ? 5
                                  : bLead >= 0xf0 ? 4
                                  : bLead >= 0xe0 ? 3
                                  : bLead >= 0xc0 ? 2
                                                  : 0;
    if (cLeadingOnes < 2 || cLeadingOnes > 6 || cLeadingOnes - 1 != cContinuation)
        return pszStart;
    return (const char *)pb;
}

int RTStrToUtf16(const char *psz, PRTUTF16 *ppwsz, const char *pszTag)
{
    *ppwsz = nullptr;
    return RTStrToUtf16Ex(psz, RTSTR_MAX, ppwsz, 0, nullptr, pszTag);
}

int RTStrToUtf16Ex(const char *psz, size_t cch, PRTUTF16 *ppwsz, size_t cwc, size_t *pcwc,
                   const char *pszTag)
{
    size_t cwcNeeded = 0;
    int const rc = RTStrUtf16UnitsEx(psz, cch, &cwcNeeded);
    if (pcwc && RT_SUCCESS(rc))
        *pcwc = cwcNeeded;
    return rtUtfConvert(psz, cch, rc, cwcNeeded, (void **)ppwsz, cwc, sizeof(RTUTF16),
                        KERR_NO_UTF16_MEMORY, pszTag, rtUtf8ToUtf16Recode);
}

int RTStrToCpArray(const char *psz, size_t cch, RTUNICP **ppaCps, size_t cCps, size_t *pcCps)
{
    size_t cNeeded = 0;
    int const rc = RTStrCpCountEx(psz, cch, &cNeeded, nullptr);
    if (pcCps && RT_SUCCESS(rc))
        *pcCps = cNeeded;
    return rtUtfConvert(psz, cch, rc, cNeeded, (void **)ppaCps, cCps, sizeof(RTUNICP),
                        KERR_NO_CODE_POINT_MEMORY, "RTStrToCpArray", rtUtf8ToCpsRecode);
}
