/*
 * The measured conversions (UTF-8 to UTF-16, UTF-16 to UTF-8, UTF-8 to code
 * points) share one contract and one body: count, pick the output (the
 * caller's buffer when it gave one, else a new one of max(needed + 1, size)
 * items), convert, and free on failure.  The conversion to the code page
 * takes text that need not be terminated here too.
 */
#ifndef ZELK_INTERNAL_UTF_H
#define ZELK_INTERNAL_UTF_H

#include <zelk/types.h>

/*
 * Writes already validated input (pvIn, cIn as the public call took it) into
 * pvOut, which has room for cRoom items plus the terminator, and terminates
 * it.  Returns 0 or KERR_BUFFER_OVERFLOW.
 */
typedef int FNRTUTFRECODE(const void *pvIn, size_t cIn, void *pvOut, size_t cRoom);

/*
 * The skeleton every measured conversion shares, after its count: rcCount
 * and cNeeded are the count's result.  *ppvOut and cItems are the caller's:
 * with both non-zero the caller's buffer is used (KERR_BUFFER_OVERFLOW with
 * its first item zeroed when cNeeded does not fit), else a new buffer of
 * max(cNeeded + 1, cItems) items is allocated (rcNoMemory on failure) and
 * stored in *ppvOut.  A failed count zeroes the caller's first item or
 * nulls *ppvOut; a failed conversion frees what was allocated and nulls
 * *ppvOut too.
 */
int rtUtfConvert(const void *pvIn, size_t cIn, int rcCount, size_t cNeeded, void **ppvOut,
                 size_t cItems, size_t cbItem, int rcNoMemory, const char *pszTag,
                 FNRTUTFRECODE *pfnRecode);

/*
 * RTStrToCurrentCP of the first cch bytes of psz (or up to its terminator
 * when that comes first), for text that is not terminated.
 */
int rtStrToCurrentCPN(char **ppszOut, const char *psz, size_t cch, const char *pszTag);

#endif
