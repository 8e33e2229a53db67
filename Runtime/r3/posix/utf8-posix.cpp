// The host stand-in for the ANSI code-page conversion: the host console is
// taken to speak UTF-8, so the result is a checked copy.
#include <quab/string.h>

int32_t RTStrUtf8ToAnsiCp(char **ppszString, const char *pszString, const char *pszTag)
{
    if (!RT_VALID_PTR(ppszString))
        return RTE_INVALID_PARAMETER;
    *ppszString = nullptr;
    if (!RT_VALID_PTR(pszString))
        return RTE_INVALID_PARAMETER;
    RT_TRY(RTStrCheckEncoding(pszString, RTSTR_MAX, 0));
    *ppszString = RTStrClone(pszString, pszTag);
    return *ppszString ? RT_OK : RTE_NO_STRING_MEMORY;
}
