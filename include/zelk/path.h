/*
 * Paths: parsing, composition, absolute forms, the current and executable
 * directories, and the temporary directory.
 *
 * Paths are UTF-8 strings in the Windows syntax.  Both '\' and '/' separate
 * components on input; the normalising operations write '\' (or '/' in the
 * '/' style).  The string rules here are portable and behave the same in
 * every build; the current directory, the executable directory and the
 * conversion to the forms the Windows file calls take are per OS.  Buffer
 * sizes are in bytes and count the terminator unless a function says
 * otherwise; on KERR_BUFFER_OVERFLOW a function either leaves its buffer
 * unchanged or holding an empty string, as documented, never unterminated.
 */
#ifndef ZELK_PATH_H
#define ZELK_PATH_H

#include <zelk/types.h>

/*
 * Size of the runtime's first path buffer, in bytes of UTF-8 or units of
 * UTF-16, terminator included: room for the longest classic path several
 * times over.  Longer paths take a heap buffer where the operation allows.
 */
#define RTPATH_MAX 4100

/* Separator style, bits 0-1 of the flags of the parse, append and abs operations. */
#define RTPATH_STR_F_STYLE_HOST     UINT32_C(0x00000000) /* the host's: '\' style */
#define RTPATH_STR_F_STYLE_DOS      UINT32_C(0x00000001) /* '\' and '/' separate, drives and UNC roots */
#define RTPATH_STR_F_STYLE_UNIX     UINT32_C(0x00000002) /* '/' separates, one root: a leading '/' */
#define RTPATH_STR_F_STYLE_RESERVED UINT32_C(0x00000003) /* invalid */
#define RTPATH_STR_F_STYLE_MASK     UINT32_C(0x00000003)

/* RTPathAbsEx flags, besides the style. */
#define RTPATHABS_F_STOP_AT_BASE UINT32_C(0x00010000) /* ".." does not climb above a given base */
#define RTPATHABS_F_STOP_AT_CWD \
 UINT32_C(0x00020000) /* ".." does not climb above the current directory */
#define RTPATHABS_F_ENSURE_TRAILING_SLASH \
 UINT32_C(0x00040000) /* keep or add a trailing separator */

/* Properties of a parsed path (RTPARSEDPATH::fProps). */
#define RTPATH_PROP_FILENAME      UINT16_C(0x0001) /* ends in a name (no trailing separator) */
#define RTPATH_PROP_DIR_SLASH     UINT16_C(0x0002) /* ends in a separator */
#define RTPATH_PROP_SUFFIX        UINT16_C(0x0004) /* the last name has a suffix */
#define RTPATH_PROP_UNC           UINT16_C(0x0010) /* two leading separators and a server name */
#define RTPATH_PROP_ROOT_SLASH    UINT16_C(0x0020) /* a separator follows the root */
#define RTPATH_PROP_VOLUME        UINT16_C(0x0040) /* a drive letter and colon */
#define RTPATH_PROP_ABSOLUTE      UINT16_C(0x0100) /* absolute and free of ".." */
#define RTPATH_PROP_RELATIVE      UINT16_C(0x0200) /* relative, or holding ".." */
#define RTPATH_PROP_EXTRA_SLASHES UINT16_C(0x0400) /* runs of separators */
#define RTPATH_PROP_DOT_REFS      UINT16_C(0x0800) /* a "." component */
#define RTPATH_PROP_DOTDOT_REFS   UINT16_C(0x1000) /* a ".." component */
#define RTPATH_PROP_SPECIAL_UNC   UINT16_C(0x2000) /* the "\\.\" or "\\?\" form */

/* One component of a parsed path: offset and length in the parsed string. */
typedef struct RTPATHCOMP
{
    uint16_t off;
    uint16_t cch;
} RTPATHCOMP;

/*
 * A parsed path.  The record is given a byte size by its user: the 12-byte
 * header and 4 bytes per component must fit.  The first component is the
 * root (drive, server part or leading separator, with the separator that
 * follows it) when the path has one.  cchPath is the length of the
 * normalised path: root, components, one separator between components and
 * one for a trailing run.  Without a suffix offSuffix is the path's length.
 */
