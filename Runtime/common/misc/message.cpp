/*
 * Message lines: "program: error: text" and "program: info: text", one line
 * of output per line of the message, and the start-up failure message.
 */
#include <zelk/err.h>
#include <zelk/format.h>
#include <zelk/init.h>
#include <zelk/path.h>
#include <zelk/stream.h>
#include <zelk/string.h>

namespace {

const char *g_pszrtMsgProgName;

const char *rtMsgProgName(void)
{
    if (!g_pszrtMsgProgName)
        g_pszrtMsgProgName = RTProcExecPath() + RTProcExecNameOffset();
    return g_pszrtMsgProgName;
}

void rtMsgWorker(PRTSTREAM pStream, const char *pszPrefix, const char *pszFormat, va_list va)
{
    if (!*pszFormat || !RTStrCmp(pszFormat, "\n"))
    {
        RTStrmFmt(pStream, "\n");
        return;
    }
    const char *pszProgName = rtMsgProgName();
    char *pszMsg = nullptr;
    va_list vaCopy;
    va_copy(vaCopy, va);
    ptrdiff_t const cchMsg = RTStrFmtToAllocV(&pszMsg, pszFormat, vaCopy, "rtMsgWorker");
    va_end(vaCopy);
    if (cchMsg >= 0 && pszMsg)
    {
        char *pszLine = pszMsg;
        while (*pszLine)
        {
            char *pszEnd = pszLine;
            while (*pszEnd && *pszEnd != '\n')
                pszEnd++;
            bool const fNewline = *pszEnd == '\n';
            *pszEnd = '\0';
            /* An empty line gets no prefix: its format leaves the arguments unused. */
            RTStrmFmt(pStream, *pszLine ? "%s: %s%s\n" : "\n", pszProgName, pszPrefix, pszLine);
            if (!fNewline)
                break;
            pszLine = pszEnd + 1;
        }
        RTStrRelease(pszMsg);
        return;
    }

    /* No memory for the whole message: straight through, in one piece. */
    RTStrmFmt(pStream, "%s: %s", pszProgName, pszPrefix);
    RTStrmFmtV(pStream, pszFormat, va);
    if (!RTStrChr(pszFormat, '\n'))
        RTStrmFmt(pStream, "\n");
}

} // namespace

int RTMsgPrintErrorV(const char *pszFormat, va_list va)
{
    rtMsgWorker(g_pStdErr, "error: ", pszFormat, va);
    return 0;
}

int RTMsgPrintError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTMsgPrintErrorV(pszFormat, va);
    va_end(va);
    return 0;
}

int RTMsgPrintInfoV(const char *pszFormat, va_list va)
{
    rtMsgWorker(g_pStdOut, "info: ", pszFormat, va);
    return 0;
}

int RTMsgPrintInfo(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTMsgPrintInfoV(pszFormat, va);
    va_end(va);
    return 0;
}

int RTMsgReportInitFailure(int rcInit)
{
    const char *pszPath = RTProcExecPath();
    size_t const offName = RTProcExecNameOffset();
    bool const fName = *pszPath && offName > 0 && offName < RTPATH_MAX && pszPath[offName];
    RTStrmFmt(g_pStdErr, "%s%sfatal error: RTR3Init: %Rrc\n", fName ? pszPath + offName : "",
              fName ? ": " : "", rcInit);
    return 3;
}
