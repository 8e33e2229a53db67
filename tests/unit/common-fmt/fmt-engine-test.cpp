// The engine's directive grammar: integers, pointers, characters, doubles,
// literal runs, cut-short directives, %M, %N, results and conversion callbacks.
#include <gtest/gtest.h>

#include <string.h>

#include <quab/mem.h>

#include "fmt-collect.h"

namespace {

struct IntCase
{
    const char *pszFormat;
    int iArg;
    const char *pszExpected;
};

TEST(FmtEngine, IntArgumentDirectives)
{
    static const IntCase s_aCases[] = {
        {"%d", -5, "-5"},
        {"%i", 123, "123"},
        {"%+d", 5, "+5"},
        {"% d", 5, " 5"},
        {"%+ d", 5, "+5"},
        {"%+u", 5, "5"},
        {"% u", 5, "5"},
        {"%u", -1, "4294967295"},
        {"%x", -1, "ffffffff"},
        {"%d", INT32_MIN, "-2147483648"},
        {"%hu", -1, "18446744073709551615"},
        {"%hhu", -1, "18446744073709551615"},
        {"%hx", -1, "ffffffffffffffff"},
        {"%hd", -1, "-1"},
        {"%hu", 0x12345, "74565"},
        {"%I32d", -1, "-1"},
        {"%I32u", -1, "4294967295"},
        {"%'u", 1234, "1 234"},
        {"%'u", 1234567, "1 234 567"},
        {"%'d", -123456, "-123 456"},
        {"%'u", 999, "999"},
        {"%'x", 0x12345, "12345"},
        {"%'05u", 1234, "01234"},
        {"%#x", 0x1f, "0x1f"},
        {"%#x", 0, "0x0"},
        {"%#010x", 0xabcd, "0x0000abcd"},
        {"%#X", 255, "0XFF"},
        {"%X", 0xabc, "ABC"},
        {"%#o", 8, "010"},
        {"%o", 8, "10"},
        {"%5.3d", 7, "    007"},
        {"%05d", -42, "-0042"},
        {"%-5d", 42, "42   "},
        {"%-05d", 42, "42   "},
        {"%.0d", 0, "0"},
        {"%c", 0x141, "A"},
        {"%3c", 'x', "  x"},
        {"%-3c|", 'x', "x  |"},
    };
    for (IntCase const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, Case.iArg), Case.pszExpected) << Case.pszFormat << " of " << Case.iArg;
}

struct Int64Case
{
    const char *pszFormat;
    int64_t iArg;
    const char *pszExpected;
};

TEST(FmtEngine, SixtyFourBitPrefixes)
{
    static const Int64Case s_aCases[] = {
        {"%lld", -1, "-1"},
        {"%llu", -1, "18446744073709551615"},
        {"%Ld", INT64_MIN, "-9223372036854775808"},
        {"%qx", INT64_C(0x123456789a), "123456789a"},
        {"%I64d", -2, "-2"},
        {"%I64X", INT64_C(0xABCDEF0123), "ABCDEF0123"},
        // A lone I means 64 bits, not pointer size.
        {"%Iu", INT64_C(0x100000000), "4294967296"},
        {"%jd", INT64_C(-5000000000), "-5000000000"},
        {"%'llu", 1234567, "1 234 567"},
        {"%#llo", 8, "010"},
    };
    for (Int64Case const &Case : s_aCases)
        EXPECT_EQ(Fmt(Case.pszFormat, Case.iArg), Case.pszExpected) << Case.pszFormat;
}

TEST(FmtEngine, SizeAndPointerDifferencePrefixes)
{
    EXPECT_EQ(Fmt("%#zx", static_cast<size_t>(0x10000)), "0x10000");
    EXPECT_EQ(Fmt("%zu", static_cast<size_t>(42)), "42");
    EXPECT_EQ(Fmt("%td", static_cast<ptrdiff_t>(-7)), "-7");
    // A size_t of all ones is a zero-extended 32-bit value on the target
    // and still prints with its sign.
    if (g_fFmt32BitPtrs)
        EXPECT_EQ(Fmt("%zd", static_cast<size_t>(0xFFFFFFFFu)), "-1");
    else
        EXPECT_EQ(Fmt("%zu", ~static_cast<size_t>(0)), "18446744073709551615");
    // The argument after each sized one must still be in step.
    EXPECT_EQ(Fmt("%zu|%td|%d", static_cast<size_t>(1), static_cast<ptrdiff_t>(2), 3), "1|2|3");
}

