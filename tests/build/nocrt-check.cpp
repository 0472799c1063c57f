/*
 * Link check: the whole runtime library links into this program without the
 * C runtime (only kernel32, ntdll and libgcc), and the program runs.
 */
#include <zelk/err.h>
#include <zelk/utf.h>

#include "win.h"

extern "C" __attribute__((noreturn)) void __stdcall NoCrtCheckStart(void)
{
    // Touch the runtime so the program exercises heap and tables for real.
    PRTUTF16 pwsz = nullptr;
    int rc = RTStrToUtf16("no-crt \xc3\xa9", &pwsz, "nocrt-check");
    UINT uExit = rc == 0 && pwsz[7] == 0xe9 && RTErrLookup(KERR_FILE_NOT_FOUND) ? 0 : 1;
    RTStrRelease(pwsz);
    ExitProcess(uExit);
    for (;;)
        ;
}
