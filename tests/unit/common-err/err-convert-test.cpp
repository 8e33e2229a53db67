// Conversion of Windows error codes and NT statuses: every listed code, the documented edges, and the unlisted rest.
#include <gtest/gtest.h>

#include <quab/err.h>

#include "err-rows.h"

#include <set>
#include <string>
#include <vector>

namespace {

// The status list as a user of the runtime knows it, written out here rather
// than read from the build's own list so that a slip there shows up.
const StatusRow g_aRows[] = {
    {0, "RT_OK", "0", "0x00000000"},
    {28, "RTI_ALREADY_INITIALIZED", "", ""},
    {55, "RTI_NUMBER_TOO_BIG", "", ""},
    {76, "RTI_TRAILING_CHARS", "", ""},
    {77, "RTI_TRAILING_SPACES", "", ""},
    {828, "RTI_NOT_OPTION", "", ""},
    {22301, "RTI_LOG_DISABLED", "", ""},
    {22302, "RTI_LOG_NO_LOGGER", "", ""},
    {-2, "RTE_INVALID_PARAMETER", "87,160,1004,10022", "0xC000000D,0xC00000EF-0xC00000FA"},
    {-3, "RTE_INVALID_MAGIC", "", ""},
    {-4, "RTE_INVALID_HANDLE", "6,130,10009", "0xC0000008"},
    {-6, "RTE_INVALID_POINTER", "487,998,10014", "0x80000002,0xC0000005"},
    {-8, "RTE_NO_MEMORY", "8,14,1450", "0xC0000017"},
    {-9, "RTE_ALREADY_RUNNING", "1056", ""},
    {-12, "RTE_NOT_IMPLEMENTED", "", ""},
    {-13, "RTE_INVALID_FLAGS", "", ""},
    {-19, "RTE_NOT_A_LINK", "4390", ""},
    {-20, "RTE_NO_TEMP_MEMORY", "", ""},
    {-21, "RTE_INVALID_FILE_MODE", "", ""},
    {-22, "RTE_WRONG_SEQUENCE", "", ""},
    {-23, "RTE_NO_TLS_SLOT", "", ""},
    {-24, "RTE_TLS_SET_FAILED", "", ""},
    {-29, "RTE_THREAD_NO_STATUS", "", ""},
    {-30, "RTE_THREAD_NOT_WAITABLE", "", ""},
    {-35, "RTE_UNMAPPED_OS_ERROR", "", ""},
    {-36, "RTE_INVALID_FUNCTION", "1", "0xC0000003"},
    {-37, "RTE_NOT_SUPPORTED", "50", ""},
    {-38, "RTE_ACCESS_DENIED", "5,10013", "0xC0000022"},
    {-39, "RTE_INTERRUPTED", "995,10004", "0x000000C0,0x00000101"},
    {-40, "RTE_TIMEOUT", "121,258,1053,1121,1460,10060", ""},
    {-41, "RTE_BUFFER_OVERFLOW", "111,122", ""},
    {-43, "RTE_MAX_THREADS_REACHED", "164", ""},
    {-44, "RTE_TOO_MANY_PROCESSES", "89,10067", ""},
    {-45, "RTE_SIGNAL_REFUSED", "156,205", ""},
    {-46, "RTE_SIGNAL_PENDING", "162", ""},
    {-47, "RTE_INVALID_SIGNAL", "209", ""},
    {-48, "RTE_STATE_CHANGED", "", ""},
    {-49, "RTE_INVALID_UUID_FORMAT", "1705", ""},
    {-51, "RTE_THREAD_RUNNING", "", ""},
    {-52, "RTE_TRY_AGAIN", "10035,11002", ""},
    {-53, "RTE_PARSE_ERROR", "", ""},
    {-54, "RTE_OUT_OF_RANGE", "", ""},
    {-56, "RTE_NO_DIGITS", "", ""},
    {-58, "RTE_NO_TRANSLATION", "1113", ""},
    {-59, "RTE_NONCHARACTER", "", ""},
    {-60, "RTE_SURROGATE_IN_UTF8", "", ""},
    {-61, "RTE_INVALID_UTF8", "", ""},
    {-62, "RTE_INVALID_UTF16", "", ""},
    {-63, "RTE_CODE_POINT_TOO_BIG", "", ""},
    {-64, "RTE_NO_STRING_MEMORY", "", ""},
    {-65, "RTE_NO_UTF16_MEMORY", "", ""},
    {-66, "RTE_NO_CODE_POINT_MEMORY", "", ""},
    {-70, "RTE_CANCELLED", "1223", ""},
    {-76, "RTE_TRAILING_CHARS", "", ""},
    {-77, "RTE_TRAILING_SPACES", "", ""},
    {-78, "RTE_NOT_FOUND", "1060,1168", ""},
    {-83, "RTE_END_OF_STRING", "", ""},
    {-89, "RTE_AUTHENTICATION_FAILURE", "1272,1326,1788,1789", "0xC000006D"},
    {-101, "RTE_OPEN_FAILED", "110", ""},
    {-102, "RTE_FILE_NOT_FOUND", "2", "0xC000000E,0xC000000F,0xC0000034"},
    {-103, "RTE_PATH_NOT_FOUND", "3", "0xC000003A"},
    {-104, "RTE_INVALID_NAME", "123,161,1200", "0xC0000033,0xC0000039,0xC000003B"},
    {-105, "RTE_ALREADY_EXISTS", "80,183", ""},
    {-106, "RTE_TOO_MANY_OPEN_FILES", "4,10024", ""},
    {-107, "RTE_SEEK_ERROR", "25", ""},
    {-108, "RTE_NEGATIVE_SEEK", "131", ""},
    {-109, "RTE_SEEK_ON_DEVICE", "132", ""},
    {-110, "RTE_EOF", "38", ""},
    {-111, "RTE_READ_ERROR", "30", ""},
    {-112, "RTE_WRITE_ERROR", "29", ""},
    {-113, "RTE_WRITE_PROTECT", "19", ""},
    {-114, "RTE_SHARING_VIOLATION", "32,1224", "0xC0000043"},
    {-115, "RTE_LOCK_FAILED", "167", ""},
    {-116, "RTE_LOCK_VIOLATION", "33", ""},
    {-117, "RTE_CANNOT_CREATE", "82", ""},
    {-118, "RTE_DIR_CANNOT_REMOVE", "16,10066", ""},
    {-119, "RTE_NOT_SAME_DEVICE", "17", ""},
    {-120, "RTE_FILENAME_TOO_LONG", "206,10063", ""},
    {-122, "RTE_MEDIA_NOT_RECOGNIZED", "1005", ""},
    {-123, "RTE_NOT_LOCKED", "158", ""},
    {-125, "RTE_DIR_NOT_EMPTY", "145", "0xC0000101"},
    {-126, "RTE_NOT_A_DIRECTORY", "267", "0xC0000103"},
    {-127, "RTE_IS_A_DIRECTORY", "", "0xC00000BA"},
    {-128, "RTE_FILE_TOO_BIG", "", ""},
    {-141, "RTE_OBJECT_TYPE_MISMATCH", "", "0xC0000024"},
    {-142, "RTE_PATH_NO_NAME", "", ""},
    {-145, "RTE_PATH_EMPTY", "", ""},
    {-151, "RTE_INVALID_DRIVE", "15", ""},
    {-152, "RTE_DISK_FULL", "39,112,10069", ""},
    {-154, "RTE_DRIVE_LOCKED", "108", ""},
    {-155, "RTE_UNKNOWN_DISK_FORMAT", "26", ""},
    {-156, "RTE_TOO_MANY_SYMLINKS", "10062", "0xC0000280"},
    {-160, "RTE_IS_A_SYMLINK", "", ""},
    {-165, "RTE_NO_MEDIA", "", "0xC0000013"},
    {-201, "RTE_NO_MORE_FILES", "18", "0x80000006,0x8000001A"},
    {-202, "RTE_NO_MORE_SEARCH_HANDLES", "113", ""},
    {-225, "RTE_INTERNAL_ERROR", "1359", "0xC00000E5"},
    {-226, "RTE_INTERNAL_ERROR_B", "", ""},
    {-227, "RTE_INTERNAL_ERROR_C", "", ""},
    {-228, "RTE_INTERNAL_ERROR_D", "", ""},
    {-229, "RTE_INTERNAL_ERROR_E", "", ""},
    {-251, "RTE_BAD_UNIT", "20", ""},
    {-252, "RTE_NOT_READY", "21", ""},
    {-253, "RTE_BAD_COMMAND", "22", "0xC0000010"},
    {-254, "RTE_CRC_ERROR", "23", ""},
    {-255, "RTE_BAD_LENGTH", "24", ""},
    {-256, "RTE_SECTOR_NOT_FOUND", "27", ""},
    {-257, "RTE_GENERAL_FAILURE", "31", ""},
    {-300, "RTE_PIPE_ACTIVE", "535,536", ""},
    {-301, "RTE_BROKEN_PIPE", "109", ""},
    {-302, "RTE_BAD_PIPE", "230", ""},
    {-303, "RTE_PIPE_BUSY", "231", ""},
    {-304, "RTE_NO_DATA", "232,1812", ""},
    {-305, "RTE_PIPE_NOT_CONNECTED", "233", ""},
    {-306, "RTE_MORE_DATA", "234", ""},
    {-351, "RTE_TOO_MANY_SEMAPHORES", "100", ""},
    {-352, "RTE_SEM_ALREADY_OWNED", "101", ""},
    {-353, "RTE_SEM_IS_SET", "102", ""},
    {-354, "RTE_TOO_MANY_SEM_REQUESTS", "103", ""},
    {-355, "RTE_NOT_OWNER", "288", ""},
    {-357, "RTE_TOO_MANY_POSTS", "298", ""},
    {-360, "RTE_SEM_BUSY", "", ""},
    {-361, "RTE_SEM_OWNER_DIED", "105", ""},
    {-362, "RTE_SEM_NOT_FOUND", "187", ""},
    {-363, "RTE_SEM_DESTROYED", "", ""},
    {-364, "RTE_SEM_NESTING", "", ""},
    {-400, "RTE_NET_ERROR", "51,52,57-60,65,66,70-72,85,86,88", "0xC00000C4"},
    {-401, "RTE_NET_BUSY", "54,56,68,69,84", ""},
    {-402, "RTE_NET_PATH_NOT_FOUND", "53,64,11001", ""},
    {-403, "RTE_NET_DEVICE_NOT_FOUND", "55,67", "0xC00000BE"},
    {-404, "RTE_NET_PRINT_ERROR", "61-63", ""},
    {-436, "RTE_NET_IN_PROGRESS", "10036", ""},
    {-437, "RTE_NET_ALREADY_IN_PROGRESS", "10037", ""},
    {-438, "RTE_NET_NOT_SOCKET", "10038", ""},
    {-439, "RTE_NET_DEST_ADDRESS_REQUIRED", "10039", ""},
    {-440, "RTE_NET_MSG_SIZE", "10040", ""},
    {-441, "RTE_NET_PROTOCOL_TYPE", "10041", ""},
    {-442, "RTE_NET_PROTOCOL_NOT_AVAILABLE", "10042", ""},
    {-443, "RTE_NET_PROTOCOL_NOT_SUPPORTED", "10043", ""},
    {-444, "RTE_NET_SOCKET_TYPE_NOT_SUPPORTED", "10044", ""},
    {-445, "RTE_NET_OPERATION_NOT_SUPPORTED", "10045", ""},
    {-446, "RTE_NET_PROTOCOL_FAMILY_NOT_SUPPORTED", "10046", ""},
    {-447, "RTE_NET_ADDRESS_FAMILY_NOT_SUPPORTED", "10047", ""},
    {-448, "RTE_NET_ADDRESS_IN_USE", "10048", ""},
    {-449, "RTE_NET_ADDRESS_NOT_AVAILABLE", "10049,11004", ""},
    {-450, "RTE_NET_DOWN", "10050", ""},
    {-451, "RTE_NET_UNREACHABLE", "10051", ""},
    {-452, "RTE_NET_RESET", "10052", ""},
    {-453, "RTE_NET_CONNECTION_ABORTED", "10053", ""},
    {-454, "RTE_NET_CONNECTION_RESET", "10054", ""},
    {-455, "RTE_NET_NO_BUFFER_SPACE", "10055", ""},
    {-456, "RTE_NET_ALREADY_CONNECTED", "10056", ""},
    {-457, "RTE_NET_NOT_CONNECTED", "10057", ""},
    {-458, "RTE_NET_SHUTDOWN", "10058", ""},
    {-459, "RTE_NET_TOO_MANY_REFERENCES", "10059", ""},
    {-461, "RTE_NET_CONNECTION_REFUSED", "10061", ""},
    {-464, "RTE_NET_HOST_DOWN", "10064", ""},
    {-465, "RTE_NET_HOST_UNREACHABLE", "10065", ""},
    {-468, "RTE_NET_PROVIDER_INIT_FAILED", "10106", ""},
    {-600, "RTE_INVALID_EXE_SIGNATURE", "191", ""},
    {-608, "RTE_BAD_EXE_FORMAT", "193,1392", ""},
    {-609, "RTE_SYMBOL_NOT_FOUND", "127", ""},
    {-610, "RTE_MODULE_NOT_FOUND", "126", ""},
    {-619, "RTE_IMAGE_HASH_INVALID", "577", "0xC0000428"},
    {-750, "RTE_ENV_VAR_NOT_FOUND", "203", ""},
    {-752, "RTE_ENV_INVALID_VAR_NAME", "", ""},
    {-753, "RTE_ENV_VAR_UNSET", "", ""},
    {-825, "RTE_OPTION_UNKNOWN", "", ""},
    {-826, "RTE_OPTION_MISSING_VALUE", "", ""},
    {-827, "RTE_OPTION_INVALID_VALUE", "", ""},
    {-829, "RTE_OPTION_MISSING_INDEX", "", ""},
    {-3775, "RTE_TRUST_FAILURE", "", "0xC0000190"},
    {-22300, "RTE_LOG_REVISION_MISMATCH", "", ""},
    {-22401, "RTE_BUFFER_UNDERFLOW", "", ""},
    {-22402, "RTE_UNEVEN_INPUT", "", ""},
    {-22405, "RTE_ACCOUNT_RESTRICTED", "1325,1327,1330,1331", ""},
    {-22410, "RTE_PRIVILEGE_NOT_HELD", "1314,0xC000042C", ""},
    {-22419, "RTE_ELEVATION_REQUIRED", "740", ""},
    {-22430, "RTE_BLOCKED_BY_POLICY", "4551", ""},
    {-23502, "RTE_CRYPTO_BAD_ALGORITHM", "0x80090008", ""},
};

std::vector<uint32_t> ExpandCodes(const char *psz)
{
    std::vector<uint32_t> vec;
    std::string const str(psz);
    size_t off = 0;
    while (off < str.size()) {
        size_t offEnd = str.find(',', off);
        if (offEnd == std::string::npos)
            offEnd = str.size();
        std::string const strItem = str.substr(off, offEnd - off);
        size_t const offDash = strItem.find('-');
        uint32_t const uFirst = static_cast<uint32_t>(std::stoul(strItem.substr(0, offDash), nullptr, 0));
        uint32_t const uLast = offDash == std::string::npos
                                   ? uFirst
                                   : static_cast<uint32_t>(std::stoul(strItem.substr(offDash + 1), nullptr, 0));
        for (uint64_t u = uFirst; u <= uLast; u++)
            vec.push_back(static_cast<uint32_t>(u));
        off = offEnd + 1;
    }
    return vec;
}

std::set<uint32_t> AllCodes(bool fNt)
{
    std::set<uint32_t> set;
    for (auto const &Row : g_aRows)
        for (uint32_t u : ExpandCodes(fNt ? Row.pszNtCodes : Row.pszWinCodes))
            set.insert(u);
    return set;
}

TEST(ErrConvert, EveryListedWindowsCodeGivesItsRow)
{
    size_t cCodes = 0;
    for (auto const &Row : g_aRows)
        for (uint32_t u : ExpandCodes(Row.pszWinCodes)) {
            EXPECT_EQ(RTErrConvertFromWinError(u), Row.rc) << "Windows code " << u << " (" << Row.pszName << ")";
            cCodes++;
        }
    // 183 codes from 0 to 11004 and the two 32-bit values; a code listed twice would inflate this.
    EXPECT_EQ(cCodes, 185u);
    EXPECT_EQ(AllCodes(false).size(), cCodes);
}

TEST(ErrConvert, EveryListedNtStatusGivesItsRow)
{
    for (auto const &Row : g_aRows)
        for (uint32_t u : ExpandCodes(Row.pszNtCodes))
            EXPECT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(u)), Row.rc)
                << std::hex << "NT status 0x" << u << " (" << Row.pszName << ")";
}

