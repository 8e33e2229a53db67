// Conversions between UTF-8, UTF-16 and code-point arrays: validate and count
// first, allocate or check the caller's buffer once, then convert.
#include <quab/mem.h>

#include "utf-8-internal.h"

using namespace rtutf;

static constexpr const char g_szTag[] = "Runtime/common/string/utf-8";

namespace {

// Converts text that scanUtf8 has already accepted; cwcBuf includes room for
// the terminator. Output that would not fit is cut and terminated there.
int32_t convertUtf8ToUtf16(const char *psz, size_t cch, RTUTF16 *pwsz, size_t cwcBuf)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(psz);
    size_t off = 0;
    size_t const cchWords = cch == RTSTR_MAX ? 0 : cch;
    RTUTF16 *pwc = pwsz;
    RTUTF16 *const pwcLast = pwsz + cwcBuf - 1;
    int32_t rc = RT_OK;
    while (off < cch) {
        unsigned const b = p[off];
        if (b < 0x80) {
            if (b == 0)
                break;
            if (pwc == pwcLast) {
                rc = RTE_BUFFER_OVERFLOW;
                break;
            }
            *pwc++ = static_cast<RTUTF16>(b);
            off++;
            while (off + 8 <= cchWords && static_cast<size_t>(pwcLast - pwc) >= 8 && isAsciiRun8(load64(p + off))) {
                for (unsigned i = 0; i < 8; i++)
                    pwc[i] = p[off + i];
                pwc += 8;
                off += 8;
            }
            continue;
        }
        unsigned cb;
        RTUNICP cp;
        if (b < 0xE0) {
            cb = 2;
            cp = ((b & 0x1F) << 6) | (p[off + 1] & 0x3F);
        } else if (b < 0xF0) {
            cb = 3;
            cp = ((b & 0x0F) << 12) | ((p[off + 1] & 0x3F) << 6) | (p[off + 2] & 0x3F);
        } else {
            cb = 4;
            cp = ((b & 0x07) << 18) | ((p[off + 1] & 0x3F) << 12) | ((p[off + 2] & 0x3F) << 6) | (p[off + 3] & 0x3F);
        }
        size_t const cwcCp = cp >= 0x10000 ? 2 : 1;
        if (static_cast<size_t>(pwcLast - pwc) < cwcCp) {
            rc = RTE_BUFFER_OVERFLOW;
            break;
        }
        if (cwcCp == 2) {
            cp -= 0x10000;
            *pwc++ = static_cast<RTUTF16>(0xD800 + (cp >> 10));
            *pwc++ = static_cast<RTUTF16>(0xDC00 + (cp & 0x3FF));
        } else
            *pwc++ = static_cast<RTUTF16>(cp);
        off += cb;
    }
    *pwc = 0;
    return rc;
}

