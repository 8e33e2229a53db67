// The %R runtime types: every row of the type table, the directive flags on
// typed values, network and UUID values, extended-error records, status codes,
// Windows errors, HRESULTs and the hand-over to the other families.
#include <gtest/gtest.h>

#include <string.h>

#include <quab/err.h>
#include <quab/errinfo.h>

#include "common/string/format-internal.h"
#include "fmt-collect.h"

namespace {

enum class ArgKind
{
    Int,
    U64,
    Ptr,
    Far16,
    Far32,
    Far64,
};

struct TypeRowCase
{
    const char *pszName;
    ArgKind enmArg;
    uint64_t u64;
    const void *pv;
    const char *pszExpected;
};

constexpr uint8_t g_abIpv4[4] = {0xc0, 0xa8, 0x01, 0x02};
constexpr uint8_t g_abMac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
constexpr uint8_t g_abLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
constexpr uint8_t g_abUuid[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                  0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};

NetAddress MakeNetAddr(uint32_t enmType, std::initializer_list<uint8_t> abAddr, uint32_t uPort)
{
    NetAddress Addr{};
    size_t i = 0;
    for (uint8_t b : abAddr)
        Addr.abAddr[i++] = b;
    Addr.enmType = enmType;
    Addr.uPort = uPort;
    return Addr;
}

const NetAddress g_AddrIpv4Port = MakeNetAddr(NETADDR_TYPE_IPV4, {10, 0, 0, 1}, 80);

char g_szErrMsg[16] = "boom";
const RTERRINFO g_ErrInfo = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, RTE_BUFFER_OVERFLOW, sizeof(g_szErrMsg),
                             g_szErrMsg};

// The wording of status messages belongs to the status table; the tests
// only check which of its texts a directive asks for.
using StatusTextFn = size_t (*)(int32_t, FmtOutputFn, void *, char *, size_t);
std::string StatusText(StatusTextFn pfn, int32_t rc)
{
    FmtCollector Col;
    char szTmp[80];
    pfn(rc, FmtCollector::Output, &Col, szTmp, sizeof(szTmp));
    return Col.strText;
}

std::string Msg(int32_t rc)
{
    return StatusText(RTStatusFormatMessage, rc);
}

uint32_t Ipv4Value()
{
    uint32_t u32;
    memcpy(&u32, g_abIpv4, 4);
    return u32;
}

// Formats "%R<name>|%d" with the row's argument and 42, so that a row taking
// the wrong amount of argument shows in the number after the bar.
std::string FormatRow(TypeRowCase const &Row)
{
    std::string const strFormat = std::string("%R") + Row.pszName + "|%d";
    switch (Row.enmArg)
    {
        case ArgKind::Int:
            return Fmt(strFormat.c_str(), static_cast<int>(Row.u64), 42);
        case ArgKind::U64:
            return Fmt(strFormat.c_str(), Row.u64, 42);
        case ArgKind::Ptr:
            return Fmt(strFormat.c_str(), Row.pv, 42);
        case ArgKind::Far16:
            return Fmt(strFormat.c_str(), RTFAR16{static_cast<uint16_t>(Row.u64), static_cast<uint16_t>(Row.u64 >> 16)},
                       42);
        case ArgKind::Far32:
            return Fmt(strFormat.c_str(), RTFAR32{static_cast<uint32_t>(Row.u64), 0x10}, 42);
        case ArgKind::Far64:
            return Fmt(strFormat.c_str(),
                       RTFAR64{static_cast<uint32_t>(Row.u64), static_cast<uint32_t>(Row.u64 >> 32), 0x2b}, 42);
    }
    return {};
}

