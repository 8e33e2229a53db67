// Names cut out of longer texts: the base name of a path (%Rbn) and a function name from its signature (%Rfn).
#include "common/string/format-ext-internal.h"

namespace {

bool rtFmtIsPathSep(char ch)
{
    return ch == '\\' || ch == '/' || ch == ':';
}

// The text after the last separator run that something follows; a trailing
// run stays with the name before it.
size_t rtFmtBaseName(FmtOutputFn pfnOutput, void *pvArgOutput, const char *pszPath)
{
    const char *pszStart = pszPath;
    const char *psz = pszPath;
    while (*psz) {
        if (!rtFmtIsPathSep(*psz)) {
            psz++;
            continue;
        }
        const char *pszAfter = psz;
        while (rtFmtIsPathSep(*pszAfter))
            pszAfter++;
        if (*pszAfter)
            pszStart = pszAfter;
        psz = pszAfter;
    }
    return psz > pszStart ? pfnOutput(pvArgOutput, pszStart, static_cast<size_t>(psz - pszStart)) : 0;
}

bool rtFmtIsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

} // namespace

size_t rtFmtExtBase(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the b
    char const chKind = psz[1];
    if (chKind != 'n' && chKind != 's') {
        *ppszFormat = psz + 1;
        return 0;
    }
    *ppszFormat = psz + 2;
    if (chKind == 's') {
        // Big-endian UTF-16 exists only as the l size.
        if (chArgSize != 'l')
            return 0;
        const void *pv = va_arg(*pArgs, const void *);
        return rtFmtUtf16BigText(pfnOutput, pvArgOutput, pv, cchWidth, cchPrecision, fFlags);
    }
    const char *pszPath = va_arg(*pArgs, const char *);
    if (rtFmtIsBadPtr(pszPath))
        return rtFmtBadPointer(pfnOutput, pvArgOutput, pszPath, cchWidth, fFlags, "!BadBaseName");
    return rtFmtBaseName(pfnOutput, pvArgOutput, pszPath);
}

size_t rtFmtExtFunction(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the f
    if (psz[1] != 'n') {
        *ppszFormat = psz + 1;
        return 0;
    }
    *ppszFormat = psz + 2;
    const char *pszSig = va_arg(*pArgs, const char *);
    if (rtFmtIsBadPtr(pszSig))
        return rtFmtBadPointer(pfnOutput, pvArgOutput, pszSig, cchWidth, fFlags, "!BadFnNm");

    // The name is the last word outside template brackets before the
    // parameter list: return types and calling conventions come first.
    const char *pszStart = pszSig;
    const char *pszCur = pszSig;
    int iDepth = 0;
    while (*pszCur) {
        char const ch = *pszCur;
        if (rtFmtIsBlank(ch)) {
            const char *pszAfter = pszCur;
            while (rtFmtIsBlank(*pszAfter))
                pszAfter++;
            while (*pszAfter == '(' || rtFmtIsBlank(*pszAfter))
                pszAfter++;
            if (*pszAfter && iDepth == 0)
                pszStart = pszAfter;
            pszCur = pszAfter;
            continue;
        }
        if (ch == '(' && pszCur > pszSig)
            break;
        if (ch == '<')
            iDepth++;
        else if (ch == '>')
            iDepth--;
        pszCur++;
    }
    return pszCur > pszStart ? pfnOutput(pvArgOutput, pszStart, static_cast<size_t>(pszCur - pszStart)) : 0;
}
