/*
 * The minimal logger: two process-wide instances, absent by default, each a
 * sink fed by the format engine.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/log.h>

namespace {

PRTLOGGER g_pDefaultLogger;
PRTLOGGER g_pReleaseLogger;

size_t rtLogOutput(void *pvArg, const char *pch, size_t cch)
{
    PRTLOGGER pLogger = (PRTLOGGER)pvArg;
    if (cch)
        pLogger->pfnSink(pLogger->pvUser, pch, cch);
    return cch;
}

void rtLogRelErrHook(const char *pszFormat, va_list va)
{
    RTLogLoggerV(g_pReleaseLogger, pszFormat, va);
}

} // namespace

void RTLogInit(PRTLOGGER pLogger, PFNRTLOGSINK pfnSink, void *pvUser)
{
    pLogger->u32Magic = RTLOGGER_MAGIC;
    pLogger->pfnSink = pfnSink;
    pLogger->pvUser = pvUser;
}

PRTLOGGER RTLogDefaultInstance(void)
{
    return g_pDefaultLogger;
}

PRTLOGGER RTLogSetDefaultInstance(PRTLOGGER pLogger)
{
    PRTLOGGER const pOld = g_pDefaultLogger;
    g_pDefaultLogger = pLogger;
    return pOld;
}

PRTLOGGER RTLogRelGetDefaultInstance(void)
{
    return g_pReleaseLogger;
}

PRTLOGGER RTLogRelSetDefaultInstance(PRTLOGGER pLogger)
{
    PRTLOGGER const pOld = g_pReleaseLogger;
    g_pReleaseLogger = pLogger;
    rtErrSetReleaseLogger(pLogger ? rtLogRelErrHook : nullptr);
    return pOld;
}

void RTLogLoggerV(PRTLOGGER pLogger, const char *pszFormat, va_list va)
{
    if (!pLogger || pLogger->u32Magic != RTLOGGER_MAGIC || !pLogger->pfnSink)
        return;
    RTStrFmtV(rtLogOutput, pLogger, nullptr, nullptr, pszFormat, va);
}

void RTLogLogger(PRTLOGGER pLogger, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTLogLoggerV(pLogger, pszFormat, va);
    va_end(va);
}

void RTLogFlush(PRTLOGGER pLogger)
{
    (void)pLogger;
}