TEST(FmtTypes, EveryTableRowRendersAndConsumesItsArgument)
{
    const void *pvPtr = reinterpret_cast<const void *>(static_cast<uintptr_t>(0x12ab));
    const TypeRowCase aRows[] = {
        {"Ci", ArgKind::Int, static_cast<uint64_t>(-5), nullptr, "-5"},
        {"Cp", ArgKind::U64, 0x1234, nullptr, "0000000000001234"},
        {"Cr", ArgKind::Int, 0x1a2c, nullptr, "00001a2c"},
        {"Cu", ArgKind::Int, 0xffffffff, nullptr, "4294967295"},
        {"Cv", ArgKind::Int, 0xabc, nullptr, "00000abc"},
        {"Cx", ArgKind::Int, 0xabc, nullptr, "abc"},
        {"Gi", ArgKind::U64, static_cast<uint64_t>(INT64_C(-5000000000)), nullptr, "-5000000000"},
        {"Gp", ArgKind::U64, 0xfee00000, nullptr, "00000000fee00000"},
        {"Gr", ArgKind::U64, 1, nullptr, "0000000000000001"},
        {"Gu", ArgKind::U64, UINT64_MAX, nullptr, "18446744073709551615"},
        {"Gv", ArgKind::U64, UINT64_C(0x7fff12345678), nullptr, "00007fff12345678"},
        {"Gx", ArgKind::U64, UINT64_C(0x123456789a), nullptr, "123456789a"},
        {"Hi", ArgKind::Int, static_cast<uint64_t>(-7), nullptr, "-7"},
        {"Hp", ArgKind::U64, 0xabc, nullptr, "0000000000000abc"},
        {"Hr", ArgKind::Int, 0x10, nullptr, "00000010"},
        {"Hu", ArgKind::Int, 7, nullptr, "7"},
        {"Hv", ArgKind::Int, 0xdeadbeef, nullptr, "deadbeef"},
        {"Hx", ArgKind::Int, 0xff, nullptr, "ff"},
        {"I16", ArgKind::Int, 0x1ffff, nullptr, "131071"},
        {"I32", ArgKind::Int, static_cast<uint64_t>(-5), nullptr, "-5"},
        {"I64", ArgKind::U64, static_cast<uint64_t>(INT64_MIN), nullptr, "-9223372036854775808"},
        {"I8", ArgKind::Int, 0x1ff, nullptr, "511"},
        {"Kv", ArgKind::Int, 0x1234, nullptr, "XXXXXXXX"},
        {"Rv", ArgKind::Int, 1, nullptr, "00000001"},
        {"Tbool", ArgKind::Int, 1, nullptr, "true"},
        {"Teic", ArgKind::Ptr, 0, &g_ErrInfo, nullptr},
        {"Teim", ArgKind::Ptr, 0, &g_ErrInfo, ": boom"},
        {"Tfile", ArgKind::Int, 3, nullptr, "3"},
        {"Tfmode", ArgKind::Int, 0x81a4, nullptr, "000081a4"},
        {"Tfoff", ArgKind::U64, static_cast<uint64_t>(-1), nullptr, "-1"},
        {"Tfp16", ArgKind::Far16, 0x00081234, nullptr, "0008:1234"},
        {"Tfp32", ArgKind::Far32, 0x12345678, nullptr, "0010:12345678"},
        {"Tfp64", ArgKind::Far64, UINT64_C(0x123456789abcdef0), nullptr, "002b:123456789abcdef0"},
        {"Tgid", ArgKind::Int, static_cast<uint64_t>(-1), nullptr, "-1"},
        {"Tino", ArgKind::U64, 0x1234, nullptr, "0000000000001234"},
        {"Tint", ArgKind::Int, static_cast<uint64_t>(-100), nullptr, "-100"},
        {"Tiop", ArgKind::Int, 0x3f8, nullptr, "03f8"},
        {"Tldrm", ArgKind::Int, 0x400000, nullptr, "00400000"},
        {"Tmac", ArgKind::Ptr, 0, g_abMac, "00:1a:2b:3c:4d:5e"},
        {"Tnaddr", ArgKind::Ptr, 0, &g_AddrIpv4Port, "10.0.0.1:80"},
        {"Tnaipv4", ArgKind::Int, Ipv4Value(), nullptr, "192.168.1.2"},
        {"Tnaipv6", ArgKind::Ptr, 0, g_abLoopback6, "::1"},
        {"Tnthrd", ArgKind::Int, 0x1a2c, nullptr, "00001a2c"},
        {"Tproc", ArgKind::Int, 4, nullptr, "00000004"},
        {"Tptr", ArgKind::Ptr, 0, pvPtr, g_fFmt32BitPtrs ? "000012ab" : "00000000000012ab"},
        {"Treg", ArgKind::Int, 0xffffffff, nullptr, "ffffffff"},
        {"Tsel", ArgKind::Int, 0x1b, nullptr, "001b"},
        {"Tsem", ArgKind::Int, 0x20, nullptr, "00000020"},
        {"Tsock", ArgKind::Int, 12, nullptr, "12"},
        {"Tthrd", ArgKind::Int, 0xabcdef, nullptr, "00abcdef"},
        {"Tuid", ArgKind::Int, 1000, nullptr, "1000"},
        {"Tuint", ArgKind::Int, 0x80000000, nullptr, "2147483648"},
        {"Tunicp", ArgKind::Int, 0x1f600, nullptr, "0001f600"},
        {"Tutf16", ArgKind::Int, 0x41, nullptr, "0041"},
        {"Tuuid", ArgKind::Ptr, 0, g_abUuid, "33221100-5544-7766-8899-aabbccddeeff"},
        {"Txint", ArgKind::Int, 0x10, nullptr, "10"},
        {"U16", ArgKind::Int, 0x12345, nullptr, "9029"},
        {"U32", ArgKind::Int, 0xffffffff, nullptr, "4294967295"},
        {"U64", ArgKind::U64, UINT64_MAX, nullptr, "18446744073709551615"},
        {"U8", ArgKind::Int, 0x1ff, nullptr, "255"},
        {"X16", ArgKind::Int, 0x1abcd, nullptr, "abcd"},
        {"X32", ArgKind::Int, 0xabc, nullptr, "abc"},
        {"X64", ArgKind::U64, 0xabc, nullptr, "abc"},
        {"X8", ArgKind::Int, 0x1ab, nullptr, "ab"},
    };
    ASSERT_EQ(RT_ELEMENTS(aRows), 64u);
    std::string const strTeic = Msg(RTE_BUFFER_OVERFLOW) + ": boom";
    for (TypeRowCase const &Row : aRows)
        EXPECT_EQ(FormatRow(Row), (Row.pszExpected ? std::string(Row.pszExpected) : strTeic) + "|42")
            << "%R" << Row.pszName;
}

