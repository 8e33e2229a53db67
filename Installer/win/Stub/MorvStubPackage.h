// Internals of the package resources and the host query that tests steer:
// the module that carries the payload and the kernel32 look-up.
#pragma once

#include <windows.h>

#include "MorvStub.h"

// The module whose resources are searched: nullptr is the executable itself.
extern HMODULE g_hModPackageResources;

// Looks a kernel32 export up by name (GetModuleHandleW + GetProcAddress);
// nullptr when the system lacks it.
using PFNMORVKERNEL32LOOKUP = FARPROC (*)(const char *pszName);
extern PFNMORVKERNEL32LOOKUP g_pfnMorvKernel32Lookup;
FARPROC MorvKernel32LookupDefault(const char *pszName);
