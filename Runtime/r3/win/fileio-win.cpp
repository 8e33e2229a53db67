// Reading and writing open files (full and partial), the chunked retry for
// a system short of memory, and the file-system kind behind a handle.
#include <windows.h>

#include <quab/err.h>
#include <quab/file.h>
#include <quab/string.h>

#include "fileint-win.h"

namespace {

BOOL WINAPI fileSysReadFile(HANDLE h, void *pv, DWORD cb, DWORD *pcb, OVERLAPPED *pOv)
{
    return ReadFile(h, pv, cb, pcb, pOv);
}

BOOL WINAPI fileSysWriteFile(HANDLE h, const void *pv, DWORD cb, DWORD *pcb, OVERLAPPED *pOv)
{
    return WriteFile(h, pv, cb, pcb, pOv);
}

RTNTSTATUS NTAPI fileSysQueryVolume(HANDLE h, RTNTIOSTATUSBLOCK *pIos, void *pv, ULONG cb, ULONG uClass)
{
    return NtQueryVolumeInformationFile(h, pIos, pv, cb, uClass);
}

// First chunk after ERROR_NOT_ENOUGH_MEMORY: half the request, capped, or
// rounded up to whole 256-byte units.
size_t fileFirstChunk(size_t cbTotal, size_t cbCap)
{
    size_t const cbHalf = cbTotal / 2;
    if (cbHalf > cbCap)
        return cbCap;
    return (cbHalf + 255) & ~static_cast<size_t>(255);
}

struct FsKindName {
    const char *pszName;
    FsKind enmKind;
    uint64_t cbMaxFile;   // 0: no limit
};
constexpr FsKindName g_aFsKinds[] = {
    {"NTFS", FsKind_NTFS, 0},
    {"FAT", FsKind_FAT, UINT64_C(1) << 32},
    {"FAT32", FsKind_FAT32, UINT64_C(1) << 32},
    {"exFAT", FsKind_exFAT, 0},
    {"UDF", FsKind_UDF, 0},
    {"CDFS", FsKind_CDFS, UINT64_C(1) << 43},
    {"HPFS", FsKind_HPFS, UINT64_C(1) << 31},
    {"ReFS", FsKind_ReFS, 0},
    {"MorvSharedFolderFS", FsKind_MorvSharedFolderFS, 0},
};

// A disk-full failure at a wanted end past a file system's per-file limit is
// really a file that cannot grow that big.
int32_t fileClassifyDiskFull(HANDLE hFile, size_t cbLeft)
{
    uint64_t const offCur = RTFileGetPos(hFile);
    uint64_t const offEnd = offCur + cbLeft;
    if (offEnd < 0x7FFFFFFF)
        return RTE_DISK_FULL;
    FsKind enmKind;
    if (RT_FAILURE_NP(RTFileGetFsKind(hFile, &enmKind)))
        return RTE_DISK_FULL;
    uint64_t const cbMax = rtFileFsKindMaxFileSize(enmKind);
    return cbMax && offEnd >= cbMax ? RTE_FILE_TOO_BIG : RTE_DISK_FULL;
}

int32_t fileWriteError(HANDLE hFile, DWORD dwErr, size_t cbLeft)
{
    int32_t const rc = RTErrConvertFromWinError(dwErr);
    return rc == RTE_DISK_FULL ? fileClassifyDiskFull(hFile, cbLeft) : rc;
}

} // namespace

constinit PFNRTREADFILE g_pfnrtFileReadFile = fileSysReadFile;
constinit PFNRTWRITEFILE g_pfnrtFileWriteFile = fileSysWriteFile;
constinit PFNRTNTQUERYVOLUMEINFORMATIONFILE g_pfnrtFileNtQueryVolumeInformationFile = fileSysQueryVolume;

uint64_t rtFileFsKindMaxFileSize(FsKind enmKind)
{
    for (auto const &Entry : g_aFsKinds)
        if (Entry.enmKind == enmKind)
            return Entry.cbMaxFile;
    return 0;
}

