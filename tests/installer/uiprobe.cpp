/*
 * Watches an interactive installer run for the tests: starts the program the
 * way the desktop does (no console, own standard handles), reports every
 * message box it shows and, with --console, what its console holds while the
 * box is up.  A box is dismissed by the probe (--dismiss) or by someone else
 * (the test's X client); --ready names a file that is created once a box has
 * been reported, so the test knows when it may take its screenshot.
 *
 *   uiprobe [--timeout MS] [--console] [--dismiss] [--ready FILE]
 *           [--stdout FILE] [--stderr FILE] -- PROGRAM [ARGS...]
 *
 * Output, UTF-8: for each box "box-title: T" and one "box-text: L" per line
 * of its text; for the console "console: L" per line; at the end
 * "exit code: N", or "timeout" (the program is killed, exit 124).
 */
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

/*
 * Attaching to the program's console takes over the standard handles, so the
 * report goes straight to the handle this probe started with.
 */
HANDLE g_hReport;

void emit(const char *pszPrefix, const std::string &str)
{
    std::string const line = std::string(pszPrefix) + str + "\n";
    DWORD cb = 0;
    WriteFile(g_hReport, line.data(), (DWORD)line.size(), &cb, nullptr);
}

struct FindBox
{
    DWORD idProcess;
    HWND hwnd;
};

BOOL CALLBACK findBoxCallback(HWND hwnd, LPARAM lParam)
{
    FindBox *pFind = (FindBox *)lParam;
    DWORD idProcess = 0;
    GetWindowThreadProcessId(hwnd, &idProcess);
    wchar_t wszClass[32];
    if (idProcess == pFind->idProcess && IsWindowVisible(hwnd) && GetClassNameW(hwnd, wszClass, 32)
        && !std::wcscmp(wszClass, L"#32770"))
    {
        pFind->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::string toUtf8(const std::wstring &wstr)
{
    int const cch = WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), (int)wstr.size(), nullptr, 0,
                                        nullptr, nullptr);
    std::string str((size_t)cch, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), (int)wstr.size(), &str[0], cch, nullptr, nullptr);
    return str;
}

void printLines(const char *pszPrefix, const std::wstring &wstrText)
{
    size_t off = 0;
    for (;;)
    {
        size_t const offEnd = wstrText.find(L'\n', off);
        std::wstring line = wstrText.substr(off, offEnd == std::wstring::npos ? std::wstring::npos
                                                                              : offEnd - off);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        emit(pszPrefix, toUtf8(line));
        if (offEnd == std::wstring::npos)
            break;
        off = offEnd + 1;
    }
}

/* The console's rows up to the cursor; a row that is full to its last column continues on the next. */
void printConsole(DWORD idProcess)
{
    FreeConsole();
    if (!AttachConsole(idProcess))
    {
        emit("console: ", "<none: " + std::to_string(GetLastError()) + ">");
        return;
    }
    HANDLE h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO Info;
    std::vector<std::wstring> lines;
    if (h != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(h, &Info))
    {
        std::wstring current;
        std::vector<wchar_t> row((size_t)Info.dwSize.X);
        for (SHORT y = 0; y < Info.dwCursorPosition.Y; y++)
        {
            DWORD cRead = 0;
            ReadConsoleOutputCharacterW(h, row.data(), (DWORD)row.size(), COORD{ 0, y }, &cRead);
            std::wstring text(row.data(), cRead);
            bool const fFull = !text.empty() && text.back() != L' ';
            current += fFull ? text : text.substr(0, text.find_last_not_of(L' ') + 1);
            if (!fFull)
            {
                lines.push_back(current);
                current.clear();
            }
        }
        CloseHandle(h);
    }
    FreeConsole();
    for (const std::wstring &line : lines)
        emit("console: ", toUtf8(line));
}

HANDLE openOutput(const wchar_t *pwszPath)
{
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    return CreateFileW(pwszPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, 0, nullptr);
}

