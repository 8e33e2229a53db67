// Formatting into a fixed buffer against the C library's snprintf on the same
// mixed formats; prints each ratio at the end of the run.
#include <stdio.h>

#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include <quab/string.h>

namespace {

constexpr const char *kpszProgram = "morvstub-pack";
constexpr const char *kpszPath = "C:\\Program Files (x86)\\Morvaquill\\product.msi";

void BM_Mixed_RTStrFmtToBuf(benchmark::State &State)
{
    char szBuf[256];
    int i = 0;
    for (auto _ : State)
    {
        size_t const cch = RTStrFmtToBuf(szBuf, sizeof(szBuf), "%s: %d files, flags %#x, %llu bytes in %s\n",
                                         kpszProgram, i, 0x1f00u + i, 1234567ULL * i, kpszPath);
        benchmark::DoNotOptimize(cch);
        benchmark::DoNotOptimize(szBuf);
        i++;
    }
}

void BM_Mixed_snprintf(benchmark::State &State)
{
    char szBuf[256];
    int i = 0;
    for (auto _ : State)
    {
        int const cch = snprintf(szBuf, sizeof(szBuf), "%s: %d files, flags %#x, %llu bytes in %s\n", kpszProgram, i,
                                 0x1f00u + i, 1234567ULL * i, kpszPath);
        benchmark::DoNotOptimize(cch);
        benchmark::DoNotOptimize(szBuf);
        i++;
    }
}

// The C library groups only under a locale that has a separator; this
// machine has none, so its %'llu prints plain digits while ours inserts
// blanks, doing strictly more work.
void BM_Grouped_RTStrFmtToBuf(benchmark::State &State)
{
    char szBuf[256];
    uint64_t u = 1234567890123ULL;
    for (auto _ : State)
    {
        size_t const cch = RTStrFmtToBuf(szBuf, sizeof(szBuf), "%-12s %5d %'RU64 %08x|", kpszProgram, 42, u, 0xbeefu);
        benchmark::DoNotOptimize(cch);
        benchmark::DoNotOptimize(szBuf);
        u += 7;
    }
}

void BM_Grouped_snprintf(benchmark::State &State)
{
    char szBuf[256];
    unsigned long long u = 1234567890123ULL;
    for (auto _ : State)
    {
        int const cch = snprintf(szBuf, sizeof(szBuf), "%-12s %5d %'llu %08x|", kpszProgram, 42, u, 0xbeefu);
        benchmark::DoNotOptimize(cch);
        benchmark::DoNotOptimize(szBuf);
        u += 7;
    }
}

BENCHMARK(BM_Mixed_RTStrFmtToBuf);
BENCHMARK(BM_Mixed_snprintf);
BENCHMARK(BM_Grouped_RTStrFmtToBuf);
BENCHMARK(BM_Grouped_snprintf);

// Remembers each benchmark's CPU time per iteration (the median when the
// run is repeated) so the ratios can be printed from the same run. CPU time,
// because the build machine is shared and wall time follows its load.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> m_mapNs;

    void ReportRuns(const std::vector<Run> &aRuns) override
    {
        for (Run const &TheRun : aRuns)
        {
            if (TheRun.error_occurred)
                continue;
            if (TheRun.run_type == Run::RT_Iteration && !m_mapMedian.count(TheRun.run_name.function_name))
                m_mapNs[TheRun.run_name.function_name] = TheRun.GetAdjustedCPUTime();
            else if (TheRun.run_type == Run::RT_Aggregate && TheRun.aggregate_name == "median")
            {
                m_mapNs[TheRun.run_name.function_name] = TheRun.GetAdjustedCPUTime();
                m_mapMedian[TheRun.run_name.function_name] = true;
            }
        }
        ConsoleReporter::ReportRuns(aRuns);
    }

private:
    std::map<std::string, bool> m_mapMedian;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    for (const char *pszCase : {"Mixed", "Grouped"})
    {
        std::string const strOurs = std::string("BM_") + pszCase + "_RTStrFmtToBuf";
        std::string const strLibc = std::string("BM_") + pszCase + "_snprintf";
        if (Reporter.m_mapNs.count(strOurs) && Reporter.m_mapNs.count(strLibc))
            printf("ratio %-8s RTStrFmtToBuf / snprintf = %.2fx (CPU time)\n", pszCase,
                   Reporter.m_mapNs[strOurs] / Reporter.m_mapNs[strLibc]);
    }
    benchmark::Shutdown();
    return 0;
}
