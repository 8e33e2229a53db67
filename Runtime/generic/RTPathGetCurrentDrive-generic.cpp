// The current drive ("C:" or "\\server\share"), cut from the current directory.
#include <quab/mem.h>
#include <quab/path.h>

#include "common/path/path-internal.h"

namespace {

// Length of the drive part of an absolute current directory, or 0.
size_t rtPathDriveLen(const char *psz)
{
    RTPATHROOT const Root = rtPathParseRoot(psz);
    if (Root.enmKind == kRtPathRoot_Drive || Root.enmKind == kRtPathRoot_DriveRelative)
        return 2;
    if (Root.enmKind == kRtPathRoot_Unc) {
        size_t cch = Root.cchRoot;
        if (cch > 2 && rtPathIsSep(psz[cch - 1]))
            cch--;
        return cch;
    }
    return 0;
}

} // namespace

int32_t RTPathGetCurrentDrive(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath) || !cbPath)
        return RTE_INVALID_PARAMETER;
    int32_t rc = g_pfnPathQueryCurrentDir('\0', pszPath, cbPath);
    const char *pszCwd = pszPath;
    char *pszTmp = nullptr;
    if (rc == RTE_BUFFER_OVERFLOW) {
        size_t const cbTmp = 64 * 1024;
        pszTmp = static_cast<char *>(RTMemAllocTag(cbTmp, "RTPathGetCurrentDrive"));
        if (!pszTmp)
            return RTE_NO_TEMP_MEMORY;
        rc = g_pfnPathQueryCurrentDir('\0', pszTmp, cbTmp);
        pszCwd = pszTmp;
    }
    if (RT_SUCCESS_NP(rc)) {
        size_t const cchDrive = rtPathDriveLen(pszCwd);
        if (!cchDrive)
            rc = RTE_INTERNAL_ERROR_D;
        else if (cchDrive >= cbPath)
            rc = RTE_BUFFER_OVERFLOW;
        else {
            __builtin_memmove(pszPath, pszCwd, cchDrive);
            pszPath[cchDrive] = '\0';
        }
    }
    RTMemFree(pszTmp);
    return rc;
}
