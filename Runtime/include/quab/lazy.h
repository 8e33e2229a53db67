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

// What a slot starts at: a thunk of its own, so callers never test for "not
// yet resolved". A thunk is a call of the shared rtLazyThunkCommon followed
// by its record (slot, library, name); the common part resolves the slot and
// jumps into the real function with the caller's arguments and return
// address as they were, so one piece of code serves every signature. Later
// calls are one indirect call. Racing first calls store the same address.
struct RTLAZYTHUNKDATA {
    void **ppvSlot;
    RTLAZYLIB *pLib;
    const char *pszSymbol;
};
// Resolves the thunk's slot and returns what it now holds.
extern "C" void *rtLazyThunkResolve(const RTLAZYTHUNKDATA *pData);

// The bytes of arguments a __stdcall function pops, the N of its decorated
// name _Name@N.
template <typename Fn>
struct RtLazyArgBytes;
template <typename R, typename... Args>
struct RtLazyArgBytes<R __stdcall(Args...)> {
    static constexpr unsigned value = (0u + ... + ((sizeof(Args) + 3u) & ~3u));
};

// Defines the slot a_Slot (declared before, with its assembler name
// a_szSlotSym) of type a_Type *, starting at its thunk, which resolves
// a_szSymbol in the library a_Lib (a global RTLAZYLIB outside any
// namespace). One definition per slot, in one source file.
#define RT_LAZY_SLOT(a_Type, a_Slot, a_szSlotSym, a_Lib, a_szSymbol)                                    \
    __asm__(".section .text$rtlazy,\"xr\"\n"                                                            \
            "_rtLazyThunk_" #a_Slot ":\n"                                                                 \
            "\tcall _rtLazyThunkCommon\n"                                                                \
            "\t.long " a_szSlotSym ", _" #a_Lib ", 1f\n"                                                  \
            ".section .rdata$rtlazy,\"dr\"\n"                                                            \
            "1:\t.asciz \"" a_szSymbol "\"\n"                                                            \
            "\t.text\n");                                                                                \
    extern "C" a_Type rtLazyThunk_##a_Slot __asm__("_rtLazyThunk_" #a_Slot);                             \
    constinit a_Type *a_Slot = &rtLazyThunk_##a_Slot

// A slot of our own, called as g_pfnXxx: declared here, defined in
// r3/win/lazy-libs.cpp.
#define RT_LAZY_IMPORT(a_Lib, a_Func, a_Type) extern "C" a_Type *g_pfn##a_Func
#define RT_LAZY_IMPORT_DEFINE(a_Lib, a_Func, a_Type) \
    RT_LAZY_SLOT(a_Type, g_pfn##a_Func, "_g_pfn" #a_Func, a_Lib, #a_Func)

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

// The lazily imported functions with a caller: X(library, function, type).
#define RT_LAZY_IMPORTS(X) \
    X(g_LazyLibMsi, MsiInstallProductW, decltype(::MsiInstallProductW)) \
    X(g_LazyLibMsi, MsiEnableLogW, decltype(::MsiEnableLogW)) \
    X(g_LazyLibMsi, MsiSetInternalUI, decltype(::MsiSetInternalUI)) \
    X(g_LazyLibCrypt32, CertCreateCertificateContext, decltype(::CertCreateCertificateContext)) \
    X(g_LazyLibCrypt32, CertOpenStore, decltype(::CertOpenStore)) \
    X(g_LazyLibCrypt32, CertFreeCertificateContext, decltype(::CertFreeCertificateContext)) \
    X(g_LazyLibCrypt32, CertAddCertificateContextToStore, decltype(::CertAddCertificateContextToStore)) \
    X(g_LazyLibCrypt32, CertCloseStore, decltype(::CertCloseStore)) \
    X(g_LazyLibUser32, MessageBoxW, decltype(::MessageBoxW)) \
    X(g_LazyLibUser32, MessageBoxA, decltype(::MessageBoxA)) \
    X(g_LazyLibUser32, GetDesktopWindow, decltype(::GetDesktopWindow)) \
    X(g_LazyLibShell32, SHFileOperationW, decltype(::SHFileOperationW)) \
    X(g_LazyLibComCtl32, InitCommonControlsEx, decltype(::InitCommonControlsEx)) \
    X(g_LazyLibGdiPlus, GdipAlloc, decltype(::Gdiplus::DllExports::GdipAlloc)) \
    X(g_LazyLibGdiPlus, GdipFree, decltype(::Gdiplus::DllExports::GdipFree)) \
    X(g_LazyLibGdiPlus, GdiplusStartup, decltype(::Gdiplus::GdiplusStartup)) \
    X(g_LazyLibGdiPlus, GdiplusShutdown, decltype(::Gdiplus::GdiplusShutdown)) \
    X(g_LazyLibGdiPlus, GdipLoadImageFromStream, decltype(::Gdiplus::DllExports::GdipLoadImageFromStream)) \
    X(g_LazyLibGdiPlus, GdipCloneImage, decltype(::Gdiplus::DllExports::GdipCloneImage)) \
    X(g_LazyLibGdiPlus, GdipDisposeImage, decltype(::Gdiplus::DllExports::GdipDisposeImage)) \
    X(g_LazyLibGdiPlus, GdipCreateFromHDC, decltype(::Gdiplus::DllExports::GdipCreateFromHDC)) \
    X(g_LazyLibGdiPlus, GdipDeleteGraphics, decltype(::Gdiplus::DllExports::GdipDeleteGraphics)) \
    X(g_LazyLibGdiPlus, GdipDrawImageRectI, decltype(::Gdiplus::DllExports::GdipDrawImageRectI)) \
    X(g_LazyLibGdiPlus, GdipGetImageWidth, decltype(::Gdiplus::DllExports::GdipGetImageWidth)) \
    X(g_LazyLibGdiPlus, GdipGetImageHeight, decltype(::Gdiplus::DllExports::GdipGetImageHeight)) \
    X(g_LazyLibGdiPlus, GdipDeleteBrush, decltype(::Gdiplus::DllExports::GdipDeleteBrush)) \
    X(g_LazyLibGdiPlus, GdipCreateSolidFill, decltype(::Gdiplus::DllExports::GdipCreateSolidFill)) \
    X(g_LazyLibGdiPlus, GdipFillEllipseI, decltype(::Gdiplus::DllExports::GdipFillEllipseI)) \
    X(g_LazyLibGdiPlus, GdipGraphicsClear, decltype(::Gdiplus::DllExports::GdipGraphicsClear))

#define RT_LAZY_DECLARE_ONE(a_Lib, a_Func, a_Type) RT_LAZY_IMPORT(a_Lib, a_Func, a_Type);
RT_LAZY_IMPORTS(RT_LAZY_DECLARE_ONE)
#undef RT_LAZY_DECLARE_ONE
