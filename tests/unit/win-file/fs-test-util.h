// Shared by the Windows file and directory tests: a scratch directory in
// the prefix's temporary directory, removed with its content afterwards,
// and small UTF-8 helpers around the wide Win32 calls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include <quab/string.h>

inline std::wstring fsWide(const std::string &s)
{
    int const cwc = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(cwc ? cwc - 1 : 0, L'\0');
    if (cwc > 1)
        MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], cwc);
    return w;
}

inline std::string fsUtf8(const wchar_t *pwsz)
{
    int const cch = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    std::string s(cch ? cch - 1 : 0, '\0');
    if (cch > 1)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &s[0], cch, nullptr, nullptr);
    return s;
}

// The long form reaches any depth, so the clean-up works for the long-path tests too.
inline std::wstring fsLong(const std::string &sPath)
{
    return L"\\\\?\\" + fsWide(sPath);
}

inline void fsRemoveTree(const std::wstring &wsLong)
{
    WIN32_FIND_DATAW Data;
    HANDLE hFind = FindFirstFileW((wsLong + L"\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring const wsName = Data.cFileName;
            if (wsName == L"." || wsName == L"..")
                continue;
            std::wstring const wsChild = wsLong + L"\\" + wsName;
            if ((Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                fsRemoveTree(wsChild);
            else if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(wsChild.c_str());
            else {
                SetFileAttributesW(wsChild.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(wsChild.c_str());
            }
        } while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryW(wsLong.c_str());
}

// Under Wine on user-mode emulation, GoogleTest's reporting of a skipped or
// failed part (it also hands the text to OutputDebugStringA) ends the
// process, so a case that cannot run here says so on stdout and returns.
#define FS_SKIP(msg)                                                       \
    do {                                                                   \
        std::cout << "[ NOT RUN  ] " << msg << std::endl;                  \
        return;                                                            \
    } while (0)

class FsScratchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t wszTmp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, wszTmp), 0u);
        std::string sTmp = fsUtf8(wszTmp);
        if (!sTmp.empty() && sTmp.back() == '\\')
            sTmp.pop_back();
        auto const *pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        m_sDir = sTmp + "\\fs-" + std::to_string(GetCurrentProcessId()) + "-" + pInfo->name();
        fsRemoveTree(fsLong(m_sDir));
        ASSERT_TRUE(CreateDirectoryW(fsWide(m_sDir).c_str(), nullptr)) << m_sDir;
    }
    void TearDown() override { fsRemoveTree(fsLong(m_sDir)); }

    std::string path(const std::string &sName) const { return m_sDir + "\\" + sName; }

    void writeFile(const std::string &sPath, const std::string &sData) const
    {
        HANDLE h = CreateFileW(fsLong(sPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << sPath;
        DWORD cb = 0;
        ASSERT_TRUE(WriteFile(h, sData.data(), static_cast<DWORD>(sData.size()), &cb, nullptr));
        CloseHandle(h);
    }

    static std::string readFile(const std::string &sPath)
    {
        HANDLE h = CreateFileW(fsLong(sPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "<missing>";
        std::string s;
        char ab[4096];
        DWORD cb;
        while (ReadFile(h, ab, sizeof(ab), &cb, nullptr) && cb)
            s.append(ab, cb);
        CloseHandle(h);
        return s;
    }

    // Whether the scratch directory's file system keeps the not-content-indexed attribute.
    bool keepsNotIndexedAttribute() const
    {
        std::wstring const wsProbe = fsWide(path("probe-attr"));
        HANDLE h = CreateFileW(wsProbe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
        SetFileAttributesW(wsProbe.c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        bool const fKept = (GetFileAttributesW(wsProbe.c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != 0;
        DeleteFileW(wsProbe.c_str());
        return fKept;
    }

    static bool exists(const std::string &sPath)
    {
        return GetFileAttributesW(fsLong(sPath).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string m_sDir;
};
