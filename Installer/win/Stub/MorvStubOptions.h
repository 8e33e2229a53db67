// Helpers of the command-line code that its tests reach as well.
#pragma once

// The first byte of psz that also occurs in pszSet, compared byte by byte;
// nullptr when there is none (always for an empty psz).
const char *StrFindAnyOf(const char *psz, const char *pszSet);
