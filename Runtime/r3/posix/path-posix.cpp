// Host stand-ins for the path layer: the current directory from getcwd, and
// the drive operation built on it, so the portable path code links and runs
// under the sanitizers (tests replace the current directory anyway).
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <quab/path.h>

int32_t rtPathNativeQueryCurrentDir(char chDrive, char *pszPath, size_t cbPath)
{
    if (!getcwd(pszPath, cbPath))
        return errno == ERANGE ? RTE_BUFFER_OVERFLOW : RTE_PATH_NOT_FOUND;
    return RT_OK;
}

#include "generic/RTPathGetCurrentDrive-generic.cpp"
