// Names and texts: base names (%Rbn), function names (%Rfn), big-endian UTF-16 (%lRbs), timestamps and escaping.
#include "fmtext-sink.h"

namespace {

TEST(FmtBaseName, Paths)
{
    struct { const char *pszPath; const char *pszExpected; } const aCases[] = {
        {"C:\\dir\\file.txt", "file.txt"}, {"file", "file"}, {"a/b/", "b/"}, {"a/b", "b"},
        {"dir//x", "x"}, {"c:name", "name"}, {"c:", "c:"}, {"/", "/"}, {"", ""}, {"\\\\srv\\share\\", "share\\"},
        {"a\\/:b", "b"},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Fmt("%Rbn", c.pszPath), c.pszExpected) << c.pszPath;
    // Width and precision do not apply.
    EXPECT_EQ(Fmt("[%10.2Rbn]", "a/bcd"), "[bcd]");
    EXPECT_EQ(Fmt("%Rbn", nullptr), "<NULL>");
    EXPECT_EQ(Fmt("%Rbn", reinterpret_cast<const char *>(0x10)), BadPtr(0x10, "!BadBaseName"));
}

TEST(FmtFunctionName, Signatures)
{
    struct { const char *pszSig; const char *pszExpected; } const aCases[] = {
        {"int __cdecl rtldrNativeLoad(const char *,unsigned int *,unsigned int,struct RTERRINFO *)",
         "rtldrNativeLoad"},
        {"rtR3InitBody", "rtR3InitBody"},
        {"main()", "main"},
        {"void\tfoo(int a, int b)", "foo"},
        {"class std::vector<int, std::allocator<int> > __thiscall ns::Make<a b>(void)", "ns::Make<a b>"},
        {"int (*pfn)(void)", "*pfn)"},
        {"(anonymous)", "(anonymous)"},
        {"int  ", "int  "},
        {"", ""},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Fmt("%Rfn", c.pszSig), c.pszExpected) << c.pszSig;
    EXPECT_EQ(Fmt("%Rfn", nullptr), "<NULL>");
    EXPECT_EQ(Fmt("%Rfn", reinterpret_cast<const char *>(0x20)), BadPtr(0x20, "!BadFnNm"));
}

TEST(FmtUtf16Big, Text)
{
    // Big-endian bytes of "äbc", then U+1F600 as a surrogate pair, then a terminator.
    static const uint8_t s_ab[] = {0x00, 0xE4, 0x00, 'b', 0x00, 'c', 0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x00, 0x00, 'z'};
    EXPECT_EQ(Fmt("%.3lRbs", s_ab), "\xC3\xA4" "bc");
    EXPECT_EQ(Fmt("%.2lRbs", s_ab), "\xC3\xA4" "b");
    EXPECT_EQ(Fmt("%.5lRbs", s_ab), "\xC3\xA4" "bc\xF0\x9F\x98\x80");
    EXPECT_EQ(Fmt("%.4lRbs", s_ab), "\xC3\xA4" "bc?");     // the pair is cut by the bound
    EXPECT_EQ(Fmt("%.99lRbs", s_ab), "\xC3\xA4" "bc\xF0\x9F\x98\x80");  // stops at the zero unit
    EXPECT_EQ(Fmt("[%.0lRbs]", s_ab), "[]");
    EXPECT_EQ(Fmt("[%lRbs]%d", s_ab, 4), "[]4");           // no precision: nothing, the argument is taken
    EXPECT_EQ(Fmt("[%6.3lRbs]", s_ab), "[   \xC3\xA4" "bc]");
    EXPECT_EQ(Fmt("[%-6.3lRbs]", s_ab), "[\xC3\xA4" "bc   ]");
    EXPECT_EQ(Fmt("[%7.5lRbs]", s_ab), "[  \xC3\xA4" "bc\xF0\x9F\x98\x80]");  // width counts units
    EXPECT_EQ(Fmt("%.3lRbs", nullptr), "<NULL>");
    // A lone low surrogate.
    static const uint8_t s_abBad[] = {0xDC, 0x00, 0x00, 'x'};
    EXPECT_EQ(Fmt("%.2lRbs", s_abBad), "?x");
}

TEST(FmtTime, Timespec)
{
    int64_t i64 = 1500000000;
    EXPECT_EQ(Fmt("%RDtimespec", &i64), "1 500 000 000 ns");
    i64 = -5;
    EXPECT_EQ(Fmt("%RDtimespec", &i64), "-5 ns");
    i64 = INT64_MIN;
    EXPECT_EQ(Fmt("%RDtimespec", &i64), "-9 223 372 036 854 775 808 ns");
    i64 = 999;
    EXPECT_EQ(Fmt("<%RDtimespec>", &i64), "<999 ns>");
    EXPECT_EQ(Fmt("%RDtimespec", nullptr), "<NULL>");
    EXPECT_EQ(Fmt("%RDtimespec", reinterpret_cast<int64_t *>(0x30)), BadPtr(0x30, "!BadRD"));
    // Unknown names: only the D is consumed, and no argument is taken.
    EXPECT_EQ(Fmt("%RDtimespex|%d", 5), "timespex|5");
    EXPECT_EQ(Fmt("%RDtime|%d", 5), "time|5");
    EXPECT_EQ(Fmt("%RD"), "");
}

struct EscapeCase {
    const char *pszFormat;
    const char *pszText;
    const char *pszExpected;
};

const EscapeCase g_aEscapeCases[] = {
    {"%RMjs", "a\"b\\\t", "\"a\\\"b\\\\\\t\""},
    {"%RMjs", "x\ry", "\"x\\u000dy\""},
    {"%RMjs", "\b\f\n\x01\x1f", "\"\\b\\f\\n\\u0001\\u001f\""},
    {"%RMjs", "/\x7f\xC3\xA4", "\"/\x7f\xC3\xA4\""},
    {"%RMjs", "", "\"\""},
    {"%6RMjs", "ab", "\"    ab\""},
    {"%-6RMjs", "ab", "\"ab    \""},
    {"%.2RMjs", "a\"cdef", "\"a\\\"\""},
    {"%6.2RMjs", "abcdef", "\"    ab\""},
    {"%RMas", "<a&b>\"\n\r'", "\"&lt;a&amp;b&gt;&quot;&#xA;&#xD;'\""},
    {"%5RMas", "<", "\"    &lt;\""},
    {"%RMes", "<a&b>\"'\n\r", "&lt;a&amp;b&gt;&quot;&apos;\n\r"},
    {"%-4RMes", "&", "&amp;   "},
    {"%RMpp", "a b/c+d~-._", "a%20b/c%2Bd~-._"},
    {"%RMpq", "a b/c+d", "a%20b%2Fc+d"},
    {"%RMpa", "a b/c+d?=&%", "a%20b%2Fc%2Bd%3F%3D%26%25"},
    {"%RMpf", "a b/c+d", "a+b%2Fc%2Bd"},
    {"%RMpa", "\xC3\xA4\x01", "%C3%A4%01"},
    {"%RMpa", "AZaz09", "AZaz09"},
    {"%4RMpa", "ab", "%20%20ab"},
    {"%-4RMpf", "a", "a%20%20%20"},
};

class FmtEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(FmtEscape, Escapes)
{
    EscapeCase const &c = GetParam();
    EXPECT_EQ(Fmt(c.pszFormat, c.pszText), c.pszExpected) << c.pszFormat;
}

INSTANTIATE_TEST_SUITE_P(Cases, FmtEscape, ::testing::ValuesIn(g_aEscapeCases));

TEST(FmtEscapeArgs, BadPointersAndUnknownStyles)
{
    EXPECT_EQ(Fmt("%RMjs", nullptr), "\"<NULL>\"");
    EXPECT_EQ(Fmt("%RMes", nullptr), "&lt;NULL&gt;");
    EXPECT_EQ(Fmt("%RMpa", reinterpret_cast<const char *>(0x10)), "%3CNULL%3E");
    EXPECT_EQ(Fmt("%RMxy|%d", 5), "|5");
    EXPECT_EQ(Fmt("%RMj"), "");
}

TEST(FmtX86, ControlRegisters)
{
    struct { const char *pszFormat; uint64_t uValue; const char *pszExpected; } const aCases[] = {
        {"%RAx86[cr0]", 0x80000011, "80000011{PE,ET,PG}"},
        {"%RAx86[cr0]", 0, "00000000"},
        {"%RAx86[cr0]", 0x40, "00000040{unkn=40}"},
        {"%RAx86[cr0]", UINT64_C(0x1000000021), "1000000021{PE,NE,unkn=1000000000}"},
        {"%RAx86[cr0]", 0xE0050033, "e0050033{PE,MP,ET,NE,WP,AM,NW,CD,PG}"},
        {"%RAx86[cr4]", 0x2000, "00002000{VMXE}"},
        {"%RAx86[cr4]", 0x360000, "00360000{PCIDE,OSXSAVE,SMEP,SMAP}"},
        {"%RAx86[cr4]", 0x7FF, "000007ff{VME,PVI,TSD,DE,PSE,PAE,MCE,PGE,PCE,OSFXSR,OSXMMEEXCPT}"},
        {"%RAx86[cr4]", 0x1800, "00001800{unkn=1800}"},
        {"[%RAx86[cr4]]", 0x1, "[00000001{VME}]"},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Fmt(c.pszFormat, c.uValue), c.pszExpected) << c.pszFormat << " " << c.uValue;
    // Another register or architecture prints nothing and takes no argument.
    EXPECT_EQ(Fmt("%RAx86[cr3]|%d", 5), "|5");
    EXPECT_EQ(Fmt("%RAarm[cr0]|%d", 5), "|5");
    EXPECT_EQ(Fmt("%RAx86[cr0|%d", 5), "x86[cr0|5");
}

} // namespace
