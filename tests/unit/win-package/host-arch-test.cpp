// The host's native architecture from the two system queries, steered
// through the kernel32 look-up, and the display names.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Installer/win/Stub/MorvStubPackage.h"
#include "fake-reports.h"

namespace {

// What the faked system offers and answers.
struct FakeSystem {
    bool fHas2 = false;
    bool fOk2 = true;
    bool fWrite2 = true;        // false: succeeds without filling the outputs
    USHORT uNative = 0;
    USHORT uProcess = 0;
    bool fHas1 = false;
    bool fOk1 = true;
    bool fWrite1 = true;
    BOOL fWow64 = FALSE;
    DWORD dwError = 0;
};
FakeSystem g_Fake;
std::vector<std::string> g_aLookups;

BOOL WINAPI FakeIsWow64Process2(HANDLE hProcess, USHORT *puProcess, USHORT *puNative)
{
    EXPECT_EQ(hProcess, GetCurrentProcess());
    if (!g_Fake.fOk2) {
        SetLastError(g_Fake.dwError);
        return FALSE;
    }
    if (g_Fake.fWrite2) {
        *puProcess = g_Fake.uProcess;
        *puNative = g_Fake.uNative;
    }
    return TRUE;
}

BOOL WINAPI FakeIsWow64Process(HANDLE hProcess, PBOOL pfWow64)
{
    EXPECT_EQ(hProcess, GetCurrentProcess());
    if (!g_Fake.fOk1) {
        SetLastError(g_Fake.dwError);
        return FALSE;
    }
    if (g_Fake.fWrite1)
        *pfWow64 = g_Fake.fWow64;
    return TRUE;
}

FARPROC FakeLookup(const char *pszName)
{
    g_aLookups.push_back(pszName);
    if (std::strcmp(pszName, "IsWow64Process2") == 0 && g_Fake.fHas2)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeIsWow64Process2));
    if (std::strcmp(pszName, "IsWow64Process") == 0 && g_Fake.fHas1)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeIsWow64Process));
    return nullptr;
}

class HostArch : public testing::Test {
protected:
    void SetUp() override
    {
        g_Fake = FakeSystem();
        g_aLookups.clear();
        g_aReports.clear();
        g_pfnMorvKernel32Lookup = FakeLookup;
    }
    void TearDown() override { g_pfnMorvKernel32Lookup = MorvKernel32LookupDefault; }
};

FakeSystem With2(USHORT uNative, USHORT uProcess)
{
    FakeSystem f;
    f.fHas2 = true;
    f.uNative = uNative;
    f.uProcess = uProcess;
    return f;
}

FakeSystem Failing2(DWORD dwError)
{
    FakeSystem f = With2(0, 0);
    f.fOk2 = false;
    f.dwError = dwError;
    return f;
}

FakeSystem With1(BOOL fWow64)
{
    FakeSystem f;
    f.fHas1 = true;
    f.fWow64 = fWow64;
    return f;
}

TEST_F(HostArch, Branches)
{
    FakeSystem Unwritten2 = With2(0x8664, 0x14c);
    Unwritten2.fWrite2 = false;
    FakeSystem Failing1 = With1(TRUE);
    Failing1.fOk1 = false;
    Failing1.dwError = 6;
    FakeSystem Unwritten1 = With1(FALSE);
    Unwritten1.fWrite1 = false;
    // Both present: the newer one decides alone.
    FakeSystem Both = With2(0xaa64, 0x14c);
    Both.fHas1 = true;
    Both.fWow64 = FALSE;

    struct {
        const char *pszWhat;
        FakeSystem Fake;
        uint32_t uArch;
        std::string report;    // empty: none
    } const aCases[] = {
        {"native i386", With2(0x14c, 0), PackageArch_X86, ""},
        {"native x86-64 under WOW64", With2(0x8664, 0x14c), PackageArch_Amd64, ""},
        {"native ARM64", With2(0xaa64, 0x14c), PackageArch_Arm64, ""},
        {"ARM Thumb-2", With2(0x1c4, 0x14c), PackageArch_X86,
         "ErrorToStderr: IsWow64Process2 return unknown host machine value: 0x1c4 (wow machine 0x14c)"},
        // The outputs start at zero, whatever the call leaves in them.
        {"outputs untouched", Unwritten2, PackageArch_X86,
         "ErrorToStderr: IsWow64Process2 return unknown host machine value: 0x0 (wow machine 0x0)"},
        {"IsWow64Process2 fails", Failing2(5), PackageArch_X86, "ErrorToStderr: IsWow64Process2 failed: 5"},
        {"newer one wins", Both, PackageArch_Arm64, ""},
        {"older only, WOW64", With1(TRUE), PackageArch_Amd64, ""},
        {"older only, 32-bit system", With1(FALSE), PackageArch_X86, ""},
        // The Boolean starts true: a call that leaves it reads as WOW64.
        {"older only, output untouched", Unwritten1, PackageArch_Amd64, ""},
        {"older only, fails", Failing1, PackageArch_X86, "ErrorToStderr: IsWow64Process failed: 6\n"},
        {"neither", FakeSystem(), PackageArch_X86,
         "ErrorToStderr: Neither IsWow64Process nor IsWow64Process2 was found!"},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.pszWhat);
        g_Fake = Case.Fake;
        g_aReports.clear();
        EXPECT_EQ(QueryHostArch(), Case.uArch);
        if (Case.report.empty())
            EXPECT_TRUE(g_aReports.empty()) << g_aReports[0];
        else
            EXPECT_EQ(g_aReports, std::vector<std::string>{Case.report});
    }
}

TEST_F(HostArch, AsksTheSystemOnEveryCall)
{
    g_Fake = With2(0x8664, 0x14c);
    EXPECT_EQ(QueryHostArch(), PackageArch_Amd64);
    g_Fake = With2(0xaa64, 0x14c);
    EXPECT_EQ(QueryHostArch(), PackageArch_Arm64);
    EXPECT_EQ(g_aLookups, (std::vector<std::string>{"IsWow64Process2", "IsWow64Process2"}));
}

TEST_F(HostArch, RealSystemUnderThisWine)
{
    // This Wine prefix is 64-bit and runs the 32-bit test under WOW64.
    g_pfnMorvKernel32Lookup = MorvKernel32LookupDefault;
    EXPECT_EQ(QueryHostArch(), PackageArch_Amd64);
    EXPECT_TRUE(g_aReports.empty());
}

TEST(PackageArchNames, Table)
{
    struct {
        uint32_t uArch;
        const char *pszName;
    } const aCases[] = {
        {PackageArch_X86, "x86"},   {PackageArch_Amd64, "x86_64"}, {PackageArch_Arm64, "arm64"},
        {PackageArch_All, "<Unknown>"}, {0, "<Unknown>"}, {5, "<Unknown>"}, {0xffffffff, "<Unknown>"},
    };
    for (auto const &Case : aCases)
        EXPECT_STREQ(PackageArchName(Case.uArch), Case.pszName) << Case.uArch;
}

} // namespace
