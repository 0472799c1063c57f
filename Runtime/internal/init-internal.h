/*
 * Process-wide records of start-up and initialisation, shared by the
 * start-up code, RTR3Init, the message functions and the crash report.
 */
#ifndef ZELK_INTERNAL_INIT_H
#define ZELK_INTERNAL_INIT_H

#include <zelk/init.h>

/* Runtime copy of the executable path: 4067 characters and the terminator. */
#define RTR3_EXEC_PATH_MAX 4068

extern char g_szrtProcExePath[RTR3_EXEC_PATH_MAX];
extern size_t g_cchrtProcExePath;
extern size_t g_cchrtProcExeDir;
extern size_t g_offrtProcExeName;

extern int32_t volatile g_crtR3Users;
extern uint32_t volatile g_frtR3Initializing;
extern uint32_t volatile g_frtR3Terminating;
extern uint32_t g_frtR3InitFlags;
extern int g_crtR3Args;
extern char **g_papszrtR3Args;
extern uint32_t g_uProcessId;
extern uint64_t g_u64ProgramStartNanoTS;

/* The version record's values, under the SDK's names where windows.h is not at hand. */
#ifndef VER_PLATFORM_WIN32_NT
# define VER_PLATFORM_WIN32_WINDOWS 1
# define VER_PLATFORM_WIN32_NT      2
#endif
#ifndef VER_NT_WORKSTATION
# define VER_NT_WORKSTATION 0x0000001
#endif

/*
 * The runtime's Windows version codes: the 9x family below 100, NT from 100
 * on, ordered by release so that "this version or newer" is a comparison.
 * From Vista to 6.4 the codes pair up, workstation first, one pair per minor
 * version.
 */
typedef enum RTWINOSTYPE
{
    RTWINOSTYPE_UNKNOWN = 0,
    RTWINOSTYPE_95 = 1,      /* 4.0, build 950 */
    RTWINOSTYPE_95SP1 = 2,   /* 4.0, builds 951-1080 */
    RTWINOSTYPE_95OSR2 = 3,  /* 4.0, later builds */
    RTWINOSTYPE_98 = 4,      /* 4.10, build 1998 */
    RTWINOSTYPE_98SP1 = 5,   /* 4.10, builds 1999-2182 */
    RTWINOSTYPE_98SE = 6,    /* 4.10, later builds */
    RTWINOSTYPE_ME = 7,      /* 4.90 */
    RTWINOSTYPE_NT310 = 100, /* NT 3.0 to 3.49 */
    RTWINOSTYPE_NT350 = 101,
    RTWINOSTYPE_NT351 = 102, /* and later 3.x */
    RTWINOSTYPE_NT4 = 103,
    RTWINOSTYPE_2K = 104,
    RTWINOSTYPE_XP = 105,
    RTWINOSTYPE_2003 = 107, /* 5.2 and later 5.x */
    RTWINOSTYPE_VISTA = 108,
    RTWINOSTYPE_2008 = 109,
    RTWINOSTYPE_7 = 110,
    RTWINOSTYPE_2008R2 = 111,
    RTWINOSTYPE_8 = 112,
    RTWINOSTYPE_2012 = 113,
    RTWINOSTYPE_81 = 114,
    RTWINOSTYPE_2012R2 = 115,
    RTWINOSTYPE_10 = 116,   /* also 6.4 workstation */
    RTWINOSTYPE_2016 = 117, /* also 6.4 server; 10.0 server up to build 17762 */
    RTWINOSTYPE_2019 = 118, /* 10.0 server, builds 17763-20347 */
    RTWINOSTYPE_2022 = 119, /* 10.0 server from build 20348 */
    RTWINOSTYPE_11 = 120,   /* 10.0 workstation from build 22000 */
    RTWINOSTYPE_NT_UNKNOWN = 199
} RTWINOSTYPE;

/* How far rtR3WinHardenDllSearch got in restricting where DLLs are looked for. */
typedef enum RTR3WINDLLHARDENING
{
    RTR3WINDLLHARDENING_NONE = 1,   /* the system's default search */
    RTR3WINDLLHARDENING_NO_CWD = 2, /* the current directory taken out (SetDllDirectoryW) */
    RTR3WINDLLHARDENING_SYSTEM_AND_APP_DIR
        = 3,                                /* default search: system and application directory */
    RTR3WINDLLHARDENING_SYSTEM_DIR_ONLY = 4 /* default search: the system directory alone */
} RTR3WINDLLHARDENING;

/*
 * The address of one of the runtime's socket functions ("WSAStartup",
 * "socket", "select", ...), or null when the system has no such function or
 * no socket library.  The first call loads "ws2_32.dll" (unless it is loaded
 * already), failing that "wsock32.dll", from the system directory, and looks
 * up every socket function at once; a program that never asks loads neither.
 * Windows only.
 */
void *rtR3WinSockGetFn(const char *pszName);

/*
 * The optional ntdll functions RTR3Init looks up by name, in the order of
 * their name list; an entry stays null where the system lacks the function,
 * and all of them before RTR3Init.  Windows only.
 */
enum
{
    RTR3NTDLLFN_QUERY_FULL_ATTRIBUTES_FILE = 0,
    RTR3NTDLLFN_DUPLICATE_TOKEN,
    RTR3NTDLLFN_ALERT_THREAD,
    RTR3NTDLLFN_COUNT
};
extern void *g_apvrtR3NtDllFns[RTR3NTDLLFN_COUNT];

/* Windows version code (see rtR3WinVersionCodeFrom) and DLL search hardening state. */
extern RTWINOSTYPE g_enmWinVer;
extern RTR3WINDLLHARDENING g_enmRTR3WinDllHardening;

/*
 * Maps a Windows version to the runtime's version code: platform 1 (9x) or
 * 2 (NT), major, minor, build and product type (1 workstation).
 */
RTWINOSTYPE rtR3WinVersionCodeFrom(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor,
                                   uint32_t uBuild, uint8_t bProductType);

#endif
