// The payload's resources (manifest, headers, data) and the host's native
// architecture.
#include <windows.h>

#include <quab/string.h>

#include "MorvStubPackage.h"

constinit HMODULE g_hModPackageResources = nullptr;
constinit PFNMORVKERNEL32LOOKUP g_pfnMorvKernel32Lookup = MorvKernel32LookupDefault;

namespace {

constexpr char g_szTag[] = "MorvStubPackage";

using PFNISWOW64PROCESS2 = BOOL(WINAPI *)(HANDLE, USHORT *, USHORT *);
using PFNISWOW64PROCESS = BOOL(WINAPI *)(HANDLE, PBOOL);

struct MachineRow {
    uint16_t machine;
    uint32_t arch;
};
constexpr MachineRow g_aMachines[] = {
    {0x014c, PackageArch_X86},
    {0x8664, PackageArch_Amd64},
    {0xaa64, PackageArch_Arm64},
};

struct ArchNameRow {
    uint32_t arch;
    const char *pszName;
};
constexpr ArchNameRow g_aArchNames[] = {
    {PackageArch_X86, "x86"},
    {PackageArch_Amd64, "x86_64"},
    {PackageArch_Arm64, "arm64"},
};

// FARPROC is declared without parameters; going through the generic
// function pointer type states that the real signature is known.
template <typename Fn>
Fn Kernel32Function(const char *pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(g_pfnMorvKernel32Lookup(pszName)));
}

} // namespace

FARPROC MorvKernel32LookupDefault(const char *pszName)
{
    HMODULE const hMod = GetModuleHandleW(L"kernel32.dll");
    return hMod ? GetProcAddress(hMod, pszName) : nullptr;
}

int32_t LocateRcdataResource(const char *pszName, const void **ppvData, uint32_t *pcbData)
{
    if (RT_VALID_PTR(ppvData))
        *ppvData = nullptr;
    if (pcbData)
        *pcbData = 0;
    if (!RT_VALID_PTR(pszName) || !RT_VALID_PTR(ppvData))
        return RTE_INVALID_PARAMETER;

    RTUTF16 *pwszName = nullptr;
    RT_TRY(RTStrToUtf16(pszName, &pwszName, g_szTag));
    // Neutral language: the system's fallback finds the resources whatever
    // language the packer stored them under (it uses 1033).
    HRSRC const hRsrc = FindResourceExW(g_hModPackageResources, RT_RCDATA, reinterpret_cast<const wchar_t *>(pwszName),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    RTStrDispose(pwszName);
    if (!hRsrc)
        return RTE_GENERAL_FAILURE;

    DWORD const cb = SizeofResource(g_hModPackageResources, hRsrc);
    if (cb == 0)
        return RTE_NO_DATA;
    if (pcbData)
        *pcbData = cb;

    HGLOBAL const hGlobal = LoadResource(g_hModPackageResources, hRsrc);
    if (!hGlobal)
        return RTE_GENERAL_FAILURE;
    *ppvData = LockResource(hGlobal);
    return *ppvData ? RT_OK : RTE_GENERAL_FAILURE;
}

int32_t LoadPackageManifest(const PackageManifest **ppManifest)
{
    *ppManifest = nullptr;
    const void *pv = nullptr;
    uint32_t cb = 0;
    RT_TRY(LocateRcdataResource("MANIFEST", &pv, &cb));
    RT_TRY(CheckPackageManifest(pv, cb));
    *ppManifest = static_cast<const PackageManifest *>(pv);
    return RT_OK;
}

const PackageHeader *LoadPackageHeader(uint32_t idx)
{
    char szName[32];
    RTStrFmtToBuf(szName, sizeof(szName), "HDR_%02u", idx);
    const void *pv = nullptr;
    uint32_t cb = 0;
    int32_t rc = LocateRcdataResource(szName, &pv, &cb);
    if (RT_SUCCESS_NP(rc))
        rc = CheckPackageHeader(pv, cb);
    if (RT_FAILURE_NP(rc)) {
        NotifyError("Internal error: Could not find package header #%u: %Rrc", idx, rc);
        return nullptr;
    }
    return static_cast<const PackageHeader *>(pv);
}

uint32_t QueryHostArch()
{
    auto const pfnIsWow64Process2 = Kernel32Function<PFNISWOW64PROCESS2>("IsWow64Process2");
    if (pfnIsWow64Process2) {
        USHORT uProcessMachine = 0;
        USHORT uNativeMachine = 0;
        if (!pfnIsWow64Process2(GetCurrentProcess(), &uProcessMachine, &uNativeMachine)) {
            ErrorToStderr("IsWow64Process2 failed: %u", GetLastError());
            return PackageArch_X86;
        }
        for (MachineRow const &Row : g_aMachines)
            if (Row.machine == uNativeMachine)
                return Row.arch;
        ErrorToStderr("IsWow64Process2 return unknown host machine value: %#x (wow machine %#x)",
                      static_cast<unsigned>(uNativeMachine), static_cast<unsigned>(uProcessMachine));
        return PackageArch_X86;
    }

    auto const pfnIsWow64Process = Kernel32Function<PFNISWOW64PROCESS>("IsWow64Process");
    if (pfnIsWow64Process) {
        BOOL fWow64 = TRUE;
        if (!pfnIsWow64Process(GetCurrentProcess(), &fWow64)) {
            ErrorToStderr("IsWow64Process failed: %u\n", GetLastError());
            return PackageArch_X86;
        }
        // The older function cannot tell ARM64 from x86-64; a WOW64 process
        // is taken to run on x86-64.
        return fWow64 ? PackageArch_Amd64 : PackageArch_X86;
    }

    ErrorToStderr("Neither IsWow64Process nor IsWow64Process2 was found!");
    return PackageArch_X86;
}

const char *PackageArchName(uint32_t uArch)
{
    for (ArchNameRow const &Row : g_aArchNames)
        if (Row.arch == uArch)
            return Row.pszName;
    return "<Unknown>";
}
