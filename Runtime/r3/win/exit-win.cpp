/*
 * Process exit: the one routine through which the process ends, and the
 * table of clean-ups it runs first (last registered first, each slot cleared
 * after its function ran, so a clean-up that exits again cannot loop).
 */
#include <zelk/err.h>
#include <zelk/init.h>

#include "win.h"

namespace {

PFNRTEXITCLEANUP g_apfnCleanups[32];
uint32_t g_cCleanups = 0;

} // namespace

int RTR3AtExit(PFNRTEXITCLEANUP pfnCleanup)
{
    if (g_cCleanups >= RT_ELEMENTS(g_apfnCleanups))
        return KERR_NO_MEMORY;
    g_apfnCleanups[g_cCleanups++] = pfnCleanup;
    return KINF_SUCCESS;
}

void RTR3ProcExit(uint32_t uExitCode, bool fRunCleanups)
{
    if (fRunCleanups)
    {
        while (g_cCleanups > 0)
        {
            uint32_t const i = --g_cCleanups;
            PFNRTEXITCLEANUP const pfn = g_apfnCleanups[i];
            g_apfnCleanups[i] = nullptr;
            if (pfn)
                pfn();
        }
    }
    for (;;)
        TerminateProcess(GetCurrentProcess(), uExitCode);
}
