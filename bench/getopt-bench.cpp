/*
 * Command-line parsing costs, side by side in one run: splitting a typical
 * installer command line in place (as start-up does) against the copying
 * mode, parsing the split vector with an installer-sized option table, and
 * the runtime's integer reader against the C library's strtoul.  Compare the
 * pairs as ratios; absolute times depend on the machine.
 */
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include <zelk/getopt.h>
#include <zelk/strtonum.h>

namespace {

const char g_szCmdLine[]
    = "\"C:\\Program Files\\Kestrelyn\\KestrelynSetup.exe\" --silent --no-silent-cert "
      "--path \"C:\\Users\\Build Agent\\AppData\\Local\\Temp\\kst\" --msiparams "
      "\"INSTALLDIR=\"\"C:\\Program Files\\Kestrelyn\"\"\" --msi-prop X \"y z\" -v /logging";

void splitInPlace(benchmark::State &state)
{
    char szBuf[sizeof(g_szCmdLine)];
    for (auto _ : state)
    {
        memcpy(szBuf, g_szCmdLine, sizeof(szBuf));
        char **papszArgv;
        int cArgs;
        RTGetOptArgvFromString(&papszArgv, &cArgs, szBuf, RTGETOPTARGV_CNV_MODIFY_INPUT, nullptr);
        benchmark::DoNotOptimize(papszArgv[cArgs - 1]);
        RTGetOptArgvFreeEx(papszArgv, RTGETOPTARGV_CNV_MODIFY_INPUT);
    }
}
BENCHMARK(splitInPlace);

void splitCopying(benchmark::State &state)
{
    char szBuf[sizeof(g_szCmdLine)];
    for (auto _ : state)
    {
        /* The same copy of the input as above, so only the modes differ. */
        memcpy(szBuf, g_szCmdLine, sizeof(szBuf));
        char **papszArgv;
        int cArgs;
        RTGetOptArgvFromString(&papszArgv, &cArgs, szBuf, 0, nullptr);
        benchmark::DoNotOptimize(papszArgv[cArgs - 1]);
        RTGetOptArgvFree(papszArgv);
    }
}
BENCHMARK(splitCopying);

void parseOptions(benchmark::State &state)
{
    static const RTOPTIONDEF s_aOpts[] = // clang-format off
    {
        { "--extract", 'x', 0 }, { "-extract", 'x', 0 }, { "/extract", 'x', 0 },
        { "--silent", 's', 0 }, { "-silent", 's', 0 }, { "/silent", 's', 0 },
        { "--no-silent-cert", 'c', 0 }, { "-no-silent-cert", 'c', 0 }, { "/no-silent-cert", 'c', 0 },
        { "--logging", 'l', 0 }, { "-logging", 'l', 0 }, { "/logging", 'l', 0 },
        { "--path", 'p', RTGETOPT_REQ_STRING }, { "-path", 'p', RTGETOPT_REQ_STRING },
        { "--msiparams", 'm', RTGETOPT_REQ_STRING }, { "--msi-prop", 'P', RTGETOPT_REQ_STRING },
        { "--verbose", 'v', 0 }, { "-verbose", 'v', 0 }, { "/verbose", 'v', 0 },
    };
    // clang-format on
    char szBuf[sizeof(g_szCmdLine)];
    memcpy(szBuf, g_szCmdLine, sizeof(szBuf));
    char **papszArgv;
    int cArgs;
    RTGetOptArgvFromString(&papszArgv, &cArgs, szBuf, RTGETOPTARGV_CNV_MODIFY_INPUT, nullptr);
    for (auto _ : state)
    {
        RTOPTIONSTATE State;
        RTGetOptInit(&State, cArgs, papszArgv, s_aOpts, RT_ELEMENTS(s_aOpts), 1, 0);
        RTOPTIONVALUE Value;
        int rc;
        while ((rc = RTGetOpt(&State, &Value)) != 0)
        {
            if (rc == 'P')
                RTGetOptTakeValue(&State, &Value, RTGETOPT_REQ_STRING);
            benchmark::DoNotOptimize(Value);
        }
    }
    RTGetOptArgvFreeEx(papszArgv, RTGETOPTARGV_CNV_MODIFY_INPUT);
}
BENCHMARK(parseOptions);

const char *const g_apszNumbers[] = { "0", "42", "65535", "4294967295", "123456789", "7" };

void readRuntime(benchmark::State &state)
{
    for (auto _ : state)
        for (const char *psz : g_apszNumbers)
        {
            uint32_t u;
            benchmark::DoNotOptimize(RTStrToUInt32Ex(psz, nullptr, 10, &u));
            benchmark::DoNotOptimize(u);
        }
}
BENCHMARK(readRuntime);

void readCLibrary(benchmark::State &state)
{
    for (auto _ : state)
        for (const char *psz : g_apszNumbers)
        {
            char *pszEnd;
            benchmark::DoNotOptimize(strtoul(psz, &pszEnd, 10));
            benchmark::DoNotOptimize(pszEnd);
        }
}
BENCHMARK(readCLibrary);

} // namespace

BENCHMARK_MAIN();