int32_t RTFileRead(FileHandle hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead)
{
    if (cbToRead == 0) {
        if (pcbRead)
            *pcbRead = 0;
        return RT_OK;
    }
    uint8_t *pbBuf = static_cast<uint8_t *>(pvBuf);
    DWORD cbDone = 0;
    if (g_pfnrtFileReadFile(hFile, pbBuf, static_cast<DWORD>(cbToRead), &cbDone, nullptr)) {
        if (pcbRead) {
            *pcbRead = cbDone;
            return RT_OK;
        }
        size_t cbLeft = cbToRead - cbDone;
        while (cbLeft) {
            if (cbDone == 0)
                return RTE_EOF;
            pbBuf += cbDone;
            cbDone = 0;
            if (!g_pfnrtFileReadFile(hFile, pbBuf, static_cast<DWORD>(cbLeft), &cbDone, nullptr))
                return RTErrConvertFromWinError(GetLastError());
            cbLeft -= cbDone;
        }
        return RT_OK;
    }
    DWORD dwErr = GetLastError();
    if (dwErr != ERROR_NOT_ENOUGH_MEMORY)
        return RTErrConvertFromWinError(dwErr);

    size_t cbChunk = fileFirstChunk(cbToRead, 0x4000);
    size_t cbLeft = cbToRead;
    while (cbLeft) {
        size_t const cbThis = cbChunk < cbLeft ? cbChunk : cbLeft;
        cbDone = 0;
        if (!g_pfnrtFileReadFile(hFile, pbBuf, static_cast<DWORD>(cbThis), &cbDone, nullptr)) {
            dwErr = GetLastError();
            if (dwErr == ERROR_NOT_ENOUGH_MEMORY && cbChunk > 8) {
                cbChunk /= 2;
                continue;
            }
            return RTErrConvertFromWinError(dwErr);
        }
        if (pcbRead) {
            *pcbRead = cbDone;
            return RT_OK;
        }
        if (cbDone == 0)
            return RTE_EOF;
        pbBuf += cbDone;
        cbLeft -= cbDone;
    }
    return RT_OK;
}

int32_t RTFileWrite(FileHandle hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten)
{
    if (cbToWrite == 0) {
        if (pcbWritten)
            *pcbWritten = 0;
        return RT_OK;
    }
    const uint8_t *pbBuf = static_cast<const uint8_t *>(pvBuf);
    DWORD cbDone = 0;
    if (g_pfnrtFileWriteFile(hFile, pbBuf, static_cast<DWORD>(cbToWrite), &cbDone, nullptr)) {
        if (pcbWritten) {
            *pcbWritten = cbDone < cbToWrite ? cbDone : cbToWrite;
            return RT_OK;
        }
        size_t cbLeft = cbToWrite - (cbDone < cbToWrite ? cbDone : cbToWrite);
        while (cbLeft) {
            if (cbDone == 0)
                return RTE_WRITE_ERROR;
            pbBuf += cbDone;
            cbDone = 0;
            if (!g_pfnrtFileWriteFile(hFile, pbBuf, static_cast<DWORD>(cbLeft), &cbDone, nullptr))
                return fileWriteError(hFile, GetLastError(), cbLeft);
            cbLeft -= cbDone < cbLeft ? cbDone : cbLeft;
        }
        return RT_OK;
    }
    DWORD dwErr = GetLastError();
    if (dwErr != ERROR_NOT_ENOUGH_MEMORY)
        return fileWriteError(hFile, dwErr, cbToWrite);

    size_t cbChunk = fileFirstChunk(cbToWrite, 0x8000);
    size_t cbLeft = cbToWrite;
    while (cbLeft) {
        size_t const cbThis = cbChunk < cbLeft ? cbChunk : cbLeft;
        cbDone = 0;
        if (!g_pfnrtFileWriteFile(hFile, pbBuf, static_cast<DWORD>(cbThis), &cbDone, nullptr)) {
            dwErr = GetLastError();
            if (dwErr == ERROR_NOT_ENOUGH_MEMORY && cbChunk > 8) {
                cbChunk /= 2;
                continue;
            }
            return fileWriteError(hFile, dwErr, cbLeft);
        }
        if (cbDone > cbThis)
            cbDone = static_cast<DWORD>(cbThis);
        if (pcbWritten) {
            *pcbWritten = cbDone;
            return RT_OK;
        }
        if (cbDone == 0)
            return RTE_WRITE_ERROR;
        pbBuf += cbDone;
        cbLeft -= cbDone;
    }
    return RT_OK;
}

int32_t RTFileGetFsKind(FileHandle hFile, FsKind *penmKind)
{
    if (!RT_VALID_PTR(penmKind))
        return RTE_INVALID_POINTER;
    *penmKind = FsKind_Unknown;
    // 4112 bytes: the record's head and the longest name the system allows.
    union {
        RTNTFSATTRIBUTEINFO Info;
        uint8_t ab[4112];
    } u;
    RTNTIOSTATUSBLOCK Ios = {};
    RTNTSTATUS const rcNt = g_pfnrtFileNtQueryVolumeInformationFile(hFile, &Ios, &u, sizeof(u),
                                                                     RTNT_FileFsAttributeInformation);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    ULONG const cbName = u.Info.FileSystemNameLength;
    for (auto const &Entry : g_aFsKinds) {
        size_t const cchName = RTStrLenMax(Entry.pszName, RTSTR_MAX);
        if (cbName != cchName * 2 || cbName > sizeof(u) - 12)
            continue;
        bool fMatch = true;
        for (size_t i = 0; i < cchName && fMatch; i++)
            fMatch = u.Info.FileSystemName[i] == static_cast<WCHAR>(Entry.pszName[i]);
        if (fMatch) {
            *penmKind = Entry.enmKind;
            break;
        }
    }
    return RT_OK;
}
