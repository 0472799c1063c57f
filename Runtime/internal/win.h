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

#endif
