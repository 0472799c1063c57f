/*
 * Internal path helpers shared by the portable path code, the per-OS path
 * code and the tests: parsing into a stack record with a heap fallback, the
 * text rules of the Windows path forms (classic-limit shapes, native NT
 * form) and the unique-name template scan.
 */
#ifndef ZELK_INTERNAL_PATH_H
#define ZELK_INTERNAL_PATH_H

#include <zelk/path.h>
#include <zelk/string.h>

/*
 * True when ch separates components in the given style: '/' always, '\' in
 * every style but '/'.  Takes a code unit of any width (a char is widened
 * with its sign, so no byte of a multi-byte sequence matches).
 */
static inline bool rtPathIsSep(uint32_t ch, uint32_t fStyle = RTPATH_STR_F_STYLE_DOS)
{
    return ch == '/'
           || (ch == '\\' && (fStyle & RTPATH_STR_F_STYLE_MASK) != RTPATH_STR_F_STYLE_UNIX);
}

/* A separator or the drive colon: what ends the directory part before a file name. */
static inline bool rtPathIsSepOrColon(uint32_t ch)
{
    return rtPathIsSep(ch) || ch == ':';
}

static inline bool rtPathIsAsciiLetter(uint32_t ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

static inline char rtPathUpperDrive(char ch)
{
    return ch >= 'a' && ch <= 'z' ? (char)(ch - 'a' + 'A') : ch;
}

/* Offset of the file name in the first cch characters of psz: after the last separator or ':'. */
size_t rtPathNameOffset(const char *psz, size_t cch);

/* The root forms of a path, as its text shows them. */
typedef enum RTPATHROOTKIND
{
    RTPATHROOTKIND_NONE = 0,    /* a name: relative */
    RTPATHROOTKIND_DRIVE,       /* "X:" followed by a name or nothing: relative to that drive */
    RTPATHROOTKIND_DRIVE_SLASH, /* "X:\" */
    RTPATHROOTKIND_SLASH,       /* one leading separator: the current drive's root */
    RTPATHROOTKIND_UNC          /* two leading separators: "\\server\share", "\\.\", "\\?\" */
} RTPATHROOTKIND;

/*
 * Where the root of a path ends.  For the drive and single-separator forms
 * all three offsets are the root's length (2, 3 or 1); with no root they are
 * 0.  For UNC: offServerEnd ends the server name (2 for "\\" followed by a
 * separator or the end), offShare is one past the separator that follows it
 * (offServerEnd when none does), offShareEnd ends the share name.
 */
typedef struct RTPATHROOT
{
    RTPATHROOTKIND enmKind;
    size_t offServerEnd;
    size_t offShare;
    size_t offShareEnd;
} RTPATHROOT;

/*
 * The one parser of path roots.  Looks at no more than cch code units of
 * pvPath and stops at a terminator; cbUnit is 1 for UTF-8 text and 2 for
 * UTF-16.  In the '/' style only a leading '/' is a root (SLASH).
 */
RTPATHROOT rtPathRootParse(const void *pvPath, size_t cbUnit, size_t cch, uint32_t fStyle);

static inline RTPATHROOT rtPathRoot(const char *psz, size_t cch = RTSTR_MAX,
                                    uint32_t fStyle = RTPATH_STR_F_STYLE_DOS)
{
    return rtPathRootParse(psz, 1, cch, fStyle);
}

static inline RTPATHROOT rtPathRoot16(PCRTUTF16 pwsz, size_t cwc = RTSTR_MAX)
{
    return rtPathRootParse(pwsz, 2, cwc, RTPATH_STR_F_STYLE_DOS);
}

/*
 * The heap buffer tried for a current directory (or its root) that does not
 * fit the caller's buffer: larger than any path the system hands out.
 */
#define RTPATH_CWD_HEAP_MIN ((size_t)65536)

/*
 * A parse result that lives on the stack while the components fit 1 KiB and
 * on the heap otherwise.  rtPathParseHeld fills it; rtPathParseRelease frees
 * what it took (also after a failure).
 */
typedef struct RTPATHPARSEHOLD
{
    RTPARSEDPATH *pParsed;
    union
    {
        RTPARSEDPATH Parsed;
        uint8_t ab[1024];
    } u;
} RTPATHPARSEHOLD;

/* RTPathParse with the retry; KERR_NO_TMP_MEMORY when the heap record can't be had. */
int rtPathParseHeld(const char *pszPath, RTPATHPARSEHOLD *pHold, uint32_t fFlags);
void rtPathParseRelease(RTPATHPARSEHOLD *pHold);

/*
 * RTPathGetCurrentOnDrive for chDrive, already known to be a letter, and
 * RTPathGetCurrent when chDrive is 0: one per-OS entry for both.
 */
int rtPathGetCurrentOf(char chDrive, char *pszPath, size_t cb);

/*
 * Root of the current directory: shared by the per-OS current-directory code.
 * Cuts pszCwd (which it may modify) down to "X:" or "\\server\share";
 * returns the new length, or 0 when it has neither shape.
 */
size_t rtPathCutToDrive(char *pszCwd);

/*
 * Shapes of a Win32 path that decide whether it fits the classic path limit
 * (judged on UTF-16 units, see rtPathWin32FitsClassic).
 */
typedef enum RTPATHWIN32SHAPE
{
    RTPATHWIN32SHAPE_DRIVE_ROOTED = 1, /* "X:\..." */
    RTPATHWIN32SHAPE_DRIVE_RELATIVE,   /* "X:" followed by a name or nothing */
    RTPATHWIN32SHAPE_RELATIVE,         /* a plain name */
    RTPATHWIN32SHAPE_ROOT_SLASH,       /* "\name", or "\\" followed by a separator or the end */
    RTPATHWIN32SHAPE_UNC,              /* "\\server..." and the "\\?\" and "\\.\" forms */
    RTPATHWIN32SHAPE_QMARK_NO_SEP      /* "\\?" followed by no separator */
} RTPATHWIN32SHAPE;

RTPATHWIN32SHAPE rtPathWin32Shape(PCRTUTF16 pwszPath);

/*
 * True when a path of cwcPath units and the given shape may go to Win32
 * unchanged.  cwcCwd is GetCurrentDirectoryW(0, NULL) (relative shape only);
 * the drive-relative shape is judged on its expansion, so cwcPath is that.
 */
bool rtPathWin32FitsClassic(RTPATHWIN32SHAPE enmShape, size_t cwcPath, size_t cwcCwd);

/* Longest path that always goes to Win32 unchanged; longer ones take the "\\?\" form. */
#define RTPATH_WIN32_CLASSIC_MAX 243

/*
 * The native NT form of a Windows path, as UTF-8: "\??\" (or "\DosDevices\"
 * with fOldPrefix) before the absolute drive path, "\??\UNC\" for UNC, the
 * "\\?\" and "\\.\" prefixes replaced, and the "\\:zelknt:" escape passing the
 * rest through.  *ppszNt is a new string (RTMemFree).  Returns 0,
 * KERR_FILENAME_TOO_LONG, KERR_NO_TMP_MEMORY, KERR_NO_STR_MEMORY or the
 * failure of making the path absolute.  *pfZelkNt (optional) tells whether
 * the escape form was used.
 */
int rtPathNtFormUtf8(const char *pszPath, bool fOldPrefix, char **ppszNt, bool *pfZelkNt);

/* The escape that passes a native NT path through: "\\:zelknt:" and a separator. */
bool rtPathIsZelkNtForm(const char *pszPath);

/*
 * Finds the run of 'X' that a unique-name template asks to replace: the
 * trailing X characters, else the last run of at least three X inside the
 * last component with something after it.  Returns 0 with the offset and
 * length, or KERR_INVALID_PARAMETER when there is none.
 */
int rtUniqueTemplateScan(const char *pszTemplate, size_t *poffRun, size_t *pcchRun);

/* The alphabet of unique names and the number of names one call tries. */
#define RTUNIQUE_ALPHABET  "0123456789abcdefghijklmnopqrstuvwxyz"
#define RTUNIQUE_MAX_TRIES 10000

/*
 * Records the executable's path (init-internal.h): the text, its length (0
 * until recorded), the offset of the file name and the directory length.
 * Runs its work once; later calls return success at once.  On failure the
 * status is returned, and *puWinErr (optional) gets the Windows error when
 * the system call was what failed (it is left alone otherwise).
 */
#include "init-internal.h"
int rtProcInitExePath(uint32_t *puWinErr = nullptr);

/*
 * Length of the directory part of an executable path whose file name starts
 * at offName: trailing separators dropped, never shorter than the root, and
 * a drive root keeps its separator ("D:\", not the drive-relative "D:").
 */
size_t rtPathExecDirLength(const char *pszPath, size_t offName);

/* Whether the process runs as the system's own account (SYSTEM on Windows). */
bool rtPathTempIsSystemAccount(void);

/*
 * The system's temporary directory where no variable names one: the one it
 * keeps for its own account when fSystemAccount, else its temporary path
 * (see RTPathTemp).  Buffer contract and statuses as RTPathTemp's.
 */
int rtPathTempOsDir(char *pszPath, size_t cb, bool fSystemAccount);

#endif
