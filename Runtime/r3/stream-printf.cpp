// Formatted output into a stream: the formatting engine writes each piece
// straight into the stream's buffer under the stream's lock.
#include <windows.h>

#include <quab/fmt.h>

#include "r3/stream-internal.h"

namespace {

size_t rtStreamPrintfOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    if (cbChars)
        (void)rtStreamWrite(static_cast<RtStream *>(pvArg), pachChars, cbChars, true);
    return cbChars;
}

} // namespace

int RTStreamPrintfV(RtStream *pStream, const char *pszFormat, va_list args)
{
    if (!RT_VALID_PTR(pStream) || pStream->u32Magic != RTSTREAM_MAGIC)
        return RTE_INVALID_PARAMETER;
    if (pStream->rcStatus < 0)
        return -1;
    CRITICAL_SECTION *pLock = rtStreamGetLock(pStream);
    if (pLock)
        EnterCriticalSection(pLock);
    size_t const cch = RTFmtEngineV(rtStreamPrintfOutput, pStream, nullptr, nullptr, pszFormat, args);
    if (pLock)
        LeaveCriticalSection(pLock);
    return static_cast<int>(cch);
}

int RTStreamPrintf(RtStream *pStream, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const rc = RTStreamPrintfV(pStream, pszFormat, args);
    va_end(args);
    return rc;
}

int RTStdOutPrintf(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const rc = RTStreamPrintfV(g_pStreamStdOut, pszFormat, args);
    va_end(args);
    return rc;
}
