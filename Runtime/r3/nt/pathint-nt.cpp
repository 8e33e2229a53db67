// The NT form of a path (\??\C:\dir, \??\UNC\srv\share), counted UTF-16.
#include <quab/err.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "common/path/path-internal.h"

namespace {

inline constexpr size_t kNtMaxUnits = 32766;

// pszRest converted behind the prefix (ASCII) into one counted string.
int32_t ntBuild(const char *pszPrefix, const char *pszRest, NTUTF16STRING *pNtName)
{
    size_t const cwcPrefix = rtPathLen(pszPrefix);
    size_t cwcRest = 0;
    RT_TRY(RTStrCountUtf16Units(pszRest, RTSTR_MAX, &cwcRest));
    size_t const cwc = cwcPrefix + cwcRest;
    if (cwc > kNtMaxUnits)
        return RTE_FILENAME_TOO_LONG;
    RTUTF16 *pwsz = RTUtf16Allocate((cwc + 1) * sizeof(RTUTF16), "PathToNtUtf16");
    if (!pwsz)
        return RTE_NO_UTF16_MEMORY;
    for (size_t i = 0; i < cwcPrefix; i++)
        pwsz[i] = static_cast<RTUTF16>(pszPrefix[i]);
    RTUTF16 *pwszRest = pwsz + cwcPrefix;
    int32_t const rc = RTStrToUtf16Ex(pszRest, RTSTR_MAX, &pwszRest, cwcRest + 1, nullptr);
    if (RT_FAILURE_NP(rc)) {
        RTStrDispose(pwsz);
        return rc;
    }
    pNtName->Buffer = pwsz;
    pNtName->Length = static_cast<uint16_t>(cwc * sizeof(RTUTF16));
    pNtName->MaximumLength = static_cast<uint16_t>(pNtName->Length + sizeof(RTUTF16));
    return RT_OK;
}

// The absolute form into a 4100-byte buffer, or a heap one when that is
// too small; *ppszHeap is set when the heap was used.
int32_t ntMakeAbs(const char *pszPath, char *pszStack, size_t cbStack, char **ppszAbs, char **ppszHeap)
{
    *ppszHeap = nullptr;
    size_t cb = cbStack;
    int32_t rc = RTPathAbsEx(nullptr, pszPath, RTPATH_STR_F_STYLE_DOS, pszStack, &cb);
    if (RT_SUCCESS_NP(rc)) {
        *ppszAbs = pszStack;
        return rc;
    }
    size_t cbBuf = cbStack;
    for (unsigned iTry = 0; rc == RTE_BUFFER_OVERFLOW && iTry < 8; iTry++) {
        size_t cbNext = cbBuf + 256;
        if (cbNext < cb)
            cbNext = cb;
        if (iTry == 7 && cbNext < 128 * 1024)
            cbNext = 128 * 1024;
        cbBuf = cbNext;
        RTMemFree(*ppszHeap);
        *ppszHeap = static_cast<char *>(RTMemAllocTag(cbBuf, "PathToNtUtf16"));
        if (!*ppszHeap)
            return RTE_NO_TEMP_MEMORY;
        cb = cbBuf;
        rc = RTPathAbsEx(nullptr, pszPath, RTPATH_STR_F_STYLE_DOS, *ppszHeap, &cb);
    }
    if (RT_SUCCESS_NP(rc)) {
        *ppszAbs = *ppszHeap;
        return rc;
    }
    RTMemFree(*ppszHeap);
    *ppszHeap = nullptr;
    return rc == RTE_BUFFER_OVERFLOW ? RTE_FILENAME_TOO_LONG : rc;
}

} // namespace

int32_t PathToNtUtf16(const char *pszPath, NTUTF16STRING *pNtName)
{
    if (!RT_VALID_PTR(pNtName))
        return RTE_INVALID_POINTER;
    pNtName->Length = pNtName->MaximumLength = 0;
    pNtName->Buffer = nullptr;
    if (!RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;

    // The long form is already what the system wants, less its prefix.
    if (rtPathIsSep(pszPath[0]) && rtPathIsSep(pszPath[1]) && pszPath[2] == '?' && rtPathIsSep(pszPath[3]))
        return ntBuild("\\??\\", pszPath + 4, pNtName);

    char szStack[4100];
    char *pszAbs;
    char *pszHeap;
    RT_TRY(ntMakeAbs(pszPath, szStack, sizeof(szStack), &pszAbs, &pszHeap));
    int32_t rc;
    if (pszAbs[0] == '\\' && pszAbs[1] == '\\' && pszAbs[2] == '.' && pszAbs[3] == '\\')
        rc = ntBuild("\\??\\", pszAbs + 4, pNtName);
    else if (pszAbs[0] == '\\' && pszAbs[1] == '\\')
        rc = ntBuild("\\??\\UNC\\", pszAbs + 2, pNtName);
    else
        rc = ntBuild("\\??\\", pszAbs, pNtName);
    RTMemFree(pszHeap);
    return rc;
}

void RTPathFreeNt(NTUTF16STRING *pNtName)
{
    if (!pNtName)
        return;
    RTStrDispose(pNtName->Buffer);
    pNtName->Buffer = nullptr;
    pNtName->Length = pNtName->MaximumLength = 0;
}
