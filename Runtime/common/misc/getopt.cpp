/*
 * The table-driven option parser.
 *
 * One call of RTGetOpt examines one argument (or one character of a bundle of
 * short options), finds the definition it names, fetches and converts the
 * value, and returns the definition's id.  Matching is generous about how an
 * option is written - Unicode dash look-alikes pasted from documents, '=' or
 * ':' or a separate argument for the value - and strict about values: a number
 * must fill its text and fit its width.  In permute mode plain arguments met
 * before an option are held back at the front of the unexamined part of argv
 * and handed out after the last option, in their original order.
 */
#include <zelk/err.h>
#include <zelk/getopt.h>
#include <zelk/string.h>
#include <zelk/utf.h>

#include "getopt-internal.h"

namespace {

/* The options every program understands unless the caller opts out. */
const RTOPTIONDEF g_aRTGetOptStdOptions[] = // clang-format off
{
    { "--help",     'h', RTGETOPT_REQ_NOTHING },
    { "-help",      'h', RTGETOPT_REQ_NOTHING },
    { "--version",  'V', RTGETOPT_REQ_NOTHING },
    { "-version",   'V', RTGETOPT_REQ_NOTHING },
};
// clang-format on

/* Dashes that word processors and web pages put where the user typed '-'. */
bool rtGetOptIsDashLookAlike(RTUNICP cp)
{
    switch (cp)
    {
        case 0x2010:
        case 0x2011:
        case 0x2012:
        case 0x2013:
        case 0x2014:
        case 0x2212:
        case 0xfe58:
        case 0xfe63:
        case 0xff0d: return true;
        default: return false;
    }
}

/* Bytes taken by the '-' or dash look-alike at psz; 0 when there is none. */
size_t rtGetOptDashLength(const char *psz)
{
    if (*psz == '-')
        return 1;
    if ((uint8_t)*psz < 0x80)
        return 0;
    const char *pszNext = psz;
    RTUNICP cp;
    if (RT_FAILURE(RTStrDecodeCp(&pszNext, &cp)) || !rtGetOptIsDashLookAlike(cp))
        return 0;
    return (size_t)(pszNext - psz);
}

/*
 * Compares the argument with the first cchName bytes of a long name (pass the
 * length plus one to demand that both end together).  Returns the number of
 * argument bytes matched, or SIZE_MAX on a mismatch.
 */
size_t rtGetOptMatchName(const char *pszArg, const char *pszName, size_t cchName, bool fICase)
{
    size_t offArg = 0;
    for (size_t offName = 0; offName < cchName; offName++)
    {
        char const chName = pszName[offName];
        char const chArg = pszArg[offArg];
        if (chArg == chName)
        {
            if (!chName)
                return offArg;
            offArg++;
        }
        else if (chName == '-')
        {
            size_t const cbDash = rtGetOptDashLength(&pszArg[offArg]);
            if (!cbDash)
                return SIZE_MAX;
            offArg += cbDash;
        }
        else if (fICase && rtGetOptFoldAscii(chArg) == rtGetOptFoldAscii(chName))
            offArg++;
        else
            return SIZE_MAX;
    }
    return offArg;
}

/*
 * Tries one definition's long name against an argument; on a match returns
 * true with *poffRest at the end of the name (and of the dash before an
 * index), where the index digits, the value separator or the end follow.
 */
bool rtGetOptMatchLong(PCRTOPTIONDEF pOpt, const char *pszArg, size_t *poffRest)
{
    uint32_t const fFlags = pOpt->fFlags;
    bool const fICase = (fFlags & RTGETOPT_FLAG_ICASE) != 0;
    bool const fValue = (fFlags & RTGETOPT_REQ_MASK) != RTGETOPT_REQ_NOTHING;
    if (!fValue && !(fFlags & RTGETOPT_FLAG_INDEX))
    {
        size_t const off = rtGetOptMatchName(pszArg, pOpt->pszLong, RTStrLen(pOpt->pszLong) + 1,
                                             fICase);
        if (off == SIZE_MAX)
            return false;
        *poffRest = off;
        return true;
    }

    size_t off = rtGetOptMatchName(pszArg, pOpt->pszLong, RTStrLen(pOpt->pszLong), fICase);
    if (off == SIZE_MAX)
        return false;
    if (fFlags & RTGETOPT_FLAG_INDEX_DEF_DASH)
    {
        size_t const cbDash = rtGetOptDashLength(&pszArg[off]);
        if (cbDash && rtGetOptIsDigit(pszArg[off + cbDash]))
            off += cbDash;
    }
    size_t offEnd = off;
    if (fFlags & RTGETOPT_FLAG_INDEX)
        while (rtGetOptIsDigit(pszArg[offEnd]))
            offEnd++;
    char const ch = pszArg[offEnd];
    if (ch != '\0' && !(fValue && (ch == '=' || ch == ':')))
        return false;
    *poffRest = off;
    return true;
}

PCRTOPTIONDEF rtGetOptSearchLong(PRTOPTIONSTATE pState, const char *pszArg, size_t *poffRest)
{
    for (uint32_t i = 0; i < pState->cOptions; i++)
    {
        PCRTOPTIONDEF const pOpt = &pState->paOptions[i];
        if (pOpt->pszLong && rtGetOptMatchLong(pOpt, pszArg, poffRest))
            return pOpt;
    }
    if (!(pState->fFlags & RTGETOPTINIT_F_NO_STD_OPTS))
        for (size_t i = 0; i < RT_ELEMENTS(g_aRTGetOptStdOptions); i++)
            if (rtGetOptMatchLong(&g_aRTGetOptStdOptions[i], pszArg, poffRest))
                return &g_aRTGetOptStdOptions[i];
    return nullptr;
}

PCRTOPTIONDEF rtGetOptSearchShort(PRTOPTIONSTATE pState, int ch)
{
    for (uint32_t i = 0; i < pState->cOptions; i++)
        if (pState->paOptions[i].iShort == ch)
            return &pState->paOptions[i];
    if (!(pState->fFlags & RTGETOPTINIT_F_NO_STD_OPTS))
    {
        for (size_t i = 0; i < RT_ELEMENTS(g_aRTGetOptStdOptions); i++)
            if (g_aRTGetOptStdOptions[i].iShort == ch)
                return &g_aRTGetOptStdOptions[i];
        if (ch == '?')
            return &g_aRTGetOptStdOptions[0];
    }
    return nullptr;
}

/*
 * Moves argv[iArg] to argv[iNext], shifting the held-back plain arguments in
 * between up by one, so they stay together right after the taken argument.
 */
void rtGetOptMoveToFront(PRTOPTIONSTATE pState, int32_t iArg)
{
    char *const pszArg = pState->argv[iArg];
    for (int32_t i = iArg; i > pState->iNext; i--)
        pState->argv[i] = pState->argv[i - 1];
    pState->argv[pState->iNext] = pszArg;
}

/*
 * Takes the next unexamined argument as a value: it is moved in front of the
 * held-back plain arguments (and in front of a bundle still being worked
 * through, which stays the next one to examine).  Null when none is left.
 */
const char *rtGetOptTakeNextArg(PRTOPTIONSTATE pState)
{
    int64_t iArg = pState->iNext;
    if (pState->pszNextShort)
        iArg++;
    if (pState->cNonOptions != RTGETOPT_NON_OPTIONS_ALL)
        iArg += pState->cNonOptions;
    if (iArg >= pState->argc)
        return nullptr;
    rtGetOptMoveToFront(pState, (int32_t)iArg);
    return pState->argv[pState->iNext++];
}

/* The converters of a value kind, or null when the program did not link them. */
const RTGETOPTVALUEKINDS *rtGetOptFindKinds(uint32_t uKind)
{
    if (uKind == RTGETOPT_REQ_NOTHING || uKind > RTGETOPT_REQ_MASK)
        return nullptr;
    for (const RTGETOPTVALUEKINDS *const *ppKinds = g_apRTGetOptValueKinds; *ppKinds; ppKinds++)
        if ((*ppKinds)->fKinds & RTGETOPT_KIND_BIT(uKind))
            return *ppKinds;
    return nullptr;
}

/*
 * Converts pszValue by the kind and radix of fFlags.  On success the whole
 * value record is replaced; on failure it keeps the definition in its first
 * word, except that the two boolean kinds leave the rejected text there.  A
 * kind whose converters the program did not link is refused like an unknown
 * one.
 */
int rtGetOptProcessValue(uint32_t fFlags, const char *pszValue, PRTOPTIONVALUE pValue)
{
    uint32_t const uKind = fFlags & RTGETOPT_REQ_MASK;
    uint32_t const fRadix = fFlags & RTGETOPT_FLAG_RADIX_MASK;
    bool const fNumeric = (uKind >= RTGETOPT_REQ_INT8 && uKind <= RTGETOPT_REQ_UINT64)
                          || (uKind >= RTGETOPT_REQ_UINT32_PAIR
                              && uKind <= RTGETOPT_REQ_UINT64_OPTIONAL_PAIR);
    if (fRadix && (!fNumeric || (fRadix & (fRadix - 1))))
        return KERR_INTERNAL_ERROR;
    unsigned const uBase = fRadix == RTGETOPT_FLAG_HEX ? 16 : fRadix == RTGETOPT_FLAG_OCT ? 8 : 10;

    RTOPTIONVALUE Tmp;
    RTMemSet(&Tmp, 0, sizeof(Tmp));
    if (uKind == RTGETOPT_REQ_STRING)
        Tmp.psz = pszValue;
    else
    {
        const RTGETOPTVALUEKINDS *pKinds = rtGetOptFindKinds(uKind);
        if (!pKinds)
            return KERR_INTERNAL_ERROR;
        int const rc = pKinds->pfnConvert(uKind, uBase, fRadix != 0, pszValue, &Tmp, pValue);
        if (rc != 0)
            return rc;
    }
    *pValue = Tmp;
    return 0;
}

/*
 * Reads an index made only of decimal digits, up to where they end.  False
 * when it does not fit; UINT32_MAX itself is refused too, since it is what
 * the state holds for "no index".
 */
bool rtGetOptReadIndex(const char **ppsz, uint32_t *puIndex)
{
    const char *psz = *ppsz;
    uint32_t uIndex = 0;
    for (; rtGetOptIsDigit(*psz); psz++)
        if (__builtin_mul_overflow(uIndex, 10u, &uIndex)
            || __builtin_add_overflow(uIndex, (uint32_t)(*psz - '0'), &uIndex))
            return false;
    if (uIndex == UINT32_MAX)
        return false;
    *ppsz = psz;
    *puIndex = uIndex;
    return true;
}

} // namespace

