// Finding the payload's resources: the lookup's results, the manifest and
// header checks, and the reports for headers that cannot be used.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include <quab/string.h>

#include "Installer/win/Stub/MorvStubPackage.h"
#include "fake-reports.h"

namespace {

std::string Rrc(int32_t rc)
{
    char sz[256];
    RTStrFmtToBuf(sz, sizeof(sz), "%Rrc", rc);
    return sz;
}

std::string HeaderReport(unsigned idx, int32_t rc)
{
    return "NotifyError: Internal error: Could not find package header #" + std::to_string(idx) + ": " + Rrc(rc);
}

// Points the lookup at one of the fixture DLLs beside the test program.
class FixtureModule {
public:
    explicit FixtureModule(const wchar_t *pwszName)
    {
        wchar_t wszPath[MAX_PATH];
        DWORD cch = GetModuleFileNameW(nullptr, wszPath, MAX_PATH);
        while (cch && wszPath[cch - 1] != L'\\' && wszPath[cch - 1] != L'/')
            cch--;
        std::wstring strPath(wszPath, cch);
        strPath += pwszName;
        m_hMod = LoadLibraryExW(strPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        EXPECT_NE(m_hMod, nullptr) << "fixture not loaded, error " << GetLastError();
        g_hModPackageResources = m_hMod;
    }
    ~FixtureModule()
    {
        g_hModPackageResources = nullptr;
        if (m_hMod)
            FreeLibrary(m_hMod);
    }

private:
    HMODULE m_hMod = nullptr;
};

class PackageResources : public testing::Test {
protected:
    void SetUp() override { g_aReports.clear(); }
};

TEST_F(PackageResources, LocateResults)
{
    struct {
        const char *pszName;
        int32_t rc;
        uint32_t cb;
    } const aCases[] = {
        {"MANIFEST", RT_OK, 16},
        {"HDR_00", RT_OK, 256},
        {"HDR_07", RT_OK, 300},
        {"BIN_00", RT_OK, 771},
        // Exists, but holds nothing: told apart from a missing resource.
        {"EMPTY", RTE_NO_DATA, 0},
        {"HDR_09", RTE_NO_DATA, 0},
        {"NO_SUCH_RESOURCE", RTE_GENERAL_FAILURE, 0},
        {"HDR_08", RTE_GENERAL_FAILURE, 0},
        // Not convertible to UTF-16: the conversion's own status.
        {"BAD\xff", RTE_INVALID_UTF8, 0},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.pszName);
        const void *pv = reinterpret_cast<const void *>(uintptr_t{0x5000});
        uint32_t cb = 0xdead;
        EXPECT_EQ(LocateRcdataResource(Case.pszName, &pv, &cb), Case.rc);
        EXPECT_EQ(cb, Case.cb);
        EXPECT_EQ(pv != nullptr, Case.rc == RT_OK);
    }
    EXPECT_TRUE(g_aReports.empty());
}

TEST_F(PackageResources, LocateReturnsTheStoredBytes)
{
    // Stored under language 1033 and found with the neutral language.
    const void *pv = nullptr;
    ASSERT_EQ(LocateRcdataResource("BIN_00", &pv, nullptr), RT_OK);
    auto const *pb = static_cast<const uint8_t *>(pv);
    for (unsigned i = 0; i < 768; i++)
        ASSERT_EQ(pb[i], i % 256) << i;
    EXPECT_EQ(std::memcmp(pb + 768, "end", 3), 0);
}

TEST_F(PackageResources, LocateRefusesMissingArguments)
{
    const void *pv = nullptr;
    uint32_t cb = 7;
    EXPECT_EQ(LocateRcdataResource(nullptr, &pv, &cb), RTE_INVALID_PARAMETER);
    EXPECT_EQ(LocateRcdataResource("MANIFEST", nullptr, &cb), RTE_INVALID_PARAMETER);
    EXPECT_EQ(cb, 0u);
}

TEST_F(PackageResources, Manifest)
{
    const PackageManifest *pManifest = nullptr;
    ASSERT_EQ(LoadPackageManifest(&pManifest), RT_OK);
    ASSERT_NE(pManifest, nullptr);
    EXPECT_STREQ(pManifest->magic, "MorvInstV1");
    EXPECT_EQ(pManifest->packageCount, 3);

    struct {
        const wchar_t *pwszModule;
        int32_t rc;
    } const aBroken[] = {
        // 15 bytes: the count would be read from beyond the resource.
        {L"pkgfix-short.dll", RTE_BUFFER_UNDERFLOW},
        {L"pkgfix-empty.dll", RTE_NO_DATA},
        {L"pkgfix-none.dll", RTE_GENERAL_FAILURE},
    };
    for (auto const &Case : aBroken) {
        SCOPED_TRACE(testing::Message() << Case.rc);
        FixtureModule Module(Case.pwszModule);
        pManifest = reinterpret_cast<const PackageManifest *>(uintptr_t{0x5000});
        EXPECT_EQ(LoadPackageManifest(&pManifest), Case.rc);
        EXPECT_EQ(pManifest, nullptr);
    }
    // The caller reports the manifest; the lookup itself says nothing.
    EXPECT_TRUE(g_aReports.empty());
}

TEST_F(PackageResources, UsableHeaders)
{
    struct {
        uint32_t idx;
        uint32_t arch;
        std::string dataName;
        std::string fileName;
    } const aCases[] = {
        {0, PackageArch_Amd64, "BIN_00", "Sample_amd64.msi"},
        {1, PackageArch_Arm64, "BIN_01", "Sample_arm64.msi"},
        {2, PackageArch_All, "BIN_02", "c\xc3\xb6mmon.cab"},
        // Both fields filled to their last byte before the terminator.
        {6, PackageArch_X86, std::string(27, 'D'), std::string(223, 'F')},
        // Longer than the record: the rest is ignored.
        {7, PackageArch_X86, "BIN_00", "longer-record.msi"},
        // Three digits: HDR_100.
        {100, PackageArch_All, "BIN_02", "hundred.cab"},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.idx);
        const PackageHeader *pHeader = LoadPackageHeader(Case.idx);
        ASSERT_NE(pHeader, nullptr);
        EXPECT_EQ(pHeader->arch, Case.arch);
        EXPECT_EQ(pHeader->dataResourceName, Case.dataName);
        EXPECT_EQ(pHeader->fileName, Case.fileName);
    }
    EXPECT_TRUE(g_aReports.empty());
}

TEST_F(PackageResources, UnusableHeadersAreReported)
{
    struct {
        uint32_t idx;
        int32_t rc;
    } const aCases[] = {
        {3, RTE_BUFFER_UNDERFLOW},   // 255 bytes
        {4, RTE_BAD_EXE_FORMAT},     // dataResourceName runs into fileName
        {5, RTE_BAD_EXE_FORMAT},     // fileName runs to the end of the record
        {8, RTE_GENERAL_FAILURE},    // not there
        {9, RTE_NO_DATA},            // there, but empty
        {10, RTE_GENERAL_FAILURE},
        {255, RTE_GENERAL_FAILURE},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.idx);
        g_aReports.clear();
        EXPECT_EQ(LoadPackageHeader(Case.idx), nullptr);
        ASSERT_EQ(g_aReports.size(), 1u);
        EXPECT_EQ(g_aReports[0], HeaderReport(Case.idx, Case.rc));
    }
}

} // namespace
