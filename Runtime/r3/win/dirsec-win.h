// The security of a private directory: one whose mode grants nothing to
// group and others.
#pragma once

#include <windows.h>

#include <quab/types.h>

// A directory whose mode grants nothing to group and others must not take
// the security of its parent: in a shared temporary directory (that of a
// SYSTEM run, C:\Windows\Temp) the inherited entries let other users add
// files beside the packages before the engine reads them. It gets a
// protected DACL instead, inherited by everything created inside it.
struct RTDIRPRIVATESECURITY {
    SECURITY_DESCRIPTOR Sd;
    alignas(4) BYTE abAcl[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    alignas(4) BYTE abUser[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

// Fills the descriptor for the calling process's user; the record must stay
// in place while the descriptor is used (it points into itself).
int32_t rtDirInitPrivateSecurity(RTDIRPRIVATESECURITY *pSec);
