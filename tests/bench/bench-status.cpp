// Status texts: the dictionary-coded pool against the same texts stored plain, expanded through one callback.
#include <benchmark/benchmark.h>

#include "common/err/err-internal.h"

#include <string>
#include <vector>

namespace {

size_t CountingOutput(void *pvArg, const char *pach, size_t cch)
{
    benchmark::DoNotOptimize(pach);
    *static_cast<size_t *>(pvArg) += cch;
    return cch;
}

size_t AppendOutput(void *pvArg, const char *pach, size_t cch)
{
    static_cast<std::string *>(pvArg)->append(pach, cch);
    return cch;
}

// The shipped texts expanded once into a plain pool with its own offsets.
struct PlainCopy {
    std::string strPool;
    std::vector<uint32_t> vecOff, vecLen;
    StatusTextPool Pool;

    PlainCopy()
    {
        for (uint32_t i = 0; i < g_cStatusTable; i++) {
            StatusTableEntry const &E = g_aStatusTable[i];
            uint32_t const offName = rtStatusTextOffset(i);
            for (int fMsg = 0; fMsg < 2; fMsg++) {
                std::string str;
                rtStatusTextOut(&g_StatusTextPool, fMsg ? offName + E.cbName() : offName, fMsg ? E.cbMsg() : E.cbName(),
                                AppendOutput, &str);
                vecOff.push_back(static_cast<uint32_t>(strPool.size()));
                vecLen.push_back(static_cast<uint32_t>(str.size()));
                strPool += str;
            }
        }
        Pool = {reinterpret_cast<const uint8_t *>(strPool.data()), static_cast<uint32_t>(strPool.size()), 0,
                nullptr};
    }
};

void BM_CodedTexts(benchmark::State &State)
{
    size_t cch = 0;
    for (auto _ : State)
        for (uint32_t i = 0; i < g_cStatusTable; i++) {
            StatusTableEntry const &E = g_aStatusTable[i];
            uint32_t const offName = rtStatusTextOffset(i);
            rtStatusTextOut(&g_StatusTextPool, offName, E.cbName(), CountingOutput, &cch);
            rtStatusTextOut(&g_StatusTextPool, offName + E.cbName(), E.cbMsg(), CountingOutput, &cch);
        }
    State.counters["bytes_per_pass"] = static_cast<double>(cch) / static_cast<double>(State.iterations());
    State.counters["pool_bytes"] = g_StatusTextPool.cbCoded + 4.0 * g_StatusTextPool.cDict;
}
BENCHMARK(BM_CodedTexts);

void BM_PlainTexts(benchmark::State &State)
{
    static PlainCopy const s_Plain;
    size_t cch = 0;
    for (auto _ : State)
        for (size_t i = 0; i < s_Plain.vecOff.size(); i++)
            rtStatusTextOut(&s_Plain.Pool, s_Plain.vecOff[i], s_Plain.vecLen[i], CountingOutput, &cch);
    State.counters["bytes_per_pass"] = static_cast<double>(cch) / static_cast<double>(State.iterations());
    State.counters["pool_bytes"] = static_cast<double>(s_Plain.strPool.size());
}
BENCHMARK(BM_PlainTexts);

// What %Rra costs end to end for every known code.
void BM_FormatAll(benchmark::State &State)
{
    size_t cch = 0;
    char szTmp[80];
    for (auto _ : State)
        for (uint32_t i = 0; i < g_cStatusTable; i++)
            RTStatusFormatAll(g_aStatusTable[i].iValue(), CountingOutput, &cch, szTmp, sizeof(szTmp));
    benchmark::DoNotOptimize(cch);
}
BENCHMARK(BM_FormatAll);

} // namespace

BENCHMARK_MAIN();
