// Counting and checking UTF-8 and UTF-16 text: the scans every conversion
// runs before it allocates or writes.
#include "utf-8-internal.h"

using namespace rtutf;

int32_t rtutf::scanUtf8(const char *psz, size_t cch, bool fUtf16, Utf8Counts *pCounts)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(psz);
    size_t off = 0;
    size_t cCps = 0;
    size_t cwc = 0;
    int32_t rc = RT_OK;
    // Whole words are read only within a given length: an unlimited text may
    // end anywhere inside one.
    size_t const cchWords = cch == RTSTR_MAX ? 0 : cch;
    while (off < cch) {
        unsigned const b = p[off];
        if (b < 0x80) {
            if (b == 0)
                break;
            off++;
            cCps++;
            cwc++;
            while (off + 8 <= cchWords && isAsciiRun8(load64(p + off))) {
                off += 8;
                cCps += 8;
                cwc += 8;
            }
            continue;
        }
        // The common two- and three-byte forms; everything else, including
        // every error, takes the full decoder.
        if (b >= 0xC2 && b < 0xE0 && cch - off >= 2 && (p[off + 1] & 0xC0) == 0x80) {
            off += 2;
            cCps++;
            cwc++;
            continue;
        }
        if ((b & 0xF0) == 0xE0 && cch - off >= 3 && (p[off + 1] & 0xC0) == 0x80 && (p[off + 2] & 0xC0) == 0x80) {
            RTUNICP const cp = ((b & 0x0F) << 12) | ((p[off + 1] & 0x3F) << 6) | (p[off + 2] & 0x3F);
            if (cp >= 0x800 && cp - 0xD800u >= 0x800u && cp < 0xFFFE) {
                off += 3;
                cCps++;
                cwc++;
                continue;
            }
        }
        RTUNICP cp;
        size_t cbSeq;
        rc = decodeSeq(p + off, cch - off, &cp, &cbSeq);
        if (RT_FAILURE_NP(rc))
            break;
        if (cp > MAX_UTF16_CP && fUtf16) {
            rc = RTE_CODE_POINT_TOO_BIG;
            break;
        }
        off += cbSeq;
        cCps++;
        cwc += cp >= 0x10000 ? 2 : 1;
    }
    pCounts->cCps = cCps;
    pCounts->cb = off;
    pCounts->cwc = cwc;
    return rc;
}

int32_t rtutf::scanUtf16(const RTUTF16 *pwsz, size_t cwc, size_t *pcch)
{
    size_t const cwcWords = cwc == RTSTR_MAX ? 0 : cwc;
    size_t off = 0;
    size_t cch = 0;
    while (off < cwc) {
        RTUNICP const wc = pwsz[off];
        if (wc < 0x80) {
            if (wc == 0)
                break;
            off++;
            cch++;
            while (off + 4 <= cwcWords && isAsciiRun16(load64(pwsz + off))) {
                off += 4;
                cch += 4;
            }
            continue;
        }
        if (wc < 0x800) {
            off++;
            cch += 2;
            continue;
        }
        if (wc - 0xD800u >= 0x800u && wc < 0xFFFE) {
            off++;
            cch += 3;
            continue;
        }
        RTUNICP cp;
        size_t cwcCp;
        int32_t const rc = decodeUtf16(pwsz + off, cwc - off, fetchHost, &cp, &cwcCp);
        if (RT_FAILURE_NP(rc)) {
            *pcch = cch;
            return rc;
        }
        off += cwcCp;
        cch += utf8Bytes(cp);
    }
    *pcch = cch;
    return RT_OK;
}

int32_t RTStrCountUtf16Units(const char *psz, size_t cch, size_t *pcwc)
{
    int32_t rc = RTE_INVALID_PARAMETER;
    Utf8Counts counts{};
    if (RT_VALID_PTR(psz))
        rc = scanUtf8(psz, cch, true, &counts);
    if (pcwc)
        *pcwc = RT_SUCCESS_NP(rc) ? counts.cwc : RTSTR_MAX;
    return rc;
}

int32_t RTUtf16CountUtf8Bytes(const RTUTF16 *pwsz, size_t cwc, size_t *pcch)
{
    int32_t rc = RTE_INVALID_PARAMETER;
    size_t cchCount = 0;
    if (RT_VALID_PTR(pwsz))
        rc = scanUtf16(pwsz, cwc, &cchCount);
    if (pcch)
        *pcch = RT_SUCCESS_NP(rc) ? cchCount : RTSTR_MAX;
    return rc;
}

size_t RTStrCountCodePoints(const char *psz)
{
    if (!RT_VALID_PTR(psz))
        return 0;
    Utf8Counts counts;
    if (RT_FAILURE_NP(scanUtf8(psz, RTSTR_MAX, false, &counts)))
        return 0;
    return counts.cCps;
}

int32_t RTStrCheckEncoding(const char *psz, size_t cch, uint32_t fFlags)
{
    if (fFlags & ~(STR_CHECK_F_TERMINATED | STR_CHECK_F_EXACT))
        return RTE_INVALID_PARAMETER;
    if (!RT_VALID_PTR(psz))
        return RTE_INVALID_PARAMETER;
    Utf8Counts counts;
    RT_TRY(scanUtf8(psz, cch, false, &counts));

    // The byte count plus the terminator, when one is required, against the
    // caller's exact size.
    size_t const cbUsed = counts.cb + ((fFlags & STR_CHECK_F_TERMINATED) ? 1 : 0);
    if (fFlags & STR_CHECK_F_EXACT) {
        if (cbUsed == cch)
            return RT_OK;
        return cbUsed < cch ? RTE_BUFFER_UNDERFLOW : RTE_BUFFER_OVERFLOW;
    }
    if ((fFlags & STR_CHECK_F_TERMINATED) && counts.cb >= cch)
        return RTE_BUFFER_OVERFLOW;
    return RT_OK;
}

size_t RTUtf16Units(const RTUTF16 *pwsz)
{
    if (!RT_VALID_PTR(pwsz))
        return 0;
    size_t cwc = 0;
    while (pwsz[cwc])
        cwc++;
    return cwc;
}
