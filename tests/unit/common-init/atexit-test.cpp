// Exit callbacks: capacity, reverse order, exactly-once, concurrent registration.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include <quab/init.h>

#ifdef _WIN32
# include <windows.h>
#endif

namespace {

// Runs fn on cThreads threads at once.
#ifdef _WIN32
template <typename Start>
DWORD WINAPI ThreadEntry(void *pv)
{
    Start *p = static_cast<Start *>(pv);
    (*p->pFn)(p->idx);
    return 0;
}
#endif

template <typename Fn>
void RunOnThreads(unsigned cThreads, Fn fn)
{
#ifdef _WIN32
    struct Start {
        Fn *pFn;
        unsigned idx;
    };
    std::vector<Start> starts(cThreads);
    std::vector<HANDLE> handles;
    for (unsigned t = 0; t < cThreads; t++) {
        starts[t] = { &fn, t };
        HANDLE h = CreateThread(nullptr, 0, &ThreadEntry<Start>, &starts[t], 0, nullptr);
        ASSERT_NE(h, nullptr);
        handles.push_back(h);
    }
    for (HANDLE h : handles) {
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }
#else
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < cThreads; t++)
        threads.emplace_back(fn, t);
    for (auto &th : threads)
        th.join();
#endif
}

constexpr size_t kMax = RTR3ATEXIT_MAX;

std::vector<uint32_t> g_calls;

// Callbacks take no argument, so each identity needs a function of its own.
template <uint32_t N>
void Callback()
{
    g_calls.push_back(N);
}

template <size_t... I>
constexpr auto MakeCallbacks(std::index_sequence<I...>)
{
    return std::array<PFNRTR3ATEXIT, sizeof...(I)>{ &Callback<I>... };
}

constexpr auto kCallbacks = MakeCallbacks(std::make_index_sequence<kMax + 1>());

TEST(AtExit, FullTableRunsLatestFirstOnce)
{
    g_calls.clear();
    for (size_t i = 0; i < kMax; i++)
        ASSERT_EQ(rtR3AtExitRegister(kCallbacks[i]), 0) << i;
    EXPECT_EQ(rtR3AtExitRegister(kCallbacks[kMax]), -1);
    // The refused registration must not have taken a slot either.
    EXPECT_EQ(rtR3AtExitRegister(kCallbacks[kMax]), -1);

    rtR3AtExitRun();
    ASSERT_EQ(g_calls.size(), kMax);
    for (size_t i = 0; i < kMax; i++)
        ASSERT_EQ(g_calls[i], kMax - 1 - i) << "position " << i;

    // The table is empty afterwards: nothing runs twice, and it takes new entries.
    g_calls.clear();
    rtR3AtExitRun();
    EXPECT_TRUE(g_calls.empty());
    ASSERT_EQ(rtR3AtExitRegister(kCallbacks[7]), 0);
    ASSERT_EQ(rtR3AtExitRegister(kCallbacks[3]), 0);
    rtR3AtExitRun();
    EXPECT_EQ(g_calls, (std::vector<uint32_t>{ 3, 7 }));
}

std::atomic<uint32_t> g_aHits[kMax];

template <uint32_t N>
void CountingCallback()
{
    g_aHits[N].fetch_add(1);
}

template <size_t... I>
constexpr auto MakeCounting(std::index_sequence<I...>)
{
    return std::array<PFNRTR3ATEXIT, sizeof...(I)>{ &CountingCallback<I>... };
}

constexpr auto kCounting = MakeCounting(std::make_index_sequence<kMax>());

// Threads racing for the same fresh blocks must neither lose an entry nor
// leave one in a block that another thread replaced.
TEST(AtExit, ConcurrentRegistrationKeepsEveryEntry)
{
#ifdef _WIN32
    // 32-bit Wine under user-mode emulation dies as soon as two threads run
    // at the same time (any program, not only this one), and so does gtest's
    // own skip there; the host build covers the race.
    if (GetEnvironmentVariableW(L"QEMU_RESERVED_VA", nullptr, 0) != 0) {
        std::fprintf(stderr, "NOT RUN: two threads running at once crash this emulation\n");
        return;
    }
#endif
    for (auto &hits : g_aHits)
        hits = 0;
    constexpr unsigned kThreads = 8;
    std::atomic<unsigned> cRefused{ 0 };
    RunOnThreads(kThreads, [&cRefused](unsigned t) {
        for (size_t i = t; i < kMax; i += kThreads)
            if (rtR3AtExitRegister(kCounting[i]) != 0)
                cRefused++;
    });
    EXPECT_EQ(cRefused.load(), 0u);

    rtR3AtExitRun();
    for (size_t i = 0; i < kMax; i++)
        ASSERT_EQ(g_aHits[i].load(), 1u) << "callback " << i;
}

} // namespace
