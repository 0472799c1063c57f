/*
 * File I/O on native handles.
 *
 * A file handle is the system's own handle; NIL_RTFILE (all bits set) is
 * none.  A file is opened with one 64-bit flag word that says everything:
 * data and attribute access, the sharing left to others, what to do when the
 * file exists or does not (the action), and the attributes of a file the
 * open creates.  Only the low 32 bits carry meaning.  Sharing is enforced
 * by the system against every other handle, in this process or another.
 */
#ifndef ZELK_FILE_H
#define ZELK_FILE_H

#include <zelk/fs.h>

typedef struct RTFILEINT *RTFILE;
#define NIL_RTFILE ((RTFILE) ~(uintptr_t)0)

/* Data access. */
#define RTFILE_O_READ                  UINT64_C(0x00000001)
#define RTFILE_O_WRITE                 UINT64_C(0x00000002)
#define RTFILE_O_READWRITE             UINT64_C(0x00000003)
#define RTFILE_O_ACCESS_MASK           UINT64_C(0x00000003)
#define RTFILE_O_APPEND                UINT64_C(0x00000004) /* writes go to the end only */
/* Sharing left to others. */
#define RTFILE_O_DENY_NONE_DEFAULT     UINT64_C(0x00000000) /* taken as RTFILE_O_DENY_NONE */
#define RTFILE_O_DENY_READ             UINT64_C(0x00000010) /* others may write */
#define RTFILE_O_DENY_WRITE            UINT64_C(0x00000020) /* others may read */
#define RTFILE_O_DENY_READWRITE        UINT64_C(0x00000030) /* others may do nothing */
#define RTFILE_O_DENY_NOT_DELETE       UINT64_C(0x00000040) /* others may read, write and delete */
#define RTFILE_O_DENY_READ_NOT_DELETE  UINT64_C(0x00000050)
#define RTFILE_O_DENY_WRITE_NOT_DELETE UINT64_C(0x00000060)
#define RTFILE_O_DENY_ALL_NOT_DELETE   UINT64_C(0x00000070) /* others may delete only */
#define RTFILE_O_DENY_NONE             UINT64_C(0x00000080) /* others may read and write */
#define RTFILE_O_DENY_MASK             UINT64_C(0x000000F0)
/* Action. */
#define RTFILE_O_OPEN_DEFAULT          UINT64_C(0x00000000) /* taken as RTFILE_O_OPEN */
#define RTFILE_O_OPEN_CREATE           UINT64_C(0x00000100) /* open, or create when missing */
#define RTFILE_O_CREATE                UINT64_C(0x00000200) /* create; fail when it exists */
#define RTFILE_O_CREATE_REPLACE        UINT64_C(0x00000300) /* create, or replace what exists */
#define RTFILE_O_OPEN                  UINT64_C(0x00000700) /* open what exists */
#define RTFILE_O_ACTION_MASK           UINT64_C(0x00000700)
#define RTFILE_O_NOT_CONTENT_INDEXED   UINT64_C(0x00000800) /* not with RTFILE_O_OPEN */
#define RTFILE_O_TRUNCATE              UINT64_C(0x00001000) /* needs write access */
#define RTFILE_O_INHERIT               UINT64_C(0x00002000)
#define RTFILE_O_WRITE_THROUGH         UINT64_C(0x00008000)
/* Attribute access; 0 follows the data access. */
#define RTFILE_O_ACCESS_ATTR_DEFAULT   UINT64_C(0x00000000)
#define RTFILE_O_ACCESS_ATTR_READ      UINT64_C(0x00010000)
#define RTFILE_O_ACCESS_ATTR_WRITE     UINT64_C(0x00020000)
#define RTFILE_O_ACCESS_ATTR_READWRITE UINT64_C(0x00030000)
#define RTFILE_O_ACCESS_ATTR_MASK      UINT64_C(0x00030000)
#define RTFILE_O_ASYNC_IO              UINT64_C(0x00040000)
#define RTFILE_O_NO_CACHE              UINT64_C(0x00080000)
/* Unix permissions of a created file (not applied on Windows). */
#define RTFILE_O_CREATE_MODE_SHIFT     20
#define RTFILE_O_CREATE_MODE_MASK      UINT64_C(0x1FF00000)
#define RTFILE_O_TEMPORARY             UINT64_C(0x40000000)
#define RTFILE_O_RESERVED_MASK         UINT64_C(0x80004008)
#define RTFILE_O_VALID_MASK            UINT64_C(0x7FFFBFF7)

/* What an open did. */
typedef enum RTFILEACTION
{
    RTFILEACTION_INVALID = 0,
    RTFILEACTION_OPENED,
    RTFILEACTION_CREATED,
    RTFILEACTION_REPLACED,
    RTFILEACTION_TRUNCATED,
    RTFILEACTION_ALREADY_EXISTS
} RTFILEACTION;

/* RTFileSetPosition methods. */
#define RTFILE_SEEK_BEGIN   0
#define RTFILE_SEEK_CURRENT 1
#define RTFILE_SEEK_END     2

/* File-system kinds reported by rtFileQueryFsKind. */
typedef enum RTFSTYPE
{
    RTFSTYPE_UNKNOWN = 0,
    RTFSTYPE_UDF = 1,
    RTFSTYPE_ISO9660 = 2,
    RTFSTYPE_SHARED_FOLDER = 4,
    RTFSTYPE_NTFS = 17,
    RTFSTYPE_FAT = 18,
    RTFSTYPE_EXFAT = 19,
    RTFSTYPE_REFS = 20,
    RTFSTYPE_HPFS = 28
} RTFSTYPE;

