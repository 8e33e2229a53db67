// Basic types and the status-code conventions shared by the whole runtime.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include <quab/err-codes.h>

using RTUTF16 = char16_t;   // one UTF-16 unit, host byte order
using RTUNICP = uint32_t;   // one code point

// A length of all ones means "up to the terminator".
inline constexpr size_t RTSTR_MAX = ~static_cast<size_t>(0);

#define RT_SUCCESS_NP(rc) (static_cast<int32_t>(rc) >= 0)
#define RT_FAILURE_NP(rc) (static_cast<int32_t>(rc) < 0)

// Pointers within 4 KiB of address 0 or of the top of the address space are
// never dereferenced: they are rejected or printed as bad pointers.
inline bool RTPtrIsValid(const void *pv)
{
    return reinterpret_cast<uintptr_t>(pv) + 0x1000u >= 0x2000u;
}
#define RT_VALID_PTR(p) RTPtrIsValid(p)

// The one idiom for "call, and pass a failure up unchanged".
#define RT_TRY(expr)                                  \
    do {                                              \
        int32_t const rtTryRc_ = (expr);              \
        if (rtTryRc_ < 0)                             \
            return rtTryRc_;                          \
    } while (0)

#define RT_ELEMENTS(a) (sizeof(a) / sizeof((a)[0]))

// File and directory handles (files, directories). A file handle is the
// system's own handle; the nil handle is all ones.
using FileHandle = void *;
#define NIL_FILEHANDLE (reinterpret_cast<FileHandle>(~static_cast<uintptr_t>(0)))
struct RTDIRINTERNAL;
using DirHandle = RTDIRINTERNAL *;
