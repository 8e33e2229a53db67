// The hand-over to the installer engine: what is passed in which order, how
// results become exit codes and reports, and one log for a whole run. The
// engine's slots are pointed at a recording stand-in.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include <quab/lazy.h>
#include <quab/stream.h>

#include "MorvStub.h"
#include "r3/stream-internal.h"
#include "report-double.h"

namespace {

struct EngineCall {
    std::string strWhat;
    std::wstring wstrArg1;
    std::wstring wstrArg2;
    DWORD uArg;
    DWORD uArg2;
};

std::vector<EngineCall> g_aCalls;
UINT g_uInstallResult = 0;
INSTALLUILEVEL g_enmPrevUi = INSTALLUILEVEL_DEFAULT;
UINT g_uEnableLogResult = ERROR_SUCCESS;

INSTALLUILEVEL WINAPI FakeSetInternalUI(INSTALLUILEVEL enmLevel, HWND *phWnd)
{
    g_aCalls.push_back({"ui", L"", L"", static_cast<DWORD>(enmLevel), phWnd != nullptr});
    return g_enmPrevUi;
}

UINT WINAPI FakeEnableLogW(DWORD fMode, LPCWSTR pwszLog, DWORD fAttrs)
{
    g_aCalls.push_back({"log", pwszLog ? pwszLog : L"<null>", L"", fMode, fAttrs});
    return g_uEnableLogResult;
}

BOOL WINAPI FakeInitCommonControlsEx(const INITCOMMONCONTROLSEX *pInit)
{
    g_aCalls.push_back({"icc", L"", L"", pInit->dwICC, pInit->dwSize});
    return TRUE;
}

UINT WINAPI FakeInstallProductW(LPCWSTR pwszPackage, LPCWSTR pwszParams)
{
    g_aCalls.push_back({"install", pwszPackage, pwszParams, 0, 0});
    return g_uInstallResult;
}

// The standard output stream pointed at a file, to see the information line.
class MsiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pfnMsiSetInternalUI = FakeSetInternalUI;
        g_pfnMsiEnableLogW = FakeEnableLogW;
        g_pfnInitCommonControlsEx = FakeInitCommonControlsEx;
        g_pfnMsiInstallProductW = FakeInstallProductW;
        g_aCalls.clear();
        g_aNotifiedErrors.clear();
        g_uInstallResult = 0;
        g_enmPrevUi = INSTALLUILEVEL_DEFAULT;
        g_uEnableLogResult = ERROR_SUCCESS;
        g_fSilent = true;

        wchar_t wszTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, wszTemp);
        m_wstrOut = std::wstring(wszTemp) + L"win-msi-out-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        char szOut[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, m_wstrOut.c_str(), -1, szOut, sizeof(szOut), nullptr, nullptr);
        ASSERT_EQ(RTStreamOpenByName(szOut, "w", &m_pOut), RT_OK);
        m_pSavedOut = g_pStreamStdOut;
        g_pStreamStdOut = m_pOut;
    }
    void TearDown() override
    {
        g_pStreamStdOut = m_pSavedOut;
        rtStreamTerm();
        DeleteFileW(m_wstrOut.c_str());
    }
    std::string StdOut()
    {
        EXPECT_EQ(rtStreamFlush(m_pOut), RT_OK);
        HANDLE h = CreateFileW(m_wstrOut.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        char ach[4096];
        DWORD cb = 0;
        ReadFile(h, ach, sizeof(ach), &cb, nullptr);
        CloseHandle(h);
        return std::string(ach, cb);
    }
    static std::vector<std::string> Order()
    {
        std::vector<std::string> a;
        for (const EngineCall &c : g_aCalls)
            a.push_back(c.strWhat);
        return a;
    }

    std::wstring m_wstrOut;
    RtStream *m_pOut = nullptr;
    RtStream *m_pSavedOut = nullptr;
};

TEST_F(MsiTest, PassesLevelPackageAndParametersInOrder)
{
    struct Case {
        bool fSilent;
        DWORD uLevel;
    };
    static const Case s_aCases[] = {{true, INSTALLUILEVEL_NONE}, {false, INSTALLUILEVEL_FULL}};
    for (const Case &c : s_aCases) {
        g_aCalls.clear();
        g_fSilent = c.fSilent;
        EXPECT_EQ(InstallMsiPackage("C:\\x\\\xc3\xa9t\xc3\xa9.msi", "A=1 B=\"two words\"", nullptr, false), 0);
        ASSERT_EQ(Order(), (std::vector<std::string>{"ui", "icc", "install"}));
        EXPECT_EQ(g_aCalls[0].uArg, c.uLevel);
        EXPECT_EQ(g_aCalls[0].uArg2, 0u);   // no window handle
        EXPECT_EQ(g_aCalls[1].uArg, 0xD2FFu);
        EXPECT_EQ(g_aCalls[1].uArg2, sizeof(INITCOMMONCONTROLSEX));
        EXPECT_EQ(g_aCalls[2].wstrArg1, L"C:\\x\\\u00e9t\u00e9.msi");
        EXPECT_EQ(g_aCalls[2].wstrArg2, L"A=1 B=\"two words\"");
    }
    EXPECT_TRUE(g_aNotifiedErrors.empty());
}

TEST_F(MsiTest, FirstPackageStartsTheLogLaterOnesAppend)
{
    struct Case {
        bool fAppend;
        DWORD fAttrs;
    };
    static const Case s_aCases[] = {
        {false, INSTALLLOGATTRIBUTES_FLUSHEACHLINE},
        {true, INSTALLLOGATTRIBUTES_FLUSHEACHLINE | INSTALLLOGATTRIBUTES_APPEND},
    };
    for (const Case &c : s_aCases) {
        g_aCalls.clear();
        EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "", "C:\\logs\\run log.txt", c.fAppend), 0);
        ASSERT_EQ(Order(), (std::vector<std::string>{"ui", "log", "icc", "install"}));
        EXPECT_EQ(g_aCalls[1].wstrArg1, L"C:\\logs\\run log.txt");
        EXPECT_EQ(g_aCalls[1].uArg, static_cast<DWORD>(INSTALLLOGMODE_VERBOSE));
        EXPECT_EQ(g_aCalls[1].uArg2, c.fAttrs);
    }
}

