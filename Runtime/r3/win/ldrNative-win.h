// The native loader's steerable system calls and its process-wide records;
// tests replace the calls to show what the loader asks of the system.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <quab/types.h>

using PFNRTLDRLOADLIBRARYEXW = HMODULE(WINAPI *)(LPCWSTR pwszPath, HANDLE hFile, DWORD fFlags);
using PFNRTLDRGETSYSTEMDIRECTORYW = UINT(WINAPI *)(LPWSTR pwszBuf, UINT cwcBuf);
using PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION = NTSTATUS(NTAPI *)(
    ULONG fFlags, PUNICODE_STRING pOriginalName, PUNICODE_STRING pExtension, PUNICODE_STRING pStaticString,
    PUNICODE_STRING pDynamicString, PUNICODE_STRING *ppNewName, PULONG pfNewFlags, PSIZE_T pcbFilename,
    PSIZE_T pcbRequired);

extern PFNRTLDRLOADLIBRARYEXW g_pfnrtldrLoadLibraryExW;
extern PFNRTLDRGETSYSTEMDIRECTORYW g_pfnrtldrGetSystemDirectoryW;

// Whether LoadLibraryExW takes the search flags: 0 not yet known, 1 yes, -1 no.
extern int g_iLdrLoadLibSearchFlags;
// The ntdll redirection look-up, done once: g_fLdrRedirLookedUp tells whether
// g_pfnrtldrDosApplyFileIsolationRedirection is final (it may be null).
extern bool g_fLdrRedirLookedUp;
extern PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION g_pfnrtldrDosApplyFileIsolationRedirection;

// How many leading separators of the redirected path match the system
// directory's (a run of separators counts once; the first character is not
// counted). Two or more means the file lies under the system directory's
// own top-level directory.
unsigned rtldrCountMatchingSeparators(const RTUTF16 *pwszRedirected, size_t cwcRedirected, const RTUTF16 *pwszSysDir);
