// Runtime initialisation and termination: RTR3Init, the exit callbacks, the
// executable path record and the process-wide system module handles.
#pragma once

#include <quab/types.h>

// Initialisation flags; later calls merge theirs into the record of the first.
inline constexpr uint32_t RTR3INIT_F_RECORD_ONLY = 2;            // recorded, changes nothing
inline constexpr uint32_t RTR3INIT_F_DLL_SEARCH_SYSTEM32 = 4;    // default DLL directories: system32 only
inline constexpr uint32_t RTR3INIT_F_SKIP_NATIVE_SETUP = 8;      // no hardening until a call without it

int32_t RTR3Init(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath);
int32_t RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags);
// True once a first initialisation succeeded (or while it runs).
bool RTR3InitIsInitialized();
// Set while the first initialisation runs; lock users pick their class by it.
bool RTR3InitIsInProgress();

// ---------------------------------------------------------------------------
// The executable path record: UTF-8 path of the running program, the offset
// of its file-name part and the length of its directory part (trailing
// separators dropped, a root keeps its own).

inline constexpr size_t RTPATH_EXEC_MAX = 4100;
extern char g_szExecPath[RTPATH_EXEC_MAX];
extern size_t g_cchExecPath;
extern size_t g_offExecName;
extern size_t g_cchExecDir;

// Recomputes g_cchExecPath, g_offExecName and g_cchExecDir from g_szExecPath.
void rtR3InitParseExecPath();
// The executable's path from the system, UTF-8, into pszPath (cbPath bytes).
int32_t rtProcInitExePath(char *pszPath, size_t cbPath);

// ---------------------------------------------------------------------------
// Exit callbacks: run latest first by rtExeExit, before the static terminators.

inline constexpr uint32_t RTR3ATEXIT_MAX = 8192;
using PFNRTR3ATEXIT = void (*)();
// 0, or -1 when the table is full or its block cannot be allocated.
int32_t rtR3AtExitRegister(PFNRTR3ATEXIT pfnCallback);
void rtR3AtExitRun();

// ---------------------------------------------------------------------------
// Windows: system modules and the version the process runs on.

struct HINSTANCE__;                          // the system's module handle type
extern HINSTANCE__ *g_hModKernel32;
extern HINSTANCE__ *g_hModNtDll;

// Same layout as the system's extended OS version record (284 bytes).
struct RTWINOSVERSIONINFOEX {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    RTUTF16 szCSDVersion[128];
    uint16_t wServicePackMajor;
    uint16_t wServicePackMinor;
    uint16_t wSuiteMask;
    uint8_t wProductType;
    uint8_t wReserved;
};
static_assert(sizeof(RTWINOSVERSIONINFOEX) == 284);

inline constexpr uint32_t RTWINOSVERSIONINFOEX_SIZE = 284;
inline constexpr uint32_t RTWINOSVERSIONINFO_SIZE = 276;   // the form without service-pack numbers

// OS kinds as rtR3WinClassifyOs derives them; gaps are kinds nothing yields.
enum RTWINOSTYPE : uint32_t {
    kRTWinOSType_UNKNOWN = 0,
    kRTWinOSType_95 = 1,
    kRTWinOSType_95SP1 = 2,
    kRTWinOSType_95OSR2 = 3,
    kRTWinOSType_98 = 4,
    kRTWinOSType_98SP1 = 5,
    kRTWinOSType_98SE = 6,
    kRTWinOSType_ME = 7,
    kRTWinOSType_NT310 = 100,
    kRTWinOSType_NT350 = 101,
    kRTWinOSType_NT351 = 102,
    kRTWinOSType_NT4 = 103,
    kRTWinOSType_2K = 104,
    kRTWinOSType_XP = 105,
    kRTWinOSType_2003 = 107,
    kRTWinOSType_VISTA = 108,
    kRTWinOSType_2008 = 109,
    kRTWinOSType_7 = 110,
    kRTWinOSType_2008R2 = 111,
    kRTWinOSType_8 = 112,
    kRTWinOSType_2012 = 113,
    kRTWinOSType_81 = 114,
    kRTWinOSType_2012R2 = 115,
    kRTWinOSType_10 = 116,
    kRTWinOSType_2016 = 117,
    kRTWinOSType_2019 = 118,
    kRTWinOSType_2022 = 119,
    kRTWinOSType_11 = 120,
    kRTWinOSType_2025 = 121,
    kRTWinOSType_NT_UNKNOWN = 199,
};

extern RTWINOSVERSIONINFOEX g_WinOsInfo;
extern RTWINOSTYPE g_enmWinOsKind;

// Portable: the OS kind of a version record (platform 1 = 9x, 2 = NT).
RTWINOSTYPE rtR3WinClassifyOs(const RTWINOSVERSIONINFOEX *pInfo);

