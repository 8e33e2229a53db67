// Windows side of runtime initialisation: system modules, the OS version,
// DLL search hardening and the unhandled-exception filter.
#include "init-win-internal.h"

#include <quab/err.h>

// Socket-error saving for the assertion output comes from the loader layer;
// programs without it do without.
__attribute__((weak)) int32_t rtR3InitWinsock();

constinit HINSTANCE__ *g_hModKernel32 = nullptr;
constinit HINSTANCE__ *g_hModNtDll = nullptr;
constinit RTWINOSVERSIONINFOEX g_WinOsInfo = {};
constinit RTWINOSTYPE g_enmWinOsKind = kRTWinOSType_UNKNOWN;

constinit PFNGETCURRENTTHREADSTACKLIMITS g_pfnGetCurrentThreadStackLimits = nullptr;
constinit PFNSETUNHANDLEDEXCEPTIONFILTER g_pfnSetUnhandledExceptionFilter = nullptr;
constinit PFNUNHANDLEDEXCEPTIONFILTER g_pfnUnhandledExceptionFilter = nullptr;
constinit LPTOP_LEVEL_EXCEPTION_FILTER g_pfnUnhandledXcptFilterPrev = nullptr;
constinit PFNISDEBUGGERPRESENT g_pfnIsDebuggerPresent = nullptr;
constinit PFNGETSYSTEMTIMEASFILETIME g_pfnGetSystemTimeAsFileTime = nullptr;
constinit PFNISPROCESSORFEATUREPRESENT g_pfnIsProcessorFeaturePresent = nullptr;
constinit PFNNTQUERYFULLATTRIBUTESFILE g_pfnNtQueryFullAttributesFile = nullptr;
constinit int g_iRedirectionTrust = 0;

void *rtR3WinResolveDefault(HMODULE hMod, const char *pszSymbol)
{
    return hMod ? reinterpret_cast<void *>(GetProcAddress(hMod, pszSymbol)) : nullptr;
}

HMODULE rtR3WinGetModuleHandleDefault(const wchar_t *pwszModule)
{
    return GetModuleHandleW(pwszModule);
}

constinit PFNRTR3WINRESOLVE g_pfnrtR3WinResolve = rtR3WinResolveDefault;
constinit PFNRTR3WINGETMODULEHANDLE g_pfnrtR3WinGetModuleHandle = rtR3WinGetModuleHandleDefault;

template <typename T>
static void rtR3WinResolve(T &pfn, HMODULE hMod, const char *pszSymbol)
{
    pfn = reinterpret_cast<T>(g_pfnrtR3WinResolve(hMod, pszSymbol));
}

// ---------------------------------------------------------------------------

using PFNRTLGETVERSION = LONG(NTAPI *)(RTWINOSVERSIONINFOEX *);
using PFNGETVERSIONEXW = BOOL(WINAPI *)(RTWINOSVERSIONINFOEX *);
using PFNGETVERSION = DWORD(WINAPI *)();
using PFNRTLGETNTPRODUCTTYPE = BOOLEAN(NTAPI *)(ULONG *);

