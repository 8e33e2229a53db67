// The status-code texts of %Rrc, %Rrs, %Rrf and %Rra, with the fallback for unknown codes.
#include "common/err/err-internal.h"

namespace {

// The entry's name, or with fMessage its message.
size_t rtStatusOutText(int iEntry, bool fMessage, FmtOutputFn pfnOutput, void *pvArgOutput)
{
    StatusTableEntry const &Entry = g_aStatusTable[iEntry];
    uint32_t off = rtStatusTextOffset(static_cast<uint32_t>(iEntry));
    uint32_t cb = Entry.cbName();
    if (fMessage) {
        off += cb;
        cb = Entry.cbMsg();
    }
    return rtStatusTextOut(&g_StatusTextPool, off, cb, pfnOutput, pvArgOutput);
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
    return rtStatusOutText(i, false, pfnOutput, pvArgOutput);
}

size_t RTStatusFormatMessage(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    int const i = rtStatusTableFind(rc);
    if (i < 0)
        return RTStatusFormatUnknown(rc, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    return rtStatusOutText(i, true, pfnOutput, pvArgOutput);
}

size_t RTStatusFormatAll(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp)
{
    int const i = rtStatusTableFind(rc);
    if (i < 0)
        return RTStatusFormatUnknown(rc, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    size_t cch = rtStatusOutText(i, false, pfnOutput, pvArgOutput);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, " (", 2);
    cch += rtErrOutNumber(static_cast<uint32_t>(rc), 10, pfnOutput, pvArgOutput, pszTmp, cbTmp);
    cch += rtErrOutLiteral(pfnOutput, pvArgOutput, ") - ", 4);
    cch += rtStatusOutText(i, true, pfnOutput, pvArgOutput);
    return cch;
}
