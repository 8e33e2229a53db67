// Lazy imports under Wine: the first call loads the library from the system
// directory and fills the slot, later calls go straight through; a missing
// library or symbol stops the process after its message; planted look-alike
// DLLs beside the program or in the current directory are never loaded.
#include <gtest/gtest.h>

#include <quab/init.h>
#include <quab/lazy.h>

#include "ldr-fixture.h"

namespace {

void ConfigureLoader()
{
    if (!g_hModKernel32)
        g_hModKernel32 = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"kernel32.dll"));
    if (!g_hModNtDll)
        g_hModNtDll = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"ntdll.dll"));
}

std::wstring EnvVar(const wchar_t *pwszName)
{
    wchar_t wsz[MAX_PATH];
    DWORD cwc = GetEnvironmentVariableW(pwszName, wsz, MAX_PATH);
    return cwc && cwc < MAX_PATH ? std::wstring(wsz, cwc) : std::wstring();
}

std::wstring ModulePath(HMODULE hMod)
{
    wchar_t wsz[MAX_PATH];
    DWORD cwc = hMod ? GetModuleFileNameW(hMod, wsz, MAX_PATH) : 0;
    return std::wstring(wsz, cwc);
}

bool StartsWithNoCase(const std::wstring &wstr, const std::wstring &wstrPrefix)
{
    return wstr.size() >= wstrPrefix.size()
           && CompareStringOrdinal(wstr.c_str(), static_cast<int>(wstrPrefix.size()), wstrPrefix.c_str(),
                                   static_cast<int>(wstrPrefix.size()), TRUE)
                  == CSTR_EQUAL;
}

// The planting test's child: the same program, started beside planted DLLs.
// It does its loads and ends the process before any test runs; the exit code
// says whether the libraries came from the system directory.
class PlantChild : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::wstring const wstrMode = EnvVar(L"LDR_PLANT_MODE");
        if (wstrMode.empty())
            return;
        ConfigureLoader();
        UINT uExit = 0;
        if (wstrMode == L"runtime") {
            g_pfnMsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
            RTLDRMOD hMod = nullptr;
            if (RTLdrOpenSystem("version.dll", true, &hMod) < 0)
                uExit |= 4;
            std::wstring const wstrSys = SystemDir() + L"\\";
            if (!StartsWithNoCase(ModulePath(GetModuleHandleW(L"msi.dll")), wstrSys))
                uExit |= 1;
            if (!StartsWithNoCase(ModulePath(GetModuleHandleW(L"version.dll")), wstrSys))
                uExit |= 2;
        } else if (wstrMode == L"naive") {
            // The control: what a program that trusts the search order gets.
            LoadLibraryW(L"msi.dll");
            LoadLibraryW(L"version.dll");
        } else {
            // The search order puts the current directory after the system
            // directory, so a copy there is only reached by its full path.
            wchar_t wszCwd[MAX_PATH];
            std::wstring const wstrCwd(wszCwd, GetCurrentDirectoryW(MAX_PATH, wszCwd));
            LoadLibraryW((wstrCwd + L"\\msi.dll").c_str());
            LoadLibraryW((wstrCwd + L"\\version.dll").c_str());
        }
        ExitProcess(uExit);
    }
};
const auto *g_pPlantChildEnv = ::testing::AddGlobalTestEnvironment(new PlantChild);

