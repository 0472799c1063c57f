/*
 * The parts of the file layer that are only data and arithmetic, kept out of
 * the Windows code so that every build tests them: open-flag validation and
 * its mapping to the Win32 open values, the mode derived from Windows
 * attributes, time conversion and the file-system kinds.
 */
#ifndef ZELK_INTERNAL_FILE_H
#define ZELK_INTERNAL_FILE_H

#include <zelk/file.h>

/* The values CreateFileW is called with (the Win32 constants, as plain numbers). */
typedef struct RTFILEWINOPEN
{
    uint32_t fDesiredAccess;
    uint32_t fShareMode;
    uint32_t uCreationDisposition;
    uint32_t fFlagsAndAttributes;
    bool fInherit;
} RTFILEWINOPEN;

/* Win32 access rights (the SDK's FILE_READ_DATA and so on, under RTFILE_WIN_ names). */
#define RTFILE_WIN_READ_DATA        UINT32_C(0x00000001)
#define RTFILE_WIN_WRITE_DATA       UINT32_C(0x00000002)
#define RTFILE_WIN_APPEND_DATA      UINT32_C(0x00000004)
#define RTFILE_WIN_READ_EA          UINT32_C(0x00000008)
#define RTFILE_WIN_WRITE_EA         UINT32_C(0x00000010)
#define RTFILE_WIN_READ_ATTRIBUTES  UINT32_C(0x00000080)
#define RTFILE_WIN_WRITE_ATTRIBUTES UINT32_C(0x00000100)
#define RTFILE_WIN_READ_CONTROL     UINT32_C(0x00020000)
#define RTFILE_WIN_SYNCHRONIZE      UINT32_C(0x00100000)
#define RTFILE_WIN_GENERIC_WRITE    UINT32_C(0x40000000)
/* FILE_GENERIC_READ (0x120089) and FILE_GENERIC_WRITE (0x120116). */
#define RTFILE_WIN_FILE_GENERIC_READ                                      \
 (RTFILE_WIN_READ_CONTROL | RTFILE_WIN_SYNCHRONIZE | RTFILE_WIN_READ_DATA \
  | RTFILE_WIN_READ_ATTRIBUTES | RTFILE_WIN_READ_EA)
#define RTFILE_WIN_FILE_GENERIC_WRITE                                      \
 (RTFILE_WIN_READ_CONTROL | RTFILE_WIN_SYNCHRONIZE | RTFILE_WIN_WRITE_DATA \
  | RTFILE_WIN_WRITE_ATTRIBUTES | RTFILE_WIN_WRITE_EA | RTFILE_WIN_APPEND_DATA)

/* Win32 share modes. */
#define RTFILE_WIN_SHARE_READ   UINT32_C(1)
#define RTFILE_WIN_SHARE_WRITE  UINT32_C(2)
#define RTFILE_WIN_SHARE_DELETE UINT32_C(4)

/* Win32 attributes and open flags. */
#define RTFILE_WIN_ATTRIBUTE_NORMAL    UINT32_C(0x00000080)
#define RTFILE_WIN_ATTRIBUTE_TEMPORARY UINT32_C(0x00000100)
#define RTFILE_WIN_FLAG_WRITE_THROUGH  UINT32_C(0x80000000)
#define RTFILE_WIN_FLAG_OVERLAPPED     UINT32_C(0x40000000)
#define RTFILE_WIN_FLAG_NO_BUFFERING   UINT32_C(0x20000000)

/* Win32 creation dispositions. */
#define RTFILE_WIN_CREATE_NEW        1
#define RTFILE_WIN_CREATE_ALWAYS     2
#define RTFILE_WIN_OPEN_EXISTING     3
#define RTFILE_WIN_OPEN_ALWAYS       4
#define RTFILE_WIN_TRUNCATE_EXISTING 5

/*
 * Checks an open-flag word and settles its defaults (action 0 becomes
 * RTFILE_O_OPEN, sharing 0 RTFILE_O_DENY_NONE, the high 32 bits cleared).
 * KERR_INVALID_PARAMETER for flags that make no valid open.
 */
int rtFileOpenFlagsValidate(uint64_t *pfOpen);

/*
 * Maps a validated flag word (only its low half has meaning);
 * KERR_INVALID_FLAGS for a value it has no mapping for.
 */
int rtFileOpenFlagsToWin(uint32_t fOpen, RTFILEWINOPEN *pWin);

/*
 * What a successful open with a disposition did; fExisted is whether the
 * system said the file was there (ERROR_ALREADY_EXISTS).  A disposition the
 * mapping never gives counts as an open.
 */
RTFILEACTION rtFileOpenActionFromWin(uint32_t uDisposition, bool fExisted);

/* True when a name ends in ".exe", ".bat", ".com", ".cmd" or ".btm" in any case. */
bool rtFsIsExecutableNameUtf8(const char *pszName, size_t cchName);
bool rtFsIsExecutableNameUtf16(PCRTUTF16 pwcName, size_t cwcName);

/* The symbolic-link reparse tag. */
#define RTFS_REPARSE_TAG_SYMLINK UINT32_C(0xA000000C)

/*
 * The mode of an item with the Windows attributes fAttribs, its name judged
 * executable or not, and its reparse tag (0 when unknown or none).
 */
RTFMODE rtFsModeFromDos(uint32_t fAttribs, bool fExecutableName, uint32_t uReparseTag);

/* The mode of a device or of anything the system gives no file information for. */
#define RTFS_MODE_DEVICE_DEFAULT UINT32_C(0x004081B6)

/* Windows time (100 ns since 1601) to nanoseconds since 1970, pinned to the int64 range. */
int64_t rtFsTimeFromNt(int64_t iNtTime);

/* Zeroes a record and gives it the defaults of the additional-attributes kind. */
void rtFsObjInfoInit(RTFSOBJINFO *pObjInfo, uint32_t enmAdditional);

/* The kind of a file system by its name (UTF-16, cwcName units, no terminator); 0 when unknown. */
RTFSTYPE rtFsTypeFromName(PCRTUTF16 pwcName, size_t cwcName);

/* The largest file size a file system kind allows; UINT64_MAX when it sets none. */
uint64_t rtFsTypeMaxFileSize(RTFSTYPE enmType);

#endif
