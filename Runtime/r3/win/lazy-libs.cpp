// The lazily imported libraries and the g_pfnXxx slots. Only functions with
// a caller have a slot (quab/lazy.h); a library whose slots are never called
// is never loaded.
#include <quab/lazy.h>

constinit RTLAZYLIB g_LazyLibMsi = {"MSI.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibCrypt32 = {"CRYPT32.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibUser32 = {"USER32.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibShell32 = {"SHELL32.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibComCtl32 = {"COMCTL32.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibGdiPlus = {"GDIPLUS.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibGdi32 = {"GDI32.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibShlwapi = {"SHLWAPI.DLL", nullptr};
constinit RTLAZYLIB g_LazyLibOle32 = {"OLE32.DLL", nullptr};

#define RT_LAZY_DEFINE_ONE(a_Lib, a_Func, a_Type) RT_LAZY_IMPORT_DEFINE(a_Lib, a_Func, a_Type);
RT_LAZY_IMPORTS(RT_LAZY_DEFINE_ONE)
#undef RT_LAZY_DEFINE_ONE
