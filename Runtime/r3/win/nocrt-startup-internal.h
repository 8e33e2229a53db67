// Internals of the start-up without a C runtime: the static initializer and
// terminator tables, the exit path and the direct standard-error writers.
#pragma once

#include <quab/types.h>

// The four tables are linker-collected sections, so any object of a program
// can add an entry without touching the start-up: the linker sorts each
// group and brackets it with start and end symbols. Entries may be empty.
using PFNRTSTATICINITSTATUS = int (*)();
using PFNRTSTATICINIT = void (*)();

#define RT_STATIC_SECTION_INIT_STATUS ".CRT$XIU"
#define RT_STATIC_SECTION_INIT        ".CRT$XCU"
#define RT_STATIC_SECTION_PRETERM     ".CRT$XPU"
#define RT_STATIC_SECTION_TERM        ".CRT$XTU"

// Adds fn to a table from any translation unit of a program.
#define RT_STATIC_TABLE_ENTRY(sect, type, name, fn) \
    __attribute__((section(sect), used)) static type const name = fn

extern "C" {
extern PFNRTSTATICINITSTATUS __crt_xi_start__[], __crt_xi_end__[];
extern PFNRTSTATICINIT __crt_xc_start__[], __crt_xc_end__[];
extern PFNRTSTATICINIT __crt_xp_start__[], __crt_xp_end__[];
extern PFNRTSTATICINIT __crt_xt_start__[], __crt_xt_end__[];
}

// 0, or the first non-zero result of a status-returning initializer (the
// plain initializers then do not run).
int rtRunInitializers();
void rtRunTerminators();

// Ends the process; with fRunCallbacks the exit callbacks and then the
// static terminators run first. TerminateProcess is repeated should it return.
[[noreturn]] void rtExeExit(int rcExit, bool fRunCallbacks);

void initProcExecPath();
// Windows NT 3.1 only: zeroes the parts of sections beyond their raw data.
void rtZeroSectionTails(void *pvImageBase);

// Writers straight to the standard error handle; failures are ignored.
void rtStdErrWrite(const char *pch, size_t cch);
void rtStdErrWriteFlush(const char *pch, size_t cch);   // followed by a zero-length write
void rtStdErrWriteString(const char *psz);
void rtStdErrWriteStatus(const char *pszMsg, int32_t rc);
void rtStdErrWriteDecHex(uint32_t uValue);
void rtStdErrWriteHex(uint32_t uValue);
void rtStdErrWriteHex8(uint32_t uValue);

// Renders uValue for the writers above into pszBuf (at least 16 bytes);
// returns the length. Base 10, or 16 with fHex (lower case, no prefix);
// cDigits pads with zeros to that many digits.
size_t rtStdErrFormatU32(char *pszBuf, uint32_t uValue, bool fHex, unsigned cDigits);
