/*
 * Describing file-system objects from what Windows reports: the Unix mode
 * made up from the attributes (and the name, which alone says whether a
 * file is executable there), times, and the file system kinds by name.
 */
#include <zelk/err.h>
#include <zelk/string.h>

#include "file-internal.h"

namespace {

const uint32_t g_fDosReadOnly = 0x0001;
const uint32_t g_fDosDirectory = 0x0010;
const uint32_t g_fDosReparsePoint = 0x0400;

/* Names of the executable suffixes, lower case, without the dot. */
const char g_aszExecSuffixes[][4] = { "exe", "bat", "com", "cmd", "btm" };

bool rtFsIsExecSuffix(char ch1, char ch2, char ch3)
{
    for (size_t i = 0; i < RT_ELEMENTS(g_aszExecSuffixes); i++)
        if ((ch1 | 0x20) == g_aszExecSuffixes[i][0] && (ch2 | 0x20) == g_aszExecSuffixes[i][1]
            && (ch3 | 0x20) == g_aszExecSuffixes[i][2])
            return true;
    return false;
}

/*
 * The file system names one after the other, each with its terminator, in
 * the order they are compared (case-sensitively), and their kinds in the
 * same order: one string instead of a pointer (and a relocation) per name.
 */
const char g_achFsTypeNames[]
    = "NTFS\0FAT\0FAT32\0exFAT\0UDF\0CDFS\0HPFS\0ReFS\0QornSharedFolderFS";
const uint8_t g_abFsTypes[] = // clang-format off
{
    RTFSTYPE_NTFS, RTFSTYPE_FAT, RTFSTYPE_FAT, RTFSTYPE_EXFAT, RTFSTYPE_UDF, RTFSTYPE_ISO9660,
    RTFSTYPE_HPFS, RTFSTYPE_REFS, RTFSTYPE_SHARED_FOLDER,
};
// clang-format on

} // namespace

bool rtFsIsExecutableNameUtf8(const char *pszName, size_t cchName)
{
    if (!pszName || cchName < 4 || pszName[cchName - 4] != '.')
        return false;
    return rtFsIsExecSuffix(pszName[cchName - 3], pszName[cchName - 2], pszName[cchName - 1]);
}

bool rtFsIsExecutableNameUtf16(PCRTUTF16 pwcName, size_t cwcName)
{
    if (!pwcName || cwcName < 4 || pwcName[cwcName - 4] != '.')
        return false;
    for (size_t i = cwcName - 3; i < cwcName; i++)
        if (pwcName[i] >= 0x80)
            return false;
    return rtFsIsExecSuffix((char)pwcName[cwcName - 3], (char)pwcName[cwcName - 2],
                            (char)pwcName[cwcName - 1]);
}

RTFMODE rtFsModeFromDos(uint32_t fAttribs, bool fExecutableName, uint32_t uReparseTag)
{
    RTFMODE fMode = (fAttribs << RTFS_DOS_SHIFT) & RTFS_DOS_MASK;
    if (fAttribs & g_fDosDirectory)
        fMode |= RTFS_TYPE_DIRECTORY | 0555;
    else
        fMode |= RTFS_TYPE_FILE | (fExecutableName ? 0555 : 0444);
    if ((fAttribs & g_fDosReparsePoint) && uReparseTag == RTFS_REPARSE_TAG_SYMLINK)
        fMode = (fMode & ~RTFS_TYPE_MASK) | RTFS_TYPE_SYMLINK;
    if (!(fAttribs & g_fDosReadOnly) || (fAttribs & g_fDosDirectory))
        fMode |= RTFS_UNIX_ALL_WRITE;
    return fMode;
}

int64_t rtFsTimeFromNt(int64_t iNtTime)
{
    /*
     * Nanoseconds since 1970 in 64 bits cover 1677 to 2262; the 100 ns ticks
     * since 1601 cover far more (0 is "never", as devices report).  Times
     * outside are pinned to the ends instead of wrapping into other dates.
     */
    constexpr int64_t kiTicksAt1970 = INT64_C(116444736000000000);
    if (iNtTime < kiTicksAt1970 + INT64_MIN / 100)
        return INT64_MIN;
    if (iNtTime > kiTicksAt1970 + INT64_MAX / 100)
        return INT64_MAX;
    return (iNtTime - kiTicksAt1970) * 100;
}

void rtFsObjInfoInit(RTFSOBJINFO *pObjInfo, uint32_t enmAdditional)
{
    RTMemSet(pObjInfo, 0, sizeof(*pObjInfo));
    pObjInfo->Attr.enmAdditional = (RTFSOBJATTRADD)enmAdditional;
    switch (enmAdditional)
    {
        case RTFSOBJATTRADD_UNIX:
            pObjInfo->Attr.u.Unix.uid = NIL_RTUID;
            pObjInfo->Attr.u.Unix.gid = NIL_RTGID;
            pObjInfo->Attr.u.Unix.cHardlinks = 1;
            break;
        case RTFSOBJATTRADD_UNIX_OWNER: pObjInfo->Attr.u.UnixOwner.uid = NIL_RTUID; break;
        case RTFSOBJATTRADD_UNIX_GROUP: pObjInfo->Attr.u.UnixGroup.gid = NIL_RTGID; break;
        default: break;
    }
}

RTFSTYPE rtFsTypeFromName(PCRTUTF16 pwcName, size_t cwcName)
{
    const char *pszName = g_achFsTypeNames;
    for (size_t i = 0; i < RT_ELEMENTS(g_abFsTypes); i++)
    {
        size_t const cchName = RTStrLen(pszName);
        if (cchName == cwcName)
        {
            size_t j = 0;
            while (j < cchName && pwcName[j] == (RTUTF16)(unsigned char)pszName[j])
                j++;
            if (j == cchName)
                return (RTFSTYPE)g_abFsTypes[i];
        }
        pszName += cchName + 1;
    }
    return RTFSTYPE_UNKNOWN;
}

uint64_t rtFsTypeMaxFileSize(RTFSTYPE enmType)
{
    switch (enmType)
    {
        case RTFSTYPE_FAT: return UINT64_C(0x100000000);
        case RTFSTYPE_HPFS: return UINT64_C(0x80000000);
        case RTFSTYPE_ISO9660: return UINT64_C(0x80000000000);
        default: return UINT64_MAX;
    }
}