int RTGetOptInit(PRTOPTIONSTATE pState, int argc, char **argv, PCRTOPTIONDEF paOptions,
                 uint32_t cOptions, int iFirst, uint32_t fFlags)
{
    if ((fFlags & ~(RTGETOPTINIT_F_PERMUTE | RTGETOPTINIT_F_NO_STD_OPTS)) || argc < 0 || iFirst < 0
        || (!argv && argc > 0) || (!paOptions && cOptions > 0))
        return KERR_INVALID_PARAMETER;

    pState->iNext = iFirst;
    pState->argv = argv;
    pState->argc = argc;
    pState->paOptions = paOptions;
    pState->cOptions = cOptions;
    pState->pszNextShort = nullptr;
    pState->pDef = nullptr;
    pState->uIndex = UINT32_MAX;
    pState->fFlags = fFlags;
    pState->cNonOptions = 0;
    return 0;
}

namespace {

/*
 * Finds the next argument that names an option, returning it in *ppOpt with
 * the text after the option character or long name in *ppszRest.  Any other
 * outcome (end, plain argument, unknown option) is returned as a status with
 * the value record filled, and *ppOpt null.
 */
int rtGetOptNextArgument(PRTOPTIONSTATE pState, PRTOPTIONVALUE pValue, PCRTOPTIONDEF *ppOpt,
                         const char **ppszRest, bool *pfShort)
{
    bool const fPermute = (pState->fFlags & RTGETOPTINIT_F_PERMUTE) != 0;
    for (;;)
    {
        if (pState->iNext >= pState->argc)
            return 0;
        if (pState->cNonOptions == RTGETOPT_NON_OPTIONS_ALL)
        {
            pValue->psz = pState->argv[pState->iNext++];
            return KINF_OPT_NOT_AN_OPTION;
        }
        int32_t const iArg = pState->iNext + pState->cNonOptions;
        if (iArg >= pState->argc)
        {
            pState->cNonOptions = RTGETOPT_NON_OPTIONS_ALL;
            continue;
        }

        const char *const pszArg = pState->argv[iArg];
        size_t offRest = 0;
        PCRTOPTIONDEF pOpt = rtGetOptSearchLong(pState, pszArg, &offRest);
        if (pOpt)
        {
            *pfShort = false;
            *ppszRest = pszArg + offRest;
        }
        else
        {
            /* A dash and an ASCII character other than a second dash: a short option. */
            size_t const cbDash = rtGetOptDashLength(pszArg);
            if (!cbDash && (uint8_t)*pszArg >= 0x80)
            {
                const char *pszCheck = pszArg;
                RTUNICP cp;
                int const rc = RTStrDecodeCp(&pszCheck, &cp);
                if (RT_FAILURE(rc))
                {
                    rtGetOptMoveToFront(pState, iArg);
                    pState->iNext++;
                    pValue->psz = pszArg;
                    return rc;
                }
            }
            if (cbDash)
            {
                char const ch = pszArg[cbDash];
                if (ch != '\0' && (uint8_t)ch < 0x80 && ch != '-')
                {
                    pOpt = rtGetOptSearchShort(pState, ch);
                    if (pOpt)
                    {
                        *pfShort = true;
                        *ppszRest = &pszArg[cbDash + 1];
                    }
                }
            }

            if (!pOpt)
            {
                if (rtGetOptMatchName(pszArg, "--", 3, false) != SIZE_MAX)
                {
                    rtGetOptMoveToFront(pState, iArg);
                    pState->iNext++;
                    pState->cNonOptions = RTGETOPT_NON_OPTIONS_ALL;
                    continue;
                }
                if (!fPermute)
                {
                    pState->iNext++;
                    pValue->psz = pszArg;
                    return *pszArg == '-' ? KERR_OPT_UNKNOWN : KINF_OPT_NOT_AN_OPTION;
                }
                if (cbDash)
                {
                    rtGetOptMoveToFront(pState, iArg);
                    pState->iNext++;
                    pValue->psz = pszArg;
                    return KERR_OPT_UNKNOWN;
                }
                /* Hold it back; it is handed out after the last option. */
                pState->cNonOptions++;
                continue;
            }
        }

        rtGetOptMoveToFront(pState, iArg);
        pState->iNext++;
        *ppOpt = pOpt;
        return 0;
    }
}

} // namespace

