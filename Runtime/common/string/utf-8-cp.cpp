// Single code points: the UTF-8 and UTF-16 decoders, the UTF-8 encoder and
// stepping back to the start of a character.
#include "utf-8-internal.h"

using namespace rtutf;

int32_t RTStrDecodeCp(const char **ppsz, RTUNICP *pCp)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(*ppsz);
    size_t cb;
    int32_t const rc = decodeSeq(p, RTSTR_MAX, pCp, &cb);
    if (RT_FAILURE_NP(rc)) {
        // One byte forward lets a caller resynchronise on the next byte.
        *pCp = CODEPOINT_INVALID;
        *ppsz += 1;
        return rc;
    }
    *ppsz += cb;
    return RT_OK;
}

RTUNICP RTStrPeekCp(const char *psz)
{
    RTUNICP cp;
    size_t cb;
    if (RT_FAILURE_NP(decodeSeq(reinterpret_cast<const unsigned char *>(psz), RTSTR_MAX, &cp, &cb)))
        return CODEPOINT_INVALID;
    return cp;
}

int32_t RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp)
{
    if (*pcch == 0) {
        *pCp = CODEPOINT_INVALID;
        return RTE_END_OF_STRING;
    }
    size_t cb;
    int32_t const rc = decodeSeq(reinterpret_cast<const unsigned char *>(*ppsz), *pcch, pCp, &cb);
    if (RT_FAILURE_NP(rc)) {
        *pCp = CODEPOINT_INVALID;
        cb = 1;
    }
    *ppsz += cb;
    *pcch -= cb;
    return rc;
}

char *RTStrEncodeCp(char *psz, RTUNICP uCp)
{
    unsigned char *p = reinterpret_cast<unsigned char *>(psz);
    if (uCp & 0x80000000u) {
        *p++ = 0x7F;
        return reinterpret_cast<char *>(p);
    }
    if (uCp < 0x80) {
        *p++ = static_cast<unsigned char>(uCp);
        return reinterpret_cast<char *>(p);
    }
    // Sequence length by value: the first length whose limit lies above it.
    static constexpr RTUNICP s_auLimit[] = {0x800, 0x10000, 0x200000, 0x4000000, 0x80000000u};
    static constexpr unsigned char s_abLead[] = {0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    unsigned i = 0;
    while (uCp >= s_auLimit[i])
        i++;
    unsigned const cTrail = i + 1;
    *p = static_cast<unsigned char>(s_abLead[i] | (uCp >> (6 * cTrail)));
    for (unsigned k = cTrail; k > 0; k--)
        p[k] = static_cast<unsigned char>(0x80 | (uCp & 0x3F)), uCp >>= 6;
    return reinterpret_cast<char *>(p + cTrail + 1);
}

const char *RTStrPrevCharStart(const char *pszStart, const char *psz)
{
    if (psz <= pszStart)
        return pszStart;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(psz) - 1;
    if (*p < 0x80)
        return psz - 1;
    const unsigned char *const pStart = reinterpret_cast<const unsigned char *>(pszStart);
    unsigned cTrail = 0;
    while (cTrail < 5 && p > pStart && (*p & 0xC0) == 0x80)
        p--, cTrail++;
    if (cTrail > 0 && g_SeqLen.ab[*p] == cTrail + 1)
        return reinterpret_cast<const char *>(p);
    return pszStart;
}

int32_t RTUtf16DecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    size_t cwc;
    int32_t const rc = decodeUtf16(*ppwsz, RTSTR_MAX, fetchHost, pCp, &cwc);
    if (RT_FAILURE_NP(rc)) {
        *pCp = CODEPOINT_INVALID;
        cwc = 1;
    }
    *ppwsz += cwc;
    return rc;
}

int32_t RTUtf16BigDecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    size_t cwc;
    int32_t const rc = decodeUtf16(*ppwsz, RTSTR_MAX, fetchBig, pCp, &cwc);
    if (RT_FAILURE_NP(rc)) {
        *pCp = CODEPOINT_INVALID;
        cwc = 1;
    }
    *ppwsz += cwc;
    return rc;
}
