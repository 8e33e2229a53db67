// A file name's extension, and turning slashes into backslashes.
#include "path-internal.h"

char *RTPathExtension(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return nullptr;
    const char *pszDot = nullptr;
    const char *psz = pszPath;
    for (; *psz; psz++) {
        if (*psz == '.')
            pszDot = psz;
        else if (rtPathIsSep(*psz) || *psz == ':')
            pszDot = nullptr;
    }
    // A leading dot names a hidden file, a trailing one nothing.
    if (!pszDot || pszDot == pszPath || pszDot[1] == '\0')
        return nullptr;
    return const_cast<char *>(pszDot);
}

char *RTPathToBackslashes(char *pszPath)
{
    for (char *psz = pszPath; *psz; psz++)
        if (*psz == '/')
            *psz = '\\';
    return pszPath;
}
