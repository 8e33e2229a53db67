// The formatting front ends end to end: fixed buffers and allocated strings.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include <quab/mem.h>
#include <quab/string.h>

namespace {

int fmtAllocV(char **ppsz, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const cch = RTStrFmtAllocV(ppsz, pszFormat, args, "test");
    va_end(args);
    return cch;
}

TEST(StrFmtToBuf, CutsSilently)
{
    struct {
        size_t cbBuf;
        const char *pszWant;
    } const aCases[] = {{1, ""}, {2, "a"}, {4, "ab="}, {5, "ab=c"}, {6, "ab=c"}};
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.cbBuf);
        char ach[8];
        memset(ach, 'x', sizeof(ach));
        EXPECT_EQ(RTStrFmtToBuf(ach, c.cbBuf, "%s%s=%s", "a", "b", "c"), strlen(c.pszWant));
        EXPECT_STREQ(ach, c.pszWant);
        EXPECT_EQ(ach[c.cbBuf], 'x') << "nothing beyond the buffer";
    }
    char ch = 'q';
    EXPECT_EQ(RTStrFmtToBuf(&ch, 0, "%s", "abc"), 0u);
    EXPECT_EQ(ch, 'q');
}

TEST(StrFmtToBufEx, NegativeSizeNeededWhenCut)
{
    struct {
        size_t cbBuf;
        ptrdiff_t cchWant;
        const char *pszWant;
    } const aCases[] = {
        {8, -11, "0123456"},
        {10, -11, "012345678"},
        {11, 10, "0123456789"},
        {64, 10, "0123456789"},
        {1, -11, ""},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.cbBuf);
        char ach[64];
        memset(ach, 'x', sizeof(ach));
        EXPECT_EQ(RTStrFmtToBufEx(ach, c.cbBuf, "%s%d", "01234", 56789), c.cchWant);
        EXPECT_STREQ(ach, c.pszWant);
    }
    char ch = 'q';
    EXPECT_EQ(RTStrFmtToBufEx(&ch, 0, "%s", "abc"), -4);
    EXPECT_EQ(ch, 'q') << "size 0 gets not even a terminator";
    EXPECT_EQ(RTStrFmtToBufEx(&ch, 0, ""), -1);
    EXPECT_EQ(ch, 'q');
    char ach[1];
    EXPECT_EQ(RTStrFmtToBufEx(ach, 1, ""), 0);
    EXPECT_EQ(ach[0], '\0');
}

TEST(StrFmtAlloc, ShortTextCostsOneAllocation)
{
    uint64_t const cBefore = RTMemAllocCount();
    char *psz = nullptr;
    EXPECT_EQ(fmtAllocV(&psz, "%s-%u", "pkg", 7u), 5);
    EXPECT_EQ(RTMemAllocCount() - cBefore, 1u);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "pkg-7");
    psz[5] = '\0';  // ASan: exactly length + 1 bytes
    RTStrDispose(psz);

    EXPECT_EQ(RTStrFmtAlloc(&psz, "%s", ""), 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTStrDispose(psz);
}

TEST(StrFmtAlloc, LongTextGrowsOnceAndIsShrunk)
{
    std::string const sLong(5000, 'z');
    uint64_t const cBefore = RTMemAllocCount();
    char *psz = nullptr;
    EXPECT_EQ(fmtAllocV(&psz, "%s", sLong.c_str()), 5000);
    // One move to the heap, one shrink to the exact size.
    EXPECT_EQ(RTMemAllocCount() - cBefore, 2u);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), sLong);
    psz[5000] = '\0';
    RTStrDispose(psz);

    // Literal runs and directives across several growths keep their order.
    std::string const sA(3000, 'a'), sB(3000, 'b'), sC(3000, 'c');
    std::string const sFormat = sA + "%d" + sB + "%s" + sC;
    std::string const sWant = sA + "42" + sB + "mid" + sC;
    EXPECT_EQ(RTStrFmtAlloc(&psz, sFormat.c_str(), 42, "mid"), static_cast<int>(sWant.size()));
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), sWant);
    RTStrDispose(psz);
}

TEST(StrFmtAlloc, TextAroundTheStackSize)
{
    for (size_t cch : {size_t(2046), size_t(2047), size_t(2048), size_t(4095), size_t(4096)}) {
        SCOPED_TRACE(cch);
        std::string const s(cch, 'q');
        char *psz = nullptr;
        EXPECT_EQ(RTStrFmtAlloc(&psz, "%s", s.c_str()), static_cast<int>(cch));
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(std::string(psz), s);
        psz[cch] = '\0';
        RTStrDispose(psz);
    }
}

} // namespace
