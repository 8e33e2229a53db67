// Internals of the Windows file layer: the system calls tests steer.
#pragma once

#include <windows.h>

#include "r3/nt/nt-internal.h"

using PFNRTREADFILE = BOOL(WINAPI *)(HANDLE, void *, DWORD, DWORD *, OVERLAPPED *);
using PFNRTWRITEFILE = BOOL(WINAPI *)(HANDLE, const void *, DWORD, DWORD *, OVERLAPPED *);
using PFNRTNTQUERYVOLUMEINFORMATIONFILE = RTNTSTATUS(NTAPI *)(HANDLE, RTNTIOSTATUSBLOCK *, void *, ULONG, ULONG);
using PFNRTVERIFYCONSOLEIOHANDLE = BOOL(WINAPI *)(HANDLE);

// Each starts out as the system's own function.
extern PFNRTREADFILE g_pfnrtFileReadFile;
extern PFNRTWRITEFILE g_pfnrtFileWriteFile;
extern PFNRTNTQUERYVOLUMEINFORMATIONFILE g_pfnrtFileNtQueryVolumeInformationFile;

// Per-file size limit of a file-system kind; 0 means none.
uint64_t rtFileFsKindMaxFileSize(FsKind enmKind);
