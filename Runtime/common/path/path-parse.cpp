/*
 * Splitting a path into its root and components, and writing a (possibly
 * edited) split back as a string.  Everything else in the path code works on
 * this split, so its record is the one place that knows the root forms:
 * drive with or without a separator, a single leading separator, UNC and the
 * "\\.\" / "\\?\" prefixes, and in the '/' style a leading '/' only.
 */
#include <zelk/err.h>
#include <zelk/mem.h>
#include <zelk/string.h>

#include "path-internal.h"

namespace {

const size_t g_cbParsedHeader = RTPARSEDPATH_SIZE(0);

/* The properties of each root kind, in RTPATHROOTKIND order, as the '\' style has them. */
// clang-format off
const uint16_t g_afRootProps[] =
{
    RTPATH_PROP_RELATIVE,                                               /* none */
    RTPATH_PROP_RELATIVE | RTPATH_PROP_VOLUME,                          /* "X:" */
    RTPATH_PROP_ABSOLUTE | RTPATH_PROP_VOLUME | RTPATH_PROP_ROOT_SLASH, /* "X:\" */
    RTPATH_PROP_RELATIVE | RTPATH_PROP_ROOT_SLASH,                      /* "\" on the current drive */
    RTPATH_PROP_ABSOLUTE | RTPATH_PROP_UNC,                             /* "\\server" */
};
// clang-format on
static_assert(RT_ELEMENTS(g_afRootProps) == RTPATHROOTKIND_UNC + 1, "one entry per root kind");

/* Length of the root at the start of psz and its properties; 0 for none. */
size_t rtPathParseRoot(const char *psz, size_t cch, uint32_t fStyle, uint16_t *pfProps)
{
    RTPATHROOT const Root = rtPathRoot(psz, cch, fStyle);
    uint16_t fProps = g_afRootProps[Root.enmKind];
    if ((fStyle & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX)
    {
        /* The one root of the '/' style is absolute. */
        if (Root.enmKind == RTPATHROOTKIND_SLASH)
            fProps = RTPATH_PROP_ABSOLUTE | RTPATH_PROP_ROOT_SLASH;
    }
    else if (Root.enmKind == RTPATHROOTKIND_UNC)
    {
        if (Root.offServerEnd == 3 && (psz[2] == '.' || psz[2] == '?'))
            fProps |= RTPATH_PROP_SPECIAL_UNC;
        if (Root.offShare > Root.offServerEnd)
            fProps |= RTPATH_PROP_ROOT_SLASH;
    }
    *pfProps = fProps;
    /* The root covers the UNC server and the separator after it, not the share. */
    return Root.offShare;
}

} // namespace

int RTPathParse(const char *pszPath, RTPARSEDPATH *pParsed, size_t cbParsed, uint32_t fFlags)
{
    if (!pszPath || !pParsed)
        return KERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STR_F_STYLE_MASK)
        || (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_RESERVED)
        return KERR_INVALID_FLAGS;
    if (cbParsed < g_cbParsedHeader)
        return KERR_INVALID_PARAMETER;
    if (!*pszPath)
        return KERR_PATH_ZERO_LENGTH;

    /* Every offset, length and the suffix offset (the end when there is none) must fit 16 bits. */
    size_t const cch = RTStrNLen(pszPath, (size_t)UINT16_MAX + 1);
    if (cch > UINT16_MAX)
        return KERR_FILENAME_TOO_LONG;

    size_t const cMaxComps = (cbParsed - g_cbParsedHeader) / sizeof(RTPATHCOMP);
    RTPATHCOMP *const paComps = RTPathParsedComps(pParsed);
    uint16_t fProps = 0;
    size_t const cchRoot = rtPathParseRoot(pszPath, cch, fFlags, &fProps);
    size_t cComps = 0;
    if (cchRoot)
    {
        if (cMaxComps > 0)
        {
            paComps[0].off = 0;
            paComps[0].cch = (uint16_t)cchRoot;
        }
        cComps = 1;
    }
    size_t cchPath = cchRoot;
    size_t off = cchRoot;
    size_t offLast = 0;
    size_t cchLast = 0;
    size_t cNames = 0;
    /* The terminator is at cch, so it ends the scans. */
    for (;;)
    {
        /* The root ends in its separator, so any after it is extra; between names, a second one. */
        size_t const offRun = off;
        while (rtPathIsSep(pszPath[off], fFlags))
            off++;
        if (off - offRun > (cNames ? 1u : 0u))
            fProps |= RTPATH_PROP_EXTRA_SLASHES;
        if (!pszPath[off])
            break;

        size_t const offComp = off;
        while (pszPath[off] && !rtPathIsSep(pszPath[off], fFlags))
            off++;
        size_t const cchComp = off - offComp;
        if (cComps < cMaxComps)
        {
            paComps[cComps].off = (uint16_t)offComp;
            paComps[cComps].cch = (uint16_t)cchComp;
        }
        cComps++;
        cchPath += cchComp + (cNames ? 1 : 0);
        cNames++;
        offLast = offComp;
        cchLast = cchComp;

        if (pszPath[offComp] == '.')
        {
            if (cchComp == 1)
                fProps |= RTPATH_PROP_DOT_REFS;
            else if (cchComp == 2 && pszPath[offComp + 1] == '.')
                fProps = (uint16_t)((fProps & ~RTPATH_PROP_ABSOLUTE) | RTPATH_PROP_DOTDOT_REFS
                                    | RTPATH_PROP_RELATIVE);
        }
    }