TEST(LazyImport, FirstCallLoadsMsiFromTheSystemDirectoryOnce)
{
    ConfigureLoader();
    ASSERT_EQ(g_LazyLibMsi.hMod, nullptr) << "nothing in this process may have used the MSI slots yet";
    LdrSteering Steer;
    auto *const pfnBefore = g_pfnMsiSetInternalUI;

    INSTALLUILEVEL const enmPrev = g_pfnMsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    EXPECT_NE(enmPrev, INSTALLUILEVEL_NOCHANGE);
    ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u);
    EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, SystemDir() + L"\\MSI.DLL");
    HMODULE const hMsi = GetModuleHandleW(L"msi.dll");
    ASSERT_NE(hMsi, nullptr);
    EXPECT_EQ(RTLdrNativeHandle(g_LazyLibMsi.hMod), reinterpret_cast<uintptr_t>(hMsi));

    // The slot now holds the real function: one indirect call from here on.
    EXPECT_NE(g_pfnMsiSetInternalUI, pfnBefore);
    EXPECT_EQ(reinterpret_cast<void *>(g_pfnMsiSetInternalUI),
              reinterpret_cast<void *>(GetProcAddress(hMsi, "MsiSetInternalUI")));
    // The first call reached the engine with its arguments.
    EXPECT_EQ(g_pfnMsiSetInternalUI(enmPrev, nullptr), INSTALLUILEVEL_NONE);

    // Another function of the same library: resolved, not loaded again.
    EXPECT_EQ(g_pfnMsiEnableLogW(0, nullptr, 0), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(reinterpret_cast<void *>(g_pfnMsiEnableLogW),
              reinterpret_cast<void *>(GetProcAddress(hMsi, "MsiEnableLogW")));
    EXPECT_EQ(LdrSteering::s_aCalls.size(), 1u);
}

// The import pointers that plain-name calls of the window, drawing, stream
// and COM functions go through (r3/win/lazy-imports-win.cpp).
extern "C" void *g_pvImpCreateCompatibleDC __asm__("__imp__CreateCompatibleDC@4");
extern "C" void *g_pvImpDeleteDC __asm__("__imp__DeleteDC@4");

TEST(LazyImport, PlainNameCallLoadsGdi32FromTheSystemDirectoryOnFirstUse)
{
    ConfigureLoader();
    ASSERT_EQ(g_LazyLibGdi32.hMod, nullptr) << "nothing in this process may have called a GDI32 function yet";
    LdrSteering Steer;
    void *const pvBefore = g_pvImpCreateCompatibleDC;

    HDC const hdc = CreateCompatibleDC(nullptr);
    ASSERT_NE(hdc, nullptr) << "the first call must reach the real function with its argument";
    ASSERT_EQ(LdrSteering::s_aCalls.size(), 1u);
    EXPECT_EQ(LdrSteering::s_aCalls[0].wstrPath, SystemDir() + L"\\GDI32.DLL");
    HMODULE const hGdi = GetModuleHandleW(L"gdi32.dll");
    ASSERT_NE(hGdi, nullptr);
    EXPECT_EQ(RTLdrNativeHandle(g_LazyLibGdi32.hMod), reinterpret_cast<uintptr_t>(hGdi));
    EXPECT_NE(g_pvImpCreateCompatibleDC, pvBefore);
    EXPECT_EQ(g_pvImpCreateCompatibleDC, reinterpret_cast<void *>(GetProcAddress(hGdi, "CreateCompatibleDC")));

    // A second function of the library: looked up, not loaded again; the
    // DC the first call made is a real one that it can delete.
    EXPECT_NE(DeleteDC(hdc), FALSE);
    EXPECT_EQ(g_pvImpDeleteDC, reinterpret_cast<void *>(GetProcAddress(hGdi, "DeleteDC")));
    EXPECT_EQ(LdrSteering::s_aCalls.size(), 1u);
}

// Threads that make a library's first call together each load it; every
// one of them must come back with the record that the table keeps.
RTLAZYLIB g_LazyLibRace = {"KERNEL32.DLL", nullptr};
HANDLE g_hRaceGo = nullptr;
LONG volatile g_cRaceLoading = 0;

HMODULE WINAPI SlowLoadLibraryExW(LPCWSTR pwszPath, HANDLE hFile, DWORD fFlags)
{
    // Hold every racer inside its load until all have entered one, so each
    // has a record of its own to publish.
    InterlockedIncrement(&g_cRaceLoading);
    for (int i = 0; i < 200 && g_cRaceLoading < 4; i++)
        Sleep(10);
    return LoadLibraryExW(pwszPath, hFile, fFlags);
}

