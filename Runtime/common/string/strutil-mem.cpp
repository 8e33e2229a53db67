// Allocating, resizing, cloning and freeing UTF-8 and UTF-16 strings; every
// one of them comes from the runtime heap and goes back with RTStrDispose.
#include <quab/mem.h>
#include <quab/string.h>

char *RTStrAllocate(size_t cb, const char *pszTag)
{
    char *psz = static_cast<char *>(RTMemAllocTag(cb ? cb : 1, pszTag));
    if (psz)
        *psz = '\0';
    return psz;
}

int32_t RTStrResize(char **ppsz, size_t cbNew, const char *pszTag)
{
    if (cbNew == 0) {
        RTMemFree(*ppsz);
        *ppsz = nullptr;
        return RT_OK;
    }
    char *psz;
    if (*ppsz) {
        psz = static_cast<char *>(RTMemReallocTag(*ppsz, cbNew, pszTag));
        if (!psz)
            return RTE_NO_STRING_MEMORY;
    } else {
        psz = static_cast<char *>(RTMemAllocTag(cbNew, pszTag));
        if (!psz)
            return RTE_NO_STRING_MEMORY;
        *psz = '\0';
    }
    psz[cbNew - 1] = '\0';
    *ppsz = psz;
    return RT_OK;
}

void RTStrDispose(void *pv)
{
    if (pv)
        RTMemFree(pv);
}

char *RTStrCloneN(const char *psz, size_t cchMax, const char *pszTag)
{
    if (!RT_VALID_PTR(psz))
        return nullptr;
    size_t const cch = RTStrLenMax(psz, cchMax);
    char *pszCopy = static_cast<char *>(RTMemAllocTag(cch + 1, pszTag));
    if (pszCopy) {
        __builtin_memcpy(pszCopy, psz, cch);
        pszCopy[cch] = '\0';
    }
    return pszCopy;
}

char *RTStrClone(const char *psz, const char *pszTag)
{
    return RTStrCloneN(psz, RTSTR_MAX, pszTag);
}

int32_t RTStrCloneNEx(char **ppsz, const char *psz, size_t cchMax, const char *pszTag)
{
    *ppsz = nullptr;
    if (!RT_VALID_PTR(psz))
        return RTE_INVALID_PARAMETER;
    char *pszCopy = RTStrCloneN(psz, cchMax, pszTag);
    if (!pszCopy)
        return RTE_NO_STRING_MEMORY;
    *ppsz = pszCopy;
    return RT_OK;
}

// UTF-16 sizes are in bytes and rounded up to whole units; 0 stands for a
// size that cannot be rounded without wrapping.
static size_t rtUtf16RoundSize(size_t cb)
{
    return cb >= RTSTR_MAX - 1 ? 0 : (cb + 1) & ~static_cast<size_t>(1);
}

RTUTF16 *RTUtf16Allocate(size_t cb, const char *pszTag)
{
    size_t const cbAlloc = cb < 2 ? 2 : rtUtf16RoundSize(cb);
    if (!cbAlloc)
        return nullptr;
    RTUTF16 *pwsz = static_cast<RTUTF16 *>(RTMemAllocTag(cbAlloc, pszTag));
    if (pwsz)
        *pwsz = 0;
    return pwsz;
}

int32_t RTUtf16Resize(RTUTF16 **ppwsz, size_t cbNew, const char *pszTag)
{
    if (cbNew == 0) {
        RTMemFree(*ppwsz);
        *ppwsz = nullptr;
        return RT_OK;
    }
    size_t const cbAlloc = rtUtf16RoundSize(cbNew);
    if (!cbAlloc)
        return RTE_NO_UTF16_MEMORY;
    RTUTF16 *pwsz;
    if (*ppwsz) {
        pwsz = static_cast<RTUTF16 *>(RTMemReallocTag(*ppwsz, cbAlloc, pszTag));
        if (!pwsz)
            return RTE_NO_UTF16_MEMORY;
    } else {
        pwsz = static_cast<RTUTF16 *>(RTMemAllocTag(cbAlloc, pszTag));
        if (!pwsz)
            return RTE_NO_UTF16_MEMORY;
        *pwsz = 0;
    }
    pwsz[cbAlloc / sizeof(RTUTF16) - 1] = 0;
    *ppwsz = pwsz;
    return RT_OK;
}

RTUTF16 *RTUtf16Clone(const RTUTF16 *pwsz, const char *pszTag)
{
    if (!RT_VALID_PTR(pwsz))
        return nullptr;
    size_t const cb = (RTUtf16Units(pwsz) + 1) * sizeof(RTUTF16);
    RTUTF16 *pwszCopy = static_cast<RTUTF16 *>(RTMemAllocTag(cb, pszTag));
    if (pwszCopy)
        __builtin_memcpy(pwszCopy, pwsz, cb);
    return pwszCopy;
}
