// Internal interfaces between the formatting engine, the %R runtime types and
// the extended %R families: bad-pointer rendering and the family entry points.
#pragma once

#include <quab/fmt.h>

// A pointer the formatter must not dereference: within 4 KiB of address 0 or
// of the top of the address space.
inline bool rtFmtIsBadPtr(const void *pv)
{
    return !RTPtrIsValid(pv);
}

// Renders a bad pointer in place of the value it points at: "<NULL>" for a
// null pointer, else "<" + the value as hex digits (two per pointer byte) +
// pszMarker + ">", padded to cchWidth with blanks (after with FMT_F_LEFT).
size_t rtFmtBadPointer(FmtOutputFn pfnOutput, void *pvArgOutput, const void *pv, int cchWidth, unsigned fFlags,
                       const char *pszMarker);

// Outputs cch blanks (nothing when cch <= 0) and returns the callback total.
size_t rtFmtPadBlanks(FmtOutputFn pfnOutput, void *pvArgOutput, int cch);

// The extended %R families h (hx, hX, hc, hu; not hr), b, f, D, M and A. The
// cursor points at the family letter (the one after the R) on entry and is
// left behind the last character of the directive it recognised.
size_t rtFmtExtendedType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);

// The %R[name] custom conversions; the cursor points at the '[' on entry.
size_t rtFmtCustomType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                       int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);