std::wstring quoteArg(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t cBackslashes = 0;
    for (wchar_t wc : arg)
    {
        if (wc == L'\\')
        {
            cBackslashes++;
            continue;
        }
        out.append(wc == L'"' ? cBackslashes * 2 + 1 : cBackslashes, L'\\');
        cBackslashes = 0;
        out += wc;
    }
    out.append(cBackslashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    g_hReport = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD msTimeout = 60000;
    bool fConsole = false, fDismiss = false;
    const wchar_t *pwszReady = nullptr, *pwszStdOut = nullptr, *pwszStdErr = nullptr;
    int i = 1;
    for (; i < argc; i++)
    {
        std::wstring const opt = argv[i];
        if (opt == L"--")
        {
            i++;
            break;
        }
        if (opt == L"--console")
            fConsole = true;
        else if (opt == L"--dismiss")
            fDismiss = true;
        else if (i + 1 < argc && opt == L"--timeout")
            msTimeout = (DWORD)std::wcstoul(argv[++i], nullptr, 10);
        else if (i + 1 < argc && opt == L"--ready")
            pwszReady = argv[++i];
        else if (i + 1 < argc && opt == L"--stdout")
            pwszStdOut = argv[++i];
        else if (i + 1 < argc && opt == L"--stderr")
            pwszStdErr = argv[++i];
        else
        {
            std::printf("uiprobe: bad option\n");
            return 125;
        }
    }
    if (i >= argc)
        return 125;
    std::wstring cmdLine;
    for (int j = i; j < argc; j++)
        cmdLine += (j > i ? L" " : L"") + quoteArg(argv[j]);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (pwszStdOut || pwszStdErr)
    {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = pwszStdOut ? openOutput(pwszStdOut) : nullptr;
        si.hStdError = pwszStdErr ? openOutput(pwszStdErr) : nullptr;
    }
    /*
     * A desktop of the test's own: its windows are drawn by a display driver
     * started now, on the test's display, whatever desktop process an
     * earlier program left behind for the default one.
     */
    wchar_t wszDesktop[] = L"KestrelynTest";
    HDESK hDesktop = CreateDesktopW(wszDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (!hDesktop || !SetThreadDesktop(hDesktop))
    {
        emit("uiprobe: no desktop: ", std::to_string(GetLastError()));
        return 125;
    }
    si.lpDesktop = wszDesktop;
    PROCESS_INFORMATION pi = {};
    /* Detached: the program gets no console of ours, as when started from the desktop. */
    if (!CreateProcessW(nullptr, &cmdLine[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                        nullptr, &si, &pi))
    {
        std::printf("uiprobe: CreateProcessW failed: %lu\n", (unsigned long)GetLastError());
        return 125;
    }
    CloseHandle(pi.hThread);

    DWORD const msStart = GetTickCount();
    HWND hwndLast = nullptr;
    for (;;)
    {
        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - msStart > msTimeout)
        {
            TerminateProcess(pi.hProcess, 124);
            emit("", "timeout");
            return 124;
        }
        FindBox Find = { pi.dwProcessId, nullptr };
        EnumDesktopWindows(hDesktop, findBoxCallback, (LPARAM)&Find);
        if (!Find.hwnd || Find.hwnd == hwndLast)
            continue;
        /* Visible can come a moment before the texts are in. */
        wchar_t wszTitle[256] = L"";
        for (int iTry = 0; iTry < 100 && !GetWindowTextW(Find.hwnd, wszTitle, 256); iTry++)
            Sleep(10);
        std::vector<wchar_t> text(65536);
        GetDlgItemTextW(Find.hwnd, 0xFFFF, text.data(), (int)text.size());
        emit("box-title: ", toUtf8(wszTitle));
        printLines("box-text: ", text.data());
        if (fConsole)
            printConsole(pi.dwProcessId);
        if (pwszReady)
            CloseHandle(openOutput(pwszReady));
        if (fDismiss)
            PostMessageW(Find.hwnd, WM_COMMAND, IDOK, 0);
        hwndLast = Find.hwnd;
    }
    DWORD uExit = 0;
    GetExitCodeProcess(pi.hProcess, &uExit);
    emit("exit code: ", std::to_string(uExit));
    return 0;
}
