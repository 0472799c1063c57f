/*
 * %Rr and %Rw: the runtime's status codes by name and message from the status
 * table, Windows error codes (and the HRESULTs that wrap them) in hex.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace
{

size_t rtFmtUnknownStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, int rc)
{
    return rtStrFmtSub(pfnOutput, pvArgOutput, "Unknown Status %d (0x%x)", rc, rc);
}

} // namespace

size_t rtStrFmtStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, int rc)
{
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    switch (chWhat)
    {
        case 'c':
            if (pEntry)
                return RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
            else
            {
                char szNum[RTSTR_FMT_NUM_BUF];
                int const cch = RTStrFmtU32(szNum, sizeof(szNum), (uint32_t)rc, 10, -1, -1,
                                            FMT_F_SIGNED);
                return pfnOutput(pvArgOutput, szNum, (size_t)cch);
            }
        case 's':
        case 'f':
            if (pEntry)
                return RTErrOutputMessage(pEntry, pfnOutput, pvArgOutput);
            return rtFmtUnknownStatus(pfnOutput, pvArgOutput, rc);
        case 'a':
            if (pEntry)
            {
                size_t cch = RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
                cch += rtStrFmtSub(pfnOutput, pvArgOutput, " (%d) - ", rc);
                return cch + RTErrOutputMessage(pEntry, pfnOutput, pvArgOutput);
            }
            return rtFmtUnknownStatus(pfnOutput, pvArgOutput, rc);
        default:
            return 0;
    }
}

/* Windows error codes (and HRESULTs wrapping them): only ERROR_SUCCESS has a name. */
size_t rtStrFmtWinErr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, uint32_t uErr)
{
    bool const fWrappedSuccess = ((uErr >> 16) & 0x1fff) == 7 && (uErr & 0xffff) == 0;
    switch (chWhat)
    {
        case 'c':
        case 'f':
            if (uErr == 0)
                return rtStrFmtOut(pfnOutput, pvArgOutput, "ERROR_SUCCESS");
            return rtStrFmtSub(pfnOutput, pvArgOutput, "%s0x%x",
                               fWrappedSuccess ? "ERROR_SUCCESS/" : "", uErr);
        case 'a':
            if (uErr == 0 || fWrappedSuccess)
                return rtStrFmtSub(pfnOutput, pvArgOutput, "ERROR_SUCCESS (0x%x)", uErr);
            return rtStrFmtSub(pfnOutput, pvArgOutput, "Unknown Status 0x%x", uErr);
        default:
            return 0;
    }
}

namespace
{

/* %Rrc %Rrs %Rrf %Rra and %Rwc %Rwf %Rwa: the letter after the family says what to print. */
size_t rtFmtFamilyStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                         va_list *pva, int, int, unsigned, char)
{
    const char *pszR = *ppszFormat;
    char const chWhat = pszR[2];
    *ppszFormat = rtStrFmtStep(pszR + 2);
    if (pszR[1] == 'r')
        return rtStrFmtStatus(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, int));
    return rtStrFmtWinErr(pfnOutput, pvArgOutput, chWhat, va_arg(*pva, uint32_t));
}

} // namespace

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyStatus = { "rw", rtFmtFamilyStatus };
