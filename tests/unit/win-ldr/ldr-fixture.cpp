// Recording stand-ins for the loader's system calls, and file helpers.
#include "ldr-fixture.h"

std::vector<LoadCall> LdrSteering::s_aCalls;
DWORD LdrSteering::s_dwFailErr = 0;
bool LdrSteering::s_fFailOnlyWithFlags = false;
HMODULE LdrSteering::s_hFakeModule = nullptr;
std::wstring LdrSteering::s_wstrSysDir;

namespace {

HMODULE WINAPI RecordingLoadLibraryExW(LPCWSTR pwszPath, HANDLE hFile, DWORD fFlags)
{
    LdrSteering::s_aCalls.push_back({pwszPath, fFlags});
    if (LdrSteering::s_dwFailErr && (!LdrSteering::s_fFailOnlyWithFlags || fFlags != 0)) {
        SetLastError(LdrSteering::s_dwFailErr);
        return nullptr;
    }
    if (LdrSteering::s_hFakeModule)
        return LdrSteering::s_hFakeModule;
    return LoadLibraryExW(pwszPath, hFile, fFlags);
}

UINT WINAPI SteeredGetSystemDirectoryW(LPWSTR pwszBuf, UINT cwcBuf)
{
    if (LdrSteering::s_wstrSysDir.empty())
        return GetSystemDirectoryW(pwszBuf, cwcBuf);
    UINT const cwc = static_cast<UINT>(LdrSteering::s_wstrSysDir.size());
    if (cwc >= cwcBuf)
        return cwc + 1;
    memcpy(pwszBuf, LdrSteering::s_wstrSysDir.c_str(), (cwc + 1) * sizeof(wchar_t));
    return cwc;
}

} // namespace

LdrSteering::LdrSteering()
    : m_pfnSavedLoad(g_pfnrtldrLoadLibraryExW), m_pfnSavedSysDir(g_pfnrtldrGetSystemDirectoryW),
      m_iSavedSearchFlags(g_iLdrLoadLibSearchFlags), m_fSavedRedirLookedUp(g_fLdrRedirLookedUp),
      m_pfnSavedRedir(g_pfnrtldrDosApplyFileIsolationRedirection)
{
    s_aCalls.clear();
    s_dwFailErr = 0;
    s_fFailOnlyWithFlags = false;
    s_hFakeModule = nullptr;
    s_wstrSysDir.clear();
    g_pfnrtldrLoadLibraryExW = RecordingLoadLibraryExW;
    g_pfnrtldrGetSystemDirectoryW = SteeredGetSystemDirectoryW;
}

LdrSteering::~LdrSteering()
{
    g_pfnrtldrLoadLibraryExW = m_pfnSavedLoad;
    g_pfnrtldrGetSystemDirectoryW = m_pfnSavedSysDir;
    g_iLdrLoadLibSearchFlags = m_iSavedSearchFlags;
    g_fLdrRedirLookedUp = m_fSavedRedirLookedUp;
    g_pfnrtldrDosApplyFileIsolationRedirection = m_pfnSavedRedir;
}

std::string Utf8(const std::wstring &wstr)
{
    int cch = WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string str(static_cast<size_t>(cch), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), -1, str.data(), cch, nullptr, nullptr);
    str.resize(static_cast<size_t>(cch - 1));
    return str;
}

std::wstring Wide(const std::string &str)
{
    int cwc = MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, nullptr, 0);
    std::wstring wstr(static_cast<size_t>(cwc), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, wstr.data(), cwc);
    wstr.resize(static_cast<size_t>(cwc - 1));
    return wstr;
}

std::wstring SystemDir()
{
    wchar_t wsz[MAX_PATH];
    UINT cwc = GetSystemDirectoryW(wsz, MAX_PATH);
    return std::wstring(wsz, cwc);
}

std::wstring MakeScratchDir(const wchar_t *pwszTag)
{
    wchar_t wszTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, wszTemp);
    static unsigned s_iSeq;
    std::wstring wstrDir = std::wstring(wszTemp) + L"win-ldr-" + pwszTag + L"-"
                           + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++s_iSeq);
    CreateDirectoryW(wstrDir.c_str(), nullptr);
    return wstrDir;
}

void RemoveTree(const std::wstring &wstrDir)
{
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW((wstrDir + L"\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring const wstrName = Data.cFileName;
            if (wstrName == L"." || wstrName == L"..")
                continue;
            std::wstring const wstrPath = wstrDir + L"\\" + wstrName;
            if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(wstrPath);
            else
                DeleteFileW(wstrPath.c_str());
        } while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryW(wstrDir.c_str());
}
