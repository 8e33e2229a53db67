// Creating, removing and testing directories by path.
#include <windows.h>

#include <quab/err.h>
#include <quab/dir.h>
#include <quab/path.h>
#include <quab/string.h>

#include "dirsec-win.h"

bool RTDirExists(const char *pszPath)
{
    FsObjectInfo Info;
    int32_t const rc = RTPathGetObjInfo(pszPath, &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK);
    return RT_SUCCESS_NP(rc) && (Info.fMode & RTFS_TYPE_MASK) == RTFS_TYPE_DIRECTORY;
}

int32_t RTDirMake(const char *pszPath, uint32_t fMode, uint32_t fCreate)
{
    // The mode is checked for consistency; beyond that only its group and
    // other bits count: none of them makes the directory private, any of
    // them gives it the default security of its parent.
    if (!(fMode & RTFS_TYPE_MASK))
        fMode |= RTFS_TYPE_DIRECTORY;
    if (!(fMode & RTFS_DOS_MASK))
        fMode |= RTFS_DOS_DIRECTORY;
    if ((fMode & RTFS_TYPE_MASK) != RTFS_TYPE_DIRECTORY && (fMode & RTFS_DOS_DIRECTORY))
        return RTE_INVALID_FILE_MODE;
    fMode |= RTFS_DOS_DIRECTORY;

    RTDIRPRIVATESECURITY Sec;
    SECURITY_ATTRIBUTES Attr = {sizeof(Attr), &Sec.Sd, FALSE};
    bool const fPrivate = (fMode & 077) == 0;
    if (fPrivate)
        RT_TRY(rtDirInitPrivateSecurity(&Sec));

    RTUTF16 *pwszPath;
    RT_TRY(PathToWin32Utf16(pszPath, &pwszPath));
    int32_t rc = RT_OK;
    if (!CreateDirectoryW(reinterpret_cast<LPCWSTR>(pwszPath), fPrivate ? &Attr : nullptr))
        rc = RTErrConvertFromWinError(GetLastError());
    else if (!(fCreate & DIRMAKE_KEEP_INDEXING)
             && !SetFileAttributesW(reinterpret_cast<LPCWSTR>(pwszPath), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
             && !(fCreate & DIRMAKE_IGNORE_INDEX_ERROR))
        rc = RTErrConvertFromWinError(GetLastError());
    RTStrDispose(pwszPath);
    return rc;
}

int32_t RTDirDelete(const char *pszPath)
{
    RTUTF16 *pwszPath;
    RT_TRY(PathToWin32Utf16(pszPath, &pwszPath));
    int32_t rc = RT_OK;
    if (!RemoveDirectoryW(reinterpret_cast<LPCWSTR>(pwszPath)))
        rc = RTErrConvertFromWinError(GetLastError());
    RTStrDispose(pwszPath);
    return rc;
}
