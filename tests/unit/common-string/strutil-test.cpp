// String memory, bounded copy and append, and the ASCII case comparison.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

#include <quab/mem.h>
#include <quab/string.h>

#include "alloc-fail.h"

namespace {

TEST(StrMemory, AllocateAndResize)
{
    char *psz = RTStrAllocate(0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');  // ASan: one byte exists
    RTStrDispose(psz);

    psz = RTStrAllocate(16, "test");
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');
    memcpy(psz, "0123456789abcdef", 16);
    // Growing keeps the text and terminates at the new last byte.
    ASSERT_EQ(RTStrResize(&psz, 24), RT_OK);
    EXPECT_EQ(memcmp(psz, "0123456789abcdef", 16), 0);
    EXPECT_EQ(psz[23], '\0');
    // Shrinking cuts and terminates.
    ASSERT_EQ(RTStrResize(&psz, 4), RT_OK);
    EXPECT_STREQ(psz, "012");
    // A refused size leaves the string as it was.
    char *const pszBefore = psz;
    EXPECT_EQ(RTStrResize(&psz, g_cbUnallocatable), RTE_NO_STRING_MEMORY);
    EXPECT_EQ(psz, pszBefore);
    EXPECT_STREQ(psz, "012");
    // Size 0 frees.
    EXPECT_EQ(RTStrResize(&psz, 0), RT_OK);
    EXPECT_EQ(psz, nullptr);
    // A null string gets a fresh, empty buffer.
    ASSERT_EQ(RTStrResize(&psz, 8), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');
    EXPECT_EQ(psz[7], '\0');
    RTStrDispose(psz);

    psz = nullptr;
    EXPECT_EQ(RTStrResize(&psz, g_cbUnallocatable), RTE_NO_STRING_MEMORY);
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(RTStrAllocate(g_cbUnallocatable), nullptr);
    RTStrDispose(nullptr);
}

TEST(StrMemory, Clones)
{
    char *psz = RTStrClone("hello");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "hello");
    RTStrDispose(psz);

    struct {
        const char *pszSrc;
        size_t cchMax;
        const char *pszWant;
    } const aCases[] = {
        {"hello", 3, "hel"},
        {"hello", 5, "hello"},
        {"hello", 99, "hello"},
        {"hello", 0, ""},
        {"", RTSTR_MAX, ""},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.cchMax);
        psz = RTStrCloneN(c.pszSrc, c.cchMax);
        ASSERT_NE(psz, nullptr);
        EXPECT_STREQ(psz, c.pszWant);
        RTStrDispose(psz);

        psz = reinterpret_cast<char *>(uintptr_t(0x5000));
        ASSERT_EQ(RTStrCloneNEx(&psz, c.pszSrc, c.cchMax), RT_OK);
        EXPECT_STREQ(psz, c.pszWant);
        RTStrDispose(psz);
    }

    // A source without terminator is read only up to the maximum.
    std::unique_ptr<char[]> pch(new char[3]{'x', 'y', 'z'});
    psz = RTStrCloneN(pch.get(), 3);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "xyz");
    RTStrDispose(psz);

    EXPECT_EQ(RTStrClone(nullptr), nullptr);
    psz = reinterpret_cast<char *>(uintptr_t(0x5000));
    EXPECT_EQ(RTStrCloneNEx(&psz, nullptr, 4), RTE_INVALID_PARAMETER);
    EXPECT_EQ(psz, nullptr);
}

TEST(Utf16Memory, RoundsToWholeUnits)
{
    RTUTF16 *pwsz = RTUtf16Allocate(1);
    ASSERT_NE(pwsz, nullptr);
    EXPECT_EQ(pwsz[0], 0);  // ASan: one whole unit exists
    RTStrDispose(pwsz);

    pwsz = RTUtf16Allocate(0);
    ASSERT_NE(pwsz, nullptr);
    EXPECT_EQ(pwsz[0], 0);
    RTStrDispose(pwsz);

    pwsz = nullptr;
    ASSERT_EQ(RTUtf16Resize(&pwsz, 5), RT_OK);
    ASSERT_NE(pwsz, nullptr);
    EXPECT_EQ(pwsz[0], 0);
    EXPECT_EQ(pwsz[2], 0);  // the third unit of six bytes
    pwsz[0] = u'a';
    pwsz[1] = u'b';
    ASSERT_EQ(RTUtf16Resize(&pwsz, 12), RT_OK);
    EXPECT_EQ(pwsz[0], u'a');
    EXPECT_EQ(pwsz[1], u'b');
    EXPECT_EQ(pwsz[5], 0);

    RTUTF16 *const pwszBefore = pwsz;
    EXPECT_EQ(RTUtf16Resize(&pwsz, g_cbUnallocatable), RTE_NO_UTF16_MEMORY);
    EXPECT_EQ(pwsz, pwszBefore);
    EXPECT_EQ(RTUtf16Resize(&pwsz, RTSTR_MAX), RTE_NO_UTF16_MEMORY) << "rounding up must not wrap to 0";
    EXPECT_EQ(pwsz, pwszBefore);

    RTUTF16 *pwszCopy = RTUtf16Clone(pwsz);
    ASSERT_NE(pwszCopy, nullptr);
    EXPECT_EQ(std::u16string(pwszCopy), u"ab");
    RTStrDispose(pwszCopy);

    EXPECT_EQ(RTUtf16Resize(&pwsz, 0), RT_OK);
    EXPECT_EQ(pwsz, nullptr);
    EXPECT_EQ(RTUtf16Allocate(g_cbUnallocatable), nullptr);
    EXPECT_EQ(RTUtf16Allocate(RTSTR_MAX), nullptr);
    EXPECT_EQ(RTUtf16Clone(nullptr), nullptr);
}

