// The loader's module record and its operations table, shared by the
// portable entry points and the native (Windows) loader.
#pragma once

#include <quab/ldr.h>

inline constexpr uint32_t RTLDRMOD_MAGIC = 0x19531118u;
inline constexpr uintptr_t RTLDR_NIL_NATIVE = ~static_cast<uintptr_t>(0);

struct RTLDROPS {
    const char *pszName;
    int32_t (*pfnClose)(RTLDRMODINTERNAL *pMod);
    int32_t (*pfnGetSymbol)(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue);
};

struct RTLDRMODINTERNAL {
    uint32_t u32Magic;
    const RTLDROPS *pOps;
    uintptr_t hNative;      // HMODULE; RTLDR_NIL_NATIVE when not loaded or closed
    uint32_t fFlags;        // RTLDRLOAD_F_*
};

extern const RTLDROPS g_rtldrNativeOps;

inline constexpr uint32_t RTLDRLOAD_F_VALID_MASK = 0x0F;
// Bits RTLdrOpenSystem reserves; a caller passing them gets RTE_INVALID_FLAGS.
inline constexpr uint32_t RTLDRLOAD_F_RESERVED_MASK = 0x0FF0;
inline constexpr size_t RTLDR_NAME_MAX = 3075;

bool rtLdrIsValidModule(const RTLDRMODINTERNAL *pMod);
// True when the last component's final "." is not the string's first byte
// and has something after it.
bool rtLdrHasSuffix(const char *pszPath);

int32_t rtldrNativeLoadSystem(const char *pszFilename, const char *pszSuffix, uint32_t fFlags, RTLDRMOD *phLdrMod);
int32_t rtldrNativeLoad(const char *pszPath, uintptr_t *phNative, uint32_t fFlags, RTERRINFO *pErrInfo);
int32_t rtLdrOpenSystemWithFlags(const char *pszFilename, uint32_t fFlags, RTLDRMOD *phLdrMod);