TEST(FmtEngine, PointerIsZeroPaddedTwoDigitsPerByte)
{
    void *pv = reinterpret_cast<void *>(static_cast<uintptr_t>(0x12ab));
    EXPECT_EQ(Fmt("%p", pv), g_fFmt32BitPtrs ? "000012ab" : "00000000000012ab");
    EXPECT_EQ(Fmt("%#p", pv), g_fFmt32BitPtrs ? "0x0012ab" : "0x000000000012ab");
    EXPECT_EQ(Fmt("%6p", pv), "0012ab");
    // Size prefixes do not change what %p takes.
    EXPECT_EQ(Fmt("%hhp|%d", pv, 9), g_fFmt32BitPtrs ? "000012ab|9" : "00000000000012ab|9");
}

TEST(FmtEngine, WidthAndPrecisionFromArguments)
{
    EXPECT_EQ(Fmt("[%*d]", 5, 42), "[   42]");
    EXPECT_EQ(Fmt("[%*d]", -5, 42), "[42   ]");
    EXPECT_EQ(Fmt("[%.*d]", 4, 42), "[0042]");
    // Width counts the digits, so precision zeros come on top of the blanks.
    EXPECT_EQ(Fmt("[%*.*d]", 6, 4, 42), "[    0042]");
    EXPECT_EQ(Fmt("[%.*d]", -3, 42), "[42]");
    // The most negative width must not overflow when it is negated.
    struct Count
    {
        size_t cch = 0;
        char chFirst = 0;
    } Counted;
    auto const pfnCount = [](void *pv, const char *pach, size_t cch) -> size_t {
        auto *p = static_cast<Count *>(pv);
        if (pach && !p->cch && cch)
            p->chFirst = pach[0];
        p->cch += cch;
        return cch;
    };
    size_t const cch = RTFmtToCallback(pfnCount, &Counted, nullptr, nullptr, "%*c", INT32_MIN, 'z');
    EXPECT_EQ(Counted.chFirst, 'z');
    EXPECT_GT(cch, 1u);
    EXPECT_EQ(cch, Counted.cch);
}

uint64_t DoubleBits(double rd)
{
    uint64_t u;
    memcpy(&u, &rd, sizeof(u));
    return u;
}


#if defined(__i386__)
// The compiler may pass a double argument through the x87 stack, which
// quiets a signalling NaN on the way; an argument list laid out by hand
// (i686 lists are a plain pointer into the stack) keeps the exact bits.
std::string FormatDoubleBits(uint64_t u64Bits)
{
    alignas(8) char abArgs[16] = {};
    memcpy(abArgs, &u64Bits, sizeof(u64Bits));
    return FmtRunV("%f", reinterpret_cast<va_list>(abArgs)).strText;
}
#else
std::string FormatDoubleBits(uint64_t u64Bits)
{
    double rd;
    memcpy(&rd, &u64Bits, sizeof(rd));
    return Fmt("%f", rd);
}
#endif

TEST(FmtEngine, DoublesInMantissaExponentForm)
{
    struct DoubleCase
    {
        uint64_t u64Bits;
        const char *pszExpected;
    };
    static const DoubleCase s_aCases[] = {
        {DoubleBits(1.0), "+1m0x0000000000000^0"},
        {DoubleBits(-0.75), "-1m0x8000000000000^-1"},
        {DoubleBits(3.0), "+1m0x8000000000000^1"},
        {UINT64_C(0x0000000000000001), "+0m0x0000000000001"},
        {UINT64_C(0x800fffffffffffff), "-0m0xfffffffffffff"},
        {UINT64_C(0x0010000000000000), "+1m0x0000000000000^-1022"},
        {UINT64_C(0x7fefffffffffffff), "+1m0xfffffffffffff^1023"},
        {UINT64_C(0x0000000000000000), "+0"},
        {UINT64_C(0x8000000000000000), "-0"},
        {UINT64_C(0x7ff0000000000000), "+Inf"},
        {UINT64_C(0xfff0000000000000), "-Inf"},
        {UINT64_C(0x7ff8000000000000), "+QNan"},
        {UINT64_C(0xfff8000000000001), "-QNan"},
        {UINT64_C(0x7ff0000000000001), "+SNan"},
        {UINT64_C(0xfff4000000000000), "-SNan"},
    };
    for (DoubleCase const &Case : s_aCases)
        EXPECT_EQ(FormatDoubleBits(Case.u64Bits), Case.pszExpected) << std::hex << Case.u64Bits;

    // Letter, width, precision and flags change nothing, and the argument
    // after the double is still in step.
    for (const char *pszFormat : {"%10.2f|%d", "%e|%d", "%E|%d", "%g|%d", "%G|%d", "%a|%d", "%A|%d", "%F|%d",
                                  "%-+#30.9Lf|%d"})
        EXPECT_EQ(Fmt(pszFormat, 1.0, 7), "+1m0x0000000000000^0|7") << pszFormat;
}

