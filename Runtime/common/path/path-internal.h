// Internals shared by the DOS-style path operations.
#pragma once

#include <quab/path.h>

inline bool rtPathIsSep(char ch)
{
    return ch == '\\' || ch == '/';
}

inline bool rtPathIsLetter(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

inline char rtPathUpper(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// A loop rather than strlen: the stub has no C library to call.
inline size_t rtPathLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch])
        cch++;
    return cch;
}

enum RTPATHROOTKIND {
    kRtPathRoot_Relative = 0,
    kRtPathRoot_DriveRelative,   // C:dir
    kRtPathRoot_RootRelative,    // \dir on the current drive
    kRtPathRoot_Drive,           // C:\dir
    kRtPathRoot_Unc,             // \\srv\share\dir
    kRtPathRoot_Device,          // \\.\dev, \\?\C:\dir
};

struct RTPATHROOT {
    RTPATHROOTKIND enmKind;
    size_t cchRoot;     // characters of the input the root takes
};

RTPATHROOT rtPathParseRoot(const char *pszPath);
// Length of the root part, which trimming trailing separators never shortens.
size_t rtPathRootSpecLen(const char *pszPath);
