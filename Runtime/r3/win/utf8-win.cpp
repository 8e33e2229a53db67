// UTF-8 to the current ANSI code page, for text written to a console that
// does not take UTF-8.
#include "utf8-win.h"

#include <quab/err.h>
#include <quab/mem.h>
#include <quab/string.h>

static constexpr const char g_szTag[] = "Runtime/r3/win/utf8-win";

static UINT WINAPI utf8SysGetACP()
{
    return GetACP();
}

static int WINAPI utf8SysWideCharToMultiByte(UINT uCodePage, DWORD fFlags, LPCWCH pwsz, int cwc, LPSTR psz, int cb,
                                             LPCCH pszDefault, LPBOOL pfUsedDefault)
{
    return WideCharToMultiByte(uCodePage, fFlags, pwsz, cwc, psz, cb, pszDefault, pfUsedDefault);
}

constinit PFNRTGETACP g_pfnrtUtf8GetACP = utf8SysGetACP;
constinit PFNRTWIDECHARTOMULTIBYTE g_pfnrtUtf8WideCharToMultiByte = utf8SysWideCharToMultiByte;

int32_t RTStrUtf8ToAnsiCp(char **ppszString, const char *pszString, const char *pszTag)
{
    if (!RT_VALID_PTR(ppszString))
        return RTE_INVALID_PARAMETER;
    *ppszString = nullptr;
    if (!RT_VALID_PTR(pszString))
        return RTE_INVALID_PARAMETER;

    if (!*pszString) {
        *ppszString = RTStrAllocate(1, pszTag);
        return *ppszString ? RT_OK : RTE_NO_STRING_MEMORY;
    }

    if (g_pfnrtUtf8GetACP() == CP_UTF8) {
        RT_TRY(RTStrCheckEncoding(pszString, RTSTR_MAX, 0));
        *ppszString = RTStrClone(pszString, pszTag);
        return *ppszString ? RT_OK : RTE_NO_STRING_MEMORY;
    }

    RTUTF16 *pwsz = nullptr;
    RT_TRY(RTStrToUtf16Ex(pszString, RTSTR_MAX, &pwsz, 0, nullptr, g_szTag));
    LPCWCH const pwc = reinterpret_cast<LPCWCH>(pwsz);

    int32_t rc;
    int const cb = g_pfnrtUtf8WideCharToMultiByte(CP_ACP, 0, pwc, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        rc = RTErrConvertFromWinError(GetLastError());
    else {
        char *psz = static_cast<char *>(RTMemAllocTag(static_cast<size_t>(cb), pszTag));
        if (!psz)
            rc = RTE_NO_TEMP_MEMORY;
        else if (g_pfnrtUtf8WideCharToMultiByte(CP_ACP, 0, pwc, -1, psz, cb, nullptr, nullptr) > 0) {
            *ppszString = psz;
            rc = RT_OK;
        } else {
            rc = RTErrConvertFromWinError(GetLastError());
            RTStrDispose(psz);
        }
    }
    RTStrDispose(pwsz);
    return rc;
}