TEST(FmtEngine, LiteralRunsArePassedInMaximalPieces)
{
    FmtResult const Result = FmtRun("abc%ddef%%gh", 5);
    EXPECT_EQ(Result.strText, "abc5def%gh");
    std::vector<std::string> const aExpected = {"abc", "5", "def", "%gh"};
    EXPECT_EQ(Result.aPieces, aExpected);
    EXPECT_EQ(Result.cFlushes, 1u);
    EXPECT_EQ(Result.cchReturned, 10u);

    FmtResult const Empty = FmtRun("");
    EXPECT_TRUE(Empty.aPieces.empty());
    EXPECT_EQ(Empty.cFlushes, 1u);
    EXPECT_EQ(Empty.cchReturned, 0u);
}

TEST(FmtEngine, UnknownLettersAndCutShortDirectives)
{
    struct TextCase
    {
        const char *pszFormat;
        const char *pszExpected;
    };
    static const TextCase s_aCases[] = {
        {"100%%", "100%"},
        {"%%%%", "%%"},
        {"a%:02d", "a02d"},
        {"ab%", "ab"},
        {"ab%-", "ab"},
        {"ab%-08", "ab"},
        {"ab%5.", "ab"},
        {"ab%.3", "ab"},
        {"ab%ll", "ab"},
        {"ab%hh", "ab"},
        {"ab%I6x", "abx"},
        {"ab%I64", "ab"},
        {"x%ky", "xy"},
    };
    for (TextCase const &Case : s_aCases)
    {
        FmtResult const Result = FmtRun(Case.pszFormat);
        EXPECT_EQ(Result.strText, Case.pszExpected) << Case.pszFormat;
        EXPECT_EQ(Result.cFlushes, 1u) << Case.pszFormat;
    }
    // %n neither prints nor takes an argument.
    EXPECT_EQ(Fmt("[%n%d]", 5), "[5]");
    // A cut-short %* still consumed its width, but nothing follows.
    EXPECT_EQ(Fmt("q%*", 3), "q");
}

TEST(FmtEngine, FormatArgumentReplacesTheRest)
{
    EXPECT_EQ(Fmt("a%Mzzz%d", "b%dc", 5, 6), "ab5c");
    EXPECT_EQ(Fmt("%M", "plain"), "plain");
    EXPECT_EQ(Fmt("x%M", ""), "x");
    FmtResult const Result = FmtRun("a%M", "b%%c");
    EXPECT_EQ(Result.strText, "ab%c");
    EXPECT_EQ(Result.cFlushes, 1u);
    // A bad format is shown by its address and ends the run.
    EXPECT_EQ(Fmt("a%Mzz", nullptr), "a<NULL>");
}

struct NestedOutcome
{
    FmtResult Result;
    std::string strAfter;
    unsigned uAfter;
};

NestedOutcome RunNestedAndReadOn(const char *pszOuter, const char *pszInner, ...)
{
    va_list va;
    va_start(va, pszInner);
    NestedOutcome Out;
    Out.Result = FmtRun(pszOuter, pszInner, &va, 99);
    // The caller's list has not moved: its first arguments are still there.
    Out.strAfter = va_arg(va, const char *);
    Out.uAfter = va_arg(va, unsigned);
    va_end(va);
    return Out;
}

