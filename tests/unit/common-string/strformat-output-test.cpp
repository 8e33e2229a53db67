// The front ends' output callbacks, driven piece by piece the way the
// formatting engine drives them: cutting, overflow accounting and growth.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include <quab/fmt.h>
#include <quab/mem.h>
#include <quab/string.h>

#include "common/string/strformat-internal.h"

namespace {

// Feeds pieces and the closing flush call; returns the engine's total.
template <typename State>
size_t feed(FmtOutputFn pfn, State *pState, std::initializer_list<std::string> pieces)
{
    size_t cchTotal = 0;
    for (const auto &s : pieces)
        cchTotal += pfn(pState, s.data(), s.size());
    pfn(pState, nullptr, 0);
    return cchTotal;
}

TEST(FmtBufOutput, CutsSilentlyAndCountsWhatWasStored)
{
    struct {
        size_t cbBuf;
        const char *pszWant;
    } const aCases[] = {
        {1, ""}, {2, "a"}, {4, "ab="}, {6, "ab=c"}, {32, "ab=c"},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.cbBuf);
        std::string buf(c.cbBuf, 'x');
        buf[0] = '\0';
        RTSTRBUFOUT State = {buf.data(), c.cbBuf - 1, false};
        size_t const cch = feed(rtStrFmtBufOutput, &State, {"a", "b", "=", "c"});
        EXPECT_STREQ(buf.c_str(), c.pszWant);
        EXPECT_EQ(cch, strlen(c.pszWant));
    }
}

TEST(FmtBufExOutput, ReportsTheFullLengthWhenCut)
{
    struct {
        size_t cbBuf;
        const char *pszWant;
        bool fOverflow;
    } const aCases[] = {
        {8, "0123456", true},
        {10, "012345678", true},
        {11, "0123456789", false},
        {12, "0123456789", false},
        {1, "", true},
        {2, "0", true},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.cbBuf);
        std::string buf(c.cbBuf, 'x');
        buf[0] = '\0';
        RTSTRBUFOUT State = {buf.data(), c.cbBuf, false};
        // The cut falls inside a piece and later pieces are counted too.
        size_t const cch = feed(rtStrFmtBufExOutput, &State, {"012", "3456", "789"});
        EXPECT_EQ(cch, 10u);
        EXPECT_STREQ(buf.c_str(), c.pszWant);
        EXPECT_EQ(State.fOverflow, c.fOverflow);
    }

    // No room at all: not even a terminator is written.
    char ch = 'q';
    RTSTRBUFOUT State = {&ch, 0, true};
    EXPECT_EQ(feed(rtStrFmtBufExOutput, &State, {"ab"}), 2u);
    EXPECT_EQ(ch, 'q');
}

struct AllocRun {
    RTSTRALLOCOUT State;
    char achStack[RTSTRFMTALLOC_STACK];
    AllocRun() { rtStrFmtAllocInit(&State, achStack, sizeof(achStack), "test"); }
    size_t put(size_t cch, char ch)
    {
        std::string s(cch, ch);
        return rtStrFmtAllocOutput(&State, s.data(), s.size());
    }
};

TEST(FmtAllocOutput, StaysOnTheStackBelowItsSize)
{
    AllocRun run;
    uint64_t const cBefore = RTMemAllocCount();
    EXPECT_EQ(run.put(2000, 'a'), 2000u);
    EXPECT_EQ(run.put(47, 'b'), 47u);  // exactly the 2047 free bytes
    EXPECT_FALSE(run.State.fHeap);
    EXPECT_EQ(RTMemAllocCount(), cBefore);

    char *psz = nullptr;
    EXPECT_EQ(rtStrFmtAllocFinish(&run.State, &psz), 2047);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(RTMemAllocCount() - cBefore, 1u);
    EXPECT_EQ(std::string(psz), std::string(2000, 'a') + std::string(47, 'b'));
    EXPECT_NE(psz, run.achStack);
    psz[2047] = '\0';  // ASan: exactly length + 1 bytes
    RTStrDispose(psz);
}

