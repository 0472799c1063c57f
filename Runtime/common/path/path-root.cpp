/*
 * The roots of Windows paths: drive, drive and separator, a single leading
 * separator, and the UNC server and share.  Every part of the runtime that
 * needs to know where a root ends (parsing, appending, the current drive,
 * the executable's directory, the Win32 and native forms) asks here, so the
 * forms are decided once for UTF-8 and UTF-16 text alike.
 */
#include "path-internal.h"

namespace {

/* The text being parsed: units of cbUnit bytes, read no further than cch. */
struct RTPATHROOTTEXT
{
    const void *pv;
    size_t cbUnit;
    size_t cch;
    uint32_t fStyle;
};

/* The unit at off, or 0 at and beyond the end. */
uint32_t rtPathRootUnit(const RTPATHROOTTEXT *pText, size_t off)
{
    if (off >= pText->cch)
        return 0;
    return pText->cbUnit == 1 ? ((const uint8_t *)pText->pv)[off]
                              : ((const uint16_t *)pText->pv)[off];
}

bool rtPathRootIsSepAt(const RTPATHROOTTEXT *pText, size_t off)
{
    return rtPathIsSep(rtPathRootUnit(pText, off), pText->fStyle);
}

/* The end of the UNC server or share name that starts at off. */
size_t rtPathRootNameEnd(const RTPATHROOTTEXT *pText, size_t off)
{
    while (rtPathRootUnit(pText, off) != 0 && !rtPathRootIsSepAt(pText, off))
        off++;
    return off;
}

} // namespace

RTPATHROOT rtPathRootParse(const void *pvPath, size_t cbUnit, size_t cch, uint32_t fStyle)
{
    RTPATHROOTTEXT const Text = { pvPath, cbUnit, cch, fStyle };
    RTPATHROOT Root = { RTPATHROOTKIND_NONE, 0, 0, 0 };
    bool const fUnix = (fStyle & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX;
    size_t off = 0;
    /* The second unit is read only after a first one that is not the terminator. */
    if (rtPathRootIsSepAt(&Text, 0))
    {
        if (fUnix || !rtPathRootIsSepAt(&Text, 1))
        {
            Root.enmKind = RTPATHROOTKIND_SLASH;
            off = 1;
        }
        else
        {
            Root.enmKind = RTPATHROOTKIND_UNC;
            Root.offServerEnd = rtPathRootNameEnd(&Text, 2);
            /* The server name ends at a separator or at the end. */
            Root.offShare = Root.offServerEnd + (rtPathRootUnit(&Text, Root.offServerEnd) ? 1 : 0);
            Root.offShareEnd = rtPathRootNameEnd(&Text, Root.offShare);
            return Root;
        }
    }
    else if (!fUnix && rtPathIsAsciiLetter(rtPathRootUnit(&Text, 0))
             && rtPathRootUnit(&Text, 1) == ':')
    {
        bool const fSlash = rtPathRootIsSepAt(&Text, 2);
        Root.enmKind = fSlash ? RTPATHROOTKIND_DRIVE_SLASH : RTPATHROOTKIND_DRIVE;
        off = fSlash ? 3 : 2;
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
