/*
 * A second baseline of the start-up benchmark: the empty program plus what
 * the runtime's initialisation must do for WinSock - load "ws2_32.dll" from
 * the system directory - so that the stub's own start-up cost can be told
 * from the library's.
 */
#include "win.h"

extern "C" void WINAPI EmptyWs2Start(void)
{
    wchar_t wszPath[MAX_PATH + 16];
    UINT const cwc = GetSystemDirectoryW(wszPath, MAX_PATH);
    if (cwc && cwc < MAX_PATH)
    {
        const wchar_t *pwszName = L"\\ws2_32.dll";
        UINT off = cwc;
        while (*pwszName)
            wszPath[off++] = *pwszName++;
        wszPath[off] = 0;
        LoadLibraryExW(wszPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    ExitProcess(0);
}
