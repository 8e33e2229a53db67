// The status-code texts of %Rrc, %Rrs, %Rrf and %Rra, with the fallback for unknown codes.
#include "common/err/err-internal.h"

namespace {

size_t rtStatusOutName(const StatusTableEntry &Entry, FmtOutputFn pfnOutput, void *pvArgOutput)
{
    return rtStatusTextOut(&g_StatusTextPool, Entry.offName(), Entry.cbName(), pfnOutput, pvArgOutput);
}

size_t rtStatusOutMessage(const StatusTableEntry &Entry, FmtOutputFn pfnOutput, void *pvArgOutput)
{
    return rtStatusTextOut(&g_StatusTextPool, Entry.offMsg(), Entry.cbMsg(), pfnOutput, pvArgOutput);
}

} // namespace

size_t RTStatusFormatUnknown(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    uint32_t const u = static_cast<uint32_t>(rc);
    size_t cch = rtErrOutLiteral(pfnOutput, pvArgOutput, "Unknown Status ", 15);
    cch += rtErrOutNumber(u, 10, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, " (", 2);
    cch += rtErrOutNumber(u, 16, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, ")", 1);
    return cch;
}

size_t RTStatusFormatName(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    int const i = rtStatusTableFind(rc);
    if (i < 0)
        return rtErrOutNumber(static_cast<uint32_t>(rc), 10, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    return rtStatusOutName(g_aStatusTable[i], pfnOutput, pvArgOutput);
}

size_t RTStatusFormatMessage(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    int const i = rtStatusTableFind(rc);
    if (i < 0)
        return RTStatusFormatUnknown(rc, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    return rtStatusOutMessage(g_aStatusTable[i], pfnOutput, pvArgOutput);
}

size_t RTStatusFormatAll(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    int const i = rtStatusTableFind(rc);
    if (i < 0)
        return RTStatusFormatUnknown(rc, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    StatusTableEntry const &Entry = g_aStatusTable[i];
    size_t cch = rtStatusOutName(Entry, pfnOutput, pvArgOutput);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, " (", 2);
    cch += rtErrOutNumber(static_cast<uint32_t>(rc), 10, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, ") - ", 4);
    cch += rtStatusOutMessage(Entry, pfnOutput, pvArgOutput);
    return cch;
}
