/*
 * Runtime initialisation and process exit.
 *
 * A program's main function calls RTR3Init first.  The first call does the
 * work (Windows version, DLL search hardening, exception filter, optional
 * system functions, executable path, arguments, start time, exit clean-up);
 * later calls only merge flags and check the arguments.  Process exit always
 * goes through RTR3ProcExit, which runs the registered clean-ups.
 */
#ifndef ZELK_INIT_H
#define ZELK_INIT_H

#include <zelk/types.h>

/* Set on every call after the first (accumulated flags only). */
#define RTR3INIT_FLAGS_REPEATED        UINT32_C(0x00000002)
/* Restrict the default DLL search to the system directory, on every Windows version. */
#define RTR3INIT_FLAGS_SYSTEM32_ONLY   UINT32_C(0x00000004)
/* Postpone the DLL search hardening; a later call without this flag performs it. */
#define RTR3INIT_FLAGS_DEFER_HARDENING UINT32_C(0x00000008)

/*
 * Initialises the runtime.  pcArgs/ppapszArgs may be null (no arguments to
 * record).  A later call with other arguments than the recorded ones gives
 * KERR_WRONG_ORDER.  Returns 0 or the first failure of the initialisation.
 */
int RTR3Init(int *pcArgs, char ***ppapszArgs, uint32_t fFlags);

/* Clean-up run at process exit, last registered first. */
typedef void (*PFNRTEXITCLEANUP)(void);
/* Registers a clean-up; KERR_NO_MEMORY when the table (32 slots) is full. */
int RTR3AtExit(PFNRTEXITCLEANUP pfnCleanup);
/* Ends the process with uExitCode, first running the clean-ups when fRunCleanups. Never returns. */
__attribute__((noreturn)) void RTR3ProcExit(uint32_t uExitCode, bool fRunCleanups);

/*
 * The main function that the no-CRT process entry calls with the UTF-8
 * argument vector (and a null environment); its result is the exit code.
 * Programs linked with the runtime's entry define it.
 */
extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv);

/* The executable's full path (UTF-8) recorded by RTR3Init; "" before it. */
const char *RTProcExecPath(void);
/* Offset of the file name within RTProcExecPath(). */
size_t RTProcExecNameOffset(void);

#endif
