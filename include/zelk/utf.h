/*
 * UTF-8 and UTF-16 conversion.
 *
 * Every string inside the runtime is UTF-8; UTF-16 (little-endian, the
 * Windows wide character) is made at the Windows boundary and freed right
 * after.  Limits are in bytes for UTF-8 and in units for UTF-16; RTSTR_MAX
 * means "up to the terminator".  Caller-buffer sizes count the terminator.
 * Allocated results are freed with RTStrRelease.
 *
 * Accepted UTF-8: sequences of 1 to 4 bytes that are not overlong, encode no
 * surrogate (KERR_UTF8_SURROGATE), no U+FFFE/U+FFFF (KERR_UTF_NONCHARACTER)
 * and nothing above U+10FFFF (KERR_CODE_POINT_TOO_BIG); everything else is
 * KERR_INVALID_UTF8.  The code-point functions (RTStrCpCountEx, RTStrDecodeCp)
 * also take 4-, 5- and 6-byte sequences above U+10FFFF.
 */
#ifndef ZELK_UTF_H
#define ZELK_UTF_H

#include <zelk/string.h>

/* RTStrCheckEncoding flags. */
#define RTSTR_CHECK_F_TERMINATED   UINT32_C(0x00000001) /* must end with a NUL within the length */
#define RTSTR_CHECK_F_EXACT_LENGTH UINT32_C(0x00000002) /* the text fills the length exactly */

/*
 * UTF-16 units needed for a NUL-terminated UTF-8 string (a 4-byte sequence
 * counts 2).  Returns 0 or the first acceptance error; *pcwc on success only.
 */
int RTStrUtf16Units(const char *psz, size_t *pcwc);
/* The same, stopping at cch bytes or a NUL.  A sequence cut by the limit is KERR_INVALID_UTF8. */
int RTStrUtf16UnitsN(const char *psz, size_t cch, size_t *pcwc);
/* One of the two (cch RTSTR_MAX: no limit); on failure *pcwc becomes RTSTR_MAX. pcwc may be null. */
int RTStrUtf16UnitsEx(const char *psz, size_t cch, size_t *pcwc);

/*
 * Counts code points up to cch bytes or the NUL; *pcbExamined (optional)
 * receives the bytes examined.  *pcCps is written on success.
 */
int RTStrCpCountEx(const char *psz, size_t cch, size_t *pcCps, size_t *pcbExamined);
/* Code points of a NUL-terminated string; 0 when it is not valid. */
size_t RTStrCpCount(const char *psz);
/*
 * Checks psz within cch bytes.  RTSTR_CHECK_F_TERMINATED: a NUL must come
 * within cch bytes (else KERR_BUFFER_OVERFLOW); RTSTR_CHECK_F_EXACT_LENGTH:
 * the text must fill cch bytes (fewer KERR_STRING_TOO_SHORT, more
 * KERR_BUFFER_OVERFLOW).  Unknown flags: KERR_INVALID_PARAMETER.
 */
int RTStrCheckEncoding(const char *psz, size_t cch, uint32_t fFlags);

/*
 * Decodes one code point and advances *ppsz past it.  On an invalid sequence
 * the cursor moves one byte, *pCp becomes RTUNICP_INVALID and the status is
 * KERR_INVALID_UTF8, KERR_UTF_NONCHARACTER or KERR_UTF8_SURROGATE.
 */
int RTStrDecodeCp(const char **ppsz, RTUNICP *pCp);
/* The code point at the start of psz, RTUNICP_INVALID if invalid. */
RTUNICP RTStrCpAt(const char *psz);
/* As RTStrDecodeCp with *pcch bytes left (decreased); 0 left: KERR_END_OF_STRING. */
int RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp);
/*
 * Encodes cp at psz (1 to 6 bytes; surrogates as they are; 0x80000000 and
 * above as the single byte 0x7F) and returns the position after it.  No NUL.
 */
char *RTStrEncodeCp(char *psz, RTUNICP cp);
/* The start of the code point that ends just before psz (pszStart when none can be found). */
const char *RTStrCpBefore(const char *pszStart, const char *psz);

/*
 * Decodes one code point from UTF-16 (little-endian / big-endian) and advances
 * the cursor.  Unpaired surrogate KERR_INVALID_UTF16, U+FFFE/U+FFFF
 * KERR_UTF_NONCHARACTER; on failure one unit is consumed and *pCp is
 * RTUNICP_INVALID.
 */
int RTUtf16DecodeCp(PCRTUTF16 *ppwsz, RTUNICP *pCp);
int RTUtf16BEDecodeCp(PCRTUTF16 *ppwsz, RTUNICP *pCp);
/*
 * UTF-8 bytes (without the NUL) needed for pwsz up to cwc units or the
 * terminator.  On failure *pcch (optional) becomes RTSTR_MAX.
 */
int RTUtf16Utf8BytesEx(PCRTUTF16 pwsz, size_t cwc, size_t *pcch);
/* Units before the terminator; 0 for null. */
size_t RTUtf16Units(PCRTUTF16 pwsz);

/* Converts to a new UTF-16 string (*ppwsz null on failure; KERR_NO_UTF16_MEMORY). */
int RTStrToUtf16(const char *psz, PRTUTF16 *ppwsz, const char *pszTag);
/*
 * Converts up to cch bytes.  If cwc is non-zero and *ppwsz is not null the
 * result goes into that buffer of cwc units (KERR_BUFFER_OVERFLOW when the
 * units needed are not below cwc); otherwise a buffer of max(units + 1, cwc)
 * units is allocated into *ppwsz.  *pcwc (optional) receives the units needed.
 * A failure frees what was allocated.
 */
int RTStrToUtf16Ex(const char *psz, size_t cch, PRTUTF16 *ppwsz, size_t cwc, size_t *pcwc,
                   const char *pszTag);
/* The mirror image of RTStrToUtf16Ex: cch is the caller's buffer size in bytes. */
int RTUtf16ToUtf8Ex(PCRTUTF16 pwsz, size_t cwc, char **ppsz, size_t cch, size_t *pcch,
                    const char *pszTag);
/* The same pattern into 32-bit code points (allocation failure KERR_NO_CODE_POINT_MEMORY). */
int RTStrToCpArray(const char *psz, size_t cch, RTUNICP **ppaCps, size_t cCps, size_t *pcCps);
/*
 * Converts to the ANSI code page of the system (Windows); on hosts without one
 * the string is checked and copied.
 */
int RTStrToCurrentCP(char **ppszOut, const char *psz, const char *pszTag);

#endif
