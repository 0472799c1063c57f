/*
 * Basic types shared by every runtime module.
 *
 * The runtime is written for its target's pointer width: on the 32-bit Windows
 * target size_t and pointers are 32 bits, on the 64-bit Linux build 64 bits.
 * Status codes are always 32-bit signed integers.
 */
#ifndef ZELK_TYPES_H
#define ZELK_TYPES_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

typedef uint16_t RTUTF16;
typedef uint32_t RTUNICP;
typedef RTUTF16 *PRTUTF16;
typedef const RTUTF16 *PCRTUTF16;

/* Decoders store this when a sequence is invalid. */
#define RTUNICP_INVALID UINT32_C(0xfffffffe)

/*
 * Output callback of the format engine: receives pieces of output (not
 * NUL-terminated) and returns the number of bytes it accounts for.  A final
 * call with a null pointer and a count of 0 ends the output.
 */
typedef size_t (*PFNRTFMTOUTPUT)(void *pvArg, const char *pachChars, size_t cbChars);

#define RT_ELEMENTS(a) (sizeof(a) / sizeof((a)[0]))

#endif
