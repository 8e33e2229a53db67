// The status list as the tests know it: value, name and the codes that convert to it.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct StatusRow {
    int32_t rc;
    const char *pszName;
    const char *pszWinCodes;   // comma-separated numbers and lo-hi ranges
    const char *pszNtCodes;
};

const StatusRow *ErrTestRows(size_t *pcRows);
