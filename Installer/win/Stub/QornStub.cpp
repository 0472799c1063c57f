/*
 * Kestrelyn Installer: the installer stub's driver.
 *
 * The process entry hands the command line to stubMain, whose result becomes
 * the process exit code.
 */
#include <zelk/err.h>

#include "win.h"

extern "C" int stubMain(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    return 0;
}

extern "C" __attribute__((noreturn)) void __stdcall KestrelStart(void)
{
    ExitProcess((UINT)stubMain(0, nullptr));
    for (;;)
        ;
}
