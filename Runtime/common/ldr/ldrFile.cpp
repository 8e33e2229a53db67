// Opening libraries: by absolute path, and by plain name from the system
// directory.
#include <quab/mem.h>

#include "common/ldr/ldr-internal.h"

int32_t RTLdrOpenFile(const char *pszPath, RTLDRMOD *phLdrMod, uint32_t fFlags, RTERRINFO *pErrInfo)
{
    RTErrInfoClear(pErrInfo);
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(phLdrMod))
        return RTE_INVALID_POINTER;
    *phLdrMod = nullptr;
    if (fFlags > RTLDRLOAD_F_VALID_MASK)
        return RTE_INVALID_PARAMETER;

    auto *pMod = static_cast<RTLDRMODINTERNAL *>(RTMemAllocTag(sizeof(RTLDRMODINTERNAL), "ldr"));
    if (!pMod)
        return RTErrInfoSetFormat(pErrInfo, RTE_NO_MEMORY, "Failed to allocate %zu bytes for the module handle",
                                  sizeof(RTLDRMODINTERNAL));
    *pMod = RTLDRMODINTERNAL{RTLDRMOD_MAGIC, &g_rtldrNativeOps, RTLDR_NIL_NATIVE, fFlags};
    int32_t const rc = rtldrNativeLoad(pszPath, &pMod->hNative, fFlags, pErrInfo);
    if (rc < 0) {
        RTMemFree(pMod);
        return rc;
    }
    *phLdrMod = pMod;
    return rc;
}

int32_t rtLdrOpenSystemWithFlags(const char *pszFilename, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    if (!RT_VALID_PTR(phLdrMod))
        return RTE_INVALID_PARAMETER;
    *phLdrMod = nullptr;
    if (!RT_VALID_PTR(pszFilename))
        return RTE_INVALID_PARAMETER;
    size_t cch = 0;
    for (; pszFilename[cch]; cch++)
        if (pszFilename[cch] == '/' || pszFilename[cch] == '\\' || pszFilename[cch] == ':')
            return RTE_INVALID_PARAMETER;
    if (fFlags & RTLDRLOAD_F_RESERVED_MASK)
        return RTE_INVALID_FLAGS;
    if (cch >= RTLDR_NAME_MAX)
        return RTE_INVALID_PARAMETER;
    return rtldrNativeLoadSystem(pszFilename, rtLdrHasSuffix(pszFilename) ? nullptr : ".DLL", fFlags, phLdrMod);
}

int32_t RTLdrOpenSystem(const char *pszFilename, bool fNoUnload, RTLDRMOD *phLdrMod)
{
    return rtLdrOpenSystemWithFlags(pszFilename, fNoUnload ? RTLDRLOAD_F_NO_UNLOAD : 0, phLdrMod);
}

void *RTLdrFindSystemSymbol(const char *pszFilename, const char *pszSymbol)
{
    RTLDRMOD hMod = nullptr;
    if (rtLdrOpenSystemWithFlags(pszFilename, RTLDRLOAD_F_NO_UNLOAD, &hMod) < 0)
        return nullptr;
    void *pvValue = RTLdrFindSymbolOrNull(hMod, pszSymbol);
    (void)RTLdrRelease(hMod);
    return pvValue;
}
