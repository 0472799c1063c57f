/*
 * RTStrFmtToBuf against the host snprintf on the same mix of formats, side by
 * side in one run.  Each case runs under both names; at the end the ratio of
 * the engine's time to snprintf's is printed per case and for the whole mix.
 * A ratio of 1.0 or less means the engine is at least as fast.  On a shared
 * machine run it with --benchmark_repetitions=5: the fastest repetition of
 * each benchmark is the one compared.
 */
#include <zelk/format.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

char g_szBuf[256];

/* One case: formats with the given front end and returns the length. */
template <typename Fn>
void runCase(benchmark::State &state, Fn fn)
{
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(fn());
        benchmark::ClobberMemory();
    }
}

volatile int g_iValue = -123456;
volatile unsigned g_uValue = 3000000000u;
volatile unsigned long long g_ullValue = 18446744073709551557ull;
const char *volatile g_pszName = "installer";
const char *volatile g_pszPath = "C:\\Users\\someone\\AppData\\Local\\Temp\\kestrelyn";
void *volatile g_pv = (void *)&g_szBuf;

#define FMT_CASES(X)                                                                      \
 X(Plain, "Extracting the package to the temporary directory...")                         \
 X(Int, "%d", g_iValue)                                                                   \
 X(Unsigned, "%u", g_uValue)                                                              \
 X(Hex, "%x", g_uValue)                                                                   \
 X(Hex08, "%08x", (unsigned)g_iValue)                                                     \
 X(StrLeft10, "%-10s", g_pszName)                                                         \
 X(Str, "%s", g_pszPath)                                                                  \
 X(ULongLong, "%llu", g_ullValue)                                                         \
 X(Pointer, "%p", g_pv)                                                                   \
 X(Message10, "%s: error %d (%#x) in %s at %p, %u of %llu bytes, %-8s|%5d|%c", g_pszName, \
   g_iValue, (unsigned)g_iValue, g_pszPath, g_pv, g_uValue, g_ullValue, g_pszName,        \
   (int)(g_uValue & 0xffff), 'x')

/*
 * The format strings are read through volatile pointers so that the compiler
 * cannot turn a snprintf call with a constant format into a copy.
 */
#define DEFINE_FORMAT(a_Name, a_pszFormat, ...) const char *volatile g_psz##a_Name = a_pszFormat;
FMT_CASES(DEFINE_FORMAT)

#define DEFINE_CASE(a_Name, a_pszFormat, ...)                                                      \
 void BM_Engine_##a_Name(benchmark::State &state)                                                  \
 {                                                                                                 \
  runCase(state,                                                                                   \
          [] { return RTStrFmtToBuf(g_szBuf, sizeof(g_szBuf), g_psz##a_Name, ##__VA_ARGS__); });   \
 }                                                                                                 \
 BENCHMARK(BM_Engine_##a_Name);                                                                    \
 void BM_Snprintf_##a_Name(benchmark::State &state)                                                \
 {                                                                                                 \
  runCase(state, [] { return snprintf(g_szBuf, sizeof(g_szBuf), g_psz##a_Name, ##__VA_ARGS__); }); \
 }                                                                                                 \
 BENCHMARK(BM_Snprintf_##a_Name);

FMT_CASES(DEFINE_CASE)

/* The same formats run back to back, one pass each: the "mix". */
#define CALL_ENGINE(a_Name, a_pszFormat, ...) \
 cch += RTStrFmtToBuf(g_szBuf, sizeof(g_szBuf), g_psz##a_Name, ##__VA_ARGS__);
#define CALL_SNPRINTF(a_Name, a_pszFormat, ...) \
 cch += (size_t)snprintf(g_szBuf, sizeof(g_szBuf), g_psz##a_Name, ##__VA_ARGS__);

void BM_Engine_Mix(benchmark::State &state)
{
    for (auto _ : state)
    {
        size_t cch = 0;
        FMT_CASES(CALL_ENGINE)
        benchmark::DoNotOptimize(cch);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Engine_Mix);

void BM_Snprintf_Mix(benchmark::State &state)
{
    for (auto _ : state)
    {
        size_t cch = 0;
        FMT_CASES(CALL_SNPRINTF)
        benchmark::DoNotOptimize(cch);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Snprintf_Mix);

/* Console output as usual, and the per-iteration times kept for the ratios. */
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> mapNsPerIter;
    std::vector<std::string> vecCases;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
        {
            if (run.run_type != Run::RT_Iteration || !run.iterations)
                continue;
            /* With repetitions the fastest one counts: the least disturbed by other load. */
            std::string const strName = run.run_name.function_name;
            double const rNs = run.GetAdjustedRealTime();
            auto it = mapNsPerIter.find(strName);
            if (it != mapNsPerIter.end())
            {
                if (rNs < it->second)
                    it->second = rNs;
                continue;
            }
            mapNsPerIter[strName] = rNs;
            std::string const strPrefix = "BM_Engine_";
            if (strName.rfind(strPrefix, 0) == 0)
                vecCases.push_back(strName.substr(strPrefix.size()));
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    printf("\nRTStrFmtToBuf / snprintf time ratio (<= 1.0: the engine is no slower)\n");
    for (const std::string &strCase : Reporter.vecCases)
    {
        auto itEngine = Reporter.mapNsPerIter.find("BM_Engine_" + strCase);
        auto itHost = Reporter.mapNsPerIter.find("BM_Snprintf_" + strCase);
        if (itEngine == Reporter.mapNsPerIter.end() || itHost == Reporter.mapNsPerIter.end()
            || itHost->second <= 0)
            continue;
        printf("  %-10s %6.3f\n", strCase.c_str(), itEngine->second / itHost->second);
    }
    benchmark::Shutdown();
    return 0;
}
