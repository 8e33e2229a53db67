// The loader under Wine: names and suffixes, the system-directory rule, the
// search-flag retry, the redirection rule, symbols and release.
#include <gtest/gtest.h>

#include <quab/err.h>
#include <quab/init.h>
#include <quab/ldr.h>

#include "common/ldr/ldr-internal.h"
#include "ldr-fixture.h"

namespace {

// What runtime initialisation would have recorded before any load.
class LoaderConfigured : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!g_hModKernel32)
            g_hModKernel32 = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"kernel32.dll"));
        if (!g_hModNtDll)
            g_hModNtDll = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"ntdll.dll"));
    }
};
const auto *g_pLoaderEnv = ::testing::AddGlobalTestEnvironment(new LoaderConfigured);

TEST(LdrOpenSystem, RejectsPathsAndBadArguments)
{
    LdrSteering Steer;
    struct Case {
        std::string strName;
        int32_t rc;
    };
    const Case aCases[] = {
        {"sub\\x.dll", RTE_INVALID_PARAMETER}, {"sub/x.dll", RTE_INVALID_PARAMETER},
        {"c:x.dll", RTE_INVALID_PARAMETER},    {"..\\msi.dll", RTE_INVALID_PARAMETER},
        {"\\msi.dll", RTE_INVALID_PARAMETER},  {std::string(3075, 'a'), RTE_INVALID_PARAMETER},
    };
    for (const Case &c : aCases) {
        RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x1234);
        EXPECT_EQ(RTLdrOpenSystem(c.strName.c_str(), true, &hMod), c.rc) << c.strName.substr(0, 20);
        EXPECT_EQ(hMod, nullptr);
    }
    RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x1234);
    EXPECT_EQ(RTLdrOpenSystem(nullptr, true, &hMod), RTE_INVALID_PARAMETER);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrOpenSystem("msi.dll", true, nullptr), RTE_INVALID_PARAMETER);
    EXPECT_TRUE(LdrSteering::s_aCalls.empty());

    // One byte below the limit is a name like any other: it is looked for.
    EXPECT_EQ(RTLdrOpenSystem(std::string(3074, 'a').c_str(), true, &hMod), RTE_MODULE_NOT_FOUND);
}

// A system directory of the test's own: which file the loader asks for.
class LdrFakeSystemDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_wstrDir = MakeScratchDir(L"sys");
        LdrSteering::s_wstrSysDir = m_wstrDir;
        LdrSteering::s_hFakeModule = GetModuleHandleW(L"kernel32.dll");
    }
    void TearDown() override { RemoveTree(m_wstrDir); }
    void Touch(const std::wstring &wstrName)
    {
        HANDLE h = CreateFileW((m_wstrDir + L"\\" + wstrName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }

    LdrSteering m_Steer;
    std::wstring m_wstrDir;
};

TEST_F(LdrFakeSystemDir, NameWithoutSuffixGetsDotDll)
{
    struct Case {
        const char *pszName;
        const wchar_t *pwszFile;   // what must be asked for
    };
    static const Case s_aCases[] = {
        {"foo", L"foo.DLL"},       {"foo.dll", L"foo.dll"},     {"Foo.Bar", L"Foo.Bar"},
        {".hidden", L".hidden.DLL"}, {"a.b.c", L"a.b.c"},       {"x.", L"x..DLL"},
    };
    for (const Case &c : s_aCases) {
        Touch(c.pwszFile);
        LdrSteering::s_aCalls.clear();
        RTLDRMOD hMod = nullptr;
        ASSERT_EQ(RTLdrOpenSystem(c.pszName, true, &hMod), RT_OK) << c.pszName;
        ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u) << c.pszName;
        EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, m_wstrDir + L"\\" + c.pwszFile) << c.pszName;
        EXPECT_EQ(LdrSteering::s_aCalls[0].fFlags, 0u);
        EXPECT_EQ(RTLdrNativeHandle(hMod), reinterpret_cast<uintptr_t>(LdrSteering::s_hFakeModule));
        EXPECT_EQ(RTLdrRelease(hMod), RT_OK);
    }
}

