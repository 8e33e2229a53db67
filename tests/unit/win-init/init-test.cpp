// Runtime initialisation under Windows: first and later calls, the version
// sources, DLL search hardening and the exception filter, with the system
// lookups steered through the replaceable resolver.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <quab/init.h>
#include <quab/thread.h>

#include "r3/win/init-win-internal.h"

namespace {

// ---------------------------------------------------------------------------
// Fakes for the functions initialisation looks up. One scenario record says
// which exist and how they behave; every call is recorded.

struct Scenario {
    bool fRtlGetVersion = false;
    LONG rcRtlGetVersion = 0;
    RTWINOSVERSIONINFOEX rtlVersion = {};
    bool fGetVersionExW = false;
    bool fGetVersionExWTakesFull = true;   // the 284-byte record
    bool fGetVersionExWTakesShort = true;  // the 276-byte record
    RTWINOSVERSIONINFOEX exVersion = {};
    bool fGetVersion = false;
    DWORD dwGetVersion = 0;
    bool fRtlGetNtProductType = false;
    ULONG uProductType = 0;

    bool fSetErrorMode = true;
    UINT fOldErrorMode = 0;
    bool fSetDllDirectoryW = true;
    BOOL fSetDllDirectoryOk = TRUE;
    bool fSetDefaultDllDirectories = true;
    BOOL fSetDefaultOk = TRUE;
    bool fSetProcessMitigationPolicy = true;
    BOOL fMitigationOk = TRUE;
    bool fSetUnhandledExceptionFilter = false;
    LPTOP_LEVEL_EXCEPTION_FILTER pfnPrevFilter = nullptr;

    // Recorded.
    std::vector<UINT> errorModes;
    std::vector<std::wstring> dllDirectories;
    std::vector<DWORD> defaultDirFlags;
    std::vector<std::pair<int, DWORD>> mitigations;
    std::vector<LPTOP_LEVEL_EXCEPTION_FILTER> installedFilters;
    std::vector<DWORD> getVersionExSizes;
};

Scenario g_scn;

LONG NTAPI FakeRtlGetVersion(RTWINOSVERSIONINFOEX *pInfo)
{
    if (g_scn.rcRtlGetVersion == 0) {
        uint32_t const cbSize = pInfo->dwOSVersionInfoSize;
        *pInfo = g_scn.rtlVersion;
        pInfo->dwOSVersionInfoSize = cbSize;
    }
    return g_scn.rcRtlGetVersion;
}

BOOL WINAPI FakeGetVersionExW(RTWINOSVERSIONINFOEX *pInfo)
{
    g_scn.getVersionExSizes.push_back(pInfo->dwOSVersionInfoSize);
    bool const fTakes = pInfo->dwOSVersionInfoSize == RTWINOSVERSIONINFOEX_SIZE ? g_scn.fGetVersionExWTakesFull
                        : pInfo->dwOSVersionInfoSize == RTWINOSVERSIONINFO_SIZE ? g_scn.fGetVersionExWTakesShort
                                                                                 : false;
    if (!fTakes)
        return FALSE;
    std::memcpy(&pInfo->dwMajorVersion, &g_scn.exVersion.dwMajorVersion,
                pInfo->dwOSVersionInfoSize - sizeof(pInfo->dwOSVersionInfoSize));
    return TRUE;
}

DWORD WINAPI FakeGetVersion()
{
    return g_scn.dwGetVersion;
}

BOOLEAN NTAPI FakeRtlGetNtProductType(ULONG *puType)
{
    *puType = g_scn.uProductType;
    return TRUE;
}

UINT WINAPI FakeSetErrorMode(UINT fMode)
{
    g_scn.errorModes.push_back(fMode);
    return g_scn.errorModes.size() == 1 ? g_scn.fOldErrorMode : fMode;
}

BOOL WINAPI FakeSetDllDirectoryW(const wchar_t *pwsz)
{
    g_scn.dllDirectories.emplace_back(pwsz ? pwsz : L"<null>");
    return g_scn.fSetDllDirectoryOk;
}

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD fFlags)
{
    g_scn.defaultDirFlags.push_back(fFlags);
    return g_scn.fSetDefaultOk;
}

