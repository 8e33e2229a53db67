// Files: opening by UTF-8 path with one portable flag word, full and partial
// reads and writes, handle checks, the file-system kind, information about
// an open file and deletion by path.
#pragma once

#include <quab/types.h>

// Open flag word (only the low 32 bits carry meaning).
inline constexpr uint64_t FOPEN_READ = 0x00000001;
inline constexpr uint64_t FOPEN_WRITE = 0x00000002;
inline constexpr uint64_t FOPEN_READ_WRITE = 0x00000003;
inline constexpr uint64_t FOPEN_ACCESS_MASK = 0x00000003;
inline constexpr uint64_t FOPEN_APPEND = 0x00000004;
inline constexpr uint64_t FOPEN_DENY_READ = 0x00000010;
inline constexpr uint64_t FOPEN_DENY_WRITE = 0x00000020;
inline constexpr uint64_t FOPEN_DENY_READ_WRITE = 0x00000030;
inline constexpr uint64_t FOPEN_DENY_NOT_DELETE = 0x00000040;
inline constexpr uint64_t FOPEN_DENY_NONE = 0x00000080;
inline constexpr uint64_t FOPEN_DENY_MASK = 0x000000F0;
inline constexpr uint64_t FOPEN_OPEN_OR_CREATE = 0x00000100;
inline constexpr uint64_t FOPEN_CREATE_NEW = 0x00000200;
inline constexpr uint64_t FOPEN_CREATE_OR_REPLACE = 0x00000300;
inline constexpr uint64_t FOPEN_OPEN_EXISTING = 0x00000700;
inline constexpr uint64_t FOPEN_ACTION_MASK = 0x00000700;
inline constexpr uint64_t FOPEN_NOT_CONTENT_INDEXED = 0x00000800;
inline constexpr uint64_t FOPEN_TRUNCATE = 0x00001000;
inline constexpr uint64_t FOPEN_INHERIT = 0x00002000;
inline constexpr uint64_t FOPEN_WRITE_THROUGH = 0x00008000;
inline constexpr uint64_t FOPEN_ATTR_READ = 0x00010000;
inline constexpr uint64_t FOPEN_ATTR_WRITE = 0x00020000;
inline constexpr uint64_t FOPEN_ASYNC_IO = 0x00040000;
inline constexpr uint64_t FOPEN_NO_CACHE = 0x00080000;
inline constexpr uint64_t FOPEN_CREATE_MODE_SHIFT = 20;
inline constexpr uint64_t FOPEN_CREATE_MODE_MASK = 0x1FF00000;
inline constexpr uint64_t FOPEN_TEMPORARY = 0x40000000;
// Bits that must be zero.
inline constexpr uint64_t FOPEN_RESERVED_MASK = 0x80004008;

// What an open did; 0 until the open decides.
enum FileOpenAction : uint32_t {
    FileOpenAction_Invalid = 0,
    FileOpenAction_Opened = 1,
    FileOpenAction_Created = 2,
    FileOpenAction_Replaced = 3,
    FileOpenAction_Truncated = 4,
    FileOpenAction_AlreadyExists = 5,
};

// File-system kinds, recognised by the volume's file-system name.
enum FsKind : uint32_t {
    FsKind_Unknown = 0,
    FsKind_NTFS,
    FsKind_FAT,
    FsKind_FAT32,
    FsKind_exFAT,
    FsKind_UDF,
    FsKind_CDFS,
    FsKind_HPFS,
    FsKind_ReFS,
    FsKind_MorvSharedFolderFS,
};

// Mode word: Windows attributes in the upper 16 bits, POSIX type and
// permission bits in the lower 16.
inline constexpr uint32_t RTFS_TYPE_MASK = 0170000;
inline constexpr uint32_t RTFS_TYPE_DEV_CHAR = 0020000;
inline constexpr uint32_t RTFS_TYPE_DIRECTORY = 0040000;
inline constexpr uint32_t RTFS_TYPE_FILE = 0100000;
inline constexpr uint32_t RTFS_TYPE_SYMLINK = 0120000;
inline constexpr uint32_t RTFS_UNIX_MASK = 0xFFFF;
inline constexpr uint32_t RTFS_DOS_SHIFT = 16;
inline constexpr uint32_t RTFS_DOS_MASK = 0x7FFFu << RTFS_DOS_SHIFT;
inline constexpr uint32_t RTFS_DOS_READONLY = 0x0001u << RTFS_DOS_SHIFT;
inline constexpr uint32_t RTFS_DOS_DIRECTORY = 0x0010u << RTFS_DOS_SHIFT;
inline constexpr uint32_t RTFS_DOS_NT_DEVICE = 0x0040u << RTFS_DOS_SHIFT;
inline constexpr uint32_t RTFS_DOS_NT_REPARSE_POINT = 0x0400u << RTFS_DOS_SHIFT;

enum InfoDetail : uint32_t {
    InfoDetail_None = 1,
    InfoDetail_Unix = 2,
    InfoDetail_UnixOwner = 3,
    InfoDetail_UnixGroup = 4,
    InfoDetail_EaSize = 5,
};

inline constexpr uint32_t NIL_RTUID = ~0u;
inline constexpr uint32_t NIL_RTGID = ~0u;

struct FsObjectInfo {
    int64_t cbObject;          // end of file
    int64_t cbAllocated;
    int64_t AccessTime;        // nanoseconds since 1970-01-01 UTC
    int64_t ModificationTime;
    int64_t ChangeTime;
    int64_t BirthTime;
    uint32_t fMode;
    InfoDetail enmDetail;
    union {
        struct {
            uint32_t uid;
            uint32_t gid;
            uint32_t cHardlinks;
            uint32_t INodeIdDevice;   // volume serial number
            uint64_t INodeId;         // the file index number
            uint32_t fFlags;
            uint32_t GenerationId;
            uint32_t Device;
        } Unix;
        struct {
            uint32_t uid;
            char szName[64];
        } UnixOwner;
        struct {
            uint32_t gid;
            char szName[64];
        } UnixGroup;
        struct {
            uint64_t cb;
        } EaSize;
    } Detail;
};

int32_t RTFileOpenPath(FileHandle *phFile, const char *pszPath, uint64_t fOpen, FileOpenAction *penmAction = nullptr);
// The nil handle is accepted and gives RT_OK.
int32_t RTFileClose(FileHandle hFile);
bool RTFileCheckHandle(FileHandle hFile);
// Without pcbRead/pcbWritten the whole count is transferred or it fails.
int32_t RTFileRead(FileHandle hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead);
int32_t RTFileWrite(FileHandle hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten);
// All ones on failure.
uint64_t RTFileGetPos(FileHandle hFile);
int32_t RTFileGetFsKind(FileHandle hFile, FsKind *penmKind);

int32_t RTFileQueryInfo(FileHandle hFile, FsObjectInfo *pObjInfo, InfoDetail enmDetail);
// Deletes a file; directories and symbolic links are refused.
int32_t RTFileUnlink(const char *pszPath);

// The mode word for a set of Windows attributes; the name (may be nullptr,
// cwcName UTF-16 units) decides whether a file counts as executable.
uint32_t RTFsModeFromWinAttributes(uint32_t fAttributes, const RTUTF16 *pwszName, size_t cwcName, uint32_t uReparseTag);
