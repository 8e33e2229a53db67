// The NT native calls and records the file and directory layers use,
// declared here rather than taken from the system's internal headers (which
// clash with <windows.h>). Layouts are those of the 32-bit and 64-bit ABIs.
#pragma once

#include <windows.h>

#include <quab/path.h>
#include <quab/types.h>

using RTNTSTATUS = LONG;

inline constexpr RTNTSTATUS RTNT_STATUS_SUCCESS = 0;
inline constexpr RTNTSTATUS RTNT_STATUS_BUFFER_OVERFLOW = static_cast<RTNTSTATUS>(0x80000005);
inline constexpr RTNTSTATUS RTNT_STATUS_NO_MORE_ENTRIES = static_cast<RTNTSTATUS>(0x8000001A);
inline constexpr RTNTSTATUS RTNT_STATUS_NOT_IMPLEMENTED = static_cast<RTNTSTATUS>(0xC0000002);
inline constexpr RTNTSTATUS RTNT_STATUS_INVALID_INFO_CLASS = static_cast<RTNTSTATUS>(0xC0000003);
inline constexpr RTNTSTATUS RTNT_STATUS_INVALID_PARAMETER = static_cast<RTNTSTATUS>(0xC000000D);
inline constexpr RTNTSTATUS RTNT_STATUS_ACCESS_DENIED = static_cast<RTNTSTATUS>(0xC0000022);
inline constexpr RTNTSTATUS RTNT_STATUS_OBJECT_TYPE_MISMATCH = static_cast<RTNTSTATUS>(0xC0000024);
inline constexpr RTNTSTATUS RTNT_STATUS_OBJECT_NAME_INVALID = static_cast<RTNTSTATUS>(0xC0000033);
inline constexpr RTNTSTATUS RTNT_STATUS_SHARING_VIOLATION = static_cast<RTNTSTATUS>(0xC0000043);
inline constexpr RTNTSTATUS RTNT_STATUS_NOT_A_DIRECTORY = static_cast<RTNTSTATUS>(0xC0000103);
inline constexpr RTNTSTATUS RTNT_STATUS_BAD_NETWORK_PATH = static_cast<RTNTSTATUS>(0xC00000BE);

inline bool RTNT_SUCCESS(RTNTSTATUS rcNt)
{
    return rcNt >= 0;
}

struct RTNTIOSTATUSBLOCK {
    union {
        RTNTSTATUS Status;
        void *Pointer;
    };
    ULONG_PTR Information;
};

struct RTNTOBJECTATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    NTUTF16STRING *ObjectName;
    ULONG Attributes;
    void *SecurityDescriptor;
    void *SecurityQualityOfService;
};

inline constexpr ULONG RTNT_OBJ_CASE_INSENSITIVE = 0x40;

inline void rtNtInitObjAttr(RTNTOBJECTATTRIBUTES *pObjAttr, NTUTF16STRING *pName, HANDLE hRoot = nullptr)
{
    pObjAttr->Length = sizeof(*pObjAttr);
    pObjAttr->RootDirectory = hRoot;
    pObjAttr->ObjectName = pName;
    pObjAttr->Attributes = RTNT_OBJ_CASE_INSENSITIVE;
    pObjAttr->SecurityDescriptor = nullptr;
    pObjAttr->SecurityQualityOfService = nullptr;
}

// Create dispositions and options.
inline constexpr ULONG RTNT_FILE_OPEN = 1;
inline constexpr ULONG RTNT_FILE_DIRECTORY_FILE = 0x00000001;
inline constexpr ULONG RTNT_FILE_SYNCHRONOUS_IO_NONALERT = 0x00000020;
inline constexpr ULONG RTNT_FILE_NON_DIRECTORY_FILE = 0x00000040;
inline constexpr ULONG RTNT_FILE_OPEN_FOR_BACKUP_INTENT = 0x00004000;
inline constexpr ULONG RTNT_FILE_OPEN_REPARSE_POINT = 0x00200000;

