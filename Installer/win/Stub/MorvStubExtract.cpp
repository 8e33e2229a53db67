// Extraction: each applicable package written to its file in the
// extraction directory and verified against the bytes the executable
// carries, with a handle held on the file from creation to cleanup.
#include <windows.h>

#include <quab/dir.h>
#include <quab/file.h>
#include <quab/mem.h>
#include <quab/path.h>

#include "MorvStub.h"

namespace {

inline constexpr size_t kVerifyBlock = 64 * 1024;

// Writer: write access, others may read but not write, create or replace.
inline constexpr uint64_t kOpenWriter = 0x1C000322;
// Second handle: read access, nothing denied, open existing.
inline constexpr uint64_t kOpenSecond = 0x1C000781;
// Third handle: read access, writing denied to everyone, open existing.
inline constexpr uint64_t kOpenThird = 0x00000721;

// Steps 12 to 15: the third handle must show the same file, of the size and
// with the content the executable carries.
int32_t VerifyExtractedFile(FileHandle hThird, const char *pszPath, uint32_t idx, const uint8_t *pbData,
                            uint32_t cbData, FsObjectInfo const *pInfoFirst)
{
    FsObjectInfo InfoSecond;
    int32_t rc = RTFileQueryInfo(hThird, &InfoSecond, InfoDetail_Unix);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", idx, pszPath, rc);
    if (static_cast<uint64_t>(InfoSecond.cbObject) != cbData)
        return ErrorToStderrRc(RTE_STATE_CHANGED, "#%u: File size of '%s' changed: %'RU64, expected %'RU32", idx,
                               pszPath, static_cast<uint64_t>(InfoSecond.cbObject), cbData);
    if (InfoSecond.Detail.Unix.INodeId != pInfoFirst->Detail.Unix.INodeId)
        return ErrorToStderrRc(RTE_STATE_CHANGED, "#%u: File ID of '%s' changed: %#RX64, expected %#RX64", idx,
                               pszPath, InfoSecond.Detail.Unix.INodeId, pInfoFirst->Detail.Unix.INodeId);

    uint8_t *pbBuf = static_cast<uint8_t *>(RTMemAllocTag(kVerifyBlock, "MorvStubExtract"));
    if (!pbBuf)
        return ErrorToStderrRc(RTE_NO_MEMORY, "#%u: RTFileRead failed on '%s' at offset %#zx: %Rrc", idx, pszPath,
                               static_cast<size_t>(0), RTE_NO_MEMORY);
    // The handle is where the last write left nothing: read from the start.
    SetFilePointer(hThird, 0, nullptr, FILE_BEGIN);
    for (size_t off = 0; off < cbData && RT_SUCCESS_NP(rc);) {
        size_t const cbBlock = cbData - off < kVerifyBlock ? cbData - off : kVerifyBlock;
        rc = RTFileRead(hThird, pbBuf, cbBlock, nullptr);
        if (RT_FAILURE_NP(rc))
            rc = ErrorToStderrRc(rc, "#%u: RTFileRead failed on '%s' at offset %#zx: %Rrc", idx, pszPath, off, rc);
        else if (__builtin_memcmp(pbBuf, pbData + off, cbBlock) != 0)
            rc = ErrorToStderrRc(RTE_STATE_CHANGED, "#%u: File '%s' has change (mismatch in %#zx byte block at %#zx)",
                                 idx, pszPath, cbBlock, off);
        off += cbBlock;
    }
    RTMemFree(pbBuf);
    return rc;
}

} // namespace