DWORD WINAPI RaceThread(void *pvUser)
{
    WaitForSingleObject(g_hRaceGo, INFINITE);
    *static_cast<RTLDRMOD *>(pvUser) = rtLazyLibModule(&g_LazyLibRace);
    return 0;
}

TEST(LazyImport, ThreadsRacingToTheFirstLoadAllGetTheKeptRecord)
{
    ConfigureLoader();
    LdrSteering Steer;
    g_pfnrtldrLoadLibraryExW = SlowLoadLibraryExW;
    g_hRaceGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(g_hRaceGo, nullptr);
    RTLDRMOD ahMod[4] = {};
    HANDLE ahThread[4] = {};
    for (unsigned i = 0; i < 4; i++) {
        ahThread[i] = CreateThread(nullptr, 0, RaceThread, &ahMod[i], 0, nullptr);
        ASSERT_NE(ahThread[i], nullptr);
    }
    SetEvent(g_hRaceGo);
    EXPECT_EQ(WaitForMultipleObjects(4, ahThread, TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE h : ahThread)
        CloseHandle(h);
    CloseHandle(g_hRaceGo);

    EXPECT_EQ(g_cRaceLoading, 4) << "the racers did not all load";
    ASSERT_NE(g_LazyLibRace.hMod, nullptr);
    for (RTLDRMOD hMod : ahMod)
        EXPECT_EQ(hMod, g_LazyLibRace.hMod);
    EXPECT_EQ(RTLdrNativeHandle(g_LazyLibRace.hMod), reinterpret_cast<uintptr_t>(GetModuleHandleW(L"kernel32.dll")));
}

} // namespace

// Test-only lazy tables and slots (outside any namespace: the thunks name
// them by their plain symbols). One library cannot be had, one symbol is
// missing; MulDiv shows that the thunk hands over every argument and leaves
// the stack as a __stdcall callee must.
RTLAZYLIB g_LazyLibMissing = {"NOSUCHLIB.DLL", nullptr};
RTLAZYLIB g_LazyLibKernel32 = {"KERNEL32.DLL", nullptr};
using FnTick = DWORD WINAPI();
extern "C" FnTick *g_pfnTestMissingLib;
extern "C" FnTick *g_pfnTestMissingSym;
extern "C" FnTick *g_pfnTestKernelTick;
extern "C" decltype(::MulDiv) *g_pfnTestMulDiv;
RT_LAZY_SLOT(FnTick, g_pfnTestMissingLib, "_g_pfnTestMissingLib", g_LazyLibMissing, "GetTickCount");
RT_LAZY_SLOT(FnTick, g_pfnTestMissingSym, "_g_pfnTestMissingSym", g_LazyLibKernel32, "NoSuchFunctionAnywhere");
RT_LAZY_SLOT(FnTick, g_pfnTestKernelTick, "_g_pfnTestKernelTick", g_LazyLibKernel32, "GetTickCount");
RT_LAZY_SLOT(decltype(::MulDiv), g_pfnTestMulDiv, "_g_pfnTestMulDiv", g_LazyLibKernel32, "MulDiv");

namespace {

auto &g_pfnMissingLib = g_pfnTestMissingLib;
auto &g_pfnMissingSym = g_pfnTestMissingSym;
auto &g_pfnKernelTick = g_pfnTestKernelTick;

TEST(LazyImport, ThunkPassesEveryArgumentAndKeepsTheStack)
{
    ConfigureLoader();
    void *const pvThunk = reinterpret_cast<void *>(g_pfnTestMulDiv);
    // The first call goes through the thunk; the stack pointer must be
    // where it was once the callee popped its three arguments.
    uintptr_t uEspBefore = 0, uEspAfter = 0;
    __asm__ volatile("movl %%esp, %0" : "=r"(uEspBefore));
    int const iFirst = g_pfnTestMulDiv(300000, 7000, 3);
    __asm__ volatile("movl %%esp, %0" : "=r"(uEspAfter));
    EXPECT_EQ(iFirst, 700000000);
    EXPECT_EQ(uEspAfter, uEspBefore);
    EXPECT_NE(reinterpret_cast<void *>(g_pfnTestMulDiv), pvThunk);
    EXPECT_EQ(reinterpret_cast<void *>(g_pfnTestMulDiv),
              reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "MulDiv")));
    EXPECT_EQ(g_pfnTestMulDiv(-10, 9, 4), MulDiv(-10, 9, 4));
}