typedef struct RTPARSEDPATH
{
    uint16_t cComps;
    uint16_t fProps;
    uint16_t cchPath;
    uint16_t u16Reserved;
    uint16_t offSuffix;
    uint16_t cchSuffix;
    RTPATHCOMP aComps[1];
} RTPARSEDPATH;

/*
 * The components of a record: the array runs past the one element declared,
 * as far as the record's size allows, so index it through this pointer.
 */
static inline RTPATHCOMP *RTPathParsedComps(RTPARSEDPATH *pParsed)
{
    return pParsed->aComps;
}

static inline const RTPATHCOMP *RTPathParsedComps(const RTPARSEDPATH *pParsed)
{
    return pParsed->aComps;
}

/* Byte size of a record with room for cComps components. */
#define RTPARSEDPATH_SIZE(cComps) ((size_t)12 + (size_t)(cComps)*4)

/*
 * Parses pszPath into pParsed (cbParsed bytes) with the style in fFlags.
 *
 * Returns 0; KERR_PATH_ZERO_LENGTH for "", KERR_INVALID_POINTER for a null
 * argument, KERR_INVALID_FLAGS for flags other than a valid style,
 * KERR_INVALID_PARAMETER when not even the header fits, KERR_FILENAME_TOO_LONG
 * when an offset or length exceeds 0xFFFF, and KERR_BUFFER_OVERFLOW when the
 * components do not fit: the header is filled then, cComps holds the count
 * and RTPARSEDPATH_SIZE(cComps) is the size to retry with.
 */
int RTPathParse(const char *pszPath, RTPARSEDPATH *pParsed, size_t cbParsed, uint32_t fFlags);

/*
 * Writes the components of pParsed, taken from pszSrcPath, back as a string:
 * the root with its separators in the style's form, the other components
 * joined by one separator, and a trailing separator when fProps has
 * RTPATH_PROP_DIR_SLASH.  The caller may have dropped components or changed
 * fProps in between.
 *
 * Returns 0; KERR_INVALID_FLAGS, KERR_INVALID_POINTER, KERR_INVALID_PARAMETER
 * for a component outside pszSrcPath, or KERR_BUFFER_OVERFLOW when the
 * result and terminator exceed cbDst (pszDst then holds "" if cbDst > 0).
 */
int RTPathParsedReassemble(const char *pszSrcPath, const RTPARSEDPATH *pParsed, uint32_t fFlags,
                           char *pszDst, size_t cbDst);

/*
 * Makes pszPath absolute against pszBase, or against the current directory
 * when pszBase is null (or, in '\' style, names another drive than the
 * path's).  "." components go, ".." removes the component before it (never
 * the root, nor the share of a UNC path), separators are collapsed and
 * written in the style's form.
 *
 * *pcbAbsPath is the size of pszAbsPath on input.  On success it receives the
 * length written (without terminator); on KERR_BUFFER_OVERFLOW the size
 * needed including the terminator, and pszAbsPath holds "" if it has room.
 *
 * Returns 0; KERR_PATH_ZERO_LENGTH, KERR_INVALID_POINTER, KERR_INVALID_FLAGS,
 * KERR_PATH_IS_RELATIVE (a base without a separator after a root),
 * KERR_FILENAME_TOO_LONG (the current directory exceeds 4 times the buffer,
 * at least 64 KiB, or a path exceeds 0xFFFF bytes), KERR_NO_TMP_MEMORY,
 * KERR_BUFFER_OVERFLOW, or the failure of the current-directory query.
 */
int RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath,
                size_t *pcbAbsPath);

/* RTPathAbsEx with no base and the host style; cbAbsPath is the buffer size. */
int RTPathAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath);

/*
 * RTPathAbsEx into a new string (free with RTMemFree); null on any failure.
 */
char *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags);