TEST_F(LdrFakeSystemDir, OnlyRegularFilesInTheSystemDirectoryAreLoaded)
{
    CreateDirectoryW((m_wstrDir + L"\\dir.dll").c_str(), nullptr);
    struct Case {
        const char *pszName;
    };
    static const Case s_aCases[] = {{"absent.dll"}, {"absent"}, {"dir.dll"}, {"dir"}};
    for (const Case &c : s_aCases) {
        RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x1234);
        EXPECT_EQ(RTLdrOpenSystem(c.pszName, true, &hMod), RTE_MODULE_NOT_FOUND) << c.pszName;
        EXPECT_EQ(hMod, nullptr);
    }
    // Never handed to the system's own search.
    EXPECT_TRUE(LdrSteering::s_aCalls.empty());
    EXPECT_EQ(RTLdrFindSystemSymbol("absent.dll", "Anything"), nullptr);
}

TEST_F(LdrFakeSystemDir, OverlongSystemDirectoryIsRefused)
{
    LdrSteering::s_wstrSysDir = L"C:\\" + std::wstring(300, L'd');
    RTLDRMOD hMod = nullptr;
    EXPECT_EQ(RTLdrOpenSystem("msi.dll", true, &hMod), RTE_FILENAME_TOO_LONG);
    EXPECT_TRUE(LdrSteering::s_aCalls.empty());
}

TEST(LdrRealSystem, LoadsAndResolvesFromTheSystemDirectory)
{
    LdrSteering Steer;
    RTLDRMOD hMod = nullptr;
    ASSERT_EQ(RTLdrOpenSystem("version", false, &hMod), RT_OK);
    ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u);
    EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, SystemDir() + L"\\version.DLL");
    HMODULE hNative = GetModuleHandleW(L"version.dll");
    ASSERT_NE(hNative, nullptr);
    EXPECT_EQ(RTLdrNativeHandle(hMod), reinterpret_cast<uintptr_t>(hNative));

    void *pv = nullptr;
    EXPECT_EQ(RTLdrFindSymbol(hMod, "GetFileVersionInfoSizeW", &pv), RT_OK);
    EXPECT_EQ(pv, reinterpret_cast<void *>(GetProcAddress(hNative, "GetFileVersionInfoSizeW")));
    pv = reinterpret_cast<void *>(0x1234);
    EXPECT_LT(RTLdrFindSymbol(hMod, "NoSuchExportAnywhere", &pv), 0);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(RTLdrFindSymbolOrNull(hMod, "NoSuchExportAnywhere"), nullptr);
    EXPECT_EQ(RTLdrFindSymbolOrNull(hMod, "VerQueryValueW"),
              reinterpret_cast<void *>(GetProcAddress(hNative, "VerQueryValueW")));
    EXPECT_EQ(RTLdrRelease(hMod), RT_OK);

    EXPECT_EQ(RTLdrFindSystemSymbol("kernel32.dll", "GetTickCount"),
              reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
}

TEST(LdrModule, EntryPointsCheckTheirArguments)
{
    LdrSteering Steer;
    RTLDRMOD hMod = nullptr;
    ASSERT_EQ(RTLdrOpenSystem("kernel32.dll", true, &hMod), RT_OK);
    RTLDRMODINTERNAL Fake = *hMod;
    Fake.u32Magic = RTLDRMOD_MAGIC + 1;   // what a released record carries
    void *pv = nullptr;

    struct Case {
        RTLDRMOD hMod;
        const char *pszSymbol;
        void **ppv;
        int32_t rc;
    };
    const Case aCases[] = {
        {nullptr, "GetTickCount", &pv, RTE_INVALID_HANDLE},
        {reinterpret_cast<RTLDRMOD>(0x100), "GetTickCount", &pv, RTE_INVALID_HANDLE},
        {&Fake, "GetTickCount", &pv, RTE_INVALID_HANDLE},
        {hMod, nullptr, &pv, RTE_INVALID_PARAMETER},
        {hMod, "GetTickCount", nullptr, RTE_INVALID_POINTER},
        {hMod, "GetTickCount", &pv, RT_OK},
    };
    for (const Case &c : aCases)
        EXPECT_EQ(RTLdrFindSymbol(c.hMod, c.pszSymbol, c.ppv), c.rc);
    EXPECT_NE(pv, nullptr);

    EXPECT_EQ(RTLdrNativeHandle(&Fake), ~static_cast<uintptr_t>(0));
    EXPECT_EQ(RTLdrNativeHandle(nullptr), ~static_cast<uintptr_t>(0));
    EXPECT_EQ(RTLdrRelease(nullptr), RT_OK);
    EXPECT_EQ(RTLdrRelease(&Fake), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTLdrRelease(hMod), RT_OK);
}

