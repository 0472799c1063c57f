/*
 * The assertion-message channel: a formatted message is kept as the last
 * assertion text and written to standard error, for paths that are about to
 * stop the process.
 */
#ifndef ZELK_ASSERT_H
#define ZELK_ASSERT_H

#include <zelk/types.h>

/* Formats (runtime syntax) the message, records it and writes it to standard error. */
void RTAssertMsg2(const char *pszFormat, ...);
void RTAssertMsg2V(const char *pszFormat, va_list va);
/* The last message recorded (at most 1023 bytes), "" before any. */
const char *RTAssertMsg2Last(void);
/* Stops the process at once: a breakpoint that is never continued. */
__attribute__((noreturn)) void RTAssertDoPanic(void);

#endif
