/*
 * Reading integers from text.
 *
 * The option parser, and anything else that turns user text into numbers,
 * reads through these functions so that every caller gets the same rules
 * about signs, base prefixes, overflow and what may follow the digits.  A
 * number starts at the first byte (no blanks are skipped in front of it):
 * callers that tolerate leading blanks skip them themselves.
 *
 * Text accepted: an optional '+' or '-', then an optional base prefix, then
 * one or more digits of the base.  Digits above 9 are letters in either case.
 *
 *   base 0     "0x" or "0X" followed by a hex digit selects 16; a leading '0'
 *              followed by another digit selects 8; anything else is 10.
 *   base 16    an optional "0x" / "0X" prefix (only when a hex digit follows).
 *   base 2-36  the digits of that base; no prefix.
 *
 * Status codes, most severe first (only one is returned):
 *   KERR_INVALID_PARAMETER  base is 1 or above 36; nothing is written.
 *   KERR_NO_DIGITS          no digit where the number should start; nothing
 *                           is written (*ppszNext included).
 *   KWRN_NUMBER_TOO_BIG     the number does not fit the width and signedness
 *                           asked for (a '-' before a non-zero number counts
 *                           for the unsigned readers).  The value stored is
 *                           the number's low bits for the width, the C
 *                           language's conversion of an out-of-range value.
 *   KWRN_TRAILING_CHARS     the number is followed by something other than
 *                           blanks.
 *   KWRN_TRAILING_SPACES    the number is followed by blanks only (space, tab,
 *                           line feed, carriage return, vertical tab, form
 *                           feed).
 *   0                       the number fills the string.
 * Callers that need the whole string to be a number in range accept 0 only.
 *
 * On every status but the two errors, *ppszNext (optional) receives the
 * position after the last digit and the value pointer (optional) the value.
 */
#ifndef ZELK_STRTONUM_H
#define ZELK_STRTONUM_H

#include <zelk/types.h>

int RTStrToUInt64Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint64_t *pu64);
int RTStrToUInt32Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint32_t *pu32);
int RTStrToUInt16Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint16_t *pu16);
int RTStrToUInt8Ex(const char *pszValue, const char **ppszNext, unsigned uBase, uint8_t *pu8);

int RTStrToInt64Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int64_t *pi64);
int RTStrToInt32Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int32_t *pi32);
int RTStrToInt16Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int16_t *pi16);
int RTStrToInt8Ex(const char *pszValue, const char **ppszNext, unsigned uBase, int8_t *pi8);

#endif
