// RTPathAbsEx into an allocated string that grows until the result fits.
#include "path-internal.h"

#include <quab/string.h>

char *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags)
{
    size_t cbBuf = 2050;
    for (unsigned iTry = 0; iTry < 16; iTry++) {
        char *pszBuf = RTStrAllocate(cbBuf, "RTPathAbsExDup");
        if (!pszBuf)
            return nullptr;
        size_t cbActual = cbBuf;
        int32_t const rc = RTPathAbsEx(pszBase, pszPath, fFlags, pszBuf, &cbActual);
        if (RT_SUCCESS_NP(rc)) {
            // A result that uses less than half its buffer is given back the
            // rest; a failed shrink keeps the larger buffer.
            if (cbActual + 1 < cbBuf / 2)
                RTStrResize(&pszBuf, cbActual + 1, "RTPathAbsExDup");
            return pszBuf;
        }
        RTStrDispose(pszBuf);
        if (rc != RTE_BUFFER_OVERFLOW)
            return nullptr;
        size_t cbNext = (cbActual + 79) & ~static_cast<size_t>(63);
        if (cbNext < cbBuf + 256)
            cbNext = cbBuf + 256;
        cbBuf = cbNext;
    }
    return nullptr;
}
