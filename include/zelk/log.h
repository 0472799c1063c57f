/*
 * The runtime's logger, in its least form: a logger is a sink that receives
 * formatted text.  Two process-wide instances exist, the default logger and
 * the release logger; both are absent until a program installs one, so by
 * default nothing is logged.  The crash report and the runtime's release
 * assertions write through them.
 */
#ifndef ZELK_LOG_H
#define ZELK_LOG_H

#include <zelk/types.h>

/* Receives each piece of formatted output (not NUL-terminated). */
typedef void (*PFNRTLOGSINK)(void *pvUser, const char *pch, size_t cch);

typedef struct RTLOGGER
{
    uint32_t u32Magic; /* RTLOGGER_MAGIC while usable */
    PFNRTLOGSINK pfnSink;
    void *pvUser;
} RTLOGGER;
typedef RTLOGGER *PRTLOGGER;

#define RTLOGGER_MAGIC UINT32_C(0x19320731)

/* Prepares a logger record around a sink. */
void RTLogInit(PRTLOGGER pLogger, PFNRTLOGSINK pfnSink, void *pvUser);

/* The default instance (null when absent); setting returns the previous one. */
PRTLOGGER RTLogDefaultInstance(void);
PRTLOGGER RTLogSetDefaultInstance(PRTLOGGER pLogger);
/*
 * The release instance.  Installing one also routes the runtime's release
 * log lines (e.g. unmapped NT statuses) into it.
 */
PRTLOGGER RTLogRelGetDefaultInstance(void);
PRTLOGGER RTLogRelSetDefaultInstance(PRTLOGGER pLogger);

/* Formats (runtime format syntax) into the logger; a null or unusable logger writes nothing. */
void RTLogLogger(PRTLOGGER pLogger, const char *pszFormat, ...);
void RTLogLoggerV(PRTLOGGER pLogger, const char *pszFormat, va_list va);
/* Flushes the logger (sinks write through, so there is nothing pending). */
void RTLogFlush(PRTLOGGER pLogger);

#endif
