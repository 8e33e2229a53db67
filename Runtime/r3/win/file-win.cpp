// Opening files by UTF-8 path with the portable flag word, closing and
// validating handles, and the file position.
#include <windows.h>

#include <quab/err.h>
#include <quab/file.h>
#include <quab/path.h>
#include <quab/string.h>

namespace {

// Share modes by the sharing field (bits 4-7); a 0 field was made DENY_NONE.
constexpr DWORD g_afShareModes[9] = {
    FILE_SHARE_READ | FILE_SHARE_WRITE,                        // 0x00 (not reached)
    FILE_SHARE_WRITE,                                          // DENY_READ
    FILE_SHARE_READ,                                           // DENY_WRITE
    0,                                                         // DENY_READ_WRITE
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,    // DENY_NOT_DELETE
    FILE_SHARE_WRITE | FILE_SHARE_DELETE,                      // DENY_READ | DENY_NOT_DELETE
    FILE_SHARE_READ | FILE_SHARE_DELETE,                       // DENY_WRITE | DENY_NOT_DELETE
    FILE_SHARE_DELETE,                                         // DENY_READ_WRITE | DENY_NOT_DELETE
    FILE_SHARE_READ | FILE_SHARE_WRITE,                        // DENY_NONE
};

// Access rights by access bits, without and with FOPEN_APPEND; 0 marks a
// combination that does not exist.
struct AccessRow {
    DWORD fPlain, fAppend, fAttrDefault;
};
constexpr AccessRow g_aAccess[4] = {
    {0, 0, 0},
    {0x120089, 0, 0x100080},          // FILE_GENERIC_READ
    {0x120116, 0x120114, 0x100100},   // FILE_GENERIC_WRITE
    {0x12019F, 0x12019D, 0x100180},
};
constexpr DWORD g_afAttrRights[4] = {0, 0x100080, 0x100100, 0x100180};

inline constexpr DWORD kFileAppendData = 0x0004;

int32_t fileTranslateFlags(uint64_t fOpen, DWORD *pfAccess, DWORD *pfShare, DWORD *puDisposition, DWORD *pfAttribs)
{
    if (!(fOpen & (FOPEN_ACCESS_MASK | FOPEN_ATTR_READ | FOPEN_ATTR_WRITE)))
        return RTE_INVALID_PARAMETER;
    if (fOpen & FOPEN_RESERVED_MASK)
        return RTE_INVALID_PARAMETER;
    if ((fOpen & FOPEN_TRUNCATE) && !(fOpen & FOPEN_WRITE))
        return RTE_INVALID_PARAMETER;
    uint64_t fAction = fOpen & FOPEN_ACTION_MASK;
    if (fAction == 0)
        fAction = FOPEN_OPEN_EXISTING;
    if (fAction == 0x400 || fAction == 0x500 || fAction == 0x600)
        return RTE_INVALID_PARAMETER;
    if (fAction == FOPEN_OPEN_EXISTING && (fOpen & FOPEN_NOT_CONTENT_INDEXED))
        return RTE_INVALID_PARAMETER;
    uint64_t fDeny = fOpen & FOPEN_DENY_MASK;
    if (fDeny > FOPEN_DENY_NONE)
        return RTE_INVALID_PARAMETER;
    if (fDeny == 0)
        fDeny = FOPEN_DENY_NONE;

    switch (fAction) {
        case FOPEN_OPEN_OR_CREATE: *puDisposition = OPEN_ALWAYS; break;
        case FOPEN_CREATE_NEW: *puDisposition = CREATE_NEW; break;
        case FOPEN_CREATE_OR_REPLACE: *puDisposition = CREATE_ALWAYS; break;
        default: *puDisposition = (fOpen & FOPEN_TRUNCATE) ? TRUNCATE_EXISTING : OPEN_EXISTING; break;
    }

    AccessRow const &Row = g_aAccess[fOpen & FOPEN_ACCESS_MASK];
    DWORD fAccess;
    if (fOpen & FOPEN_APPEND) {
        if (!Row.fAppend)
            return RTE_INVALID_FLAGS;
        fAccess = Row.fAppend;
    } else
        fAccess = Row.fPlain;
    if (*puDisposition == TRUNCATE_EXISTING)
        fAccess |= GENERIC_WRITE;
    unsigned const iAttr = static_cast<unsigned>(((fOpen & FOPEN_ATTR_READ) ? 1 : 0) | ((fOpen & FOPEN_ATTR_WRITE) ? 2 : 0));
    fAccess |= iAttr ? g_afAttrRights[iAttr] : Row.fAttrDefault;

    DWORD fAttribs = (fOpen & FOPEN_TEMPORARY) ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
    if (fOpen & FOPEN_WRITE_THROUGH)
        fAttribs |= FILE_FLAG_WRITE_THROUGH;
    if (fOpen & FOPEN_ASYNC_IO)
        fAttribs |= FILE_FLAG_OVERLAPPED;
    if (fOpen & FOPEN_NO_CACHE) {
        fAttribs |= FILE_FLAG_NO_BUFFERING;
        fAccess &= ~kFileAppendData;
    }

    *pfAccess = fAccess;
    *pfShare = g_afShareModes[fDeny >> 4];
    *pfAttribs = fAttribs;
    return RT_OK;
}

} // namespace

