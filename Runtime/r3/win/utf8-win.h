// Internals of the ANSI code-page conversion: the system calls tests steer.
#pragma once

#include <windows.h>

using PFNRTGETACP = UINT(WINAPI *)();
using PFNRTWIDECHARTOMULTIBYTE = int(WINAPI *)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);

// Each starts out as the system's own function.
extern PFNRTGETACP g_pfnrtUtf8GetACP;
extern PFNRTWIDECHARTOMULTIBYTE g_pfnrtUtf8WideCharToMultiByte;