TEST(FmtAllocOutput, GrowthSteps)
{
    // Each row: the pieces written, the buffer size after them.
    struct {
        const char *pszName;
        std::initializer_list<size_t> pieces;
        size_t cbBufAfter;
    } const aCases[] = {
        {"one large piece: rounded to pages", {5000}, 2048 + 8192},
        {"one byte over the stack: doubles", {2047, 1}, 4096},
        {"piece as large as the step: rounded to pages", {2048}, 2048 + 4096},
        {"piece equal to the step", {100, 2048}, 2048 + 4096},
        {"doubling again", {2047, 1, 2048}, 8192},
        {"page-sized piece", {4096}, 2048 + 4096},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.pszName);
        AllocRun run;
        std::string sWant;
        char ch = 'a';
        for (size_t cch : c.pieces) {
            EXPECT_EQ(run.put(cch, ch), cch);
            sWant += std::string(cch, ch++);
        }
        EXPECT_TRUE(run.State.fHeap);
        EXPECT_EQ(run.State.cbBuf, c.cbBufAfter);
        EXPECT_EQ(run.State.cbFree, c.cbBufAfter - 1 - sWant.size());
        char *psz = nullptr;
        ASSERT_EQ(rtStrFmtAllocFinish(&run.State, &psz), static_cast<int>(sWant.size()));
        EXPECT_EQ(std::string(psz), sWant);
        psz[sWant.size()] = '\0';  // ASan: shrunk to length + 1
        RTStrDispose(psz);
    }
}

TEST(FmtAllocOutput, StepIsCappedAtOneMegabyte)
{
    AllocRun run;
    // Grow to just above 1 MiB, then a small overflow adds 1 MiB, not the size.
    EXPECT_EQ(run.put(0x100000, 'a'), 0x100000u);
    size_t const cbBig = run.State.cbBuf;
    EXPECT_EQ(cbBig, 2048u + 0x100000u);  // a page multiple is its own step
    EXPECT_EQ(run.put(run.State.cbFree, 'b'), cbBig - 1 - 0x100000u);
    EXPECT_EQ(run.put(1, 'c'), 1u);
    EXPECT_EQ(run.State.cbBuf, cbBig + 0x100000u);
    char *psz = nullptr;
    EXPECT_EQ(rtStrFmtAllocFinish(&run.State, &psz), static_cast<int>(cbBig));
    RTStrDispose(psz);
}

TEST(FmtAllocOutput, FailedGrowthDropsEverythingAfter)
{
    AllocRun run;
    EXPECT_EQ(run.put(3000, 'a'), 3000u);
    ASSERT_TRUE(run.State.fHeap);
    // A piece above 1 GiB cannot be grown for; it is refused without reading it.
    EXPECT_EQ(rtStrFmtAllocOutput(&run.State, "tiny", RTSTRFMTALLOC_MAX_GROWTH + 1), 0u);
    EXPECT_TRUE(run.State.fFailed);
    EXPECT_EQ(run.put(1, 'b'), 0u);
    char *psz = reinterpret_cast<char *>(uintptr_t(0x5000));
    EXPECT_EQ(rtStrFmtAllocFinish(&run.State, &psz), -1);
    EXPECT_EQ(psz, nullptr);  // ASan's leak check shows the heap buffer was freed
}

TEST(FmtAllocOutput, FailureWhileStillOnTheStack)
{
    AllocRun run;
    EXPECT_EQ(rtStrFmtAllocOutput(&run.State, "tiny", RTSTRFMTALLOC_MAX_GROWTH + 1), 0u);
    EXPECT_FALSE(run.State.fHeap);
    char *psz = reinterpret_cast<char *>(uintptr_t(0x5000));
    EXPECT_EQ(rtStrFmtAllocFinish(&run.State, &psz), -1);
    EXPECT_EQ(psz, nullptr);
}

TEST(FmtAllocOutput, EmptyTextIsAnAllocatedEmptyString)
{
    AllocRun run;
    EXPECT_EQ(rtStrFmtAllocOutput(&run.State, nullptr, 0), 0u);
    char *psz = nullptr;
    EXPECT_EQ(rtStrFmtAllocFinish(&run.State, &psz), 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTStrDispose(psz);
}

} // namespace
