// Steering for the loader tests: a recording LoadLibraryExW, a system
// directory of the test's choosing and a scratch directory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "r3/win/ldrNative-win.h"

struct LoadCall {
    std::wstring wstrPath;
    DWORD fFlags;
};

// Replaces the loader's system calls for the lifetime of the object and puts
// the process-wide records back afterwards.
class LdrSteering {
public:
    LdrSteering();
    ~LdrSteering();

    // Calls that went to LoadLibraryExW, in order.
    static std::vector<LoadCall> s_aCalls;
    // When set, LoadLibraryExW fails with this error for calls with these flags.
    static DWORD s_dwFailErr;
    static bool s_fFailOnlyWithFlags;
    // When set, successful loads return this module instead of loading.
    static HMODULE s_hFakeModule;
    // When non-empty, GetSystemDirectoryW answers with it.
    static std::wstring s_wstrSysDir;

private:
    PFNRTLDRLOADLIBRARYEXW m_pfnSavedLoad;
    PFNRTLDRGETSYSTEMDIRECTORYW m_pfnSavedSysDir;
    int m_iSavedSearchFlags;
    bool m_fSavedRedirLookedUp;
    PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION m_pfnSavedRedir;
};

std::string Utf8(const std::wstring &wstr);
std::wstring Wide(const std::string &str);
std::wstring SystemDir();
std::wstring MakeScratchDir(const wchar_t *pwszTag);
void RemoveTree(const std::wstring &wstrDir);
