// Reading one variable of the process environment as UTF-8.
#include <windows.h>

#include <quab/err.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

int32_t RTEnvGetValue(const char *pszVar, char *pszValue, size_t cbValue)
{
    if (!RT_VALID_PTR(pszVar) || !RT_VALID_PTR(pszValue))
        return pszValue == nullptr ? RTE_INVALID_PARAMETER : RTE_INVALID_POINTER;
    if (!cbValue)
        return RTE_INVALID_PARAMETER;
    for (const char *psz = pszVar; *psz; psz++)
        if (*psz == '=')
            return RTE_ENV_INVALID_VAR_NAME;

    RTUTF16 *pwszVar;
    RT_TRY(RTStrToUtf16(pszVar, &pwszVar));

    RTUTF16 wszStack[512];
    RTUTF16 *pwszValue = wszStack;
    DWORD cwcBuf = RT_ELEMENTS(wszStack);
    int32_t rc = RT_OK;
    for (;;) {
        SetLastError(NO_ERROR);
        DWORD const cwc = GetEnvironmentVariableW(reinterpret_cast<LPCWSTR>(pwszVar),
                                                  reinterpret_cast<LPWSTR>(pwszValue), cwcBuf);
        if (cwc == 0) {
            // Nothing copied: either the variable is missing (an error is
            // set) or it exists and is empty.
            DWORD const dwErr = GetLastError();
            if (dwErr != NO_ERROR)
                rc = RTErrConvertFromWinError(dwErr);
            else
                pwszValue[0] = 0;
            break;
        }
        if (cwc < cwcBuf)
            break;
        // Too small: cwc is the size needed, terminator included.
        if (cwc > 32767) {
            rc = RTE_INTERNAL_ERROR_C;
            break;
        }
        DWORD cwcNew = cwc;
        if (cwcNew < cwcBuf + 512)
            cwcNew = cwcBuf + 512;
        if (pwszValue != wszStack)
            RTMemFree(pwszValue);
        pwszValue = static_cast<RTUTF16 *>(RTMemAllocTag(cwcNew * sizeof(RTUTF16), "RTEnvGetValue"));
        if (!pwszValue) {
            rc = RTE_NO_TEMP_MEMORY;
            break;
        }
        cwcBuf = cwcNew;
    }
    if (RT_SUCCESS_NP(rc))
        rc = RTUtf16ToUtf8Ex(pwszValue, RTSTR_MAX, &pszValue, cbValue, nullptr);
    if (pwszValue && pwszValue != wszStack)
        RTMemFree(pwszValue);
    RTStrDispose(pwszVar);
    return rc;
}