TEST(LdrOpenFile, PathHandlingAndFlags)
{
    LdrSteering Steer;
    LdrSteering::s_hFakeModule = GetModuleHandleW(L"kernel32.dll");
    struct Case {
        const char *pszPath;
        uint32_t fFlags;
        int32_t rc;
        const wchar_t *pwszAsked;   // nullptr: nothing may be loaded
    };
    static const Case s_aCases[] = {
        {"C:/x/y.dll", RTLDRLOAD_F_NO_UNLOAD, RT_OK, L"C:\\x\\y.dll"},
        {"C:\\x\\y", RTLDRLOAD_F_NO_UNLOAD, RT_OK, L"C:\\x\\y.DLL"},
        {"C:\\x.d\\y", RTLDRLOAD_F_NO_UNLOAD, RT_OK, L"C:\\x.d\\y.DLL"},
        {"C:\\x\\y", RTLDRLOAD_F_NO_UNLOAD | RTLDRLOAD_F_NO_SUFFIX, RT_OK, L"C:\\x\\y"},
        {"\\\\srv\\share\\z.dll", RTLDRLOAD_F_NO_UNLOAD, RT_OK, L"\\\\srv\\share\\z.dll"},
        {"y.dll", RTLDRLOAD_F_NO_UNLOAD, RTE_INTERNAL_ERROR_B, nullptr},
        {"C:y.dll", RTLDRLOAD_F_NO_UNLOAD, RTE_INTERNAL_ERROR_B, nullptr},
        {"C:\\y.dll", 1, RTE_INVALID_FLAGS, nullptr},
        {"C:\\y.dll", 16, RTE_INVALID_PARAMETER, nullptr},
    };
    for (const Case &c : s_aCases) {
        LdrSteering::s_aCalls.clear();
        RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x1234);
        EXPECT_EQ(RTLdrOpenFile(c.pszPath, &hMod, c.fFlags, nullptr), c.rc) << c.pszPath;
        if (c.pwszAsked) {
            ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u) << c.pszPath;
            EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, c.pwszAsked) << c.pszPath;
            EXPECT_EQ(RTLdrRelease(hMod), RT_OK);
        } else {
            EXPECT_TRUE(LdrSteering::s_aCalls.empty()) << c.pszPath;
            EXPECT_EQ(hMod, nullptr) << c.pszPath;
        }
    }
    RTLDRMOD hMod = nullptr;
    EXPECT_EQ(RTLdrOpenFile(nullptr, &hMod, 0, nullptr), RTE_INVALID_POINTER);
    EXPECT_EQ(RTLdrOpenFile("C:\\y.dll", nullptr, 0, nullptr), RTE_INVALID_POINTER);
}

TEST(LdrOpenFile, FailureKeepsTheSystemErrorInTheRecord)
{
    LdrSteering Steer;
    LdrSteering::s_dwFailErr = ERROR_MOD_NOT_FOUND;
    char szMsg[64];
    RTERRINFO ErrInfo;
    RTErrInfoInit(&ErrInfo, szMsg, sizeof(szMsg));
    RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x1234);
    int32_t const rc = RTLdrOpenFile("C:\\none\\x.dll", &hMod, 0, &ErrInfo);
    EXPECT_EQ(rc, RTErrConvertFromWinError(ERROR_MOD_NOT_FOUND));
    EXPECT_LT(rc, 0);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_TRUE(RTErrInfoIsSet(&ErrInfo));
    EXPECT_EQ(ErrInfo.rc, rc);
    EXPECT_STREQ(szMsg, "GetLastError=126");

    // A later success clears what an earlier failure left.
    LdrSteering::s_dwFailErr = 0;
    LdrSteering::s_hFakeModule = GetModuleHandleW(L"kernel32.dll");
    EXPECT_EQ(RTLdrOpenFile("C:\\none\\x.dll", &hMod, RTLDRLOAD_F_NO_UNLOAD, &ErrInfo), RT_OK);
    EXPECT_FALSE(RTErrInfoIsSet(&ErrInfo));
    EXPECT_STREQ(szMsg, "");
    EXPECT_EQ(RTLdrRelease(hMod), RT_OK);
}

