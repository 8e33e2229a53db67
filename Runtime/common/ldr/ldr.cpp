// Loader entry points that work on a module record: symbol look-up, the
// native handle and release.
#include <quab/mem.h>

#include "common/ldr/ldr-internal.h"

bool rtLdrIsValidModule(const RTLDRMODINTERNAL *pMod)
{
    return RT_VALID_PTR(pMod) && pMod->u32Magic == RTLDRMOD_MAGIC;
}

bool rtLdrHasSuffix(const char *pszPath)
{
    const char *pszDot = nullptr;
    for (const char *psz = pszPath; *psz; psz++) {
        if (*psz == '.')
            pszDot = psz;
        else if (*psz == '/' || *psz == '\\' || *psz == ':')
            pszDot = nullptr;
    }
    return pszDot && pszDot != pszPath && pszDot[1] != '\0';
}

int32_t RTLdrFindSymbol(RTLDRMOD hLdrMod, const char *pszSymbol, void **ppvValue)
{
    if (!rtLdrIsValidModule(hLdrMod))
        return RTE_INVALID_HANDLE;
    if (!pszSymbol)
        return RTE_INVALID_PARAMETER;
    if (!RT_VALID_PTR(ppvValue))
        return RTE_INVALID_POINTER;
    return hLdrMod->pOps->pfnGetSymbol(hLdrMod, pszSymbol, ppvValue);
}

void *RTLdrFindSymbolOrNull(RTLDRMOD hLdrMod, const char *pszSymbol)
{
    void *pvValue = nullptr;
    return RTLdrFindSymbol(hLdrMod, pszSymbol, &pvValue) >= 0 ? pvValue : nullptr;
}

int32_t RTLdrRelease(RTLDRMOD hLdrMod)
{
    if (!hLdrMod)
        return RT_OK;
    if (!rtLdrIsValidModule(hLdrMod))
        return RTE_INVALID_HANDLE;
    int32_t const rc = hLdrMod->pOps->pfnClose(hLdrMod);
    hLdrMod->u32Magic++;
    RTMemFree(hLdrMod);
    return rc;
}

uintptr_t RTLdrNativeHandle(RTLDRMOD hLdrMod)
{
    if (!rtLdrIsValidModule(hLdrMod) || hLdrMod->pOps != &g_rtldrNativeOps)
        return RTLDR_NIL_NATIVE;
    return hLdrMod->hNative;
}
