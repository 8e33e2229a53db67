// Throughput of the UTF-8 <-> UTF-16 conversions against glibc iconv in the
// same run, on ASCII and on mixed-script text; prints iconv time / our time.
#include <benchmark/benchmark.h>

#include <iconv.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <quab/string.h>

namespace {

constexpr size_t kTextBytes = 64 * 1024;

// Words in several scripts (Latin with accents, Greek, Cyrillic, Arabic,
// Devanagari, CJK, emoji) repeated to the text size.
std::string makeText(bool fMixed)
{
    static const char *const s_apszAscii[] = {"install ", "package ", "the ", "directory ", "Setup.msi ", "42 "};
    static const char *const s_apszMixed[] = {
        "install ", "Gr\xC3\xBC\xC3\x9F" "e ", "\xCE\xB1\xCF\x81\xCF\x87\xCE\xB5\xCE\xAF\xCE\xBF ",
        "\xD0\xBF\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x82 ", "\xD9\x85\xD9\x84\xD9\x81 ",
        "\xE0\xA4\xAB\xE0\xA4\xBC\xE0\xA4\xBE\xE0\xA4\x87\xE0\xA4\xB2 ",
        "\xE5\xAE\x89\xE8\xA3\x85\xE7\xA8\x8B\xE5\xBA\x8F ", "\xF0\x9F\x93\xA6 ", "caf\xC3\xA9 "};
    const char *const *papsz = fMixed ? s_apszMixed : s_apszAscii;
    size_t const c = fMixed ? std::size(s_apszMixed) : std::size(s_apszAscii);
    std::string s;
    for (size_t i = 0; s.size() < kTextBytes; i++)
        s += papsz[i % c];
    return s;
}

const std::string &text(bool fMixed)
{
    static const std::string s_Ascii = makeText(false), s_Mixed = makeText(true);
    return fMixed ? s_Mixed : s_Ascii;
}

const std::u16string &text16(bool fMixed)
{
    static std::u16string s_a[2];
    std::u16string &s = s_a[fMixed];
    if (s.empty()) {
        RTUTF16 *pwsz = nullptr;
        if (RTStrToUtf16(text(fMixed).c_str(), &pwsz) == RT_OK)
            s = pwsz;
        RTStrDispose(pwsz);
    }
    return s;
}

void BM_RTStrToUtf16Ex(benchmark::State &state)
{
    bool const fMixed = state.range(0);
    const std::string &s = text(fMixed);
    std::vector<RTUTF16> buf(s.size() + 1);
    for (auto _ : state) {
        RTUTF16 *pwsz = buf.data();
        int32_t rc = RTStrToUtf16Ex(s.data(), s.size(), &pwsz, buf.size(), nullptr);
        if (rc != RT_OK)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(pwsz);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_RTStrToUtf16ExAlloc(benchmark::State &state)
{
    bool const fMixed = state.range(0);
    const std::string &s = text(fMixed);
    for (auto _ : state) {
        RTUTF16 *pwsz = nullptr;
        int32_t rc = RTStrToUtf16Ex(s.data(), s.size(), &pwsz, 0, nullptr);
        if (rc != RT_OK)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(pwsz);
        RTStrDispose(pwsz);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_RTUtf16ToUtf8Ex(benchmark::State &state)
{
    bool const fMixed = state.range(0);
    const std::u16string &s = text16(fMixed);
    std::vector<char> buf(s.size() * 3 + 1);
    for (auto _ : state) {
        char *psz = buf.data();
        int32_t rc = RTUtf16ToUtf8Ex(s.data(), s.size(), &psz, buf.size(), nullptr);
        if (rc != RT_OK)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(psz);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size() * sizeof(RTUTF16)));
}

void BM_RTUtf16ToUtf8ExAlloc(benchmark::State &state)
{
    bool const fMixed = state.range(0);
    const std::u16string &s = text16(fMixed);
    for (auto _ : state) {
        char *psz = nullptr;
        int32_t rc = RTUtf16ToUtf8Ex(s.data(), s.size(), &psz, 0, nullptr);
        if (rc != RT_OK)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(psz);
        RTStrDispose(psz);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size() * sizeof(RTUTF16)));
}

// iconv into a caller's buffer; the descriptor is opened once, as a program
// converting many strings would do.
void iconvRun(benchmark::State &state, const char *pszTo, const char *pszFrom, const char *pbIn, size_t cbIn,
              size_t cbOut)
{
    iconv_t cd = iconv_open(pszTo, pszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    std::vector<char> buf(cbOut);
    for (auto _ : state) {
        char *pIn = const_cast<char *>(pbIn);
        size_t cbInLeft = cbIn;
        char *pOut = buf.data();
        size_t cbOutLeft = buf.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &pIn, &cbInLeft, &pOut, &cbOutLeft) == static_cast<size_t>(-1) || cbInLeft)
            state.SkipWithError("iconv failed");
        benchmark::DoNotOptimize(pOut);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
}

void BM_iconvUtf8ToUtf16(benchmark::State &state)
{
    const std::string &s = text(state.range(0));
    iconvRun(state, "UTF-16LE", "UTF-8", s.data(), s.size(), (s.size() + 1) * 2);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_iconvUtf16ToUtf8(benchmark::State &state)
{
    const std::u16string &s = text16(state.range(0));
    iconvRun(state, "UTF-8", "UTF-16LE", reinterpret_cast<const char *>(s.data()), s.size() * 2, s.size() * 3 + 1);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size() * sizeof(RTUTF16)));
}

// On a shared machine other processes only ever add time, so the fastest of
// the repetitions is the steadiest figure to compare.
double minimum(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

#define UTF_BENCH(fn) BENCHMARK(fn)->ArgName("mixed")->Arg(0)->Arg(1)->ComputeStatistics("min", minimum)
UTF_BENCH(BM_RTStrToUtf16Ex);
UTF_BENCH(BM_RTStrToUtf16ExAlloc);
UTF_BENCH(BM_iconvUtf8ToUtf16);
UTF_BENCH(BM_RTUtf16ToUtf8Ex);
UTF_BENCH(BM_RTUtf16ToUtf8ExAlloc);
UTF_BENCH(BM_iconvUtf16ToUtf8);

// Console output as usual, plus the times kept for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        // With repetitions the fastest one stands for the benchmark;
        // otherwise its single run does.
        for (const auto &run : runs) {
            if (run.error_occurred)
                continue;
            std::string const sName = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                m_Times[sName] = run.GetAdjustedCPUTime(), m_Aggregated[sName] = true;
            else if (run.run_type == Run::RT_Iteration && !m_Aggregated[sName])
                m_Times[sName] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const
    {
        static const struct {
            const char *pszOurs, *pszIconv, *pszLabel;
        } s_aPairs[] = {
            {"BM_RTStrToUtf16Ex", "BM_iconvUtf8ToUtf16", "UTF-8 -> UTF-16, caller buffer"},
            {"BM_RTStrToUtf16ExAlloc", "BM_iconvUtf8ToUtf16", "UTF-8 -> UTF-16, allocated"},
            {"BM_RTUtf16ToUtf8Ex", "BM_iconvUtf16ToUtf8", "UTF-16 -> UTF-8, caller buffer"},
            {"BM_RTUtf16ToUtf8ExAlloc", "BM_iconvUtf16ToUtf8", "UTF-16 -> UTF-8, allocated"},
        };
        printf("\nSpeed relative to iconv (iconv CPU time / our CPU time; above 1.0 is faster):\n");
        for (const auto &p : s_aPairs)
            for (const char *pszArg : {"/mixed:0", "/mixed:1"}) {
                auto itOurs = m_Times.find(std::string(p.pszOurs) + pszArg);
                auto itIconv = m_Times.find(std::string(p.pszIconv) + pszArg);
                if (itOurs == m_Times.end() || itIconv == m_Times.end() || itOurs->second <= 0)
                    continue;
                printf("  %-32s %-6s %6.2fx\n", p.pszLabel, pszArg[7] == '1' ? "mixed" : "ascii",
                       itIconv->second / itOurs->second);
            }
    }

private:
    std::map<std::string, double> m_Times;
    std::map<std::string, bool> m_Aggregated;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
