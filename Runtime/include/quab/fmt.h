// The formatting engine: one non-template core writing to an output callback;
// buffers, strings and streams are thin callbacks around it.
#pragma once

#include <quab/types.h>

// Receives pieces of output (not terminated); returns the count it accounts
// for. Every engine run ends with one flush call (nullptr, 0) whose result is
// not counted.
using FmtOutputFn = size_t (*)(void *pvArgOutput, const char *pachChars, size_t cbChars);

// Optional handler for conversion letters the engine does not know. The
// cursor points at the letter on entry and must be advanced past what the
// handler consumed; arguments come from *pArgs.
using FmtConversionFn = size_t (*)(void *pvArg, FmtOutputFn pfnOutput, void *pvArgOutput,
                                   const char **ppszFormat, va_list *pArgs, int cchWidth,
                                   int cchPrecision, unsigned fFlags, char chArgSize);

inline constexpr unsigned FMT_F_CAPITAL   = 0x0001;
inline constexpr unsigned FMT_F_LEFT      = 0x0002;
inline constexpr unsigned FMT_F_ZEROPAD   = 0x0004;
inline constexpr unsigned FMT_F_SPECIAL   = 0x0008;
inline constexpr unsigned FMT_F_SIGNED    = 0x0010;
inline constexpr unsigned FMT_F_PLUS      = 0x0020;
inline constexpr unsigned FMT_F_BLANK     = 0x0040;
inline constexpr unsigned FMT_F_WIDTH     = 0x0080;
inline constexpr unsigned FMT_F_PRECISION = 0x0100;
inline constexpr unsigned FMT_F_GROUP     = 0x0200;
inline constexpr unsigned FMT_F_HIDE_PTR  = 0x0400;
inline constexpr unsigned FMT_F_8BIT      = 0x0800;
inline constexpr unsigned FMT_F_16BIT     = 0x1000;
inline constexpr unsigned FMT_F_32BIT     = 0x2000;
inline constexpr unsigned FMT_F_64BIT     = 0x4000;

size_t RTFmtEngineV(FmtOutputFn pfnOutput, void *pvArgOutput, FmtConversionFn pfnFormat, void *pvArgFormat,
                    const char *pszFormat, va_list args);
size_t RTFmtToCallback(FmtOutputFn pfnOutput, void *pvArgOutput, FmtConversionFn pfnFormat, void *pvArgFormat,
                       const char *pszFormat, ...);

// Renders one integer into psz (at least 64 bytes); returns the length.
int RTFmtNumber(char *psz, uint64_t u64Value, unsigned uiBase, int cchWidth, int cchPrecision, unsigned fFlags);
// Bounded forms: the length, or RTE_BUFFER_OVERFLOW with the text cut.
int RTFmtU32ToBuf(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uiBase, int cchWidth, int cchPrecision,
                  unsigned fFlags);
int RTFmtU64ToBuf(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uiBase, int cchWidth, int cchPrecision,
                  unsigned fFlags);

// The %R handler (runtime types); the cursor points at the R on entry.
size_t RTFmtRuntimeType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                        int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);
