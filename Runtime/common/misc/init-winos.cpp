// Classification of a Windows version record into the runtime's OS kinds.
#include <quab/init.h>

namespace {
constexpr uint32_t kAny = 0xFFFFFFFFu;
constexpr uint8_t kWorkstation = 1;

enum class Product : uint8_t { Any, Workstation, Server };

// One row: platform, major, minor range, build range, product class -> kind.
// Rows are tried in order; the first match wins.
struct OsRow {
    uint32_t uPlatform;      // kAny: either family
    uint32_t uMajor;
    uint32_t uMinorFirst, uMinorLast;
    uint32_t uBuildFirst, uBuildLast;
    Product enmProduct;
    RTWINOSTYPE enmKind;
};

constexpr OsRow g_aOsRows[] = {
    { 1, 4,  0,  9,     950,   950, Product::Any, kRTWinOSType_95 },
    { 1, 4,  0,  9,     951,  1080, Product::Any, kRTWinOSType_95SP1 },
    { 1, 4,  0,  9,    1081,  kAny, Product::Any, kRTWinOSType_95OSR2 },
    { 1, 4, 10, 10,    1998,  1998, Product::Any, kRTWinOSType_98 },
    { 1, 4, 10, 10,    1999,  2182, Product::Any, kRTWinOSType_98SP1 },
    { 1, 4, 10, 10,    2183,  kAny, Product::Any, kRTWinOSType_98SE },
    { 1, 4, 90, 90,       0,  kAny, Product::Any, kRTWinOSType_ME },
    { 2, 3,  0, 49,       0,  kAny, Product::Any, kRTWinOSType_NT310 },
    { 2, 3, 50, 50,       0,  kAny, Product::Any, kRTWinOSType_NT350 },
    { 2, 3, 51, kAny,     0,  kAny, Product::Any, kRTWinOSType_NT351 },
    { 2, 4,  0, kAny,     0,  kAny, Product::Any, kRTWinOSType_NT4 },
    { 2, 5,  0,  0,       0,  kAny, Product::Any, kRTWinOSType_2K },
    { 2, 5,  1,  1,       0,  kAny, Product::Any, kRTWinOSType_XP },
    { 2, 5,  2, kAny,     0,  kAny, Product::Any, kRTWinOSType_2003 },
    // From here on the platform is not looked at.
    { kAny, 6, 0, 0,      0,  kAny, Product::Workstation, kRTWinOSType_VISTA },
    { kAny, 6, 0, 0,      0,  kAny, Product::Server, kRTWinOSType_2008 },
    { kAny, 6, 1, 1,      0,  kAny, Product::Workstation, kRTWinOSType_7 },
    { kAny, 6, 1, 1,      0,  kAny, Product::Server, kRTWinOSType_2008R2 },
    { kAny, 6, 2, 2,      0,  kAny, Product::Workstation, kRTWinOSType_8 },
    { kAny, 6, 2, 2,      0,  kAny, Product::Server, kRTWinOSType_2012 },
    { kAny, 6, 3, 3,      0,  kAny, Product::Workstation, kRTWinOSType_81 },
    { kAny, 6, 3, 3,      0,  kAny, Product::Server, kRTWinOSType_2012R2 },
    { kAny, 6, 4, 4,      0,  kAny, Product::Workstation, kRTWinOSType_10 },
    { kAny, 6, 4, 4,      0,  kAny, Product::Server, kRTWinOSType_2016 },
    { kAny, 10, 0, 0,     0, 21999, Product::Workstation, kRTWinOSType_10 },
    { kAny, 10, 0, 0, 22000,  kAny, Product::Workstation, kRTWinOSType_11 },
    { kAny, 10, 0, 0,     0, 17762, Product::Server, kRTWinOSType_2016 },
    { kAny, 10, 0, 0, 17763, 20347, Product::Server, kRTWinOSType_2019 },
    { kAny, 10, 0, 0, 20348, 26099, Product::Server, kRTWinOSType_2022 },
    { kAny, 10, 0, 0, 26100,  kAny, Product::Server, kRTWinOSType_2025 },
};

bool InRange(uint32_t u, uint32_t uFirst, uint32_t uLast)
{
    return u >= uFirst && u <= uLast;
}
}

RTWINOSTYPE rtR3WinClassifyOs(const RTWINOSVERSIONINFOEX *pInfo)
{
    bool const fServer = pInfo->wProductType != kWorkstation;
    for (OsRow const &row : g_aOsRows) {
        if (row.uPlatform != kAny && row.uPlatform != pInfo->dwPlatformId)
            continue;
        if (row.uMajor != pInfo->dwMajorVersion || !InRange(pInfo->dwMinorVersion, row.uMinorFirst, row.uMinorLast)
            || !InRange(pInfo->dwBuildNumber, row.uBuildFirst, row.uBuildLast))
            continue;
        if ((row.enmProduct == Product::Workstation && fServer) || (row.enmProduct == Product::Server && !fServer))
            continue;
        return row.enmKind;
    }
    return pInfo->dwPlatformId == 2 ? kRTWinOSType_NT_UNKNOWN : kRTWinOSType_UNKNOWN;
}
