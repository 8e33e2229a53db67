// Windows paths: the current directory, the program and temporary
// directories, and changing the current directory.
#include <windows.h>

#include <quab/err.h>
#include <quab/init.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "common/path/path-internal.h"

namespace {

inline constexpr DWORD kCwdUnits = 4100;

} // namespace

int32_t rtPathNativeQueryCurrentDir(char chDrive, char *pszPath, size_t cbPath)
{
    // Two buffers: what the system calls the current directory, and its
    // normalised full form.
    RTUTF16 *pwszBuf = static_cast<RTUTF16 *>(RTMemAllocTag(2 * kCwdUnits * sizeof(RTUTF16), "pathcwd"));
    if (!pwszBuf)
        return RTE_NO_TEMP_MEMORY;
    RTUTF16 *pwszFull = pwszBuf + kCwdUnits;
    int32_t rc = RT_OK;
    DWORD cwc;
    if (chDrive) {
        RTUTF16 const wszDrive[3] = {static_cast<RTUTF16>(chDrive), u':', 0};
        cwc = GetFullPathNameW(reinterpret_cast<LPCWSTR>(wszDrive), kCwdUnits, reinterpret_cast<LPWSTR>(pwszFull),
                               nullptr);
    } else {
        cwc = GetCurrentDirectoryW(kCwdUnits, reinterpret_cast<LPWSTR>(pwszBuf));
        if (cwc && cwc < kCwdUnits)
            cwc = GetFullPathNameW(reinterpret_cast<LPCWSTR>(pwszBuf), kCwdUnits, reinterpret_cast<LPWSTR>(pwszFull),
                                   nullptr);
    }
    if (!cwc)
        rc = RTErrConvertFromWinError(GetLastError());
    else if (cwc >= kCwdUnits)
        rc = RTE_BUFFER_OVERFLOW;
    else {
        // The system gives "c:" or "C:" depending on how the directory was
        // set; callers rely on an upper-case drive.
        if (pwszFull[0] >= u'a' && pwszFull[0] <= u'z' && pwszFull[1] == u':')
            pwszFull[0] = static_cast<RTUTF16>(pwszFull[0] - u'a' + u'A');
        rc = RTUtf16ToUtf8Ex(pwszFull, RTSTR_MAX, &pszPath, cbPath, nullptr);
    }
    RTMemFree(pwszBuf);
    return rc;
}

int32_t RTPathProgramDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;
    if (!g_cchExecPath || !g_szExecPath[0])
        return RTE_WRONG_SEQUENCE;
    if (cbPath <= g_cchExecDir)
        return RTE_BUFFER_OVERFLOW;
    __builtin_memcpy(pszPath, g_szExecPath, g_cchExecDir);
    pszPath[g_cchExecDir] = '\0';
    return RT_OK;
}

int32_t RTPathTempDir(char *pszPath, size_t cbPath)
{
    static const char *const s_apszVars[] = {"QUAB_TMPDIR", "TMP", "TEMP", "USERPROFILE"};
    for (const char *pszVar : s_apszVars) {
        int32_t const rc = RTEnvGetValue(pszVar, pszPath, cbPath);
        if (rc != RTE_ENV_VAR_NOT_FOUND)
            return rc;
    }
    return RTStrCopyBounded(pszPath, cbPath, "/tmp");
}

int32_t RTPathChdir(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;
    if (!*pszPath)
        return RTE_INVALID_PARAMETER;
    RTUTF16 *pwszPath;
    RT_TRY(PathToWin32Utf16(pszPath, &pwszPath));
    // SetCurrentDirectoryW keeps a trailing separator in what it records,
    // except for a root ("C:\"), which needs it.
    size_t const cwc = RTUtf16Units(pwszPath);
    if (cwc >= 2 && (pwszPath[cwc - 1] == u'\\' || pwszPath[cwc - 1] == u'/') && pwszPath[cwc - 2] != u':')
        pwszPath[cwc - 1] = 0;
    int32_t rc = RT_OK;
    if (!SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(pwszPath)))
        rc = RTErrConvertFromWinError(GetLastError());
    RTStrDispose(pwszPath);
    return rc;
}
