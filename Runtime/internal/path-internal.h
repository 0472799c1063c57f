/*
 * Internal path helpers shared by the portable path code, the per-OS path
 * code and the tests: parsing into a stack record with a heap fallback, the
 * text rules of the Windows path forms (classic-limit shapes, native NT
 * form) and the unique-name template scan.
 */
#ifndef ZELK_INTERNAL_PATH_H
#define ZELK_INTERNAL_PATH_H

#include <zelk/path.h>

/* True when ch separates components in the given style (style 0 is '\'). */
static inline bool rtPathIsSep(char ch, uint32_t fStyle)
{
    return ch == '/' || (ch == '\\' && (fStyle & RTPATH_STR_F_STYLE_MASK) != RTPATH_STR_F_STYLE_UNIX);
}

static inline bool rtPathIsAsciiLetter(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

static inline char rtPathUpperDrive(char ch)
{
    return ch >= 'a' && ch <= 'z' ? (char)(ch - 'a' + 'A') : ch;
}

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
#define RTUNIQUE_ALPHABET "0123456789abcdefghijklmnopqrstuvwxyz"
#define RTUNIQUE_MAX_TRIES 10000

/*
 * The executable's path as runtime initialisation records it
 * (rtProcInitExePath): the text, its length (0 before initialisation) and the
 * offset of the file name.
 */
#include "init-internal.h"
int rtProcInitExePath(void);

/*
 * Length of the directory part of an executable path whose file name starts
 * at offName: trailing separators dropped, never shorter than the root, and
 * a drive root keeps its separator ("D:", not the drive-relative "D:").
 */
size_t rtPathExecDirLength(const char *pszPath, size_t offName);

#endif
