// The records of everything the run created on disk, and their removal at
// the end: handles closed, objects deleted newest first, with retries.
#include <windows.h>

#include <quab/dir.h>
#include <quab/file.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

// The sentinel of the circular list; InitCleanupList links it to itself.
constinit CleanupRecord g_CleanupHead = {};

inline constexpr unsigned kPasses = 5;
constexpr DWORD g_acMsPauses[kPasses - 1] = {100, 3000, 3000, 3000};

void UnlinkAndFree(CleanupRecord *pRecord)
{
    pRecord->prev->next = pRecord->next;
    pRecord->next->prev = pRecord->prev;
    RTMemFree(pRecord);
}

inline bool IsGone(int32_t rc)
{
    return RT_SUCCESS_NP(rc) || rc == RTE_FILE_NOT_FOUND || rc == RTE_PATH_NOT_FOUND;
}

// Removes everything inside a copied tree. Links and junctions are removed
// as entries of their own and never entered, so nothing outside the tree is
// touched. pwszDir holds the directory in the long form and has room for
// cwcMax units; names are appended to it and cut off again.
void RemoveTreeContent(RTUTF16 *pwszDir, size_t cwcDir, size_t cwcMax)
{
    if (cwcDir + 3 >= cwcMax)
        return;
    pwszDir[cwcDir] = u'\\';
    pwszDir[cwcDir + 1] = u'*';
    pwszDir[cwcDir + 2] = 0;
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileExW(reinterpret_cast<LPCWSTR>(pwszDir), FindExInfoBasic, &Data,
                                    FindExSearchNameMatch, nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE) {
        pwszDir[cwcDir] = 0;
        return;
    }
    do {
        const RTUTF16 *pwszName = reinterpret_cast<const RTUTF16 *>(Data.cFileName);
        if (pwszName[0] == u'.' && (pwszName[1] == 0 || (pwszName[1] == u'.' && pwszName[2] == 0)))
            continue;
        size_t const cwcName = RTUtf16Units(pwszName);
        if (cwcDir + 1 + cwcName + 3 >= cwcMax)
            continue;   // cannot be named here; the directory stays non-empty
        __builtin_memcpy(&pwszDir[cwcDir + 1], pwszName, (cwcName + 1) * sizeof(RTUTF16));
        LPCWSTR const pwszChild = reinterpret_cast<LPCWSTR>(pwszDir);
        DWORD const fAttr = Data.dwFileAttributes;
        if (fAttr & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(pwszChild, fAttr & ~FILE_ATTRIBUTE_READONLY);
        if ((fAttr & FILE_ATTRIBUTE_DIRECTORY) && !(fAttr & FILE_ATTRIBUTE_REPARSE_POINT)) {
            RemoveTreeContent(pwszDir, cwcDir + 1 + cwcName, cwcMax);
            RemoveDirectoryW(pwszChild);
        } else if (fAttr & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(pwszChild);    // a junction or directory link: the link only
        else
            DeleteFileW(pwszChild);         // a file, or a file link itself
        pwszDir[cwcDir] = u'\\';
    } while (FindNextFileW(hFind, &Data));
    FindClose(hFind);
    pwszDir[cwcDir] = 0;
}

void RemoveTree(const char *pszDir)
{
    char *pszAbs = RTPathAbsExDup(nullptr, pszDir, 0);
    if (!pszAbs)
        return;
    // The long form, so that depth is no limit.
    size_t const cwcMax = 32768;
    RTUTF16 *pwszBuf = static_cast<RTUTF16 *>(RTMemAllocTag(cwcMax * sizeof(RTUTF16), "MorvStubCleanup"));
    RTUTF16 *pwszAbs = nullptr;
    if (pwszBuf && RT_SUCCESS_NP(RTStrToUtf16(pszAbs, &pwszAbs))) {
        size_t const cwcAbs = RTUtf16Units(pwszAbs);
        bool const fUnc = pwszAbs[0] == u'\\' && pwszAbs[1] == u'\\';
        const char16_t *pwszPrefix = fUnc ? u"\\\\?\\UNC" : u"\\\\?\\";
        size_t const cwcPrefix = fUnc ? 7 : 4;
        size_t const offSrc = fUnc ? 1 : 0;   // \\srv\share becomes \\?\UNC\srv\share
        if (cwcPrefix + cwcAbs < cwcMax) {
            __builtin_memcpy(pwszBuf, pwszPrefix, cwcPrefix * sizeof(RTUTF16));
            __builtin_memcpy(pwszBuf + cwcPrefix, pwszAbs + offSrc, (cwcAbs - offSrc + 1) * sizeof(RTUTF16));
            size_t cwc = cwcPrefix + cwcAbs - offSrc;
            while (cwc > cwcPrefix && pwszBuf[cwc - 1] == u'\\')
                pwszBuf[--cwc] = 0;
            RemoveTreeContent(pwszBuf, cwc, cwcMax);
        }
    }
    RTStrDispose(pwszAbs);
    RTMemFree(pwszBuf);
    RTStrDispose(pszAbs);
}

// One record in one pass; true when the record is done with and freed.
bool CleanupOne(CleanupRecord *pRecord, bool fLastPass)
{
    if (pRecord->isFile) {
        if (pRecord->hFile != NIL_FILEHANDLE) {
            if (RTFileCheckHandle(pRecord->hFile)) {
                int32_t const rc = RTFileClose(pRecord->hFile);
                if (RT_FAILURE_NP(rc))
                    ErrorToStderr("Cleanup file '%s' for #%u: RTFileClose(%p) failed: %Rrc", pRecord->path,
                                  pRecord->packageIndex, pRecord->hFile, rc);
            }
            pRecord->hFile = NIL_FILEHANDLE;
        }
        if (pRecord->keep) {
            UnlinkAndFree(pRecord);
            return true;
        }
        int32_t const rc = RTFileUnlink(pRecord->path);
        if (IsGone(rc)) {
            UnlinkAndFree(pRecord);
            return true;
        }
        if (fLastPass)
            NotifyError("Failed to delete temporary file '%s': %Rrc", pRecord->path, rc);
        return false;
    }

    if (pRecord->hDir) {
        if (RTDirCheckHandle(pRecord->hDir)) {
            int32_t const rc = RTDirClose(pRecord->hDir);
            if (RT_FAILURE_NP(rc))
                ErrorToStderr("Cleanup dir '%s' for #%u: RTDirClose(%p) failed: %Rrc", pRecord->path,
                              pRecord->packageIndex, pRecord->hDir, rc);
        }
        pRecord->hDir = nullptr;
    }
    if (pRecord->keep) {
        UnlinkAndFree(pRecord);
        return true;
    }
    if (pRecord->removeTree)
        RemoveTree(pRecord->path);
    int32_t const rc = RTDirDelete(pRecord->path);
    if (rc == RTE_DIR_NOT_EMPTY) {
        if (fLastPass) {
            UnlinkAndFree(pRecord);
            return true;
        }
        return false;
    }
    if (IsGone(rc)) {
        UnlinkAndFree(pRecord);
        return true;
    }
    if (fLastPass)
        NotifyError("Failed to delete temporary directory '%s': %Rrc", pRecord->path, rc);
    return false;
}

} // namespace

void InitCleanupList()
{
    g_CleanupHead.next = &g_CleanupHead;
    g_CleanupHead.prev = &g_CleanupHead;
}

CleanupRecord *AddCleanupRecord(const char *pszPath, bool fIsFile)
{
    size_t const cchPath = RTStrLenMax(pszPath, RTSTR_MAX);
    CleanupRecord *pRecord = static_cast<CleanupRecord *>(
        RTMemAllocZTag(__builtin_offsetof(CleanupRecord, path) + cchPath + 1, "MorvStubCleanup"));
    if (!pRecord) {
        NotifyError("Out of memory!");
        return nullptr;
    }
    pRecord->isFile = fIsFile;
    pRecord->packageIndex = ~0u;
    pRecord->hFile = NIL_FILEHANDLE;
    pRecord->hDir = nullptr;
    __builtin_memcpy(pRecord->path, pszPath, cchPath + 1);

    pRecord->next = g_CleanupHead.next;
    pRecord->prev = &g_CleanupHead;
    g_CleanupHead.next->prev = pRecord;
    g_CleanupHead.next = pRecord;
    return pRecord;
}

CleanupRecord *FindPackageRecord(uint32_t idx)
{
    for (CleanupRecord *p = g_CleanupHead.next; p && p != &g_CleanupHead; p = p->next)
        if (p->packageIndex == idx)
            return p;
    return nullptr;
}

int32_t RemoveCleanupRecords(const char *pszDirToRemove)
{
    for (unsigned iPass = 0; iPass < kPasses; iPass++) {
        bool const fLastPass = iPass == kPasses - 1;
        for (CleanupRecord *p = g_CleanupHead.next; p != &g_CleanupHead;) {
            CleanupRecord *pNext = p->next;
            CleanupOne(p, fLastPass);
            p = pNext;
        }
        if (g_CleanupHead.next == &g_CleanupHead || fLastPass) {
            if (!pszDirToRemove)
                return RT_OK;
            int32_t const rc = RTDirDelete(pszDirToRemove);
            if (IsGone(rc) || fLastPass)
                return rc;
        }
        Sleep(g_acMsPauses[iPass]);
    }
    return RT_OK;
}

void FreeCleanupList()
{
    if (!g_CleanupHead.next)
        return;
    while (g_CleanupHead.next != &g_CleanupHead)
        UnlinkAndFree(g_CleanupHead.next);
}
