// Big-endian UTF-16 text (%lRbs), whatever the host's byte order.
#include "common/string/format-ext-internal.h"

#include <quab/string.h>

namespace {

uint16_t rtFmtBigUnit(const uint8_t *pb, size_t i)
{
    return static_cast<uint16_t>((pb[2 * i] << 8) | pb[2 * i + 1]);
}

} // namespace

size_t rtFmtUtf16BigText(FmtOutputFn pfnOutput, void *pvArgOutput, const void *pv, int cchWidth, int cchPrecision,
                         unsigned fFlags)
{
    if (rtFmtIsBadPtr(pv))
        return rtFmtExtOut(pfnOutput, pvArgOutput, "<NULL>");
    // Without a precision there is no bound on how much may be read.
    if (cchPrecision < 0)
        return 0;

    const uint8_t *pb = static_cast<const uint8_t *>(pv);
    size_t cUnits = 0;
    while (cUnits < static_cast<size_t>(cchPrecision) && rtFmtBigUnit(pb, cUnits) != 0)
        cUnits++;

    int const cPad = cchWidth > static_cast<int>(cUnits) ? cchWidth - static_cast<int>(cUnits) : 0;
    size_t cch = 0;
    if (!(fFlags & FMT_F_LEFT))
        cch += rtFmtPadBlanks(pfnOutput, pvArgOutput, cPad);

    const RTUTF16 *pwszStart = static_cast<const RTUTF16 *>(pv);
    size_t i = 0;
    while (i < cUnits) {
        uint16_t const uUnit = rtFmtBigUnit(pb, i);
        // A high surrogate on the last counted unit would pull in one unit past the bound.
        if (uUnit >= 0xD800 && uUnit <= 0xDBFF && i + 1 >= cUnits) {
            cch += pfnOutput(pvArgOutput, "?", 1);
            i++;
            continue;
        }
        const RTUTF16 *pwsz = pwszStart + i;
        RTUNICP uCp;
        int32_t const rc = RTUtf16BigDecodeCp(&pwsz, &uCp);
        i = static_cast<size_t>(pwsz - pwszStart);
        if (RT_FAILURE_NP(rc)) {
            cch += pfnOutput(pvArgOutput, "?", 1);
            continue;
        }
        char achCp[8];
        char *pchEnd = RTStrEncodeCp(achCp, uCp);
        cch += pfnOutput(pvArgOutput, achCp, static_cast<size_t>(pchEnd - achCp));
    }

    if (fFlags & FMT_F_LEFT)
        cch += rtFmtPadBlanks(pfnOutput, pvArgOutput, cPad);
    return cch;
}
