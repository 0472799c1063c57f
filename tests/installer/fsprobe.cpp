/*
 * A second process for the installer tests: it holds files and mutexes the
 * way other programs on a user's machine do, and tries what a hostile or
 * careless program would do to the installer's files.
 *
 *   fsprobe hold FILE MS [READY]     opens FILE for reading, sharing read and
 *                                    write but not delete (like an indexer),
 *                                    creates READY, holds it MS milliseconds
 *   fsprobe hold-new FILE MS [READY] the same, but first waits (up to 60 s)
 *                                    for FILE to appear, and opens it at once:
 *                                    a file that another program is about to
 *                                    make; READY.polling is created when the
 *                                    waiting begins
 *   fsprobe hold-mutex NAME MS [READY]  creates the named mutex and holds it
 *   fsprobe try-file FILE            tries to open FILE for writing, to
 *                                    replace, rename and delete it, and to
 *                                    open it for reading
 *   fsprobe try-dir DIR              tries to rename and to delete DIR
 *   fsprobe file-id FILE             prints FILE's file ID (volume serial and
 *                                    file index, in hex), or the error
 *   fsprobe loadlib NAME...          loads each DLL by its bare name, the
 *                                    way a careless program does (the
 *                                    control of the DLL-planting test)
 *   fsprobe wait-for FILE MS         creates FILE.started, then waits until
 *                                    FILE exists, at most MS milliseconds
 *                                    (a custom action of the test package
 *                                    that keeps an install running)
 *
 * The try commands print one line per attempt, "what: ok" or "what: N" with
 * the Windows error, and undo whatever succeeded where they can.
 */
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void report(const char *pszWhat, bool fOk)
{
    if (fOk)
        std::printf("%s: ok\n", pszWhat);
    else
        std::printf("%s: %lu\n", pszWhat, (unsigned long)GetLastError());
}

void touch(const wchar_t *pwszPath)
{
    HANDLE h = CreateFileW(pwszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

int tryFile(const std::wstring &file)
{
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    report("open-write", h != INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);

    std::wstring const other = file + L".other";
    touch(other.c_str());
    BOOL fOk = MoveFileExW(other.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
    report("replace", fOk);
    DeleteFileW(other.c_str());

    std::wstring const renamed = file + L".renamed";
    fOk = MoveFileW(file.c_str(), renamed.c_str());
    report("rename", fOk);
    if (fOk)
        MoveFileW(renamed.c_str(), file.c_str());

    report("delete", DeleteFileW(file.c_str()));

    h = CreateFileW(file.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    0, nullptr);
    report("open-read", h != INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return 0;
}

int tryDir(const std::wstring &dir)
{
    std::wstring const renamed = dir + L".renamed";
    BOOL fOk = MoveFileW(dir.c_str(), renamed.c_str());
    report("rename", fOk);
    if (fOk)
        MoveFileW(renamed.c_str(), dir.c_str());
    report("delete", RemoveDirectoryW(dir.c_str()));
    return 0;
}

int fileId(const std::wstring &file)
{
    HANDLE h = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION Info;
    bool const fOk = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &Info);
    if (!fOk)
        report("file-id", false);
    else
        std::printf("%08lx:%08lx%08lx\n", (unsigned long)Info.dwVolumeSerialNumber,
                    (unsigned long)Info.nFileIndexHigh, (unsigned long)Info.nFileIndexLow);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    return fOk ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    std::wstring const cmd = argc > 1 ? argv[1] : L"";
    if (cmd == L"try-file" && argc == 3)
        return tryFile(argv[2]);
    if (cmd == L"try-dir" && argc == 3)
        return tryDir(argv[2]);
    if (cmd == L"file-id" && argc == 3)
        return fileId(argv[2]);
    if ((cmd == L"hold" || cmd == L"hold-new" || cmd == L"hold-mutex") && (argc == 4 || argc == 5))
    {
        HANDLE h;
        if (cmd == L"hold")
            h = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        else if (cmd == L"hold-new")
        {
            if (argc == 5)
                touch((std::wstring(argv[4]) + L".polling").c_str());
            /* No sleep between the attempts: the file may not live long. */
            DWORD const msStart = GetTickCount();
            do
                h = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
            while (h == INVALID_HANDLE_VALUE && GetTickCount() - msStart < 60000);
        }
        else
            h = CreateMutexW(nullptr, FALSE, argv[2]);
        if (!h || h == INVALID_HANDLE_VALUE)
        {
            report("hold", false);
            return 1;
        }
        if (argc == 5)
            touch(argv[4]);
        Sleep((DWORD)std::wcstoul(argv[3], nullptr, 10));
        CloseHandle(h);
        return 0;
    }
    if (cmd == L"loadlib" && argc >= 3)
    {
        for (int i = 2; i < argc; i++)
            report("loadlib", LoadLibraryW(argv[i]) != nullptr);
        return 0;
    }
    if (cmd == L"wait-for" && argc == 4)
    {
        std::wstring const file = argv[2];
        touch((file + L".started").c_str());
        for (DWORD cMs = 0; cMs < std::wcstoul(argv[3], nullptr, 10); cMs += 50)
        {
            if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
                return 0;
            Sleep(50);
        }
        return 1;
    }
    std::fprintf(
        stderr,
        "usage: fsprobe hold|hold-new|hold-mutex|try-file|try-dir|file-id|loadlib|wait-for ...\n");
    return 2;
}
