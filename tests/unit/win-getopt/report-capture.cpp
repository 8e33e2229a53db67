// Fakes for the message-box calls and files behind the standard streams.
#include "report-capture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <quab/init.h>
#include <quab/lazy.h>

namespace {

std::vector<CapturedBox> g_aBoxes;

std::string FromWide(const wchar_t *pwsz)
{
    int const cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    std::string s(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, s.data(), cb, nullptr, nullptr);
    return s;
}

int WINAPI FakeMessageBoxW(HWND hwnd, LPCWSTR pwszText, LPCWSTR pwszCaption, UINT fStyle)
{
    g_aBoxes.push_back({FromWide(pwszCaption), FromWide(pwszText), fStyle, true, hwnd});
    return IDOK;
}

int WINAPI FakeMessageBoxA(HWND hwnd, LPCSTR pszText, LPCSTR pszCaption, UINT fStyle)
{
    g_aBoxes.push_back({pszCaption, pszText, fStyle, false, hwnd});
    return IDOK;
}

HWND WINAPI FakeGetDesktopWindow()
{
    return g_hwndFakeDesktop;
}

std::string TempFile(const char *pszName)
{
    char szDir[MAX_PATH];
    GetTempPathA(sizeof(szDir), szDir);
    return std::string(szDir) + pszName + std::to_string(GetCurrentProcessId()) + ".txt";
}

std::string ReadFile(std::string const &strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    std::stringstream ss;
    ss << In.rdbuf();
    return ss.str();
}

} // namespace

ReportCapture::ReportCapture()
    : m_strErrPath(TempFile("getopt-err-")), m_strOutPath(TempFile("getopt-out-"))
{
    g_aBoxes.clear();
    g_pfnMessageBoxW = FakeMessageBoxW;
    g_pfnMessageBoxA = FakeMessageBoxA;
    g_pfnGetDesktopWindow = FakeGetDesktopWindow;

    // Binary and unbuffered: the files hold exactly what was written, at once.
    EXPECT_EQ(RTStreamOpenByName(m_strErrPath.c_str(), "wb", &m_pErr), RT_OK);
    EXPECT_EQ(RTStreamOpenByName(m_strOutPath.c_str(), "wb", &m_pOut), RT_OK);
    RTStreamSetBufferMode(m_pErr, RTSTREAMBUF_MODE_NONE);
    RTStreamSetBufferMode(m_pOut, RTSTREAMBUF_MODE_NONE);
    m_pSavedErr = g_pStreamStdErr;
    m_pSavedOut = g_pStreamStdOut;
    g_pStreamStdErr = m_pErr;
    g_pStreamStdOut = m_pOut;
}

ReportCapture::~ReportCapture()
{
    g_pStreamStdErr = m_pSavedErr;
    g_pStreamStdOut = m_pSavedOut;
    rtStreamTerm();
    DeleteFileA(m_strErrPath.c_str());
    DeleteFileA(m_strOutPath.c_str());
}

std::vector<CapturedBox> const &ReportCapture::Boxes() const
{
    return g_aBoxes;
}

std::string ReportCapture::StdErr() const
{
    return ReadFile(m_strErrPath);
}

std::string ReportCapture::StdOut() const
{
    return ReadFile(m_strOutPath);
}

std::string MessagePrefix()
{
    if (g_offExecName < g_cchExecPath)
        return std::string(&g_szExecPath[g_offExecName]) + ": ";
    return ": ";
}
