/*
 * Directories: existence test, creation and removal of one directory,
 * uniquely named directories, and directory handles.
 *
 * A directory handle holds the directory open natively, sharing read and
 * write but not delete, so nobody can remove or rename it while it is held.
 * The handle is a heap record guarded by a magic value.
 */
#ifndef ZELK_DIR_H
#define ZELK_DIR_H

#include <zelk/file.h>
#include <zelk/fs.h>

typedef struct RTDIRINTERNAL *RTDIR;
#define NIL_RTDIR ((RTDIR)0)

/* RTDirOpenPathFiltered flags. */
#define RTDIR_F_NO_REPARSE \
 UINT32_C(0x00000001) /* refuse a path that is any reparse point (link, junction) */
#define RTDIR_F_NO_FOLLOW UINT32_C(0x00000004) /* refuse a path that is a symbolic link */
#define RTDIR_F_NO_ABS_PATH \
 UINT32_C(0x00000008) /* take the path as given, with a separator added */
#define RTDIR_F_VALID_MASK UINT32_C(0x0000000F)

/* Name-filter kinds. */
typedef enum RTDIRFILTER
{
    RTDIRFILTER_INVALID = 0,
    RTDIRFILTER_NONE,
    RTDIRFILTER_WINNT,       /* Windows wildcards, from the path's last component */
    RTDIRFILTER_UNIX,        /* not implemented */
    RTDIRFILTER_UNIX_UPCASED /* not implemented */
} RTDIRFILTER;

/* RTDirMake flags. */
#define RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_DONT_SET     UINT32_C(0x00000002)
#define RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_NOT_CRITICAL UINT32_C(0x00000004)
#define RTDIRCREATE_FLAGS_VALID_MASK                       UINT32_C(0x00000007)

/* True when pszPath names an existing directory, symbolic links followed. */
bool RTDirExists(const char *pszPath);

/*
 * Creates the directory pszPath (its parent must exist).  fMode is taken as
 * a directory mode; one of another type gives KERR_INVALID_FMODE.  On
 * Windows a mode without group and other bits (0700) makes the directory
 * private: full control for the process's user, SYSTEM and Administrators
 * only, inherited inside it, nothing inherited from the parent; any other
 * mode keeps the parent's inheritable entries.  Unless fCreate has
 * RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_DONT_SET the directory is marked not
 * content indexed; a failure of that is returned unless
 * RTDIRCREATE_FLAGS_NOT_CONTENT_INDEXED_NOT_CRITICAL.
 * Returns 0; KERR_ALREADY_EXISTS, KERR_PATH_NOT_FOUND, KERR_INVALID_FLAGS or
 * another converted failure.
 */
int RTDirMake(const char *pszPath, RTFMODE fMode, uint32_t fCreate);

/* Removes the empty directory pszPath; KERR_DIR_NOT_EMPTY when it has entries. */
int RTDirDelete(const char *pszPath);

/*
 * Creates a new directory named by pszTemplate with its run of 'X'
 * characters replaced by random characters of [0-9a-z] (see
 * RTFileOpenUnique), trying up to 10000 names.  On success pszTemplate holds
 * the name; after any failure it is an empty string.
 */
int RTDirMakeUnique(char *pszTemplate, RTFMODE fMode);

/* RTDirOpenPathFiltered with no filter and no flags. */
int RTDirOpenPath(RTDIR *phDir, const char *pszPath);

/*
 * Opens a directory handle on pszPath.  enmFilter is an RTDIRFILTER;
 * RTDIRFILTER_WINNT takes the filter from the path's last component.
 * Returns 0; KERR_INVALID_POINTER, KERR_INVALID_FLAGS, KERR_NOT_IMPLEMENTED
 * (the Unix filters), KERR_INVALID_PARAMETER, KERR_IS_A_SYMLINK (a
 * symbolic link with RTDIR_F_NO_FOLLOW, any reparse point with
 * RTDIR_F_NO_REPARSE), KERR_NOT_A_DIRECTORY or another converted failure.
 */
int RTDirOpenPathFiltered(RTDIR *phDir, const char *pszPath, uint32_t enmFilter, uint32_t fFlags);

/*
 * Marks the directory that hDir is open on for deletion, through hDir: the
 * handle is replaced by one with delete access opened from it, and the
 * directory goes when that is closed.  No name is looked up, so nothing put
 * in place of the directory or of one above it since hDir was opened is
 * reached.  KERR_DIR_NOT_EMPTY while it has entries (the handle has delete
 * access then, for the next try); KERR_SHARING_VIOLATION while another
 * handle to it, the process's current directory for one, denies deletion
 * (hDir then holds it without locking it); KERR_INVALID_HANDLE for a handle
 * that is not open.
 */
int RTDirSetDeleteDisposition(RTDIR hDir);

/*
 * Opens the file pszName in the directory hDir for deletion (with
 * RTFileSetDeleteDisposition): by its name below the handle, the entry
 * itself (a link is opened, not followed), with access to its attributes,
 * letting others read, write and delete.  pszName is one name: one with a
 * separator gives KERR_INVALID_NAME.  KERR_IS_A_DIRECTORY for a directory,
 * KERR_SHARING_VIOLATION while a handle to the file denies deletion,
 * KERR_INVALID_HANDLE for a directory handle that is not open, else the
 * converted failure.  *phFile is NIL_RTFILE until success.
 */
int RTDirOpenFileForDelete(RTDIR hDir, const char *pszName, RTFILE *phFile);

/* Closes a directory handle; KERR_INVALID_PARAMETER for null or one not open. */
int RTDirClose(RTDIR hDir);

/* True when hDir is an open directory handle. */
bool RTDirIsUsable(RTDIR hDir);

#endif
