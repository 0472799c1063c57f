/*
 * Test launcher: runs a Windows program, captures its standard streams into
 * files and reports its full 32-bit exit code (a shell under Wine sees only
 * the low 8 bits, so 3010 would arrive as 194).
 *
 *   launch.exe [--stdout FILE] [--stderr FILE] [--stdin FILE] [--timeout MS]
 *              [--cwd DIR] -- PROGRAM [ARGS...]
 *
 * Prints "exit code: N" (decimal, unsigned) on its own standard output and
 * exits 0.  Launch failures print "launch: ..." and exit 125; a timeout kills
 * the child, prints "timeout" and exits 124.
 */
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Quotes one argument the way CommandLineToArgvW and the C runtime split it.
std::wstring quoteArg(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t ch : arg)
    {
        if (ch == L'\\')
        {
            backslashes++;
            continue;
        }
        if (ch == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += ch;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

HANDLE openStream(const wchar_t *path, bool forWriting)
{
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    return CreateFileW(path, forWriting ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int fail(const char *what)
{
    std::printf("launch: %s failed: %lu\n", what, (unsigned long)GetLastError());
    return 125;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *stdoutPath = nullptr, *stderrPath = nullptr, *stdinPath = nullptr;
    const wchar_t *cwd = nullptr;
    DWORD timeoutMs = INFINITE;
    int i = 1;
    for (; i < argc; i++)
    {
        std::wstring opt = argv[i];
        if (opt == L"--")
        {
            i++;
            break;
        }
        if (i + 1 >= argc)
        {
            std::printf("launch: option without value\n");
            return 125;
        }
        if (opt == L"--stdout")
            stdoutPath = argv[++i];
        else if (opt == L"--stderr")
            stderrPath = argv[++i];
        else if (opt == L"--stdin")
            stdinPath = argv[++i];
        else if (opt == L"--cwd")
            cwd = argv[++i];
        else if (opt == L"--timeout")
            timeoutMs = (DWORD)std::wcstoul(argv[++i], nullptr, 10);
        else
        {
            std::printf("launch: unknown option\n");
            return 125;
        }
    }
    if (i >= argc)
    {
        std::printf("launch: no program\n");
        return 125;
    }

    std::wstring cmdLine;
    for (int j = i; j < argc; j++)
    {
        if (j > i)
            cmdLine += L' ';
        cmdLine += quoteArg(argv[j]);
    }

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = stdinPath ? openStream(stdinPath, false) : GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = stdoutPath ? openStream(stdoutPath, true) : GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = stderrPath ? openStream(stderrPath, true) : GetStdHandle(STD_ERROR_HANDLE);
    if (si.hStdInput == INVALID_HANDLE_VALUE || si.hStdOutput == INVALID_HANDLE_VALUE
        || si.hStdError == INVALID_HANDLE_VALUE)
        return fail("opening a stream file");

    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmdLine[0], nullptr, nullptr, TRUE, 0, nullptr, cwd, &si, &pi))
        return fail("CreateProcessW");
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
    {
        TerminateProcess(pi.hProcess, 124);
        WaitForSingleObject(pi.hProcess, 5000);
        std::printf("timeout\n");
        return 124;
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(pi.hProcess, &exitCode))
        return fail("GetExitCodeProcess");
    CloseHandle(pi.hProcess);
    std::printf("exit code: %lu\n", (unsigned long)exitCode);
    return 0;
}