TEST(LdrOpenFile, SearchFlagsAreRetriedOnceThenDropped)
{
    LdrSteering Steer;
    LdrSteering::s_hFakeModule = GetModuleHandleW(L"kernel32.dll");
    uint32_t const fFlags = RTLDRLOAD_F_SEARCH_SYSTEM | RTLDRLOAD_F_NO_UNLOAD;
    constexpr DWORD fSearch = 0x900;   // system directory and the library's own, no application directory

    struct Step {
        int iRecordBefore;
        DWORD dwFailErr;      // for calls with flags
        int32_t rc;
        std::vector<DWORD> afCalls;
        int iRecordAfter;
    };
    const Step aSteps[] = {
        {0, ERROR_INVALID_PARAMETER, RT_OK, {fSearch, 0}, -1},   // rejected: retried without
        {-1, ERROR_INVALID_PARAMETER, RT_OK, {0}, -1},           // and straight to 0 afterwards
        {0, 0, RT_OK, {fSearch}, 1},                             // accepted
        {1, 0, RT_OK, {fSearch}, 1},
        {0, ERROR_ACCESS_DENIED, RTE_ACCESS_DENIED, {fSearch}, 1},   // another failure: flags taken as accepted
    };
    for (const Step &s : aSteps) {
        g_iLdrLoadLibSearchFlags = s.iRecordBefore;
        LdrSteering::s_dwFailErr = s.dwFailErr;
        LdrSteering::s_fFailOnlyWithFlags = true;
        LdrSteering::s_aCalls.clear();
        RTLDRMOD hMod = nullptr;
        EXPECT_EQ(RTLdrOpenFile("C:\\x\\y.dll", &hMod, fFlags, nullptr), s.rc);
        std::vector<DWORD> afSeen;
        for (const LoadCall &Call : LdrSteering::s_aCalls)
            afSeen.push_back(Call.fFlags);
        EXPECT_EQ(afSeen, s.afCalls) << s.iRecordBefore << " " << s.dwFailErr;
        EXPECT_EQ(g_iLdrLoadLibSearchFlags, s.iRecordAfter);
        RTLdrRelease(hMod);
    }

    // Without the flag the record is neither consulted nor changed.
    g_iLdrLoadLibSearchFlags = 0;
    LdrSteering::s_dwFailErr = 0;
    LdrSteering::s_aCalls.clear();
    RTLDRMOD hMod = nullptr;
    EXPECT_EQ(RTLdrOpenFile("C:\\x\\y.dll", &hMod, RTLDRLOAD_F_NO_UNLOAD, nullptr), RT_OK);
    ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u);
    EXPECT_EQ(LdrSteering::s_aCalls[0].fFlags, 0u);
    EXPECT_EQ(g_iLdrLoadLibSearchFlags, 0);
    RTLdrRelease(hMod);
}

TEST(LdrRedirection, SeparatorsMatchedAgainstTheSystemDirectory)
{
    struct Case {
        const char16_t *pwszRedirected;
        const char16_t *pwszSysDir;
        unsigned cSeps;
    };
    static const Case s_aCases[] = {
        {u"C:\\Windows\\WinSxS\\x86_a\\msi.dll", u"C:\\WINDOWS\\system32", 2},
        {u"c:/windows//winsxs/m.dll", u"C:\\Windows\\System32", 2},
        {u"C:\\Windows\\system32\\m.dll", u"C:\\Windows\\system32", 2},
        {u"C:\\Windows\\system32\\sub\\m.dll", u"C:\\Windows\\system32\\", 3},
        {u"C:\\Other\\m.dll", u"C:\\Windows\\system32", 1},
        {u"C:\\Windowsx\\m.dll", u"C:\\Windows\\system32", 1},
        {u"D:\\Windows\\m.dll", u"C:\\Windows\\system32", 0},
        {u"\\\\srv\\Windows\\m.dll", u"C:\\Windows\\system32", 0},
        {u"\\\\?\\C:\\Windows\\m.dll", u"C:\\Windows\\system32", 0},
        {u"", u"C:\\Windows\\system32", 0},
    };
    for (const Case &c : s_aCases) {
        size_t cwc = 0;
        while (c.pwszRedirected[cwc])
            cwc++;
        EXPECT_EQ(rtldrCountMatchingSeparators(c.pwszRedirected, cwc, c.pwszSysDir), c.cSeps)
            << Utf8(reinterpret_cast<const wchar_t *>(c.pwszRedirected));
    }
}

std::wstring g_wstrRedirectTo;