struct TypedFlagCase
{
    const char *pszFormat;
    uint64_t u64;
    bool f64Bit;
    const char *pszExpected;
};

TEST(FmtTypes, DirectiveFlagsOnTypedValues)
{
    static const TypedFlagCase s_aCases[] = {
        {"%#RX64", 0xabc, true, "0xabc"},
        {"%#RX32", 0xABC, false, "0xabc"},
        {"%08RX32", 0xabc, false, "00000abc"},
        {"%'RU32", 1000000, false, "1 000 000"},
        {"%'RU64", 1234567, true, "1 234 567"},
        {"%+RI32", 5, false, "+5"},
        {"% RI32", 5, false, " 5"},
        {"%+RU32", 5, false, "5"},
        {"[%-6RU32]", 5, false, "[5     ]"},
        {"[%6RU32]", 5, false, "[     5]"},
        {"%#RTnthrd", 0x1a2c, false, "0x00001a2c"},
        // A given width replaces the hexword default and its zero padding.
        {"[%6RTnthrd]", 0x1a2c, false, "[  1a2c]"},
        {"[%06RTnthrd]", 0x1a2c, false, "[001a2c]"},
        {"%#RTino", 0x12, true, "0x0000000000000012"},
        {"%#RKv", 0x1234, false, "0xXXXXXXXX"},
        {"%RTbool", 0, false, "false"},
        {"%RTbool", 7, false, "!7!"},
        {"%RTbool", 0x101, false, "true"},
        {"%RTbool", 0x1ff, false, "!255!"},
        {"%#RTbool", 1, false, "true "},
        {"%#RTbool", 0, false, "false"},
        {"[%9RTbool]", 1, false, "[true]"},
        {"[%-#20RTfp16]", 0x00081234, false, "[0008:1234]"},
    };
    for (TypedFlagCase const &Case : s_aCases)
    {
        std::string const strText = Case.f64Bit ? Fmt(Case.pszFormat, Case.u64)
                                                : Fmt(Case.pszFormat, static_cast<uint32_t>(Case.u64));
        EXPECT_EQ(strText, Case.pszExpected) << Case.pszFormat;
    }
}

