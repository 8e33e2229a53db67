// Stream records: standard streams, streams opened by name, buffered writing
// with line-feed translation and code-page conversion, and termination.
#include <windows.h>

#include <quab/file.h>
#include <quab/mem.h>
#include <quab/string.h>

#include "r3/stream-internal.h"

namespace {

constexpr RtStream rtStreamStdRecord(int32_t iStd, uint32_t enmBufStyle)
{
    return RtStream{RTSTREAM_MAGIC, 0, iStd, RTSTREAM_NIL_HANDLE, nullptr, 0, 0, 0, RtStreamDir_Idle, enmBufStyle,
                    nullptr, true, false, nullptr, nullptr, nullptr};
}

constinit RtStream g_StdIn = rtStreamStdRecord(0, RtStreamBuf_None);
constinit RtStream g_StdOut = rtStreamStdRecord(1, RtStreamBuf_Line);
constinit RtStream g_StdErr = rtStreamStdRecord(2, RtStreamBuf_None);

// The list of streams opened by name. Set up once: 0 not yet, 1 being set up,
// 2 done (g_rcStreamListInit tells how it went).
constinit RtStream *g_pStreamListHead = nullptr;
constinit CRITICAL_SECTION *g_pStreamListLock = nullptr;
constinit int32_t volatile g_iStreamListState = 0;
constinit int32_t g_rcStreamListInit = 0;

constexpr uint32_t g_acbBufFirstTry[] = {16 * 1024, 16 * 1024, 64 * 1024};   // by RtStreamBuf
constexpr uint32_t RTSTREAM_BUF_MIN = 256;

bool rtStreamIsValid(const RtStream *pStream)
{
    return RT_VALID_PTR(pStream) && pStream->u32Magic == RTSTREAM_MAGIC;
}

int32_t rtStreamListInitOnce()
{
    int32_t iExpected = 0;
    if (__atomic_compare_exchange_n(&g_iStreamListState, &iExpected, 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        auto *pLock = static_cast<CRITICAL_SECTION *>(RTMemAllocTag(sizeof(CRITICAL_SECTION), "stream"));
        if (pLock) {
            InitializeCriticalSection(pLock);
            g_pStreamListLock = pLock;
            g_rcStreamListInit = RT_OK;
        } else
            g_rcStreamListInit = RTE_NO_MEMORY;
        __atomic_store_n(&g_iStreamListState, 2, __ATOMIC_RELEASE);
    } else
        while (__atomic_load_n(&g_iStreamListState, __ATOMIC_ACQUIRE) != 2)
            Sleep(0);
    return g_rcStreamListInit;
}

// Resolves a standard stream's handle at its first flush.
int32_t rtStreamResolveHandle(RtStream *pStream)
{
    if (pStream->uHandle != RTSTREAM_NIL_HANDLE)
        return RT_OK;
    if (pStream->iStdHandle < 0 || pStream->iStdHandle > 2)
        return RTE_INVALID_HANDLE;
    static constexpr DWORD s_aidStd[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE hNative = GetStdHandle(s_aidStd[pStream->iStdHandle]);
    if (hNative == INVALID_HANDLE_VALUE || hNative == nullptr)
        return RTE_INVALID_HANDLE;
    DWORD fConMode;
    if (!GetConsoleMode(hNative, &fConMode))
        pStream->enmBufStyle = RtStreamBuf_Full;
    pStream->uHandle = reinterpret_cast<uintptr_t>(hNative);
    return RT_OK;
}

// Writes the first cbToWrite unflushed bytes and moves what stays to the
// start of the buffer.
int32_t rtStreamFlushBytes(RtStream *pStream, uint32_t cbToWrite)
{
    if (cbToWrite) {
        RT_TRY(rtStreamResolveHandle(pStream));
        RT_TRY(RTFileWrite(reinterpret_cast<FileHandle>(pStream->uHandle), &pStream->pchBuf[pStream->offBufFirst], cbToWrite, nullptr));
    }
    uint32_t const offRest = pStream->offBufFirst + cbToWrite;
    uint32_t const cbRest = pStream->offBufEnd - offRest;
    if (cbRest && offRest)
        __builtin_memmove(pStream->pchBuf, &pStream->pchBuf[offRest], cbRest);
    pStream->offBufFirst = 0;
    pStream->offBufEnd = cbRest;
    return RT_OK;
}

int32_t rtStreamAllocBuffer(RtStream *pStream)
{
    for (uint32_t cb = g_acbBufFirstTry[pStream->enmBufStyle <= RtStreamBuf_Full ? pStream->enmBufStyle : 2];;
         cb /= 2) {
        char *pchBuf = static_cast<char *>(RTMemAllocTag(cb, "stream"));
        char *pchShadow = pchBuf ? static_cast<char *>(RTMemAllocTag(cb / 8, "stream")) : nullptr;
        if (pchShadow) {
            pStream->pchBuf = pchBuf;
            pStream->pchShadow = pchShadow;
            pStream->cbBuf = cb;
            return RT_OK;
        }
        RTMemFree(pchBuf);
        if (cb <= RTSTREAM_BUF_MIN)
            return RTE_NO_MEMORY;
    }
}

// Copies as much as fits; a full buffer is flushed and copying goes on.
int32_t rtStreamAppend(RtStream *pStream, const char *pch, size_t cb)
{
    while (cb > 0) {
        uint32_t cbFree = pStream->cbBuf - pStream->offBufEnd;
        if (!cbFree) {
            RT_TRY(rtStreamFlushBytes(pStream, pStream->offBufEnd - pStream->offBufFirst));
            cbFree = pStream->cbBuf - pStream->offBufEnd;
        }
        uint32_t const cbCopy = cb < cbFree ? static_cast<uint32_t>(cb) : cbFree;
        __builtin_memcpy(&pStream->pchBuf[pStream->offBufEnd], pch, cbCopy);
        pStream->offBufEnd += cbCopy;
        pch += cbCopy;
        cb -= cbCopy;
    }
    return RT_OK;
}

int32_t rtStreamAppendText(RtStream *pStream, const char *pch, size_t cb)
{
    for (;;) {
        size_t cbLine = 0;
        while (cbLine < cb && pch[cbLine] != '\n')
            cbLine++;
        if (cbLine == cb)
            return rtStreamAppend(pStream, pch, cb);
        RT_TRY(rtStreamAppend(pStream, pch, cbLine));
        // The pair must not be split across two flushes of a full buffer.
        if (pStream->cbBuf - pStream->offBufEnd < 2)
            RT_TRY(rtStreamFlushBytes(pStream, pStream->offBufEnd - pStream->offBufFirst));
        RT_TRY(rtStreamAppend(pStream, "\r\n", 2));
        pch += cbLine + 1;
        cb -= cbLine + 1;
    }
}

int32_t rtStreamApplyBufferPolicy(RtStream *pStream)
{
    uint32_t const cbUnflushed = pStream->offBufEnd - pStream->offBufFirst;
    switch (pStream->enmBufStyle) {
    case RtStreamBuf_Full:
        return RT_OK;
    case RtStreamBuf_Line: {
        if (!cbUnflushed)
            return RT_OK;
        const char *pchFirst = &pStream->pchBuf[pStream->offBufFirst];
        uint32_t cbLines = cbUnflushed;
        while (cbLines > 0 && pchFirst[cbLines - 1] != '\n')
            cbLines--;
        return cbLines ? rtStreamFlushBytes(pStream, cbLines) : RT_OK;
    }
    default:
        return rtStreamFlushBytes(pStream, cbUnflushed);
    }
}

int32_t rtStreamWriteLocked(RtStream *pStream, const void *pvBuf, size_t cb, bool fSureIsText)
{
    if (pStream->rcStatus < 0)
        return pStream->rcStatus;
    if (pStream->enmDir != RtStreamDir_Write) {
        pStream->enmDir = RtStreamDir_Write;
        pStream->offBufFirst = 0;
        pStream->offBufEnd = 0;
        if (!pStream->pchBuf && rtStreamAllocBuffer(pStream) < 0) {
            pStream->enmDir = RtStreamDir_Idle;
            return RTE_NO_MEMORY;
        }
    }

    const char *pch = static_cast<const char *>(pvBuf);
    char *pszConverted = nullptr;
    if (pStream->fCurrentCodeSet && !pStream->fBinary && fSureIsText && cb > 0) {
        char *pszCopy = nullptr;
        const char *pszSrc = pch;
        if (pch[cb - 1] != '\0') {
            pszCopy = RTStrCloneN(pch, cb, "stream");
            if (!pszCopy)
                return RTE_NO_STRING_MEMORY;
            pszSrc = pszCopy;
        }
        int32_t rc = RTStrUtf8ToAnsiCp(&pszConverted, pszSrc, "stream");
        RTStrDispose(pszCopy);
        if (rc < 0)
            return rc;
        pch = pszConverted;
        cb = RTStrLenMax(pszConverted, RTSTR_MAX);
    }

    int32_t rc = pStream->fBinary ? rtStreamAppend(pStream, pch, cb) : rtStreamAppendText(pStream, pch, cb);
    RTStrDispose(pszConverted);
    if (rc >= 0)
        rc = rtStreamApplyBufferPolicy(pStream);
    return rc;
}

void rtStreamRelease(RtStream *pStream)
{
    RTMemFree(pStream->pchBuf);
    RTMemFree(pStream->pchShadow);
    pStream->pchBuf = nullptr;
    pStream->pchShadow = nullptr;
    pStream->cbBuf = 0;
    pStream->offBufFirst = pStream->offBufEnd = 0;
    pStream->enmDir = RtStreamDir_Idle;
    if (auto *pLock = static_cast<CRITICAL_SECTION *>(pStream->pCritSect)) {
        DeleteCriticalSection(pLock);
        RTMemFree(pLock);
        pStream->pCritSect = nullptr;
    }
}

struct RtStreamModeLetter {
    char ch;
    uint8_t fSet;     // RTSTREAM_MODE_F_* bits this letter sets
    uint8_t fClear;   // ... and clears
};

constexpr uint8_t RTSTREAM_MODE_F_READ = 0x01;
constexpr uint8_t RTSTREAM_MODE_F_WRITE = 0x02;
constexpr uint8_t RTSTREAM_MODE_F_APPEND = 0x04;
constexpr uint8_t RTSTREAM_MODE_F_KIND_MASK = 0x07;
constexpr uint8_t RTSTREAM_MODE_F_PLUS = 0x08;
constexpr uint8_t RTSTREAM_MODE_F_BINARY = 0x10;
constexpr uint8_t RTSTREAM_MODE_F_EXCL = 0x20;
constexpr uint8_t RTSTREAM_MODE_F_NO_INHERIT = 0x40;

constexpr RtStreamModeLetter g_aModeLetters[] = {
    {'a', RTSTREAM_MODE_F_APPEND, RTSTREAM_MODE_F_KIND_MASK},
    {'r', RTSTREAM_MODE_F_READ, RTSTREAM_MODE_F_KIND_MASK},
    {'w', RTSTREAM_MODE_F_WRITE, RTSTREAM_MODE_F_KIND_MASK},
    {'+', RTSTREAM_MODE_F_PLUS, 0},
    {'b', RTSTREAM_MODE_F_BINARY, 0},
    {'t', 0, RTSTREAM_MODE_F_BINARY},
    {'x', RTSTREAM_MODE_F_EXCL, 0},
    {'N', RTSTREAM_MODE_F_NO_INHERIT, 0},
    {'e', RTSTREAM_MODE_F_NO_INHERIT, 0},
    {'E', 0, RTSTREAM_MODE_F_NO_INHERIT},
};

int32_t rtStreamParseMode(const char *pszMode, uint64_t *pfOpen, bool *pfBinary)
{
    if (!RT_VALID_PTR(pszMode) || !*pszMode)
        return RTE_INVALID_FLAGS;
    uint8_t fMode = 0;
    for (const char *pch = pszMode; *pch; pch++) {
        const RtStreamModeLetter *pLetter = nullptr;
        for (const auto &Letter : g_aModeLetters)
            if (Letter.ch == *pch)
                pLetter = &Letter;
        if (!pLetter)
            return RTE_INVALID_FLAGS;
        fMode = static_cast<uint8_t>((fMode & ~pLetter->fClear) | pLetter->fSet);
    }

    uint64_t fOpen;
    switch (fMode & RTSTREAM_MODE_F_KIND_MASK) {
    case RTSTREAM_MODE_F_READ:
        if (fMode & RTSTREAM_MODE_F_EXCL)
            return RTE_INVALID_FLAGS;
        fOpen = FOPEN_OPEN_EXISTING | FOPEN_READ;
        break;
    case RTSTREAM_MODE_F_WRITE:
        fOpen = fMode & RTSTREAM_MODE_F_EXCL ? FOPEN_CREATE_NEW | FOPEN_READ_WRITE
                                             : FOPEN_CREATE_OR_REPLACE | FOPEN_WRITE;
        break;
    case RTSTREAM_MODE_F_APPEND:
        if (fMode & RTSTREAM_MODE_F_EXCL)
            return RTE_INVALID_FLAGS;
        fOpen = FOPEN_OPEN_OR_CREATE | FOPEN_WRITE | FOPEN_APPEND;
        break;
    default:
        return RTE_INVALID_FLAGS;
    }
    if (fMode & RTSTREAM_MODE_F_PLUS)
        fOpen |= FOPEN_READ_WRITE;
    fOpen |= FOPEN_DENY_NONE | (static_cast<uint64_t>(0666) << FOPEN_CREATE_MODE_SHIFT);
    if (!(fMode & RTSTREAM_MODE_F_NO_INHERIT))
        fOpen |= FOPEN_INHERIT;
    *pfOpen = fOpen;
    *pfBinary = (fMode & RTSTREAM_MODE_F_BINARY) != 0;
    return RT_OK;
}

} // namespace

RtStream *g_pStreamStdIn = &g_StdIn;
RtStream *g_pStreamStdOut = &g_StdOut;
RtStream *g_pStreamStdErr = &g_StdErr;

int32_t rtStreamWrite(RtStream *pStream, const void *pvBuf, size_t cb, bool fSureIsText)
{
    int32_t rc = rtStreamWriteLocked(pStream, pvBuf, cb, fSureIsText);
    // A piece that is not valid UTF-8 is lost, the stream stays usable.
    if (rc < 0 && rc != RTE_INVALID_UTF8 && pStream->rcStatus >= 0)
        pStream->rcStatus = rc;
    return rc;
}

int32_t rtStreamFlush(RtStream *pStream)
{
    if (pStream->enmDir != RtStreamDir_Write || pStream->offBufEnd == pStream->offBufFirst || pStream->rcStatus < 0)
        return RT_OK;
    int32_t rc = rtStreamFlushBytes(pStream, pStream->offBufEnd - pStream->offBufFirst);
    if (rc < 0)
        pStream->rcStatus = rc;
    return rc;
}

void rtStreamFlushAndRelease(RtStream *pStream)
{
    (void)rtStreamFlush(pStream);
    rtStreamRelease(pStream);
    pStream->uHandle = RTSTREAM_NIL_HANDLE;
}

CRITICAL_SECTION *rtStreamGetLock(RtStream *pStream)
{
    auto *pLock = static_cast<CRITICAL_SECTION *>(__atomic_load_n(&pStream->pCritSect, __ATOMIC_ACQUIRE));
    if (pLock)
        return pLock;
    auto *pNew = static_cast<CRITICAL_SECTION *>(RTMemAllocTag(sizeof(CRITICAL_SECTION), "stream"));
    if (!pNew)
        return nullptr;
    InitializeCriticalSection(pNew);
    void *pvExpected = nullptr;
    if (__atomic_compare_exchange_n(&pStream->pCritSect, &pvExpected, static_cast<void *>(pNew), false,
                                    __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
        return pNew;
    DeleteCriticalSection(pNew);
    RTMemFree(pNew);
    return static_cast<CRITICAL_SECTION *>(pvExpected);
}

int32_t RTStreamOpenByName(const char *pszFilename, const char *pszMode, RtStream **ppStream)
{
    if (!RT_VALID_PTR(ppStream))
        return RTE_INVALID_PARAMETER;
    *ppStream = nullptr;
    if (!RT_VALID_PTR(pszFilename))
        return RTE_INVALID_PARAMETER;
    uint64_t fOpen = 0;
    bool fBinary = false;
    RT_TRY(rtStreamParseMode(pszMode, &fOpen, &fBinary));
    RT_TRY(rtStreamListInitOnce());

    auto *pStream = static_cast<RtStream *>(RTMemAllocTag(sizeof(RtStream), "stream"));
    if (!pStream)
        return RTE_NO_MEMORY;
    *pStream = RtStream{RTSTREAM_MAGIC, 0, -1, RTSTREAM_NIL_HANDLE, nullptr, 0, 0, 0, RtStreamDir_Idle, RtStreamBuf_Full,
                        nullptr, false, fBinary, nullptr, nullptr, nullptr};
    FileHandle hFile = NIL_FILEHANDLE;
    int32_t rc = RTFileOpenPath(&hFile, pszFilename, fOpen, nullptr);
    if (rc < 0) {
        RTMemFree(pStream);
        return rc;
    }
    pStream->uHandle = reinterpret_cast<uintptr_t>(hFile);
    EnterCriticalSection(g_pStreamListLock);
    pStream->pNext = g_pStreamListHead;
    if (g_pStreamListHead)
        g_pStreamListHead->pPrev = pStream;
    g_pStreamListHead = pStream;
    LeaveCriticalSection(g_pStreamListLock);
    *ppStream = pStream;
    return RT_OK;
}

int32_t RTStreamSetBufferMode(RtStream *pStream, int enmMode)
{
    if (!rtStreamIsValid(pStream))
        return RTE_INVALID_HANDLE;
    static constexpr uint32_t s_aenmStyle[] = {RtStreamBuf_Full, RtStreamBuf_Line, RtStreamBuf_None};
    if (enmMode < RTSTREAMBUF_MODE_FULL || enmMode > RTSTREAMBUF_MODE_NONE)
        return RTE_INVALID_PARAMETER;
    CRITICAL_SECTION *pLock = rtStreamGetLock(pStream);
    if (pLock)
        EnterCriticalSection(pLock);
    pStream->enmBufStyle = s_aenmStyle[enmMode - RTSTREAMBUF_MODE_FULL];
    if (pLock)
        LeaveCriticalSection(pLock);
    return RT_OK;
}

void rtStreamTerm()
{
    rtStreamFlushAndRelease(&g_StdOut);
    rtStreamFlushAndRelease(&g_StdErr);
    rtStreamFlushAndRelease(&g_StdIn);

    if (__atomic_load_n(&g_iStreamListState, __ATOMIC_ACQUIRE) != 2 || g_rcStreamListInit < 0)
        return;
    // Single-threaded by now: nobody can take the list lock any more.
    DeleteCriticalSection(g_pStreamListLock);
    RTMemFree(g_pStreamListLock);
    g_pStreamListLock = nullptr;
    while (RtStream *pStream = g_pStreamListHead) {
        g_pStreamListHead = pStream->pNext;
        if (g_pStreamListHead)
            g_pStreamListHead->pPrev = nullptr;
        pStream->pNext = pStream->pPrev = nullptr;
        pStream->u32Magic = RTSTREAM_MAGIC_DEAD;
        FileHandle hFile = reinterpret_cast<FileHandle>(pStream->uHandle);
        rtStreamFlushAndRelease(pStream);
        (void)RTFileClose(hFile);
        RTMemFree(pStream);
    }
    // A later open (only tests live past this point) sets the list up anew.
    __atomic_store_n(&g_iStreamListState, 0, __ATOMIC_RELEASE);
}