// Information classes.
inline constexpr ULONG RTNT_FileBothDirectoryInformation = 3;
inline constexpr ULONG RTNT_FileBasicInformation = 4;
inline constexpr ULONG RTNT_FileDispositionInformation = 13;
inline constexpr ULONG RTNT_FileAllInformation = 18;
inline constexpr ULONG RTNT_FileAttributeTagInformation = 35;
inline constexpr ULONG RTNT_FileIdBothDirectoryInformation = 37;
inline constexpr ULONG RTNT_FileFsVolumeInformation = 1;
inline constexpr ULONG RTNT_FileFsAttributeInformation = 5;

struct RTNTFILEBASICINFO {
    int64_t CreationTime;
    int64_t LastAccessTime;
    int64_t LastWriteTime;
    int64_t ChangeTime;
    ULONG FileAttributes;
};
static_assert(sizeof(RTNTFILEBASICINFO) == 40);

struct RTNTFILESTANDARDINFO {
    int64_t AllocationSize;
    int64_t EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};

struct RTNTFILEALLINFO {
    RTNTFILEBASICINFO BasicInformation;
    RTNTFILESTANDARDINFO StandardInformation;
    int64_t IndexNumber;               // FILE_INTERNAL_INFORMATION
    ULONG EaSize;                      // FILE_EA_INFORMATION
    ULONG AccessFlags;                 // FILE_ACCESS_INFORMATION
    int64_t CurrentByteOffset;         // FILE_POSITION_INFORMATION
    ULONG Mode;                        // FILE_MODE_INFORMATION
    ULONG AlignmentRequirement;        // FILE_ALIGNMENT_INFORMATION
    ULONG FileNameLength;              // FILE_NAME_INFORMATION
    WCHAR FileName[1];
};
static_assert(sizeof(RTNTFILEALLINFO) == 104);

struct RTNTFILEATTRTAGINFO {
    ULONG FileAttributes;
    ULONG ReparseTag;
};

struct RTNTFILENETWORKOPENINFO {
    int64_t CreationTime;
    int64_t LastAccessTime;
    int64_t LastWriteTime;
    int64_t ChangeTime;
    int64_t AllocationSize;
    int64_t EndOfFile;
    ULONG FileAttributes;
};
static_assert(sizeof(RTNTFILENETWORKOPENINFO) == 56);

struct RTNTFSVOLUMEINFO {
    int64_t VolumeCreationTime;
    ULONG VolumeSerialNumber;
    ULONG VolumeLabelLength;
    BOOLEAN SupportsObjects;
    WCHAR VolumeLabel[1];
};

struct RTNTFSATTRIBUTEINFO {
    ULONG FileSystemAttributes;
    LONG MaximumComponentNameLength;
    ULONG FileSystemNameLength;
    WCHAR FileSystemName[1];
};

struct RTNTFILEBOTHDIRINFO {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    int64_t CreationTime;
    int64_t LastAccessTime;
    int64_t LastWriteTime;
    int64_t ChangeTime;
    int64_t EndOfFile;
    int64_t AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    WCHAR FileName[1];
};

struct RTNTFILEIDBOTHDIRINFO {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    int64_t CreationTime;
    int64_t LastAccessTime;
    int64_t LastWriteTime;
    int64_t ChangeTime;
    int64_t EndOfFile;
    int64_t AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    CCHAR ShortNameLength;
    WCHAR ShortName[12];
    int64_t FileId;
    WCHAR FileName[1];
};

struct RTNTOBJDIRINFO {
    NTUTF16STRING Name;
    NTUTF16STRING TypeName;
};

inline constexpr ACCESS_MASK RTNT_DIRECTORY_QUERY = 0x0001;
inline constexpr ACCESS_MASK RTNT_DIRECTORY_TRAVERSE = 0x0002;

