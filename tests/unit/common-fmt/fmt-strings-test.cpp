// String directives: 8-bit, UTF-16 and UTF-32 text, width and precision in
// their units, and the bad-pointer rendering.
#include <gtest/gtest.h>

#include "fmt-collect.h"

namespace {

struct StrCase
{
    const char *pszFormat;
    const char *pszArg;
    const char *pszExpected;
};

TEST(FmtStrings, EightBitText)
{
    static const StrCase s_aCases[] = {
        {"%s", "hello", "hello"},
        {"[%S]", "same", "[same]"},
        {"[%7s]", "abc", "[    abc]"},
        {"[%-7s]", "abc", "[abc    ]"},
        {"[%2s]", "abcdef", "[abcdef]"},
        {"[%.3s]", "abcdef", "[abc]"},
        {"[%.0s]", "abcdef", "[]"},
        {"[%5.2s]", "abcdef", "[   ab]"},
        {"[%s]", "", "[]"},
        // Precision counts bytes and may cut a multi-byte character.
        {"[%.1s]", "\xc3\xa4x", "[\xc3]"},
        // The zero-pad flag does not pad strings with zeros.
        {"[%05s]", "ab", "[   ab]"},
    };
    for (StrCase const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, Case.pszArg), Case.pszExpected) << Case.pszFormat;

    EXPECT_EQ(Fmt("%-*s|", 6, "ab"), "ab    |");
    EXPECT_EQ(Fmt("%*s|", -6, "ab"), "ab    |");
    EXPECT_EQ(Fmt("%.*s|", 3, "abcdef"), "abc|");
    EXPECT_EQ(Fmt("%.*s|", -1, "abcdef"), "|");

    // The text goes out in one piece, not character by character.
    FmtResult const Result = FmtRun("%s", "abcdef");
    ASSERT_EQ(Result.aPieces.size(), 1u);
    EXPECT_EQ(Result.aPieces[0], "abcdef");
}

TEST(FmtStrings, PrecisionDoesNotReadPastIt)
{
    // Not terminated: a precision must be enough to stop the length scan.
    static const char s_achNoTerm[3] = {'x', 'y', 'z'};
    EXPECT_EQ(Fmt("%.3s", s_achNoTerm), "xyz");
    static const RTUTF16 s_awcNoTerm[2] = {u'p', u'q'};
    EXPECT_EQ(Fmt("%.2ls", s_awcNoTerm), "pq");
    static const RTUNICP s_auNoTerm[2] = {'r', 's'};
    EXPECT_EQ(Fmt("%.2Ls", s_auNoTerm), "rs");
}

struct Utf16Case
{
    const char *pszFormat;
    std::u16string wstrArg;
    const char *pszExpected;
};

TEST(FmtStrings, Utf16TextIsCountedInCodePoints)
{
    static const Utf16Case s_aCases[] = {
        {"%ls", u"plain", "plain"},
        {"%lS", u"upper S", "upper S"},
        {"%ls", u"\u00e4b\u20ac", "\xc3\xa4" "b" "\xe2\x82\xac"},
        {"%.2ls", u"\u00e4bc", "\xc3\xa4" "b"},
        {"%ls", u"\U0001F600!", "\xf0\x9f\x98\x80!"},
        {"%.1ls", u"\U0001F600!", "\xf0\x9f\x98\x80"},
        // Width counts code points, not bytes or units.
        {"[%4ls]", u"\u00e4\U0001F600", "[  \xc3\xa4\xf0\x9f\x98\x80]"},
        {"[%-4ls]", u"\u00e4", "[\xc3\xa4   ]"},
        // Counting stops before the first invalid unit.
        {"[%ls]", std::u16string(u"ab") + char16_t(0xd800) + u"cd", "[ab]"},
        {"[%ls]", std::u16string(u"ab") + char16_t(0xdc00) + u"cd", "[ab]"},
        {"[%ls]", std::u16string(u"a") + char16_t(0xfffe) + u"b", "[a]"},
        {"[%ls]", std::u16string(u"a") + char16_t(0xffff) + u"b", "[a]"},
        {"[%5ls]", std::u16string(u"a") + char16_t(0xd800), "[    a]"},
        {"[%ls]", std::u16string(1, char16_t(0xfffd)) + u"z", "[\xef\xbf\xbdz]"},
        {"[%ls]", std::u16string(1, char16_t(0xe000)), "[\xee\x80\x80]"},
        {"[%ls]", std::u16string(1, char16_t(0xd7ff)), "[\xed\x9f\xbf]"},
        {"[%ls]", u"", "[]"},
    };
    for (Utf16Case const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, Case.wstrArg.c_str()), Case.pszExpected) << Case.pszFormat;

    // One callback call per code point.
    FmtResult const Result = FmtRun("%ls", u"a\u00e4\U0001F600");
    std::vector<std::string> const aExpected = {"a", "\xc3\xa4", "\xf0\x9f\x98\x80"};
    EXPECT_EQ(Result.aPieces, aExpected);
}

