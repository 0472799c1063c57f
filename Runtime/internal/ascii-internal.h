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

/* The value of a digit of any base up to 36 ('0'..'9', then 'a'..'z' in
   either case); 36 for anything else, which no base accepts. */
static inline unsigned rtAsciiDigitValue(char ch)
{
    uint32_t const uLower = rtAsciiToLower((uint8_t)ch);
    if (uLower - '0' <= 9u)
        return uLower - '0';
    if (uLower - 'a' <= (uint32_t)('z' - 'a'))
        return uLower - 'a' + 10;
    return 36;
}

#endif
