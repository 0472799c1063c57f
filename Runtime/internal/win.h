/*
 * The one place that includes the Windows headers.  Runtime and installer
 * code includes this rather than <windows.h>, so the Windows version and the
 * lean-and-mean setting are the same everywhere.
 */
#ifndef ZELK_INTERNAL_WIN_H
#define ZELK_INTERNAL_WIN_H

#ifndef _WIN32_WINNT
# define _WIN32_WINNT 0x0601 /* Windows 7 */
#endif
#ifndef WIN32_LEAN_AND_MEAN
# define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
# define UNICODE
#endif
#include <windows.h>
#include <winioctl.h>

/*
 * The process environment block of the current process, read through the
 * thread environment block.  (The SDK's NtCurrentTeb trips GCC's bounds
 * checking, hence the plain read.)
 */
static inline void *rtR3WinCurrentPeb(void)
{
    void *pvPeb;
#if defined(__i386__)
    __asm__ __volatile__("movl %%fs:0x30, %0" : "=r"(pvPeb));
#else
    __asm__ __volatile__("movq %%gs:0x60, %0" : "=r"(pvPeb));
#endif
    return pvPeb;
}

#endif
