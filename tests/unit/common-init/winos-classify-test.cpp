// OS kinds derived from version records, including the boundaries between rows.
#include <gtest/gtest.h>

#include <quab/init.h>

namespace {

constexpr uint8_t kWks = 1;
constexpr uint8_t kSrv = 3;

struct OsCase {
    uint32_t platform, major, minor, build;
    uint8_t productType;
    uint32_t expected;
};

constexpr OsCase kCases[] = {
    // The 9x family: the build decides within 4.0 and 4.10.
    { 1, 4, 0, 950, kWks, 1 },
    { 1, 4, 0, 949, kWks, 0 },
    { 1, 4, 3, 951, kWks, 2 },
    { 1, 4, 9, 1080, kWks, 2 },
    { 1, 4, 0, 1081, kWks, 3 },
    { 1, 4, 10, 1998, kWks, 4 },
    { 1, 4, 10, 1999, kWks, 5 },
    { 1, 4, 10, 2182, kWks, 5 },
    { 1, 4, 10, 2183, kWks, 6 },
    { 1, 4, 10, 1000, kWks, 0 },
    { 1, 4, 90, 3000, kWks, 7 },
    { 1, 4, 50, 3000, kWks, 0 },
    { 1, 5, 0, 3000, kWks, 0 },
    // The NT family before Vista: the product type does not matter.
    { 2, 3, 10, 528, kWks, 100 },
    { 2, 3, 49, 528, kSrv, 100 },
    { 2, 3, 50, 807, kWks, 101 },
    { 2, 3, 51, 1057, kWks, 102 },
    { 2, 4, 0, 1381, kSrv, 103 },
    { 2, 5, 0, 2195, kWks, 104 },
    { 2, 5, 1, 2600, kWks, 105 },
    { 2, 5, 2, 3790, kSrv, 107 },
    // From Vista on: workstation versus anything else.
    { 2, 6, 0, 6002, kWks, 108 },
    { 2, 6, 0, 6002, kSrv, 109 },
    { 2, 6, 0, 6002, 2, 109 },
    { 2, 6, 1, 7601, kWks, 110 },
    { 2, 6, 1, 7601, kSrv, 111 },
    { 2, 6, 2, 9200, kWks, 112 },
    { 2, 6, 2, 9200, kSrv, 113 },
    { 2, 6, 3, 9600, kWks, 114 },
    { 2, 6, 3, 9600, kSrv, 115 },
    { 2, 6, 4, 9841, kWks, 116 },
    { 2, 6, 4, 9841, kSrv, 117 },
    { 2, 10, 0, 19045, kWks, 116 },
    { 2, 10, 0, 21999, kWks, 116 },
    { 2, 10, 0, 22000, kWks, 120 },
    { 2, 10, 0, 26100, kWks, 120 },
    { 2, 10, 0, 14393, kSrv, 117 },
    { 2, 10, 0, 17762, kSrv, 117 },
    { 2, 10, 0, 17763, kSrv, 118 },
    { 2, 10, 0, 20347, kSrv, 118 },
    { 2, 10, 0, 20348, kSrv, 119 },
    { 2, 10, 0, 26099, kSrv, 119 },
    { 2, 10, 0, 26100, kSrv, 121 },
    // Versions the table does not know.
    { 2, 6, 5, 1000, kWks, 199 },
    { 2, 10, 1, 30000, kWks, 199 },
    { 2, 11, 0, 30000, kSrv, 199 },
    { 2, 2, 0, 100, kWks, 199 },
    { 0, 6, 1, 7601, kWks, 110 },
    { 3, 4, 0, 950, kWks, 0 },
};

TEST(WinOsClassify, TableOfVersions)
{
    for (OsCase const &c : kCases) {
        RTWINOSVERSIONINFOEX info = {};
        info.dwOSVersionInfoSize = RTWINOSVERSIONINFOEX_SIZE;
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        info.dwBuildNumber = c.build;
        info.wProductType = c.productType;
        EXPECT_EQ(static_cast<uint32_t>(rtR3WinClassifyOs(&info)), c.expected)
            << "platform " << c.platform << " " << c.major << "." << c.minor << " build " << c.build
            << " product " << unsigned(c.productType);
    }
}

} // namespace
