// Hands one extracted package to the Windows Installer engine and turns the
// engine's result into the installer's exit code and report.
#include <windows.h>

#include <quab/lazy.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

constexpr UINT MORV_MSI_REBOOT_REQUIRED = ERROR_SUCCESS_REBOOT_REQUIRED;   // 3010

struct MsiResultText {
    UINT uResult;
    const char *pszText;
};

// Results whose own words help the user more than the system's text.
constexpr MsiResultText g_aMsiResultTexts[] = {
    {ERROR_INSTALL_PACKAGE_VERSION,
     "This installation package cannot be installed by the Windows Installer service.\n"
     "You must install a Windows service pack that contains a newer version of the Windows Installer service."},
    {ERROR_INSTALL_PLATFORM_UNSUPPORTED, "This installation package is not supported on this platform."},
};

int ReportInstallFailure(UINT uResult)
{
    for (const MsiResultText &Entry : g_aMsiResultTexts)
        if (Entry.uResult == uResult)
            return NotifyError("%s", Entry.pszText);

    DWORD fFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    HMODULE hNetMsg = nullptr;
    // The LAN Manager range has its texts in netmsg.dll, loaded only as data.
    if (uResult >= 2100 && uResult <= 2999) {
        hNetMsg = LoadLibraryExW(L"netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (hNetMsg)
            fFlags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    WCHAR *pwszText = nullptr;
    DWORD const cwc = FormatMessageW(fFlags, hNetMsg, uResult, 0x400, reinterpret_cast<LPWSTR>(&pwszText), 0,
                                     nullptr);
    if (cwc && pwszText) {
        NotifyError("Installation failed! Error: %ls", pwszText);
        LocalFree(pwszText);
    } else
        NotifyError("Installation failed! Error: %u", uResult);
    if (hNetMsg)
        FreeLibrary(hNetMsg);
    return 1;
}

int32_t EnableEngineLog(const char *pszLogFile, bool fAppendLog)
{
    RTUTF16 *pwszLogFile = nullptr;
    int32_t rc = RTStrToUtf16(pszLogFile, &pwszLogFile);
    if (RT_FAILURE_NP(rc))
        return NotifyError("RTStrToUtf16 failed on '%s': %Rrc", pszLogFile, rc);
    // One file for the whole run: packages after the first append to it,
    // otherwise each package's log would replace the one before.
    DWORD const fAttributes = INSTALLLOGATTRIBUTES_FLUSHEACHLINE | (fAppendLog ? INSTALLLOGATTRIBUTES_APPEND : 0);
    UINT const uRc = g_pfnMsiEnableLogW(INSTALLLOGMODE_VERBOSE, reinterpret_cast<LPCWSTR>(pwszLogFile), fAttributes);
    RTStrDispose(pwszLogFile);
    if (uRc != ERROR_SUCCESS)
        return NotifyError("MsiEnableLogW failed");
    return 0;
}

} // namespace

int InstallMsiPackage(const char *pszPackagePath, const char *pszParameters, const char *pszLogFile, bool fAppendLog)
{
    if (g_pfnMsiSetInternalUI(g_fSilent ? INSTALLUILEVEL_NONE : INSTALLUILEVEL_FULL, nullptr)
        == INSTALLUILEVEL_NOCHANGE)
        return NotifyError("Internal error: MsiSetInternalUI failed.");

    if (pszLogFile && EnableEngineLog(pszLogFile, fAppendLog) != 0)
        return 1;

    INITCOMMONCONTROLSEX InitCtrls = {sizeof(INITCOMMONCONTROLSEX),
                                      ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_PAGESCROLLER_CLASS
                                          | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    (void)g_pfnInitCommonControlsEx(&InitCtrls);

    RTUTF16 *pwszPackage = nullptr;
    int32_t rc = RTStrToUtf16(pszPackagePath, &pwszPackage);
    if (RT_FAILURE_NP(rc))
        return NotifyError("RTStrToUtf16 failed on '%s': %Rrc", pszPackagePath, rc);
    RTUTF16 *pwszParameters = nullptr;
    rc = RTStrToUtf16(pszParameters, &pwszParameters);
    if (RT_FAILURE_NP(rc)) {
        RTStrDispose(pwszPackage);
        return NotifyError("RTStrToUtf16 failed on '%s': %Rrc", pszParameters, rc);
    }

    UINT const uResult = g_pfnMsiInstallProductW(reinterpret_cast<LPCWSTR>(pwszPackage),
                                                 reinterpret_cast<LPCWSTR>(pwszParameters));
    RTStrDispose(pwszPackage);
    RTStrDispose(pwszParameters);

    switch (uResult) {
    case ERROR_SUCCESS:
        return 0;
    case MORV_MSI_REBOOT_REQUIRED:
        if (g_fSilent)
            RTMessageInfo("Reboot required (by %s)\n", pszPackagePath);
        return static_cast<int>(MORV_MSI_REBOOT_REQUIRED);
    case ERROR_INSTALL_USEREXIT:
        return 1;   // the user said so; nothing to tell them
    default:
        return ReportInstallFailure(uResult);
    }
}
