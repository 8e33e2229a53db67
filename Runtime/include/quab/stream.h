// Standard streams and streams opened by name: buffered text output with
// line-feed translation and code-page conversion, formatted output into a
// stream, and the program's message lines.
#pragma once

#include <quab/types.h>

// The record is opaque to callers; stream-internal.h next to the sources
// has its layout.
struct RtStream;

// Standard input, output and error. Ordinary variables: re-pointing them at
// another stream sends every later standard write there.
extern RtStream *g_pStreamStdIn;
extern RtStream *g_pStreamStdOut;
extern RtStream *g_pStreamStdErr;

// Mode letters: one of "r", "w", "a" (the last wins), plus "+", "b"/"t",
// "x", "N"/"e" (not inherited) and "E" (inherited, the default).
int32_t RTStreamOpenByName(const char *pszFilename, const char *pszMode, RtStream **ppStream);

// Both return the formatted character count, -2 for a bad stream and -1 when
// the stream has failed earlier (nothing is written then).
int RTStreamPrintf(RtStream *pStream, const char *pszFormat, ...);
int RTStreamPrintfV(RtStream *pStream, const char *pszFormat, va_list args);
int RTStdOutPrintf(const char *pszFormat, ...);

inline constexpr int RTSTREAMBUF_MODE_FULL = 1;
inline constexpr int RTSTREAMBUF_MODE_LINE = 2;
inline constexpr int RTSTREAMBUF_MODE_NONE = 3;
int32_t RTStreamSetBufferMode(RtStream *pStream, int enmMode);

// Lines prefixed "<program>: error: " on standard error and "<program>:
// info: " on standard output; both always return 0.
int RTMessageError(const char *pszFormat, ...);
int RTMessageErrorV(const char *pszFormat, va_list args);
int RTMessageInfo(const char *pszFormat, ...);
int RTMessageInfoV(const char *pszFormat, va_list args);
// Reports a failed runtime initialisation; returns the exit code 3.
int RTMessageInitFailure(int32_t rcInit);

// Static terminator: flushes and releases the standard streams, then
// flushes, closes and retires every stream opened by name.
void rtStreamTerm();