TEST(FmtEngine, NestedFormatRunsOnACopyOfTheList)
{
    NestedOutcome const Out = RunNestedAndReadOn("<%N>|%d", "%s-%u", "x", 7u);
    EXPECT_EQ(Out.Result.strText, "<x-7>|99");
    EXPECT_EQ(Out.Result.cFlushes, 2u);
    EXPECT_EQ(Out.Result.cchReturned, 8u);
    EXPECT_EQ(Out.strAfter, "x");
    EXPECT_EQ(Out.uAfter, 7u);

    // The same list twice gives the same text twice: each run has its copy.
    auto const pfnTwice = [](const char *pszInner, ...) {
        va_list va;
        va_start(va, pszInner);
        FmtResult Result = FmtRun("%N%N", pszInner, &va, pszInner, &va);
        va_end(va);
        return Result;
    };
    FmtResult const Twice = pfnTwice("%s%u", "y", 3u);
    EXPECT_EQ(Twice.strText, "y3y3");
    EXPECT_EQ(Twice.cFlushes, 3u);

    // Neither a bad format nor a bad list pointer is followed; both
    // arguments are taken all the same.
    EXPECT_EQ(Fmt("[%N]|%d", nullptr, nullptr, 5), "[<NULL>]|5");
    va_list *pBadList = static_cast<va_list *>(const_cast<void *>(FmtLowPtr(0x18)));
    EXPECT_EQ(Fmt("[%N]|%d", "%d", pBadList, 5),
              g_fFmt32BitPtrs ? "[<00000018!BadFmt>]|5" : "[<0000000000000018!BadFmt>]|5");
}

TEST(FmtEngine, ReturnIsTheSumOfTheCallbackResults)
{
    struct ReturnCase
    {
        long iReturn;
        size_t uFlushReturn;
        size_t cchExpected;
    };
    // "ab%dcd" of 5 is three pieces; %N adds a nested run of two pieces.
    static const ReturnCase s_aCases[] = {{-1, 0, 5}, {0, 0, 0}, {3, 0, 9}, {-1, 1000, 5}, {0, 1000, 0}};
    for (ReturnCase const &Case : s_aCases)
    {
        FmtCollector Col;
        Col.iReturn = Case.iReturn;
        Col.uFlushReturn = Case.uFlushReturn;
        size_t const cch = RTFmtToCallback(FmtCollector::Output, &Col, nullptr, nullptr, "ab%dcd", 5);
        EXPECT_EQ(cch, Case.cchExpected) << Case.iReturn << "/" << Case.uFlushReturn;
        EXPECT_EQ(Col.strText, "ab5cd");
    }

    FmtCollector Col;
    Col.iReturn = 2;
    Col.uFlushReturn = 50;
    auto const pfnNested = [](FmtCollector *pCol, const char *pszFormat, ...) {
        va_list va;
        va_start(va, pszFormat);
        size_t const cch = RTFmtToCallback(FmtCollector::Output, pCol, nullptr, nullptr, "[%N]", pszFormat, &va);
        va_end(va);
        return cch;
    };
    // Pieces: "[", "a", "1", "]" with 2 each; neither flush counts.
    EXPECT_EQ(pfnNested(&Col, "a%d", 1), 8u);
    EXPECT_EQ(Col.cFlushes, 2u);
}

struct ConversionSeen
{
    char chLetter = 0;
    int cchWidth = 0;
    int cchPrecision = 0;
    unsigned fFlags = 0;
    char chArgSize = 0;
    void *pvArg = nullptr;
    unsigned cCalls = 0;
};

// Renders "<letter:int>" for %w and consumes only the letter; for %W it
// also swallows the character after it.
size_t TestConversion(void *pvArg, FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat,
                      va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    auto *pSeen = static_cast<ConversionSeen *>(pvArg);
    pSeen->cCalls++;
    pSeen->chLetter = **ppszFormat;
    pSeen->cchWidth = cchWidth;
    pSeen->cchPrecision = cchPrecision;
    pSeen->fFlags = fFlags;
    pSeen->chArgSize = chArgSize;
    pSeen->pvArg = pvArg;
    if (pSeen->chLetter != 'w' && pSeen->chLetter != 'W')
    {
        (*ppszFormat)++;
        return 0;
    }
    int const iValue = va_arg(*pArgs, int);
    std::string const str = "<" + std::string(1, pSeen->chLetter) + ":" + std::to_string(iValue) + ">";
    *ppszFormat += pSeen->chLetter == 'W' ? 2 : 1;
    return pfnOutput(pvArgOutput, str.data(), str.size());
}

