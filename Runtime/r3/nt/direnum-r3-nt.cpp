// Directory handles: opening a directory so that it cannot be removed or
// moved while the handle is held, and closing it.
#include <quab/dir.h>
#include <quab/err.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "nt-internal.h"
#include "r3/dir-internal.h"

namespace {

inline constexpr ACCESS_MASK kDirAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
inline constexpr ULONG kDirOptions = RTNT_FILE_DIRECTORY_FILE | RTNT_FILE_SYNCHRONOUS_IO_NONALERT
                                   | RTNT_FILE_OPEN_FOR_BACKUP_INTENT;

RTNTSTATUS dirNtOpen(HANDLE *phDir, NTUTF16STRING *pName, ACCESS_MASK fAccess)
{
    RTNTOBJECTATTRIBUTES ObjAttr;
    rtNtInitObjAttr(&ObjAttr, pName);
    RTNTIOSTATUSBLOCK Ios = {};
    // No delete sharing: the directory stays where it is while we hold it.
    return NtCreateFile(phDir, fAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, RTNT_FILE_OPEN, kDirOptions, nullptr, 0);
}

// The NT name with one more "\" at its end.
int32_t dirAppendSep(NTUTF16STRING const *pName, NTUTF16STRING *pNew)
{
    size_t const cwc = pName->Length / sizeof(RTUTF16);
    RTUTF16 *pwsz = RTUtf16Allocate((cwc + 2) * sizeof(RTUTF16), "RTDirOpenPath");
    if (!pwsz)
        return RTE_NO_UTF16_MEMORY;
    __builtin_memcpy(pwsz, pName->Buffer, cwc * sizeof(RTUTF16));
    pwsz[cwc] = u'\\';
    pwsz[cwc + 1] = 0;
    pNew->Buffer = pwsz;
    pNew->Length = static_cast<uint16_t>(pName->Length + sizeof(RTUTF16));
    pNew->MaximumLength = static_cast<uint16_t>(pNew->Length + sizeof(RTUTF16));
    return RT_OK;
}

int32_t dirOpenNative(RTDIRINTERNAL *pDir)
{
    NTUTF16STRING NtName;
    RT_TRY(PathToNtUtf16(pDir->pszPath, &NtName));
    HANDLE hDir = INVALID_HANDLE_VALUE;
    RTNTSTATUS rcNt = dirNtOpen(&hDir, &NtName, kDirAccess);
    if (RTErrConvertFromNtStatus(rcNt) == RTE_ACCESS_DENIED)
        rcNt = dirNtOpen(&hDir, &NtName, kDirAccess & ~FILE_TRAVERSE);
    if (rcNt == RTNT_STATUS_INVALID_PARAMETER && NtName.Length
        && NtName.Buffer[NtName.Length / sizeof(RTUTF16) - 1] != u'\\') {
        NTUTF16STRING NtNameSep;
        if (RT_SUCCESS_NP(dirAppendSep(&NtName, &NtNameSep))) {
            rcNt = dirNtOpen(&hDir, &NtNameSep, kDirAccess);
            RTPathFreeNt(&NtNameSep);
        }
    }
    if (rcNt == RTNT_STATUS_OBJECT_NAME_INVALID || rcNt == RTNT_STATUS_OBJECT_TYPE_MISMATCH) {
        // Not a file-system name: perhaps a directory of the object namespace.
        RTNTOBJECTATTRIBUTES ObjAttr;
        rtNtInitObjAttr(&ObjAttr, &NtName);
        RTNTSTATUS const rcNtObj = NtOpenDirectoryObject(&hDir, RTNT_DIRECTORY_QUERY | RTNT_DIRECTORY_TRAVERSE, &ObjAttr);
        if (RTNT_SUCCESS(rcNtObj)) {
            pDir->fIsObjDir = true;
            rcNt = rcNtObj;
        }
    }
    RTPathFreeNt(&NtName);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    pDir->hDir = hDir;
    return RT_OK;
}

} // namespace

int32_t RTDirOpenPath(DirHandle *phDir, const char *pszPath)
{
    if (!RT_VALID_PTR(phDir) || !RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;
    *phDir = nullptr;
    char *pszAbs = RTPathAbsExDup(nullptr, pszPath, RTPATHABS_F_ENSURE_TRAILING_SLASH);
    if (!pszAbs)
        return RTE_NO_MEMORY;
    size_t const cchAbs = RTStrLenMax(pszAbs, RTSTR_MAX);
    RTDIRINTERNAL *pDir = static_cast<RTDIRINTERNAL *>(RTMemAllocZTag(sizeof(*pDir) + cchAbs + 1, "RTDirOpenPath"));
    if (!pDir) {
        RTStrDispose(pszAbs);
        return RTE_NO_MEMORY;
    }
    pDir->u32Magic = RTDIR_MAGIC;
    pDir->hDir = INVALID_HANDLE_VALUE;
    pDir->cchPath = cchAbs;
    pDir->pszPath = reinterpret_cast<char *>(pDir + 1);
    __builtin_memcpy(pDir->pszPath, pszAbs, cchAbs + 1);
    RTStrDispose(pszAbs);

    int32_t const rc = dirOpenNative(pDir);
    if (RT_FAILURE_NP(rc)) {
        pDir->u32Magic = RTDIR_MAGIC_DEAD;
        RTMemFree(pDir);
        return rc;
    }
    *phDir = pDir;
    return RT_OK;
}

bool RTDirCheckHandle(DirHandle hDir)
{
    return RT_VALID_PTR(hDir) && hDir->u32Magic == RTDIR_MAGIC;
}

int32_t RTDirClose(DirHandle hDir)
{
    if (!RTDirCheckHandle(hDir))
        return RTE_INVALID_PARAMETER;
    hDir->u32Magic = RTDIR_MAGIC_DEAD;
    if (hDir->hDir != INVALID_HANDLE_VALUE)
        NtClose(hDir->hDir);
    hDir->hDir = INVALID_HANDLE_VALUE;
    RTMemFree(hDir);
    return RT_OK;
}
