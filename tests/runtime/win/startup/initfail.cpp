/*
 * A program whose static initialiser fails: start-up must stop with the
 * initialiser's value before main, without running clean-ups.
 */
#include <zelk/init.h>

static int failingInitialiser(void)
{
    return 7;
}

__attribute__((section(".CRT$XIU"), used)) static int (*const g_pfnFailingInit)(void)
    = failingInitialiser;

extern "C" int ZelkMain(int, char **, char **)
{
    return 0;
}
