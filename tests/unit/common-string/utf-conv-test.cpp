// UTF-8 <-> UTF-16 conversions, the code-point array, counting and checking.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <quab/mem.h>
#include <quab/string.h>

#include "alloc-fail.h"

namespace {

using U16 = std::u16string;

struct StrDisposer {
    void operator()(void *pv) const { RTStrDispose(pv); }
};
using Utf16Ptr = std::unique_ptr<RTUTF16, StrDisposer>;
using StrPtr = std::unique_ptr<char, StrDisposer>;

// Rejections shared by every UTF-8 validator, with what the counting and
// converting functions (which cannot carry values above U+10FFFF) say.
struct Utf8Invalid {
    const char *pszName;
    const char *pszBytes;
    int32_t rcUtf16;      // RTStrToUtf16*, RTStrCountUtf16Units
    int32_t rcScan;       // RTStrCheckEncoding, RTStrToCodePointsEx
};

constexpr Utf8Invalid g_aInvalid[] = {
    {"overlong zero", "ab\xC0\x80", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"overlong slash", "\xE0\x80\xAF", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"lone continuation", "a\x80", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"truncated", "a\xE2\x82", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"bad second byte", "\xC3\x41", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"byte FE", "\xFE", RTE_INVALID_UTF8, RTE_INVALID_UTF8},
    {"surrogate", "x\xED\xA0\x80", RTE_SURROGATE_IN_UTF8, RTE_SURROGATE_IN_UTF8},
    {"non-character FFFE", "\xEF\xBF\xBE", RTE_NONCHARACTER, RTE_NONCHARACTER},
    {"non-character FFFF", "\xEF\xBF\xBF", RTE_NONCHARACTER, RTE_NONCHARACTER},
    {"U+110000", "\xF4\x90\x80\x80", RTE_CODE_POINT_TOO_BIG, RT_OK},
    {"five bytes", "\xF8\x88\x80\x80\x80", RTE_CODE_POINT_TOO_BIG, RT_OK},
    {"first error wins", "\xF4\x90\x80\x80\xC0\x80", RTE_CODE_POINT_TOO_BIG, RTE_INVALID_UTF8},
};

TEST(Utf8Validation, EveryEntryPointRejectsTheSameWay)
{
    for (const auto &c : g_aInvalid) {
        SCOPED_TRACE(c.pszName);
        RTUTF16 *pwsz = reinterpret_cast<RTUTF16 *>(uintptr_t(0x5000));
        EXPECT_EQ(RTStrToUtf16(c.pszBytes, &pwsz), c.rcUtf16);
        if (RT_FAILURE_NP(c.rcUtf16)) {
            EXPECT_EQ(pwsz, nullptr);
        } else {
            RTStrDispose(pwsz);
        }

        // The caller's buffer stays untouched on an invalid text.
        RTUTF16 awc[16];
        for (auto &wc : awc)
            wc = 0x5555;
        RTUTF16 *pwszBuf = awc;
        size_t cwc = 777;
        EXPECT_EQ(RTStrToUtf16Ex(c.pszBytes, RTSTR_MAX, &pwszBuf, 16, &cwc), c.rcUtf16);
        if (RT_FAILURE_NP(c.rcUtf16)) {
            EXPECT_EQ(awc[0], 0x5555);
            EXPECT_EQ(pwszBuf, awc);
        }

        size_t cwcCount = 0;
        EXPECT_EQ(RTStrCountUtf16Units(c.pszBytes, RTSTR_MAX, &cwcCount), c.rcUtf16);
        if (RT_FAILURE_NP(c.rcUtf16)) {
            EXPECT_EQ(cwcCount, RTSTR_MAX);
        }

        EXPECT_EQ(RTStrCheckEncoding(c.pszBytes, RTSTR_MAX, 0), c.rcScan);
        RTUNICP *paCps = reinterpret_cast<RTUNICP *>(uintptr_t(0x5000));
        int32_t rc = RTStrToCodePointsEx(c.pszBytes, RTSTR_MAX, &paCps, 0, nullptr);
        EXPECT_EQ(rc, c.rcScan);
        if (RT_SUCCESS_NP(rc))
            RTStrDispose(paCps);
        if (RT_FAILURE_NP(c.rcScan)) {
            EXPECT_EQ(RTStrCountCodePoints(c.pszBytes), 0u);
        }
    }
}

struct RoundTrip {
    const char *pszName;
    const char *pszUtf8;
    U16 wsz;
};

const RoundTrip g_aRoundTrips[] = {
    {"empty", "", u""},
    {"ascii", "abcd", u"abcd"},
    {"latin", "\xC3\x84pfel", u"\u00C4pfel"},
    {"euro", "\xE2\x82\xAC 5", u"\u20AC 5"},
    {"emoji", "\xF0\x9F\x98\x80", U16{0xD83D, 0xDE00}},
    {"boundaries", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
     U16{0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xD800, 0xDC00, 0xDBFF, 0xDFFF}},
    {"mixed", "a\xD0\x96\xE4\xB8\xAD\xF0\x9D\x84\x9Ez", U16{'a', 0x416, 0x4E2D, 0xD834, 0xDD1E, 'z'}},
};

TEST(Utf8ToUtf16, RoundTripsAllocated)
{
    for (const auto &c : g_aRoundTrips) {
        SCOPED_TRACE(c.pszName);
        RTUTF16 *pwszRaw = nullptr;
        ASSERT_EQ(RTStrToUtf16(c.pszUtf8, &pwszRaw), RT_OK);
        Utf16Ptr pwsz(pwszRaw);
        EXPECT_EQ(U16(pwsz.get()), c.wsz);
        EXPECT_EQ(RTUtf16Units(pwsz.get()), c.wsz.size());

        size_t cwc = 0;
        EXPECT_EQ(RTStrCountUtf16Units(c.pszUtf8, RTSTR_MAX, &cwc), RT_OK);
        EXPECT_EQ(cwc, c.wsz.size());
        size_t cch = 0;
        EXPECT_EQ(RTUtf16CountUtf8Bytes(c.wsz.c_str(), RTSTR_MAX, &cch), RT_OK);
        EXPECT_EQ(cch, strlen(c.pszUtf8));

        char *pszRaw = nullptr;
        cch = 0;
        ASSERT_EQ(RTUtf16ToUtf8Ex(c.wsz.c_str(), RTSTR_MAX, &pszRaw, 0, &cch), RT_OK);
        StrPtr psz(pszRaw);
        EXPECT_STREQ(psz.get(), c.pszUtf8);
        EXPECT_EQ(cch, strlen(c.pszUtf8));
    }
}

TEST(Utf8ToUtf16, CallerBufferMustHoldTheTerminator)
{
    RTUTF16 awc[5];
    for (size_t cwcBuf : {size_t(1), size_t(4)}) {
        SCOPED_TRACE(cwcBuf);
        for (auto &wc : awc)
            wc = 0x5555;
        RTUTF16 *pwsz = awc;
        size_t cwc = 0;
        EXPECT_EQ(RTStrToUtf16Ex("abcd", RTSTR_MAX, &pwsz, cwcBuf, &cwc), RTE_BUFFER_OVERFLOW);
        EXPECT_EQ(cwc, 4u);
        EXPECT_EQ(pwsz, awc);
        EXPECT_EQ(awc[0], 0x5555) << "nothing is written before the overflow is known";
    }
    RTUTF16 *pwsz = awc;
    size_t cwc = 0;
    EXPECT_EQ(RTStrToUtf16Ex("abcd", RTSTR_MAX, &pwsz, 5, &cwc), RT_OK);
    EXPECT_EQ(pwsz, awc);
    EXPECT_EQ(cwc, 4u);
    EXPECT_EQ(U16(awc), u"abcd");

    char ach[4];
    memset(ach, 0x55, sizeof(ach));
    char *psz = ach;
    size_t cch = 0;
    EXPECT_EQ(RTUtf16ToUtf8Ex(u"\u00C4\u00C4", RTSTR_MAX, &psz, 4, &cch), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(cch, 4u);
    EXPECT_EQ(ach[0], 0x55);
    char ach5[5];
    psz = ach5;
    EXPECT_EQ(RTUtf16ToUtf8Ex(u"\u00C4\u00C4", RTSTR_MAX, &psz, 5, &cch), RT_OK);
    EXPECT_STREQ(ach5, "\xC3\x84\xC3\x84");
}

TEST(Utf8ToUtf16, LengthLimitsTheInput)
{
    RTUTF16 *pwszRaw = nullptr;
    size_t cwc = 0;
    ASSERT_EQ(RTStrToUtf16Ex("abcd", 2, &pwszRaw, 0, &cwc), RT_OK);
    Utf16Ptr pwsz(pwszRaw);
    EXPECT_EQ(U16(pwsz.get()), u"ab");
    EXPECT_EQ(cwc, 2u);

    // A sequence crossing the limit is malformed, even if the bytes after it
    // would complete it.
    RTUTF16 *pwsz2 = nullptr;
    EXPECT_EQ(RTStrToUtf16Ex("a\xE2\x82\xAC", 3, &pwsz2, 0, &cwc), RTE_INVALID_UTF8);
    EXPECT_EQ(pwsz2, nullptr);
    EXPECT_EQ(RTStrCheckEncoding("a\xE2\x82\xAC", 3, 0), RTE_INVALID_UTF8);

    // A terminator inside the limit ends the text.
    ASSERT_EQ(RTStrToUtf16Ex("ab\0cd", 5, &pwszRaw, 0, &cwc), RT_OK);
    pwsz.reset(pwszRaw);
    EXPECT_EQ(U16(pwsz.get()), u"ab");

    // Input without any terminator, read only within its length.
    std::unique_ptr<char[]> pch(new char[3]{'x', 'y', 'z'});
    ASSERT_EQ(RTStrToUtf16Ex(pch.get(), 3, &pwszRaw, 0, &cwc), RT_OK);
    pwsz.reset(pwszRaw);
    EXPECT_EQ(U16(pwsz.get()), u"xyz");
}

TEST(Utf8ToUtf16, AllocatesTheLargerOfGivenAndNeeded)
{
    // A size with a null buffer pointer asks for an allocation of that size.
    RTUTF16 *pwszRaw = nullptr;
    ASSERT_EQ(RTStrToUtf16Ex("ab", RTSTR_MAX, &pwszRaw, 64, nullptr), RT_OK);
    Utf16Ptr pwsz(pwszRaw);
    EXPECT_EQ(U16(pwsz.get()), u"ab");
    pwsz.get()[63] = 1;  // ASan: the 64 units are really there
}

struct Utf16Invalid {
    const char *pszName;
    U16 wsz;
    size_t cwc;
    int32_t rc;
};

const Utf16Invalid g_aUtf16Invalid[] = {
    {"lone low", U16{0xDC00}, RTSTR_MAX, RTE_INVALID_UTF16},
    {"high then ascii", U16{'a', 0xD800, 'b'}, RTSTR_MAX, RTE_INVALID_UTF16},
    {"high at the end", U16{'a', 0xD800}, RTSTR_MAX, RTE_INVALID_UTF16},
    {"high as the last unit allowed", U16{'a', 0xD800, 0xDC00}, 2, RTE_INVALID_UTF16},
    {"reversed pair", U16{0xDC00, 0xD800}, RTSTR_MAX, RTE_INVALID_UTF16},
    {"FFFE", U16{'a', 0xFFFE}, RTSTR_MAX, RTE_NONCHARACTER},
    {"FFFF", U16{0xFFFF}, RTSTR_MAX, RTE_NONCHARACTER},
};

TEST(Utf16ToUtf8, Rejections)
{
    for (const auto &c : g_aUtf16Invalid) {
        SCOPED_TRACE(c.pszName);
        char *psz = reinterpret_cast<char *>(uintptr_t(0x5000));
        size_t cch = 777;
        EXPECT_EQ(RTUtf16ToUtf8Ex(c.wsz.c_str(), c.cwc, &psz, 0, &cch), c.rc);
        EXPECT_EQ(psz, reinterpret_cast<char *>(uintptr_t(0x5000))) << "an invalid text touches nothing";

        char ach[16];
        memset(ach, 0x55, sizeof(ach));
        psz = ach;
        EXPECT_EQ(RTUtf16ToUtf8Ex(c.wsz.c_str(), c.cwc, &psz, sizeof(ach), nullptr), c.rc);
        EXPECT_EQ(ach[0], 0x55);

        cch = 0;
        EXPECT_EQ(RTUtf16CountUtf8Bytes(c.wsz.c_str(), c.cwc, &cch), c.rc);
        EXPECT_EQ(cch, RTSTR_MAX);
    }

    // The pair is whole when the length includes its low unit.
    char *pszRaw = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(U16{'a', 0xD83D, 0xDE00}.c_str(), 3, &pszRaw, 0, nullptr), RT_OK);
    StrPtr psz(pszRaw);
    EXPECT_STREQ(psz.get(), "a\xF0\x9F\x98\x80");
}

TEST(Conversions, AllocationFailure)
{
    // A null buffer pointer with a size asks for an allocation of that size.
    RTUTF16 *pwsz = nullptr;
    EXPECT_EQ(RTStrToUtf16Ex("abc", RTSTR_MAX, &pwsz, g_cbUnallocatable / sizeof(RTUTF16), nullptr),
              RTE_NO_UTF16_MEMORY);
    EXPECT_EQ(pwsz, nullptr);
    // A unit count whose byte size cannot even be represented.
    EXPECT_EQ(RTStrToUtf16Ex("abc", RTSTR_MAX, &pwsz, RTSTR_MAX - 1, nullptr), RTE_NO_UTF16_MEMORY);
    EXPECT_EQ(pwsz, nullptr);

    char *psz = nullptr;
    EXPECT_EQ(RTUtf16ToUtf8Ex(u"abc", RTSTR_MAX, &psz, g_cbUnallocatable, nullptr), RTE_NO_STRING_MEMORY);
    EXPECT_EQ(psz, nullptr);

    RTUNICP *paCps = nullptr;
    EXPECT_EQ(RTStrToCodePointsEx("abc", RTSTR_MAX, &paCps, g_cbUnallocatable / sizeof(RTUNICP), nullptr),
              RTE_NO_CODE_POINT_MEMORY);
    EXPECT_EQ(paCps, nullptr);
}

TEST(CodePoints, ArrayAllocatedAndCallerBuffer)
{
    static const char s_sz[] = "a\xC3\x84\xF4\x90\x80\x80z";  // U+110000 is allowed here
    RTUNICP *paRaw = nullptr;
    size_t cCps = 0;
    ASSERT_EQ(RTStrToCodePointsEx(s_sz, RTSTR_MAX, &paRaw, 0, &cCps), RT_OK);
    std::unique_ptr<RTUNICP, StrDisposer> pa(paRaw);
    EXPECT_EQ(cCps, 4u);
    EXPECT_EQ(std::vector<RTUNICP>(pa.get(), pa.get() + 5), (std::vector<RTUNICP>{'a', 0xC4, 0x110000, 'z', 0}));
    EXPECT_EQ(RTStrCountCodePoints(s_sz), 4u);

    RTUNICP aCps[4] = {9, 9, 9, 9};
    RTUNICP *pCps = aCps;
    EXPECT_EQ(RTStrToCodePointsEx(s_sz, RTSTR_MAX, &pCps, 4, &cCps), RTE_BUFFER_OVERFLOW);
    EXPECT_EQ(cCps, 4u);
    EXPECT_EQ(aCps[0], 9u);

    RTUNICP aCps2[3];
    pCps = aCps2;
    ASSERT_EQ(RTStrToCodePointsEx(s_sz, 3, &pCps, 3, &cCps), RT_OK);
    EXPECT_EQ(pCps, aCps2);
    EXPECT_EQ(cCps, 2u);
    EXPECT_EQ(std::vector<RTUNICP>(aCps2, aCps2 + 3), (std::vector<RTUNICP>{'a', 0xC4, 0}));
}

TEST(CheckEncoding, FlagsAndSizes)
{
    struct {
        const char *psz;
        size_t cch;
        uint32_t fFlags;
        int32_t rc;
    } const aCases[] = {
        {"abc", 4, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT, RT_OK},
        {"abc", 5, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT, RTE_BUFFER_UNDERFLOW},
        {"abc", 3, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT, RTE_BUFFER_OVERFLOW},
        {"abc", 3, STR_CHECK_F_EXACT, RT_OK},
        {"abc", 4, STR_CHECK_F_EXACT, RTE_BUFFER_UNDERFLOW},
        {"abc", 3, STR_CHECK_F_TERMINATED, RTE_BUFFER_OVERFLOW},
        {"abc", 4, STR_CHECK_F_TERMINATED, RT_OK},
        {"abc", 3, 0, RT_OK},
        {"abc", RTSTR_MAX, 0, RT_OK},
        {"abc", 4, 4, RTE_INVALID_PARAMETER},
        {"abc", 4, STR_CHECK_F_TERMINATED | 0x80, RTE_INVALID_PARAMETER},
        // A scan error wins over the size checks.
        {"a\xC0\x80", 4, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT, RTE_INVALID_UTF8},
        {"\xF4\x90\x80\x80", 5, STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT, RT_OK},
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(testing::Message() << c.psz << " cch=" << c.cch << " flags=" << c.fFlags);
        EXPECT_EQ(RTStrCheckEncoding(c.psz, c.cch, c.fFlags), c.rc);
    }
}

TEST(Counting, NullPointers)
{
    EXPECT_EQ(RTUtf16Units(nullptr), 0u);
    EXPECT_EQ(RTStrCountCodePoints(nullptr), 0u);
    size_t cwc = 0;
    EXPECT_EQ(RTStrCountUtf16Units(nullptr, RTSTR_MAX, &cwc), RTE_INVALID_PARAMETER);
    EXPECT_EQ(cwc, RTSTR_MAX);
    RTUTF16 *pwsz = reinterpret_cast<RTUTF16 *>(uintptr_t(0x5000));
    EXPECT_EQ(RTStrToUtf16(nullptr, &pwsz), RTE_INVALID_PARAMETER);
    EXPECT_EQ(pwsz, nullptr);
}

TEST(Conversions, ExactSizeIsOneAllocation)
{
    // Two passes and one allocation of exactly count + 1 units.
    uint64_t const cBefore = RTMemAllocCount();
    RTUTF16 *pwszRaw = nullptr;
    ASSERT_EQ(RTStrToUtf16("\xF0\x9F\x98\x80xyz", &pwszRaw), RT_OK);
    Utf16Ptr pwsz(pwszRaw);
    EXPECT_EQ(RTMemAllocCount() - cBefore, 1u);
    pwsz.get()[5] = 0;  // ASan: the terminator's unit is the last one
}

} // namespace