BOOL WINAPI FakeSetProcessMitigationPolicy(int iPolicy, const void *pv, SIZE_T cb)
{
    DWORD dw = 0;
    if (cb == sizeof(dw))
        std::memcpy(&dw, pv, sizeof(dw));
    g_scn.mitigations.emplace_back(iPolicy, cb == sizeof(dw) ? dw : 0xDEADu);
    return g_scn.fMitigationOk;
}

LPTOP_LEVEL_EXCEPTION_FILTER WINAPI FakeSetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER pfn)
{
    g_scn.installedFilters.push_back(pfn);
    return g_scn.pfnPrevFilter;
}

struct FakeEntry {
    const char *pszName;
    bool Scenario::*pfPresent;
    void *pvFake;
};

const FakeEntry kFakes[] = {
    { "RtlGetVersion", &Scenario::fRtlGetVersion, reinterpret_cast<void *>(FakeRtlGetVersion) },
    { "GetVersionExW", &Scenario::fGetVersionExW, reinterpret_cast<void *>(FakeGetVersionExW) },
    { "GetVersion", &Scenario::fGetVersion, reinterpret_cast<void *>(FakeGetVersion) },
    { "RtlGetNtProductType", &Scenario::fRtlGetNtProductType, reinterpret_cast<void *>(FakeRtlGetNtProductType) },
    { "SetErrorMode", &Scenario::fSetErrorMode, reinterpret_cast<void *>(FakeSetErrorMode) },
    { "SetDllDirectoryW", &Scenario::fSetDllDirectoryW, reinterpret_cast<void *>(FakeSetDllDirectoryW) },
    { "SetDefaultDllDirectories", &Scenario::fSetDefaultDllDirectories,
      reinterpret_cast<void *>(FakeSetDefaultDllDirectories) },
    { "SetProcessMitigationPolicy", &Scenario::fSetProcessMitigationPolicy,
      reinterpret_cast<void *>(FakeSetProcessMitigationPolicy) },
    { "SetUnhandledExceptionFilter", &Scenario::fSetUnhandledExceptionFilter,
      reinterpret_cast<void *>(FakeSetUnhandledExceptionFilter) },
};

void *FakeResolve(HMODULE hMod, const char *pszSymbol)
{
    for (FakeEntry const &e : kFakes)
        if (std::strcmp(e.pszName, pszSymbol) == 0)
            return g_scn.*e.pfPresent ? e.pvFake : nullptr;
    return rtR3WinResolveDefault(hMod, pszSymbol);
}

// Installs the fakes for one test and puts the real lookups and the
// process's real version record back afterwards.
class InitWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_scn = Scenario();
        m_savedInfo = g_WinOsInfo;
        m_savedKind = g_enmWinOsKind;
        m_savedPrevFilter = g_pfnUnhandledXcptFilterPrev;
        m_savedSetFilter = g_pfnSetUnhandledExceptionFilter;
        g_pfnrtR3WinResolve = FakeResolve;
    }
    void TearDown() override
    {
        g_pfnrtR3WinResolve = rtR3WinResolveDefault;
        g_pfnrtR3WinGetModuleHandle = rtR3WinGetModuleHandleDefault;
        g_WinOsInfo = m_savedInfo;
        g_enmWinOsKind = m_savedKind;
        g_pfnUnhandledXcptFilterPrev = m_savedPrevFilter;
        g_pfnSetUnhandledExceptionFilter = m_savedSetFilter;
        g_hModKernel32 = GetModuleHandleW(L"kernel32.dll");
        g_hModNtDll = GetModuleHandleW(L"ntdll.dll");
    }

    RTWINOSVERSIONINFOEX m_savedInfo;
    RTWINOSTYPE m_savedKind;
    LPTOP_LEVEL_EXCEPTION_FILTER m_savedPrevFilter;
    PFNSETUNHANDLEDEXCEPTIONFILTER m_savedSetFilter;
};

