/*
 * Conversion of NT status values to status codes.  Both "no such device" and
 * "no such file" give KERR_FILE_NOT_FOUND; the object-type mismatch gives
 * KERR_WRONG_TYPE, which no Windows error code reaches.  An unmapped value is
 * reported through the release logger (when one is installed) and gives
 * KERR_UNRESOLVED_ERROR.
 */
#include <zelk/err.h>

#include "err-internal.h"

namespace {

const RTERRRANGEMAP g_aNtStatusMap[] = // clang-format off
{
    { UINT32_C(0x00000000), UINT32_C(0x00000000), KINF_SUCCESS },
    { UINT32_C(0x000000C0), UINT32_C(0x000000C0), KERR_INTERRUPTED },
    { UINT32_C(0x00000101), UINT32_C(0x00000101), KERR_INTERRUPTED },
    { UINT32_C(0x80000002), UINT32_C(0x80000002), KERR_INVALID_POINTER },
    { UINT32_C(0x80000006), UINT32_C(0x80000006), KERR_NO_MORE_FILES },
    { UINT32_C(0x8000001A), UINT32_C(0x8000001A), KERR_NO_MORE_FILES },
    { UINT32_C(0xC0000003), UINT32_C(0xC0000003), KERR_INVALID_FUNCTION },
    { UINT32_C(0xC0000005), UINT32_C(0xC0000005), KERR_INVALID_POINTER },
    { UINT32_C(0xC0000008), UINT32_C(0xC0000008), KERR_INVALID_HANDLE },
    { UINT32_C(0xC000000D), UINT32_C(0xC000000D), KERR_INVALID_PARAMETER },
    { UINT32_C(0xC000000E), UINT32_C(0xC000000E), KERR_FILE_NOT_FOUND },
    { UINT32_C(0xC000000F), UINT32_C(0xC000000F), KERR_FILE_NOT_FOUND },
    { UINT32_C(0xC0000010), UINT32_C(0xC0000010), KERR_UNKNOWN_COMMAND },
    { UINT32_C(0xC0000013), UINT32_C(0xC0000013), KERR_MEDIA_NOT_PRESENT },
    { UINT32_C(0xC0000017), UINT32_C(0xC0000017), KERR_NO_MEMORY },
    { UINT32_C(0xC0000022), UINT32_C(0xC0000022), KERR_ACCESS_DENIED },
    { UINT32_C(0xC0000024), UINT32_C(0xC0000024), KERR_WRONG_TYPE },
    { UINT32_C(0xC0000033), UINT32_C(0xC0000033), KERR_INVALID_NAME },
    { UINT32_C(0xC0000034), UINT32_C(0xC0000034), KERR_FILE_NOT_FOUND },
    { UINT32_C(0xC0000039), UINT32_C(0xC0000039), KERR_INVALID_NAME },
    { UINT32_C(0xC000003A), UINT32_C(0xC000003A), KERR_PATH_NOT_FOUND },
    { UINT32_C(0xC000003B), UINT32_C(0xC000003B), KERR_INVALID_NAME },
    { UINT32_C(0xC0000043), UINT32_C(0xC0000043), KERR_SHARING_VIOLATION },
    { UINT32_C(0xC000006D), UINT32_C(0xC000006D), KERR_AUTHENTICATION_FAILURE },
    { UINT32_C(0xC00000BA), UINT32_C(0xC00000BA), KERR_IS_A_DIRECTORY },
    { UINT32_C(0xC00000BE), UINT32_C(0xC00000BE), KERR_NET_PATH_NOT_FOUND },
    { UINT32_C(0xC00000C4), UINT32_C(0xC00000C4), KERR_NET_IO_ERROR },
    { UINT32_C(0xC00000EF), UINT32_C(0xC00000FA), KERR_INVALID_PARAMETER },
    { UINT32_C(0xC0000101), UINT32_C(0xC0000101), KERR_DIR_NOT_EMPTY },
    { UINT32_C(0xC0000103), UINT32_C(0xC0000103), KERR_NOT_A_DIRECTORY },
    { UINT32_C(0xC0000190), UINT32_C(0xC0000190), KERR_TRUST_FAILURE },
    { UINT32_C(0xC0000280), UINT32_C(0xC0000280), KERR_TOO_MANY_SYMLINKS },
    { UINT32_C(0xC0000428), UINT32_C(0xC0000428), KERR_LDR_IMAGE_HASH },
};
// clang-format on

PFNRTERRRELLOG g_pfnRTErrReleaseLogger = nullptr;

} // namespace

void rtErrLogRel(const char *pszFormat, ...)
{
    PFNRTERRRELLOG const pfnLogger = g_pfnRTErrReleaseLogger;
    if (!pfnLogger)
        return;
    va_list va;
    va_start(va, pszFormat);
    pfnLogger(pszFormat, va);
    va_end(va);
}

PFNRTERRRELLOG rtErrSetReleaseLogger(PFNRTERRRELLOG pfnLogger)
{
    PFNRTERRRELLOG const pfnOld = g_pfnRTErrReleaseLogger;
    g_pfnRTErrReleaseLogger = pfnLogger;
    return pfnOld;
}

PFNRTERRRELLOG rtErrGetReleaseLogger(void)
{
    return g_pfnRTErrReleaseLogger;
}

int RTErrConvertFromNtStatus(int32_t lNativeCode)
{
    uint32_t const uStatus = (uint32_t)lNativeCode;
    int rc;
    if (rtErrRangeMapLookup(g_aNtStatusMap, RT_ELEMENTS(g_aNtStatusMap), uStatus, &rc))
        return rc;

    rtErrLogRel("AssertLogRel %s(%d) %s: %s\n", __FILE__, __LINE__,
                "int __cdecl RTErrConvertFromNtStatus(long)", "");
    rtErrLogRel("Unhandled error %#lx (%lu)\n", (unsigned long)uStatus, (unsigned long)uStatus);
    return KERR_UNRESOLVED_ERROR;
}
