/*
 * The baseline of the start-up benchmark: a 32-bit GUI program without the C
 * runtime that does nothing but exit, linked as the installer stub is.
 */
#include "win.h"

extern "C" void WINAPI EmptyStart(void)
{
    ExitProcess(0);
}