std::string ExePathUtf8()
{
    wchar_t wsz[MAX_PATH * 4];
    DWORD const cwc = GetModuleFileNameW(nullptr, wsz, RT_ELEMENTS(wsz));
    char sz[MAX_PATH * 12];
    int const cb = WideCharToMultiByte(CP_UTF8, 0, wsz, static_cast<int>(cwc), sz, sizeof(sz), nullptr, nullptr);
    return std::string(sz, cb);
}

// The whole life of the process's initialisation state, in the order a
// program goes through it; it is process-wide, so it is one test.
TEST_F(InitWin, FirstAndLaterCalls)
{
    ASSERT_FALSE(RTR3InitIsInitialized());

    // First call skips the native setup and gives no arguments.
    ASSERT_EQ(RTR3Init(RTR3INIT_F_SKIP_NATIVE_SETUP, 0, nullptr, nullptr), RT_OK);
    EXPECT_TRUE(RTR3InitIsInitialized());
    EXPECT_FALSE(RTR3InitIsInProgress());
    EXPECT_TRUE(g_scn.dllDirectories.empty());
    EXPECT_TRUE(g_scn.defaultDirFlags.empty());
    EXPECT_EQ(g_hModKernel32, GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(g_hModNtDll, GetModuleHandleW(L"ntdll.dll"));
    EXPECT_EQ(g_WinOsInfo.dwOSVersionInfoSize, RTWINOSVERSIONINFOEX_SIZE);
    EXPECT_EQ(g_WinOsInfo.dwPlatformId, 2u);
    EXPECT_EQ(g_enmWinOsKind, rtR3WinClassifyOs(&g_WinOsInfo));

    // The path record is the executable's, taken apart.
    std::string const exe = ExePathUtf8();
    EXPECT_EQ(std::string(g_szExecPath), exe);
    EXPECT_EQ(g_cchExecPath, exe.size());
    EXPECT_EQ(std::string(g_szExecPath + g_offExecName), "test-win-init.exe");
    EXPECT_EQ(g_cchExecDir, exe.rfind('\\'));

    // The thread facility was set up with the calling thread as "main".
    EXPECT_EQ(RTThreadInit(), RTI_ALREADY_INITIALIZED);
    ASSERT_NE(RTThreadSelf(), NIL_RTTHREAD);
    EXPECT_STREQ(RTThreadGetName(RTThreadSelf()), "main");

    // A later call without the skip catches up on the hardening, once.
    char szArg0[] = "prog", szArg1[] = "--x";
    char *apszArgs[] = { szArg0, szArg1, nullptr };
    char **papszArgs = apszArgs;
    ASSERT_EQ(RTR3Init(RTR3INIT_F_DLL_SEARCH_SYSTEM32, 2, &papszArgs, nullptr), RT_OK);
    ASSERT_EQ(g_scn.dllDirectories.size(), 1u);
    EXPECT_EQ(g_scn.dllDirectories[0], L"");
    EXPECT_EQ(g_scn.defaultDirFlags, std::vector<DWORD>{ LOAD_LIBRARY_SEARCH_SYSTEM32 });
    ASSERT_EQ(RTR3Init(0, 2, &papszArgs, nullptr), RT_OK);
    EXPECT_EQ(g_scn.dllDirectories.size(), 1u);

    // The saved arguments are fixed now.
    EXPECT_EQ(RTR3Init(0, 3, &papszArgs, nullptr), RTE_WRONG_SEQUENCE);
    char *apszOther[] = { szArg0, szArg1, nullptr };
    char **papszOther = apszOther;
    EXPECT_EQ(RTR3Init(0, 2, &papszOther, nullptr), RTE_WRONG_SEQUENCE);
    EXPECT_EQ(RTR3Init(0, 0, nullptr, nullptr), RT_OK);
    EXPECT_EQ(RTR3Init(0, 2, &papszArgs, nullptr), RT_OK);

    // A program path replaces the record; the longest accepted is 4067 bytes.
    ASSERT_EQ(RTR3Init(0, 0, nullptr, "C:\\dir\\prog.exe"), RT_OK);
    EXPECT_STREQ(g_szExecPath, "C:\\dir\\prog.exe");
    EXPECT_EQ(g_offExecName, 7u);
    EXPECT_EQ(g_cchExecDir, 6u);
    std::string longPath = "C:\\" + std::string(4068 - 3, 'p');
    EXPECT_EQ(RTR3Init(0, 0, nullptr, longPath.c_str()), RTE_BUFFER_OVERFLOW);
    EXPECT_STREQ(g_szExecPath, "C:\\dir\\prog.exe");
    longPath.pop_back();
    ASSERT_EQ(RTR3Init(0, 0, nullptr, longPath.c_str()), RT_OK);
    EXPECT_EQ(g_cchExecPath, 4067u);
    EXPECT_EQ(g_offExecName, 3u);

    ASSERT_EQ(RTR3Init(0, 0, nullptr, exe.c_str()), RT_OK);
}

// ---------------------------------------------------------------------------

RTWINOSVERSIONINFOEX MakeVersion(uint32_t major, uint32_t minor, uint32_t build, uint8_t productType)
{
    RTWINOSVERSIONINFOEX v = {};
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    v.dwBuildNumber = build;
    v.dwPlatformId = 2;
    v.wProductType = productType;
    return v;
}

struct VersionCase {
    const char *pszWhat;
    void (*pfnSetup)(Scenario &);
    uint32_t major, minor, build;
    uint8_t productType;
    RTWINOSTYPE enmKind;
};

const VersionCase kVersionCases[] = {
    { "RtlGetVersion first",
      [](Scenario &s) {
          s.fRtlGetVersion = true;
          s.rtlVersion = MakeVersion(10, 0, 22000, 1);
          s.fGetVersionExW = true;
          s.exVersion = MakeVersion(6, 1, 7601, 1);
      },
      10, 0, 22000, 1, kRTWinOSType_11 },
    { "RtlGetVersion failing gives way to GetVersionExW",
      [](Scenario &s) {
          s.fRtlGetVersion = true;
          s.rcRtlGetVersion = static_cast<LONG>(0xC0000001);
          s.fGetVersionExW = true;
          s.exVersion = MakeVersion(6, 1, 7601, 3);
      },
      6, 1, 7601, 3, kRTWinOSType_2008R2 },
    { "short GetVersionExW record, product type from ntdll",
      [](Scenario &s) {
          s.fGetVersionExW = true;
          s.fGetVersionExWTakesFull = false;
          s.exVersion = MakeVersion(6, 0, 6002, 0);
          s.fRtlGetNtProductType = true;
          s.uProductType = 3;
      },
      6, 0, 6002, 3, kRTWinOSType_2008 },
    { "short GetVersionExW record without ntdll's product type is a workstation",
      [](Scenario &s) {
          s.fGetVersionExW = true;
          s.fGetVersionExWTakesFull = false;
          s.exVersion = MakeVersion(6, 0, 6002, 0);
      },
      6, 0, 6002, 1, kRTWinOSType_VISTA },
    { "GetVersion last",
      [](Scenario &s) {
          s.fGetVersion = true;
          s.dwGetVersion = 0x23F00206;
      },
      6, 2, 9200, 1, kRTWinOSType_8 },
    { "GetVersion with the top bit set gives build 511",
      [](Scenario &s) {
          s.fGetVersion = true;
          s.dwGetVersion = 0x80000004;
      },
      4, 0, 511, 1, kRTWinOSType_NT4 },
    { "GetVersionExW refusing both sizes",
      [](Scenario &s) {
          s.fGetVersionExW = true;
          s.fGetVersionExWTakesFull = false;
          s.fGetVersionExWTakesShort = false;
          s.exVersion = MakeVersion(6, 1, 7601, 1);
          s.fGetVersion = true;
          s.dwGetVersion = 0x0A280105;   // GetVersion's value wins then
      },
      5, 1, 2600, 1, kRTWinOSType_XP },
};

TEST_F(InitWin, VersionSourcesInOrder)
{
    for (VersionCase const &c : kVersionCases) {
        SCOPED_TRACE(c.pszWhat);
        g_scn = Scenario();
        c.pfnSetup(g_scn);
        ASSERT_EQ(rtR3InitWinFirst(RTR3INIT_F_SKIP_NATIVE_SETUP), RT_OK);
        EXPECT_EQ(g_WinOsInfo.dwOSVersionInfoSize, RTWINOSVERSIONINFOEX_SIZE);
        EXPECT_EQ(g_WinOsInfo.dwMajorVersion, c.major);
        EXPECT_EQ(g_WinOsInfo.dwMinorVersion, c.minor);
        EXPECT_EQ(g_WinOsInfo.dwBuildNumber, c.build);
        EXPECT_EQ(g_WinOsInfo.dwPlatformId, 2u);
        EXPECT_EQ(g_WinOsInfo.wProductType, c.productType);
        EXPECT_EQ(g_enmWinOsKind, c.enmKind);
        if (g_scn.fGetVersionExW && !g_scn.fGetVersionExWTakesFull) {
            EXPECT_EQ(g_scn.getVersionExSizes, (std::vector<DWORD>{ 284, 276 }));
        }
        // The native setup was skipped.
        EXPECT_TRUE(g_scn.dllDirectories.empty());
    }
}

TEST_F(InitWin, MissingSystemModuleFails)
{
    g_pfnrtR3WinGetModuleHandle = [](const wchar_t *pwsz) -> HMODULE {
        return _wcsicmp(pwsz, L"ntdll.dll") == 0 ? nullptr : GetModuleHandleW(pwsz);
    };
    EXPECT_EQ(rtR3InitWinFirst(RTR3INIT_F_SKIP_NATIVE_SETUP), RTE_INTERNAL_ERROR_B);
}

// ---------------------------------------------------------------------------

struct HardeningCase {
    RTWINOSTYPE enmKind;
    uint32_t fFlags;
    bool fSetDllDirectoryW, fSetDllOk;
    bool fSetDefault, fSetDefaultOk;
    int32_t rcExpected;
    std::vector<DWORD> defaultDirFlags;
};

const HardeningCase kHardeningCases[] = {
    { kRTWinOSType_10, 0, true, true, true, true, RT_OK, { 0xA00 } },
    { kRTWinOSType_10, RTR3INIT_F_DLL_SEARCH_SYSTEM32, true, true, true, true, RT_OK, { 0x800 } },
    { kRTWinOSType_7, 0, true, true, true, true, RT_OK, { 0xA00 } },
    { kRTWinOSType_VISTA, 0, true, true, true, true, RT_OK, {} },
    { kRTWinOSType_XP, RTR3INIT_F_DLL_SEARCH_SYSTEM32, true, true, true, true, RT_OK, { 0x800 } },
    { kRTWinOSType_10, 0, true, false, true, true, RTE_INTERNAL_ERROR_C, { 0xA00 } },
    { kRTWinOSType_10, 0, true, true, true, false, RTE_INTERNAL_ERROR_D, { 0xA00 } },
    { kRTWinOSType_10, 0, true, false, true, false, RTE_INTERNAL_ERROR_C, { 0xA00 } },
    { kRTWinOSType_10, RTR3INIT_F_DLL_SEARCH_SYSTEM32, false, true, false, true, RT_OK, {} },
};

TEST_F(InitWin, HardeningTable)
{
    for (HardeningCase const &c : kHardeningCases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.enmKind << " flags " << c.fFlags << " dll "
                                        << c.fSetDllDirectoryW << c.fSetDllOk << " default " << c.fSetDefault
                                        << c.fSetDefaultOk);
        g_scn = Scenario();
        g_scn.fOldErrorMode = SEM_NOGPFAULTERRORBOX;
        g_scn.fSetDllDirectoryW = c.fSetDllDirectoryW;
        g_scn.fSetDllDirectoryOk = c.fSetDllOk;
        g_scn.fSetDefaultDllDirectories = c.fSetDefault;
        g_scn.fSetDefaultOk = c.fSetDefaultOk;
        g_enmWinOsKind = c.enmKind;

        EXPECT_EQ(rtR3InitWinHardening(c.fFlags), c.rcExpected);
        // The old mode is read by setting the two bits, then kept with them.
        EXPECT_EQ(g_scn.errorModes,
                  (std::vector<UINT>{ 0x8001, SEM_NOGPFAULTERRORBOX | 0x8001 }));
        if (c.fSetDllDirectoryW) {
            EXPECT_EQ(g_scn.dllDirectories, std::vector<std::wstring>{ L"" });
        }
        EXPECT_EQ(g_scn.defaultDirFlags, c.defaultDirFlags);
    }
}

