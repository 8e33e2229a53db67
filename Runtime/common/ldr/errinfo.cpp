// The extended-error record: a status with a message in the caller's buffer.
#include <quab/errinfo.h>
#include <quab/string.h>

RTERRINFO *RTErrInfoInit(RTERRINFO *pErrInfo, char *pszMsg, uint32_t cbMsg)
{
    pErrInfo->fFlags = RTERRINFO_FLAGS_MAGIC;
    pErrInfo->rc = RT_OK;
    pErrInfo->cbMsg = cbMsg;
    pErrInfo->pszMsg = pszMsg;
    if (pszMsg && cbMsg)
        pszMsg[0] = '\0';
    return pErrInfo;
}

void RTErrInfoClear(RTERRINFO *pErrInfo)
{
    if (!pErrInfo)
        return;
    pErrInfo->fFlags &= ~RTERRINFO_FLAGS_SET;
    pErrInfo->rc = RT_OK;
    if (pErrInfo->pszMsg && pErrInfo->cbMsg)
        pErrInfo->pszMsg[0] = '\0';
}

int32_t RTErrInfoSetText(RTERRINFO *pErrInfo, int32_t rc, const char *pszMsg)
{
    if (!pErrInfo)
        return rc;
    if (pErrInfo->pszMsg && pErrInfo->cbMsg)
        (void)RTStrCopyBounded(pErrInfo->pszMsg, pErrInfo->cbMsg, pszMsg);   // truncation is fine here
    pErrInfo->rc = rc;
    pErrInfo->fFlags |= RTERRINFO_FLAGS_SET;
    return rc;
}

int32_t RTErrInfoSetFormat(RTERRINFO *pErrInfo, int32_t rc, const char *pszFormat, ...)
{
    if (!pErrInfo)
        return rc;
    if (pErrInfo->pszMsg && pErrInfo->cbMsg) {
        va_list args;
        va_start(args, pszFormat);
        RTStrFmtToBufV(pErrInfo->pszMsg, pErrInfo->cbMsg, pszFormat, args);
        va_end(args);
    }
    pErrInfo->rc = rc;
    pErrInfo->fFlags |= RTERRINFO_FLAGS_SET;
    return rc;
}
