// Lazily imported system functions: the library is loaded from the system
// directory on the first call of any of its functions, and each function is
// looked up on its own first call. Call g_pfnXxx exactly as the function.
// The window, drawing, stream and COM functions (USER32, GDI32, SHLWAPI,
// ole32) are called by their plain names instead: the import pointers those
// calls go through are defined in r3/win/lazy-imports-win.cpp, starting at
// resolvers, so the program's import table names none of those libraries
// and a run that never calls them never loads them.
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
// message. Threads racing to the first use may each load it; one record is
// kept and the others are given back.
RTLDRMOD rtLazyLibModule(RTLAZYLIB *pLib);
// Resolves one function into its slot; a failure stops the process.
void rtLazySymbolResolve(RTLAZYLIB *pLib, const char *pszSymbol, void **ppvSlot);

// What a slot starts at: a resolver of the function's own type, so callers
// never test for "not yet resolved". The first call fills the slot and
// continues into the real function with the caller's arguments, later calls
// are one indirect call. Racing first calls store the same address.
template <typename Fn, RTLAZYLIB *pLib, const char *pszSymbol, Fn **ppSlot>
struct RtLazyResolver;

template <typename R, typename... Args, RTLAZYLIB *pLib, const char *pszSymbol, R(__stdcall **ppSlot)(Args...)>
struct RtLazyResolver<R __stdcall(Args...), pLib, pszSymbol, ppSlot> {
    static R __stdcall Resolve(Args... args)
    {
        rtLazySymbolResolve(pLib, pszSymbol, reinterpret_cast<void **>(ppSlot));
        return (*__atomic_load_n(ppSlot, __ATOMIC_ACQUIRE))(args...);
    }
};

// The bytes of arguments a __stdcall function pops, the N of its decorated
// name _Name@N.
template <typename Fn>
struct RtLazyArgBytes;
template <typename R, typename... Args>
struct RtLazyArgBytes<R __stdcall(Args...)> {
    static constexpr unsigned value = (0u + ... + ((sizeof(Args) + 3u) & ~3u));
};

// A slot of our own, called as g_pfnXxx.
template <typename Fn, RTLAZYLIB *pLib, const char *pszSymbol>
struct RtLazyImport {
    static Fn *s_pfn;
};
// Defined outside the class: the slot's own address is a template argument
// of its initialiser, which needs the name declared first.
template <typename Fn, RTLAZYLIB *pLib, const char *pszSymbol>
constinit Fn *RtLazyImport<Fn, pLib, pszSymbol>::s_pfn
    = &RtLazyResolver<Fn, pLib, pszSymbol, &RtLazyImport<Fn, pLib, pszSymbol>::s_pfn>::Resolve;

extern constinit RTLAZYLIB g_LazyLibMsi;
extern constinit RTLAZYLIB g_LazyLibCrypt32;
extern constinit RTLAZYLIB g_LazyLibUser32;
extern constinit RTLAZYLIB g_LazyLibShell32;
extern constinit RTLAZYLIB g_LazyLibComCtl32;
extern constinit RTLAZYLIB g_LazyLibGdiPlus;
// The libraries whose functions the callers call by their plain names.
extern constinit RTLAZYLIB g_LazyLibGdi32;
extern constinit RTLAZYLIB g_LazyLibShlwapi;
extern constinit RTLAZYLIB g_LazyLibOle32;

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
