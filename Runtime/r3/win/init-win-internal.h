// Internals of the Windows side of runtime initialisation; tests steer the
// system lookups through the replaceable pointers below.
#pragma once

#include <windows.h>

#include <quab/init.h>

// Every system function initialisation uses is looked up through this, so
// a test can make any of them absent or failing.
using PFNRTR3WINRESOLVE = void *(*)(HMODULE hMod, const char *pszSymbol);
using PFNRTR3WINGETMODULEHANDLE = HMODULE (*)(const wchar_t *pwszModule);
extern PFNRTR3WINRESOLVE g_pfnrtR3WinResolve;
extern PFNRTR3WINGETMODULEHANDLE g_pfnrtR3WinGetModuleHandle;
void *rtR3WinResolveDefault(HMODULE hMod, const char *pszSymbol);
HMODULE rtR3WinGetModuleHandleDefault(const wchar_t *pwszModule);

int32_t rtR3InitWinFirst(uint32_t fFlags);
int32_t rtR3InitWinHardening(uint32_t fFlags);
LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptInfo);

// Optional functions resolved at initialisation; null when the system lacks them.
using PFNGETCURRENTTHREADSTACKLIMITS = VOID(WINAPI *)(PULONG_PTR, PULONG_PTR);
using PFNSETUNHANDLEDEXCEPTIONFILTER = LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI *)(LPTOP_LEVEL_EXCEPTION_FILTER);
using PFNUNHANDLEDEXCEPTIONFILTER = LONG(WINAPI *)(EXCEPTION_POINTERS *);
using PFNISDEBUGGERPRESENT = BOOL(WINAPI *)();
using PFNGETSYSTEMTIMEASFILETIME = VOID(WINAPI *)(LPFILETIME);
using PFNISPROCESSORFEATUREPRESENT = BOOL(WINAPI *)(DWORD);
using PFNNTQUERYFULLATTRIBUTESFILE = LONG(NTAPI *)(void *pObjAttr, void *pInfo);
extern PFNGETCURRENTTHREADSTACKLIMITS g_pfnGetCurrentThreadStackLimits;
extern PFNSETUNHANDLEDEXCEPTIONFILTER g_pfnSetUnhandledExceptionFilter;
extern PFNUNHANDLEDEXCEPTIONFILTER g_pfnUnhandledExceptionFilter;
extern LPTOP_LEVEL_EXCEPTION_FILTER g_pfnUnhandledXcptFilterPrev;
extern PFNISDEBUGGERPRESENT g_pfnIsDebuggerPresent;
extern PFNGETSYSTEMTIMEASFILETIME g_pfnGetSystemTimeAsFileTime;
extern PFNISPROCESSORFEATUREPRESENT g_pfnIsProcessorFeaturePresent;
extern PFNNTQUERYFULLATTRIBUTESFILE g_pfnNtQueryFullAttributesFile;

// Outcome of the redirection-trust request of the last hardening run:
// 1 enabled, 0 not offered by the system, -1 refused.
extern int g_iRedirectionTrust;

