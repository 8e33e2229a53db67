// The native loader: libraries from the system directory only (with the
// side-by-side redirection rule), loading by absolute path with the search
// restriction, and the native operations on a loaded module.
#include <windows.h>
#include <winternl.h>

#include <quab/assert.h>
#include <quab/dir.h>
#include <quab/err.h>
#include <quab/file.h>
#include <quab/init.h>
#include <quab/mem.h>
#include <quab/path.h>
#include <quab/string.h>

#include "common/ldr/ldr-internal.h"
#include "r3/win/ldrNative-win.h"

PFNRTLDRLOADLIBRARYEXW g_pfnrtldrLoadLibraryExW = LoadLibraryExW;
PFNRTLDRGETSYSTEMDIRECTORYW g_pfnrtldrGetSystemDirectoryW = GetSystemDirectoryW;
int g_iLdrLoadLibSearchFlags = 0;
bool g_fLdrRedirLookedUp = false;
PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION g_pfnrtldrDosApplyFileIsolationRedirection = nullptr;

namespace {

constexpr UINT RTLDR_SYSDIR_CWC = 260;
// The system directory and the loaded library's own directory: never the
// current directory, PATH, or the application directory. A system library's
// dependencies looked up beside the installer are exactly the planting an
// installer run from a Downloads folder must not allow.
constexpr DWORD RTLDR_SEARCH_FLAGS = LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR;

int32_t rtldrNativeClose(RTLDRMODINTERNAL *pMod)
{
    if (!(pMod->fFlags & RTLDRLOAD_F_NO_UNLOAD) && pMod->hNative != RTLDR_NIL_NATIVE) {
        if (!FreeLibrary(reinterpret_cast<HMODULE>(pMod->hNative)))
            return RTErrConvertFromWinError(GetLastError());
    }
    pMod->hNative = RTLDR_NIL_NATIVE;
    return RT_OK;
}

int32_t rtldrNativeGetSymbol(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue)
{
    FARPROC pfn = GetProcAddress(reinterpret_cast<HMODULE>(pMod->hNative), pszSymbol);
    if (!pfn) {
        *ppvValue = nullptr;
        return RTErrConvertFromWinError(GetLastError());
    }
    *ppvValue = reinterpret_cast<void *>(pfn);
    return RT_OK;
}

bool rtldrIsSep(RTUTF16 wc)
{
    return wc == '\\' || wc == '/';
}

RTUTF16 rtldrFoldAscii(RTUTF16 wc)
{
    return wc >= 'A' && wc <= 'Z' ? static_cast<RTUTF16>(wc + ('a' - 'A')) : wc;
}

[[noreturn]] void rtldrFatalNotConfigured(const char *pszFormat, const char *pszName)
{
    RTAssertMsg2(pszFormat, pszName);
    RTAssertPanicStop();
}

// Side-by-side redirection: the redirected path when it lies under the system
// directory's top-level directory, converted into pszPath.
bool rtldrTryRedirect(const char *pszFilename, const RTUTF16 *pwszSysDir, char *pszPath, size_t cbPath)
{
    // Threads loading at the same time may both look it up; they store the
    // same value, and the flag is published after it.
    if (!__atomic_load_n(&g_fLdrRedirLookedUp, __ATOMIC_ACQUIRE)) {
        __atomic_store_n(&g_pfnrtldrDosApplyFileIsolationRedirection,
                         reinterpret_cast<PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION>(reinterpret_cast<void *>(
                             GetProcAddress(reinterpret_cast<HMODULE>(g_hModNtDll),
                                            "RtlDosApplyFileIsolationRedirection_Ustr"))),
                         __ATOMIC_RELAXED);
        __atomic_store_n(&g_fLdrRedirLookedUp, true, __ATOMIC_RELEASE);
    }
    PFNRTLDRDOSAPPLYFILEISOLATIONREDIRECTION const pfnRedirect
        = __atomic_load_n(&g_pfnrtldrDosApplyFileIsolationRedirection, __ATOMIC_RELAXED);
    if (!pfnRedirect)
        return false;

    RTUTF16 wszName[RTLDR_SYSDIR_CWC];
    RTUTF16 *pwszName = wszName;
    size_t cwcName = 0;
    if (RTStrToUtf16Ex(pszFilename, RTSTR_MAX, &pwszName, RT_ELEMENTS(wszName), &cwcName) < 0)
        return false;

    static WCHAR s_wszDllExt[] = L".dll";
    // The result buffer is the caller's own (518 bytes): two threads may
    // load libraries at once.
    WCHAR wszStatic[259];
    UNICODE_STRING OrgName = {static_cast<USHORT>(cwcName * 2), static_cast<USHORT>(cwcName * 2),
                              reinterpret_cast<PWSTR>(wszName)};
    UNICODE_STRING DefExt = {8, 10, s_wszDllExt};
    UNICODE_STRING StaticString = {0, sizeof(wszStatic), wszStatic};
    UNICODE_STRING DynamicString = {0, 0, nullptr};
    PUNICODE_STRING pNewName = nullptr;
    NTSTATUS const rcNt = pfnRedirect(1, &OrgName, &DefExt, &StaticString, &DynamicString, &pNewName, nullptr,
                                      nullptr, nullptr);
    bool fUsed = false;
    if (rcNt >= 0 && pNewName && pNewName->Buffer) {
        const RTUTF16 *pwszNew = reinterpret_cast<const RTUTF16 *>(pNewName->Buffer);
        size_t const cwcNew = pNewName->Length / 2;
        if (rtldrCountMatchingSeparators(pwszNew, cwcNew, pwszSysDir) >= 2) {
            char *psz = pszPath;
            fUsed = RTUtf16ToUtf8Ex(pwszNew, cwcNew, &psz, cbPath, nullptr) >= 0;
        }
    }
    if (DynamicString.Buffer)
        RtlFreeUnicodeString(&DynamicString);
    return fUsed;
}

// Only regular files: a reparse point or a device under the system
// directory's name is not a library we will load.
bool rtldrIsPlainFile(const char *pszPath)
{
    FsObjectInfo ObjInfo;
    if (RTPathGetObjInfo(pszPath, &ObjInfo, InfoDetail_None, RTPATH_F_FOLLOW_LINK) < 0)
        return false;
    return (ObjInfo.fMode & RTFS_TYPE_MASK) == RTFS_TYPE_FILE
           && !(ObjInfo.fMode & (RTFS_DOS_NT_REPARSE_POINT | RTFS_DOS_NT_DEVICE));
}

} // namespace

