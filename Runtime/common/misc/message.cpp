// Message lines: every line of a message gets the program name and a word
// such as "error: " in front, so scripts can tell whose text it is.
#include <quab/init.h>
#include <quab/stream.h>
#include <quab/string.h>

namespace {

constinit const char *g_pszMsgProgName = nullptr;

const char *rtMessageProgName()
{
    // Kept once known; before initialisation recorded a path there is none yet.
    if (!g_pszMsgProgName && g_offExecName < g_cchExecPath && g_cchExecPath < RTPATH_EXEC_MAX)
        g_pszMsgProgName = &g_szExecPath[g_offExecName];
    return g_pszMsgProgName ? g_pszMsgProgName : "";
}

bool rtMessageHasLineFeed(const char *psz)
{
    for (; *psz; psz++)
        if (*psz == '\n')
            return true;
    return false;
}

int rtMessageWorker(RtStream *pStream, const char *pszPrefix, const char *pszFormat, va_list args)
{
    if (!pszFormat || !*pszFormat || (pszFormat[0] == '\n' && !pszFormat[1])) {
        RTStreamPrintf(pStream, "\n");
        return 0;
    }
    const char *pszProgName = rtMessageProgName();

    char *pszMsg = nullptr;
    va_list argsCopy;
    va_copy(argsCopy, args);
    int const cchMsg = RTStrFmtAllocV(&pszMsg, pszFormat, argsCopy, "message");
    va_end(argsCopy);
    if (cchMsg >= 0 && pszMsg) {
        const char *pszLine = pszMsg;
        while (*pszLine) {
            size_t cchLine = 0;
            while (pszLine[cchLine] && pszLine[cchLine] != '\n')
                cchLine++;
            if (cchLine)
                RTStreamPrintf(pStream, "%s: %s%.*s\n", pszProgName, pszPrefix, static_cast<int>(cchLine), pszLine);
            else
                RTStreamPrintf(pStream, "\n");
            pszLine += cchLine;
            if (*pszLine == '\n')
                pszLine++;
        }
        RTStrDispose(pszMsg);
        return 0;
    }

    // No memory for the text: the same words, only without the per-line prefixes.
    RTStreamPrintf(pStream, "%s: %s", pszProgName, pszPrefix);
    RTStreamPrintfV(pStream, pszFormat, args);
    if (!rtMessageHasLineFeed(pszFormat))
        RTStreamPrintf(pStream, "\n");
    return 0;
}

} // namespace

int RTMessageErrorV(const char *pszFormat, va_list args)
{
    return rtMessageWorker(g_pStreamStdErr, "error: ", pszFormat, args);
}

int RTMessageError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtMessageWorker(g_pStreamStdErr, "error: ", pszFormat, args);
    va_end(args);
    return 0;
}

int RTMessageInfoV(const char *pszFormat, va_list args)
{
    return rtMessageWorker(g_pStreamStdOut, "info: ", pszFormat, args);
}

int RTMessageInfo(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtMessageWorker(g_pStreamStdOut, "info: ", pszFormat, args);
    va_end(args);
    return 0;
}

int RTMessageInitFailure(int32_t rcInit)
{
    if (g_offExecName > 0 && g_offExecName < RTPATH_EXEC_MAX && g_szExecPath[0] && g_szExecPath[g_offExecName])
        RTStreamPrintf(g_pStreamStdErr, "%s: fatal error: RTR3Init: %Rrc\n", &g_szExecPath[g_offExecName], rcInit);
    else
        RTStreamPrintf(g_pStreamStdErr, "fatal error: RTR3Init: %Rrc\n", rcInit);
    return 3;
}
