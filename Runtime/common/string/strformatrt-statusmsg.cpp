/*
 * %Rrs %Rrf %Rra: the messages of the runtime's status codes (with the name
 * and number for %Rra); a code the table does not have prints as "Unknown
 * Status" with its number.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

size_t rtFmtFamilyStatusMsg(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                            va_list *pva, int, int, unsigned, char)
{
    const char *pszR = *ppszFormat;
    char const chWhat = pszR[2];
    *ppszFormat = pszR + 3;
    return rtStrFmtStatusMessage(pfnOutput, pvArgOutput, chWhat == 'a', va_arg(*pva, int));
}

} // namespace

size_t rtStrFmtStatusMessage(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, bool fAll, int rc)
{
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    if (!pEntry)
        return rtStrFmtSub(pfnOutput, pvArgOutput, "Unknown Status %d (0x%x)", rc, rc);
    size_t cch = 0;
    if (fAll)
    {
        cch += RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
        cch += rtStrFmtSub(pfnOutput, pvArgOutput, " (%d) - ", rc);
    }
    return cch + RTErrOutputMessage(pEntry, pfnOutput, pvArgOutput);
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyStatusMsg = { "rs rf ra", rtFmtFamilyStatusMsg };