TEST(StrLenMax, StopsAtMaximum)
{
    EXPECT_EQ(RTStrLenMax("abc", 10), 3u);
    EXPECT_EQ(RTStrLenMax("abc", 3), 3u);
    EXPECT_EQ(RTStrLenMax("abc", 2), 2u);
    EXPECT_EQ(RTStrLenMax("abc", 0), 0u);
    std::unique_ptr<char[]> pch(new char[2]{'x', 'y'});
    EXPECT_EQ(RTStrLenMax(pch.get(), 2), 2u);  // ASan: never reads a third byte
}

struct BoundedCase {
    const char *pszName;
    const char *pszInit;  // buffer contents before (nullptr: no terminator, filled with 'x')
    size_t cbBuf;
    const char *pszSrc;
    int32_t rc;
    const char *pszWant;  // nullptr: buffer untouched
};

void fillBuffer(char *pch, size_t cb, const char *pszInit)
{
    memset(pch, 'x', cb);
    if (pszInit)
        memcpy(pch, pszInit, strlen(pszInit) + 1);
}

const BoundedCase g_aCopy[] = {
    {"fits", "", 4, "abc", RT_OK, "abc"},
    {"one short", "", 3, "abc", RTE_BUFFER_OVERFLOW, "ab"},
    {"one byte", "", 1, "abc", RTE_BUFFER_OVERFLOW, ""},
    {"empty source", "", 1, "", RT_OK, ""},
};

TEST(StrCopyBounded, Table)
{
    for (const auto &c : g_aCopy) {
        SCOPED_TRACE(c.pszName);
        std::unique_ptr<char[]> pch(new char[c.cbBuf]);
        fillBuffer(pch.get(), c.cbBuf, c.pszInit);
        EXPECT_EQ(RTStrCopyBounded(pch.get(), c.cbBuf, c.pszSrc), c.rc);
        EXPECT_STREQ(pch.get(), c.pszWant);
    }
    char ch = 'q';
    EXPECT_EQ(RTStrCopyBounded(&ch, 0, "abc"), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(ch, 'q');
}

const BoundedCase g_aAppend[] = {
    {"cut", "ab", 4, "cd", RTE_BUFFER_OVERFLOW, "abc"},
    {"fits", "ab", 5, "cd", RT_OK, "abcd"},
    {"full buffer", "abc", 4, "d", RTE_BUFFER_OVERFLOW, "abc"},
    {"empty onto empty", "", 1, "", RT_OK, ""},
    {"into empty", "", 8, "hello", RT_OK, "hello"},
    {"no terminator", nullptr, 3, "cd", RTE_INVALID_PARAMETER, nullptr},
};

TEST(StrAppendBounded, Table)
{
    for (const auto &c : g_aAppend) {
        SCOPED_TRACE(c.pszName);
        std::unique_ptr<char[]> pch(new char[c.cbBuf]);
        fillBuffer(pch.get(), c.cbBuf, c.pszInit);
        EXPECT_EQ(RTStrAppendBounded(pch.get(), c.cbBuf, c.pszSrc), c.rc);
        if (c.pszWant) {
            EXPECT_STREQ(pch.get(), c.pszWant);
        } else {
            for (size_t i = 0; i < c.cbBuf; i++)
                EXPECT_EQ(pch[i], 'x');
        }
    }
}

int sign(int i)
{
    return (i > 0) - (i < 0);
}

TEST(StrCaseCmpAscii, Table)
{
    struct {
        const char *psz1;
        const char *psz2;
        int iSign;
    } const aCases[] = {
        {".MSI", ".msi", 0},
        {".msi", ".MSI", 0},
        {".msi", ".cab", 1},
        {".cab", ".msi", -1},
        {"\xC3\x84", "a", 1},   // non-ASCII sorts after every ASCII byte
        {"abc", "abd", -1},
        {"abc", "ab", 1},
        {"ab", "abc", -1},
        {"", "", 0},
        {"", "a", -1},
        {"a", "", 1},
        {"Zeta", "alpha", 1},   // folded before comparing
        {"[", "a", -1},         // '[' lies between the cases; only A-Z fold
        {"_", "A", -1},
        {"setup.Msi", "setup.mSI", 0},
        // Invalid UTF-8: plain bytes from the offending byte on, case counts.
        {"A\x80", "a\x80", 0},
        {"a\x80", "a\x7F", 1},
        {"a\xFF", "a\xFF", 0},
        {"a\xC0\x80", "a", 1},
        {"a\xC0" "B", "a\xC0" "b", -1},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(testing::Message() << '"' << c.psz1 << "\" vs \"" << c.psz2 << '"');
        EXPECT_EQ(sign(RTStrCaseCmpAscii(c.psz1, c.psz2)), c.iSign);
    }
    EXPECT_EQ(RTStrCaseCmpAscii("abc", "abd"), -1);
    EXPECT_EQ(RTStrCaseCmpAscii("\xC3\x84", "a"), 1);

    static const char s_sz[] = "same";
    EXPECT_EQ(RTStrCaseCmpAscii(s_sz, s_sz), 0);
    EXPECT_EQ(RTStrCaseCmpAscii(nullptr, nullptr), 0);
    EXPECT_EQ(RTStrCaseCmpAscii(nullptr, "a"), -1);
    EXPECT_EQ(RTStrCaseCmpAscii("a", nullptr), 1);
}

} // namespace