// The stop is a breakpoint trap; the death-test child turns it into an exit
// code so that no crash handler gets involved.
LONG CALLBACK BreakpointToExit(EXCEPTION_POINTERS *pXcpt)
{
    if (pXcpt->ExceptionRecord->ExceptionCode == EXCEPTION_BREAKPOINT)
        TerminateProcess(GetCurrentProcess(), 0x80000003u);
    return EXCEPTION_CONTINUE_SEARCH;
}

bool StoppedAtBreakpoint(int iExit)
{
    return static_cast<unsigned>(iExit) == 0x80000003u;
}

TEST(LazyImportDeathTest, MissingLibraryStopsAfterItsMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ConfigureLoader();
    EXPECT_EXIT(
        {
            AddVectoredExceptionHandler(1, BreakpointToExit);
            g_pfnMissingLib();
        },
        StoppedAtBreakpoint, "Lazy loader failed to load \"NOSUCHLIB.DLL\": RTE_MODULE_NOT_FOUND\n");
}

TEST(LazyImportDeathTest, MissingSymbolStopsAfterItsMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ConfigureLoader();
    EXPECT_EXIT(
        {
            AddVectoredExceptionHandler(1, BreakpointToExit);
            g_pfnMissingSym();
        },
        StoppedAtBreakpoint,
        "Lazy loader failed to resolve symbol \"NoSuchFunctionAnywhere\" in \"KERNEL32.DLL\": RTE_\\w+\n");
}

TEST(LazyImportDeathTest, LoadingBeforeInitialisationStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            AddVectoredExceptionHandler(1, BreakpointToExit);
            g_hModKernel32 = nullptr;
            RTLDRMOD hMod = nullptr;
            (void)RTLdrOpenSystem("version.dll", true, &hMod);
        },
        StoppedAtBreakpoint,
        "rtldrNativeLoadSystem\\(version.dll,,\\) is called before QUAB has configured the windows loader!\n");
}

