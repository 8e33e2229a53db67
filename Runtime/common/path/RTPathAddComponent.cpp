// Appending a component to a path in a caller's buffer, and the two joins.
#include "path-internal.h"

#include <quab/mem.h>
#include <quab/string.h>

int32_t RTPathAddComponent(char *pszPath, size_t cbPathDst, const char *pszAppend)
{
    if (!RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;
    size_t cchPath = 0;
    while (cchPath < cbPathDst && pszPath[cchPath])
        cchPath++;
    if (cchPath >= cbPathDst)
        return RTE_INVALID_PARAMETER;
    if (!pszAppend || !*pszAppend)
        return RT_OK;

    size_t cchKeep = cchPath;           // how much of the path stays
    const char *pszTail = pszAppend;    // what gets appended after it
    bool fAddSep = false;
    if (cchPath == 0) {
        // Copied as it is.
    } else if (rtPathIsSep(pszPath[cchPath - 1])) {
        while (rtPathIsSep(*pszTail))
            pszTail++;
        size_t cchMin = rtPathRootSpecLen(pszPath);
        if (cchMin < 1)
            cchMin = 1;
        while (cchKeep > cchMin && cchKeep >= 2 && rtPathIsSep(pszPath[cchKeep - 2]))
            cchKeep--;
    } else if (rtPathIsSep(*pszTail)) {
        while (rtPathIsSep(pszTail[1]))
            pszTail++;
    } else if (!(cchPath == 2 && rtPathIsLetter(pszPath[0]) && pszPath[1] == ':')) {
        fAddSep = true;
    }

    size_t const cchTail = rtPathLen(pszTail);
    size_t const cchTotal = cchKeep + (fAddSep ? 1 : 0) + cchTail;
    if (cchTotal >= cbPathDst)
        return RTE_BUFFER_OVERFLOW;
    char *pszDst = pszPath + cchKeep;
    if (fAddSep)
        *pszDst++ = '\\';
    __builtin_memmove(pszDst, pszTail, cchTail);
    pszDst[cchTail] = '\0';
    return RT_OK;
}

int32_t RTPathJoinBuf(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend)
{
    if (!RT_VALID_PTR(pszPathDst) || !RT_VALID_PTR(pszPathSrc))
        return RTE_INVALID_POINTER;
    size_t const cchSrc = rtPathLen(pszPathSrc);
    if (cchSrc >= cbPathDst)
        return RTE_BUFFER_OVERFLOW;
    // A failed append must leave the caller's buffer as it was, so the
    // joined result is only copied over once it is known to fit.
    if (pszPathDst == pszPathSrc)
        return RTPathAddComponent(pszPathDst, cbPathDst, pszAppend);
    size_t const cchAppend = pszAppend ? rtPathLen(pszAppend) : 0;
    if (cchSrc + 1 + cchAppend < cbPathDst) {
        __builtin_memcpy(pszPathDst, pszPathSrc, cchSrc + 1);
        return RTPathAddComponent(pszPathDst, cbPathDst, pszAppend);
    }
    char *pszTmp = static_cast<char *>(RTMemAllocTag(cchSrc + cchAppend + 4, "RTPathJoinBuf"));
    if (!pszTmp)
        return RTE_NO_TEMP_MEMORY;
    __builtin_memcpy(pszTmp, pszPathSrc, cchSrc + 1);
    int32_t rc = RTPathAddComponent(pszTmp, cchSrc + cchAppend + 4, pszAppend);
    if (RT_SUCCESS_NP(rc)) {
        size_t const cchJoined = rtPathLen(pszTmp);
        if (cchJoined < cbPathDst)
            __builtin_memcpy(pszPathDst, pszTmp, cchJoined + 1);
        else
            rc = RTE_BUFFER_OVERFLOW;
    }
    RTMemFree(pszTmp);
    return rc;
}

char *RTPathJoinA(const char *pszPathSrc, const char *pszAppend)
{
    if (!RT_VALID_PTR(pszPathSrc))
        return nullptr;
    size_t const cchSrc = rtPathLen(pszPathSrc);
    size_t const cbBuf = cchSrc + (pszAppend ? rtPathLen(pszAppend) : 0) + 4;
    char *pszRet = RTStrAllocate(cbBuf, "RTPathJoinA");
    if (!pszRet)
        return nullptr;
    __builtin_memcpy(pszRet, pszPathSrc, cchSrc + 1);
    if (RT_FAILURE_NP(RTPathAddComponent(pszRet, cbBuf, pszAppend))) {
        RTStrDispose(pszRet);
        return nullptr;
    }
    return pszRet;
}
