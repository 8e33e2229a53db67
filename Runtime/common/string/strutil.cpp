// Bounded length, copy and append into fixed buffers.
#include <quab/string.h>

size_t RTStrLenMax(const char *psz, size_t cchMax)
{
    size_t cch = 0;
    while (cch < cchMax && psz[cch])
        cch++;
    return cch;
}

int32_t RTStrCopyBounded(char *pszDst, size_t cbDst, const char *pszSrc)
{
    // Only as much of the source is measured as could ever be copied.
    size_t const cchSrc = RTStrLenMax(pszSrc, cbDst);
    if (cchSrc < cbDst) {
        __builtin_memcpy(pszDst, pszSrc, cchSrc + 1);
        return RT_OK;
    }
    if (cbDst) {
        __builtin_memcpy(pszDst, pszSrc, cbDst - 1);
        pszDst[cbDst - 1] = '\0';
    }
    return RTE_BUFFER_OVERFLOW;
}

int32_t RTStrAppendBounded(char *pszDst, size_t cbDst, const char *pszSrc)
{
    size_t const offEnd = RTStrLenMax(pszDst, cbDst);
    if (offEnd >= cbDst)
        return RTE_INVALID_PARAMETER;
    return RTStrCopyBounded(pszDst + offEnd, cbDst - offEnd, pszSrc);
}
