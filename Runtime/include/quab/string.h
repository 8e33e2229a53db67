// Strings: UTF-8/UTF-16 validation and conversion, single code points,
// allocation, bounded copy and append, and the formatting front ends for
// fixed buffers and allocated strings. Everything allocated here (and by the
// conversions) is freed with RTStrDispose.
#pragma once

#include <quab/types.h>

inline constexpr RTUNICP CODEPOINT_INVALID = 0xFFFFFFFEu;
inline constexpr uint32_t STR_CHECK_F_TERMINATED = 1;
inline constexpr uint32_t STR_CHECK_F_EXACT = 2;

// Conversions.
int32_t RTStrToUtf16(const char *pszString, RTUTF16 **ppwszString, const char *pszTag = nullptr);
int32_t RTStrToUtf16Ex(const char *pszString, size_t cchString, RTUTF16 **ppwsz, size_t cwc, size_t *pcwc,
                       const char *pszTag = nullptr);
int32_t RTUtf16ToUtf8Ex(const RTUTF16 *pwszString, size_t cwcString, char **ppsz, size_t cch, size_t *pcch,
                        const char *pszTag = nullptr);
int32_t RTStrUtf8ToAnsiCp(char **ppszString, const char *pszString, const char *pszTag = nullptr);

// Counting and checking.
int32_t RTStrCountUtf16Units(const char *psz, size_t cch, size_t *pcwc);
int32_t RTUtf16CountUtf8Bytes(const RTUTF16 *pwsz, size_t cwc, size_t *pcch);
size_t RTStrCountCodePoints(const char *psz);
int32_t RTStrCheckEncoding(const char *psz, size_t cch, uint32_t fFlags);
size_t RTUtf16Units(const RTUTF16 *pwsz);

// Single code points.
int32_t RTStrDecodeCp(const char **ppsz, RTUNICP *pCp);
RTUNICP RTStrPeekCp(const char *psz);
int32_t RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp);
char *RTStrEncodeCp(char *psz, RTUNICP uCp);
const char *RTStrPrevCharStart(const char *pszStart, const char *psz);
int32_t RTUtf16DecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp);
int32_t RTUtf16BigDecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp);
int32_t RTStrToCodePointsEx(const char *psz, size_t cch, RTUNICP **ppaCps, size_t cCps, size_t *pcCps);

// Memory.
char *RTStrAllocate(size_t cb, const char *pszTag = nullptr);
int32_t RTStrResize(char **ppsz, size_t cbNew, const char *pszTag = nullptr);
void RTStrDispose(void *pv);
char *RTStrClone(const char *psz, const char *pszTag = nullptr);
char *RTStrCloneN(const char *psz, size_t cchMax, const char *pszTag = nullptr);
int32_t RTStrCloneNEx(char **ppsz, const char *psz, size_t cchMax, const char *pszTag = nullptr);
RTUTF16 *RTUtf16Allocate(size_t cb, const char *pszTag = nullptr);
int32_t RTUtf16Resize(RTUTF16 **ppwsz, size_t cbNew, const char *pszTag = nullptr);
RTUTF16 *RTUtf16Clone(const RTUTF16 *pwsz, const char *pszTag = nullptr);

// Length, copy, append, compare.
size_t RTStrLenMax(const char *psz, size_t cchMax);
int32_t RTStrCopyBounded(char *pszDst, size_t cbDst, const char *pszSrc);
int32_t RTStrAppendBounded(char *pszDst, size_t cbDst, const char *pszSrc);
int RTStrCaseCmpAscii(const char *psz1, const char *pszAscii);

// Formatting front ends.
size_t RTStrFmtToBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
size_t RTStrFmtToBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args);
ptrdiff_t RTStrFmtToBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
ptrdiff_t RTStrFmtToBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args);
int RTStrFmtAllocV(char **ppszBuffer, const char *pszFormat, va_list args, const char *pszTag = nullptr);
int RTStrFmtAlloc(char **ppszBuffer, const char *pszFormat, ...);