TEST(ErrConvert, UnlistedWindowsCodesAreUnmapped)
{
    std::set<uint32_t> const setListed = AllCodes(false);
    for (uint32_t u = 0; u <= 0x20000; u++) {
        if (!setListed.count(u)) {
            ASSERT_EQ(RTErrConvertFromWinError(u), RTE_UNMAPPED_OS_ERROR) << "Windows code " << u;
        }
    }
    // HRESULT-looking neighbours of the two 32-bit entries, and the extremes.
    for (uint32_t u : {0x80090007u, 0x80090009u, 0xC000042Bu, 0xC000042Du, 0x80070005u, 0x80000000u,
                       0xFFFFFFFFu, 0x00010000u | 2u})
        EXPECT_EQ(RTErrConvertFromWinError(u), RTE_UNMAPPED_OS_ERROR) << std::hex << u;
}

TEST(ErrConvert, UnlistedNtStatusesAreUnmapped)
{
    std::set<uint32_t> const setListed = AllCodes(true);
    struct { uint32_t uFirst, uLast; } const aRanges[] = {
        {0x00000000, 0x00001000}, {0x40000000, 0x40000100}, {0x80000000, 0x80000100},
        {0xC0000000, 0xC0000500}, {0xC0010000, 0xC0010010}, {0xFFFFFF00, 0xFFFFFFFF},
    };
    for (auto const &Range : aRanges)
        for (uint64_t u = Range.uFirst; u <= Range.uLast; u++) {
            if (!setListed.count(static_cast<uint32_t>(u))) {
                ASSERT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(u)), RTE_UNMAPPED_OS_ERROR)
                    << std::hex << "NT status 0x" << u;
            }
        }
}

