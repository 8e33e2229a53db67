// Information about an open file, and deleting a file by path.
#include <windows.h>

#include <quab/err.h>
#include <quab/file.h>
#include <quab/ldr.h>
#include <quab/path.h>

#include "fileint-win.h"

namespace {

// Looked up once; all ones until then, null when the system lacks it.
PFNRTVERIFYCONSOLEIOHANDLE g_pfnVerifyConsoleIoHandle = reinterpret_cast<PFNRTVERIFYCONSOLEIOHANDLE>(~uintptr_t(0));

bool fileIsConsoleHandle(HANDLE hFile)
{
    PFNRTVERIFYCONSOLEIOHANDLE pfn = __atomic_load_n(&g_pfnVerifyConsoleIoHandle, __ATOMIC_ACQUIRE);
    if (reinterpret_cast<uintptr_t>(pfn) == ~uintptr_t(0)) {
        pfn = reinterpret_cast<PFNRTVERIFYCONSOLEIOHANDLE>(
            RTLdrFindSystemSymbol("kernel32.dll", "VerifyConsoleIoHandle"));
        __atomic_store_n(&g_pfnVerifyConsoleIoHandle, pfn, __ATOMIC_RELEASE);
    }
    if (pfn)
        return pfn(hFile) != FALSE;
    SetLastError(NO_ERROR);
    return !(GetFileType(hFile) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR);
}

} // namespace

int32_t RTFileQueryInfo(FileHandle hFile, FsObjectInfo *pObjInfo, InfoDetail enmDetail)
{
    if (hFile == NIL_FILEHANDLE || !RT_VALID_PTR(pObjInfo) || enmDetail < InfoDetail_None
        || enmDetail > InfoDetail_EaSize)
        return RTE_INVALID_PARAMETER;
    RTNTSTATUS const rcNt = rtNtQueryAllInfo(hFile, pObjInfo, enmDetail, 0, nullptr, 0);
    if (RTNT_SUCCESS(rcNt))
        return RT_OK;

    int32_t const rc = RTErrConvertFromNtStatus(rcNt);
    if (rc == RTE_OBJECT_TYPE_MISMATCH || rc == RTE_ACCESS_DENIED || rc == RTE_INVALID_HANDLE) {
        if (!fileIsConsoleHandle(hFile))
            return RTE_INVALID_HANDLE;
    } else if (rc != RTE_BAD_COMMAND && rc != RTE_INVALID_FUNCTION)
        return rc;
    // A console (or a device without file information) is described as a
    // bare device.
    __builtin_memset(pObjInfo, 0, sizeof(*pObjInfo));
    pObjInfo->enmDetail = enmDetail;
    pObjInfo->fMode = RTFsModeFromWinAttributes(FILE_ATTRIBUTE_DEVICE, nullptr, 0, 0);
    return RT_OK;
}

int32_t RTFileUnlink(const char *pszPath)
{
    NTUTF16STRING NtName;
    RT_TRY(PathToNtUtf16(pszPath, &NtName));
    RTNTOBJECTATTRIBUTES ObjAttr;
    rtNtInitObjAttr(&ObjAttr, &NtName);

    ACCESS_MASK const fAccess = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    ULONG const fShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ULONG const fOptions = RTNT_FILE_OPEN_FOR_BACKUP_INTENT | RTNT_FILE_NON_DIRECTORY_FILE
                         | RTNT_FILE_SYNCHRONOUS_IO_NONALERT;
    HANDLE hFile = nullptr;
    RTNTIOSTATUSBLOCK Ios = {};
    RTNTSTATUS rcNt = NtCreateFile(&hFile, fAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL, fShare,
                                   RTNT_FILE_OPEN, fOptions | RTNT_FILE_OPEN_REPARSE_POINT, nullptr, 0);
    bool const fReparseOpen = RTNT_SUCCESS(rcNt);
    if (rcNt == RTNT_STATUS_INVALID_PARAMETER) {
        Ios = {};
        rcNt = NtCreateFile(&hFile, fAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL, fShare, RTNT_FILE_OPEN,
                            fOptions, nullptr, 0);
    }
    RTPathFreeNt(&NtName);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    int32_t rc = RT_OK;
    if (fReparseOpen) {
        RTNTFILEATTRTAGINFO TagInfo = {};
        Ios = {};
        rcNt = NtQueryInformationFile(hFile, &Ios, &TagInfo, sizeof(TagInfo), RTNT_FileAttributeTagInformation);
        if (RTNT_SUCCESS(rcNt)) {
            if (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                rc = RTE_IS_A_SYMLINK;
        } else if (rcNt != RTNT_STATUS_INVALID_PARAMETER && rcNt != RTNT_STATUS_NOT_IMPLEMENTED
                   && rcNt != RTNT_STATUS_INVALID_INFO_CLASS)
            rc = RTErrConvertFromNtStatus(rcNt);
        if (RT_FAILURE_NP(rc)) {
            NtClose(hFile);
            return rc;
        }
    }

    RTNTFILEBASICINFO Basic = {};
    Ios = {};
    rcNt = NtQueryInformationFile(hFile, &Ios, &Basic, sizeof(Basic), RTNT_FileBasicInformation);
    if (!RTNT_SUCCESS(rcNt))
        rc = RTErrConvertFromNtStatus(rcNt);
    else if (Basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        rc = RTE_IS_A_DIRECTORY;
    else if (Basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        rc = RTE_IS_A_SYMLINK;
    else {
        BOOLEAN fDelete = TRUE;
        Ios = {};
        rcNt = NtSetInformationFile(hFile, &Ios, &fDelete, sizeof(fDelete), RTNT_FileDispositionInformation);
        if (!RTNT_SUCCESS(rcNt))
            rc = RTErrConvertFromNtStatus(rcNt);
    }
    rcNt = NtClose(hFile);
    if (RT_SUCCESS_NP(rc) && !RTNT_SUCCESS(rcNt))
        rc = RTErrConvertFromNtStatus(rcNt);
    return rc;
}
