// Optional extended-error record that loader functions fill with a status
// and a message, as the %RTeic and %RTeim directives read it.
#pragma once

#include <quab/types.h>

struct RTERRINFO {
    uint32_t fFlags;      // upper 16 bits RTERRINFO_FLAGS_MAGIC; RTERRINFO_FLAGS_SET once filled
    int32_t rc;
    uint32_t cbMsg;
    char *pszMsg;
};

inline constexpr uint32_t RTERRINFO_FLAGS_MAGIC = 0xBABE0000u;
inline constexpr uint32_t RTERRINFO_FLAGS_MAGIC_MASK = 0xFFFF0000u;
inline constexpr uint32_t RTERRINFO_FLAGS_SET = 4u;

// Binds a caller's buffer to a record (cleared, not yet filled).
RTERRINFO *RTErrInfoInit(RTERRINFO *pErrInfo, char *pszMsg, uint32_t cbMsg);
void RTErrInfoClear(RTERRINFO *pErrInfo);
inline bool RTErrInfoIsSet(const RTERRINFO *pErrInfo)
{
    return pErrInfo && (pErrInfo->fFlags & (RTERRINFO_FLAGS_MAGIC_MASK | RTERRINFO_FLAGS_SET))
                           == (RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET);
}
// Both store the message (truncated to the buffer) and the status, and
// return rc; with no record they only return rc.
int32_t RTErrInfoSetText(RTERRINFO *pErrInfo, int32_t rc, const char *pszMsg);
int32_t RTErrInfoSetFormat(RTERRINFO *pErrInfo, int32_t rc, const char *pszFormat, ...);
