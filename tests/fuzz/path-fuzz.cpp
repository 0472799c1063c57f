/*
 * Fuzzes the path string rules: RTPathParse (and reassembly of what it
 * found), RTPathAbsEx against a fixed base, and RTPathAppendEx.
 *
 * Input: byte 0 picks the style and flags, byte 1 the buffer size, byte 2
 * the record size and append limit; the rest is a path, optionally followed
 * by a NUL and a second string (the component to append, or the text already
 * in the append buffer).  Every output buffer sits in a larger block filled
 * with a canary, so a write past the size given is caught, and the
 * invariants are: output NUL-terminated within its buffer, never longer
 * than it, an overflow reported with the size needed (a buffer of exactly
 * that size then succeeds), an append that does not fit leaving the buffer
 * as it was, and an absolute path made absolute again staying the same.
 * The root parser under them must find the same root in the UTF-8 text and
 * in the same units widened to UTF-16, with its ends in order.
 */
#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/path.h>
#include <zelk/string.h>

#include "path-internal.h"

namespace {

const unsigned char g_bCanary = 0xa5;

void check(bool f)
{
    if (!f)
        __builtin_trap();
}

/* A buffer of cb bytes followed by canary bytes. */
struct Guarded
{
    std::vector<unsigned char> ab;
    size_t cb;

