// Hex dumps (%Rhx, %RhX with s, d and D) and sizes with units (%Rhc, %Rhu with b, B and i).
#include "fmtext-sink.h"

#include <vector>

namespace {

const uint8_t g_abCount[] = {0x01, 0x02, 0x03, 0x04, 0x05};

TEST(FmtHex, OneLine)
{
    EXPECT_EQ(Fmt("%.4Rhxs", g_abCount), "01 02 03 04");
    EXPECT_EQ(Fmt("%#.4Rhxs", g_abCount), "01020304");
    EXPECT_EQ(Fmt("%'.4Rhxs", g_abCount), "01:02:03:04");
    EXPECT_EQ(Fmt("%.1Rhxs", g_abCount), "01");
    EXPECT_EQ(Fmt("[%.0Rhxs]", g_abCount), "[]");
    EXPECT_EQ(Fmt("%Rhxs", nullptr), "<null>");
    EXPECT_EQ(Fmt("%.4Rhxs|%d", nullptr, 7), "<null>|7");
    EXPECT_EQ(Fmt("%Rhxs", reinterpret_cast<void *>(0x10)), "<null>");
    // No precision: 16 bytes.
    std::vector<uint8_t> vec(32, 0xab);
    EXPECT_EQ(Fmt("%Rhxs", vec.data()), "ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab");
    // With a display address, the address leads the line.
    EXPECT_EQ(Fmt("%.3RhXs", g_abCount, UINT64_C(0x1000)), "00001000: 01 02 03");
    EXPECT_EQ(Fmt("%.3RhXs", g_abCount, UINT64_C(0xFFFFFFFC)), "fffffffc: 01 02 03");
    EXPECT_EQ(Fmt("%.4RhXs", g_abCount, UINT64_C(0xFFFFFFFC)), "00000000fffffffc: 01 02 03 04");
    // The arguments are taken even when nothing is printed.
    EXPECT_EQ(Fmt("[%.0RhXs]%d", g_abCount, UINT64_C(0x1000), 9), "[]9");
}

TEST(FmtHex, Lines)
{
    uint8_t ab[20];
    for (unsigned i = 0; i < sizeof(ab); i++)
        ab[i] = static_cast<uint8_t>(i == 17 ? 'A' : i == 18 ? 0x7f : i);
    EXPECT_EQ(Fmt("%.*RhXd", 20, ab, UINT64_C(0x1000)),
              "00001000/0000: 00 01 02 03 04 05 06 07-08 09 0a 0b 0c 0d 0e 0f ................\n"
              "00001010/0010: 10 41 7f 13" + std::string(37, ' ') + ".A..");
    // The width sets the bytes per line.
    EXPECT_EQ(Fmt("%4.*RhXd", 6, ab, UINT64_C(0)),
              "00000000/0000: 00 01 02 03 ....\n"
              "00000004/0004: 04 05       ..");
    EXPECT_EQ(Fmt("%10.*RhXd", 10, ab, UINT64_C(0x20)),
              "00000020/0000: 00 01 02 03 04 05 06 07-08 09 ..........");
    EXPECT_EQ(Fmt("[%.0RhXd]", ab, UINT64_C(0x20)), "[]");
    // The pointer's own address when none is given.
    char szAddr[32];
    snprintf(szAddr, sizeof(szAddr), "%08llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ab)));
    EXPECT_EQ(Fmt("%.2Rhxd", ab), std::string(szAddr) + "/0000: 00 01" + std::string(14 * 3, ' ') + " ..");
}

TEST(FmtHex, RepeatedLinesCollapse)
{
    std::vector<uint8_t> vec(64, 0);
    std::string const strZeros = " 00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00 ................";
    EXPECT_EQ(Fmt("%.*RhXD", 64, vec.data(), UINT64_C(0)),
              "00000000/0000:" + strZeros + "\n******** ****  <ditto x 2>\n00000030/0030:" + strZeros);
    // Three equal lines: the middle one has no equal inner successor, so all print.
    EXPECT_EQ(Fmt("%.*RhXD", 48, vec.data(), UINT64_C(0)),
              "00000000/0000:" + strZeros + "\n00000010/0010:" + strZeros + "\n00000020/0020:" + strZeros);
    // The lower-case form never collapses.
    EXPECT_EQ(Fmt("%.*RhXd", 64, vec.data(), UINT64_C(0)).find("ditto"), std::string::npos);
    // A run that ends at a differing line, and a 16-digit address.
    std::vector<uint8_t> vec2(96, 0);
    vec2[64] = 1;
    std::string const strOne = " 01 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00 ................";
    EXPECT_EQ(Fmt("%.*RhXD", 96, vec2.data(), UINT64_C(0xFFFFFFF0)),
              "00000000fffffff0/0000:" + strZeros + "\n**************** ****  <ditto x 3>\n"
              "0000000100000030/0040:" + strOne + "\n0000000100000040/0050:" + strZeros);
}

struct SizeCase {
    const char *pszFormat;
    uint64_t uValue;
    const char *pszExpected;
};

const SizeCase g_aSizeCases[] = {
    {"%Rhcb", 1536, "1.5KiB"},
    {"%Rhci", 1500, "1.5kB"},
    {"%.0Rhcb", 1536, "1536B"},
    {"% Rhub", 3145728, "3.0 Mi"},
    {"%RhcB", 1536, "1.5KB"},
    {"%RhuB", 1536, "1.5K"},
    {"%Rhub", 0, "0"},
    {"%Rhcb", 1023, "1023B"},
    {"%Rhcb", 1024, "1.0KiB"},
    {"% Rhcb", 1023, "1023 B"},
    {"%.0Rhcb", 2047, "2047B"},
    {"%.0Rhcb", 2048, "2KiB"},
    {"%.0Rhci", 1009, "1009B"},
    {"%.0Rhci", 1010, "1kB"},
    {"%.0Rhci", 1999, "1kB"},
    {"%Rhci", 999, "999B"},
    {"%Rhci", 1000, "1.0kB"},
    {"%Rhci", 1949, "1.9kB"},
    {"%Rhci", 1950, "2.0kB"},             // rounding reaches the next whole unit
    {"%.3Rhci", 1999, "1.999kB"},
    {"%.2Rhcb", 1536, "1.50KiB"},
    {"%.7Rhcb", 1536, "1.500KiB"},        // at most three fraction digits
    {"%.3Rhcb", 2047, "1.999KiB"},        // binary fractions truncate
    {"%Rhcb", UINT64_C(5) << 30, "5.0GiB"},
    {"%Rhcb", UINT64_MAX, "15.9EiB"},
    {"%.3Rhcb", UINT64_MAX, "15.999EiB"},
    {"%.3Rhci", UINT64_MAX, "18.447EB"},
    {"%Rhci", UINT64_C(1500000000000), "1.5TB"},
    {"%Rhui", UINT64_C(2500000), "2.5M"},
    {"%10Rhcb", 1536, "    1.5KiB"},
    {"%010Rhcb", 1536, "00001.5KiB"},
    {"%-10Rhcb", 1536, "1.5KiB"},
    {"%3Rhcb", 1536, "1.5KiB"},
};

class FmtSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FmtSize, Renders)
{
    SizeCase const &c = GetParam();
    EXPECT_EQ(Fmt(c.pszFormat, c.uValue), c.pszExpected) << c.pszFormat << " of " << c.uValue;
}

INSTANTIATE_TEST_SUITE_P(Cases, FmtSize, ::testing::ValuesIn(g_aSizeCases));

TEST(FmtSizeArgs, UnknownUnitLetterTakesNoArgument)
{
    EXPECT_EQ(Fmt("%Rhcq|%d", 5), "q|5");
    EXPECT_EQ(Fmt("%Rhcb|%d", UINT64_C(2048), 5), "2.0KiB|5");
}

} // namespace
