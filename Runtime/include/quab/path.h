// Paths and the environment: UTF-8 paths in DOS syntax ("\" or "/"),
// joining, absolute paths, the program and temporary directories, and the
// conversions to the UTF-16 forms the Win32 and NT calls take.
#pragma once

#include <quab/types.h>

// RTPathAbsEx style and flags. Style 0 is the host's, which is DOS.
inline constexpr uint32_t RTPATH_STR_F_STYLE_HOST = 0;
inline constexpr uint32_t RTPATH_STR_F_STYLE_DOS = 1;
inline constexpr uint32_t RTPATH_STR_F_STYLE_UNIX = 2;
inline constexpr uint32_t RTPATH_STR_F_STYLE_MASK = 3;
inline constexpr uint32_t RTPATHABS_F_STOP_AT_BASE = 0x10000;
inline constexpr uint32_t RTPATHABS_F_STOP_AT_CWD = 0x20000;
inline constexpr uint32_t RTPATHABS_F_ENSURE_TRAILING_SLASH = 0x40000;

// Buffers are sized in bytes, terminator included; a result that does not
// fit gives RTE_BUFFER_OVERFLOW and leaves the buffer as it was.
int32_t RTPathAddComponent(char *pszPath, size_t cbPathDst, const char *pszAppend);
int32_t RTPathJoinBuf(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend);
// Freed with RTStrDispose; nullptr on failure.
char *RTPathJoinA(const char *pszPathSrc, const char *pszAppend);

int32_t RTPathMakeAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath);
// *pcbAbsPath: the buffer size in, the needed size (terminator included)
// out on RTE_BUFFER_OVERFLOW, the length of the result on success.
int32_t RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath, size_t *pcbAbsPath);
char *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags);

int32_t RTPathGetCurrentDrive(char *pszPath, size_t cbPath);
int32_t RTPathProgramDir(char *pszPath, size_t cbPath);
int32_t RTPathTempDir(char *pszPath, size_t cbPath);
int32_t RTPathChdir(const char *pszPath);
char *RTPathToBackslashes(char *pszPath);
// Points into pszPath at the extension's dot, or nullptr.
char *RTPathExtension(const char *pszPath);

// The current directory (chDrive 0) or the current directory of one drive
// (chDrive 'A'..'Z'), as a normalised absolute UTF-8 path. The portable path
// code reaches the system only through this pointer, so tests can replace it.
using PathQueryCurrentDirFn = int32_t (*)(char chDrive, char *pszPath, size_t cbPath);
extern PathQueryCurrentDirFn g_pfnPathQueryCurrentDir;
// The system's implementation (the initial value of the pointer).
int32_t rtPathNativeQueryCurrentDir(char chDrive, char *pszPath, size_t cbPath);

// A counted UTF-16 string laid out like the NT name the native calls take.
// Length and MaximumLength are in bytes; Buffer is NUL-terminated and freed
// with RTStrDispose (RTPathFreeNt does both).
struct NTUTF16STRING {
    uint16_t Length;
    uint16_t MaximumLength;
    RTUTF16 *Buffer;
};
int32_t PathToWin32Utf16(const char *pszPath, RTUTF16 **ppwszPath);
int32_t PathToNtUtf16(const char *pszPath, NTUTF16STRING *pNtName);
void RTPathFreeNt(NTUTF16STRING *pNtName);

// One variable of the process environment, as UTF-8.
int32_t RTEnvGetValue(const char *pszVar, char *pszValue, size_t cbValue);
