// Status and Windows error texts: names, messages, fallbacks, the table search and the coded text pool.
#include <gtest/gtest.h>

#include "common/err/err-internal.h"
#include "err-rows.h"
#include "err-sink.h"

#include <string>
#include <vector>

namespace {

using FormatFn = size_t (*)(int32_t, FmtOutputFn, void *, char *, size_t);

std::string Format(FormatFn pfn, int32_t rc, TextSink *pSink = nullptr)
{
    TextSink Local;
    TextSink &Sink = pSink ? *pSink : Local;
    char szTmp[80];
    size_t const cch = pfn(rc, TextSink::Output, &Sink, szTmp, sizeof(szTmp));
    EXPECT_EQ(cch, Sink.strText.size());
    return Sink.strText;
}

TEST(StatusTable, SortedUniqueAndCoversTheList)
{
    ASSERT_GT(g_cStatusTable, 0u);
    for (uint32_t i = 1; i < g_cStatusTable; i++)
        EXPECT_LT(g_aStatusTable[i - 1].iValue(), g_aStatusTable[i].iValue()) << "at index " << i;
    size_t cRows;
    StatusRow const *paRows = ErrTestRows(&cRows);
    for (size_t i = 0; i < cRows; i++)
        EXPECT_GE(rtStatusTableFind(paRows[i].rc), 0) << paRows[i].pszName;
}

TEST(StatusTable, SearchEnds)
{
    int32_t const iFirst = g_aStatusTable[0].iValue();
    int32_t const iLast = g_aStatusTable[g_cStatusTable - 1].iValue();
    EXPECT_EQ(iFirst, -23502);
    EXPECT_EQ(iLast, 22302);
    EXPECT_EQ(rtStatusTableFind(iFirst), 0);
    EXPECT_EQ(rtStatusTableFind(iLast), static_cast<int>(g_cStatusTable - 1));
    struct { int32_t iValue; } const aAbsent[] = {
        {iFirst - 1}, {-32768}, {INT32_MIN}, {iLast + 1}, {32767}, {INT32_MAX},
        {-1}, {1}, {-5}, {-7}, {-22301}, {22300},
        // 32-bit values whose low 16 bits name a known entry
        {65536}, {65536 - 2}, {-65536}, {0x10000 + 28},
    };
    for (auto const &c : aAbsent)
        EXPECT_EQ(rtStatusTableFind(c.iValue), -1) << c.iValue;
}

// The bisection on small tables of every size, each value and each gap.
TEST(StatusTable, BisectionOnEverySmallSize)
{
    StatusTableEntry aTable[9];
    for (uint32_t i = 0; i < RT_ELEMENTS(aTable); i++)
        aTable[i].u32 = static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(10 * i - 40))) << 16;
    EXPECT_EQ(rtStatusTableFindIn(aTable, 0, -40), -1);
    for (uint32_t cEntries = 1; cEntries <= RT_ELEMENTS(aTable); cEntries++) {
        for (uint32_t i = 0; i < cEntries; i++) {
            int32_t const iValue = aTable[i].iValue();
            EXPECT_EQ(rtStatusTableFindIn(aTable, cEntries, iValue), static_cast<int>(i)) << cEntries;
            EXPECT_EQ(rtStatusTableFindIn(aTable, cEntries, iValue - 5), -1) << cEntries;
            EXPECT_EQ(rtStatusTableFindIn(aTable, cEntries, iValue + 5), -1) << cEntries;
        }
        EXPECT_EQ(rtStatusTableFindIn(aTable, cEntries, INT32_MIN), -1);
        EXPECT_EQ(rtStatusTableFindIn(aTable, cEntries, INT32_MAX), -1);
    }
}