    size_t offSuffix = cch;
    size_t cchSuffix = 0;
    if (rtPathIsSep(pszPath[cch - 1], fFlags))
    {
        fProps |= RTPATH_PROP_DIR_SLASH;
        if (cNames)
            cchPath++;
    }
    else if (cNames)
    {
        fProps |= RTPATH_PROP_FILENAME;
        /* The last dot that neither opens nor ends the name. */
        for (size_t i = cchLast - 1; i > 0; i--)
            if (pszPath[offLast + i] == '.')
            {
                if (i != cchLast - 1)
                {
                    offSuffix = offLast + i;
                    cchSuffix = cchLast - i;
                    fProps |= RTPATH_PROP_SUFFIX;
                }
                break;
            }
    }

    pParsed->cComps = (uint16_t)cComps;
    pParsed->fProps = fProps;
    pParsed->cchPath = (uint16_t)cchPath;
    pParsed->u16Reserved = 0;
    pParsed->offSuffix = (uint16_t)offSuffix;
    pParsed->cchSuffix = (uint16_t)cchSuffix;
    return cComps <= cMaxComps ? KINF_SUCCESS : KERR_BUFFER_OVERFLOW;
}

int RTPathParsedReassemble(const char *pszSrcPath, const RTPARSEDPATH *pParsed, uint32_t fFlags,
                           char *pszDst, size_t cbDst)
{
    if (!pszSrcPath || !pParsed || (!pszDst && cbDst))
        return KERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STR_F_STYLE_MASK)
        || (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_RESERVED)
        return KERR_INVALID_FLAGS;
    char const chSep = (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX ? '/' : '\\';

    size_t const cchSrc = RTStrLen(pszSrcPath);
    size_t const cComps = pParsed->cComps;
    bool const fRoot
        = (pParsed->fProps & (RTPATH_PROP_UNC | RTPATH_PROP_VOLUME | RTPATH_PROP_ROOT_SLASH)) != 0;

    /* Size it first, so that a buffer too small is left holding an empty string, not a fragment. */
    size_t cchNeeded = 0;
    for (size_t i = 0; i < cComps; i++)
    {
        RTPATHCOMP const Comp = RTPathParsedComps(pParsed)[i];
        if ((size_t)Comp.off + Comp.cch > cchSrc)
            return KERR_INVALID_PARAMETER;
        cchNeeded += Comp.cch;
        if (i > 0 && !(i == 1 && fRoot))
            cchNeeded++;
    }
    bool const fTrailing = (pParsed->fProps & RTPATH_PROP_DIR_SLASH) && cComps > (fRoot ? 1u : 0u);
    if (fTrailing)
        cchNeeded++;
    if (cchNeeded >= cbDst)
    {
        if (cbDst)
            *pszDst = '\0';
        return KERR_BUFFER_OVERFLOW;
    }

    char *pszOut = pszDst;
    for (size_t i = 0; i < cComps; i++)
    {
        RTPATHCOMP const Comp = RTPathParsedComps(pParsed)[i];
        if (i == 0 && fRoot)
        {
            for (size_t j = 0; j < Comp.cch; j++)
            {
                char const ch = pszSrcPath[Comp.off + j];
                *pszOut++ = rtPathIsSep(ch) ? chSep : ch;
            }
            continue;
        }
        if (i > 0 && !(i == 1 && fRoot))
            *pszOut++ = chSep;
        RTMemCopy(pszOut, &pszSrcPath[Comp.off], Comp.cch);
        pszOut += Comp.cch;
    }
    if (fTrailing)
        *pszOut++ = chSep;
    *pszOut = '\0';
    return KINF_SUCCESS;
}

int rtPathParseHeld(const char *pszPath, RTPATHPARSEHOLD *pHold, uint32_t fFlags)
{
    pHold->pParsed = &pHold->u.Parsed;
    int rc = RTPathParse(pszPath, pHold->pParsed, sizeof(pHold->u), fFlags);
    if (rc == KERR_BUFFER_OVERFLOW)
    {
        size_t const cb = RTPARSEDPATH_SIZE(pHold->pParsed->cComps) + 8;
        RTPARSEDPATH *pHeap = (RTPARSEDPATH *)RTMemAlloc(cb, "path-parse");
        if (!pHeap)
            return KERR_NO_TMP_MEMORY;
        pHold->pParsed = pHeap;
        rc = RTPathParse(pszPath, pHeap, cb, fFlags);
    }
    return rc;
}

void rtPathParseRelease(RTPATHPARSEHOLD *pHold)
{
    if (pHold->pParsed != &pHold->u.Parsed)
        RTMemFree(pHold->pParsed);
    pHold->pParsed = &pHold->u.Parsed;
}
