// Named, waitable threads with a ready signal: the lifecycle the splash
// screen relies on, time-outs, results and argument checks.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include <quab/thread.h>

namespace {

using PFNGETTHREADDESCRIPTION = HRESULT(WINAPI *)(HANDLE, PWSTR *);

struct Shared {
    HANDLE hEvtGo;                 // the thread waits for this before it ends
    bool fSignalReady;
    int32_t rcReturn;
    RTTHREAD hSeenSelf;
    std::string nameSeen;
    std::wstring descriptionSeen;
    void *pvUserSeen;
};

int32_t ThreadMain(RTTHREAD hSelf, void *pvUser)
{
    Shared *p = static_cast<Shared *>(pvUser);
    p->pvUserSeen = pvUser;
    p->hSeenSelf = RTThreadSelf();
    if (const char *psz = RTThreadGetName(hSelf))
        p->nameSeen = psz;
    auto pfnGet = reinterpret_cast<PFNGETTHREADDESCRIPTION>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR pwsz = nullptr;
    if (pfnGet && SUCCEEDED(pfnGet(GetCurrentThread(), &pwsz)) && pwsz) {
        p->descriptionSeen = pwsz;
        LocalFree(pwsz);
    }
    if (p->fSignalReady)
        RTThreadUserSignal(hSelf);
    WaitForSingleObject(p->hEvtGo, 10000);
    return p->rcReturn;
}

class Thread : public ::testing::Test {
protected:
    void SetUp() override
    {
        int32_t const rc = RTThreadInit();
        ASSERT_TRUE(rc == RT_OK || rc == RTI_ALREADY_INITIALIZED) << rc;
        m.hEvtGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(m.hEvtGo, nullptr);
    }
    void TearDown() override { CloseHandle(m.hEvtGo); }
    Shared m = {};
};

TEST_F(Thread, ReadyThenWaitGivesTheSignedResult)
{
    m.fSignalReady = true;
    m.rcReturn = -5;
    RTTHREAD hThread = NIL_RTTHREAD;
    ASSERT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, RTTHREADFLAGS_WAITABLE, "mrvStbSplsh"), RT_OK);
    ASSERT_NE(hThread, NIL_RTTHREAD);
    ASSERT_EQ(RTThreadUserWait(hThread, 5000), RT_OK);
    EXPECT_EQ(m.hSeenSelf, hThread);
    EXPECT_EQ(m.pvUserSeen, &m);
    EXPECT_EQ(m.nameSeen, "mrvStbSplsh");
    EXPECT_STREQ(RTThreadGetName(hThread), "mrvStbSplsh");
    // The system's own name for the thread, where it keeps one.
    if (!m.descriptionSeen.empty()) {
        EXPECT_EQ(m.descriptionSeen, L"mrvStbSplsh");
    }

    // Still running: the wait times out and the handle stays usable.
    EXPECT_EQ(RTThreadWait(hThread, 50, nullptr), RTE_TIMEOUT);
    SetEvent(m.hEvtGo);
    int32_t rcThread = 0;
    ASSERT_EQ(RTThreadWait(hThread, 5000, &rcThread), RT_OK);
    EXPECT_EQ(rcThread, -5);
}

TEST_F(Thread, LargeResultsSurviveAsSigned32Bit)
{
    for (int32_t rcWanted : { 0, 28, INT32_MIN, INT32_MAX, -1 }) {
        Shared s = {};
        s.hEvtGo = m.hEvtGo;
        s.rcReturn = rcWanted;
        SetEvent(m.hEvtGo);
        RTTHREAD hThread;
        ASSERT_EQ(RTThreadCreate(&hThread, ThreadMain, &s, 0, RTTHREADFLAGS_WAITABLE, "res"), RT_OK);
        int32_t rcThread = 12345;
        ASSERT_EQ(RTThreadWait(hThread, 5000, &rcThread), RT_OK);
        EXPECT_EQ(rcThread, rcWanted);
    }
}