TEST(FmtTypes, NamesArePrefixesAndUnknownNamesTakeNothing)
{
    struct NameCase
    {
        const char *pszFormat;
        const char *pszExpected;
    };
    // Each is followed by one int argument 7 for a %d, if any.
    static const NameCase s_aCases[] = {
        {"%RU32abc", "7abc"},
        {"%RTfoo|%d", "foo|7"},
        {"%RU3|%d", "3|7"},
        {"%RZ|%d", "|7"},
        {"%RZabc", "abc"},
        {"%R!|%d", "|7"},
        {"ab%R", "ab"},
        {"ab%RT", "ab"},
        {"ab%RU", "ab"},
        {"ab%RTf", "abf"},
    };
    for (NameCase const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, 7, 8), Case.pszExpected) << Case.pszFormat;
}

struct Ipv6Case
{
    uint8_t ab[16];
    const char *pszExpected;
};

TEST(FmtTypes, Ipv6Rendering)
{
    static const Ipv6Case s_aCases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "::"},
        {{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "fe80::1"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4}, "::ffff:1.2.3.4"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 1, 2, 3, 4}, "::ffff:0:1.2.3.4"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}, "::1.2.3.4"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, "::0.0.0.2"},
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}, "2001:db8::1:0:0:1"},
        {{0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}, "1:2:3:4:5:6:7:8"},
        // A single zero group is not a run.
        {{0, 1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7}, "1:0:2:3:4:5:6:7"},
        {{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "1::"},
        // The longer run wins over an earlier shorter one.
        {{0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3}, "1:0:0:2::3"},
        {{0xab, 0xcd, 0, 0x0e, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 0}, "abcd:e::1234:0"},
        // Non-zero high bytes keep the tail form away.
        {{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0xff, 0xff, 1, 2, 3, 4}, "::1:0:ffff:102:304"},
    };
    for (Ipv6Case const &Case : s_aCases)
        EXPECT_EQ(Fmt("%RTnaipv6", Case.ab), Case.pszExpected) << Case.pszExpected;
}

struct PtrKindCase
{
    const char *pszFormat;
    const void *pv;
    const char *pszExpected32;
    const char *pszExpected64;
};

