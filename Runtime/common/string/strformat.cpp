// Formatting front ends: into a caller's fixed buffer, and into a newly
// allocated string.
#include <quab/fmt.h>

#include "strformat-internal.h"

size_t RTStrFmtToBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args)
{
    if (cbBuf == 0)
        return 0;
    *pszBuf = '\0';
    RTSTRBUFOUT State = {pszBuf, cbBuf - 1, false};
    return RTFmtEngineV(rtStrFmtBufOutput, &State, nullptr, nullptr, pszFormat, args);
}

size_t RTStrFmtToBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    size_t const cch = RTStrFmtToBufV(pszBuf, cbBuf, pszFormat, args);
    va_end(args);
    return cch;
}

ptrdiff_t RTStrFmtToBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args)
{
    if (cbBuf)
        *pszBuf = '\0';
    // Without even room for a terminator nothing fits, not even empty text.
    RTSTRBUFOUT State = {pszBuf, cbBuf, cbBuf == 0};
    size_t const cch = RTFmtEngineV(rtStrFmtBufExOutput, &State, nullptr, nullptr, pszFormat, args);
    if (State.fOverflow)
        return -1 - static_cast<ptrdiff_t>(cch);
    return static_cast<ptrdiff_t>(cch);
}

ptrdiff_t RTStrFmtToBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    ptrdiff_t const cch = RTStrFmtToBufExV(pszBuf, cbBuf, pszFormat, args);
    va_end(args);
    return cch;
}

int RTStrFmtAllocV(char **ppszBuffer, const char *pszFormat, va_list args, const char *pszTag)
{
    char achStack[RTSTRFMTALLOC_STACK];
    RTSTRALLOCOUT State;
    rtStrFmtAllocInit(&State, achStack, sizeof(achStack), pszTag);
    RTFmtEngineV(rtStrFmtAllocOutput, &State, nullptr, nullptr, pszFormat, args);
    return rtStrFmtAllocFinish(&State, ppszBuffer);
}

int RTStrFmtAlloc(char **ppszBuffer, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const cch = RTStrFmtAllocV(ppszBuffer, pszFormat, args, "Runtime/common/string/strformat");
    va_end(args);
    return cch;
}
