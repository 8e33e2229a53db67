// x86 control registers (%RAx86[cr0], %RAx86[cr4]): the value and the names of its set bits.
#include "common/string/format-ext-internal.h"

namespace {

struct RegBit {
    uint8_t iBit;
    const char *pszName;
};

constexpr RegBit g_aCr0Bits[] = {
    {0, "PE"}, {1, "MP"}, {2, "EM"}, {3, "TS"}, {4, "ET"}, {5, "NE"},
    {16, "WP"}, {18, "AM"}, {29, "NW"}, {30, "CD"}, {31, "PG"},
};
constexpr RegBit g_aCr4Bits[] = {
    {0, "VME"}, {1, "PVI"}, {2, "TSD"}, {3, "DE"}, {4, "PSE"}, {5, "PAE"}, {6, "MCE"}, {7, "PGE"},
    {8, "PCE"}, {9, "OSFXSR"}, {10, "OSXMMEEXCPT"}, {13, "VMXE"}, {14, "SMXE"}, {17, "PCIDE"},
    {18, "OSXSAVE"}, {20, "SMEP"}, {21, "SMAP"},
};

struct RegDesc {
    const char *pszArch;
    const char *pszReg;
    const RegBit *paBits;
    size_t cBits;
};

constexpr RegDesc g_aRegs[] = {
    {"x86", "cr0", g_aCr0Bits, RT_ELEMENTS(g_aCr0Bits)},
    {"x86", "cr4", g_aCr4Bits, RT_ELEMENTS(g_aCr4Bits)},
};

bool rtFmtSameText(const char *pch, size_t cch, const char *psz)
{
    size_t i = 0;
    for (; i < cch; i++)
        if (psz[i] != pch[i])
            return false;
    return psz[i] == '\0';
}

size_t rtFmtStrLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch])
        cch++;
    return cch;
}

} // namespace

size_t rtFmtExtArch(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the A
    const char *pchArch = psz + 1;
    const char *pch = pchArch;
    while (*pch && *pch != '[' && *pch != ']' && *pch != '%')
        pch++;
    if (*pch != '[') {
        *ppszFormat = psz + 1;
        return 0;
    }
    size_t const cchArch = static_cast<size_t>(pch - pchArch);
    const char *pchReg = ++pch;
    while (*pch && *pch != ']' && *pch != '[' && *pch != '%')
        pch++;
    if (*pch != ']') {
        *ppszFormat = psz + 1;
        return 0;
    }
    size_t const cchReg = static_cast<size_t>(pch - pchReg);
    *ppszFormat = pch + 1;

    RegDesc const *pReg = nullptr;
    for (RegDesc const &Reg : g_aRegs)
        if (rtFmtSameText(pchArch, cchArch, Reg.pszArch) && rtFmtSameText(pchReg, cchReg, Reg.pszReg))
            pReg = &Reg;
    if (!pReg)
        return 0;

    uint64_t const uValue = va_arg(*pArgs, uint64_t);
    size_t cch = rtFmtExtNumber(pfnOutput, pvArgOutput, uValue, 16, 8, -1, FMT_F_ZEROPAD | FMT_F_64BIT);
    uint64_t uUnnamed = uValue;
    bool fListed = false;
    for (size_t i = 0; i < pReg->cBits; i++) {
        uint64_t const fBit = UINT64_C(1) << pReg->paBits[i].iBit;
        if (!(uValue & fBit))
            continue;
        uUnnamed &= ~fBit;
        cch += pfnOutput(pvArgOutput, fListed ? "," : "{", 1);
        cch += pfnOutput(pvArgOutput, pReg->paBits[i].pszName, rtFmtStrLen(pReg->paBits[i].pszName));
        fListed = true;
    }
    if (uUnnamed) {
        cch += fListed ? rtFmtExtOut(pfnOutput, pvArgOutput, ",unkn=") : rtFmtExtOut(pfnOutput, pvArgOutput, "{unkn=");
        cch += rtFmtExtNumber(pfnOutput, pvArgOutput, uUnnamed, 16, -1, -1, FMT_F_64BIT);
        fListed = true;
    }
    if (fListed)
        cch += pfnOutput(pvArgOutput, "}", 1);
    return cch;
}
