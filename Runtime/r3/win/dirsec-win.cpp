// The protected DACL of private directories, built with the native calls
// (the runtime does not load the security library for it).
#include <windows.h>

#include <quab/err.h>

#include "../nt/nt-internal.h"
#include "dirsec-win.h"

namespace {

// The two well-known principals besides the caller that keep full control
// of a private directory, as SID records: S-1-5-18 and S-1-5-32-544.
template <unsigned cSub>
struct WellKnownSid {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[cSub];
};
WellKnownSid<1> g_SidLocalSystem = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID}};
WellKnownSid<2> g_SidAdministrators = {SID_REVISION, 2, {SECURITY_NT_AUTHORITY},
                                       {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

} // namespace

int32_t rtDirInitPrivateSecurity(RTDIRPRIVATESECURITY *pSec)
{
    HANDLE hToken = nullptr;
    RTNTSTATUS rcNt = NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    ULONG cbRet = 0;
    rcNt = NtQueryInformationToken(hToken, TokenUser, pSec->abUser, sizeof(pSec->abUser), &cbRet);
    NtClose(hToken);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    PSID const pUser = reinterpret_cast<TOKEN_USER *>(pSec->abUser)->User.Sid;

    ACL *const pAcl = reinterpret_cast<ACL *>(pSec->abAcl);
    ULONG const fInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    rcNt = RtlCreateAcl(pAcl, sizeof(pSec->abAcl), ACL_REVISION);
    if (RTNT_SUCCESS(rcNt))
        rcNt = RtlAddAccessAllowedAceEx(pAcl, ACL_REVISION, fInherit, FILE_ALL_ACCESS, pUser);
    // A run as SYSTEM or as the built-in administrator account needs no
    // second entry for the same principal.
    if (RTNT_SUCCESS(rcNt) && !RtlEqualSid(pUser, &g_SidLocalSystem))
        rcNt = RtlAddAccessAllowedAceEx(pAcl, ACL_REVISION, fInherit, FILE_ALL_ACCESS, &g_SidLocalSystem);
    if (RTNT_SUCCESS(rcNt) && !RtlEqualSid(pUser, &g_SidAdministrators))
        rcNt = RtlAddAccessAllowedAceEx(pAcl, ACL_REVISION, fInherit, FILE_ALL_ACCESS, &g_SidAdministrators);
    if (RTNT_SUCCESS(rcNt))
        rcNt = RtlCreateSecurityDescriptor(&pSec->Sd, SECURITY_DESCRIPTOR_REVISION);
    if (RTNT_SUCCESS(rcNt))
        rcNt = RtlSetDaclSecurityDescriptor(&pSec->Sd, TRUE, pAcl, FALSE);
    if (!RTNT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    // Protected: no entry of the parent is inherited, now or when someone
    // later re-applies the parent's inheritance.
    pSec->Sd.Control |= SE_DACL_PROTECTED;
    return RT_OK;
}
