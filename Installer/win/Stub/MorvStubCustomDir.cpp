// Copying the optional ".custom" directory beside the executable into the
// extraction directory.
#include <windows.h>
#include <shellapi.h>

#include <quab/dir.h>
#include <quab/lazy.h>
#include <quab/path.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

// 4100 characters with the terminator, and the second NUL that ends the
// list of one path SHFileOperationW takes.
inline constexpr size_t kListUnits = MORV_PATH_MAX + 1;

int32_t ToPathList(const char *pszPath, RTUTF16 *pwszList)
{
    RTUTF16 *pwsz = pwszList;
    size_t cwc = 0;
    RT_TRY(RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, MORV_PATH_MAX, &cwc));
    pwszList[cwc + 1] = 0;
    return RT_OK;
}

} // namespace

int CopyCustomDir(const char *pszExtractDir)
{
    char szSource[MORV_PATH_MAX];
    int32_t rc = RTPathProgramDir(szSource, sizeof(szSource));
    if (RT_SUCCESS_NP(rc))
        rc = RTPathAddComponent(szSource, sizeof(szSource), ".custom");
    if (RT_FAILURE_NP(rc))
        return NotifyError("Failed to construct '.custom' dir path: %Rrc", rc);
    if (!RTDirExists(szSource))
        return 0;

    RTUTF16 wszFrom[kListUnits];
    rc = ToPathList(szSource, wszFrom);
    if (RT_FAILURE_NP(rc))
        return NotifyError("RTStrToUtf16Ex failed on '%s': %Rrc", szSource, rc);
    RTUTF16 wszTo[kListUnits];
    rc = ToPathList(pszExtractDir, wszTo);
    if (RT_FAILURE_NP(rc))
        return NotifyError("RTStrToUtf16Ex failed on '%s': %Rrc", pszExtractDir, rc);

    SHFILEOPSTRUCTW Op = {};
    Op.hwnd = nullptr;
    Op.wFunc = FO_COPY;
    Op.pFrom = reinterpret_cast<PCZZWSTR>(wszFrom);
    Op.pTo = reinterpret_cast<PCZZWSTR>(wszTo);
    Op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    Op.fAnyOperationsAborted = FALSE;
    Op.hNameMappings = nullptr;
    Op.lpszProgressTitle = nullptr;
    int const iResult = g_pfnSHFileOperationW(&Op);
    if (iResult != 0)
        return NotifyError("Copying the '.custom' dir failed: %#x", iResult);

    char *pszCopy = RTPathJoinA(pszExtractDir, ".custom");
    if (!pszCopy)
        return NotifyError("Out of memory!");
    CleanupRecord *pRecord = AddCleanupRecord(pszCopy, false /*fIsFile*/);
    if (!pRecord) {
        RTStrDispose(pszCopy);
        return 1;
    }
    // The copy is the run's own: its content goes at cleanup as well.
    pRecord->removeTree = true;
    rc = RTDirOpenPath(&pRecord->hDir, pszCopy);
    RTStrDispose(pszCopy);
    if (RT_FAILURE_NP(rc))
        return NotifyError("Unable to open the destination .custom directory: %Rrc", rc);
    return 0;
}