constexpr RTLDROPS g_rtldrNativeOps = {"native", rtldrNativeClose, rtldrNativeGetSymbol};

unsigned rtldrCountMatchingSeparators(const RTUTF16 *pwszRedirected, size_t cwcRedirected, const RTUTF16 *pwszSysDir)
{
    unsigned cSeps = 0;
    size_t i = 0, j = 0;
    while (i < cwcRedirected && pwszRedirected[i]) {
        RTUTF16 const wc1 = pwszRedirected[i];
        RTUTF16 const wc2 = pwszSysDir[j];
        if (rtldrIsSep(wc1) && rtldrIsSep(wc2)) {
            if (i > 0)
                cSeps++;
            while (i < cwcRedirected && rtldrIsSep(pwszRedirected[i]))
                i++;
            while (rtldrIsSep(pwszSysDir[j]))
                j++;
        } else if (wc2 && rtldrFoldAscii(wc1) == rtldrFoldAscii(wc2)) {
            i++;
            j++;
        } else
            break;
    }
    return cSeps;
}

int32_t rtldrNativeLoadSystem(const char *pszFilename, const char *pszSuffix, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    if (!g_hModKernel32)
        rtldrFatalNotConfigured("rtldrNativeLoadSystem(%s,,) is called before QUAB has configured the windows "
                                "loader!\n",
                                pszFilename);

    RTUTF16 wszSysDir[RTLDR_SYSDIR_CWC];
    UINT const cwcSysDir = g_pfnrtldrGetSystemDirectoryW(reinterpret_cast<LPWSTR>(wszSysDir), RTLDR_SYSDIR_CWC);
    if (cwcSysDir >= RTLDR_SYSDIR_CWC)
        return RTE_FILENAME_TOO_LONG;
    if (cwcSysDir == 0)
        return RTErrConvertFromWinError(GetLastError());
    wszSysDir[cwcSysDir] = '\0';

    char szPath[RTPATH_EXEC_MAX];
    if (!rtldrTryRedirect(pszFilename, wszSysDir, szPath, sizeof(szPath))) {
        char *psz = szPath;
        RT_TRY(RTUtf16ToUtf8Ex(wszSysDir, RTSTR_MAX, &psz, sizeof(szPath), nullptr));
        RT_TRY(RTPathAddComponent(szPath, sizeof(szPath), pszFilename));
        if (pszSuffix)
            RT_TRY(RTStrAppendBounded(szPath, sizeof(szPath), pszSuffix));
    }

    if (!rtldrIsPlainFile(szPath))
        return RTE_MODULE_NOT_FOUND;
    return RTLdrOpenFile(szPath, phLdrMod, fFlags, nullptr);
}