struct Utf32Case
{
    const char *pszFormat;
    std::u32string ustrArg;
    const char *pszExpected;
};

TEST(FmtStrings, Utf32TextIsCountedInUnits)
{
    static const Utf32Case s_aCases[] = {
        {"%Ls", U"abc", "abc"},
        {"%LS", U"\u00e4\u20ac", "\xc3\xa4\xe2\x82\xac"},
        {"%.1Ls", U"\u00e4\u20ac", "\xc3\xa4"},
        {"[%3Ls]", U"\U0001F600", "[  \xf0\x9f\x98\x80]"},
        {"[%-3Ls]", U"x", "[x  ]"},
        {"[%Ls]", U"", "[]"},
    };
    for (Utf32Case const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, reinterpret_cast<const RTUNICP *>(Case.ustrArg.c_str())), Case.pszExpected)
            << Case.pszFormat;
    // A unit with bit 31 set cannot be encoded and becomes the byte 0x7f.
    static const RTUNICP s_auBad[] = {'a', 0x80000000u, 'b', 0};
    EXPECT_EQ(Fmt("%Ls", s_auBad), "a\x7f" "b");
}

struct BadPtrCase
{
    const char *pszFormat;
    const void *pv;
    const char *pszExpected32;
    const char *pszExpected64;
};

TEST(FmtStrings, BadPointersAreShownNotRead)
{
    static const BadPtrCase s_aCases[] = {
        {"%s", nullptr, "<NULL>", "<NULL>"},
        {"%ls", nullptr, "<NULL>", "<NULL>"},
        {"%Ls", nullptr, "<NULL>", "<NULL>"},
        {"[%8s]", nullptr, "[  <NULL>]", "[  <NULL>]"},
        {"[%-8s]", nullptr, "[<NULL>  ]", "[<NULL>  ]"},
        {"[%4s]", nullptr, "[<NULL>]", "[<NULL>]"},
        {"%s", FmtLowPtr(0x10), "<00000010!BadStr>", "<0000000000000010!BadStr>"},
        {"%ls", FmtLowPtr(0x10), "<00000010!BadStrW>", "<0000000000000010!BadStrW>"},
        {"%Ls", FmtLowPtr(0x10), "<00000010!BadStrU>", "<0000000000000010!BadStrU>"},
        {"%S", FmtLowPtr(0xfff), "<00000fff!BadStr>", "<0000000000000fff!BadStr>"},
        {"%s", FmtTopPtr(0), "<ffffffff!BadStr>", "<ffffffffffffffff!BadStr>"},
        {"%s", FmtTopPtr(0xfff), "<fffff000!BadStr>", "<fffffffffffff000!BadStr>"},
        {"[%20s]", FmtLowPtr(0x10), "[   <00000010!BadStr>]", "[<0000000000000010!BadStr>]"},
        {"[%-20s]", FmtLowPtr(0x10), "[<00000010!BadStr>   ]", "[<0000000000000010!BadStr>]"},
        // Precision does not cut the rendering.
        {"%.2s", FmtLowPtr(0x10), "<00000010!BadStr>", "<0000000000000010!BadStr>"},
    };
    for (BadPtrCase const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, Case.pv), g_fFmt32BitPtrs ? Case.pszExpected32 : Case.pszExpected64)
            << Case.pszFormat << " of " << Case.pv;

    // The argument after a bad pointer is still in step.
    EXPECT_EQ(Fmt("%s|%d", FmtLowPtr(1), 3), g_fFmt32BitPtrs ? "<00000001!BadStr>|3" : "<0000000000000001!BadStr>|3");
}

} // namespace
