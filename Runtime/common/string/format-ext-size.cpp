// Sizes with units: %Rhc (bytes, with B) and %Rhu (plain), binary (b, B) or decimal (i).
#include "common/string/format-ext-internal.h"

namespace {

struct SizeUnit {
    uint64_t uUnit;
    uint8_t cShift;      // binary units only
    const char *pszSuffix;
};

// Largest first: the first unit the value reaches is taken.
constexpr SizeUnit g_aBinaryUnits[] = {
    {UINT64_C(1) << 60, 60, "Ei"}, {UINT64_C(1) << 50, 50, "Pi"}, {UINT64_C(1) << 40, 40, "Ti"},
    {UINT64_C(1) << 30, 30, "Gi"}, {UINT64_C(1) << 20, 20, "Mi"}, {UINT64_C(1) << 10, 10, "Ki"},
};
constexpr SizeUnit g_aDecimalUnits[] = {
    {UINT64_C(1000000000000000000), 0, "E"}, {UINT64_C(1000000000000000), 0, "P"},
    {UINT64_C(1000000000000), 0, "T"},       {UINT64_C(1000000000), 0, "G"},
    {UINT64_C(1000000), 0, "M"},             {UINT64_C(1000), 0, "k"},
};
constexpr uint32_t g_auPow10[] = {1, 10, 100, 1000};

// ((uRem * uScale) >> cShift) without the 64-bit overflow of the product:
// uScale < 2^10, so split uRem at bit cShift - 10.
uint64_t rtFmtSizeBinaryFraction(uint64_t uRem, uint32_t uScale, unsigned cShift)
{
    unsigned const cLow = cShift - 10;
    uint64_t const uHigh = uRem >> cLow;
    uint64_t const uLow = uRem & ((UINT64_C(1) << cLow) - 1);
    return (uHigh * uScale + ((uLow * uScale) >> cLow)) >> 10;
}

// (uRem * uScale + uUnit / 2) / uUnit, rounding half up, without overflow:
// uUnit is a power of ten at least as large as uScale.
uint64_t rtFmtSizeDecimalFraction(uint64_t uRem, uint32_t uScale, uint64_t uUnit)
{
    uint64_t const uStep = uUnit / uScale;
    if (uStep == 1)
        return uRem;
    return (uRem + uStep / 2) / uStep;
}

size_t rtFmtSizeAppend(char *pszBuf, size_t off, const char *psz)
{
    while (*psz)
        pszBuf[off++] = *psz++;
    return off;
}

} // namespace

size_t rtFmtExtSize(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the h
    bool const fBytes = psz[1] == 'c';
    char const chUnits = psz[2];
    if (chUnits != 'b' && chUnits != 'B' && chUnits != 'i') {
        *ppszFormat = psz + 2;
        return 0;
    }
    *ppszFormat = psz + 3;
    uint64_t const uValue = va_arg(*pArgs, uint64_t);

    unsigned const cFraction = cchPrecision < 0 ? 1 : cchPrecision > 3 ? 3 : static_cast<unsigned>(cchPrecision);
    uint32_t const uScale = g_auPow10[cFraction];
    bool const fBinary = chUnits != 'i';
    SizeUnit const *paUnits = fBinary ? g_aBinaryUnits : g_aDecimalUnits;

    // 80 bytes hold the longest text: 20 digits, a point, 3 digits, blank, "EiB".
    char szBuf[80];
    size_t off = 0;
    const char *pszSuffix = "";
    SizeUnit const *pUnit = nullptr;
    for (size_t i = 0; i < RT_ELEMENTS(g_aBinaryUnits); i++) {
        uint64_t const uUnit = paUnits[i].uUnit;
        uint64_t const uThreshold = cFraction > 0 ? uUnit : fBinary ? uUnit * 2 : uUnit + uUnit / 100;
        if (uValue >= uThreshold) {
            pUnit = &paUnits[i];
            break;
        }
    }
    if (!pUnit)
        off = static_cast<size_t>(RTFmtNumber(szBuf, uValue, 10, -1, -1, FMT_F_64BIT));
    else {
        uint64_t uWhole, uFraction = 0;
        if (fBinary) {
            uWhole = uValue >> pUnit->cShift;
            if (cFraction)
                uFraction = rtFmtSizeBinaryFraction(uValue & (pUnit->uUnit - 1), uScale, pUnit->cShift);
        } else {
            uWhole = uValue / pUnit->uUnit;
            if (cFraction) {
                uFraction = rtFmtSizeDecimalFraction(uValue % pUnit->uUnit, uScale, pUnit->uUnit);
                // Rounding 1999 to one digit reaches a whole unit: carry it.
                if (uFraction >= uScale) {
                    uFraction -= uScale;
                    uWhole++;
                }
            }
        }
        off = static_cast<size_t>(RTFmtNumber(szBuf, uWhole, 10, -1, -1, FMT_F_64BIT));
        if (cFraction) {
            szBuf[off++] = '.';
            off += static_cast<size_t>(
                RTFmtNumber(&szBuf[off], uFraction, 10, static_cast<int>(cFraction), -1,
                            FMT_F_ZEROPAD | FMT_F_64BIT));
        }
        pszSuffix = pUnit->pszSuffix;
    }
    if (fFlags & FMT_F_BLANK)
        szBuf[off++] = ' ';
    // B drops the i of the binary suffixes: K, M, G ...
    if (chUnits == 'B' && *pszSuffix)
        szBuf[off++] = *pszSuffix;
    else
        off = rtFmtSizeAppend(szBuf, off, pszSuffix);
    if (fBytes)
        szBuf[off++] = 'B';

    size_t cch = 0;
    if (cchWidth > static_cast<int>(off) && !(fFlags & FMT_F_LEFT))
        cch += rtFmtExtRepeat(pfnOutput, pvArgOutput, (fFlags & FMT_F_ZEROPAD) ? "0" : " ", 1,
                              cchWidth - static_cast<int>(off));
    return cch + pfnOutput(pvArgOutput, szBuf, off);
}
