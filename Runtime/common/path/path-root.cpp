/*
 * The roots of Windows paths: drive, drive and separator, a single leading
 * separator, and the UNC server and share.  Every part of the runtime that
 * needs to know where a root ends (parsing, appending, the current drive,
 * the executable's directory, the Win32 and native forms) asks here, so the
 * forms are decided once for UTF-8 and UTF-16 text alike.
 */
#include "path-internal.h"

namespace {

/* The unit at off, or 0 at and beyond the end. */
uint32_t rtPathRootUnit(const void *pvPath, size_t cbUnit, size_t cch, size_t off)
{
    if (off >= cch)
        return 0;
    return cbUnit == 1 ? ((const uint8_t *)pvPath)[off] : ((const uint16_t *)pvPath)[off];
}

} // namespace

RTPATHROOT rtPathRootParse(const void *pvPath, size_t cbUnit, size_t cch, uint32_t fStyle)
{
    RTPATHROOT Root = { RTPATHROOTKIND_NONE, 0, 0, 0 };
    uint32_t const ch0 = rtPathRootUnit(pvPath, cbUnit, cch, 0);
    uint32_t const ch1 = ch0 ? rtPathRootUnit(pvPath, cbUnit, cch, 1) : 0;
    size_t off = 0;
    if ((fStyle & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX)
    {
        if (rtPathIsSep(ch0, fStyle))
        {
            Root.enmKind = RTPATHROOTKIND_SLASH;
            off = 1;
        }
    }
    else if (rtPathIsAsciiLetter(ch0) && ch1 == ':')
    {
        bool const fSlash = rtPathIsSep(rtPathRootUnit(pvPath, cbUnit, cch, 2), fStyle);
        Root.enmKind = fSlash ? RTPATHROOTKIND_DRIVE_SLASH : RTPATHROOTKIND_DRIVE;
        off = fSlash ? 3 : 2;
    }
    else if (rtPathIsSep(ch0, fStyle) && !rtPathIsSep(ch1, fStyle))
    {
        Root.enmKind = RTPATHROOTKIND_SLASH;
        off = 1;
    }
    else if (rtPathIsSep(ch0, fStyle))
    {
        Root.enmKind = RTPATHROOTKIND_UNC;
        off = 2;
        uint32_t ch;
        while ((ch = rtPathRootUnit(pvPath, cbUnit, cch, off)) != 0 && !rtPathIsSep(ch, fStyle))
            off++;
        Root.offServerEnd = off;
        if (ch)
            off++;
        Root.offShare = off;
        while ((ch = rtPathRootUnit(pvPath, cbUnit, cch, off)) != 0 && !rtPathIsSep(ch, fStyle))
            off++;
        Root.offShareEnd = off;
        return Root;
    }
    Root.offServerEnd = Root.offShare = Root.offShareEnd = off;
    return Root;
}

size_t rtPathNameOffset(const char *psz, size_t cch)
{
    size_t off = cch;
    while (off > 0 && !rtPathIsSepOrColon((uint8_t)psz[off - 1]))
        off--;
    return off;
}
