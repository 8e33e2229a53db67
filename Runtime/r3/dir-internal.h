// The directory handle record.
#pragma once

#include <windows.h>

#include <quab/dir.h>

struct RTDIRINTERNAL {
    uint32_t u32Magic;          // RTDIR_MAGIC while open
    HANDLE hDir;                // all ones when none
    bool fIsObjDir;             // an object-manager directory, not a file-system one
    uint32_t fFlags;            // the open's flags (none in this program)
    size_t cchPath;
    char *pszPath;              // absolute, ends in a separator; stored behind the record
};
