// Layout of the stream record and the writer that formatted output, the
// message functions and termination share.
#pragma once

#include <quab/stream.h>
#include <quab/types.h>

inline constexpr uint32_t RTSTREAM_MAGIC = 0xE44E44EEu;
inline constexpr uint32_t RTSTREAM_MAGIC_DEAD = 0x1BB1BB11u;

// All ones, as NIL_FILEHANDLE, but usable in the constant initialisers.
inline constexpr uintptr_t RTSTREAM_NIL_HANDLE = ~static_cast<uintptr_t>(0);

enum RtStreamDir : uint32_t { RtStreamDir_Idle = 0, RtStreamDir_Write = 2 };
enum RtStreamBuf : uint32_t { RtStreamBuf_None = 0, RtStreamBuf_Line = 1, RtStreamBuf_Full = 2 };

struct RtStream {
    uint32_t u32Magic;
    int32_t rcStatus;         // sticky: the first failing write's status
    int32_t iStdHandle;       // 0, 1, 2, or -1 for a stream opened by name
    uintptr_t uHandle;        // the FileHandle; RTSTREAM_NIL_HANDLE until known
    char *pchBuf;
    uint32_t cbBuf;
    uint32_t offBufFirst;     // first byte not yet written to the handle
    uint32_t offBufEnd;       // one past the last buffered byte
    uint32_t enmDir;          // RtStreamDir
    uint32_t enmBufStyle;     // RtStreamBuf
    char *pchShadow;          // one eighth of cbBuf; nothing reads it
    bool fCurrentCodeSet;     // convert UTF-8 output to the current code page
    bool fBinary;             // no line-feed translation
    void *pCritSect;          // created on first use
    RtStream *pNext;
    RtStream *pPrev;
};

// The stream's lock, created on first use; null when it cannot be had (the
// caller then goes on without one).
struct _RTL_CRITICAL_SECTION;
_RTL_CRITICAL_SECTION *rtStreamGetLock(RtStream *pStream);

// Appends cb bytes under the stream's buffering policy; fSureIsText allows
// the code-page conversion.
int32_t rtStreamWrite(RtStream *pStream, const void *pvBuf, size_t cb, bool fSureIsText);
// Writes every unflushed byte to the handle.
int32_t rtStreamFlush(RtStream *pStream);
// Flushes (when healthy), frees the buffers and the lock, forgets the handle.
void rtStreamFlushAndRelease(RtStream *pStream);
