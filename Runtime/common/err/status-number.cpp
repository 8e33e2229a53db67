// The numeric forms in status texts: signed decimal, and hexadecimal with "0x".
#include "common/err/err-internal.h"

size_t rtErrOutNumber(uint32_t uValue, unsigned uiBase, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp,
                      size_t cbTmp)
{
    if (cbTmp == 0 || !RT_VALID_PTR(pszTmp))
        return 0;
    unsigned const fFlags = uiBase == 10 ? FMT_F_SIGNED : FMT_F_SPECIAL;
    int cch = RTFmtU32ToBuf(pszTmp, cbTmp, uValue, uiBase, -1, -1, fFlags);
    if (cch < 0)
        cch = static_cast<int>(cbTmp - 1);
    if (cch == 0)
        return 0;
    return pfnOutput(pvArgOutput, pszTmp, static_cast<size_t>(cch));
}
