// Single code points: decoding UTF-8 and UTF-16 (host and big-endian), the
// encoder and stepping back to a character start.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

#include <quab/string.h>

namespace {

struct Utf8DecodeCase {
    const char *pszName;
    const char *pszBytes;
    int32_t rc;
    RTUNICP cp;
    size_t cbAdvance;
};

constexpr Utf8DecodeCase g_aUtf8Decode[] = {
    {"ascii", "A", RT_OK, 0x41, 1},
    {"terminator", "", RT_OK, 0, 1},
    {"two bytes", "\xC3\x84", RT_OK, 0xC4, 2},
    {"smallest two", "\xC2\x80", RT_OK, 0x80, 2},
    {"three bytes", "\xE2\x82\xAC", RT_OK, 0x20AC, 3},
    {"four bytes", "\xF0\x9F\x98\x80", RT_OK, 0x1F600, 4},
    {"above U+10FFFF accepted", "\xF4\x90\x80\x80", RT_OK, 0x110000, 4},
    {"five bytes", "\xF8\x88\x80\x80\x80", RT_OK, 0x200000, 5},
    {"six bytes", "\xFD\xBF\xBF\xBF\xBF\xBF", RT_OK, 0x7FFFFFFF, 6},
    {"lone continuation", "\x80\x41", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"byte FE", "\xFE", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"byte FF", "\xFF", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"overlong zero", "\xC0\x80", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"overlong three", "\xE0\x9F\xBF", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"overlong four", "\xF0\x8F\xBF\xBF", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"overlong six", "\xFC\x83\xBF\xBF\xBF\xBF", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"bad continuation", "\xE2\x41\xAC", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"cut by terminator", "\xE2\x82", RTE_INVALID_UTF8, CODEPOINT_INVALID, 1},
    {"surrogate D800", "\xED\xA0\x80", RTE_SURROGATE_IN_UTF8, CODEPOINT_INVALID, 1},
    {"surrogate DFFF", "\xED\xBF\xBF", RTE_SURROGATE_IN_UTF8, CODEPOINT_INVALID, 1},
    {"non-character FFFE", "\xEF\xBF\xBE", RTE_NONCHARACTER, CODEPOINT_INVALID, 1},
    {"non-character FFFF", "\xEF\xBF\xBF", RTE_NONCHARACTER, CODEPOINT_INVALID, 1},
    {"just below FFFE", "\xEF\xBF\xBD", RT_OK, 0xFFFD, 3},
};

TEST(StrDecodeCp, Table)
{
    for (const auto &c : g_aUtf8Decode) {
        SCOPED_TRACE(c.pszName);
        const char *psz = c.pszBytes;
        RTUNICP cp = 12345;
        EXPECT_EQ(RTStrDecodeCp(&psz, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(static_cast<size_t>(psz - c.pszBytes), c.cbAdvance);
        EXPECT_EQ(RTStrPeekCp(c.pszBytes), c.cp);

        // The bounded decoder agrees when the whole sequence is available.
        size_t const cbAll = strlen(c.pszBytes) + 1;
        psz = c.pszBytes;
        size_t cbLeft = cbAll;
        cp = 12345;
        EXPECT_EQ(RTStrDecodeCpN(&psz, &cbLeft, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(static_cast<size_t>(psz - c.pszBytes), c.cbAdvance);
        EXPECT_EQ(cbLeft, cbAll - c.cbAdvance);
    }
}

TEST(StrDecodeCp, InvalidByteResynchronisesOnNext)
{
    const char *psz = "\x80\x41";
    RTUNICP cp;
    EXPECT_EQ(RTStrDecodeCp(&psz, &cp), RTE_INVALID_UTF8);
    EXPECT_EQ(cp, CODEPOINT_INVALID);
    EXPECT_EQ(*psz, 'A');
    EXPECT_EQ(RTStrDecodeCp(&psz, &cp), RT_OK);
    EXPECT_EQ(cp, 0x41u);
}

TEST(StrDecodeCpN, NeverReadsPastTheCount)
{
    // Heap copies without terminator: ASan catches any read beyond them.
    const unsigned char abEuro[] = {0xE2, 0x82, 0xAC};
    for (size_t cb = 1; cb < sizeof(abEuro); cb++) {
        SCOPED_TRACE(cb);
        std::unique_ptr<char[]> p(new char[cb]);
        memcpy(p.get(), abEuro, cb);
        const char *psz = p.get();
        size_t cbLeft = cb;
        RTUNICP cp = 0;
        EXPECT_EQ(RTStrDecodeCpN(&psz, &cbLeft, &cp), RTE_INVALID_UTF8);
        EXPECT_EQ(cp, CODEPOINT_INVALID);
        EXPECT_EQ(psz, p.get() + 1);
        EXPECT_EQ(cbLeft, cb - 1);
    }

    std::unique_ptr<char[]> p(new char[3]);
    memcpy(p.get(), abEuro, 3);
    const char *psz = p.get();
    size_t cbLeft = 3;
    RTUNICP cp = 0;
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cbLeft, &cp), RT_OK);
    EXPECT_EQ(cp, 0x20ACu);
    EXPECT_EQ(cbLeft, 0u);
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cbLeft, &cp), RTE_END_OF_STRING);
    EXPECT_EQ(cp, CODEPOINT_INVALID);
    EXPECT_EQ(psz, p.get() + 3);
}

struct EncodeCase {
    RTUNICP cp;
    const char *pszBytes;
};

constexpr EncodeCase g_aEncode[] = {
    {0x00, ""},  // one zero byte
    {0x7F, "\x7F"},
    {0x80, "\xC2\x80"},
    {0x7FF, "\xDF\xBF"},
    {0x800, "\xE0\xA0\x80"},
    {0xD800, "\xED\xA0\x80"},  // surrogates are not the encoder's business
    {0xFFFF, "\xEF\xBF\xBF"},
    {0x10000, "\xF0\x90\x80\x80"},
    {0x1F600, "\xF0\x9F\x98\x80"},
    {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
    {0x200000, "\xF8\x88\x80\x80\x80"},
    {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
    {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
    {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
    {0x80000000u, "\x7F"},
    {CODEPOINT_INVALID, "\x7F"},
};

TEST(StrEncodeCp, Table)
{
    for (const auto &c : g_aEncode) {
        SCOPED_TRACE(c.cp);
        char ab[8];
        memset(ab, 0x55, sizeof(ab));
        size_t const cbWant = c.cp == 0 ? 1 : strlen(c.pszBytes);
        char *pszEnd = RTStrEncodeCp(ab, c.cp);
        ASSERT_EQ(static_cast<size_t>(pszEnd - ab), cbWant);
        EXPECT_EQ(memcmp(ab, c.cp == 0 ? "\0" : c.pszBytes, cbWant), 0);
        EXPECT_EQ(ab[cbWant], 0x55) << "the encoder must not terminate";
    }
}

TEST(StrEncodeCp, RoundTripsThroughDecoder)
{
    // Every boundary value and a stride through the whole 31-bit range.
    for (uint64_t u = 1; u < 0x80000000u; u += u < 0x20000 ? 1 : 0x10001) {
        RTUNICP const cp = static_cast<RTUNICP>(u);
        if ((cp >= 0xD800 && cp < 0xE000) || cp == 0xFFFE || cp == 0xFFFF)
            continue;
        char ab[7] = {};
        RTStrEncodeCp(ab, cp);
        const char *psz = ab;
        RTUNICP cpBack = 0;
        ASSERT_EQ(RTStrDecodeCp(&psz, &cpBack), RT_OK) << cp;
        ASSERT_EQ(cpBack, cp);
        ASSERT_EQ(*psz, '\0');
    }
}

TEST(StrPrevCharStart, Cases)
{
    // "a" U+00C4 U+20AC U+1F600 "z"
    static const char s_sz[] = "a\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80z";
    struct {
        size_t offPos;
        size_t offWant;
    } const aCases[] = {
        {0, 0},   // at the start
        {1, 0},   // after 'a'
        {3, 1},   // after the 2-byte character
        {6, 3},   // after the 3-byte character
        {10, 6},  // after the 4-byte character
        {11, 10}, // after 'z'
        {2, 0},   // lead byte directly before the position
        {5, 0},   // inside a character: lead announces 3, only 1 stepped over
        {9, 0},   // inside the 4-byte character
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.offPos);
        EXPECT_EQ(RTStrPrevCharStart(s_sz, s_sz + c.offPos), s_sz + c.offWant);
    }

    // Only continuation bytes back to the start: nothing announces them.
    static const char s_szTrail[] = "\x80\x80\x80";
    EXPECT_EQ(RTStrPrevCharStart(s_szTrail, s_szTrail + 3), s_szTrail);
    // Six continuation bytes after a 6-byte lead: only five are stepped over.
    static const char s_szLong[] = "x\xFC\x80\x80\x80\x80\x80\x80";
    EXPECT_EQ(RTStrPrevCharStart(s_szLong, s_szLong + 8), s_szLong);
    EXPECT_EQ(RTStrPrevCharStart(s_szLong, s_szLong + 7), s_szLong + 1);
}

struct Utf16DecodeCase {
    const char *pszName;
    RTUTF16 awc[3];
    int32_t rc;
    RTUNICP cp;
    size_t cwcAdvance;
};

constexpr Utf16DecodeCase g_aUtf16Decode[] = {
    {"ascii", {0x41, 0}, RT_OK, 0x41, 1},
    {"terminator", {0, 0}, RT_OK, 0, 1},
    {"bmp", {0x20AC, 0}, RT_OK, 0x20AC, 1},
    {"last bmp before surrogates", {0xD7FF, 0}, RT_OK, 0xD7FF, 1},
    {"first after surrogates", {0xE000, 0}, RT_OK, 0xE000, 1},
    {"pair", {0xD83D, 0xDE00, 0}, RT_OK, 0x1F600, 2},
    {"highest pair", {0xDBFF, 0xDFFF, 0}, RT_OK, 0x10FFFF, 2},
    {"lone low", {0xDC00, 0x41, 0}, RTE_INVALID_UTF16, CODEPOINT_INVALID, 1},
    {"high then ascii", {0xD800, 0x41, 0}, RTE_INVALID_UTF16, CODEPOINT_INVALID, 1},
    {"high then high", {0xD800, 0xD800, 0}, RTE_INVALID_UTF16, CODEPOINT_INVALID, 1},
    {"high then terminator", {0xD800, 0, 0}, RTE_INVALID_UTF16, CODEPOINT_INVALID, 1},
    {"FFFE", {0xFFFE, 0}, RTE_NONCHARACTER, CODEPOINT_INVALID, 1},
    {"FFFF", {0xFFFF, 0}, RTE_NONCHARACTER, CODEPOINT_INVALID, 1},
};

TEST(Utf16DecodeCp, TableHostAndBigEndian)
{
    for (const auto &c : g_aUtf16Decode) {
        SCOPED_TRACE(c.pszName);
        const RTUTF16 *pwsz = c.awc;
        RTUNICP cp = 12345;
        EXPECT_EQ(RTUtf16DecodeCp(&pwsz, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(static_cast<size_t>(pwsz - c.awc), c.cwcAdvance);

        RTUTF16 awcBig[3];
        for (size_t i = 0; i < 3; i++) {
            unsigned char *pb = reinterpret_cast<unsigned char *>(&awcBig[i]);
            pb[0] = static_cast<unsigned char>(c.awc[i] >> 8);
            pb[1] = static_cast<unsigned char>(c.awc[i]);
        }
        pwsz = awcBig;
        cp = 12345;
        EXPECT_EQ(RTUtf16BigDecodeCp(&pwsz, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(static_cast<size_t>(pwsz - awcBig), c.cwcAdvance);
    }
}

} // namespace