namespace {

// Whatever the console's narrow encoding, ASCII comes back as itself, in a
// new string, and invalid UTF-8 is refused.
TEST(Utf8ToAnsiCp, PortableContract)
{
    static const char s_sz[] = "Setup.msi 42";
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, s_sz), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_NE(psz, s_sz);
    EXPECT_STREQ(psz, s_sz);
    RTStrDispose(psz);

    ASSERT_EQ(RTStrUtf8ToAnsiCp(&psz, ""), RT_OK);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTStrDispose(psz);

    psz = reinterpret_cast<char *>(uintptr_t(0x5000));
    EXPECT_EQ(RTStrUtf8ToAnsiCp(&psz, "a\x80"), RTE_INVALID_UTF8);
    EXPECT_EQ(psz, nullptr);
}

} // namespace

namespace {

// ASCII runs are read a word at a time within a given length; whatever sits
// at any offset of a run (a zero, a non-ASCII character, a bad byte) must
// still be found, with or without a length.
TEST(Conversions, SpecialUnitAtEveryOffsetOfAnAsciiRun)
{
    struct {
        const char *pszName;
        const char *pszInsert;
        RTUTF16 wcInsert;
        int32_t rc;
    } const aInserts[] = {
        {"two-byte", "\xC3\x84", 0xC4, RT_OK},
        {"three-byte", "\xE2\x82\xAC", 0x20AC, RT_OK},
        {"bad byte", "\x80", 0, RTE_INVALID_UTF8},
        {"terminator", "", 0, RT_OK},
    };
    for (const auto &ins : aInserts)
        for (size_t off = 0; off < 20; off++)
            for (bool fLength : {false, true}) {
                SCOPED_TRACE(testing::Message() << ins.pszName << " at " << off << (fLength ? " with length" : ""));
                std::string s(off, 'a');
                s += ins.pszInsert[0] ? std::string(ins.pszInsert) : std::string(1, '\0');
                s += std::string(19, 'b');
                U16 wszWant(off, u'a');
                if (ins.wcInsert)
                    wszWant += static_cast<char16_t>(ins.wcInsert), wszWant += U16(19, u'b');
                size_t const cch = fLength ? s.size() : RTSTR_MAX;
                RTUTF16 *pwszRaw = nullptr;
                size_t cwc = 0;
                EXPECT_EQ(RTStrToUtf16Ex(s.c_str(), cch, &pwszRaw, 0, &cwc), ins.rc);
                Utf16Ptr pwsz(pwszRaw);
                if (ins.rc != RT_OK)
                    continue;
                EXPECT_EQ(U16(pwsz.get()), wszWant);
                EXPECT_EQ(cwc, wszWant.size());

                // And back, with the UTF-16 length given or not.
                U16 wszIn = wszWant;
                if (!ins.wcInsert)
                    wszIn += u'\0', wszIn += U16(19, u'b');
                char *pszRaw = nullptr;
                size_t cchOut = 0;
                EXPECT_EQ(RTUtf16ToUtf8Ex(wszIn.data(), fLength ? wszIn.size() : RTSTR_MAX, &pszRaw, 0, &cchOut),
                          RT_OK);
                StrPtr psz(pszRaw);
                EXPECT_EQ(std::string(psz.get()), std::string(s.c_str()));
                EXPECT_EQ(cchOut, strlen(s.c_str()));
            }

    // A lone surrogate at every offset of a UTF-16 ASCII run.
    for (size_t off = 0; off < 12; off++) {
        U16 wsz = U16(off, u'a') + U16(1, char16_t(0xDC00)) + U16(9, u'b');
        size_t cch = 0;
        EXPECT_EQ(RTUtf16CountUtf8Bytes(wsz.data(), wsz.size(), &cch), RTE_INVALID_UTF16) << off;
    }
}

} // namespace
