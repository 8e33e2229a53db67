// Internals of the formatting front ends: the output callbacks for fixed
// buffers and for growing allocated strings, kept apart from the engine calls
// so that the buffer rules can be driven piece by piece.
#pragma once

#include <quab/string.h>

// A caller's fixed buffer. cbFree counts the bytes still free before the
// terminator (RTStrFmtToBuf) or including it (RTStrFmtToBufEx).
struct RTSTRBUFOUT {
    char *pszCur;
    size_t cbFree;
    bool fOverflow;
};

size_t rtStrFmtBufOutput(void *pvArg, const char *pachChars, size_t cbChars);
size_t rtStrFmtBufExOutput(void *pvArg, const char *pachChars, size_t cbChars);

// Text being formatted into a string that starts on the caller's stack and
// moves to the heap when it outgrows it.
inline constexpr size_t RTSTRFMTALLOC_STACK = 2048;
inline constexpr size_t RTSTRFMTALLOC_MAX_STEP = 0x100000;
inline constexpr size_t RTSTRFMTALLOC_MAX_GROWTH = 0x40000000;

struct RTSTRALLOCOUT {
    char *pszCur;      // write position
    size_t cbFree;     // free bytes before the terminator
    char *pszBuf;      // buffer start
    size_t cbBuf;      // buffer size
    bool fHeap;        // pszBuf came from the heap
    bool fFailed;      // a growth failed; everything after it is dropped
    const char *pszTag;
};

void rtStrFmtAllocInit(RTSTRALLOCOUT *pState, char *pchStack, size_t cbStack, const char *pszTag);
size_t rtStrFmtAllocOutput(void *pvArg, const char *pachChars, size_t cbChars);
// Hands the text over as an exactly sized heap string, or releases
// everything after a failure; returns the length or -1.
int rtStrFmtAllocFinish(RTSTRALLOCOUT *pState, char **ppszBuffer);