TEST_F(Thread, MissingReadySignalTimesOut)
{
    m.fSignalReady = false;
    RTTHREAD hThread;
    ASSERT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, RTTHREADFLAGS_WAITABLE, "silent"), RT_OK);
    DWORD const msStart = GetTickCount();
    EXPECT_EQ(RTThreadUserWait(hThread, 100), RTE_TIMEOUT);
    EXPECT_GE(GetTickCount() - msStart, 90u);
    SetEvent(m.hEvtGo);
    EXPECT_EQ(RTThreadWait(hThread, 5000, nullptr), RT_OK);
}

TEST_F(Thread, NotWaitableCannotBeJoined)
{
    m.fSignalReady = true;
    RTTHREAD hThread;
    ASSERT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, 0, "detached"), RT_OK);
    ASSERT_EQ(RTThreadUserWait(hThread, 5000), RT_OK);
    EXPECT_EQ(RTThreadWait(hThread, 0, nullptr), RTE_THREAD_NOT_WAITABLE);
    SetEvent(m.hEvtGo);
}

TEST_F(Thread, LongNamesAreCutOnACharacterBoundary)
{
    SetEvent(m.hEvtGo);
    struct {
        const char *pszName;
        const char *pszExpected;
    } const kCases[] = {
        { "abcdefghijklmnopqrstuvwxyz", "abcdefghijklmno" },
        // 14 ASCII bytes then a two-byte character that would straddle the cut.
        { "abcdefghijklmn\xc3\xa9z", "abcdefghijklmn" },
        { "abcdefghijklm\xc3\xa9z", "abcdefghijklm\xc3\xa9" },
    };
    for (auto const &c : kCases) {
        Shared s = {};
        s.hEvtGo = m.hEvtGo;
        RTTHREAD hThread;
        ASSERT_EQ(RTThreadCreate(&hThread, ThreadMain, &s, 0, RTTHREADFLAGS_WAITABLE, c.pszName), RT_OK);
        ASSERT_EQ(RTThreadWait(hThread, 5000, nullptr), RT_OK);
        EXPECT_EQ(s.nameSeen, c.pszExpected);
    }
}

TEST_F(Thread, BadArguments)
{
    RTTHREAD hThread = reinterpret_cast<RTTHREAD>(0x1234);
    EXPECT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, 2, "x"), RTE_INVALID_FLAGS);
    EXPECT_EQ(hThread, NIL_RTTHREAD);
    EXPECT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, 0, ""), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTThreadCreate(&hThread, ThreadMain, &m, 0, 0, nullptr), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTThreadCreate(&hThread, nullptr, &m, 0, 0, "x"), RTE_INVALID_POINTER);
    EXPECT_EQ(RTThreadCreate(nullptr, ThreadMain, &m, 0, 0, "x"), RTE_INVALID_POINTER);

    EXPECT_EQ(RTThreadUserSignal(NIL_RTTHREAD), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTThreadUserWait(NIL_RTTHREAD, 0), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTThreadWait(NIL_RTTHREAD, 0, nullptr), RTE_INVALID_HANDLE);
    int32_t aiNotAThread[16] = {};
    EXPECT_EQ(RTThreadWait(reinterpret_cast<RTTHREAD>(aiNotAThread), 0, nullptr), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTThreadGetName(NIL_RTTHREAD), nullptr);
}

DWORD WINAPI ForeignThread(void *pv)
{
    *static_cast<RTTHREAD *>(pv) = RTThreadSelf();
    return 0;
}

// Threads the runtime did not create have no record.
TEST_F(Thread, ForeignThreadHasNoRecord)
{
    RTTHREAD hSeen = reinterpret_cast<RTTHREAD>(1);
    HANDLE h = CreateThread(nullptr, 0, ForeignThread, &hSeen, 0, nullptr);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    EXPECT_EQ(hSeen, NIL_RTTHREAD);
}

} // namespace
