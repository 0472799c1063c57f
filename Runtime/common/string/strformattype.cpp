/*
 * %R[name]: types registered at run time by name.
 *
 * The table is sorted by name and searched by halves.  Nothing in the
 * installer registers a type, so every lookup misses and prints the
 * "<missing:%R[name]>" form, which keeps a wrong name visible in a message
 * instead of dropping it silently.  The types are a family whose names start
 * with '[', so a program that names its families and prints none of them
 * does not carry even that.
 */
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

typedef size_t (*PFNRTSTRFORMATTYPE)(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput,
                                     const char *pszType, const void *pvValue, int cchWidth,
                                     int cchPrecision, unsigned fFlags, void *pvUser);

struct RTSTRDYNFMT
{
    uint8_t cchType;
    char szType[47];
    PFNRTSTRFORMATTYPE pfnHandler;
    void *pvUser;
};

/* Read-only: registration is not part of this runtime. */
const RTSTRDYNFMT *const g_paTypes = nullptr;
const size_t g_cTypes = 0;

const RTSTRDYNFMT *rtStrFmtLookupCustom(const char *pszName, size_t cchName)
{
    size_t iLo = 0;
    size_t iHi = g_cTypes;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        const RTSTRDYNFMT *pRec = &g_paTypes[i];
        size_t const cchCmp = cchName < pRec->cchType ? cchName : pRec->cchType;
        int iDiff = RTMemCmp(pszName, pRec->szType, cchCmp);
        if (!iDiff)
            iDiff = cchName < pRec->cchType ? -1 : cchName > pRec->cchType ? 1 : 0;
        if (!iDiff)
            return pRec;
        if (iDiff < 0)
            iHi = i;
        else
            iLo = i + 1;
    }
    return nullptr;
}

/* *ppszFormat points at the 'R' of "R[" on entry. */
size_t rtStrFmtCustomType(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                          va_list *pva, int cchWidth, int cchPrecision, unsigned fFlags,
                          char chArgSize)
{
    (void)chArgSize;
    const void *pvValue = va_arg(*pva, const void *);
    const char *pszName = *ppszFormat + 2;
    const char *pszEnd = pszName;
    while (*pszEnd != ']')
    {
        if (!*pszEnd || *pszEnd == '%' || *pszEnd == '[')
        {
            *ppszFormat = pszName;
            return 0;
        }
        pszEnd++;
    }
    *ppszFormat = pszEnd + 1;
    size_t const cchName = (size_t)(pszEnd - pszName);

    const RTSTRDYNFMT *pRec = rtStrFmtLookupCustom(pszName, cchName);
    if (pRec)
        return pRec->pfnHandler(pfnOutput, pvArgOutput, pRec->szType, pvValue, cchWidth,
                                cchPrecision, fFlags, pRec->pvUser);
    /* The name with the 'R' and its brackets, as the format spells it. */
    return rtStrFmtMissing(pfnOutput, pvArgOutput, pszName - 2, cchName + 3);
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyCustom = { "[", rtStrFmtCustomType };