/*
 * Opens pszFilename with the flag word fOpen (see the RTFILE_O_ values).
 * *phFile is NIL_RTFILE until success; *penmActionTaken (optional) receives
 * what was done, RTFILEACTION_ALREADY_EXISTS when a create-only open finds
 * the file.  Returns 0; KERR_INVALID_PARAMETER for a missing argument or
 * flags that do not validate, or the converted failure (KERR_FILE_NOT_FOUND,
 * KERR_ALREADY_EXISTS, KERR_SHARING_VIOLATION, KERR_ACCESS_DENIED, ...).
 */
int RTFileOpenPathEx(const char *pszFilename, uint64_t fOpen, RTFILE *phFile,
                     RTFILEACTION *penmActionTaken);
/* RTFileOpenPathEx without the action. */
int RTFileOpenPath(RTFILE *phFile, const char *pszFilename, uint64_t fOpen);

/* Closes hFile; NIL_RTFILE is success. */
int RTFileClose(RTFILE hFile);

/*
 * Reads cbToRead bytes into pvBuf.  With pcbRead the first transfer's count
 * is stored (0 at the end of the file) and the call succeeds; without it all
 * cbToRead bytes must come, else KERR_EOF.  Transfers the system refuses for
 * lack of memory are retried in smaller pieces.
 */
int RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead);

/*
 * Writes cbToWrite bytes.  With pcbWritten the first transfer's count is
 * stored; without it everything must be written, else KERR_WRITE_ERROR.  A
 * full disk gives KERR_DISK_FULL, or KERR_FILE_TOO_BIG when the file would
 * pass its file system's size limit.
 */
int RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten);

/*
 * Moves the file position by offSeek from the start, the current position or
 * the end (RTFILE_SEEK_*); *poffActual (optional) receives the new position.
 * KERR_INVALID_PARAMETER for another method.
 */
int RTFileSetPosition(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual);
/* The current position, or UINT64_MAX on failure. */
uint64_t RTFileGetPosition(RTFILE hFile);
/* The size in bytes; for a disk device, its size from the drive geometry. */
int RTFileGetLength(RTFILE hFile, uint64_t *pcbSize);
/* Flushes the system's buffers to the medium. */
int RTFileSync(RTFILE hFile);

/*
 * Describes an open file (enmAdditional: RTFSOBJATTRADD).  A device or other
 * handle the system gives no file information for yields a zeroed record
 * with the mode 0x4081B6; a handle that is no longer open KERR_INVALID_HANDLE.
 * KERR_INVALID_PARAMETER for NIL_RTFILE, a null record or a bad kind.
 */
int RTFileQueryInfo(RTFILE hFile, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional);

/* True when hFile is an open handle of a known type. */
bool RTFileIsUsable(RTFILE hFile);

/*
 * Makes a file handle of a native one (*phFile is set either way);
 * KERR_INVALID_HANDLE for the native value -1.
 */
int RTFileWrapNative(RTFILE *phFile, intptr_t uNative);

/*
 * Deletes one file, never a directory (KERR_IS_A_DIRECTORY) or a symbolic
 * link (KERR_IS_A_SYMLINK).  The file goes when the last handle to it
 * closes; after a failure it is untouched.
 */
int RTFileRemove(const char *pszFilename);

/*
 * Opens the file that hFile is open on once more, through hFile itself: no
 * name is looked up, so nothing put in place of the file or of a directory
 * above it since hFile was opened is reached.  The new handle has access to
 * the attributes and, with fDelete, delete access (for
 * RTFileSetDeleteDisposition); it lets others read, write and delete, so it
 * holds the file without locking it.  Delete access is refused
 * (KERR_SHARING_VIOLATION) while any handle to the file, hFile included,
 * denies deletion to others.  *phNew is NIL_RTFILE until success;
 * KERR_INVALID_HANDLE for NIL_RTFILE.
 */
int RTFileReopen(RTFILE hFile, bool fDelete, RTFILE *phNew);

/*
 * Marks the file that hFile is open on for deletion; it goes when the last
 * handle to it closes, and meanwhile can't be opened again.  hFile needs
 * delete access (KERR_ACCESS_DENIED otherwise, as for a read-only file).
 */
int RTFileSetDeleteDisposition(RTFILE hFile);

/*
 * Renames the file pszSrc to pszDst in one step.  With fReplace an entry
 * named pszDst (a file, or a link, which is replaced and not followed) goes
 * in the same step; without it KERR_ALREADY_EXISTS.  Directories are not
 * renamed over.  Returns 0 or the converted failure, pszSrc untouched then.
 */
int RTFileRename(const char *pszSrc, const char *pszDst, bool fReplace);

/*
 * Creates a new file named by pszTemplate with its run of 'X' characters
 * (the trailing ones, or the last run of three or more inside the last
 * component) replaced by random characters of [0-9a-z], trying up to 10000
 * names.  fOpen must have the action RTFILE_O_CREATE (else
 * KERR_INVALID_FLAGS, nothing touched).  On success pszTemplate holds the
 * name; after any failure it is an empty string and *phFile NIL_RTFILE.
 * KERR_INVALID_PARAMETER when the template has no run.
 */
int RTFileOpenUnique(RTFILE *phFile, char *pszTemplate, uint64_t fOpen);

#endif