TEST_F(MsiTest, SetupFailuresStopBeforeTheEngineRuns)
{
    g_enmPrevUi = INSTALLUILEVEL_NOCHANGE;
    EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "", nullptr, false), 1);
    EXPECT_EQ(Order(), (std::vector<std::string>{"ui"}));
    EXPECT_EQ(g_aNotifiedErrors, (std::vector<std::string>{"Internal error: MsiSetInternalUI failed."}));

    g_enmPrevUi = INSTALLUILEVEL_DEFAULT;
    g_uEnableLogResult = ERROR_INVALID_PARAMETER;
    g_aCalls.clear();
    g_aNotifiedErrors.clear();
    EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "", "C:\\l.txt", false), 1);
    EXPECT_EQ(Order(), (std::vector<std::string>{"ui", "log"}));
    EXPECT_EQ(g_aNotifiedErrors, (std::vector<std::string>{"MsiEnableLogW failed"}));

    // Text that is not UTF-8 cannot reach the engine.
    g_uEnableLogResult = ERROR_SUCCESS;
    g_aCalls.clear();
    g_aNotifiedErrors.clear();
    EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "A=\xff", nullptr, false), 1);
    EXPECT_EQ(Order(), (std::vector<std::string>{"ui", "icc"}));
    ASSERT_EQ(g_aNotifiedErrors.size(), 1u);
    EXPECT_EQ(g_aNotifiedErrors[0].rfind("RTStrToUtf16 failed on 'A=\xff': RTE_", 0), 0u) << g_aNotifiedErrors[0];
}

std::string SystemText(DWORD uCode, HMODULE hSource)
{
    wchar_t *pwsz = nullptr;
    DWORD fFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM
                   | (hSource ? FORMAT_MESSAGE_FROM_HMODULE : 0);
    DWORD cwc = FormatMessageW(fFlags, hSource, uCode, 0x400, reinterpret_cast<LPWSTR>(&pwsz), 0, nullptr);
    std::string str;
    if (cwc) {
        char sz[4096];
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, sz, sizeof(sz), nullptr, nullptr);
        str = sz;
        LocalFree(pwsz);
    }
    return str;
}

TEST_F(MsiTest, ResultsBecomeExitCodesAndReports)
{
    std::string const str1603 = SystemText(1603, nullptr);
    ASSERT_FALSE(str1603.empty()) << "the system has a text for 1603";
    struct Case {
        UINT uResult;
        int iExit;
        std::vector<std::string> aErrors;
    };
    const Case aCases[] = {
        {ERROR_SUCCESS, 0, {}},
        {ERROR_INSTALL_USEREXIT, 1, {}},   // cancelled: nothing to say
        {ERROR_INSTALL_PACKAGE_VERSION, 1,
         {"This installation package cannot be installed by the Windows Installer service.\nYou must install a "
          "Windows service pack that contains a newer version of the Windows Installer service."}},
        {ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1, {"This installation package is not supported on this platform."}},
        {ERROR_INSTALL_FAILURE, 1, {"Installation failed! Error: " + str1603}},
        {0x2FFFFFu, 1, {"Installation failed! Error: 3145727"}},   // no text anywhere
    };
    for (const Case &c : aCases) {
        g_aNotifiedErrors.clear();
        g_uInstallResult = c.uResult;
        EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "", nullptr, false), c.iExit) << c.uResult;
        EXPECT_EQ(g_aNotifiedErrors, c.aErrors) << c.uResult;
    }
    EXPECT_EQ(StdOut(), "");
}

// The LAN Manager range looks in netmsg.dll as well; a code it has no text
// for still gets its number.
TEST_F(MsiTest, NetworkRangeUsesNetmsgOrTheNumber)
{
    HMODULE hNetMsg = LoadLibraryExW(L"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    for (UINT uResult : {2100u, 2250u, 2999u}) {
        std::string strText = SystemText(uResult, hNetMsg);
        std::string const strExpected = "Installation failed! Error: "
                                        + (strText.empty() ? std::to_string(uResult) : strText);
        g_aNotifiedErrors.clear();
        g_uInstallResult = uResult;
        EXPECT_EQ(InstallMsiPackage("C:\\p.msi", "", nullptr, false), 1);
        EXPECT_EQ(g_aNotifiedErrors, (std::vector<std::string>{strExpected})) << uResult;
    }
    if (hNetMsg)
        FreeLibrary(hNetMsg);
}

TEST_F(MsiTest, RebootRequiredSaysSoOnlyWhenSilent)
{
    g_uInstallResult = ERROR_SUCCESS_REBOOT_REQUIRED;
    g_fSilent = false;
    EXPECT_EQ(InstallMsiPackage("C:\\dir\\a.msi", "", nullptr, false), 3010);
    EXPECT_EQ(StdOut(), "");
    g_fSilent = true;
    EXPECT_EQ(InstallMsiPackage("C:\\dir\\a.msi", "", nullptr, false), 3010);
    // No program path was recorded in this program, so the name is empty.
    std::string const strOut = StdOut();
    EXPECT_NE(strOut.find("info: Reboot required (by C:\\dir\\a.msi)\r\n"), std::string::npos) << strOut;
    EXPECT_TRUE(g_aNotifiedErrors.empty());
}

} // namespace
