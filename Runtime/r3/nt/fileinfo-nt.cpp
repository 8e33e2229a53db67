// Filling FsObjectInfo from the NT information records.
#include <quab/file.h>

#include "nt-internal.h"

void rtNtFillObjInfo(FsObjectInfo *pObjInfo, InfoDetail enmDetail, int64_t iCreation, int64_t iAccess, int64_t iWrite,
                     int64_t iChange, int64_t cbEndOfFile, int64_t cbAlloc, ULONG fAttributes, const RTUTF16 *pwszName,
                     size_t cwcName, ULONG uReparseTag)
{
    __builtin_memset(pObjInfo, 0, sizeof(*pObjInfo));
    pObjInfo->cbObject = cbEndOfFile;
    pObjInfo->cbAllocated = cbAlloc;
    pObjInfo->AccessTime = rtNtTimeToUnixNano(iAccess);
    pObjInfo->ModificationTime = rtNtTimeToUnixNano(iWrite);
    pObjInfo->ChangeTime = rtNtTimeToUnixNano(iChange);
    pObjInfo->BirthTime = rtNtTimeToUnixNano(iCreation);
    pObjInfo->fMode = RTFsModeFromWinAttributes(fAttributes, pwszName, cwcName, uReparseTag);
    pObjInfo->enmDetail = enmDetail;
    switch (enmDetail) {
        case InfoDetail_Unix:
            pObjInfo->Detail.Unix.uid = NIL_RTUID;
            pObjInfo->Detail.Unix.gid = NIL_RTGID;
            pObjInfo->Detail.Unix.cHardlinks = 1;
            break;
        case InfoDetail_UnixOwner: pObjInfo->Detail.UnixOwner.uid = NIL_RTUID; break;
        case InfoDetail_UnixGroup: pObjInfo->Detail.UnixGroup.gid = NIL_RTGID; break;
        default: break;
    }
}

RTNTSTATUS rtNtQueryAllInfo(HANDLE hFile, FsObjectInfo *pObjInfo, InfoDetail enmDetail, ULONG uReparseTag,
                            const RTUTF16 *pwszName, size_t cwcName)
{
    // The record has room for one name unit only; the name is not needed,
    // so the overflow its cut-off reports counts as success.
    RTNTFILEALLINFO All;
    RTNTIOSTATUSBLOCK Ios = {};
    RTNTSTATUS const rcNt = NtQueryInformationFile(hFile, &Ios, &All, sizeof(All), RTNT_FileAllInformation);
    if (!RTNT_SUCCESS(rcNt) && rcNt != RTNT_STATUS_BUFFER_OVERFLOW)
        return rcNt;
    RTNTFILEBASICINFO const &B = All.BasicInformation;
    rtNtFillObjInfo(pObjInfo, enmDetail, B.CreationTime, B.LastAccessTime, B.LastWriteTime, B.ChangeTime,
                    All.StandardInformation.EndOfFile, All.StandardInformation.AllocationSize, B.FileAttributes,
                    pwszName, cwcName, uReparseTag);
    if (enmDetail == InfoDetail_Unix) {
        ULONG const cLinks = All.StandardInformation.NumberOfLinks;
        pObjInfo->Detail.Unix.cHardlinks = cLinks > 1 ? cLinks : 1;
        pObjInfo->Detail.Unix.INodeId = static_cast<uint64_t>(All.IndexNumber);
        union {
            RTNTFSVOLUMEINFO Info;
            uint8_t ab[2048];
        } u;
        RTNTIOSTATUSBLOCK IosVol = {};
        RTNTSTATUS const rcVol = NtQueryVolumeInformationFile(hFile, &IosVol, &u, sizeof(u), RTNT_FileFsVolumeInformation);
        if (RTNT_SUCCESS(rcVol) || rcVol == RTNT_STATUS_BUFFER_OVERFLOW)
            pObjInfo->Detail.Unix.INodeIdDevice = u.Info.VolumeSerialNumber;
    }
    return RTNT_STATUS_SUCCESS;
}