TEST(FmtTypes, PointerKindsAndTheirBadPointers)
{
    static const NetAddress s_Ipv4NoPort = MakeNetAddr(NETADDR_TYPE_IPV4, {10, 0, 0, 1}, NETADDR_PORT_NONE);
    static const NetAddress s_Ipv6Port =
        MakeNetAddr(NETADDR_TYPE_IPV6, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 443);
    static const NetAddress s_Ipv6NoPort =
        MakeNetAddr(NETADDR_TYPE_IPV6, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}, NETADDR_PORT_NONE);
    static const NetAddress s_Mac = MakeNetAddr(NETADDR_TYPE_MAC, {0xde, 0xad, 0xbe, 0xef, 0x00, 0x01}, 5);
    static const NetAddress s_Type3 = MakeNetAddr(3, {1, 2, 3, 4}, 0);
    const PtrKindCase aCases[] = {
        {"%RTnaddr", &g_AddrIpv4Port, "10.0.0.1:80", "10.0.0.1:80"},
        {"%RTnaddr", &s_Ipv4NoPort, "10.0.0.1", "10.0.0.1"},
        {"%RTnaddr", &s_Ipv6Port, "[::1]:443", "[::1]:443"},
        {"%RTnaddr", &s_Ipv6NoPort, "fe80::9", "fe80::9"},
        {"%RTnaddr", &s_Mac, "de:ad:be:ef:00:01", "de:ad:be:ef:00:01"},
        {"%RTnaddr", &s_Type3, "unsupported-netaddr-type=3", "unsupported-netaddr-type=3"},
        {"%RTmac", nullptr, "<NULL>", "<NULL>"},
        {"%RTmac", FmtLowPtr(0x20), "<00000020!BadMac>", "<0000000000000020!BadMac>"},
        {"%RTnaipv6", nullptr, "<NULL>", "<NULL>"},
        {"%RTnaipv6", FmtTopPtr(3), "<fffffffc!BadIPv6>", "<fffffffffffffffc!BadIPv6>"},
        {"%RTnaddr", FmtLowPtr(0x800), "<00000800!BadNetAddr>", "<0000000000000800!BadNetAddr>"},
        {"%RTuuid", FmtLowPtr(0xfff), "<00000fff!BadUuid>", "<0000000000000fff!BadUuid>"},
        {"[%8RTuuid]", nullptr, "[  <NULL>]", "[  <NULL>]"},
        {"[%-8RTmac]", nullptr, "[<NULL>  ]", "[<NULL>  ]"},
    };
    for (PtrKindCase const &Case : aCases)
        EXPECT_EQ(Fmt((std::string(Case.pszFormat) + "|%d").c_str(), Case.pv, 5),
                  std::string(g_fFmt32BitPtrs ? Case.pszExpected32 : Case.pszExpected64) + "|5")
            << Case.pszFormat;

    // Sub-formats are counted like any other output.
    FmtResult const Result = FmtRun("%RTnaddr", &s_Ipv6Port);
    EXPECT_EQ(Result.cchReturned, Result.strText.size());
    EXPECT_EQ(Result.cFlushes, 2u);
}

TEST(FmtTypes, ErrInfoRecords)
{
    char szLong[8] = {'b', 'o', 'o', 'm', 'b', 'o', 'o', 'm'};
    RTERRINFO const Cut = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, RT_OK, 4, szLong};
    RTERRINFO const NoMsg = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, RTE_BUFFER_OVERFLOW, 0, g_szErrMsg};
    RTERRINFO const NotSet = {RTERRINFO_FLAGS_MAGIC, RTE_BUFFER_OVERFLOW, sizeof(g_szErrMsg), g_szErrMsg};
    RTERRINFO const NoMagic = {0xBABF0000u | RTERRINFO_FLAGS_SET, RTE_BUFFER_OVERFLOW, sizeof(g_szErrMsg),
                               g_szErrMsg};
    RTERRINFO const ExtraFlags = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET | 0x3, RTE_BUFFER_OVERFLOW,
                                  sizeof(g_szErrMsg), g_szErrMsg};

    struct ErrInfoCase
    {
        const char *pszFormat;
        const RTERRINFO *pErrInfo;
        std::string strExpected;
    };
    std::string const strMsg = Msg(RTE_BUFFER_OVERFLOW);
    ASSERT_FALSE(strMsg.empty());
    const ErrInfoCase aCases[] = {
        {"%RTeic", &g_ErrInfo, strMsg + ": boom"},
        {"%#RTeic", &g_ErrInfo, strMsg + " - boom"},
        {"%#RTeim", &g_ErrInfo, " - boom"},
        {"%RTeim", &Cut, ": boom"},
        {"%RTeic", &Cut, Msg(RT_OK) + ": boom"},
        {"%RTeic", &NoMsg, strMsg},
        {"%RTeim", &NoMsg, ""},
        {"%RTeic", &ExtraFlags, strMsg + ": boom"},
        // A record that is not filled in is no better than an unknown name.
        {"%RTeic", &NotSet, "eic"},
        {"%RTeim", &NoMagic, "eim"},
        {"%RTeic", nullptr, "eic"},
        {"%RTeim", static_cast<const RTERRINFO *>(FmtLowPtr(0x40)), "eim"},
    };
    for (ErrInfoCase const &Case : aCases)
        EXPECT_EQ(Fmt((std::string(Case.pszFormat) + "|%d").c_str(), Case.pErrInfo, 5),
                  Case.strExpected + "|5")
            << Case.pszFormat;
}

