// Information about an object named by path: the quick attribute query, a
// handle opened for attributes, the parent directory's entry when the object
// itself cannot be opened, and the NT object namespace.
#include <quab/dir.h>
#include <quab/err.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "nt-internal.h"

namespace {

inline constexpr ULONG kReparseTagSymlink = 0xA000000C;

// The last component of an NT name (after its last "\").
void objSplitName(NTUTF16STRING const *pName, NTUTF16STRING *pParent, NTUTF16STRING *pLeaf)
{
    size_t cwc = pName->Length / sizeof(RTUTF16);
    while (cwc > 1 && pName->Buffer[cwc - 1] == u'\\')
        cwc--;   // a trailing separator names the same object
    size_t off = cwc;
    while (off > 0 && pName->Buffer[off - 1] != u'\\')
        off--;
    pLeaf->Buffer = pName->Buffer + off;
    pLeaf->Length = static_cast<uint16_t>((cwc - off) * sizeof(RTUTF16));
    pLeaf->MaximumLength = pLeaf->Length;
    size_t cwcParent = off > 1 ? off - 1 : off;   // keep "\" for the namespace root
    pParent->Buffer = pName->Buffer;
    pParent->Length = static_cast<uint16_t>(cwcParent * sizeof(RTUTF16));
    pParent->MaximumLength = pParent->Length;
}

bool objNameEqualsNoCase(NTUTF16STRING const *p1, NTUTF16STRING const *p2)
{
    if (p1->Length != p2->Length)
        return false;
    for (size_t i = 0; i < p1->Length / sizeof(RTUTF16); i++) {
        RTUTF16 wc1 = p1->Buffer[i], wc2 = p2->Buffer[i];
        if (wc1 >= u'a' && wc1 <= u'z')
            wc1 = static_cast<RTUTF16>(wc1 - 32);
        if (wc2 >= u'a' && wc2 <= u'z')
            wc2 = static_cast<RTUTF16>(wc2 - 32);
        if (wc1 != wc2)
            return false;
    }
    return true;
}

bool objTypeIs(NTUTF16STRING const *pType, const char *pszAscii)
{
    size_t const cch = RTStrLenMax(pszAscii, RTSTR_MAX);
    if (pType->Length != cch * sizeof(RTUTF16))
        return false;
    for (size_t i = 0; i < cch; i++)
        if (pType->Buffer[i] != static_cast<RTUTF16>(pszAscii[i]))
            return false;
    return true;
}

void objFillBare(FsObjectInfo *pObjInfo, InfoDetail enmDetail, uint32_t fType, ULONG fAttributes)
{
    rtNtFillObjInfo(pObjInfo, enmDetail, 0, 0, 0, 0, 0, 0, fAttributes, nullptr, 0, 0);
    pObjInfo->fMode = (pObjInfo->fMode & ~RTFS_TYPE_MASK) | fType;
}

// A name in the object namespace: its type decides what it reports.
int32_t objQueryNamespace(NTUTF16STRING const *pName, FsObjectInfo *pObjInfo, InfoDetail enmDetail, int32_t rcOrg)
{
    if (pName->Length == sizeof(RTUTF16) && pName->Buffer[0] == u'\\') {
        objFillBare(pObjInfo, enmDetail, RTFS_TYPE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
        return RT_OK;
    }
    NTUTF16STRING Parent, Leaf;
    objSplitName(pName, &Parent, &Leaf);
    RTNTOBJECTATTRIBUTES ObjAttr;
    rtNtInitObjAttr(&ObjAttr, &Parent);
    HANDLE hDir = nullptr;
    RTNTSTATUS rcNt = NtOpenDirectoryObject(&hDir, RTNT_DIRECTORY_QUERY, &ObjAttr);
    if (!RTNT_SUCCESS(rcNt))
        return rcOrg;
    union {
        RTNTOBJDIRINFO Info;
        uint8_t ab[2048];
    } *pu = static_cast<decltype(pu)>(RTMemAllocTag(sizeof(*pu), "RTPathGetObjInfo"));
    if (!pu) {
        NtClose(hDir);
        return RTE_NO_TEMP_MEMORY;
    }
    int32_t rc = RTE_FILE_NOT_FOUND;
    ULONG uContext = 0;
    bool fRestart = true;
    for (;;) {
        ULONG cbRet = 0;
        rcNt = NtQueryDirectoryObject(hDir, pu, sizeof(*pu), TRUE, fRestart, &uContext, &cbRet);
        fRestart = false;
        if (!RTNT_SUCCESS(rcNt) || rcNt == RTNT_STATUS_NO_MORE_ENTRIES)
            break;
        if (!objNameEqualsNoCase(&pu->Info.Name, &Leaf))
            continue;
        NTUTF16STRING const *pType = &pu->Info.TypeName;
        if (objTypeIs(pType, "Directory"))
            objFillBare(pObjInfo, enmDetail, RTFS_TYPE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
        else if (objTypeIs(pType, "SymbolicLink"))
            objFillBare(pObjInfo, enmDetail, RTFS_TYPE_SYMLINK, FILE_ATTRIBUTE_REPARSE_POINT);
        else if (objTypeIs(pType, "Device"))
            objFillBare(pObjInfo, enmDetail, RTFS_TYPE_DEV_CHAR, FILE_ATTRIBUTE_DEVICE);
        else
            objFillBare(pObjInfo, enmDetail, RTFS_TYPE_FILE, FILE_ATTRIBUTE_NORMAL);
        rc = RT_OK;
        break;
    }
    RTMemFree(pu);
    NtClose(hDir);
    return rc;
}

// The object's entry in its parent directory.
int32_t objQueryViaParent(NTUTF16STRING const *pName, FsObjectInfo *pObjInfo, InfoDetail enmDetail, int32_t rcOrg)
{
    NTUTF16STRING Parent, Leaf;
    objSplitName(pName, &Parent, &Leaf);
    if (!Leaf.Length)
        return rcOrg;
    // The parent of \??\C:\x is \??\C:, which must be opened as \??\C:\.
    NTUTF16STRING ParentDir = Parent;
    ParentDir.Length = static_cast<uint16_t>(ParentDir.Length + sizeof(RTUTF16));
    ParentDir.MaximumLength = ParentDir.Length;
    RTNTOBJECTATTRIBUTES ObjAttr;
    rtNtInitObjAttr(&ObjAttr, &ParentDir);
    HANDLE hDir = nullptr;
    RTNTIOSTATUSBLOCK Ios = {};
    RTNTSTATUS rcNt = NtCreateFile(&hDir, FILE_LIST_DIRECTORY | SYNCHRONIZE, &ObjAttr, &Ios, nullptr, 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, RTNT_FILE_OPEN,
                                   RTNT_FILE_OPEN_FOR_BACKUP_INTENT | RTNT_FILE_SYNCHRONOUS_IO_NONALERT
                                       | RTNT_FILE_DIRECTORY_FILE,
                                   nullptr, 0);
    if (!RTNT_SUCCESS(rcNt))
        return rcOrg;
    union Buf {
        RTNTFILEIDBOTHDIRINFO Id;
        RTNTFILEBOTHDIRINFO Both;
        uint8_t ab[sizeof(RTNTFILEIDBOTHDIRINFO) + 520];
    } u;
    bool fHaveId = true;
    Ios = {};
    rcNt = NtQueryDirectoryFile(hDir, nullptr, nullptr, nullptr, &Ios, &u, sizeof(u),
                                RTNT_FileIdBothDirectoryInformation, TRUE, &Leaf, TRUE);
    if (rcNt == RTNT_STATUS_INVALID_INFO_CLASS || rcNt == RTNT_STATUS_INVALID_PARAMETER
        || rcNt == RTNT_STATUS_NOT_IMPLEMENTED) {
        // Systems before the identity-carrying record (Windows 2000 and older).
        fHaveId = false;
        Ios = {};
        rcNt = NtQueryDirectoryFile(hDir, nullptr, nullptr, nullptr, &Ios, &u, sizeof(u),
                                    RTNT_FileBothDirectoryInformation, TRUE, &Leaf, TRUE);
    }
    int32_t rc = RT_OK;
    if (RTNT_SUCCESS(rcNt) || rcNt == RTNT_STATUS_BUFFER_OVERFLOW) {
        if (fHaveId)
            rtNtFillObjInfo(pObjInfo, enmDetail, u.Id.CreationTime, u.Id.LastAccessTime, u.Id.LastWriteTime,
                            u.Id.ChangeTime, u.Id.EndOfFile, u.Id.AllocationSize, u.Id.FileAttributes,
                            Leaf.Buffer, Leaf.Length / sizeof(RTUTF16), 0);
        else
            rtNtFillObjInfo(pObjInfo, enmDetail, u.Both.CreationTime, u.Both.LastAccessTime, u.Both.LastWriteTime,
                            u.Both.ChangeTime, u.Both.EndOfFile, u.Both.AllocationSize, u.Both.FileAttributes,
                            Leaf.Buffer, Leaf.Length / sizeof(RTUTF16), 0);
        if (enmDetail == InfoDetail_Unix) {
            if (fHaveId)
                pObjInfo->Detail.Unix.INodeId = static_cast<uint64_t>(u.Id.FileId);
            union {
                RTNTFSVOLUMEINFO Info;
                uint8_t ab[2048];
            } v;
            Ios = {};
            RTNTSTATUS const rcVol = NtQueryVolumeInformationFile(hDir, &Ios, &v, sizeof(v), RTNT_FileFsVolumeInformation);
            if (RTNT_SUCCESS(rcVol) || rcVol == RTNT_STATUS_BUFFER_OVERFLOW)
                pObjInfo->Detail.Unix.INodeIdDevice = v.Info.VolumeSerialNumber;
        }
    } else
        rc = RTErrConvertFromNtStatus(rcNt);
    NtClose(hDir);
    return rc;
}

RTNTSTATUS objOpen(RTNTOBJECTATTRIBUTES *pObjAttr, bool fOnLink, HANDLE *phFile)
{
    RTNTIOSTATUSBLOCK Ios = {};
    return NtCreateFile(phFile, FILE_READ_ATTRIBUTES | SYNCHRONIZE, pObjAttr, &Ios, nullptr, 0,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, RTNT_FILE_OPEN,
                        RTNT_FILE_OPEN_FOR_BACKUP_INTENT | RTNT_FILE_SYNCHRONOUS_IO_NONALERT
                            | (fOnLink ? RTNT_FILE_OPEN_REPARSE_POINT : 0),
                        nullptr, 0);
}

bool objIsAccessProblem(RTNTSTATUS rcNt)
{
    return rcNt == RTNT_STATUS_ACCESS_DENIED || rcNt == RTNT_STATUS_SHARING_VIOLATION;
}

bool objIsBadName(RTNTSTATUS rcNt)
{
    return rcNt == RTNT_STATUS_OBJECT_NAME_INVALID || rcNt == RTNT_STATUS_OBJECT_TYPE_MISMATCH;
}

int32_t objQuery(NTUTF16STRING *pName, FsObjectInfo *pObjInfo, InfoDetail enmDetail, bool fOnLink)
{
    RTNTOBJECTATTRIBUTES ObjAttr;
    rtNtInitObjAttr(&ObjAttr, pName);
    NTUTF16STRING Parent, Leaf;
    objSplitName(pName, &Parent, &Leaf);

    if (enmDetail != InfoDetail_Unix) {
        RTNTFILENETWORKOPENINFO Net;
        RTNTSTATUS const rcNt = NtQueryFullAttributesFile(&ObjAttr, &Net);
        if (RTNT_SUCCESS(rcNt) && !(Net.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            rtNtFillObjInfo(pObjInfo, enmDetail, Net.CreationTime, Net.LastAccessTime, Net.LastWriteTime,
                            Net.ChangeTime, Net.EndOfFile, Net.AllocationSize, Net.FileAttributes, Leaf.Buffer,
                            Leaf.Length / sizeof(RTUTF16), 0);
            return RT_OK;
        }
    }

    HANDLE hFile = nullptr;
    RTNTSTATUS rcNt = objOpen(&ObjAttr, fOnLink, &hFile);
    ULONG uTag = 0;
    if (RTNT_SUCCESS(rcNt) && fOnLink) {
        // Only symbolic links are reported as links; junctions and other
        // reparse points are looked through.
        RTNTFILEATTRTAGINFO Tag = {};
        RTNTIOSTATUSBLOCK Ios = {};
        if (RTNT_SUCCESS(NtQueryInformationFile(hFile, &Ios, &Tag, sizeof(Tag), RTNT_FileAttributeTagInformation))
            && (Tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            if (Tag.ReparseTag == kReparseTagSymlink)
                uTag = Tag.ReparseTag;
            else {
                NtClose(hFile);
                hFile = nullptr;
                rcNt = objOpen(&ObjAttr, false, &hFile);
            }
        }
    }
    if (RTNT_SUCCESS(rcNt)) {
        RTNTSTATUS const rcNtInfo = rtNtQueryAllInfo(hFile, pObjInfo, enmDetail, uTag, Leaf.Buffer,
                                                     Leaf.Length / sizeof(RTUTF16));
        NtClose(hFile);
        if (RTNT_SUCCESS(rcNtInfo))
            return RT_OK;
        return objQueryViaParent(pName, pObjInfo, enmDetail, RTErrConvertFromNtStatus(rcNtInfo));
    }
    if (objIsAccessProblem(rcNt))
        return objQueryViaParent(pName, pObjInfo, enmDetail, RTErrConvertFromNtStatus(rcNt));
    if (objIsBadName(rcNt))
        return objQueryNamespace(pName, pObjInfo, enmDetail, RTErrConvertFromNtStatus(rcNt));
    return RTErrConvertFromNtStatus(rcNt);
}

} // namespace

int32_t RTPathGetObjInfo(const char *pszPath, FsObjectInfo *pObjInfo, InfoDetail enmDetail, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pObjInfo))
        return RTE_INVALID_POINTER;
    uint32_t const fLink = fFlags & ~RTPATH_F_NO_SYMLINKS;
    if (!*pszPath || enmDetail < InfoDetail_None || enmDetail > InfoDetail_EaSize
        || (fLink != RTPATH_F_ON_LINK && fLink != RTPATH_F_FOLLOW_LINK))
        return RTE_INVALID_PARAMETER;

    NTUTF16STRING NtName;
    RT_TRY(PathToNtUtf16(pszPath, &NtName));
    int32_t const rc = objQuery(&NtName, pObjInfo, enmDetail, fLink == RTPATH_F_ON_LINK);
    RTPathFreeNt(&NtName);
    return rc;
}
