/*
 * A DLL planted beside the executable under a system DLL's name.  If it is
 * ever loaded it leaves a marker file next to itself.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInst, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        wchar_t wszPath[MAX_PATH + 16];
        DWORD cwc = GetModuleFileNameW(hInst, wszPath, MAX_PATH);
        lstrcpyW(&wszPath[cwc], L".loaded");
        HANDLE h = CreateFileW(wszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }
    return TRUE;
}
