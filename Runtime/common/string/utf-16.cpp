/*
 * UTF-16: code point decoding (little- and big-endian units), measuring, and
 * the conversion to UTF-8.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/utf.h>

#include "utf-internal.h"

namespace {

inline RTUTF16 rtUtf16Swap(RTUTF16 wc)
{
    return (RTUTF16)((wc << 8) | (wc >> 8));
}

/*
 * Decodes at pwsz with cwcLeft units available; fBigEndian swaps each unit
 * first.  On success stores the code point and the units used.
 */
int rtUtf16DecodeSeq(PCRTUTF16 pwsz, size_t cwcLeft, bool fBigEndian, RTUNICP *pCp, size_t *pcwc)
{
    RTUTF16 const wc = fBigEndian ? rtUtf16Swap(pwsz[0]) : pwsz[0];
    if (wc < 0xd800 || (wc >= 0xe000 && wc <= 0xfffd))
    {
        *pCp = wc;
        *pcwc = 1;
        return KINF_SUCCESS;
    }
    if (wc >= 0xfffe)
        return KERR_UTF_NONCHARACTER;
    if (wc >= 0xdc00 || cwcLeft < 2)
        return KERR_INVALID_UTF16;
    RTUTF16 const wc2 = fBigEndian ? rtUtf16Swap(pwsz[1]) : pwsz[1];
    if (wc2 < 0xdc00 || wc2 > 0xdfff)
        return KERR_INVALID_UTF16;
    *pCp = 0x10000 + (((RTUNICP)(wc & 0x3ff) << 10) | (wc2 & 0x3ff));
    *pcwc = 2;
    return KINF_SUCCESS;
}

int rtUtf16DecodeAdvance(PCRTUTF16 *ppwsz, bool fBigEndian, RTUNICP *pCp)
{
    size_t cwc = 1;
    RTUNICP cp = RTUNICP_INVALID;
    int const rc = rtUtf16DecodeSeq(*ppwsz, 2, fBigEndian, &cp, &cwc);
    if (rc != KINF_SUCCESS)
    {
        cp = RTUNICP_INVALID;
        cwc = 1;
    }
    *pCp = cp;
    *ppwsz += cwc;
    return rc;
}

/*
 * Walks UTF-16 up to cwc units or the terminator and counts the UTF-8 bytes
 * it makes; with psz it also writes them (room for cchRoom bytes plus the
 * terminator, KERR_BUFFER_OVERFLOW when they do not fit).
 */
int rtUtf16ToUtf8Walk(PCRTUTF16 pwsz, size_t cwc, char *psz, size_t cchRoom, size_t *pcch)
{
    size_t iIn = 0;
    size_t cch = 0;
    int rc = KINF_SUCCESS;
    while (iIn < cwc && pwsz[iIn])
    {
        RTUNICP cp;
        size_t cwcSeq;
        rc = rtUtf16DecodeSeq(&pwsz[iIn], cwc - iIn, false, &cp, &cwcSeq);
        if (rc != KINF_SUCCESS)
            break;
        char ach[8];
        size_t const cb = (size_t)(RTStrEncodeCp(ach, cp) - ach);
        if (psz)
        {
            if (cchRoom - cch < cb)
            {
                rc = KERR_BUFFER_OVERFLOW;
                break;
            }
            RTMemCopy(&psz[cch], ach, cb);
        }
        cch += cb;
        iIn += cwcSeq;
    }
    if (psz)
        psz[cch] = '\0';
    *pcch = cch;
    return rc;
}

int rtUtf16ToUtf8Recode(const void *pvIn, size_t cwc, void *pvOut, size_t cchRoom)
{
    size_t cchIgnored;
    return rtUtf16ToUtf8Walk((PCRTUTF16)pvIn, cwc, (char *)pvOut, cchRoom, &cchIgnored);
}

} // namespace

int RTUtf16DecodeCp(PCRTUTF16 *ppwsz, RTUNICP *pCp)
{
    return rtUtf16DecodeAdvance(ppwsz, false, pCp);
}

int RTUtf16BEDecodeCp(PCRTUTF16 *ppwsz, RTUNICP *pCp)
{
    return rtUtf16DecodeAdvance(ppwsz, true, pCp);
}

int RTUtf16Utf8BytesEx(PCRTUTF16 pwsz, size_t cwc, size_t *pcch)
{
    size_t cch = 0;
    int const rc = rtUtf16ToUtf8Walk(pwsz, cwc, nullptr, 0, &cch);
    if (pcch)
        *pcch = rc == KINF_SUCCESS ? cch : RTSTR_MAX;
    return rc;
}

size_t RTUtf16Units(PCRTUTF16 pwsz)
{
    size_t cwc = 0;
    if (pwsz)
        while (pwsz[cwc])
            cwc++;
    return cwc;
}

int RTUtf16ToUtf8Ex(PCRTUTF16 pwsz, size_t cwc, char **ppsz, size_t cch, size_t *pcch,
                    const char *pszTag)
{
    size_t cchNeeded = 0;
    int const rc = RTUtf16Utf8BytesEx(pwsz, cwc, &cchNeeded);
    if (pcch)
        *pcch = cchNeeded;
    return rtUtfConvert(pwsz, cwc, rc, cchNeeded, (void **)ppsz, cch, 1, KERR_NO_STR_MEMORY, pszTag,
                        rtUtf16ToUtf8Recode);
}
