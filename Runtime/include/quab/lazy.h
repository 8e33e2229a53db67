// Lazily imported system functions: the library is loaded from the system
// directory on the first call of any of its functions, and each function is
// looked up on its own first call. Call g_pfnXxx exactly as the function.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <commctrl.h>
#include <msi.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <gdiplus.h>

#include <quab/ldr.h>

// One per library: its name and its module record, absent until first use.
struct RTLAZYLIB {
    const char *pszName;
    RTLDRMOD hMod;
};

// Loads the library on first use; a failure stops the process after the
// message.
RTLDRMOD rtLazyLibModule(RTLAZYLIB *pLib);
// Resolves one function into its slot; a failure stops the process.
void rtLazySymbolResolve(RTLAZYLIB *pLib, const char *pszSymbol, void **ppvSlot);

// The slot starts at a resolver of the function's own type, so callers never
// test for "not yet resolved": the first call fills the slot and continues
// into the real function, later calls are one indirect call.
template <typename Fn, RTLAZYLIB *pLib, const char *pszSymbol>
struct RtLazyImport;

template <typename R, typename... Args, RTLAZYLIB *pLib, const char *pszSymbol>
struct RtLazyImport<R __stdcall(Args...), pLib, pszSymbol> {
    using Fn = R __stdcall(Args...);
    static R __stdcall Resolve(Args... args)
    {
        rtLazySymbolResolve(pLib, pszSymbol, reinterpret_cast<void **>(&s_pfn));
        return s_pfn(args...);
    }
    static inline constinit Fn *s_pfn = &Resolve;
};

extern constinit RTLAZYLIB g_LazyLibMsi;
extern constinit RTLAZYLIB g_LazyLibCrypt32;
extern constinit RTLAZYLIB g_LazyLibUser32;
extern constinit RTLAZYLIB g_LazyLibShell32;
extern constinit RTLAZYLIB g_LazyLibComCtl32;
extern constinit RTLAZYLIB g_LazyLibGdiPlus;

#define RT_LAZY_IMPORT(a_Lib, a_Func, a_Type)                                        \
    inline constexpr char g_szLazySym_##a_Func[] = #a_Func;                          \
    inline constexpr auto &g_pfn##a_Func = RtLazyImport<a_Type, &a_Lib, g_szLazySym_##a_Func>::s_pfn

RT_LAZY_IMPORT(g_LazyLibMsi, MsiInstallProductW, decltype(::MsiInstallProductW));
RT_LAZY_IMPORT(g_LazyLibMsi, MsiEnableLogW, decltype(::MsiEnableLogW));
RT_LAZY_IMPORT(g_LazyLibMsi, MsiSetInternalUI, decltype(::MsiSetInternalUI));

RT_LAZY_IMPORT(g_LazyLibCrypt32, CertCreateCertificateContext, decltype(::CertCreateCertificateContext));
RT_LAZY_IMPORT(g_LazyLibCrypt32, CertOpenStore, decltype(::CertOpenStore));
RT_LAZY_IMPORT(g_LazyLibCrypt32, CertFreeCertificateContext, decltype(::CertFreeCertificateContext));
RT_LAZY_IMPORT(g_LazyLibCrypt32, CertAddCertificateContextToStore, decltype(::CertAddCertificateContextToStore));
RT_LAZY_IMPORT(g_LazyLibCrypt32, CertCloseStore, decltype(::CertCloseStore));

RT_LAZY_IMPORT(g_LazyLibUser32, MessageBoxW, decltype(::MessageBoxW));
RT_LAZY_IMPORT(g_LazyLibUser32, MessageBoxA, decltype(::MessageBoxA));
RT_LAZY_IMPORT(g_LazyLibUser32, GetDesktopWindow, decltype(::GetDesktopWindow));

RT_LAZY_IMPORT(g_LazyLibShell32, SHFileOperationW, decltype(::SHFileOperationW));

RT_LAZY_IMPORT(g_LazyLibComCtl32, InitCommonControlsEx, decltype(::InitCommonControlsEx));

#define RT_LAZY_GDIP(a_Func) RT_LAZY_IMPORT(g_LazyLibGdiPlus, a_Func, decltype(::Gdiplus::DllExports::a_Func))
RT_LAZY_GDIP(GdipAlloc);
RT_LAZY_GDIP(GdipFree);
RT_LAZY_IMPORT(g_LazyLibGdiPlus, GdiplusStartup, decltype(::Gdiplus::GdiplusStartup));
RT_LAZY_IMPORT(g_LazyLibGdiPlus, GdiplusShutdown, decltype(::Gdiplus::GdiplusShutdown));
RT_LAZY_GDIP(GdipLoadImageFromStream);
RT_LAZY_GDIP(GdipCloneImage);
RT_LAZY_GDIP(GdipDisposeImage);
RT_LAZY_GDIP(GdipCreateFromHDC);
RT_LAZY_GDIP(GdipDeleteGraphics);
RT_LAZY_GDIP(GdipDrawImageRectI);
RT_LAZY_GDIP(GdipGetImageWidth);
RT_LAZY_GDIP(GdipGetImageHeight);
RT_LAZY_GDIP(GdipDeleteBrush);
RT_LAZY_GDIP(GdipCreateSolidFill);
RT_LAZY_GDIP(GdipFillEllipseI);
RT_LAZY_GDIP(GdipGraphicsClear);
#undef RT_LAZY_GDIP
