// The Windows error texts of %Rwc, %Rwf and %Rwa: the one known name, and facility-7 HRESULTs.
#include "common/err/err-internal.h"

namespace {

struct WinErrTableEntry {
    int16_t iValue16;
    uint8_t offName;
    uint8_t cchName;

    constexpr int32_t iValue() const { return iValue16; }
};

constexpr char g_achWinErrText[] = "ERROR_SUCCESS";
constexpr uint32_t g_cchWinErrText = sizeof(g_achWinErrText) - 1;
constexpr WinErrTableEntry g_aWinErrTable[] = {
    {0, 0, 13},
};

// The entry of a code, directly or as the low half of a facility-7 HRESULT;
// nullptr when neither is known or the entry's name is unusable.
const WinErrTableEntry *rtWinErrLookup(int32_t rc, bool *pfHResult)
{
    *pfHResult = false;
    int i = rtErrTableBisect(g_aWinErrTable, RT_ELEMENTS(g_aWinErrTable), rc);
    if (i < 0) {
        uint32_t const u = static_cast<uint32_t>(rc);
        if (((u >> 16) & 0x1FFF) != 7)
            return nullptr;
        i = rtErrTableBisect(g_aWinErrTable, RT_ELEMENTS(g_aWinErrTable), static_cast<int32_t>(u & 0xFFFF));
        if (i < 0)
            return nullptr;
        *pfHResult = true;
    }
    WinErrTableEntry const *pEntry = &g_aWinErrTable[i];
    if (pEntry->offName >= g_cchWinErrText || pEntry->cchName > g_cchWinErrText - pEntry->offName)
        return nullptr;
    return pEntry;
}

size_t rtWinErrOutName(const WinErrTableEntry *pEntry, FmtOutputFn pfnOutput, void *pvArgOutput)
{
    return pfnOutput(pvArgOutput, &g_achWinErrText[pEntry->offName], pEntry->cchName);
}

} // namespace

size_t RTWinErrFormatName(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    bool fHResult;
    WinErrTableEntry const *pEntry = rtWinErrLookup(rc, &fHResult);
    size_t cch = 0;
    if (pEntry) {
        cch += rtWinErrOutName(pEntry, pfnOutput, pvArgOutput);
        if (!fHResult)
            return cch;
        cch += rtErrOutLiteral(pfnOutput, pvArgOutput, "/", 1);
    }
    return cch + rtErrOutNumber(static_cast<uint32_t>(rc), 16, pfnOutput, pvArgOutput, pszTmp, cbTmp);
}

size_t RTWinErrFormatAll(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    bool fHResult;
    WinErrTableEntry const *pEntry = rtWinErrLookup(rc, &fHResult);
    size_t cch;
    if (pEntry) {
        cch = rtWinErrOutName(pEntry, pfnOutput, pvArgOutput);
        cch += rtErrOutLiteral(pfnOutput, pvArgOutput, " (", 2);
        cch += rtErrOutNumber(static_cast<uint32_t>(rc), 16, pfnOutput, pvArgOutput, pszTmp, cbTmp);
        cch += rtErrOutLiteral(pfnOutput, pvArgOutput, ")", 1);
    } else {
        cch = rtErrOutLiteral(pfnOutput, pvArgOutput, "Unknown Status ", 15);
        cch += rtErrOutNumber(static_cast<uint32_t>(rc), 16, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    }
    return cch;
}
