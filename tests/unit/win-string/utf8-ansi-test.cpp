// UTF-8 to the ANSI code page on Windows: the UTF-8 code-page shortcut, the
// two-call conversion and how failures of the system calls come back.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include <quab/err.h>
#include <quab/string.h>

#include "r3/win/utf8-win.h"

namespace {

struct FakeSystem {
    UINT uAcp = 1252;
    int cCalls = 0;
    int iFailCall = 0;           // 1-based call that fails, 0: none
    DWORD dwFailError = ERROR_INVALID_FLAGS;
    std::vector<UINT> codePages;
};

FakeSystem *g_pFake;

UINT WINAPI fakeGetACP()
{
    return g_pFake->uAcp;
}

// Maps every unit to one byte: below 0x100 as itself, anything else '?'.
int WINAPI fakeWideCharToMultiByte(UINT uCodePage, DWORD fFlags, LPCWCH pwsz, int cwc, LPSTR psz, int cb,
                                   LPCCH pszDefault, LPBOOL pfUsedDefault)
{
    FakeSystem &f = *g_pFake;
    f.cCalls++;
    f.codePages.push_back(uCodePage);
    EXPECT_EQ(fFlags, 0u);
    EXPECT_EQ(cwc, -1);
    EXPECT_EQ(pszDefault, nullptr);
    EXPECT_EQ(pfUsedDefault, nullptr);
    if (f.cCalls == f.iFailCall) {
        SetLastError(f.dwFailError);
        return 0;
    }
    int const cNeeded = static_cast<int>(wcslen(pwsz)) + 1;
    if (cb == 0)
        return cNeeded;
    EXPECT_EQ(cb, cNeeded);
    for (int i = 0; i < cNeeded; i++)
        psz[i] = pwsz[i] < 0x100 ? static_cast<char>(pwsz[i]) : '?';
    return cNeeded;
}

class Utf8ToAnsi : public testing::Test {
protected:
    void SetUp() override
    {
        g_pFake = &m_Fake;
        m_pfnSavedAcp = g_pfnrtUtf8GetACP;
        m_pfnSavedConv = g_pfnrtUtf8WideCharToMultiByte;
        g_pfnrtUtf8GetACP = fakeGetACP;
        g_pfnrtUtf8WideCharToMultiByte = fakeWideCharToMultiByte;
    }
    void TearDown() override
    {
        g_pfnrtUtf8GetACP = m_pfnSavedAcp;
        g_pfnrtUtf8WideCharToMultiByte = m_pfnSavedConv;
        g_pFake = nullptr;
    }
    FakeSystem m_Fake;
    PFNRTGETACP m_pfnSavedAcp;
    PFNRTWIDECHARTOMULTIBYTE m_pfnSavedConv;
};

TEST_F(Utf8ToAnsi, ConvertsThroughTheAnsiCodePage)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, "\xC3\x84pfel \xE2\x82\xAC"), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "\xC4pfel ?");
    RTStrDispose(psz);
    EXPECT_EQ(m_Fake.cCalls, 2);
    EXPECT_EQ(m_Fake.codePages, (std::vector<UINT>{CP_ACP, CP_ACP}));
}

TEST_F(Utf8ToAnsi, EmptyInputNeverReachesTheSystem)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, ""), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTStrDispose(psz);
    EXPECT_EQ(m_Fake.cCalls, 0);
}

TEST_F(Utf8ToAnsi, Utf8CodePageGivesACheckedCopy)
{
    m_Fake.uAcp = CP_UTF8;
    static const char s_sz[] = "\xC3\x84pfel \xF4\x90\x80\x80";  // the plain scan accepts U+110000
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, s_sz), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, s_sz);
    EXPECT_NE(psz, s_sz);
    RTStrDispose(psz);

    psz = reinterpret_cast<char *>(uintptr_t(0x5000));
    EXPECT_EQ(RTStrUtf8ToAnsiCp(&psz, "ab\xC0\x80"), RTE_INVALID_UTF8);
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(m_Fake.cCalls, 0);
}

TEST_F(Utf8ToAnsi, Failures)
{
    struct {
        const char *pszName;
        const char *pszInput;
        int iFailCall;
        int32_t rc;
        int cCalls;
    } const aCases[] = {
        {"invalid UTF-8", "a\xED\xA0\x80", 0, RTE_SURROGATE_IN_UTF8, 0},
        {"not representable in UTF-16", "\xF4\x90\x80\x80", 0, RTE_CODE_POINT_TOO_BIG, 0},
        {"size query fails", "abc", 1, RTErrConvertFromWinError(ERROR_INVALID_FLAGS), 1},
        {"conversion fails", "abc", 2, RTErrConvertFromWinError(ERROR_INVALID_FLAGS), 2},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.pszName);
        m_Fake.cCalls = 0;
        m_Fake.iFailCall = c.iFailCall;
        char *psz = reinterpret_cast<char *>(uintptr_t(0x5000));
        EXPECT_EQ(RTStrUtf8ToAnsiCp(&psz, c.pszInput), c.rc);
        EXPECT_EQ(psz, nullptr);
        EXPECT_EQ(m_Fake.cCalls, c.cCalls);
    }
    EXPECT_NE(RTErrConvertFromWinError(ERROR_INVALID_FLAGS), RT_OK);
}

TEST(Utf8ToAnsiSystem, RealCodePage)
{
    // The real functions, in whatever code page the system runs.
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, "plain ascii"), RT_OK);
    EXPECT_STREQ(psz, "plain ascii");
    RTStrDispose(psz);

    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, "\xC3\x84"), RT_OK);
    if (GetACP() == 1252)
        EXPECT_STREQ(psz, "\xC4");
    else if (GetACP() == CP_UTF8)
        EXPECT_STREQ(psz, "\xC3\x84");
    else
        EXPECT_NE(psz[0], '\0');
    RTStrDispose(psz);
}

} // namespace
