// Named conversions (%R[name]): the empty registry, malformed names, and the lookup over a registry of our own.
#include "fmtext-sink.h"

#include "common/string/format-ext-internal.h"

namespace {

TEST(FmtCustom, EmptyRegistry)
{
    EXPECT_EQ(Fmt("%R[foo]", nullptr), "<missing:%R[foo]>");
    EXPECT_EQ(Fmt("%R[foo]|%d", nullptr, 5), "<missing:%R[foo]>|5");   // one argument taken
    EXPECT_EQ(Fmt("%R[]|%d", nullptr, 5), "<missing:%R[]>|5");
    // A name cut short: the directive ends behind the [, the name is literal text.
    EXPECT_EQ(Fmt("%R[foo", nullptr), "foo");
    EXPECT_EQ(Fmt("%R[fo%d]", nullptr, 5), "fo5]");
    EXPECT_EQ(Fmt("%R[a[b]", nullptr), "a[b]");
}

struct Seen {
    std::string strName;
    const void *pvValue = nullptr;
    int cchWidth = 0, cchPrecision = 0;
    unsigned fFlags = 0;
    void *pvUser = nullptr;
};
Seen g_Seen;

size_t RecordHandler(FmtOutputFn pfnOutput, void *pvArgOutput, const char *pszType, const void *pvValue,
                     int cchWidth, int cchPrecision, unsigned fFlags, void *pvUser)
{
    g_Seen = {pszType, pvValue, cchWidth, cchPrecision, fFlags, pvUser};
    return pfnOutput(pvArgOutput, "<", 1) + pfnOutput(pvArgOutput, pszType, std::string(pszType).size())
         + pfnOutput(pvArgOutput, ">", 1);
}

int g_iUser;
const FmtCustomType g_aTypes[] = {
    {2, "ab", RecordHandler, &g_iUser},
    {3, "abc", RecordHandler, &g_iUser},
    {4, "beta", RecordHandler, nullptr},
    {5, "gamma", RecordHandler, nullptr},
    {5, "zulu9", RecordHandler, nullptr},
};

std::string FmtIn(const char *pszFormat, ...)
{
    FmtSink Sink;
    va_list va;
    va_start(va, pszFormat);
    const char *psz = pszFormat;
    size_t const cch = rtFmtCustomTypeIn(g_aTypes, RT_ELEMENTS(g_aTypes), FmtSink::Output, &Sink, &psz, &va, 7, 3,
                                         FMT_F_LEFT);
    va_end(va);
    EXPECT_EQ(cch, Sink.strText.size());
    return Sink.strText + "|" + psz;
}

TEST(FmtCustom, RegistryLookup)
{
    int iValue;
    for (auto const &Type : g_aTypes) {
        std::string const strFormat = std::string("[") + Type.szName + "]rest";
        EXPECT_EQ(FmtIn(strFormat.c_str(), &iValue), std::string("<") + Type.szName + ">|rest");
        EXPECT_EQ(g_Seen.strName, Type.szName);
        EXPECT_EQ(g_Seen.pvValue, &iValue);
        EXPECT_EQ(g_Seen.pvUser, Type.pvUser);
        EXPECT_EQ(g_Seen.cchWidth, 7);
        EXPECT_EQ(g_Seen.cchPrecision, 3);
        EXPECT_EQ(g_Seen.fFlags, FMT_F_LEFT);
    }
    // Prefixes and extensions of registered names are different names.
    for (const char *psz : {"[a]", "[abcd]", "[b]", "[betaa]", "[zulu]", "[zz]", "[]", "[A]"}) {
        std::string const strName = std::string(psz).substr(1, std::string(psz).size() - 2);
        EXPECT_EQ(FmtIn(psz, nullptr), "<missing:%R[" + strName + "]>|") << psz;
    }
    EXPECT_EQ(rtFmtCustomTypeFind(g_aTypes, 0, "ab", 2), -1);
    EXPECT_EQ(rtFmtCustomTypeFind(g_aTypes, 1, "ab", 2), 0);
    EXPECT_EQ(rtFmtCustomTypeFind(g_aTypes, RT_ELEMENTS(g_aTypes), "zulu9", 5), 4);
}

} // namespace
