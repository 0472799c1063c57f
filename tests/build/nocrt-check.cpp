/*
 * Link check: the whole runtime library, with its own process entry, links
 * into this program without the C runtime (only kernel32, ntdll and libgcc),
 * and the program runs: exit code 0 when the runtime worked.
 */
#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/utf.h>

extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv)
{
    (void)papszEnv;
    if (RT_FAILURE(RTR3Init(&cArgs, &papszArgs, RTR3INIT_FLAGS_SYSTEM32_ONLY)))
        return 3;
    PRTUTF16 pwsz = nullptr;
    int rc = RTStrToUtf16("no-crt \xc3\xa9", &pwsz, "nocrt-check");
    int const rcExit = rc == 0 && pwsz[7] == 0xe9 && RTErrLookup(KERR_FILE_NOT_FOUND) ? 0 : 1;
    RTStrRelease(pwsz);
    return rcExit;
}