extern "C" {
RTNTSTATUS NTAPI NtCreateFile(HANDLE *phFile, ACCESS_MASK fAccess, RTNTOBJECTATTRIBUTES *pObjAttr,
                              RTNTIOSTATUSBLOCK *pIos, LARGE_INTEGER *pcbAlloc, ULONG fFileAttribs, ULONG fShare,
                              ULONG uDisposition, ULONG fOptions, void *pvEaBuffer, ULONG cbEa);
RTNTSTATUS NTAPI NtClose(HANDLE hHandle);
RTNTSTATUS NTAPI NtQueryInformationFile(HANDLE hFile, RTNTIOSTATUSBLOCK *pIos, void *pvInfo, ULONG cbInfo,
                                        ULONG uClass);
RTNTSTATUS NTAPI NtSetInformationFile(HANDLE hFile, RTNTIOSTATUSBLOCK *pIos, void *pvInfo, ULONG cbInfo,
                                      ULONG uClass);
RTNTSTATUS NTAPI NtQueryVolumeInformationFile(HANDLE hFile, RTNTIOSTATUSBLOCK *pIos, void *pvInfo, ULONG cbInfo,
                                              ULONG uClass);
RTNTSTATUS NTAPI NtQueryFullAttributesFile(RTNTOBJECTATTRIBUTES *pObjAttr, RTNTFILENETWORKOPENINFO *pInfo);
RTNTSTATUS NTAPI NtQueryDirectoryFile(HANDLE hFile, HANDLE hEvent, void *pfnApc, void *pvApcCtx,
                                      RTNTIOSTATUSBLOCK *pIos, void *pvInfo, ULONG cbInfo, ULONG uClass,
                                      BOOLEAN fSingleEntry, NTUTF16STRING *pFileName, BOOLEAN fRestartScan);
RTNTSTATUS NTAPI NtOpenDirectoryObject(HANDLE *phDir, ACCESS_MASK fAccess, RTNTOBJECTATTRIBUTES *pObjAttr);
RTNTSTATUS NTAPI NtQueryDirectoryObject(HANDLE hDir, void *pvBuf, ULONG cbBuf, BOOLEAN fSingleEntry,
                                        BOOLEAN fRestartScan, ULONG *puContext, ULONG *pcbReturned);
RTNTSTATUS NTAPI NtOpenProcessToken(HANDLE hProcess, ACCESS_MASK fAccess, HANDLE *phToken);
RTNTSTATUS NTAPI NtQueryInformationToken(HANDLE hToken, ULONG uClass, void *pvInfo, ULONG cbInfo, ULONG *pcbRet);
RTNTSTATUS NTAPI RtlCreateSecurityDescriptor(SECURITY_DESCRIPTOR *pSd, ULONG uRevision);
RTNTSTATUS NTAPI RtlSetDaclSecurityDescriptor(SECURITY_DESCRIPTOR *pSd, BOOLEAN fPresent, ACL *pAcl, BOOLEAN fDefaulted);
RTNTSTATUS NTAPI RtlCreateAcl(ACL *pAcl, ULONG cbAcl, ULONG uRevision);
RTNTSTATUS NTAPI RtlAddAccessAllowedAceEx(ACL *pAcl, ULONG uRevision, ULONG fAceFlags, ACCESS_MASK fAccess, PSID pSid);
BOOLEAN NTAPI RtlEqualSid(PSID pSid1, PSID pSid2);
}

// NT times (100 ns since 1601) as nanoseconds since 1970. The epoch is
// moved first: scaling first would overflow 64 bits for any present-day time.
inline int64_t rtNtTimeToUnixNano(int64_t iNtTime)
{
    return (iNtTime - INT64_C(116444736000000000)) * 100;
}

// Fills an FsObjectInfo from the basic and standard parts of a query, the
// name (for the executable rule) and the reparse tag; the Unix detail's
// identity fields come from the caller.
struct FsObjectInfo;
enum InfoDetail : uint32_t;
void rtNtFillObjInfo(FsObjectInfo *pObjInfo, InfoDetail enmDetail, int64_t iCreation, int64_t iAccess, int64_t iWrite,
                     int64_t iChange, int64_t cbEndOfFile, int64_t cbAlloc, ULONG fAttributes, const RTUTF16 *pwszName,
                     size_t cwcName, ULONG uReparseTag);
// FileAllInformation of an open handle into pObjInfo (with the volume
// serial for the Unix detail); the NT status of the query.
RTNTSTATUS rtNtQueryAllInfo(HANDLE hFile, FsObjectInfo *pObjInfo, InfoDetail enmDetail, ULONG uReparseTag,
                            const RTUTF16 *pwszName, size_t cwcName);
