// The import pointers of the window, drawing, stream and COM functions. A
// call of BitBlt compiles to an indirect call through __imp__BitBlt@36, which
// the import library would fill at load time; defined here instead, each
// starts at its lazy thunk (quab/lazy.h). The program then links none of
// these libraries' import libraries, so the system does not load USER32,
// GDI32, SHLWAPI and ole32 (and everything they import) before the program
// runs: a silent run that shows no window never loads them, and when one is
// needed it comes from the system directory like every lazy library.
//
// Only functions with a caller are here. A missing entry shows as an
// undefined __imp__ symbol when the program links; a wrong argument size
// fails the static check.
#include <shlwapi.h>

#include <quab/lazy.h>

#define RT_LAZY_IMPORT_PTR(a_Lib, a_Func, a_cbArgs)                                                         \
    static_assert(RtLazyArgBytes<decltype(::a_Func)>::value == a_cbArgs, #a_Func " pops other than " #a_cbArgs); \
    extern "C" decltype(::a_Func) *g_rtLazyImp_##a_Func __asm__("__imp__" #a_Func "@" #a_cbArgs);          \
    RT_LAZY_SLOT(decltype(::a_Func), g_rtLazyImp_##a_Func, "__imp__" #a_Func "@" #a_cbArgs, a_Lib, #a_Func)

// The splash window (Installer/win/Stub/MorvStubSplash.cpp).
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, BeginPaint, 8);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, CreateWindowExA, 48);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, DefWindowProcA, 16);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, DestroyWindow, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, DispatchMessageA, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, EndPaint, 8);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, GetMessageA, 16);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, GetSystemMetrics, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, GetWindowLongA, 8);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, InvalidateRect, 12);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, KillTimer, 8);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, PostMessageA, 16);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, PostQuitMessage, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, RegisterClassA, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, SetTimer, 16);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, SetWindowLongA, 12);
RT_LAZY_IMPORT_PTR(g_LazyLibUser32, TranslateMessage, 4);

RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, BitBlt, 36);
RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, CreateCompatibleBitmap, 12);
RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, CreateCompatibleDC, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, DeleteDC, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, DeleteObject, 4);
RT_LAZY_IMPORT_PTR(g_LazyLibGdi32, SelectObject, 8);

RT_LAZY_IMPORT_PTR(g_LazyLibShlwapi, SHCreateMemStream, 8);

RT_LAZY_IMPORT_PTR(g_LazyLibOle32, CoUninitialize, 0);
