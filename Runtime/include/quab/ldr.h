// Loading system libraries: from the system directory only, by full path,
// symbol look-up and release.
#pragma once

#include <quab/errinfo.h>
#include <quab/types.h>

struct RTLDRMODINTERNAL;
using RTLDRMOD = RTLDRMODINTERNAL *;

inline constexpr uint32_t RTLDRLOAD_F_NO_UNLOAD = 2;
inline constexpr uint32_t RTLDRLOAD_F_SEARCH_SYSTEM = 4;
inline constexpr uint32_t RTLDRLOAD_F_NO_SUFFIX = 8;

// A plain file name (no "/", "\" or ":"), loaded from the system directory;
// ".DLL" is added when the name has no suffix.
int32_t RTLdrOpenSystem(const char *pszFilename, bool fNoUnload, RTLDRMOD *phLdrMod);
int32_t RTLdrOpenFile(const char *pszPath, RTLDRMOD *phLdrMod, uint32_t fFlags, RTERRINFO *pErrInfo);
int32_t RTLdrFindSymbol(RTLDRMOD hLdrMod, const char *pszSymbol, void **ppvValue);
void *RTLdrFindSymbolOrNull(RTLDRMOD hLdrMod, const char *pszSymbol);
// Loads the system library for the look-up only; the library stays loaded.
void *RTLdrFindSystemSymbol(const char *pszFilename, const char *pszSymbol);
int32_t RTLdrRelease(RTLDRMOD hLdrMod);
// The HMODULE, or all ones for an invalid or non-native record.
uintptr_t RTLdrNativeHandle(RTLDRMOD hLdrMod);
