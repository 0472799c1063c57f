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

/* Windows version code (see rtR3WinVersionCodeFrom) and DLL search hardening state. */
extern int g_enmWinVer;
extern uint32_t g_uRTR3WinDllHardening;

/*
 * Maps a Windows version to the runtime's version code: platform 1 (9x) or
 * 2 (NT), major, minor, build and product type (1 workstation).
 */
int rtR3WinVersionCodeFrom(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                           uint8_t bProductType);

#endif
