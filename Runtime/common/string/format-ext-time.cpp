// Timestamps: %RDtimespec, a signed 64-bit nanosecond count shown with grouped digits.
#include "common/string/format-ext-internal.h"

namespace {

enum class FmtTimeKind : uint32_t { Nanoseconds = 0 };

struct FmtTimeType {
    uint8_t cchName;
    char szName[11];
    uint8_t cbValue;
    uint8_t fCheckPtr;   // bit 0: the value is behind a pointer that must be checked
    FmtTimeKind enmKind;
};

constexpr FmtTimeType g_aTimeTypes[] = {
    {9, "Dtimespec", 4, 1, FmtTimeKind::Nanoseconds},
};

// Byte comparison of the format text with a row name over the name's length;
// stops at the format's terminator, which compares below every name byte.
int rtFmtTimeCompare(const char *pszFormat, FmtTimeType const &Row)
{
    for (unsigned i = 0; i < Row.cchName; i++) {
        uint8_t const bFmt = static_cast<uint8_t>(pszFormat[i]);
        uint8_t const bName = static_cast<uint8_t>(Row.szName[i]);
        if (bFmt != bName)
            return bFmt < bName ? -1 : 1;
    }
    return 0;
}

// The same search as the type table: lo and hi inclusive, probe in the middle.
FmtTimeType const *rtFmtTimeFind(const char *pszFormat)
{
    int iLo = 0;
    int iHi = static_cast<int>(RT_ELEMENTS(g_aTimeTypes)) - 1;
    while (iLo <= iHi) {
        int const iProbe = iLo + (iHi - iLo) / 2;
        int const iCmp = rtFmtTimeCompare(pszFormat, g_aTimeTypes[iProbe]);
        if (iCmp == 0)
            return &g_aTimeTypes[iProbe];
        if (iLo == iHi)
            break;
        if (iCmp < 0)
            iHi = iProbe - 1;
        else
            iLo = iProbe + 1;
    }
    return nullptr;
}

} // namespace

size_t rtFmtExtTime(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the D
    FmtTimeType const *pType = rtFmtTimeFind(psz);
    if (!pType) {
        *ppszFormat = psz + 1;
        return 0;
    }
    *ppszFormat = psz + pType->cchName;

    const int64_t *pi64 = va_arg(*pArgs, const int64_t *);
    if ((pType->fCheckPtr & 1) && rtFmtIsBadPtr(pi64))
        return rtFmtBadPointer(pfnOutput, pvArgOutput, pi64, cchWidth, fFlags, "!BadRD");
    return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "%'lld ns", static_cast<long long>(*pi64));
}
