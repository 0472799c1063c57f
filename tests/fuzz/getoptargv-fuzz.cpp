/*
 * Fuzzes the splitting of command-line strings.
 *
 * Input: byte 0 picks the quoting style (bit 0) and the separators (bits 1-2:
 * default, ",", a non-ASCII arrow, or blank plus arrow); the rest is the
 * command line up to its first NUL.  Checked: copying and in-place splitting
 * agree on the status and every argument; the array is null-terminated; the
 * copy holds all arguments inside its strlen + 1 bytes; and, with the default
 * separators, quoting the arguments again (Windows rules for style 0, single
 * quotes for the Bourne shell) and splitting that gives the same arguments.
 */
#include <cstring>
#include <string>
#include <vector>

#include <zelk/err.h>
#include <zelk/getopt.h>

namespace {

void check(bool f)
{
    if (!f)
        __builtin_trap();
}

/* Splits and returns the status; the arguments go to *pvecArgs on success. */
int split(std::string const &strCmdLine, uint32_t fFlags, const char *pszSeparators,
          std::vector<std::string> *pvecArgs)
{
    std::vector<char> vecBuf(strCmdLine.begin(), strCmdLine.end());
    vecBuf.push_back('\0');
    char **papszArgv = nullptr;
    int cArgs = -1;
    int const rc = RTGetOptArgvFromString(&papszArgv, &cArgs, vecBuf.data(), fFlags, pszSeparators);
    pvecArgs->clear();
    if (rc != 0)
    {
        check(papszArgv == nullptr && cArgs == -1);
        return rc;
    }
    check(cArgs >= 0 && papszArgv[cArgs] == nullptr);
    bool const fInPlace = (fFlags & RTGETOPTARGV_CNV_MODIFY_INPUT) != 0;
    const char *pszBase = fInPlace ? vecBuf.data() : papszArgv[0];
    for (int i = 0; i < cArgs; i++)
    {
        size_t const cch = strlen(papszArgv[i]);
        check(papszArgv[i] >= pszBase && papszArgv[i] + cch < pszBase + vecBuf.size());
        pvecArgs->emplace_back(papszArgv[i], cch);
    }
    RTGetOptArgvFreeEx(papszArgv, fFlags);
    return rc;
}

std::string quoteWindows(std::string const &strArg)
{
    if (!strArg.empty() && strArg.find_first_of(" \t\n\r\"") == std::string::npos)
        return strArg;
    std::string str = "\"";
    size_t cBackslashes = 0;
    for (char ch : strArg)
    {
        if (ch == '\\')
        {
            cBackslashes++;
            continue;
        }
        str.append(ch == '"' ? cBackslashes * 2 + 1 : cBackslashes, '\\');
        cBackslashes = 0;
        str += ch;
    }
    str.append(cBackslashes * 2, '\\');
    return str + "\"";
}

std::string quoteBourne(std::string const &strArg)
{
    std::string str = "'";
    for (char ch : strArg)
        str += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return str + "'";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    if (cb < 1)
        return 0;
    static const char *const s_apszSeparators[] = { nullptr, ",", "\xe2\x86\x92", " \xe2\x86\x92" };
    uint32_t const fStyle = pb[0] & 1;
    const char *pszSeparators = s_apszSeparators[(pb[0] >> 1) & 3];
    std::string const strCmdLine(reinterpret_cast<const char *>(pb + 1),
                                 strnlen(reinterpret_cast<const char *>(pb + 1), cb - 1));

    std::vector<std::string> vecCopy, vecInPlace;
    int const rcCopy = split(strCmdLine, fStyle, pszSeparators, &vecCopy);
    int const rcInPlace = split(strCmdLine, fStyle | RTGETOPTARGV_CNV_MODIFY_INPUT, pszSeparators,
                                &vecInPlace);
    check(rcCopy == rcInPlace);
    check(vecCopy == vecInPlace);
    if (rcCopy != 0 || pszSeparators)
        return 0;

    std::string strQuoted;
    for (size_t i = 0; i < vecCopy.size(); i++)
        strQuoted += (i ? " " : "") + (fStyle ? quoteBourne(vecCopy[i]) : quoteWindows(vecCopy[i]));
    std::vector<std::string> vecAgain;
    check(split(strQuoted, fStyle, nullptr, &vecAgain) == 0);
    check(vecAgain == vecCopy);
    return 0;
}
