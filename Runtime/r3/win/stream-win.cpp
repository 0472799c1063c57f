/*
 * Standard handles of the streams.  Redirected output (a file or a pipe, not
 * a console) is written in large blocks: the stream becomes fully buffered.
 */
#include <zelk/err.h>

#include "stream-internal.h"
#include "win.h"

int rtStrmResolveStdHandle(RTSTRMOBJ *pStream)
{
    static const DWORD s_aidStd[] = { STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE };
    if (pStream->iStdHandle < 0 || pStream->iStdHandle > 2)
        return KERR_INVALID_HANDLE;
    HANDLE const hNative = GetStdHandle(s_aidStd[pStream->iStdHandle]);
    if (hNative == nullptr || hNative == INVALID_HANDLE_VALUE)
        return KERR_INVALID_HANDLE;
    int const rc = RTFileWrapNative(&pStream->hFile, (intptr_t)hNative);
    if (RT_FAILURE(rc))
        return rc;
    DWORD fMode;
    if (!GetConsoleMode(hNative, &fMode))
        pStream->enmBufStyle = RTSTRMBUF_FULL;
    return KINF_SUCCESS;
}
