// Internals of the extended %R families: one entry per family, and the helpers they share.
#pragma once

#include "common/string/format-internal.h"

// Every family starts with the cursor at its first letter (the one after the
// R) and leaves it behind the last character it recognised.
#define RTFMTEXT_FAMILY_ARGS                                                                            \
    FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,  \
        int cchPrecision, unsigned fFlags, char chArgSize

size_t rtFmtExtHexDump(RTFMTEXT_FAMILY_ARGS);  // hx, hX
size_t rtFmtExtSize(RTFMTEXT_FAMILY_ARGS);     // hc, hu
size_t rtFmtExtBase(RTFMTEXT_FAMILY_ARGS);      // bn: base name; bs: big-endian UTF-16
size_t rtFmtExtFunction(RTFMTEXT_FAMILY_ARGS);  // fn
size_t rtFmtExtTime(RTFMTEXT_FAMILY_ARGS);      // Dtimespec
size_t rtFmtExtEscape(RTFMTEXT_FAMILY_ARGS);    // M js/as/es/pp/pq/pa/pf
size_t rtFmtExtArch(RTFMTEXT_FAMILY_ARGS);      // Ax86[cr0], Ax86[cr4]

// Big-endian UTF-16 text at pv, at most cchPrecision units (required), as UTF-8.
size_t rtFmtUtf16BigText(FmtOutputFn pfnOutput, void *pvArgOutput, const void *pv, int cchWidth, int cchPrecision,
                         unsigned fFlags);

// Writes a string literal (its length is known at compile time).
template <size_t N>
inline size_t rtFmtExtOut(FmtOutputFn pfnOutput, void *pvArgOutput, const char (&sz)[N])
{
    return pfnOutput(pvArgOutput, sz, N - 1);
}

// Writes the same piece cRepeat times (nothing when cRepeat <= 0).
inline size_t rtFmtExtRepeat(FmtOutputFn pfnOutput, void *pvArgOutput, const char *pach, size_t cch, int cRepeat)
{
    size_t cchTotal = 0;
    for (int i = 0; i < cRepeat; i++)
        cchTotal += pfnOutput(pvArgOutput, pach, cch);
    return cchTotal;
}

// One number through RTFmtNumber, in one piece.
size_t rtFmtExtNumber(FmtOutputFn pfnOutput, void *pvArgOutput, uint64_t uValue, unsigned uiBase, int cchWidth,
                      int cchPrecision, unsigned fFlags);

// The named conversions of %R[name]: a registry sorted by name (byte order,
// the shorter name first on a common prefix).
using FmtCustomTypeFn = size_t (*)(FmtOutputFn pfnOutput, void *pvArgOutput, const char *pszType,
                                   const void *pvValue, int cchWidth, int cchPrecision, unsigned fFlags,
                                   void *pvUser);

struct FmtCustomType {
    uint8_t cchName;
    char szName[47];
    FmtCustomTypeFn pfnHandler;
    void *pvUser;
};

// Looks a name up in paTypes[0..cTypes); -1 when absent.
int rtFmtCustomTypeFind(const FmtCustomType *paTypes, uint32_t cTypes, const char *pchName, size_t cchName);

// The %R[name] handler over a given registry (the engine's entry uses the
// process-wide one, which nothing fills).
size_t rtFmtCustomTypeIn(const FmtCustomType *paTypes, uint32_t cTypes, FmtOutputFn pfnOutput, void *pvArgOutput,
                         const char **ppszFormat, va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags);
