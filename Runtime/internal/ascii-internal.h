/*
 * ASCII case folding, the one rule behind every case-insensitive comparison
 * of names the runtime makes (option spellings, system module paths, string
 * compares against ASCII).  Only 'A'..'Z' fold: other code points, of any
 * width, pass through unchanged.
 */
#ifndef ZELK_INTERNAL_ASCII_H
#define ZELK_INTERNAL_ASCII_H

#include <zelk/types.h>

static inline uint32_t rtAsciiToLower(uint32_t ch)
{
    return ch - 'A' <= (uint32_t)('Z' - 'A') ? ch + ('a' - 'A') : ch;
}

#endif
