// Scratch directory and plain file helpers for the stream tests.
#include "stream-fixture.h"

#include <gtest/gtest.h>

namespace {

std::wstring Widen(const std::string &str)
{
    int cwc = MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, nullptr, 0);
    std::wstring wstr(static_cast<size_t>(cwc), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, wstr.data(), cwc);
    wstr.resize(static_cast<size_t>(cwc - 1));
    return wstr;
}

std::string Narrow(const std::wstring &wstr)
{
    int cch = WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string str(static_cast<size_t>(cch), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.c_str(), -1, str.data(), cch, nullptr, nullptr);
    str.resize(static_cast<size_t>(cch - 1));
    return str;
}

} // namespace

ScratchDir::ScratchDir()
{
    wchar_t wszTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, wszTemp);
    static unsigned s_iSeq;
    m_wstrDir = std::wstring(wszTemp) + L"win-stream-" + std::to_wstring(GetCurrentProcessId()) + L"-"
                + std::to_wstring(++s_iSeq);
    CreateDirectoryW(m_wstrDir.c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW((m_wstrDir + L"\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((m_wstrDir + L"\\" + Data.cFileName).c_str());
        while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryW(m_wstrDir.c_str());
}

std::string ScratchDir::Path(const char *pszName) const
{
    return Narrow(m_wstrDir) + "\\" + pszName;
}

std::wstring ScratchDir::WPath(const char *pszName) const
{
    return Widen(Path(pszName));
}

std::string ReadWholeFile(const std::string &strPath)
{
    HANDLE hFile = CreateFileW(Widen(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(hFile, INVALID_HANDLE_VALUE) << strPath;
    std::string str;
    char ach[4096];
    DWORD cbRead = 0;
    while (ReadFile(hFile, ach, sizeof(ach), &cbRead, nullptr) && cbRead)
        str.append(ach, cbRead);
    CloseHandle(hFile);
    return str;
}

void WriteWholeFile(const std::string &strPath, const std::string &strContent)
{
    HANDLE hFile = CreateFileW(Widen(strPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << strPath;
    DWORD cbWritten = 0;
    WriteFile(hFile, strContent.data(), static_cast<DWORD>(strContent.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
}

std::string Unflushed(const RtStream *pStream)
{
    if (!pStream->pchBuf)
        return std::string();
    return std::string(&pStream->pchBuf[pStream->offBufFirst], pStream->offBufEnd - pStream->offBufFirst);
}