    explicit Guarded(size_t cbBuf) : ab(cbBuf + 64, g_bCanary), cb(cbBuf) {}
    char *psz() { return cb ? reinterpret_cast<char *>(ab.data()) : nullptr; }
    void checkTail() const
    {
        for (size_t i = cb; i < ab.size(); i++)
            check(ab[i] == g_bCanary);
    }
    size_t terminatedLength() const
    {
        size_t cch = 0;
        while (cch < cb && ab[cch])
            cch++;
        check(cch < cb);
        return cch;
    }
};

void fuzzRoot(const std::string &strPath, uint32_t fStyle)
{
    RTPATHROOT const Root = rtPathRoot(strPath.c_str(), RTSTR_MAX, fStyle);
    std::u16string wstr; /* the bytes widened without their sign */
    for (char ch : strPath)
        wstr += (char16_t)(uint8_t)ch;
    RTPATHROOT const Root16 = rtPathRootParse(wstr.c_str(), 2, RTSTR_MAX, fStyle);
    check(Root.enmKind == Root16.enmKind && Root.offServerEnd == Root16.offServerEnd
          && Root.offShare == Root16.offShare && Root.offShareEnd == Root16.offShareEnd);
    check(Root.offServerEnd <= Root.offShare && Root.offShare <= Root.offShareEnd);
    check(Root.offShareEnd <= strPath.size());
    if (Root.enmKind == RTPATHROOTKIND_UNC)
        check(Root.offServerEnd >= 2 && Root.offShare <= Root.offServerEnd + 1);
    else
        check(Root.offServerEnd == Root.offShareEnd && Root.offShareEnd <= 3);
}

void fuzzParse(const std::string &strPath, uint32_t fStyle, size_t cComps, size_t cbOut)
{
    Guarded Rec(RTPARSEDPATH_SIZE(cComps));
    RTPARSEDPATH *pParsed = reinterpret_cast<RTPARSEDPATH *>(Rec.ab.data());
    int rc = RTPathParse(strPath.c_str(), pParsed, Rec.cb, fStyle);
    Rec.checkTail();
    size_t const cch = strPath.size();
    if (rc == KERR_BUFFER_OVERFLOW)
    {
        check(pParsed->cComps > cComps);
        return;
    }
    if (rc != KINF_SUCCESS)
    {
        check(rc == KERR_PATH_ZERO_LENGTH || rc == KERR_INVALID_FLAGS
              || rc == KERR_FILENAME_TOO_LONG);
        return;
    }
    check(pParsed->cComps <= cComps && pParsed->cchPath <= cch);
    check((pParsed->fProps & (RTPATH_PROP_ABSOLUTE | RTPATH_PROP_RELATIVE)) != 0);
    check((size_t)pParsed->offSuffix + pParsed->cchSuffix <= cch);
    size_t offPrev = 0;
    for (unsigned i = 0; i < pParsed->cComps; i++)
    {
        check(RTPathParsedComps(pParsed)[i].off >= offPrev);
        check((size_t)RTPathParsedComps(pParsed)[i].off + RTPathParsedComps(pParsed)[i].cch <= cch);
        offPrev = (size_t)RTPathParsedComps(pParsed)[i].off + RTPathParsedComps(pParsed)[i].cch;
    }

    /* Written back, it is the normalised length; in a small buffer, an empty string. */
    Guarded Out(cbOut);
    rc = RTPathParsedReassemble(strPath.c_str(), pParsed, fStyle, Out.psz(), Out.cb);
    Out.checkTail();
    if (rc == KINF_SUCCESS)
        check(Out.terminatedLength() == pParsed->cchPath);
    else
    {
        check(rc == KERR_BUFFER_OVERFLOW && cbOut <= pParsed->cchPath);
        if (cbOut)
            check(Out.ab[0] == '\0');
    }
}

/* Absolute forms are equal but for the case of a drive letter, which only the clean form upper-cases. */
bool sameAbsolute(const char *psz1, const char *psz2)
{
    if (psz1[0] && psz1[1] == ':' && psz2[0] && psz2[1] == ':'
        && (psz1[0] | 0x20) == (psz2[0] | 0x20))
        return std::strcmp(psz1 + 1, psz2 + 1) == 0;
    return std::strcmp(psz1, psz2) == 0;
}

void fuzzAbs(const std::string &strPath, uint32_t fFlags, size_t cbOut)
{
    const char *pszBase = (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX
                              ? "/base/dir"
                              : "C:\\base\\dir";
    Guarded Out(cbOut);
    size_t cb = cbOut;
    int rc = RTPathAbsEx(pszBase, strPath.c_str(), fFlags, Out.psz(), &cb);
    Out.checkTail();
    if (rc == KINF_SUCCESS)
    {
        check(Out.terminatedLength() == cb);
        std::string const strAbs(Out.psz());
        Guarded Again(strAbs.size() + 1);
        size_t cbAgain = Again.cb;
        rc = RTPathAbsEx(pszBase, strAbs.c_str(), fFlags, Again.psz(), &cbAgain);
        check(rc == KINF_SUCCESS && sameAbsolute(Again.psz(), strAbs.c_str()));
        return;
    }
    if (rc != KERR_BUFFER_OVERFLOW)
    {
        check(rc == KERR_PATH_ZERO_LENGTH || rc == KERR_INVALID_FLAGS
              || rc == KERR_FILENAME_TOO_LONG || rc == KERR_PATH_IS_RELATIVE
              || rc == KERR_INTERNAL_ERROR_4);
        return;
    }
    check(cb > cbOut);
    if (cbOut)
        check(Out.ab[0] == '\0');
    Guarded Exact(cb);
    size_t cbExact = cb;
    rc = RTPathAbsEx(pszBase, strPath.c_str(), fFlags, Exact.psz(), &cbExact);
    Exact.checkTail();
    check(rc == KINF_SUCCESS && cbExact + 1 == cb && Exact.terminatedLength() == cbExact);
}

void fuzzAppend(const std::string &strPath, const std::string &strAppend, uint32_t fFlags,
                size_t cbBuf, size_t cchMax)
{
    Guarded Buf(cbBuf);
    size_t const cchInit = strPath.size() < cbBuf ? strPath.size() : cbBuf;
    std::memcpy(Buf.ab.data(), strPath.data(), cchInit);
    if (cchInit < cbBuf)
        Buf.ab[cchInit] = '\0';
    std::vector<unsigned char> abBefore(Buf.ab);

    int rc = RTPathAppendEx(Buf.psz() ? Buf.psz() : reinterpret_cast<char *>(Buf.ab.data()), cbBuf,
                            strAppend.c_str(), cchMax, fFlags);
    Buf.checkTail();
    if (rc == KINF_SUCCESS)
    {
        size_t const cch = Buf.terminatedLength();
        size_t const cchAdded = RTStrNLen(strAppend.c_str(), cchMax);
        check(cch <= cchInit + 1 + cchAdded);
        return;
    }
    /* Refused or too small: not a byte changed. */
    check(Buf.ab == abBefore);
    if (rc == KERR_INVALID_PARAMETER)
        check(cchInit == cbBuf);
    else
        check(rc == KERR_BUFFER_OVERFLOW || rc == KERR_INVALID_FLAGS);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb < 3)
        return 0;
    uint8_t const bFlags = pb[0];
    size_t const cbOut = pb[1] < 0xf0 ? pb[1] : (size_t)(pb[1] - 0xf0) * 512;
    uint8_t const bExtra = pb[2];
    std::string const strAll(reinterpret_cast<const char *>(pb + 3), cb - 3);
    size_t const offNul = strAll.find('\0');
    std::string const strPath = strAll.substr(0, offNul);
    std::string const strSecond = offNul == std::string::npos ? std::string()
                                                              : strAll.substr(offNul + 1);

    /* Style in bits 0-1 (3 is invalid); the abs flags from bits 2-4, bit 5 an unknown flag. */
    uint32_t const fStyle = bFlags & 3;
    uint32_t fAbs = fStyle | ((uint32_t)(bFlags & 0x1c) << 14);
    if (bFlags & 0x20)
        fAbs |= 0x100;

    fuzzRoot(strPath, fStyle);
    fuzzParse(strPath, (bFlags & 0x40) ? fStyle | 0x10 : fStyle, bExtra & 0x3f, cbOut);
    fuzzAbs(strPath, fAbs, cbOut);
    fuzzAppend(strSecond, strPath, fStyle, cbOut,
               (bExtra & 0x80) ? (size_t)(bExtra & 0x7f) : RTSTR_MAX);
    return 0;
}