int32_t rtldrNativeLoad(const char *pszPath, uintptr_t *phNative, uint32_t fFlags, RTERRINFO *pErrInfo)
{
    if (fFlags & 1)
        return RTE_INVALID_FLAGS;
    bool const fRooted = pszPath[0] == '\\' || pszPath[0] == '/'
                         || (((pszPath[0] | 0x20) >= 'a' && (pszPath[0] | 0x20) <= 'z') && pszPath[1] == ':'
                             && (pszPath[2] == '\\' || pszPath[2] == '/'));
    if (!fRooted)
        return RTE_INTERNAL_ERROR_B;
    if (!g_hModKernel32)
        rtldrFatalNotConfigured("rtldrNativeLoad(%s,,) is called before QUAB has configured the windows loader!\n",
                                pszPath);

    RTUTF16 *pwszPath = nullptr;
    int32_t rc;
    if ((fFlags & RTLDRLOAD_F_NO_SUFFIX) || rtLdrHasSuffix(pszPath))
        rc = RTStrToUtf16(pszPath, &pwszPath, "ldr");
    else {
        size_t cwc = 0;
        rc = RTStrCountUtf16Units(pszPath, RTSTR_MAX, &cwc);
        if (rc >= 0) {
            pwszPath = RTUtf16Allocate((cwc + 5) * sizeof(RTUTF16), "ldr");
            if (!pwszPath)
                rc = RTE_NO_UTF16_MEMORY;
            else {
                rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwszPath, cwc + 5, nullptr, "ldr");
                if (rc >= 0) {
                    static constexpr char16_t s_wszDll[] = u".DLL";
                    for (size_t i = 0; i < RT_ELEMENTS(s_wszDll); i++)
                        pwszPath[cwc + i] = s_wszDll[i];
                }
            }
        }
    }
    if (rc < 0) {
        RTStrDispose(pwszPath);
        return RTErrInfoSetText(pErrInfo, rc, "Error converting UTF-8 to UTF-16 string.");
    }
    for (RTUTF16 *pwc = pwszPath; *pwc; pwc++)
        if (*pwc == '/')
            *pwc = '\\';

    HMODULE hMod = nullptr;
    DWORD dwErr = 0;
    auto const pwszWin = reinterpret_cast<LPCWSTR>(pwszPath);
    // Racing threads find the same answer and store the same value.
    int const iSearchFlags = __atomic_load_n(&g_iLdrLoadLibSearchFlags, __ATOMIC_RELAXED);
    if ((fFlags & RTLDRLOAD_F_SEARCH_SYSTEM) && iSearchFlags >= 0) {
        hMod = g_pfnrtldrLoadLibraryExW(pwszWin, nullptr, RTLDR_SEARCH_FLAGS);
        dwErr = hMod ? 0 : GetLastError();
        if (iSearchFlags == 0) {
            // Systems without the search flags reject them as a bad parameter;
            // remember that and load the plain way from now on.
            if (!hMod && dwErr == ERROR_INVALID_PARAMETER) {
                __atomic_store_n(&g_iLdrLoadLibSearchFlags, -1, __ATOMIC_RELAXED);
                hMod = g_pfnrtldrLoadLibraryExW(pwszWin, nullptr, 0);
                dwErr = hMod ? 0 : GetLastError();
            } else
                __atomic_store_n(&g_iLdrLoadLibSearchFlags, 1, __ATOMIC_RELAXED);
        }
    } else {
        hMod = g_pfnrtldrLoadLibraryExW(pwszWin, nullptr, 0);
        dwErr = hMod ? 0 : GetLastError();
    }
    RTStrDispose(pwszPath);

    if (!hMod)
        return RTErrInfoSetFormat(pErrInfo, RTErrConvertFromWinError(dwErr), "GetLastError=%u", dwErr);
    *phNative = reinterpret_cast<uintptr_t>(hMod);
    return RT_OK;
}
