/*
 * %Rrc and %Rw: the runtime's status codes by name from the status table,
 * Windows error codes (and the HRESULTs that wrap them) in hex; the names
 * also come alone, without the Windows codes.  The messages
 * (%Rrs %Rrf %Rra) are a family of their own, strformatrt-statusmsg.cpp, so
 * that a program printing only names does not carry the message table.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "strformat-internal.h"

namespace {

/* An HRESULT's facility field, and the facility of HRESULTs that wrap a Win32 error. */
constexpr uint32_t kuHResultFacilityShift = 16;
constexpr uint32_t kuHResultFacilityMask = 0x1fff;
constexpr uint32_t kuHResultFacilityWin32 = 7;
constexpr uint32_t kuHResultCodeMask = 0xffff;

/* %Rrc and %Rw*: the letter after the family says what to print. */
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

/* %Rrc alone, for programs that print no Windows error codes. */
size_t rtFmtFamilyStatusNames(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                              va_list *pva, int, int, unsigned, char)
{
    const char *pszR = *ppszFormat;
    *ppszFormat = rtStrFmtStep(pszR + 2);
    return rtStrFmtStatus(pfnOutput, pvArgOutput, pszR[2], va_arg(*pva, int));
}

} // namespace

size_t rtStrFmtStatusName(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, int rc)
{
    const RTSTATUSENTRY *pEntry = RTErrLookup(rc);
    if (pEntry)
        return RTErrOutputName(pEntry, pfnOutput, pvArgOutput);
    char szNum[RTSTR_FMT_NUM_BUF];
    int const cch = RTStrFmtU32(szNum, sizeof(szNum), (uint32_t)rc, 10, -1, -1, FMT_F_SIGNED);
    return pfnOutput(pvArgOutput, szNum, (size_t)cch);
}

size_t rtStrFmtStatus(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, int rc)
{
    /* s, f and a reach here only from the message family, which prints them itself. */
    if (chWhat == 'c')
        return rtStrFmtStatusName(pfnOutput, pvArgOutput, rc);
    return 0;
}

/* Windows error codes (and HRESULTs wrapping them): only ERROR_SUCCESS has a name. */
size_t rtStrFmtWinErr(PFNRTFMTOUTPUT pfnOutput, void *pvArgOutput, char chWhat, uint32_t uErr)
{
    bool const fWrappedSuccess = ((uErr >> kuHResultFacilityShift) & kuHResultFacilityMask)
                                     == kuHResultFacilityWin32
                                 && (uErr & kuHResultCodeMask) == 0;
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
        default: return 0;
    }
}

extern const RTSTRFMTFAMILY g_RTStrFmtFamilyStatus = { "r w", rtFmtFamilyStatus };
extern const RTSTRFMTFAMILY g_RTStrFmtFamilyStatusNames = { "r", rtFmtFamilyStatusNames };