// Converts UTF-16 to UTF-8, checking as it goes; cchBuf includes room for the
// terminator. Whatever stops it, the output is terminated where it stopped.
int32_t convertUtf16ToUtf8(const RTUTF16 *pwsz, size_t cwc, char *psz, size_t cchBuf)
{
    unsigned char *pb = reinterpret_cast<unsigned char *>(psz);
    size_t cbFree = cchBuf - 1;
    size_t const cwcWords = cwc == RTSTR_MAX ? 0 : cwc;
    size_t off = 0;
    int32_t rc = RT_OK;
    while (off < cwc) {
        RTUNICP cp = pwsz[off];
        if (cp < 0x80) {
            if (cp == 0)
                break;
            if (!cbFree) {
                rc = RTE_BUFFER_OVERFLOW;
                break;
            }
            *pb++ = static_cast<unsigned char>(cp);
            cbFree--;
            off++;
            while (off + 4 <= cwcWords && cbFree >= 4 && isAsciiRun16(load64(pwsz + off))) {
                for (unsigned i = 0; i < 4; i++)
                    pb[i] = static_cast<unsigned char>(pwsz[off + i]);
                pb += 4;
                cbFree -= 4;
                off += 4;
            }
            continue;
        }
        if (cp < 0x800) {
            if (cbFree < 2) {
                rc = RTE_BUFFER_OVERFLOW;
                break;
            }
            pb[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            pb[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            pb += 2;
            cbFree -= 2;
            off++;
            continue;
        }
        size_t cwcCp = 1;
        if (cp - 0xD800u < 0x800u || cp >= 0xFFFE) {
            rc = decodeUtf16(pwsz + off, cwc - off, fetchHost, &cp, &cwcCp);
            if (RT_FAILURE_NP(rc))
                break;
        }
        size_t const cbCp = cp < 0x10000 ? 3 : 4;
        if (cbCp > cbFree) {
            rc = RTE_BUFFER_OVERFLOW;
            break;
        }
        if (cbCp == 3) {
            pb[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            pb[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            pb[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            pb[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            pb[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            pb[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            pb[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        }
        pb += cbCp;
        cbFree -= cbCp;
        off += cwcCp;
    }
    *pb = 0;
    return rc;
}

// Size in bytes of cElems elements of cbElem each, or 0 when it cannot be
// represented (the caller reports that as an allocation failure).
size_t arrayBytes(size_t cElems, size_t cbElem)
{
    if (cElems > RTSTR_MAX / cbElem)
        return 0;
    return cElems * cbElem;
}

} // namespace

int32_t RTStrToUtf16(const char *pszString, RTUTF16 **ppwszString, const char *pszTag)
{
    if (!RT_VALID_PTR(ppwszString))
        return RTE_INVALID_PARAMETER;
    *ppwszString = nullptr;
    return RTStrToUtf16Ex(pszString, RTSTR_MAX, ppwszString, 0, nullptr, pszTag);
}

int32_t RTStrToUtf16Ex(const char *pszString, size_t cchString, RTUTF16 **ppwsz, size_t cwc, size_t *pcwc,
                       const char *pszTag)
{
    if (!RT_VALID_PTR(pszString) || !RT_VALID_PTR(ppwsz))
        return RTE_INVALID_PARAMETER;
    Utf8Counts counts;
    RT_TRY(scanUtf8(pszString, cchString, true, &counts));
    if (pcwc)
        *pcwc = counts.cwc;

    RTUTF16 *pwsz = *ppwsz;
    bool const fCallerBuffer = cwc != 0 && pwsz != nullptr;
    if (fCallerBuffer) {
        if (cwc <= counts.cwc)
            return RTE_BUFFER_OVERFLOW;
    } else {
        *ppwsz = nullptr;
        if (cwc < counts.cwc + 1)
            cwc = counts.cwc + 1;
        size_t const cb = arrayBytes(cwc, sizeof(RTUTF16));
        pwsz = cb ? static_cast<RTUTF16 *>(RTMemAllocTag(cb, pszTag ? pszTag : g_szTag)) : nullptr;
        if (!pwsz)
            return RTE_NO_UTF16_MEMORY;
    }
    int32_t const rc = convertUtf8ToUtf16(pszString, cchString, pwsz, cwc);
    if (RT_FAILURE_NP(rc)) {
        if (!fCallerBuffer)
            RTMemFree(pwsz);
        return rc;
    }
    *ppwsz = pwsz;
    return RT_OK;
}

int32_t RTUtf16ToUtf8Ex(const RTUTF16 *pwszString, size_t cwcString, char **ppsz, size_t cch, size_t *pcch,
                        const char *pszTag)
{
    if (!RT_VALID_PTR(pwszString) || !RT_VALID_PTR(ppsz))
        return RTE_INVALID_PARAMETER;
    size_t cchNeeded;
    RT_TRY(scanUtf16(pwszString, cwcString, &cchNeeded));
    if (pcch)
        *pcch = cchNeeded;

    char *psz = *ppsz;
    bool const fCallerBuffer = cch != 0 && psz != nullptr;
    if (fCallerBuffer) {
        if (cch <= cchNeeded)
            return RTE_BUFFER_OVERFLOW;
    } else {
        *ppsz = nullptr;
        if (cch < cchNeeded + 1)
            cch = cchNeeded + 1;
        psz = RTStrAllocate(cch, pszTag ? pszTag : g_szTag);
        if (!psz)
            return RTE_NO_STRING_MEMORY;
    }
    int32_t const rc = convertUtf16ToUtf8(pwszString, cwcString, psz, cch);
    if (RT_FAILURE_NP(rc)) {
        if (!fCallerBuffer)
            RTStrDispose(psz);
        return rc;
    }
    *ppsz = psz;
    return RT_OK;
}

int32_t RTStrToCodePointsEx(const char *psz, size_t cch, RTUNICP **ppaCps, size_t cCps, size_t *pcCps)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(ppaCps))
        return RTE_INVALID_PARAMETER;
    Utf8Counts counts;
    RT_TRY(scanUtf8(psz, cch, false, &counts));
    if (pcCps)
        *pcCps = counts.cCps;

    RTUNICP *paCps = *ppaCps;
    if (cCps != 0 && paCps != nullptr) {
        if (cCps <= counts.cCps)
            return RTE_BUFFER_OVERFLOW;
    } else {
        *ppaCps = nullptr;
        if (cCps < counts.cCps + 1)
            cCps = counts.cCps + 1;
        size_t const cb = arrayBytes(cCps, sizeof(RTUNICP));
        paCps = cb ? static_cast<RTUNICP *>(RTMemAllocTag(cb, g_szTag)) : nullptr;
        if (!paCps)
            return RTE_NO_CODE_POINT_MEMORY;
    }
    // The text was validated above, so every sequence decodes.
    const char *pszCur = psz;
    size_t cbLeft = counts.cb;
    for (size_t i = 0; i < counts.cCps; i++)
        (void)RTStrDecodeCpN(&pszCur, &cbLeft, &paCps[i]);
    paCps[counts.cCps] = 0;
    *ppaCps = paCps;
    return RT_OK;
}
