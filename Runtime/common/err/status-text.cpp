// Expanding a dictionary-coded (or plain) status text through an output callback.
#include "common/err/err-internal.h"

#include <quab/string.h>

namespace {

constexpr uint32_t kDictOffMask = (UINT32_C(1) << 22) - 1;

// The escape form: one ASCII byte, or one UTF-8 sequence copied as it is.
size_t rtStatusTextOutEscaped(const uint8_t *pb, uint32_t *pi, uint32_t iEnd, FmtOutputFn pfnOutput,
                              void *pvArgOutput)
{
    uint32_t i = *pi;
    if (i < iEnd && pb[i] < 0x80) {
        *pi = i + 1;
        return pfnOutput(pvArgOutput, reinterpret_cast<const char *>(&pb[i]), 1);
    }
    const char *psz = reinterpret_cast<const char *>(&pb[i]);
    size_t cch = iEnd - i;
    RTUNICP uCp;
    int32_t const rc = RTStrDecodeCpN(&psz, &cch, &uCp);
    uint32_t const iNext = static_cast<uint32_t>(reinterpret_cast<const uint8_t *>(psz) - pb);
    *pi = iNext;
    if (RT_SUCCESS_NP(rc))
        return pfnOutput(pvArgOutput, reinterpret_cast<const char *>(&pb[i]), iNext - i);
    return pfnOutput(pvArgOutput, "?", 1);
}

} // namespace

size_t rtStatusTextOut(const StatusTextPool *pPool, uint32_t off, uint32_t cb, FmtOutputFn pfnOutput,
                       void *pvArgOutput)
{
    uint32_t const cbPool = pPool->cbCoded;
    if (off >= cbPool || cb > cbPool - off || cb == 0)
        return 0;
    const uint8_t *pb = pPool->pbCoded;
    if (pPool->cDict == 0 || !pPool->pauDict)
        return pfnOutput(pvArgOutput, reinterpret_cast<const char *>(&pb[off]), cb);

    // A full dictionary leaves no byte value free for the escape.
    bool const fEscape = pPool->cDict <= 255;
    size_t cchTotal = 0;
    uint32_t i = off;
    uint32_t const iEnd = off + cb;
    while (i < iEnd) {
        uint8_t const b = pb[i];
        if (fEscape && b == STATUS_TEXT_ESCAPE) {
            i++;
            cchTotal += rtStatusTextOutEscaped(pb, &i, iEnd, pfnOutput, pvArgOutput);
            continue;
        }
        // A code without a dictionary entry is as broken as an entry past the pool.
        if (b >= pPool->cDict)
            break;
        uint32_t const uWord = pPool->pauDict[b];
        uint32_t const cbWord = uWord >> 22;
        if (cbWord <= 1) {
            // Literal bytes stand for themselves; hand over the whole run at once.
            uint32_t j = i + 1;
            while (j < iEnd && pb[j] < pPool->cDict && !(fEscape && pb[j] == STATUS_TEXT_ESCAPE)
                   && (pPool->pauDict[pb[j]] >> 22) <= 1)
                j++;
            cchTotal += pfnOutput(pvArgOutput, reinterpret_cast<const char *>(&pb[i]), j - i);
            i = j;
            continue;
        }
        uint32_t const offWord = uWord & kDictOffMask;
        if (offWord >= cbPool || cbWord > cbPool - offWord)
            break;
        cchTotal += pfnOutput(pvArgOutput, reinterpret_cast<const char *>(&pb[offWord]), cbWord);
        i++;
    }
    return cchTotal;
}
