/*
 * File-system objects: the mode word, the information record that files,
 * directories and paths are described by, and the query by path.
 *
 * The mode keeps the Unix view (type and permission bits) and the Windows
 * view (attributes, shifted left by 16) side by side; on Windows the Unix
 * bits are derived from the attributes.  Times are nanoseconds since
 * 1970-01-01 UTC.
 */
#ifndef ZELK_FS_H
#define ZELK_FS_H

#include <zelk/types.h>

typedef uint32_t RTFMODE;

/* Unix permission bits and type. */
#define RTFS_UNIX_MASK       UINT32_C(0x000001FF)
#define RTFS_UNIX_ALL_ACCESS UINT32_C(0x000001FF) /* 0777 */
#define RTFS_UNIX_ALL_WRITE  UINT32_C(0x00000092) /* 0222 */
#define RTFS_TYPE_MASK       UINT32_C(0x0000F000)
#define RTFS_TYPE_FIFO       UINT32_C(0x00001000)
#define RTFS_TYPE_DEV_CHAR   UINT32_C(0x00002000)
#define RTFS_TYPE_DIRECTORY  UINT32_C(0x00004000)
#define RTFS_TYPE_DEV_BLOCK  UINT32_C(0x00006000)
#define RTFS_TYPE_FILE       UINT32_C(0x00008000)
#define RTFS_TYPE_SYMLINK    UINT32_C(0x0000A000)
#define RTFS_TYPE_SOCKET     UINT32_C(0x0000C000)

/* Windows attributes, shifted left by 16. */
#define RTFS_DOS_SHIFT                  16
#define RTFS_DOS_MASK                   UINT32_C(0x7FFF0000)
#define RTFS_DOS_READONLY               UINT32_C(0x00010000)
#define RTFS_DOS_HIDDEN                 UINT32_C(0x00020000)
#define RTFS_DOS_SYSTEM                 UINT32_C(0x00040000)
#define RTFS_DOS_DIRECTORY              UINT32_C(0x00100000)
#define RTFS_DOS_ARCHIVED               UINT32_C(0x00200000)
#define RTFS_DOS_NT_DEVICE              UINT32_C(0x00400000)
#define RTFS_DOS_NT_NORMAL              UINT32_C(0x00800000)
#define RTFS_DOS_NT_TEMPORARY           UINT32_C(0x01000000)
#define RTFS_DOS_NT_SPARSE_FILE         UINT32_C(0x02000000)
#define RTFS_DOS_NT_REPARSE_POINT       UINT32_C(0x04000000)
#define RTFS_DOS_NT_COMPRESSED          UINT32_C(0x08000000)
#define RTFS_DOS_NT_OFFLINE             UINT32_C(0x10000000)
#define RTFS_DOS_NT_NOT_CONTENT_INDEXED UINT32_C(0x20000000)
#define RTFS_DOS_NT_ENCRYPTED           UINT32_C(0x40000000)

/* Which additional attributes an information record carries. */
typedef enum RTFSOBJATTRADD
{
    RTFSOBJATTRADD_NOTHING = 1,
    RTFSOBJATTRADD_UNIX,
    RTFSOBJATTRADD_UNIX_OWNER,
    RTFSOBJATTRADD_UNIX_GROUP,
    RTFSOBJATTRADD_EASIZE
} RTFSOBJATTRADD;

#define NIL_RTUID UINT32_C(0xFFFFFFFF)
#define NIL_RTGID UINT32_C(0xFFFFFFFF)

typedef struct RTFSOBJINFO
{
    int64_t cbObject; /* end-of-file position */
    int64_t cbAllocated;
    int64_t AccessTime; /* nanoseconds since 1970-01-01 UTC */
    int64_t ModificationTime;
    int64_t ChangeTime;
    int64_t BirthTime;
    struct
    {
        RTFMODE fMode;
        RTFSOBJATTRADD enmAdditional;
        union
        {
            struct
            {
                uint32_t uid;
                uint32_t gid;
                uint32_t cHardlinks;
                uint32_t INodeIdDevice; /* the volume serial number on Windows */
                uint64_t INodeId;       /* the file index within the volume on Windows */
                uint32_t fFlags;
                uint32_t GenerationId;
                uint32_t Device;
            } Unix;
            struct
            {
                uint32_t uid;
                char szName[64];
            } UnixOwner;
            struct
            {
                uint32_t gid;
                char szName[64];
            } UnixGroup;
            struct
            {
                uint64_t cb;
            } EASize;
        } u;
    } Attr;
} RTFSOBJINFO;

/* RTPathGetInfo flags. */
#define RTPATH_F_ON_LINK     UINT32_C(0x00000001) /* describe a symbolic link itself */
#define RTPATH_F_FOLLOW_LINK UINT32_C(0x00000002) /* describe what a symbolic link points at */
#define RTPATH_F_NO_SYMLINKS UINT32_C(0x00000004) /* accepted; no effect */

/*
 * Describes the object at pszPath: a file, a directory, a link (with
 * RTPATH_F_ON_LINK) or an object of the native object namespace (the
 * "\\:zelknt:" form).  Items that cannot be opened for lack of access or
 * because of sharing are described from their parent directory's entry.
 *
 * enmAdditional is the kind of additional attributes (RTFSOBJATTRADD);
 * fFlags RTPATH_F_ON_LINK or RTPATH_F_FOLLOW_LINK, optionally with
 * RTPATH_F_NO_SYMLINKS.  Returns 0; KERR_INVALID_POINTER,
 * KERR_INVALID_PARAMETER (empty path, bad kind or flags),
 * KERR_FILE_NOT_FOUND, KERR_PATH_NOT_FOUND or another converted failure.
 * *pObjInfo is written on success only.
 */
int RTPathGetInfo(const char *pszPath, RTFSOBJINFO *pObjInfo, uint32_t enmAdditional,
                  uint32_t fFlags);

#endif