struct StatusCase
{
    const char *pszFormat;
    int32_t iValue;
    std::string strExpected;
};

TEST(FmtTypes, StatusCodesWindowsErrorsAndHresults)
{
    std::string const strMsg = Msg(RTE_BUFFER_OVERFLOW);
    ASSERT_FALSE(strMsg.empty());
    const StatusCase aCases[] = {
        {"%Rrc", RTE_BUFFER_OVERFLOW, "RTE_BUFFER_OVERFLOW"},
        {"%Rrs", RTE_BUFFER_OVERFLOW, strMsg},
        {"%Rrf", RTE_BUFFER_OVERFLOW, strMsg},
        {"%Rra", RTE_BUFFER_OVERFLOW, "RTE_BUFFER_OVERFLOW (-41) - " + strMsg},
        {"%Rrc", -12345, "-12345"},
        {"%Rrs", -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {"%Rrx", RT_OK, ""},
        {"%Rwc", 0, "ERROR_SUCCESS"},
        {"%Rwf", 0, "ERROR_SUCCESS"},
        {"%Rwa", 0, "ERROR_SUCCESS (0x0)"},
        {"%Rwa", 5, "Unknown Status 0x5"},
        {"%Rws", 0, ""},
        {"%Rhrc", 0, "ERROR_SUCCESS"},
        {"%Rhrf", 0, "ERROR_SUCCESS"},
        {"%Rhra", static_cast<int32_t>(0x80070000u), "ERROR_SUCCESS (0x80070000)"},
        {"%Rhrq", 0, ""},
    };
    // Unknown styles still take their argument, so 9 follows in every case.
    for (StatusCase const &Case : aCases)
        EXPECT_EQ(Fmt((std::string(Case.pszFormat) + "|%d").c_str(), Case.iValue, 9), Case.strExpected + "|9")
            << Case.pszFormat << " of " << Case.iValue;

    // Cut short by the end of the format: nothing, and no argument read.
    for (const char *pszFormat : {"a%Rr", "a%Rw", "a%Rh", "a%Rhr"})
        EXPECT_EQ(Fmt(pszFormat, 1), "a") << pszFormat;
    EXPECT_EQ(Fmt("%Rhz|%d", 4), "|4");
}

TEST(FmtTypes, OtherFamiliesAreHandedOver)
{
    EXPECT_EQ(Fmt("%Rbn|%d", "C:\\dir\\file.txt", 3), "file.txt|3");
    EXPECT_EQ(Fmt("%R[foo]|%d", static_cast<void *>(nullptr), 3), "<missing:%R[foo]>|3");
    static const uint8_t s_ab[4] = {1, 2, 3, 4};
    EXPECT_EQ(Fmt("%.4Rhxs|%d", s_ab, 3), "01 02 03 04|3");
    EXPECT_EQ(Fmt("%Rhcb|%d", UINT64_C(1536), 3), "1.5KiB|3");
    EXPECT_EQ(Fmt("%RMes|%d", "<&>", 3), "&lt;&amp;&gt;|3");
}

} // namespace