int32_t ExtractAndVerify(const char *pszResourceName, const char *pszPath, FileHandle hFile, uint32_t idx)
{
    if (!RT_VALID_PTR(pszResourceName) || !RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;

    FileHandle hWriter = hFile;
    int32_t rc;
    if (hWriter == NIL_FILEHANDLE) {
        rc = RTFileOpenPath(&hWriter, pszPath, kOpenWriter, nullptr);
        if (RT_FAILURE_NP(rc))
            return ErrorToStderrRc(rc, "#%u: Failed to create/replace '%s' for writing: %Rrc", idx, pszPath, rc);
    }

    // From here on the file and its open handle belong to the record, so
    // every early return leaves them for cleanup.
    CleanupRecord *pRecord = AddCleanupRecord(pszPath, true /*fIsFile*/);
    if (!pRecord)
        return RTE_NO_MEMORY;
    pRecord->packageIndex = idx;
    pRecord->hFile = hWriter;

    const void *pvData = nullptr;
    uint32_t cbData = 0;
    rc = LocateRcdataResource(pszResourceName, &pvData, &cbData);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: Failed to locate resource '%s': %Rrc", idx, pszResourceName, rc);

    rc = RTFileWrite(hWriter, pvData, cbData, nullptr);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: RTFileWrite('%s',, %#x,) failed: %Rrc", idx, pszPath, cbData, rc);

    FsObjectInfo InfoFirst;
    rc = RTFileQueryInfo(hWriter, &InfoFirst, InfoDetail_Unix);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", idx, pszPath, rc);

    FileHandle hSecond;
    rc = RTFileOpenPath(&hSecond, pszPath, kOpenSecond, nullptr);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: First re-opening of '%s' failed: %Rrc", idx, pszPath, rc);

    rc = RTFileClose(hWriter);
    if (RT_FAILURE_NP(rc)) {
        RTFileClose(hSecond);
        return ErrorToStderrRc(rc, "#%u: RTFileClose('%s') failed: %Rrc", idx, pszPath, rc);
    }
    pRecord->hFile = hSecond;

    // Succeeds only when no handle with write access is open anywhere.
    FileHandle hThird;
    rc = RTFileOpenPath(&hThird, pszPath, kOpenThird, nullptr);
    if (RT_FAILURE_NP(rc))
        return ErrorToStderrRc(rc, "#%u: Second re-opening of '%s' failed: %Rrc", idx, pszPath, rc);
    pRecord->hFile = hThird;
    int32_t const rcClose = RTFileClose(hSecond);
    if (RT_FAILURE_NP(rcClose))
        ErrorToStderr("#%u: Failed to close 2nd handle to '%s': %Rrc", idx, pszPath, rcClose);

    return VerifyExtractedFile(hThird, pszPath, idx, static_cast<const uint8_t *>(pvData), cbData, &InfoFirst);
}

int ExtractPackages(uint32_t cPackages, const char *pszDir, bool fExtractOnly, CleanupRecord **ppDirRecord)
{
    if (!RTDirExists(pszDir)) {
        if (*ppDirRecord)
            return NotifyError("RTDirExists failed on '%s' which we just created!", pszDir);
        int32_t const rc = RTDirMake(pszDir, 0700, 0);
        if (RT_FAILURE_NP(rc))
            return NotifyError("Failed to create extraction path '%s': %Rrc", pszDir, rc);
        *ppDirRecord = AddCleanupRecord(pszDir, false /*fIsFile*/);
        if (!*ppDirRecord)
            return ErrorToStderrOne("Failed to add cleanup record for dir '%s'", pszDir);
    } else if (!*ppDirRecord) {
        // The directory was there before the run: it is never deleted.
        *ppDirRecord = AddCleanupRecord(pszDir, false /*fIsFile*/);
        if (!*ppDirRecord)
            return ErrorToStderrOne("Failed to add cleanup record for existing dir '%s'", pszDir);
        (*ppDirRecord)->keep = true;
    }

    int32_t rc = RTDirOpenPath(&(*ppDirRecord)->hDir, pszDir);
    if (RT_FAILURE_NP(rc))
        return NotifyError("Failed to open extraction path '%s': %Rrc", pszDir, rc);
    RTPathChdir(pszDir);

    for (uint32_t idx = 0; idx < cPackages; idx++) {
        const PackageHeader *pHeader = LoadPackageHeader(idx);
        if (!pHeader)
            return 1;
        if (!PackageAppliesToRun(pHeader->arch, fExtractOnly, QueryHostArch))
            continue;
        // A name with a directory part would be written outside the
        // extraction directory: refused before anything is written.
        if (!IsPlainFileName(pHeader->fileName))
            return NotifyError("Error extracting package #%u (%s): %Rrc", idx, pHeader->fileName, RTE_INVALID_NAME);

        char szPath[MORV_PATH_MAX];
        rc = RTPathJoinBuf(szPath, sizeof(szPath), pszDir, pHeader->fileName);
        if (RT_FAILURE_NP(rc))
            return NotifyError("Internal error: Build extraction file name failed: %Rrc", rc);
        rc = ExtractAndVerify(pHeader->dataResourceName, szPath, NIL_FILEHANDLE, idx);
        if (RT_FAILURE_NP(rc))
            return NotifyError("Error extracting package #%u (%s): %Rrc", idx, pHeader->fileName, rc);
    }
    return 0;
}
