// Value conversion of the option parser: numbers with their sign and base
// rules, addresses, UUIDs, booleans and pairs, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include <quab/getopt.h>

namespace {

// Parses "--v=<text>" against a one-row table of the given flags.
int Convert(uint32_t fFlags, const char *pszText, RTOPTVALUE *pValue, RTOPTDEF *pDefOut = nullptr)
{
    static RTOPTDEF s_Def;
    s_Def = {"--v", 'v', fFlags};
    std::string arg = std::string("--v=") + pszText;
    // The value points into the argument; keep it alive for the caller.
    static std::string s_Arg;
    s_Arg = arg;
    char szProg[] = "prog";
    char *argv[] = {szProg, s_Arg.data(), nullptr};
    RTOPTSTATE State;
    EXPECT_EQ(RTGetOptInit(&State, 2, argv, &s_Def, 1, 1, RTOPTINIT_NO_STD_OPTS), RT_OK);
    int const rc = RTGetOpt(&State, pValue);
    if (pDefOut)
        *pDefOut = s_Def;
    if (rc < 0 && rc != RTE_OPTION_UNKNOWN) {
        EXPECT_EQ(pValue->def, &s_Def) << "a failed conversion leaves the definition";
    }
    return rc;
}

int64_t ReadSigned(uint32_t uType, RTOPTVALUE const &Value)
{
    switch (uType) {
        case RTOPT_TYPE_INT8: return Value.i8;
        case RTOPT_TYPE_INT16: return Value.i16;
        case RTOPT_TYPE_INT32: return Value.i32;
        default: return Value.i64;
    }
}

uint64_t ReadUnsigned(uint32_t uType, RTOPTVALUE const &Value)
{
    switch (uType) {
        case RTOPT_TYPE_UINT8: return Value.u8;
        case RTOPT_TYPE_UINT16: return Value.u16;
        case RTOPT_TYPE_UINT32: return Value.u32;
        default: return Value.u64;
    }
}

struct NumberCase {
    uint32_t fFlags;
    const char *pszText;
    bool fOk;
    uint64_t uExpected;   // two's complement for signed types
};

constexpr uint64_t Neg(uint64_t u)
{
    return 0 - u;
}

const NumberCase g_aNumberCases[] = {
    {RTOPT_TYPE_INT8, "127", true, 127},
    {RTOPT_TYPE_INT8, "128", false, 0},
    {RTOPT_TYPE_INT8, "-128", true, Neg(128)},
    {RTOPT_TYPE_INT8, "-129", false, 0},
    {RTOPT_TYPE_INT8, "--5", true, 5},
    {RTOPT_TYPE_INT8, "-+5", true, 5},
    {RTOPT_TYPE_INT8, "+-5", true, Neg(5)},
    {RTOPT_TYPE_INT8, "---5", true, Neg(5)},
    {RTOPT_TYPE_UINT8, "255", true, 255},
    {RTOPT_TYPE_UINT8, "256", false, 0},
    {RTOPT_TYPE_UINT8, "300", false, 0},
    {RTOPT_TYPE_UINT8, "0", true, 0},
    {RTOPT_TYPE_UINT8, "-0", false, 0},
    {RTOPT_TYPE_UINT8, "--0", true, 0},
    {RTOPT_TYPE_UINT8, "+7", true, 7},
    {RTOPT_TYPE_UINT8, "-1", false, 0},
    {RTOPT_TYPE_UINT8, "", false, 0},
    {RTOPT_TYPE_UINT8, "+", false, 0},
    {RTOPT_TYPE_UINT8, " 1", false, 0},
    {RTOPT_TYPE_UINT8, "1 ", false, 0},
    {RTOPT_TYPE_UINT8, "1x", false, 0},
    {RTOPT_TYPE_INT16, "32767", true, 32767},
    {RTOPT_TYPE_INT16, "-32768", true, Neg(32768)},
    {RTOPT_TYPE_INT16, "32768", false, 0},
    {RTOPT_TYPE_UINT16, "65535", true, 65535},
    {RTOPT_TYPE_UINT16, "65536", false, 0},
    {RTOPT_TYPE_INT32, "2147483647", true, 2147483647},
    {RTOPT_TYPE_INT32, "-2147483648", true, Neg(2147483648u)},
    {RTOPT_TYPE_INT32, "2147483648", false, 0},
    {RTOPT_TYPE_UINT32, "4294967295", true, 4294967295u},
    {RTOPT_TYPE_UINT32, "4294967296", false, 0},
    {RTOPT_TYPE_INT64, "9223372036854775807", true, 9223372036854775807u},
    {RTOPT_TYPE_INT64, "-9223372036854775808", true, 9223372036854775808u},
    {RTOPT_TYPE_INT64, "9223372036854775808", false, 0},
    {RTOPT_TYPE_UINT64, "18446744073709551615", true, ~0ull},
    {RTOPT_TYPE_UINT64, "18446744073709551616", false, 0},
    {RTOPT_TYPE_UINT64, "99999999999999999999", false, 0},
    // Decimal by default, with the 0x fallback.
    {RTOPT_TYPE_UINT32, "0x1F", true, 31},
    {RTOPT_TYPE_UINT32, "0X1f", true, 31},
    {RTOPT_TYPE_UINT32, "010", true, 10},
    {RTOPT_TYPE_UINT32, "1F", false, 0},
    {RTOPT_TYPE_UINT32, "0x", false, 0},
    {RTOPT_TYPE_UINT32, "0xG", false, 0},
    {RTOPT_TYPE_UINT8, "0x100", false, 0},
    {RTOPT_TYPE_UINT64, "0xFFFFFFFFFFFFFFFF", true, ~0ull},
    {RTOPT_TYPE_UINT64, "0x10000000000000000", false, 0},
    {RTOPT_TYPE_INT32, "-0x1", false, 0},
    // Explicit bases.
    {RTOPT_TYPE_UINT32 | RTOPT_HEX, "1F", true, 31},
    {RTOPT_TYPE_UINT32 | RTOPT_HEX, "0x1F", true, 31},
    {RTOPT_TYPE_UINT32 | RTOPT_HEX, "ff", true, 255},
    {RTOPT_TYPE_UINT32 | RTOPT_HEX, "g", false, 0},
    {RTOPT_TYPE_INT8 | RTOPT_HEX, "-80", true, Neg(128)},
    {RTOPT_TYPE_INT8 | RTOPT_HEX, "80", false, 0},
    {RTOPT_TYPE_UINT32 | RTOPT_OCT, "17", true, 15},
    {RTOPT_TYPE_UINT32 | RTOPT_OCT, "8", false, 0},
    {RTOPT_TYPE_UINT32 | RTOPT_OCT, "0x1", false, 0},
    {RTOPT_TYPE_UINT32 | RTOPT_DEC, "0x1F", false, 0},
    {RTOPT_TYPE_UINT32 | RTOPT_DEC, "12", true, 12},
};

TEST(GetOptValue, Numbers)
{
    for (NumberCase const &Case : g_aNumberCases) {
        SCOPED_TRACE(std::to_string(Case.fFlags) + " '" + Case.pszText + "'");
        RTOPTVALUE Value;
        int const rc = Convert(Case.fFlags, Case.pszText, &Value);
        if (!Case.fOk) {
            EXPECT_EQ(rc, RTE_OPTION_INVALID_VALUE);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        uint32_t const uType = Case.fFlags & RTOPT_TYPE_MASK;
        if (uType % 2 == 0)
            EXPECT_EQ(ReadSigned(uType, Value), static_cast<int64_t>(Case.uExpected));
        else
            EXPECT_EQ(ReadUnsigned(uType, Value), Case.uExpected);
    }
}

TEST(GetOptValue, NarrowResultClearsTheRestOfTheRecord)
{
    RTOPTVALUE Value;
    ASSERT_EQ(Convert(RTOPT_TYPE_UINT8, "7", &Value), 'v');
    EXPECT_EQ(Value.u64, 7u);
    EXPECT_EQ(Value.pairU64.second, 0u);
}

TEST(GetOptValue, UndefinedCombinationsAreInternalErrors)
{
    uint32_t const afFlags[] = {
        12, 13, 22, 31,
        RTOPT_TYPE_STRING | RTOPT_HEX,
        RTOPT_TYPE_IPV4ADDR | RTOPT_DEC,
        RTOPT_TYPE_BOOL | RTOPT_OCT,
        RTOPT_TYPE_UUID | RTOPT_HEX,
        RTOPT_TYPE_UINT32 | RTOPT_HEX | RTOPT_OCT,
        RTOPT_TYPE_PAIR_U32 | RTOPT_DEC | RTOPT_HEX,
    };
    for (uint32_t fFlags : afFlags) {
        SCOPED_TRACE(fFlags);
        RTOPTVALUE Value;
        EXPECT_EQ(Convert(fFlags, "1", &Value), RTE_INTERNAL_ERROR);
    }
}

TEST(GetOptValue, StringTakesAnything)
{
    RTOPTVALUE Value;
    for (const char *psz : {"", " a b ", "--x", "\u2013"}) {
        ASSERT_EQ(Convert(RTOPT_TYPE_STRING, psz, &Value), 'v');
        EXPECT_STREQ(Value.str, psz);
    }
}

struct BytesCase {
    const char *pszText;
    bool fOk;
    std::vector<uint8_t> expected;
};

template <size_t N>
std::vector<uint8_t> Bytes(uint8_t const (&ab)[N])
{
    return std::vector<uint8_t>(ab, ab + N);
}

TEST(GetOptValue, Ipv4Address)
{
    const BytesCase aCases[] = {
        {"192.168.1.2", true, {192, 168, 1, 2}},
        {"  10.0.0.1\t", true, {10, 0, 0, 1}},
        {"0.0.0.0", true, {0, 0, 0, 0}},
        {"255.255.255.255", true, {255, 255, 255, 255}},
        {"1.2.3", false, {}},
        {"1.2.3.4.5", false, {}},
        {"256.1.1.1", false, {}},
        {"1..2.3", false, {}},
        {"1.2.3.4x", false, {}},
        {"1.2. 3.4", false, {}},
        {"", false, {}},
    };
    for (BytesCase const &Case : aCases) {
        SCOPED_TRACE(Case.pszText);
        RTOPTVALUE Value;
        int const rc = Convert(RTOPT_TYPE_IPV4ADDR, Case.pszText, &Value);
        if (!Case.fOk) {
            EXPECT_EQ(rc, RTE_OPTION_INVALID_VALUE);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        EXPECT_EQ(Bytes(Value.ipv4.au8), Case.expected);
    }
}

TEST(GetOptValue, Ipv4Cidr)
{
    struct {
        const char *pszText;
        bool fOk;
        uint32_t addr, mask;
    } const aCases[] = {
        {"10.0.0.0/8", true, 0x0A000000, 0xFF000000},
        {"10/8", true, 0x0A000000, 0xFF000000},
        {"10.1/16", true, 0x0A010000, 0xFFFF0000},
        {"10.16/12", true, 0x0A100000, 0xFFF00000},
        {"192.168.1.0/24", true, 0xC0A80100, 0xFFFFFF00},
        {"1.2.3.4", true, 0x01020304, 0xFFFFFFFF},
        {"1.2.3.4/32", true, 0x01020304, 0xFFFFFFFF},
        {"0.0.0.0/0", true, 0, 0},
        {"0/0", true, 0, 0},
        {"10.0.0.1/8", false, 0, 0},
        {"10/16", false, 0, 0},
        {"10.1/12", false, 0, 0},
        {"1.2.3.4/33", false, 0, 0},
        {"1.2.3.4/", false, 0, 0},
        {"10", false, 0, 0},
        {"/8", false, 0, 0},
        {"1.2.3.4/8x", false, 0, 0},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.pszText);
        RTOPTVALUE Value;
        int const rc = Convert(RTOPT_TYPE_IPV4CIDR, Case.pszText, &Value);
        if (!Case.fOk) {
            EXPECT_EQ(rc, RTE_OPTION_INVALID_VALUE);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        EXPECT_EQ(Value.cidr.addr, Case.addr);
        EXPECT_EQ(Value.cidr.mask, Case.mask);
    }
}

TEST(GetOptValue, MacAddress)
{
    const BytesCase aCases[] = {
        {"0123456789ab", true, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab}},
        {"01:23:45:67:89:AB", true, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab}},
        {"1:2::4:5:6", true, {1, 2, 0, 4, 5, 6}},
        {":::::", true, {0, 0, 0, 0, 0, 0}},
        {"01:23:45:67:89", false, {}},
        {"01:23:45:67:89:ab:cd", false, {}},
        {"0123456789a", false, {}},
        {"0123456789abc", false, {}},
        {"012:3:4:5:6:7", false, {}},
        {"g1:2:3:4:5:6", false, {}},
        {"01-23-45-67-89-ab", false, {}},
    };
    for (BytesCase const &Case : aCases) {
        SCOPED_TRACE(Case.pszText);
        RTOPTVALUE Value;
        int const rc = Convert(RTOPT_TYPE_MACADDR, Case.pszText, &Value);
        if (!Case.fOk) {
            EXPECT_EQ(rc, RTE_OPTION_INVALID_VALUE);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        EXPECT_EQ(Bytes(Value.mac.au8), Case.expected);
    }
}

TEST(GetOptValue, Uuid)
{
    for (const char *psz : {"{12345678-9abc-DEF0-1234-56789abcdef0}", "12345678-9abc-DEF0-1234-56789abcdef0"}) {
        SCOPED_TRACE(psz);
        RTOPTVALUE Value;
        ASSERT_EQ(Convert(RTOPT_TYPE_UUID, psz, &Value), 'v');
        EXPECT_EQ(Value.uuid.timeLow, 0x12345678u);
        EXPECT_EQ(Value.uuid.timeMid, 0x9abcu);
        EXPECT_EQ(Value.uuid.timeHiAndVersion, 0xdef0u);
        EXPECT_EQ(Value.uuid.clockSeqHiAndReserved, 0x12u);
        EXPECT_EQ(Value.uuid.clockSeqLow, 0x34u);
        EXPECT_EQ(Bytes(Value.uuid.node), (std::vector<uint8_t>{0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0}));
    }
    for (const char *psz : {"{12345678-9abc-def0-1234-56789abcdef0", "12345678-9abc-def0-1234-56789abcdef0}",
                            "12345678-9abc-def0-1234-56789abcdef", "12345678-9abc-def0-1234-56789abcdef01",
                            "123456789abcdef0123456789abcdef0", "12345678-9abc-def0-12345-6789abcdef0",
                            "1234567g-9abc-def0-1234-56789abcdef0", ""}) {
        SCOPED_TRACE(psz);
        RTOPTVALUE Value;
        EXPECT_EQ(Convert(RTOPT_TYPE_UUID, psz, &Value), RTE_OPTION_INVALID_VALUE);
    }
}

TEST(GetOptValue, Booleans)
{
    struct {
        uint32_t uType;
        const char *pszText;
        int iExpected;   // 1 true, 0 false, -1 refused
    } const aCases[] = {
        {RTOPT_TYPE_BOOL_ONOFF, "on", 1},
        {RTOPT_TYPE_BOOL_ONOFF, "ON", 1},
        {RTOPT_TYPE_BOOL_ONOFF, "Off", 0},
        {RTOPT_TYPE_BOOL_ONOFF, "o", -1},
        {RTOPT_TYPE_BOOL_ONOFF, "yes", -1},
        {RTOPT_TYPE_BOOL_ONOFF, "1", -1},
        {RTOPT_TYPE_BOOL_ONOFF, "", -1},
        {RTOPT_TYPE_BOOL, "Y", 1},
        {RTOPT_TYPE_BOOL, "yes", 1},
        {RTOPT_TYPE_BOOL, "En", 1},
        {RTOPT_TYPE_BOOL, "DISABLE", 0},
        {RTOPT_TYPE_BOOL, "ye", -1},
        {RTOPT_TYPE_BOOL, "t", 1},
        {RTOPT_TYPE_BOOL, "TRUE", 1},
        {RTOPT_TYPE_BOOL, "tru", -1},
        {RTOPT_TYPE_BOOL, "enable", 1},
        {RTOPT_TYPE_BOOL, "enab", -1},
        {RTOPT_TYPE_BOOL, "e", 1},
        {RTOPT_TYPE_BOOL, "on", 1},
        {RTOPT_TYPE_BOOL, "1", 1},
        {RTOPT_TYPE_BOOL, "f", 0},
        {RTOPT_TYPE_BOOL, "FaLsE", 0},
        {RTOPT_TYPE_BOOL, "n", 0},
        {RTOPT_TYPE_BOOL, "no", 0},
        {RTOPT_TYPE_BOOL, "d", 0},
        {RTOPT_TYPE_BOOL, "dis", 0},
        {RTOPT_TYPE_BOOL, "disa", -1},
        {RTOPT_TYPE_BOOL, "Disabled", 0},
        {RTOPT_TYPE_BOOL, "off", 0},
        {RTOPT_TYPE_BOOL, "of", -1},
        {RTOPT_TYPE_BOOL, "o", -1},
        {RTOPT_TYPE_BOOL, "0", 0},
        {RTOPT_TYPE_BOOL, "2", -1},
        {RTOPT_TYPE_BOOL, "", -1},
        {RTOPT_TYPE_BOOL, "yess", -1},
        {RTOPT_TYPE_BOOL, "offf", -1},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(std::to_string(Case.uType) + " '" + Case.pszText + "'");
        RTOPTVALUE Value;
        int const rc = Convert(Case.uType, Case.pszText, &Value);
        if (Case.iExpected < 0) {
            ASSERT_EQ(rc, RTE_OPTION_UNKNOWN);
            EXPECT_STREQ(Value.str, Case.pszText);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        EXPECT_EQ(Value.f, Case.iExpected == 1);
    }
}

TEST(GetOptValue, Pairs)
{
    struct {
        uint32_t fFlags;
        const char *pszText;
        bool fOk;
        uint64_t first, second;
    } const aCases[] = {
        {RTOPT_TYPE_PAIR_U32, "1:2", true, 1, 2},
        {RTOPT_TYPE_PAIR_U32, "1 2", true, 1, 2},
        {RTOPT_TYPE_PAIR_U32, "1 / 2", true, 1, 2},
        {RTOPT_TYPE_PAIR_U32, "1|2", true, 1, 2},
        {RTOPT_TYPE_PAIR_U32, "1\t\t2", true, 1, 2},
        {RTOPT_TYPE_PAIR_U32, "0x10:0x20", true, 16, 32},
        {RTOPT_TYPE_PAIR_U32, "4294967295/4294967295", true, 4294967295u, 4294967295u},
        {RTOPT_TYPE_PAIR_U32, "4294967296:1", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1::2", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1:/2", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1:", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1:2 ", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1,2", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "-1:2", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32, "1:-2", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32 | RTOPT_HEX, "a:B", true, 10, 11},
        {RTOPT_TYPE_PAIR_U32 | RTOPT_OCT, "10 8", false, 0, 0},
        {RTOPT_TYPE_PAIR_U64, "18446744073709551615|1", true, ~0ull, 1},
        {RTOPT_TYPE_PAIR_U64, "18446744073709551616|1", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32_OPT2, "7", true, 7, 0xFFFFFFFFu},
        {RTOPT_TYPE_PAIR_U32_OPT2, "7x", true, 7, 0xFFFFFFFFu},
        {RTOPT_TYPE_PAIR_U32_OPT2, "7:8", true, 7, 8},
        {RTOPT_TYPE_PAIR_U32_OPT2, "7:", false, 0, 0},
        {RTOPT_TYPE_PAIR_U32_OPT2, "x", false, 0, 0},
        {RTOPT_TYPE_PAIR_U64_OPT2, "5", true, 5, ~0ull},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(std::to_string(Case.fFlags) + " '" + Case.pszText + "'");
        RTOPTVALUE Value;
        int const rc = Convert(Case.fFlags, Case.pszText, &Value);
        if (!Case.fOk) {
            EXPECT_EQ(rc, RTE_OPTION_INVALID_VALUE);
            continue;
        }
        ASSERT_EQ(rc, 'v');
        uint32_t const uType = Case.fFlags & RTOPT_TYPE_MASK;
        if (uType == RTOPT_TYPE_PAIR_U64 || uType == RTOPT_TYPE_PAIR_U64_OPT2) {
            EXPECT_EQ(Value.pairU64.first, Case.first);
            EXPECT_EQ(Value.pairU64.second, Case.second);
        } else {
            EXPECT_EQ(Value.pairU32.first, Case.first);
            EXPECT_EQ(Value.pairU32.second, Case.second);
        }
    }
}

} // namespace
