// Formats through the engine into a string, counting flush calls and checking the returned total.
#pragma once

#include <gtest/gtest.h>

#include <quab/fmt.h>

#include <stdarg.h>
#include <string>

struct FmtSink {
    std::string strText;
    unsigned cCalls = 0;
    unsigned cFlushes = 0;

    static size_t Output(void *pvArg, const char *pach, size_t cch)
    {
        auto *pThis = static_cast<FmtSink *>(pvArg);
        if (!pach && cch == 0) {
            pThis->cFlushes++;
            return 0;
        }
        pThis->strText.append(pach, cch);
        pThis->cCalls++;
        return cch;
    }
};

inline std::string Fmt(const char *pszFormat, ...)
{
    FmtSink Sink;
    va_list va;
    va_start(va, pszFormat);
    size_t const cch = RTFmtEngineV(FmtSink::Output, &Sink, nullptr, nullptr, pszFormat, va);
    va_end(va);
    EXPECT_EQ(cch, Sink.strText.size()) << pszFormat;
    return Sink.strText;
}

// The expected bad-pointer text for p with a marker: two hex digits per pointer byte.
inline std::string BadPtr(uintptr_t u, const char *pszMarker)
{
    static const char s_achDigits[] = "0123456789abcdef";
    std::string str = "<";
    for (int i = static_cast<int>(sizeof(void *)) * 2 - 1; i >= 0; i--)
        str += s_achDigits[(u >> (4 * i)) & 15];
    return str + pszMarker + ">";
}
