// Integer rendering: sign, prefixes, padding, precision, grouping, the field limit and the bounded buffers.
#include <gtest/gtest.h>

#include <quab/fmt.h>

#include <string>

namespace {

struct NumberCase {
    uint64_t uValue;
    unsigned uiBase;
    int cchWidth;
    int cchPrecision;
    unsigned fFlags;
    const char *pszExpected;
};

constexpr unsigned S32 = FMT_F_SIGNED | FMT_F_32BIT;
constexpr unsigned S64 = FMT_F_SIGNED | FMT_F_64BIT;

const NumberCase g_aNumberCases[] = {
    // sign handling: 32-bit values carry their sign in bit 31 unless 64-bit is asked for
    {static_cast<uint32_t>(-5), 10, -1, -1, S32, "-5"},
    {5, 10, -1, -1, S32 | FMT_F_PLUS, "+5"},
    {5, 10, -1, -1, S32 | FMT_F_BLANK, " 5"},
    {5, 10, -1, -1, S32 | FMT_F_PLUS | FMT_F_BLANK, "+5"},
    {5, 10, -1, -1, FMT_F_32BIT | FMT_F_PLUS, "5"},
    {UINT64_MAX, 10, -1, -1, S64, "-1"},
    {UINT64_MAX, 10, -1, -1, FMT_F_64BIT, "18446744073709551615"},
    {0xFFFFFFFFu, 10, -1, -1, FMT_F_SIGNED, "-1"},
    {0xFFFFFFFFu, 10, -1, -1, FMT_F_SIGNED | FMT_F_64BIT, "4294967295"},
    {0x80000000u, 10, -1, -1, S32, "-2147483648"},
    {UINT64_C(0x8000000000000000), 10, -1, -1, S64, "-9223372036854775808"},
    {0, 10, -1, -1, S32, "0"},
    // alternate prefixes, even for zero
    {0x1f, 16, -1, -1, FMT_F_SPECIAL, "0x1f"},
    {0, 16, -1, -1, FMT_F_SPECIAL, "0x0"},
    {0, 8, -1, -1, FMT_F_SPECIAL, "00"},
    {8, 8, -1, -1, FMT_F_SPECIAL, "010"},
    {255, 16, -1, -1, FMT_F_SPECIAL | FMT_F_CAPITAL, "0XFF"},
    {0xabcd, 16, 10, -1, FMT_F_SPECIAL | FMT_F_ZEROPAD, "0x0000abcd"},
    {255, 10, -1, -1, FMT_F_SPECIAL, "255"},
    {0x12ab, 16, 8, -1, FMT_F_ZEROPAD, "000012ab"},
    {0x12ab, 16, 8, -1, FMT_F_ZEROPAD | FMT_F_SPECIAL, "0x0012ab"},
    // width, precision and zero padding
    {7, 10, 5, 3, S32, "    007"},
    {7, 10, -1, 3, S32, "007"},
    {7, 10, -1, 3, S32 | FMT_F_LEFT, "007"},
    {7, 10, 5, 3, S32 | FMT_F_LEFT, "007    "},
    {static_cast<uint32_t>(-42), 10, 5, -1, S32 | FMT_F_ZEROPAD, "-0042"},
    {42, 10, 5, -1, S32 | FMT_F_LEFT, "42   "},
    {42, 10, 5, -1, S32 | FMT_F_LEFT | FMT_F_ZEROPAD, "42   "},
    {42, 10, 2, -1, S32, "42"},
    {42, 10, 1, 0, S32, "42"},
    {0, 10, -1, 0, 0, "0"},
    {5, 10, 6, 4, FMT_F_ZEROPAD, "000005"},
    {0xff, 16, 6, -1, FMT_F_SPECIAL, "  0xff"},
    // grouping: base 10 only, dropped by zero padding, single blanks
    {1234567, 10, -1, -1, FMT_F_GROUP | FMT_F_64BIT, "1 234 567"},
    {123456, 10, -1, -1, FMT_F_GROUP, "123 456"},
    {1234, 10, -1, -1, FMT_F_GROUP, "1 234"},
    {999, 10, -1, -1, FMT_F_GROUP, "999"},
    {0x12345, 16, -1, -1, FMT_F_GROUP, "12345"},
    {1234, 10, 5, -1, FMT_F_GROUP | FMT_F_ZEROPAD, "01234"},
    {1234, 10, 7, -1, FMT_F_GROUP, "  1 234"},
    {static_cast<uint32_t>(-1234567), 10, -1, -1, S32 | FMT_F_GROUP, "-1 234 567"},
    // where the digit loops change: one digit to two, 32 bits to 64, and
    // decimal values above 32 bits whose nine-digit groups hold zeros
    {0, 10, 3, -1, FMT_F_64BIT | FMT_F_ZEROPAD, "000"},
    {1, 10, -1, -1, FMT_F_64BIT | FMT_F_GROUP, "1"},
    {9, 10, -1, -1, S32 | FMT_F_PLUS, "+9"},
    {10, 10, 4, -1, S32 | FMT_F_BLANK, "  10"},
    {9, 16, -1, -1, FMT_F_64BIT, "9"},
    {10, 16, -1, -1, FMT_F_64BIT, "a"},
    {16, 16, -1, -1, FMT_F_32BIT | FMT_F_SPECIAL, "0x10"},
    {0xFFFFFFFFu, 10, 12, -1, S64 | FMT_F_PLUS, " +4294967295"},
    {0xFFFFFFFFu, 10, -1, -1, FMT_F_64BIT | FMT_F_GROUP, "4 294 967 295"},
    {0xFFFFFFFFu, 16, -1, -1, FMT_F_SPECIAL | FMT_F_CAPITAL, "0XFFFFFFFF"},
    {UINT64_C(0x100000000), 10, -1, 12, FMT_F_64BIT, "004294967296"},
    {UINT64_C(0x100000000), 10, -1, -1, FMT_F_GROUP, "4 294 967 296"},
    {UINT64_C(0x100000000), 16, -1, -1, FMT_F_SPECIAL, "0x100000000"},
    {UINT64_C(0x100000000), 8, -1, -1, FMT_F_SPECIAL, "040000000000"},
    {UINT64_C(5000000001), 10, -1, -1, FMT_F_64BIT, "5000000001"},
    {UINT64_C(1000000000000000000), 10, -1, -1, FMT_F_64BIT, "1000000000000000000"},
    {UINT64_C(10000000000000000000), 10, -1, -1, FMT_F_64BIT, "10000000000000000000"},
    {UINT64_C(10000000000000000000), 10, -1, -1, FMT_F_64BIT | FMT_F_GROUP, "10 000 000 000 000 000 000"},
    {UINT64_MAX, 10, 24, -1, FMT_F_64BIT | FMT_F_LEFT | FMT_F_BLANK, "18446744073709551615    "},
    {UINT64_MAX, 10, -1, -1, FMT_F_64BIT | FMT_F_GROUP, "18 446 744 073 709 551 615"},
    {UINT64_MAX, 16, -1, -1, FMT_F_64BIT | FMT_F_CAPITAL, "FFFFFFFFFFFFFFFF"},
    {UINT64_MAX, 8, -1, -1, FMT_F_64BIT, "1777777777777777777777"},
    {UINT64_C(0x8000000000000000), 10, 25, -1, S64, "     -9223372036854775808"},
    {UINT64_C(0x8000000000000000), 10, 22, -1, S64 | FMT_F_ZEROPAD, "-009223372036854775808"},
    {UINT64_C(0x8000000000000000), 10, -1, -1, S64 | FMT_F_GROUP, "-9 223 372 036 854 775 808"},
    {UINT64_C(0x8000000000000000), 16, -1, -1, S64 | FMT_F_SPECIAL, "-0x8000000000000000"},
    {UINT64_C(0x8000000000000001), 10, -1, -1, S64, "-9223372036854775807"},
    // other bases
    {5, 2, -1, -1, 0, "101"},
    {0xdeadbeef, 16, -1, -1, FMT_F_CAPITAL, "DEADBEEF"},
    {0777, 8, -1, -1, 0, "777"},
    {35, 36, -1, -1, 0, "35"},  // unsupported base renders decimal
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, Renders)
{
    NumberCase const &c = GetParam();
    char szBuf[64];
    __builtin_memset(szBuf, 'X', sizeof(szBuf));
    int const cch = RTFmtNumber(szBuf, c.uValue, c.uiBase, c.cchWidth, c.cchPrecision, c.fFlags);
    EXPECT_STREQ(szBuf, c.pszExpected);
    EXPECT_EQ(cch, static_cast<int>(std::string(c.pszExpected).size()));
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberTest, ::testing::ValuesIn(g_aNumberCases));

// Whatever the width and precision, the field and its terminator fit 64 bytes.
TEST(NumberLimit, FieldNeverExceeds63)
{
    struct { int cchWidth, cchPrecision; unsigned fFlags; uint64_t uValue; unsigned uiBase; } const aCases[] = {
        {200, -1, 0, 1, 10},
        {200, -1, FMT_F_ZEROPAD, 1, 10},
        {200, -1, FMT_F_LEFT, 1, 10},
        {-1, 200, 0, 1, 10},
        {60, 60, FMT_F_LEFT | S32, static_cast<uint32_t>(-1), 10},
        {60, 60, S32, static_cast<uint32_t>(-1), 10},
        {100, 100, FMT_F_SPECIAL | FMT_F_ZEROPAD, 0xabc, 16},
        {-1, -1, S64, UINT64_C(0x8000000000000000), 2},
        {-1, -1, FMT_F_64BIT, UINT64_MAX, 2},
        {100, -1, FMT_F_GROUP, UINT64_MAX, 10},
    };
    for (auto const &c : aCases) {
        char szBuf[80];
        __builtin_memset(szBuf, 'X', sizeof(szBuf));
        int const cch = RTFmtNumber(szBuf, c.uValue, c.uiBase, c.cchWidth, c.cchPrecision, c.fFlags);
        EXPECT_LE(cch, 63) << c.cchWidth << "/" << c.cchPrecision;
        EXPECT_EQ(szBuf[cch], '\0');
        EXPECT_EQ(std::string(szBuf).size(), static_cast<size_t>(cch));
        for (size_t i = 64; i < sizeof(szBuf); i++)
            EXPECT_EQ(szBuf[i], 'X') << "written past 64 bytes at " << i;
    }
}

TEST(NumberLimit, WideFieldsKeepTheirShape)
{
    char szBuf[64];
    // Right-justified: padding is cut, the digits survive.
    int cch = RTFmtNumber(szBuf, 42, 10, 100, -1, 0);
    EXPECT_EQ(std::string(szBuf).substr(static_cast<size_t>(cch) - 2), "42");
    EXPECT_EQ(szBuf[0], ' ');
    // Zero padded with a sign: sign first, zeros, digits last.
    cch = RTFmtNumber(szBuf, static_cast<uint32_t>(-42), 10, 100, -1, S32 | FMT_F_ZEROPAD);
    EXPECT_EQ(szBuf[0], '-');
    EXPECT_EQ(szBuf[1], '0');
    EXPECT_EQ(std::string(szBuf).substr(static_cast<size_t>(cch) - 2), "42");
    // Binary of a 64-bit value with the top bit set keeps its low 63 digits.
    cch = RTFmtNumber(szBuf, UINT64_MAX - 1, 2, -1, -1, FMT_F_64BIT);
    EXPECT_EQ(cch, 63);
    EXPECT_EQ(szBuf[62], '0');
    EXPECT_EQ(szBuf[61], '1');
}

TEST(NumberToBuf, U32TreatsValueAs32Bit)
{
    char szBuf[80];
    // The caller's 64-bit flag is replaced: bit 31 is the sign.
    EXPECT_EQ(RTFmtU32ToBuf(szBuf, sizeof(szBuf), 0xffffcfc7u, 10, 0, 0, FMT_F_SIGNED | FMT_F_64BIT), 6);
    EXPECT_STREQ(szBuf, "-12345");
    EXPECT_EQ(RTFmtU32ToBuf(szBuf, sizeof(szBuf), 0xffffcfc7u, 16, 0, 0, FMT_F_SPECIAL), 10);
    EXPECT_STREQ(szBuf, "0xffffcfc7");
}

TEST(NumberToBuf, U64TreatsValueAs64Bit)
{
    char szBuf[16];
    // Only the 64-bit flag makes a value with clear upper half unsigned-looking.
    EXPECT_EQ(RTFmtU64ToBuf(szBuf, sizeof(szBuf), 0xFFFFFFFFu, 10, 0, 0, FMT_F_SIGNED | FMT_F_32BIT), 10);
    EXPECT_STREQ(szBuf, "4294967295");
    EXPECT_EQ(RTFmtU64ToBuf(szBuf, sizeof(szBuf), UINT64_MAX, 10, -1, -1, FMT_F_SIGNED), 2);
    EXPECT_STREQ(szBuf, "-1");
}

TEST(NumberToBuf, SmallBuffers)
{
    struct { size_t cbBuf; int rcExpected; const char *pszExpected; } const aCases[] = {
        {6, 5, "12345"},                 // exactly fits with the terminator
        {5, RTE_BUFFER_OVERFLOW, "1234"}, // one short: cut and terminated
        {2, RTE_BUFFER_OVERFLOW, "1"},
        {1, RTE_BUFFER_OVERFLOW, ""},
    };
    for (auto const &c : aCases) {
        char szBuf[16];
        __builtin_memset(szBuf, 'X', sizeof(szBuf));
        EXPECT_EQ(RTFmtU32ToBuf(szBuf, c.cbBuf, 12345, 10, -1, -1, 0), c.rcExpected) << c.cbBuf;
        EXPECT_STREQ(szBuf, c.pszExpected);
        EXPECT_EQ(szBuf[c.cbBuf], 'X') << "wrote past the buffer of " << c.cbBuf;

        __builtin_memset(szBuf, 'X', sizeof(szBuf));
        EXPECT_EQ(RTFmtU64ToBuf(szBuf, c.cbBuf, 12345, 10, -1, -1, 0), c.rcExpected) << c.cbBuf;
        EXPECT_STREQ(szBuf, c.pszExpected);
        EXPECT_EQ(szBuf[c.cbBuf], 'X');
    }
}

TEST(NumberToBuf, ZeroSizeBufferUntouched)
{
    char ch = 'X';
    EXPECT_EQ(RTFmtU32ToBuf(&ch, 0, 1, 10, -1, -1, 0), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(RTFmtU64ToBuf(&ch, 0, 1, 10, -1, -1, 0), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(ch, 'X');
}

TEST(NumberToBuf, LargeBufferGetsWholeWideField)
{
    char szBuf[64];
    int const cch = RTFmtU64ToBuf(szBuf, sizeof(szBuf), 1, 10, 40, -1, FMT_F_LEFT);
    EXPECT_EQ(cch, 40);
    EXPECT_EQ(szBuf[0], '1');
    EXPECT_EQ(szBuf[39], ' ');
    EXPECT_EQ(szBuf[40], '\0');
}

} // namespace