TEST(FmtEngine, ConversionCallbackGetsUnknownLetters)
{
    ConversionSeen Seen;
    FmtCollector Col;
    size_t const cch = RTFmtToCallback(FmtCollector::Output, &Col, TestConversion, &Seen, "a%-5.2hhw|%d", 11, 22);
    EXPECT_EQ(Col.strText, "a<w:11>|22");
    EXPECT_EQ(cch, Col.strText.size());
    EXPECT_EQ(Seen.cCalls, 1u);
    EXPECT_EQ(Seen.chLetter, 'w');
    EXPECT_EQ(Seen.cchWidth, 5);
    EXPECT_EQ(Seen.cchPrecision, 2);
    EXPECT_EQ(Seen.fFlags, FMT_F_LEFT | FMT_F_WIDTH | FMT_F_PRECISION);
    EXPECT_EQ(Seen.chArgSize, 'H');
    EXPECT_EQ(Seen.pvArg, &Seen);

    struct SizeCase
    {
        const char *pszFormat;
        char chArgSize;
    };
    static const SizeCase s_aSizes[] = {{"%w", 0},    {"%hw", 'h'},  {"%lw", 'l'}, {"%llw", 'L'}, {"%Lw", 'L'},
                                        {"%qw", 'L'}, {"%I64w", 'L'}, {"%Iw", 'j'}, {"%jw", 'j'},  {"%I32w", 0},
                                        {"%zw", 'z'}, {"%tw", 't'}};
    for (SizeCase const &Case : s_aSizes)
    {
        ConversionSeen SeenSize;
        FmtCollector ColSize;
        RTFmtToCallback(FmtCollector::Output, &ColSize, TestConversion, &SeenSize, Case.pszFormat, 1);
        EXPECT_EQ(SeenSize.chArgSize, Case.chArgSize) << Case.pszFormat;
        EXPECT_EQ(SeenSize.cchWidth, -1) << Case.pszFormat;
        EXPECT_EQ(SeenSize.cchPrecision, -1) << Case.pszFormat;
    }

    // The cursor is where the callback leaves it; %n reaches the callback too.
    ConversionSeen SeenSkip;
    FmtCollector ColSkip;
    RTFmtToCallback(FmtCollector::Output, &ColSkip, TestConversion, &SeenSkip, "%Wxyz%n.", 3);
    EXPECT_EQ(ColSkip.strText, "<W:3>yz.");
    EXPECT_EQ(SeenSkip.cCalls, 2u);
    EXPECT_EQ(SeenSkip.chLetter, 'n');

    // Nested runs keep the conversion callback.
    ConversionSeen SeenNested;
    FmtCollector ColNested;
    auto const pfnNested = [](FmtCollector *pCol, ConversionSeen *pSeen, const char *pszFormat, ...) {
        va_list va;
        va_start(va, pszFormat);
        RTFmtToCallback(FmtCollector::Output, pCol, TestConversion, pSeen, "(%N)", pszFormat, &va);
        va_end(va);
    };
    pfnNested(&ColNested, &SeenNested, "%w", 4);
    EXPECT_EQ(ColNested.strText, "(<w:4>)");
}

TEST(FmtEngine, FormattingDoesNotAllocate)
{
    static const RTUTF16 s_wszText[] = {u'w', 0x00e4, 0xd83d, 0xde00, 0};
    static const RTUNICP s_uszText[] = {0x20ac, 'u', 0};
    auto const pfnNested = [](FmtCollector *pCol, const char *pszFormat, ...) {
        va_list va;
        va_start(va, pszFormat);
        uint64_t const cBefore = RTMemAllocCount();
        RTFmtToCallback(FmtCollector::Output, pCol, nullptr, nullptr,
                        "%s|%8ls|%Ls|%-'12llu|%#x|%p|%c|%f|%N|%RU32|%RTbool|%s|%ls", "abc", s_wszText, s_uszText,
                        1234567ULL, 0xbeefu, pCol, 'q', 0.5, pszFormat, &va, 17u, 1, nullptr, FmtLowPtr(0x10));
        uint64_t const cAfter = RTMemAllocCount();
        va_end(va);
        return cAfter - cBefore;
    };
    FmtCollector Col;
    // Make sure the collector's own growth happens before counting.
    Col.strText.reserve(4096);
    Col.aPieces.reserve(256);
    EXPECT_EQ(pfnNested(&Col, "%s-%u", "n", 5u), 0u);
    EXPECT_NE(Col.strText.find("|n-5|17|true|<NULL>|<"), std::string::npos) << Col.strText;
}

} // namespace
