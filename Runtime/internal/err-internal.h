/*
 * The generated status table (see tools/gen-status-table.py).
 */
#ifndef ZELK_INTERNAL_ERR_H
#define ZELK_INTERNAL_ERR_H

#include <zelk/err.h>

extern const RTSTATUSENTRY g_aRTErrEntries[];
extern const size_t g_cRTErrEntries;
/* The messages' string table; the names' is g_RTErrStrTab (<zelk/err.h>). */
extern const RTERRSTRTAB g_RTErrMsgStrTab;

#endif
