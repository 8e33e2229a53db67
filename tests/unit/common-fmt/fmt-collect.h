// A collecting output callback for the engine tests: the text, each piece
// as the engine handed it over, and the flush calls.
#pragma once

#include <stdarg.h>

#include <string>
#include <vector>

#include <quab/fmt.h>

struct FmtCollector
{
    std::string strText;
    std::vector<std::string> aPieces;
    unsigned cFlushes = 0;
    // What each non-flush call reports: -1 for the piece's length, else this.
    long iReturn = -1;
    size_t uFlushReturn = 0;

    static size_t Output(void *pvArg, const char *pach, size_t cch)
    {
        auto *pThis = static_cast<FmtCollector *>(pvArg);
        if (!pach)
        {
            pThis->cFlushes++;
            return pThis->uFlushReturn;
        }
        pThis->strText.append(pach, cch);
        pThis->aPieces.emplace_back(pach, cch);
        return pThis->iReturn < 0 ? cch : static_cast<size_t>(pThis->iReturn);
    }
};

struct FmtResult
{
    std::string strText;
    size_t cchReturned;
    unsigned cFlushes;
    std::vector<std::string> aPieces;
};

inline FmtResult FmtRunV(const char *pszFormat, va_list va)
{
    FmtCollector Col;
    size_t const cch = RTFmtEngineV(FmtCollector::Output, &Col, nullptr, nullptr, pszFormat, va);
    return FmtResult{Col.strText, cch, Col.cFlushes, Col.aPieces};
}

inline FmtResult FmtRun(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    FmtResult Result = FmtRunV(pszFormat, va);
    va_end(va);
    return Result;
}

// Only the text.
inline std::string Fmt(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    FmtResult Result = FmtRunV(pszFormat, va);
    va_end(va);
    return Result.strText;
}

// Pointers that the formatter must treat as bad: near zero and near the top.
inline const void *FmtLowPtr(uintptr_t u)
{
    return reinterpret_cast<const void *>(u);
}
inline const void *FmtTopPtr(uintptr_t uBelowTop)
{
    return reinterpret_cast<const void *>(~static_cast<uintptr_t>(0) - uBelowTop);
}

inline constexpr bool g_fFmt32BitPtrs = sizeof(void *) == 4;
