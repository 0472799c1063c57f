/*
 * Status codes and the conversion of Windows errors.
 *
 * Every runtime operation returns a status code: 0 is success, positive values
 * are informational successes, negative values are errors.  The codes, names
 * and messages come from one list (Runtime/common/err/status.txt) from which
 * the build generates <zelk/err-codes.h> and the packed status table.
 */
#ifndef ZELK_ERR_H
#define ZELK_ERR_H

#include <zelk/types.h>
#include <zelk/err-codes.h>

#define RT_SUCCESS(rc)    ((int)(rc) >= 0)
#define RT_SUCCESS_NP(rc) ((int)(rc) >= 0)
#define RT_FAILURE(rc)    ((int)(rc) < 0)

/*
 * Converts a Windows error code (GetLastError, or one returned by an API) to a
 * status code.  Unmapped codes give KERR_UNRESOLVED_ERROR; never fails.
 */
int RTErrConvertFromWin32(uint32_t uNativeCode);

/*
 * Converts an NT status to a status code.  Unmapped values give
 * KERR_UNRESOLVED_ERROR after two lines through the release logger, when
 * one is installed (see rtErrSetReleaseLogger).
 */
int RTErrConvertFromNtStatus(int32_t lNativeCode);

/*
 * Release-logger hook: receives each line of the runtime's release log as a
 * format string (runtime format syntax) and its arguments.  Absent (null) by
 * default, so nothing is written.  Returns the previous hook.
 */
typedef void (*PFNRTERRRELLOG)(const char *pszFormat, va_list va);
PFNRTERRRELLOG rtErrSetReleaseLogger(PFNRTERRRELLOG pfnLogger);
PFNRTERRRELLOG rtErrGetReleaseLogger(void);

/*
 * Status table lookup.  An entry is one packed 64-bit word: the name's offset
 * and length, the message's offset and length, and the status code (signed),
 * at the bits that RTSTATUSENTRY_<field>_SHIFT and _BITS in <zelk/err-codes.h>
 * give (generated with the table).  Name offsets and lengths index the names'
 * compressed string table (g_RTErrStrTab), message ones the messages' table.
 */
typedef uint64_t RTSTATUSENTRY;

/* Binary search over the table; returns the entry or null when absent. */
const RTSTATUSENTRY *RTErrLookup(int rc);
/* Number of entries in the table, and the entry at an index (null past it). */
size_t RTErrTableSize(void);
const RTSTATUSENTRY *RTErrTableEntry(size_t idx);
/* The status code of an entry. */
int RTErrEntryStatus(const RTSTATUSENTRY *pEntry);

/*
 * Writes the entry's name or message through the output callback, piece by
 * piece (never assembled into one string).  Returns the sum of the callback's
 * return values.  The end-of-output call is not made.
 */
size_t RTErrOutputName(const RTSTATUSENTRY *pEntry, PFNRTFMTOUTPUT pfnOutput, void *pvArg);
size_t RTErrOutputMessage(const RTSTATUSENTRY *pEntry, PFNRTFMTOUTPUT pfnOutput, void *pvArg);

/*
 * The compressed string table: the bytes, their count, and a dictionary of
 * cDict 32-bit words (see err-strtab.cpp for the encoding).  Exposed so the
 * decoder can be run on crafted tables.
 */
typedef struct RTERRSTRTAB
{
    const uint8_t *pabCompressed;
    size_t cbCompressed;
    uint32_t cDict;
    const uint32_t *pauDict;
} RTERRSTRTAB;

/*
 * Decodes the string at offCompressed / cbString of the table through the
 * output callback.  A string reaching past the table emits nothing; a
 * dictionary reference reaching past it ends the string there.
 */
size_t RTErrStrTabDecode(const RTERRSTRTAB *pStrTab, uint32_t offString, uint32_t cbString,
                         PFNRTFMTOUTPUT pfnOutput, void *pvArg);

/* The names' string table generated from the status list. */
extern const RTERRSTRTAB g_RTErrStrTab;

#endif