int32_t RTFileOpenPath(FileHandle *phFile, const char *pszPath, uint64_t fOpen, FileOpenAction *penmAction)
{
    if (!RT_VALID_PTR(phFile) || !RT_VALID_PTR(pszPath))
        return RTE_INVALID_PARAMETER;
    *phFile = NIL_FILEHANDLE;
    if (penmAction)
        *penmAction = FileOpenAction_Invalid;

    fOpen &= UINT64_C(0xFFFFFFFF);
    DWORD fAccess, fShare, uDisposition, fAttribs;
    RT_TRY(fileTranslateFlags(fOpen, &fAccess, &fShare, &uDisposition, &fAttribs));

    SECURITY_ATTRIBUTES SecAttr;
    SecAttr.nLength = sizeof(SecAttr);
    SecAttr.lpSecurityDescriptor = nullptr;
    SecAttr.bInheritHandle = TRUE;

    RTUTF16 *pwszPath;
    RT_TRY(PathToWin32Utf16(pszPath, &pwszPath));

    HANDLE hFile = CreateFileW(reinterpret_cast<LPCWSTR>(pwszPath), fAccess, fShare,
                               (fOpen & FOPEN_INHERIT) ? &SecAttr : nullptr, uDisposition, fAttribs, nullptr);
    DWORD const dwErr = GetLastError();
    if (hFile == INVALID_HANDLE_VALUE) {
        if (penmAction && uDisposition == CREATE_NEW && dwErr == ERROR_FILE_EXISTS)
            *penmAction = FileOpenAction_AlreadyExists;
        RTStrDispose(pwszPath);
        return RTErrConvertFromWinError(dwErr);
    }

    FileOpenAction enmAction;
    switch (uDisposition) {
        case CREATE_NEW: enmAction = FileOpenAction_Created; break;
        case CREATE_ALWAYS:
            enmAction = dwErr == ERROR_ALREADY_EXISTS ? FileOpenAction_Replaced : FileOpenAction_Created;
            break;
        case OPEN_ALWAYS:
            enmAction = dwErr == ERROR_ALREADY_EXISTS ? FileOpenAction_Opened : FileOpenAction_Created;
            break;
        case TRUNCATE_EXISTING: enmAction = FileOpenAction_Truncated; break;
        default: enmAction = FileOpenAction_Opened; break;
    }

    int32_t rc = RT_OK;
    if ((fOpen & FOPEN_NOT_CONTENT_INDEXED)
        && (enmAction == FileOpenAction_Created || enmAction == FileOpenAction_Replaced)) {
        if (!SetFileAttributesW(reinterpret_cast<LPCWSTR>(pwszPath), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
            rc = RTErrConvertFromWinError(GetLastError());
    } else if ((fOpen & FOPEN_ACTION_MASK) == FOPEN_OPEN_OR_CREATE && (fOpen & FOPEN_TRUNCATE)
               && enmAction == FileOpenAction_Opened) {
        if (SetEndOfFile(hFile))
            enmAction = FileOpenAction_Truncated;
        else
            rc = RTErrConvertFromWinError(GetLastError());
    }
    RTStrDispose(pwszPath);

    if (penmAction)
        *penmAction = enmAction;
    if (RT_FAILURE_NP(rc)) {
        CloseHandle(hFile);
        return rc;
    }
    *phFile = hFile;
    return RT_OK;
}

int32_t RTFileClose(FileHandle hFile)
{
    if (hFile == NIL_FILEHANDLE)
        return RT_OK;
    if (!CloseHandle(hFile))
        return RTErrConvertFromWinError(GetLastError());
    return RT_OK;
}

bool RTFileCheckHandle(FileHandle hFile)
{
    if (hFile == NIL_FILEHANDLE)
        return false;
    SetLastError(NO_ERROR);
    switch (GetFileType(hFile)) {
        case FILE_TYPE_DISK:
        case FILE_TYPE_CHAR:
        case FILE_TYPE_PIPE:
        case FILE_TYPE_REMOTE: return true;
        case FILE_TYPE_UNKNOWN: return GetLastError() == NO_ERROR;
        default: return false;
    }
}

uint64_t RTFileGetPos(FileHandle hFile)
{
    LONG offHigh = 0;
    SetLastError(NO_ERROR);
    DWORD const offLow = SetFilePointer(hFile, 0, &offHigh, FILE_CURRENT);
    if (offLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return ~UINT64_C(0);
    return (static_cast<uint64_t>(static_cast<uint32_t>(offHigh)) << 32) | offLow;
}