NTSTATUS NTAPI FakeRedirect(ULONG, PUNICODE_STRING, PUNICODE_STRING, PUNICODE_STRING pStatic, PUNICODE_STRING,
                            PUNICODE_STRING *ppNewName, PULONG, PSIZE_T, PSIZE_T)
{
    size_t const cb = g_wstrRedirectTo.size() * sizeof(wchar_t);
    if (cb + sizeof(wchar_t) > pStatic->MaximumLength)
        return static_cast<NTSTATUS>(0xC0000023);   // STATUS_BUFFER_TOO_SMALL
    memcpy(pStatic->Buffer, g_wstrRedirectTo.c_str(), cb + sizeof(wchar_t));
    pStatic->Length = static_cast<USHORT>(cb);
    *ppNewName = pStatic;
    return 0;
}

TEST(LdrRedirection, OnlyRedirectionsNearTheSystemDirectoryAreFollowed)
{
    LdrSteering Steer;
    LdrSteering::s_hFakeModule = GetModuleHandleW(L"kernel32.dll");
    g_fLdrRedirLookedUp = true;
    g_pfnrtldrDosApplyFileIsolationRedirection = FakeRedirect;

    wchar_t wszWinDir[MAX_PATH];
    UINT const cwcWinDir = GetWindowsDirectoryW(wszWinDir, MAX_PATH);
    std::wstring const wstrInside = std::wstring(wszWinDir, cwcWinDir) + L"\\win.ini";
    ASSERT_NE(GetFileAttributesW(wstrInside.c_str()), INVALID_FILE_ATTRIBUTES);
    std::wstring const wstrOutsideDir = MakeScratchDir(L"redir");
    std::wstring const wstrOutside = wstrOutsideDir + L"\\version.dll";
    HANDLE h = CreateFileW(wstrOutside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(h);

    struct Case {
        std::wstring wstrTarget;
        std::wstring wstrAsked;
    };
    const Case aCases[] = {
        {wstrInside, wstrInside},
        {wstrOutside, SystemDir() + L"\\version.DLL"},
    };
    for (const Case &c : aCases) {
        g_wstrRedirectTo = c.wstrTarget;
        LdrSteering::s_aCalls.clear();
        RTLDRMOD hMod = nullptr;
        EXPECT_EQ(RTLdrOpenSystem("version", true, &hMod), RT_OK);
        ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u);
        EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, c.wstrAsked);
        RTLdrRelease(hMod);
    }
    RemoveTree(wstrOutsideDir);
}

TEST(LdrErrInfo, SetClearAndTruncate)
{
    char szMsg[8];
    RTERRINFO ErrInfo;
    RTErrInfoInit(&ErrInfo, szMsg, sizeof(szMsg));
    EXPECT_EQ(ErrInfo.fFlags & RTERRINFO_FLAGS_MAGIC_MASK, RTERRINFO_FLAGS_MAGIC);
    EXPECT_FALSE(RTErrInfoIsSet(&ErrInfo));
    EXPECT_EQ(RTErrInfoSetText(&ErrInfo, RTE_NO_MEMORY, "a long message"), RTE_NO_MEMORY);
    EXPECT_TRUE(RTErrInfoIsSet(&ErrInfo));
    EXPECT_STREQ(szMsg, "a long ");
    EXPECT_EQ(RTErrInfoSetFormat(&ErrInfo, RTE_INVALID_FLAGS, "n=%u", 42u), RTE_INVALID_FLAGS);
    EXPECT_STREQ(szMsg, "n=42");
    EXPECT_EQ(ErrInfo.rc, RTE_INVALID_FLAGS);
    RTErrInfoClear(&ErrInfo);
    EXPECT_FALSE(RTErrInfoIsSet(&ErrInfo));
    EXPECT_EQ(ErrInfo.rc, RT_OK);
    EXPECT_STREQ(szMsg, "");
    EXPECT_EQ(ErrInfo.fFlags & RTERRINFO_FLAGS_MAGIC_MASK, RTERRINFO_FLAGS_MAGIC);
    // No record: only the status comes back.
    EXPECT_EQ(RTErrInfoSetText(nullptr, RTE_NO_MEMORY, "x"), RTE_NO_MEMORY);
    EXPECT_EQ(RTErrInfoSetFormat(nullptr, RTE_INVALID_FLAGS, "%d", 1), RTE_INVALID_FLAGS);
}

} // namespace
