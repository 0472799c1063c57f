/*
 * Fuzzes the UTF-8 measure, decoders and conversions, and the status
 * string-table decoder.  The first input byte picks the target.
 *
 * UTF: the rest of the input is a NUL-terminated string; whatever measures as
 * valid must survive UTF-8 -> UTF-16 -> UTF-8 unchanged, the code point count
 * must equal the decode loop's, and walking back with RTStrCpBefore from the
 * end must land on every sequence start.
 *
 * String table: the input is split into a dictionary and compressed bytes;
 * decoding every (offset, length) pair must never read outside them (ASan).
 */
#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/utf.h>

namespace {

void check(bool f)
{
    if (!f)
        __builtin_trap();
}

size_t collect(void *pvArg, const char *pach, size_t cch)
{
    if (pach)
        static_cast<std::string *>(pvArg)->append(pach, cch);
    return cch;
}

void fuzzUtf(const uint8_t *pb, size_t cb)
{
    std::string str(reinterpret_cast<const char *>(pb), cb);
    const char *psz = str.c_str();
    size_t const cch = std::strlen(psz);

    size_t cwc = 0;
    int rc = RTStrUtf16Units(psz, &cwc);
    size_t cCps = 0, cbExamined = 0;
    int rcCp = RTStrCpCountEx(psz, RTSTR_MAX, &cCps, &cbExamined);
    if (rc == KINF_SUCCESS)
    {
        check(rcCp == KINF_SUCCESS && cbExamined == cch);
        PRTUTF16 pwsz = nullptr;
        check(RTStrToUtf16(psz, &pwsz, "fuzz") == KINF_SUCCESS);
        check(RTUtf16Units(pwsz) == cwc);
        char *pszBack = nullptr;
        size_t cchBack = 0;
        check(RTUtf16ToUtf8Ex(pwsz, RTSTR_MAX, &pszBack, 0, &cchBack, "fuzz") == KINF_SUCCESS);
        check(cchBack == cch && std::strcmp(pszBack, psz) == 0);
        RTStrRelease(pszBack);

        // The same into caller buffers of every interesting size.
        std::vector<RTUTF16> awc(cwc + 2, 0xcccc);
        for (size_t cwcBuf : { cwc, cwc + 1 })
        {
            PRTUTF16 pwszBuf = awc.data();
            int rcBuf = RTStrToUtf16Ex(psz, RTSTR_MAX, &pwszBuf, cwcBuf ? cwcBuf : 1, nullptr,
                                       "fuzz");
            check(rcBuf == (cwcBuf > cwc ? KINF_SUCCESS : KERR_BUFFER_OVERFLOW) || cwcBuf == 0);
            check(awc[cwc + 1] == 0xcccc);
        }
        RTStrRelease(pwsz);
    }
    else
        check(cwc == 0);

    // The decode loop agrees with the counter up to the first error.
    const char *pszCur = psz;
    size_t cDecoded = 0;
    int rcDecode = KINF_SUCCESS;
    while (*pszCur)
    {
        RTUNICP cp;
        const char *pszBefore = pszCur;
        rcDecode = RTStrDecodeCp(&pszCur, &cp);
        if (rcDecode != KINF_SUCCESS)
        {
            check(cp == RTUNICP_INVALID && pszCur == pszBefore + 1);
            break;
        }
        // Re-encoding gives the same bytes.
        char ab[8];
        size_t const cbEnc = (size_t)(RTStrEncodeCp(ab, cp) - ab);
        check(cbEnc == (size_t)(pszCur - pszBefore) && std::memcmp(ab, pszBefore, cbEnc) == 0);
        check(RTStrCpBefore(psz, pszCur) == pszBefore);
        cDecoded++;
    }
    if (rcDecode == KINF_SUCCESS)
        check(rcCp == KINF_SUCCESS && cDecoded == cCps);
    else
        check(rcCp == rcDecode);

    // Any position walks back within the string.
    for (size_t off = 0; off <= cch; off++)
    {
        const char *pszPrev = RTStrCpBefore(psz, psz + off);
        check(pszPrev >= psz && pszPrev <= psz + off);
    }

    // UTF-16 from the raw bytes, odd tail dropped.
    std::vector<RTUTF16> units(cb / 2 + 1, 0);
    std::memcpy(units.data(), pb, cb / 2 * 2);
    size_t cchUtf8 = 0;
    if (RTUtf16Utf8BytesEx(units.data(), RTSTR_MAX, &cchUtf8) == KINF_SUCCESS)
    {
        char *pszOut = nullptr;
        check(RTUtf16ToUtf8Ex(units.data(), RTSTR_MAX, &pszOut, 0, nullptr, "fuzz")
              == KINF_SUCCESS);
        check(std::strlen(pszOut) == cchUtf8);
        check(RTStrUtf16Units(pszOut, &cwc) == KINF_SUCCESS);
        RTStrRelease(pszOut);
    }
}

void fuzzStrTab(const uint8_t *pb, size_t cb)
{
    if (cb < 2)
        return;
    // Byte 0: dictionary entries (0 to 255); then that many dictionary words
    // built from two input bytes each, then the compressed bytes.
    uint32_t const cDict = pb[0];
    pb++, cb--;
    std::vector<uint32_t> dict(cDict);
    for (uint32_t i = 0; i < cDict; i++)
    {
        uint32_t u = i;
        if (cb >= 2)
        {
            u = (uint32_t)pb[0] << 22 | (uint32_t)pb[1] << 1 | (pb[0] & 1) << 31;
            pb += 2, cb -= 2;
        }
        dict[i] = u;
    }
    std::vector<uint8_t> bytes(pb, pb + cb); // exact size, so ASan sees any overrun
    RTERRSTRTAB tab = { bytes.data(), bytes.size(), cDict, dict.data() };
    std::string out;
    for (uint32_t off = 0; off <= bytes.size() + 1; off++)
        for (uint32_t len = 0; len <= 8; len++)
        {
            out.clear();
            RTErrStrTabDecode(&tab, off, len, collect, &out);
        }
    RTErrStrTabDecode(&tab, 0, (uint32_t)bytes.size(), collect, &out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb == 0)
        return 0;
    if (pb[0] & 1)
        fuzzStrTab(pb + 1, cb - 1);
    else
        fuzzUtf(pb + 1, cb - 1);
    return 0;
}
