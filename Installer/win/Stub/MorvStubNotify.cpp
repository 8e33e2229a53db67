// The installer's reports: message boxes in interactive runs, lines on the
// standard streams in silent runs, and the stderr-only diagnostics.
#include <windows.h>

#include <quab/lazy.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

constexpr char g_szCaption[] = "Morvaquill Installer";
constexpr wchar_t g_wszCaption[] = L"Morvaquill Installer";
constexpr char g_szTag[] = "MorvStubNotify";
constexpr UINT kStyleError = MB_OK | MB_ICONERROR;            // 0x10
constexpr UINT kStyleInfo = MB_OK | MB_ICONINFORMATION;       // 0x40

// The box goes out in UTF-16; a text that will not convert (not valid
// UTF-8) is still shown, as 8-bit text, rather than lost.
void ShowMessageBox(const char *pszText, UINT fStyle)
{
    HWND const hwndOwner = g_pfnGetDesktopWindow();
    RTUTF16 *pwszText = nullptr;
    if (RT_SUCCESS_NP(RTStrToUtf16(pszText, &pwszText, g_szTag))) {
        g_pfnMessageBoxW(hwndOwner, reinterpret_cast<const wchar_t *>(pwszText), g_wszCaption, fStyle);
        RTStrDispose(pwszText);
    } else {
        g_pfnMessageBoxA(hwndOwner, pszText, g_szCaption, fStyle);
    }
}

void NotifyErrorV(const char *pszFormat, va_list va)
{
    char *pszText = nullptr;
    int const cch = RTStrFmtAllocV(&pszText, pszFormat, va, g_szTag);
    if (cch > 0 && pszText) {
        if (g_fSilent)
            RTMessageError("%s", pszText);
        else
            ShowMessageBox(pszText, kStyleError);
    }
    RTStrDispose(pszText);
}

} // namespace

int NotifyError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    NotifyErrorV(pszFormat, va);
    va_end(va);
    return 1;
}

void NotifyInfo(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    char *pszText = nullptr;
    int const cch = RTStrFmtAllocV(&pszText, pszFormat, va, g_szTag);
    va_end(va);
    if (cch >= 0 && pszText) {
        if (g_fSilent)
            RTStdOutPrintf("%s\n", pszText);
        else
            ShowMessageBox(pszText, kStyleInfo);
    }
    RTStrDispose(pszText);
}

int NotifyUsageError(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    NotifyError("%N", pszFormat, &va);
    va_end(va);
    return 2;
}

int ErrorToStderr(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    int const rc = RTStreamPrintf(g_pStreamStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return rc;
}

int ErrorToStderrOne(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTStreamPrintf(g_pStreamStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return 1;
}

int ErrorToStderrRc(int32_t rc, const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTStreamPrintf(g_pStreamStdErr, "error: %N\n", pszFormat, &va);
    va_end(va);
    return rc;
}