// The edges a caller relies on, written as they are documented.
TEST(ErrConvert, DocumentedEdges)
{
    struct { uint32_t uCode; int32_t rcExpected; } const aWin[] = {
        {0, 0}, {2, -102}, {3, -103}, {5, -38}, {32, -114}, {87, -2}, {160, -2}, {1004, -2},
        {112, -152}, {39, -152}, {183, -105}, {80, -105}, {206, -120}, {267, -126}, {740, -22419},
        {1314, -22410}, {0xC000042C, -22410}, {1392, -608}, {193, -608}, {10060, -40},
        {0x80090008, -23502}, {9999, -35}, {0x80090009, -35},
        // the socket rule and its individual neighbours
        {10036, -436}, {10059, -459}, {10061, -461}, {10064, -464}, {10065, -465},
        {10060, -40}, {10062, -156}, {10063, -120}, {10035, -52}, {10066, -118}, {10067, -44},
        {10068, -35}, {10070, -35}, {10106, -468}, {11001, -402}, {11002, -52}, {11003, -35}, {11004, -449},
        // runs that share one status
        {8, -8}, {14, -8}, {1450, -8}, {121, -40}, {258, -40}, {1053, -40}, {1121, -40}, {1460, -40},
        {51, -400}, {57, -400}, {60, -400}, {61, -404}, {63, -404}, {64, -402}, {70, -400}, {72, -400},
        {73, -35}, {88, -400}, {89, -44},
    };
    for (auto const &c : aWin)
        EXPECT_EQ(RTErrConvertFromWinError(c.uCode), c.rcExpected) << "Windows code " << c.uCode;

    struct { uint32_t uStatus; int32_t rcExpected; } const aNt[] = {
        {0, 0}, {0xC0000034, -102}, {0xC000000F, -102}, {0xC000003A, -103}, {0xC00000BA, -127},
        {0xC0000103, -126}, {0xC00000EF, -2}, {0xC00000F5, -2}, {0xC00000FA, -2}, {0xC00000EE, -35},
        {0xC00000FB, -35}, {0x00000103, -35}, {0x000000C0, -39}, {0x00000101, -39}, {0x00000102, -35},
        {0x80000006, -201}, {0x8000001A, -201}, {0xC0000428, -619}, {0xC0000190, -3775},
        {0xC000042C, -35},
    };
    for (auto const &c : aNt)
        EXPECT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(c.uStatus)), c.rcExpected)
            << std::hex << "NT status 0x" << c.uStatus;
}

TEST(ErrConvert, PublicConstantsMatchTheList)
{
    // The names a program compiles against carry the listed values.
    EXPECT_EQ(RT_OK, 0);
    EXPECT_EQ(RTE_UNMAPPED_OS_ERROR, -35);
    EXPECT_EQ(RTE_BUFFER_OVERFLOW, -41);
    EXPECT_EQ(RTE_CRYPTO_BAD_ALGORITHM, -23502);
    EXPECT_EQ(RTI_LOG_NO_LOGGER, 22302);
    EXPECT_EQ(RTE_PRIVILEGE_NOT_HELD, -22410);
}

} // namespace

// Shared with the text tests.
const StatusRow *ErrTestRows(size_t *pcRows)
{
    *pcRows = RT_ELEMENTS(g_aRows);
    return g_aRows;
}
