// Output callbacks of the formatting front ends: cutting into fixed buffers
// and growing allocated strings.
#include <quab/mem.h>

#include "strformat-internal.h"

size_t rtStrFmtBufOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTSTRBUFOUT *pState = static_cast<RTSTRBUFOUT *>(pvArg);
    size_t const cb = cbChars < pState->cbFree ? cbChars : pState->cbFree;
    if (cb) {
        __builtin_memcpy(pState->pszCur, pachChars, cb);
        pState->pszCur += cb;
        pState->cbFree -= cb;
        *pState->pszCur = '\0';
    }
    return cb;
}

size_t rtStrFmtBufExOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTSTRBUFOUT *pState = static_cast<RTSTRBUFOUT *>(pvArg);
    if (cbChars < pState->cbFree) {
        if (cbChars) {
            __builtin_memcpy(pState->pszCur, pachChars, cbChars);
            pState->pszCur += cbChars;
            pState->cbFree -= cbChars;
            *pState->pszCur = '\0';
        }
        return cbChars;
    }
    // Keep what fits beside the terminator, and report the whole piece so the
    // engine's total is the length the complete text would have had.
    if (pState->cbFree > 1) {
        size_t const cb = pState->cbFree - 1;
        __builtin_memcpy(pState->pszCur, pachChars, cb);
        pState->pszCur += cb;
        *pState->pszCur = '\0';
    }
    if (pState->cbFree > 0)
        pState->cbFree = 1;
    pState->fOverflow = true;
    return cbChars;
}

void rtStrFmtAllocInit(RTSTRALLOCOUT *pState, char *pchStack, size_t cbStack, const char *pszTag)
{
    pchStack[0] = '\0';
    pState->pszCur = pchStack;
    pState->cbFree = cbStack - 1;
    pState->pszBuf = pchStack;
    pState->cbBuf = cbStack;
    pState->fHeap = false;
    pState->fFailed = false;
    pState->pszTag = pszTag;
}

// Grows the buffer by the current size, capped at 1 MiB, or by the piece
// rounded up to whole pages when that step would not hold it.
static bool rtStrFmtAllocGrow(RTSTRALLOCOUT *pState, size_t cbChars)
{
    size_t cbStep = pState->cbBuf < RTSTRFMTALLOC_MAX_STEP ? pState->cbBuf : RTSTRFMTALLOC_MAX_STEP;
    if (cbStep <= cbChars) {
        if (cbChars > RTSTRFMTALLOC_MAX_GROWTH)
            return false;
        cbStep = (cbChars + 4095) & ~static_cast<size_t>(4095);
    }
    if (cbStep > RTSTRFMTALLOC_MAX_GROWTH || pState->cbBuf > RTSTR_MAX - cbStep)
        return false;
    size_t const cbNew = pState->cbBuf + cbStep;
    size_t const offCur = static_cast<size_t>(pState->pszCur - pState->pszBuf);
    char *pszNew;
    if (pState->fHeap)
        pszNew = static_cast<char *>(RTMemReallocTag(pState->pszBuf, cbNew, pState->pszTag));
    else {
        pszNew = static_cast<char *>(RTMemAllocTag(cbNew, pState->pszTag));
        if (pszNew)
            __builtin_memcpy(pszNew, pState->pszBuf, offCur + 1);
    }
    if (!pszNew)
        return false;
    pState->pszBuf = pszNew;
    pState->pszCur = pszNew + offCur;
    pState->cbBuf = cbNew;
    pState->cbFree += cbStep;
    pState->fHeap = true;
    return true;
}

size_t rtStrFmtAllocOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTSTRALLOCOUT *pState = static_cast<RTSTRALLOCOUT *>(pvArg);
    if (pState->fFailed)
        return 0;
    if (cbChars > pState->cbFree && !rtStrFmtAllocGrow(pState, cbChars)) {
        pState->fFailed = true;
        return 0;
    }
    if (cbChars) {
        __builtin_memcpy(pState->pszCur, pachChars, cbChars);
        pState->pszCur += cbChars;
        pState->cbFree -= cbChars;
        *pState->pszCur = '\0';
    }
    return cbChars;
}

int rtStrFmtAllocFinish(RTSTRALLOCOUT *pState, char **ppszBuffer)
{
    *ppszBuffer = nullptr;
    size_t const cch = static_cast<size_t>(pState->pszCur - pState->pszBuf);
    // The length travels back as an int; a longer text counts as a failure.
    if (pState->fFailed || cch > 0x7FFFFFFF) {
        if (pState->fHeap)
            RTMemFree(pState->pszBuf);
        return -1;
    }
    char *psz;
    if (pState->fHeap) {
        psz = static_cast<char *>(RTMemReallocTag(pState->pszBuf, cch + 1, pState->pszTag));
        if (!psz)
            psz = pState->pszBuf;
    } else {
        psz = static_cast<char *>(RTMemAllocTag(cch + 1, pState->pszTag));
        if (!psz)
            return -1;
        __builtin_memcpy(psz, pState->pszBuf, cch + 1);
    }
    *ppszBuffer = psz;
    return static_cast<int>(cch);
}
