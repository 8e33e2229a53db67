// Internals shared by the UTF-8/UTF-16 sources: the sequence table, one
// validating decoder and the encoders the conversions use.
#pragma once

#include <quab/string.h>

namespace rtutf {

// Sequence length announced by each first byte; 0 marks a byte that cannot
// start a sequence (continuation bytes, 0xFE, 0xFF).
struct SeqTable {
    uint8_t ab[256];
};

constexpr SeqTable makeSeqTable()
{
    SeqTable t{};
    for (unsigned b = 0; b < 256; b++)
        t.ab[b] = b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : b < 0xFC ? 5 : b < 0xFE ? 6 : 0;
    return t;
}

inline constexpr SeqTable g_SeqLen = makeSeqTable();

// Indexed by sequence length: payload bits of the first byte, and the
// smallest value that length may carry (anything below is an overlong form).
inline constexpr uint8_t g_abLeadMask[7] = {0, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
inline constexpr RTUNICP g_auMinValue[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

inline constexpr RTUNICP MAX_UTF16_CP = 0x10FFFF;

// Decodes and validates the sequence at p, of which at most cbLeft bytes may
// be read (RTSTR_MAX: unlimited). Continuation bytes are read one at a time
// and the first that is not one stops the sequence, so an unlimited decode
// never reads past a terminator. Values above U+10FFFF are returned; callers
// that produce UTF-16 reject them themselves.
inline int32_t decodeSeq(const unsigned char *p, size_t cbLeft, RTUNICP *pCp, size_t *pcbSeq)
{
    unsigned const b = p[0];
    if (b < 0x80) {
        *pCp = b;
        *pcbSeq = 1;
        return RT_OK;
    }
    unsigned const cb = g_SeqLen.ab[b];
    if (cb == 0 || cb > cbLeft)
        return RTE_INVALID_UTF8;
    RTUNICP cp = b & g_abLeadMask[cb];
    for (unsigned i = 1; i < cb; i++) {
        unsigned const c = p[i];
        if ((c & 0xC0) != 0x80)
            return RTE_INVALID_UTF8;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < g_auMinValue[cb])
        return RTE_INVALID_UTF8;
    if (cb == 3) {
        if (cp - 0xD800u < 0x800u)
            return RTE_SURROGATE_IN_UTF8;
        if (cp >= 0xFFFE)
            return RTE_NONCHARACTER;
    }
    *pCp = cp;
    *pcbSeq = cb;
    return RT_OK;
}

// One UTF-16 code point from units read by fetch (host or big-endian order),
// at most cwcLeft units (RTSTR_MAX: unlimited, the terminator stops a pair).
template <typename Fetch>
inline int32_t decodeUtf16(const RTUTF16 *pwsz, size_t cwcLeft, Fetch fetch, RTUNICP *pCp, size_t *pcwc)
{
    RTUNICP const wc = fetch(pwsz, 0);
    if (wc - 0xD800u >= 0x800u) {
        if (wc >= 0xFFFE)
            return RTE_NONCHARACTER;
        *pCp = wc;
        *pcwc = 1;
        return RT_OK;
    }
    if (wc >= 0xDC00 || cwcLeft < 2)
        return RTE_INVALID_UTF16;
    RTUNICP const wc2 = fetch(pwsz, 1);
    if (wc2 - 0xDC00u >= 0x400u)
        return RTE_INVALID_UTF16;
    *pCp = 0x10000 + ((wc - 0xD800) << 10) + (wc2 - 0xDC00);
    *pcwc = 2;
    return RT_OK;
}

inline RTUNICP fetchHost(const RTUTF16 *pwsz, size_t i)
{
    return pwsz[i];
}

inline RTUNICP fetchBig(const RTUTF16 *pwsz, size_t i)
{
    const unsigned char *pb = reinterpret_cast<const unsigned char *>(pwsz + i);
    return (RTUNICP(pb[0]) << 8) | pb[1];
}

inline size_t utf8Bytes(RTUNICP cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Word-at-a-time tests for runs of ASCII: eight UTF-8 bytes or four UTF-16
// units that are all below 0x80 and none of them zero.
inline uint64_t load64(const void *pv)
{
    uint64_t u;
    __builtin_memcpy(&u, pv, sizeof(u));
    return u;
}

inline bool isAsciiRun8(uint64_t u)
{
    return ((u | ((u - 0x0101010101010101ull) & ~u)) & 0x8080808080808080ull) == 0;
}

inline bool isAsciiRun16(uint64_t u)
{
    return (u & 0xFF80FF80FF80FF80ull) == 0 && ((u - 0x0001000100010001ull) & ~u & 0x8000800080008000ull) == 0;
}

} // namespace rtutf

namespace rtutf {

// What a scan of UTF-8 text found before its terminator or length.
struct Utf8Counts {
    size_t cCps;   // code points
    size_t cb;     // bytes
    size_t cwc;    // UTF-16 units they need
};

// Walks the text by the UTF-8 rules within cch bytes (RTSTR_MAX: up to the
// terminator) and stops at the first error. fUtf16 rejects values above
// U+10FFFF, which UTF-16 cannot carry.
int32_t scanUtf8(const char *psz, size_t cch, bool fUtf16, Utf8Counts *pCounts);

// Walks UTF-16 text within cwc units and counts the UTF-8 bytes it needs.
int32_t scanUtf16(const RTUTF16 *pwsz, size_t cwc, size_t *pcch);

} // namespace rtutf