static void rtR3InitWinQueryVersion()
{
    PFNRTLGETVERSION pfnRtlGetVersion;
    rtR3WinResolve(pfnRtlGetVersion, g_hModNtDll, "RtlGetVersion");
    __builtin_memset(&g_WinOsInfo, 0, sizeof(g_WinOsInfo));
    g_WinOsInfo.dwOSVersionInfoSize = RTWINOSVERSIONINFOEX_SIZE;
    if (pfnRtlGetVersion && pfnRtlGetVersion(&g_WinOsInfo) == 0)
        return;

    PFNGETVERSIONEXW pfnGetVersionExW;
    rtR3WinResolve(pfnGetVersionExW, g_hModKernel32, "GetVersionExW");
    __builtin_memset(&g_WinOsInfo, 0, sizeof(g_WinOsInfo));
    g_WinOsInfo.dwOSVersionInfoSize = RTWINOSVERSIONINFOEX_SIZE;
    if (pfnGetVersionExW && pfnGetVersionExW(&g_WinOsInfo))
        return;

    // Older systems know only the short record, and the oldest only GetVersion.
    __builtin_memset(&g_WinOsInfo, 0, sizeof(g_WinOsInfo));
    g_WinOsInfo.dwOSVersionInfoSize = RTWINOSVERSIONINFO_SIZE;
    if (!pfnGetVersionExW || !pfnGetVersionExW(&g_WinOsInfo)) {
        __builtin_memset(&g_WinOsInfo, 0, sizeof(g_WinOsInfo));
        PFNGETVERSION pfnGetVersion;
        rtR3WinResolve(pfnGetVersion, g_hModKernel32, "GetVersion");
        DWORD const dwVersion = pfnGetVersion ? pfnGetVersion() : 0;
        g_WinOsInfo.dwMajorVersion = dwVersion & 0xFF;
        g_WinOsInfo.dwMinorVersion = (dwVersion >> 8) & 0xFF;
        g_WinOsInfo.dwBuildNumber = dwVersion & 0x80000000u ? 511 : dwVersion >> 16;
        g_WinOsInfo.dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
    g_WinOsInfo.dwOSVersionInfoSize = RTWINOSVERSIONINFOEX_SIZE;
    g_WinOsInfo.wProductType = VER_NT_WORKSTATION;
    PFNRTLGETNTPRODUCTTYPE pfnRtlGetNtProductType;
    rtR3WinResolve(pfnRtlGetNtProductType, g_hModNtDll, "RtlGetNtProductType");
    ULONG uProductType = 0;
    if (pfnRtlGetNtProductType && pfnRtlGetNtProductType(&uProductType))
        g_WinOsInfo.wProductType = static_cast<uint8_t>(uProductType);
}

int32_t rtR3InitWinFirst(uint32_t fFlags)
{
    g_hModKernel32 = g_pfnrtR3WinGetModuleHandle(L"kernel32.dll");
    g_hModNtDll = g_pfnrtR3WinGetModuleHandle(L"ntdll.dll");
    if (!g_hModKernel32 || !g_hModNtDll)
        return RTE_INTERNAL_ERROR_B;

    rtR3InitWinQueryVersion();
    g_enmWinOsKind = rtR3WinClassifyOs(&g_WinOsInfo);

    int32_t const rc = fFlags & RTR3INIT_F_SKIP_NATIVE_SETUP ? RT_OK : rtR3InitWinHardening(fFlags);

    rtR3WinResolve(g_pfnGetCurrentThreadStackLimits, g_hModKernel32, "GetCurrentThreadStackLimits");
    rtR3WinResolve(g_pfnSetUnhandledExceptionFilter, g_hModKernel32, "SetUnhandledExceptionFilter");
    rtR3WinResolve(g_pfnUnhandledExceptionFilter, g_hModKernel32, "UnhandledExceptionFilter");
    rtR3WinResolve(g_pfnIsDebuggerPresent, g_hModKernel32, "IsDebuggerPresent");
    rtR3WinResolve(g_pfnGetSystemTimeAsFileTime, g_hModKernel32, "GetSystemTimeAsFileTime");
    rtR3WinResolve(g_pfnIsProcessorFeaturePresent, g_hModKernel32, "IsProcessorFeaturePresent");
    rtR3WinResolve(g_pfnNtQueryFullAttributesFile, g_hModNtDll, "NtQueryFullAttributesFile");

    if (rtR3InitWinsock)
        rtR3InitWinsock();

    // A hardening failure is reported only now, so that everything above
    // is in place even for a caller that carries on regardless.
    return rc;
}

// ---------------------------------------------------------------------------

using PFNSETERRORMODE = UINT(WINAPI *)(UINT);
using PFNSETDLLDIRECTORYW = BOOL(WINAPI *)(const wchar_t *);
using PFNSETDEFAULTDLLDIRECTORIES = BOOL(WINAPI *)(DWORD);
using PFNSETPROCESSMITIGATIONPOLICY = BOOL(WINAPI *)(int, const void *, SIZE_T);

// Keeps a file system redirection (a junction or symbolic link an ordinary
// user planted) from being followed on the process's behalf.
static void rtR3InitWinRedirectionTrust()
{
    constexpr int kProcessRedirectionTrustPolicy = 16;
    constexpr DWORD kEnforceRedirectionTrust = 1;
    PFNSETPROCESSMITIGATIONPOLICY pfnSetProcessMitigationPolicy;
    rtR3WinResolve(pfnSetProcessMitigationPolicy, g_hModKernel32, "SetProcessMitigationPolicy");
    if (!pfnSetProcessMitigationPolicy) {
        g_iRedirectionTrust = 0;
        return;
    }
    DWORD const dwPolicy = kEnforceRedirectionTrust;
    // Systems before the policy existed refuse it; that is no failure of ours.
    g_iRedirectionTrust = pfnSetProcessMitigationPolicy(kProcessRedirectionTrustPolicy, &dwPolicy, sizeof(dwPolicy))
                              ? 1
                              : -1;
}

int32_t rtR3InitWinHardening(uint32_t fFlags)
{
    int32_t rc = RT_OK;

    PFNSETERRORMODE pfnSetErrorMode;
    rtR3WinResolve(pfnSetErrorMode, g_hModKernel32, "SetErrorMode");
    if (pfnSetErrorMode) {
        UINT const fOldMode = pfnSetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        pfnSetErrorMode(fOldMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    }

    PFNSETDLLDIRECTORYW pfnSetDllDirectoryW;
    rtR3WinResolve(pfnSetDllDirectoryW, g_hModKernel32, "SetDllDirectoryW");
    if (pfnSetDllDirectoryW && !pfnSetDllDirectoryW(L""))
        rc = RTE_INTERNAL_ERROR_C;

    if (g_enmWinOsKind > kRTWinOSType_VISTA || (fFlags & RTR3INIT_F_DLL_SEARCH_SYSTEM32)) {
        PFNSETDEFAULTDLLDIRECTORIES pfnSetDefaultDllDirectories;
        rtR3WinResolve(pfnSetDefaultDllDirectories, g_hModKernel32, "SetDefaultDllDirectories");
        if (pfnSetDefaultDllDirectories) {
            DWORD const fDirs = fFlags & RTR3INIT_F_DLL_SEARCH_SYSTEM32
                                    ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                    : LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
            if (!pfnSetDefaultDllDirectories(fDirs) && RT_SUCCESS_NP(rc))
                rc = RTE_INTERNAL_ERROR_D;
        }
    }

    rtR3InitWinRedirectionTrust();

    rtR3WinResolve(g_pfnGetCurrentThreadStackLimits, g_hModKernel32, "GetCurrentThreadStackLimits");
    rtR3WinResolve(g_pfnSetUnhandledExceptionFilter, g_hModKernel32, "SetUnhandledExceptionFilter");
    rtR3WinResolve(g_pfnUnhandledExceptionFilter, g_hModKernel32, "UnhandledExceptionFilter");

    if (g_pfnSetUnhandledExceptionFilter && !g_pfnUnhandledXcptFilterPrev) {
        g_pfnUnhandledXcptFilterPrev = g_pfnSetUnhandledExceptionFilter(rtR3WinUnhandledXcptFilter);
        if (g_pfnUnhandledXcptFilterPrev == rtR3WinUnhandledXcptFilter)
            g_pfnUnhandledXcptFilterPrev = nullptr;
    }
    return rc;
}

// No logger exists to take a crash report, so the filter only keeps the
// chain intact for whatever was installed before it.
LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptInfo)
{
    LPTOP_LEVEL_EXCEPTION_FILTER const pfnPrev = g_pfnUnhandledXcptFilterPrev;
    if (pfnPrev)
        return pfnPrev(pXcptInfo);
    return EXCEPTION_CONTINUE_SEARCH;
}