int RTGetOpt(PRTOPTIONSTATE pState, PRTOPTIONVALUE pValue)
{
    pState->pDef = nullptr;
    pState->uIndex = UINT32_MAX;
    RTMemSet(pValue, 0, 8);

    PCRTOPTIONDEF pOpt = nullptr;
    const char *pszRest = nullptr;
    bool fShort = false;
    if (pState->pszNextShort)
    {
        /*
         * Inside a bundle.  The bundle is left before looking at the
         * character, so that an unknown one does not pin the state to it.
         */
        const char *const pszBundle = pState->pszNextShort;
        pState->pszNextShort = nullptr;
        pState->iNext++;
        pOpt = rtGetOptSearchShort(pState, (uint8_t)*pszBundle);
        if (!pOpt)
        {
            pValue->psz = pszBundle;
            return KERR_OPT_UNKNOWN;
        }
        pszRest = pszBundle + 1;
        fShort = true;
    }
    else
    {
        int const rc = rtGetOptNextArgument(pState, pValue, &pOpt, &pszRest, &fShort);
        if (!pOpt)
            return rc;
    }

    pValue->pDef = pOpt;
    uint32_t const fFlags = pOpt->fFlags;
    uint32_t const uKind = fFlags & RTGETOPT_REQ_MASK;
    uint32_t uIndex = UINT32_MAX;
    const char *pszValue = nullptr;
    if (fShort)
    {
        if (uKind != RTGETOPT_REQ_NOTHING)
        {
            if (*pszRest == '\0')
                pszValue = rtGetOptTakeNextArg(pState);
            else if (*pszRest == ':' || *pszRest == '=')
                pszValue = pszRest + 1;
            else
                pszValue = pszRest;
            if (!pszValue)
                return KERR_OPT_VALUE_MISSING;
        }
        else if (*pszRest != '\0')
        {
            /* More options in the bundle: stay on this argument. */
            pState->pszNextShort = pszRest;
            pState->iNext--;
        }
    }
    else
    {
        const char *psz = pszRest;
        if (fFlags & RTGETOPT_FLAG_INDEX)
        {
            uint32_t const uDefIndex = (fFlags & RTGETOPT_FLAG_INDEX_DEF_MASK)
                                       >> RTGETOPT_FLAG_INDEX_DEF_SHIFT;
            if (rtGetOptIsDigit(*psz))
            {
                if (!rtGetOptReadIndex(&psz, &uIndex))
                    return KERR_OPT_BAD_VALUE_FORMAT;
            }
            else if (uDefIndex)
                uIndex = uDefIndex - 1;
            else
                return *psz == '\0' ? KERR_OPT_INDEX_MISSING : KERR_OPT_BAD_VALUE_FORMAT;
        }
        if (uKind != RTGETOPT_REQ_NOTHING)
        {
            /* The long search let through only ':', '=' or the end here. */
            if (*psz == '\0')
            {
                pszValue = rtGetOptTakeNextArg(pState);
                if (!pszValue)
                    return KERR_OPT_VALUE_MISSING;
            }
            else
                pszValue = psz + 1;
        }
    }

    if (pszValue)
    {
        int const rc = rtGetOptProcessValue(fFlags, pszValue, pValue);
        if (rc != 0)
            return rc;
    }
    pState->pDef = pOpt;
    pState->uIndex = uIndex;
    return pOpt->iShort;
}

int RTGetOptTakeValue(PRTOPTIONSTATE pState, PRTOPTIONVALUE pValue, uint32_t fFlags)
{
    if ((fFlags & RTGETOPT_REQ_MASK) == RTGETOPT_REQ_NOTHING || (fFlags & ~RTGETOPT_VALID_MASK))
        return KERR_INVALID_PARAMETER;

    RTMemSet(pValue, 0, 8);
    const char *const pszValue = rtGetOptTakeNextArg(pState);
    if (!pszValue)
        return KERR_OPT_VALUE_MISSING;
    pValue->pDef = pState->pDef;
    return rtGetOptProcessValue(fFlags, pszValue, pValue);
}