TEST(LazyImport, ResolvedSlotIsTheRealFunction)
{
    ConfigureLoader();
    DWORD const dwTick = g_pfnKernelTick();
    EXPECT_GE(GetTickCount(), dwTick);
    EXPECT_EQ(reinterpret_cast<void *>(g_pfnKernelTick),
              reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
}

bool CopyInto(const std::wstring &wstrFrom, const std::wstring &wstrDir, const wchar_t *pwszName)
{
    return CopyFileW(wstrFrom.c_str(), (wstrDir + L"\\" + pwszName).c_str(), FALSE) != FALSE;
}

// Runs the planting child; returns its exit code.
DWORD RunPlantChild(const std::wstring &wstrExe, const std::wstring &wstrCwd, const std::wstring &wstrMarkers,
                    const wchar_t *pwszMode)
{
    SetEnvironmentVariableW(L"LDR_PLANT_MARKER_DIR", wstrMarkers.c_str());
    SetEnvironmentVariableW(L"LDR_PLANT_MODE", pwszMode);
    std::wstring wstrCmd = L"\"" + wstrExe + L"\" --gtest_filter=LazyImport.ResolvedSlotIsTheRealFunction";
    STARTUPINFOW Si = {};
    Si.cb = sizeof(Si);
    PROCESS_INFORMATION Pi = {};
    BOOL const fOk = CreateProcessW(wstrExe.c_str(), wstrCmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    wstrCwd.c_str(), &Si, &Pi);
    SetEnvironmentVariableW(L"LDR_PLANT_MARKER_DIR", nullptr);
    SetEnvironmentVariableW(L"LDR_PLANT_MODE", nullptr);
    if (!fOk)
        return 0xDEAD0000u | GetLastError();
    WaitForSingleObject(Pi.hProcess, 120000);
    DWORD dwExit = 0xDEADFFFFu;
    GetExitCodeProcess(Pi.hProcess, &dwExit);
    CloseHandle(Pi.hThread);
    CloseHandle(Pi.hProcess);
    return dwExit;
}

bool Exists(const std::wstring &wstrPath)
{
    return GetFileAttributesW(wstrPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(LdrPlanting, LookAlikesBesideTheProgramOrInTheCurrentDirectoryAreNeverLoaded)
{
    wchar_t wszSelf[MAX_PATH];
    std::wstring const wstrSelf(wszSelf, GetModuleFileNameW(nullptr, wszSelf, MAX_PATH));
    std::wstring const wstrPlanted = wstrSelf.substr(0, wstrSelf.find_last_of(L'\\')) + L"\\planted-dlls";
    ASSERT_TRUE(Exists(wstrPlanted + L"\\msi.dll")) << Utf8(wstrPlanted);
    // Wine takes the override from the environment the whole program started
    // with; without native-first order even the naive control loads nothing.
    ASSERT_NE(EnvVar(L"WINEDLLOVERRIDES").find(L"msi,version=n"), std::wstring::npos)
        << "run with WINEDLLOVERRIDES=msi,version=n,b";

    struct Run {
        const wchar_t *pwszMode;
        const wchar_t *pwszDll;
        bool fPlantBesideExe;
        bool fPlantInCwd;
        bool fExpectLoaded;   // the planted copy's marker appears
    };
    // Under Wine user32 imports version.dll, so with native-first order a
    // version.dll beside any program that imports user32 is loaded by the
    // system's own import resolution before the program runs; that copy is
    // only planted in the current directory here.
    static const Run s_aRuns[] = {
        {L"naive", L"msi.dll", true, false, true},   // the controls: planted copies can load
        {L"naive", L"version.dll", true, false, true},
        {L"naive-cwd-path", L"msi.dll", false, true, true},
        {L"naive-cwd-path", L"version.dll", false, true, true},
        {L"runtime", L"msi.dll", true, true, false},
        {L"runtime", L"version.dll", false, true, false},
    };
    for (const Run &r : s_aRuns) {
        std::wstring const wstrApp = MakeScratchDir(L"app");
        std::wstring const wstrCwd = MakeScratchDir(L"cwd");
        std::wstring const wstrMarkers = MakeScratchDir(L"markers");
        ASSERT_TRUE(CopyInto(wstrSelf, wstrApp, L"ldrplant.exe"));
        if (r.fPlantBesideExe)
            ASSERT_TRUE(CopyInto(wstrPlanted + L"\\" + r.pwszDll, wstrApp, r.pwszDll));
        if (r.fPlantInCwd)
            ASSERT_TRUE(CopyInto(wstrPlanted + L"\\" + r.pwszDll, wstrCwd, r.pwszDll));

        DWORD const dwExit = RunPlantChild(wstrApp + L"\\ldrplant.exe", wstrCwd, wstrMarkers, r.pwszMode);
        std::string const strWhat = Utf8(std::wstring(r.pwszMode) + L" " + r.pwszDll
                                         + (r.fPlantBesideExe ? L" beside-exe" : L"")
                                         + (r.fPlantInCwd ? L" in-cwd" : L""));
        EXPECT_EQ(dwExit, 0u) << strWhat;
        EXPECT_EQ(Exists(wstrMarkers + L"\\" + r.pwszDll + L".loaded"), r.fExpectLoaded) << strWhat;

        RemoveTree(wstrApp);
        RemoveTree(wstrCwd);
        RemoveTree(wstrMarkers);
    }
}

} // namespace
