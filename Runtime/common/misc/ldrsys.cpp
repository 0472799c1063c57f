/*
 * Path comparison of the system-module loader: is a side-by-side redirected
 * path below the system's own folders?  Pure text, so every host tests it.
 */
#include <zelk/ldr.h>

static inline bool rtLdrIsSep(RTUTF16 wc)
{
    return wc == '\\' || wc == '/';
}

static inline RTUTF16 rtLdrFold(RTUTF16 wc)
{
    return wc >= 'A' && wc <= 'Z' ? (RTUTF16)(wc + ('a' - 'A')) : wc;
}

size_t rtLdrCommonSeparators(PCRTUTF16 pwsz1, PCRTUTF16 pwsz2)
{
    size_t cSeps = 0;
    bool fAtStart = true;
    for (;;)
    {
        RTUTF16 const wc1 = *pwsz1;
        RTUTF16 const wc2 = *pwsz2;
        if (rtLdrIsSep(wc1) && rtLdrIsSep(wc2))
        {
            while (rtLdrIsSep(*pwsz1))
                pwsz1++;
            while (rtLdrIsSep(*pwsz2))
                pwsz2++;
            if (!fAtStart)
                cSeps++;
            fAtStart = false;
            continue;
        }
        if (!wc1 || !wc2 || rtLdrFold(wc1) != rtLdrFold(wc2))
            return cSeps;
        fAtStart = false;
        pwsz1++;
        pwsz2++;
    }
}
