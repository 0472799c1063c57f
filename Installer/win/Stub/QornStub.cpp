/*
 * Kestrelyn Installer: the installer stub's driver.
 *
 * The runtime's process entry hands the UTF-8 argument vector to stubMain,
 * whose result becomes the process exit code.
 */
#include <zelk/err.h>
#include <zelk/init.h>
#include <zelk/stream.h>

int stubMain(int argc, char **argv)
{
    int rc = RTR3Init(&argc, &argv, RTR3INIT_FLAGS_SYSTEM32_ONLY);
    if (RT_FAILURE(rc))
        return RTMsgReportInitFailure(rc);
    return 0;
}

extern "C" int ZelkMain(int cArgs, char **papszArgs, char **papszEnv)
{
    (void)papszEnv;
    return stubMain(cArgs, papszArgs);
}