TEST_F(InitWin, RedirectionTrustWhereOffered)
{
    struct {
        bool fPresent;
        BOOL fOk;
        int iExpected;
    } const kCases[] = { { true, TRUE, 1 }, { true, FALSE, -1 }, { false, TRUE, 0 } };
    g_enmWinOsKind = kRTWinOSType_10;
    for (auto const &c : kCases) {
        g_scn = Scenario();
        g_scn.fSetProcessMitigationPolicy = c.fPresent;
        g_scn.fMitigationOk = c.fOk;
        // A refused policy is no hardening failure.
        EXPECT_EQ(rtR3InitWinHardening(0), RT_OK);
        EXPECT_EQ(g_iRedirectionTrust, c.iExpected);
        if (c.fPresent) {
            EXPECT_EQ(g_scn.mitigations, (std::vector<std::pair<int, DWORD>>{ { 16, 1u } }));
        }
    }
}

LONG WINAPI FakePrevFilter(EXCEPTION_POINTERS *pXcpt)
{
    return pXcpt && pXcpt->ExceptionRecord && pXcpt->ExceptionRecord->ExceptionCode == 0xE0001234
               ? EXCEPTION_EXECUTE_HANDLER
               : -7;
}

TEST_F(InitWin, ExceptionFilterChainsToThePreviousOne)
{
    EXCEPTION_RECORD rec = {};
    rec.ExceptionCode = 0xE0001234;
    EXCEPTION_POINTERS xcpt = { &rec, nullptr };

    g_scn.fSetUnhandledExceptionFilter = true;
    g_scn.pfnPrevFilter = FakePrevFilter;
    g_pfnUnhandledXcptFilterPrev = nullptr;
    ASSERT_EQ(rtR3InitWinHardening(0), RT_OK);
    EXPECT_EQ(g_scn.installedFilters, std::vector<LPTOP_LEVEL_EXCEPTION_FILTER>{ rtR3WinUnhandledXcptFilter });
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&xcpt), EXCEPTION_EXECUTE_HANDLER);

    // Installed once: a second hardening run leaves the chain alone.
    ASSERT_EQ(rtR3InitWinHardening(0), RT_OK);
    EXPECT_EQ(g_scn.installedFilters.size(), 1u);

    // Replacing itself records no previous filter: the search goes on.
    g_scn.installedFilters.clear();
    g_scn.pfnPrevFilter = rtR3WinUnhandledXcptFilter;
    g_pfnUnhandledXcptFilterPrev = nullptr;
    ASSERT_EQ(rtR3InitWinHardening(0), RT_OK);
    EXPECT_EQ(g_scn.installedFilters.size(), 1u);
    EXPECT_EQ(g_pfnUnhandledXcptFilterPrev, nullptr);
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&xcpt), EXCEPTION_CONTINUE_SEARCH);
}

TEST(InitWinExePath, MatchesTheSystemAndChecksTheBuffer)
{
    char szPath[RTPATH_EXEC_MAX];
    ASSERT_EQ(rtProcInitExePath(szPath, sizeof(szPath)), RT_OK);
    EXPECT_EQ(std::string(szPath), ExePathUtf8());
    char szSmall[8];
    EXPECT_EQ(rtProcInitExePath(szSmall, sizeof(szSmall)), RTE_BUFFER_OVERFLOW);
}

} // namespace
