// Named conversions (%R[name]): a registry looked up by name; nothing registers, so every name is missing.
#include "common/string/format-ext-internal.h"

namespace {

// Sorted by name. No part of the system registers a conversion.
constinit const FmtCustomType *g_paFmtCustomTypes = nullptr;
constinit uint32_t g_cFmtCustomTypes = 0;

int rtFmtCustomTypeCompare(const char *pchName, size_t cchName, FmtCustomType const &Entry)
{
    size_t const cchEntry = Entry.cchName < sizeof(Entry.szName) ? Entry.cchName : sizeof(Entry.szName);
    size_t const cchCommon = cchName < cchEntry ? cchName : cchEntry;
    int const iCmp = __builtin_memcmp(pchName, Entry.szName, cchCommon);
    if (iCmp)
        return iCmp;
    return cchName < cchEntry ? -1 : cchName > cchEntry ? 1 : 0;
}

} // namespace

int rtFmtCustomTypeFind(const FmtCustomType *paTypes, uint32_t cTypes, const char *pchName, size_t cchName)
{
    uint32_t iLo = 0;
    uint32_t iHi = cTypes;
    while (iLo < iHi) {
        uint32_t const iMid = iLo + (iHi - iLo) / 2;
        int const iCmp = rtFmtCustomTypeCompare(pchName, cchName, paTypes[iMid]);
        if (iCmp == 0)
            return static_cast<int>(iMid);
        if (iCmp < 0)
            iHi = iMid;
        else
            iLo = iMid + 1;
    }
    return -1;
}

size_t rtFmtCustomTypeIn(const FmtCustomType *paTypes, uint32_t cTypes, FmtOutputFn pfnOutput, void *pvArgOutput,
                         const char **ppszFormat, va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags)
{
    const char *psz = *ppszFormat;   // at the [
    const void *pvValue = va_arg(*pArgs, const void *);

    const char *pchName = psz + 1;
    const char *pch = pchName;
    while (*pch && *pch != ']' && *pch != '%' && *pch != '[')
        pch++;
    if (*pch != ']') {
        *ppszFormat = psz + 1;
        return 0;
    }
    size_t const cchName = static_cast<size_t>(pch - pchName);
    *ppszFormat = pch + 1;

    int const i = rtFmtCustomTypeFind(paTypes, cTypes, pchName, cchName);
    if (i < 0) {
        size_t cch = rtFmtExtOut(pfnOutput, pvArgOutput, "<missing:%R[");
        cch += pfnOutput(pvArgOutput, pchName, cchName);
        return cch + rtFmtExtOut(pfnOutput, pvArgOutput, "]>");
    }
    FmtCustomType const &Entry = paTypes[i];
    FmtCustomTypeFn const pfnHandler = __atomic_load_n(&Entry.pfnHandler, __ATOMIC_RELAXED);
    // An entry being filled in publishes its handler last; pair with that.
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    void *pvUser = __atomic_load_n(&Entry.pvUser, __ATOMIC_RELAXED);
    if (!pfnHandler)
        return 0;
    return pfnHandler(pfnOutput, pvArgOutput, Entry.szName, pvValue, cchWidth, cchPrecision, fFlags, pvUser);
}

size_t rtFmtCustomType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                       int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    return rtFmtCustomTypeIn(__atomic_load_n(&g_paFmtCustomTypes, __ATOMIC_ACQUIRE),
                             __atomic_load_n(&g_cFmtCustomTypes, __ATOMIC_ACQUIRE), pfnOutput, pvArgOutput,
                             ppszFormat, pArgs, cchWidth, cchPrecision, fFlags);
}