/*
 * Appends pszAppend (at most cchAppendMax bytes of it) to the path in
 * pszPath, a buffer of cbPathDst bytes, with one separator in between: runs
 * of separators where the two meet become one (never cutting into a root),
 * and a bare drive ("C:") is continued without a separator.
 *
 * Returns 0 (a null or empty component leaves the buffer as it is);
 * KERR_INVALID_PARAMETER when pszPath has no terminator within cbPathDst,
 * KERR_INVALID_FLAGS, or KERR_BUFFER_OVERFLOW when the result and terminator
 * do not fit (the buffer is then unchanged).
 */
int RTPathAppendEx(char *pszPath, size_t cbPathDst, const char *pszAppend, size_t cchAppendMax,
                   uint32_t fFlags);

/* RTPathAppendEx without a length limit, in the host style. */
int RTPathAppend(char *pszPath, size_t cbPathDst, const char *pszAppend);

/*
 * Copies pszPathSrc into pszPathDst (cbPathDst bytes) and appends
 * pszAppend.  KERR_BUFFER_OVERFLOW when the base alone does not fit
 * (pszPathDst untouched) or the join does not (pszPathDst holds the base).
 */
int RTPathJoin(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend);

/* The join of pszPathSrc and pszAppend as a new string (free with RTMemFree); null on failure. */
char *RTPathJoinA(const char *pszPathSrc, const char *pszAppend);

/* The final component (after the last '\', '/' or ':'); null when there is none. */
char *RTPathFilename(const char *pszPath);

/*
 * The suffix, '.' included, of the final component; null when it has no '.',
 * or when its only '.' opens it (".profile") or ends it ("name.").
 */
char *RTPathSuffix(const char *pszPath);

/* Turns every '/' of pszPath into '\' in place and returns pszPath; fForce is ignored. */
char *RTPathChangeToDosSlashes(char *pszPath, bool fForce);

/*
 * Makes the path in pszPath (a buffer of cbPath bytes) end in a separator:
 * one ending in '\', '/' or ':' is left, others get '\'; "" becomes ".\".
 * Returns the new length, or 0 when it does not fit (buffer unchanged).
 */
size_t RTPathEnsureTrailingSeparator(char *pszPath, size_t cbPath);

/*
 * The directory of the running executable, as recorded at initialisation,
 * without a trailing separator unless it is a drive root ("C:\").
 * KERR_WRONG_ORDER before initialisation, KERR_BUFFER_OVERFLOW when its
 * length and terminator exceed cb (pszPath untouched).
 */
int RTPathExecDir(char *pszPath, size_t cb);

/*
 * The temporary directory: the value of the first of ZELK_TMPDIR, TMP, TEMP
 * and USERPROFILE that exists, as it stands, else the system's own.  A
 * process of the system's own account (SYSTEM on Windows) asks ZELK_TMPDIR
 * only and then takes the directory the system keeps for that account
 * (Windows: GetTempPath2W, else "SystemTemp" in the Windows directory when it
 * exists, else its "Temp").  Otherwise the system's temporary path
 * (Windows: GetTempPathW, with its trailing separator; elsewhere "/tmp").
 * A failure other than a missing variable (KERR_BUFFER_OVERFLOW for a long
 * value) is returned without trying the next one.
 */
int RTPathTemp(char *pszPath, size_t cb);

/*
 * The current directory, with an upper-case drive letter.  KERR_BUFFER_OVERFLOW
 * when it does not fit cb (a size of 0 included); Windows failures converted.
 */
int RTPathGetCurrent(char *pszPath, size_t cb);

/*
 * The current directory of drive chDrive ('A'-'Z' in either case);
 * KERR_INVALID_PARAMETER for another character, else as RTPathGetCurrent.
 */
int RTPathGetCurrentOnDrive(char chDrive, char *pszPath, size_t cb);

/*
 * The root of the current directory: "X:" or "\\server\share".
 * KERR_INTERNAL_ERROR_4 when the current directory has neither form;
 * KERR_BUFFER_OVERFLOW, KERR_NO_TMP_MEMORY or the query's failure.
 */
int RTPathGetCurrentDrive(char *pszPath, size_t cb);

/*
 * Changes the current directory.  One trailing separator is dropped unless it
 * follows ':'.  KERR_INVALID_PARAMETER for "", else the converted failure.
 */
int RTPathSetCurrent(const char *pszPath);

#endif
