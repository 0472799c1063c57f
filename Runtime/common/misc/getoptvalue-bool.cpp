/*
 * Boolean option values: "on"/"off", or the words and their accepted
 * abbreviations of true/yes/enabled/on/1 and false/no/disabled/off/0.  A
 * rejected word is handed back in the value as an unknown option would be.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>

#include "getopt-internal.h"

namespace {

/* True when psz is exactly the first cch characters of the ASCII word, ignoring case. */
bool rtGetOptIsWordPrefix(const char *psz, const char *pszWord, size_t cch)
{
    if (RTStrNLen(psz, cch + 1) != cch)
        return false;
    for (size_t i = 0; i < cch; i++)
        if (rtGetOptFoldAscii(psz[i]) != pszWord[i])
            return false;
    return true;
}

bool rtGetOptConvBool(const char *pszValue, bool *pf)
{
    /* The bit n of fLengths allows the first n letters of the word. */
    static const struct
    {
        const char *pszWord;
        bool fValue;
        uint16_t fLengths;
    } s_aWords[] = // clang-format off
    {
        { "true",     true,  1 << 1 | 1 << 4 },
        { "yes",      true,  1 << 1 | 1 << 3 },
        { "enabled",  true,  1 << 1 | 1 << 2 | 1 << 6 | 1 << 7 },
        { "on",       true,  1 << 2 },
        { "1",        true,  1 << 1 },
        { "false",    false, 1 << 1 | 1 << 5 },
        { "no",       false, 1 << 1 | 1 << 2 },
        { "disabled", false, 1 << 1 | 1 << 3 | 1 << 7 | 1 << 8 },
        { "off",      false, 1 << 3 },
        { "0",        false, 1 << 1 },
    };
    // clang-format on
    for (size_t i = 0; i < RT_ELEMENTS(s_aWords); i++)
        for (size_t cch = 1; cch <= 8; cch++)
            if ((s_aWords[i].fLengths & (1u << cch))
                && rtGetOptIsWordPrefix(pszValue, s_aWords[i].pszWord, cch))
            {
                *pf = s_aWords[i].fValue;
                return true;
            }
    return false;
}

int rtGetOptConvertBool(uint32_t uKind, unsigned, bool, const char *pszValue, RTOPTIONVALUE *pTmp,
                        RTOPTIONVALUE *pValue)
{
    bool fOk;
    if (uKind == RTGETOPT_REQ_BOOL_ONOFF)
    {
        fOk = true;
        if (rtGetOptIsWordPrefix(pszValue, "on", 2))
            pTmp->f = true;
        else if (rtGetOptIsWordPrefix(pszValue, "off", 3))
            pTmp->f = false;
        else
            fOk = false;
    }
    else
        fOk = rtGetOptConvBool(pszValue, &pTmp->f);
    if (fOk)
        return 0;
    pValue->psz = pszValue;
    return KERR_OPT_UNKNOWN;
}

} // namespace

// clang-format off
extern const RTGETOPTVALUEKINDS g_RTGetOptKindsBool = {
    RTGETOPT_KIND_BIT(RTGETOPT_REQ_BOOL_ONOFF) | RTGETOPT_KIND_BIT(RTGETOPT_REQ_BOOL),
    rtGetOptConvertBool
};
// clang-format on
