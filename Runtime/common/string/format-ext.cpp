// Dispatch of the extended %R families by their first letter.
#include "common/string/format-ext-internal.h"

namespace {

using FmtExtFamilyFn = size_t (*)(RTFMTEXT_FAMILY_ARGS);

struct FmtExtFamily {
    char chFamily;
    char chSecond;   // 0: any second letter
    FmtExtFamilyFn pfn;
};

constexpr FmtExtFamily g_aFamilies[] = {
    {'h', 'x', rtFmtExtHexDump},
    {'h', 'X', rtFmtExtHexDump},
    {'h', 'c', rtFmtExtSize},
    {'h', 'u', rtFmtExtSize},
    {'b', 0, rtFmtExtBase},
    {'f', 0, rtFmtExtFunction},
    {'D', 0, rtFmtExtTime},
    {'M', 0, rtFmtExtEscape},
    {'A', 0, rtFmtExtArch},
};

} // namespace

size_t rtFmtExtNumber(FmtOutputFn pfnOutput, void *pvArgOutput, uint64_t uValue, unsigned uiBase, int cchWidth,
                      int cchPrecision, unsigned fFlags)
{
    char szNum[64];
    int const cch = RTFmtNumber(szNum, uValue, uiBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, static_cast<size_t>(cch));
}

size_t rtFmtExtendedType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    const char *psz = *ppszFormat;
    for (FmtExtFamily const &Family : g_aFamilies)
        if (Family.chFamily == psz[0] && (Family.chSecond == 0 || Family.chSecond == psz[1]))
            return Family.pfn(pfnOutput, pvArgOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags,
                              chArgSize);
    // Not one of ours: the family letter alone is consumed.
    if (*psz)
        *ppszFormat = psz + 1;
    return 0;
}
