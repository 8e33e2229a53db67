// The installer's payload checks, for what the damaged-installer runs do not
// show: names the installer must still take, device names in the spellings
// the system resolves, how often the host is asked while packages are
// selected, and hosts no real system reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Installer/common/MorvStubChecks.h"

namespace {

std::vector<uint32_t> g_aHostArchs;   // answers, one per expected query
unsigned g_cQueries;

uint32_t FakeQueryHostArch()
{
    return g_aHostArchs.at(g_cQueries++);
}

} // namespace

TEST(StubChecks, FileNames)
{
    struct Case {
        const char *pszName;
        bool fPlain;
    } const aCases[] = {
        // Close to a device name, but none.
        {"COM10.cab", true},
        {"COM0", true},
        {"LPT.msi", true},
        {"CONSOLE.msi", true},
        {"nul-device.cab", true},
        {"xnul.cab", true},
        {" nul.cab", true},
        {"CONIN", true},
        // Dots and blanks that the system keeps.
        {".cab", true},
        {"a..b.msi", true},
        {"Product Setup.msi", true},
        {"x", true},
        {"c\xc3\xb6mmon.cab", true},
        // Device names in other spellings: any case, blanks before the
        // suffix, more than one suffix, the console's own names.
        {"Com9", false},
        {"lPt5.x.y", false},
        {"nul .cab", false},
        {"PRN  .msi", false},
        {"CONOUT$", false},
        {"conin$.txt", false},
        // Rewritten by the system: trailing dots and blanks after a suffix.
        {"a.cab..", false},
        {"a.cab. ", false},
        {" ", false},
        // A separator or a stream anywhere.
        {"a/", false},
        {"a:", false},
        {":", false},
    };
    for (Case const &c : aCases) {
        EXPECT_EQ(IsPlainFileName(c.pszName), c.fPlain) << c.pszName;
    }
    // The longest name a header can carry.
    std::string const sLong = std::string(219, 'n') + ".msi";
    EXPECT_TRUE(IsPlainFileName(sLong.c_str()));
}

TEST(StubChecks, HostQueriedOnlyWhenTheArchitectureDecides)
{
    // Packages for x86-64, ARM64 and all hosts on an ARM64 host: the first
    // two ask the host once each, the third does not ask.
    struct Case {
        uint32_t uArch;
        bool fExtractOnly;
        std::vector<uint32_t> aAnswers;
        bool fApplies;
    } const aCases[] = {
        {PackageArch_Amd64, false, {PackageArch_Arm64}, false},
        {PackageArch_Arm64, false, {PackageArch_Arm64}, true},
        {PackageArch_All, false, {}, true},
        // Extract-only takes every package without asking.
        {PackageArch_Amd64, true, {}, true},
        {0, true, {}, true},
        // Values no host has never match, not even an unknown host's.
        {0, false, {PackageArch_X86}, false},
        {5, false, {PackageArch_Amd64}, false},
        {0xFFFFFFFF, false, {PackageArch_Arm64}, false},
    };
    for (Case const &c : aCases) {
        g_aHostArchs = c.aAnswers;
        g_cQueries = 0;
        EXPECT_EQ(PackageAppliesToRun(c.uArch, c.fExtractOnly, FakeQueryHostArch), c.fApplies) << c.uArch;
        EXPECT_EQ(g_cQueries, c.aAnswers.size()) << c.uArch << " extract-only " << c.fExtractOnly;
    }
}

TEST(StubChecks, OnlyAnInteractiveInstallOnX86IsRefused)
{
    struct Case {
        uint32_t uHostArch;
        bool fExtractOnly, fSilent, fRefused;
    } const aCases[] = {
        {PackageArch_X86, false, false, true},
        {PackageArch_X86, true, false, false},
        {PackageArch_X86, false, true, false},
        {PackageArch_Amd64, false, false, false},
        {PackageArch_Arm64, false, false, false},
        // "All" and unknown values are no x86 host.
        {PackageArch_All, false, false, false},
        {0, false, false, false},
        {0x102, false, false, false},
    };
    for (Case const &c : aCases)
        EXPECT_EQ(IsRefusedHost(c.uHostArch, c.fExtractOnly, c.fSilent), c.fRefused)
            << c.uHostArch << " extract-only " << c.fExtractOnly << " silent " << c.fSilent;
}