TEST(StatusText, EveryCodeHasItsNameAndASentence)
{
    size_t cRows;
    StatusRow const *paRows = ErrTestRows(&cRows);
    for (size_t i = 0; i < cRows; i++) {
        StatusRow const &Row = paRows[i];
        EXPECT_EQ(Format(RTStatusFormatName, Row.rc), Row.pszName);
        std::string const strMsg = Format(RTStatusFormatMessage, Row.rc);
        ASSERT_GE(strMsg.size(), 2u) << Row.pszName;
        EXPECT_TRUE(strMsg[0] >= 'A' && strMsg[0] <= 'Z') << Row.pszName << ": " << strMsg;
        EXPECT_EQ(strMsg.back(), '.') << Row.pszName;
        EXPECT_EQ(strMsg.find("Unknown Status"), std::string::npos);
        EXPECT_EQ(Format(RTStatusFormatAll, Row.rc),
                  std::string(Row.pszName) + " (" + std::to_string(Row.rc) + ") - " + strMsg);
    }
}

TEST(StatusText, KnownTexts)
{
    struct { FormatFn pfn; int32_t rc; const char *pszExpected; } const aCases[] = {
        {RTStatusFormatMessage, 0, "Success."},
        {RTStatusFormatMessage, -102, "File not found."},
        {RTStatusFormatMessage, -38, "Access denied."},
        {RTStatusFormatAll, -41, "RTE_BUFFER_OVERFLOW (-41) - The output buffer is too small."},
        {RTStatusFormatAll, 0, "RT_OK (0) - Success."},
        {RTStatusFormatAll, 22302, "RTI_LOG_NO_LOGGER (22302) - Informational: no logger instance exists; nothing was written."},
        {RTStatusFormatName, -23502, "RTE_CRYPTO_BAD_ALGORITHM"},
        // absent values
        {RTStatusFormatName, -12345, "-12345"},
        {RTStatusFormatMessage, -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {RTStatusFormatAll, -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {RTStatusFormatUnknown, -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {RTStatusFormatUnknown, 0, "Unknown Status 0 (0x0)"},
        {RTStatusFormatName, 1, "1"},
        {RTStatusFormatMessage, 1, "Unknown Status 1 (0x1)"},
        {RTStatusFormatName, INT32_MIN, "-2147483648"},
        {RTStatusFormatAll, INT32_MIN, "Unknown Status -2147483648 (0x80000000)"},
        {RTStatusFormatMessage, INT32_MAX, "Unknown Status 2147483647 (0x7fffffff)"},
        {RTStatusFormatName, 65536, "65536"},
        {RTStatusFormatAll, 65536 - 102, "Unknown Status 65434 (0xff9a)"},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Format(c.pfn, c.rc), c.pszExpected) << c.rc;
}

TEST(StatusText, PiecesAndReturnedTotal)
{
    TextSink Sink;
    Format(RTStatusFormatUnknown, -12345, &Sink);
    EXPECT_EQ(Sink.vecCalls, (std::vector<std::string>{"Unknown Status ", "-12345", " (", "0xffffcfc7", ")"}));
    EXPECT_EQ(Sink.cFlushes, 0u);

    TextSink Sink2;
    Format(RTStatusFormatAll, -38, &Sink2);
    ASSERT_GE(Sink2.vecCalls.size(), 5u);
    EXPECT_NE(std::find(Sink2.vecCalls.begin(), Sink2.vecCalls.end(), " ("), Sink2.vecCalls.end());
    EXPECT_NE(std::find(Sink2.vecCalls.begin(), Sink2.vecCalls.end(), ") - "), Sink2.vecCalls.end());
    EXPECT_NE(std::find(Sink2.vecCalls.begin(), Sink2.vecCalls.end(), "-38"), Sink2.vecCalls.end());

    // The functions return what the callback reported, not what they handed over.
    FormatFn const apfn[] = {RTStatusFormatName, RTStatusFormatMessage, RTStatusFormatAll, RTStatusFormatUnknown,
                             RTWinErrFormatName, RTWinErrFormatAll};
    for (FormatFn pfn : apfn)
        for (int32_t rc : {0, -38, -12345, static_cast<int32_t>(0x80070000)}) {
            for (size_t cbReport : {size_t(0), size_t(1)}) {
                TextSink Sink3;
                Sink3.cbReportMax = cbReport;
                char szTmp[80];
                size_t const cch = pfn(rc, TextSink::Output, &Sink3, szTmp, sizeof(szTmp));
                EXPECT_EQ(cch, cbReport * Sink3.vecCalls.size());
                EXPECT_FALSE(Sink3.strText.empty());
            }
        }
}

TEST(StatusText, SmallScratchBufferCutsTheNumber)
{
    char achTmp[8];
    __builtin_memset(achTmp, 'X', sizeof(achTmp));
    TextSink Sink;
    RTStatusFormatUnknown(-12345, TextSink::Output, &Sink, achTmp, 4);
    EXPECT_EQ(Sink.strText, "Unknown Status -12 (0xf)");
    for (size_t i = 4; i < sizeof(achTmp); i++)
        EXPECT_EQ(achTmp[i], 'X');

    TextSink Sink2;
    RTStatusFormatName(-12345, TextSink::Output, &Sink2, nullptr, 0);
    EXPECT_EQ(Sink2.strText, "");
}

TEST(WinErrText, NamesAndHResults)
{
    struct { FormatFn pfn; uint32_t u; const char *pszExpected; } const aCases[] = {
        {RTWinErrFormatName, 0, "ERROR_SUCCESS"},
        {RTWinErrFormatName, 5, "0x5"},
        {RTWinErrFormatName, 0x80070000, "ERROR_SUCCESS/0x80070000"},
        {RTWinErrFormatName, 0x80070005, "0x80070005"},
        {RTWinErrFormatName, 0xC0070000, "ERROR_SUCCESS/0xc0070000"},   // bits 16-28 are 7
        {RTWinErrFormatName, 0x00070000, "ERROR_SUCCESS/0x70000"},
        {RTWinErrFormatName, 0x90070000, "0x90070000"},                 // bit 28 makes it facility 0x1007
        {RTWinErrFormatName, 0x80080000, "0x80080000"},
        {RTWinErrFormatName, 0x10000, "0x10000"},
        {RTWinErrFormatName, 0xFFFFFFFF, "0xffffffff"},
        {RTWinErrFormatAll, 0, "ERROR_SUCCESS (0x0)"},
        {RTWinErrFormatAll, 0x80070000, "ERROR_SUCCESS (0x80070000)"},
        {RTWinErrFormatAll, 5, "Unknown Status 0x5"},
        {RTWinErrFormatAll, 0x80070005, "Unknown Status 0x80070005"},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Format(c.pfn, static_cast<int32_t>(c.u)), c.pszExpected) << std::hex << c.u;
}

// --- The coded text pool, with small pools that show each rule ---------------

std::string Expand(StatusTextPool const &Pool, uint32_t off, uint32_t cb, size_t *pcch = nullptr)
{
    TextSink Sink;
    size_t const cch = rtStatusTextOut(&Pool, off, cb, TextSink::Output, &Sink);
    if (pcch)
        *pcch = cch;
    else
        EXPECT_EQ(cch, Sink.strText.size());
    return Sink.strText;
}

TEST(StatusPool, PlainTextBounds)
{
    static const uint8_t s_ab[] = {'H', 'e', 'l', 'l', 'o', 'W', 'o', 'r', 'l', 'd'};
    StatusTextPool const Pool = {s_ab, sizeof(s_ab), 0, nullptr};
    struct { uint32_t off, cb; const char *pszExpected; } const aCases[] = {
        {0, 5, "Hello"}, {5, 5, "World"}, {0, 10, "HelloWorld"}, {9, 1, "d"},
        {9, 2, ""},          // runs one byte past the pool
        {10, 0, ""}, {10, 1, ""}, {11, 1, ""},
        {1, 0xFFFFFFFFu, ""}, // a length that would wrap the end around
        {0xFFFFFFFFu, 2, ""},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(Expand(Pool, c.off, c.cb), c.pszExpected) << c.off << "+" << c.cb;
}

// Coded bytes first, then the texts the dictionary words point at.
struct CodedPool {
    std::vector<uint8_t> vecBytes;
    uint32_t auDict[256] = {};
    StatusTextPool Pool() const
    {
        return {vecBytes.data(), static_cast<uint32_t>(vecBytes.size()), 256, auDict};
    }
    StatusTextPool Pool(uint32_t cDict) const
    {
        return {vecBytes.data(), static_cast<uint32_t>(vecBytes.size()), cDict, auDict};
    }
    uint32_t Add(std::initializer_list<uint8_t> ab)
    {
        uint32_t const off = static_cast<uint32_t>(vecBytes.size());
        vecBytes.insert(vecBytes.end(), ab);
        return off;
    }
    void Word(uint8_t bCode, const char *psz)
    {
        uint32_t const off = static_cast<uint32_t>(vecBytes.size());
        size_t const cch = std::string(psz).size();
        vecBytes.insert(vecBytes.end(), psz, psz + cch);
        auDict[bCode] = off | static_cast<uint32_t>(cch << 22);
    }
    void WordAt(uint8_t bCode, uint32_t off, uint32_t cch) { auDict[bCode] = off | (cch << 22); }
};

TEST(StatusPool, FullDictionary)
{
    CodedPool P;
    uint32_t const offText1 = P.Add({0x80, ' ', 0x81, '.'});
    uint32_t const offText2 = P.Add({0xFF, 'x', 0xFF});
    uint32_t const offText3 = P.Add({'Q', 0x80, 0x82, 0x80});   // 0x82 runs past the pool
    uint32_t const offText4 = P.Add({0x83, 0x84});
    P.Word(0x80, "Status");
    P.Word(0x81, "code");
    P.Word(0xFF, "[ff]");      // with 256 entries 0xFF is an ordinary code
    P.WordAt(0x82, 0, 0x3FF);  // longest length, past the end of this small pool
    P.WordAt(0x83, 0, 1);      // length 1 and 0 mean the code byte itself
    P.WordAt(0x84, 3, 0);
    P.auDict['Q'] = 2 | (1u << 22);
    StatusTextPool const Pool = P.Pool();

    EXPECT_EQ(Expand(Pool, offText1, 4), "Status code.");
    EXPECT_EQ(Expand(Pool, offText1, 2), "Status ");
    EXPECT_EQ(Expand(Pool, offText2, 3), "[ff]x[ff]");
    EXPECT_EQ(Expand(Pool, offText3, 4), "QStatus");
    EXPECT_EQ(Expand(Pool, offText4, 2), "\x83\x84");
    EXPECT_EQ(Expand(Pool, offText1 + 1, static_cast<uint32_t>(P.vecBytes.size())), "");

    // The total is what the callback reported, for every piece.
    TextSink Sink;
    Sink.cbReportMax = 1;
    size_t const cch = rtStatusTextOut(&Pool, offText1, 4, TextSink::Output, &Sink);
    EXPECT_EQ(Sink.strText, "Status code.");
    EXPECT_EQ(cch, Sink.vecCalls.size());
}

TEST(StatusPool, WordEndingExactlyAtThePoolEnd)
{
    CodedPool P;
    uint32_t const offText = P.Add({0x90, 0x91});
    P.Word(0x90, "end");
    P.WordAt(0x91, static_cast<uint32_t>(P.vecBytes.size()) - 2, 2);  // the last two bytes: "nd"
    EXPECT_EQ(Expand(P.Pool(), offText, 2), "endnd");
    P.WordAt(0x91, static_cast<uint32_t>(P.vecBytes.size()) - 2, 3);  // one byte too long
    EXPECT_EQ(Expand(P.Pool(), offText, 2), "end");
    P.WordAt(0x91, static_cast<uint32_t>(P.vecBytes.size()), 2);      // starts at the end
    EXPECT_EQ(Expand(P.Pool(), offText, 2), "end");
}

TEST(StatusPool, EscapeInSmallDictionary)
{
    struct { std::initializer_list<uint8_t> ab; const char *pszExpected; } const aCases[] = {
        {{0xFF, 'A', 'b'}, "Ab"},
        {{0xFF, 0xC3, 0xA4, 'b'}, "\xC3\xA4" "b"},            // one UTF-8 sequence, copied
        {{0xFF, 0xE2, 0x82, 0xAC}, "\xE2\x82\xAC"},
        {{0xFF, 0x80, 'b'}, "?b"},                            // a stray continuation byte
        {{'a', 0xFF, 0xC3}, "a?"},                            // sequence cut by the text's end
        {{'a', 0xFF}, "a?"},                                  // escape with nothing after it
        {{0xFF, 0xFF, 'c'}, "?c"},
        {{0x80, 0xFF, 'z', 0x80}, "wwzww"},
    };
    for (auto const &c : aCases) {
        CodedPool P;
        uint32_t const offText = P.Add(c.ab);
        uint32_t const cbText = static_cast<uint32_t>(P.vecBytes.size());
        P.Word(0x80, "ww");
        P.Word(0x81, "unused");
        EXPECT_EQ(Expand(P.Pool(200), offText, cbText), c.pszExpected);
        EXPECT_EQ(Expand(P.Pool(255), offText, cbText), c.pszExpected);
    }
}

TEST(StatusPool, CodeBeyondASmallDictionaryEndsTheText)
{
    CodedPool P;
    uint32_t const offText = P.Add({'o', 'k', 0xC8, 'n', 'o'});
    EXPECT_EQ(Expand(P.Pool(200), offText, 5), "ok");
    EXPECT_EQ(Expand(P.Pool(201), offText, 5), "ok\xC8no");
}

TEST(StatusPool, RealPoolIsCodedAndInBounds)
{
    // The shipped pool uses the full dictionary, so no byte is an escape.
    EXPECT_EQ(g_StatusTextPool.cDict, 256u);
    ASSERT_NE(g_StatusTextPool.pauDict, nullptr);
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t const uWord = g_StatusTextPool.pauDict[i];
        if ((uWord >> 22) > 1) {
            EXPECT_LE((uWord & 0x3FFFFF) + (uWord >> 22), g_StatusTextPool.cbCoded) << i;
        }
    }
    // The texts follow one another in table order from the pool's start, so
    // the last message ends where the coded texts end and the dictionary's
    // words begin; every offset agrees with the sum of the lengths before.
    uint32_t offSum = 0;
    for (uint32_t i = 0; i < g_cStatusTable; i++) {
        StatusTableEntry const &E = g_aStatusTable[i];
        EXPECT_EQ(rtStatusTextOffset(i), offSum) << i;
        offSum += E.cbName() + E.cbMsg();
        EXPECT_LE(offSum, g_StatusTextPool.cbCoded) << i;
    }
    EXPECT_GT(offSum, 0u);
}

} // namespace

namespace {

std::string FmtEngine(const char *pszFormat, ...)
{
    TextSink Sink;
    va_list va;
    va_start(va, pszFormat);
    size_t const cch = RTFmtEngineV(TextSink::Output, &Sink, nullptr, nullptr, pszFormat, va);
    va_end(va);
    EXPECT_EQ(cch, Sink.strText.size());
    return Sink.strText;
}

// The directives a message writer uses, end to end through the formatting engine.
TEST(StatusDirectives, ThroughTheEngine)
{
    struct { const char *pszFormat; int32_t rc; const char *pszExpected; } const aCases[] = {
        {"%Rrc", -102, "RTE_FILE_NOT_FOUND"},
        {"%Rrs", -102, "File not found."},
        {"%Rrf", -102, "File not found."},
        {"%Rra", -102, "RTE_FILE_NOT_FOUND (-102) - File not found."},
        {"%Rrc", -12345, "-12345"},
        {"%Rrs", -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {"%Rrf", -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {"%Rra", -12345, "Unknown Status -12345 (0xffffcfc7)"},
        {"%Rwc", 0, "ERROR_SUCCESS"},
        {"%Rwf", 0, "ERROR_SUCCESS"},
        {"%Rwc", 5, "0x5"},
        {"%Rwc", static_cast<int32_t>(0x80070000), "ERROR_SUCCESS/0x80070000"},
        {"%Rwc", static_cast<int32_t>(0x80070005), "0x80070005"},
        {"%Rwa", 0, "ERROR_SUCCESS (0x0)"},
        {"%Rwa", static_cast<int32_t>(0x80070000), "ERROR_SUCCESS (0x80070000)"},
        {"%Rwa", 5, "Unknown Status 0x5"},
        {"%Rhrc", static_cast<int32_t>(0x80070000), "ERROR_SUCCESS/0x80070000"},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(FmtEngine(c.pszFormat, c.rc), c.pszExpected) << c.pszFormat << " of " << c.rc;
    EXPECT_EQ(FmtEngine("open failed: %Rrc (%Rwc)\n", -38, 5), "open failed: RTE_ACCESS_DENIED (0x5)\n");
}

} // namespace
