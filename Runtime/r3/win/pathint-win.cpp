// The Win32 form of a path: short paths as they are, long ones in the
// \\?\ form that lifts the system's length limit.
#include <windows.h>

#include <quab/err.h>
#include <quab/path.h>
#include <quab/string.h>

namespace {

inline bool isSepW(RTUTF16 wc)
{
    return wc == u'\\' || wc == u'/';
}

inline bool isLetterW(RTUTF16 wc)
{
    return (wc >= u'A' && wc <= u'Z') || (wc >= u'a' && wc <= u'z');
}

// Whether the converted path can go to the system as it is; a drive-relative
// path may be replaced by its full form on the way.
bool win32KeepShort(RTUTF16 **ppwsz, size_t cwc)
{
    RTUTF16 *pwsz = *ppwsz;
    if (cwc > 243)
        return false;
    if (isLetterW(pwsz[0]) && pwsz[1] == u':') {
        if (isSepW(pwsz[2]))
            return true;
        RTUTF16 wszFull[261];
        DWORD const cwcFull = GetFullPathNameW(reinterpret_cast<LPCWSTR>(pwsz), RT_ELEMENTS(wszFull),
                                               reinterpret_cast<LPWSTR>(wszFull), nullptr);
        if (!cwcFull || cwcFull > 243)
            return false;
        RTUTF16 *pwszNew = RTUtf16Clone(wszFull);
        if (!pwszNew)
            return false;
        RTStrDispose(pwsz);
        *ppwsz = pwszNew;
        return true;
    }
    if (isSepW(pwsz[0]) && isSepW(pwsz[1])) {
        if (pwsz[2] == u'?' && pwsz[3] && !isSepW(pwsz[3]))
            return true;
        if (isSepW(pwsz[2]) || !pwsz[2])
            return cwc <= 241;
        return cwc <= 240;
    }
    if (isSepW(pwsz[0]))
        return cwc <= 241;
    DWORD const cwcCwd = GetCurrentDirectoryW(0, nullptr);
    return cwcCwd && cwc + cwcCwd <= 242;
}

} // namespace

int32_t PathToWin32Utf16(const char *pszPath, RTUTF16 **ppwszPath)
{
    if (!RT_VALID_PTR(ppwszPath))
        return RTE_INVALID_POINTER;
    *ppwszPath = nullptr;
    if (!RT_VALID_PTR(pszPath))
        return RTE_INVALID_POINTER;
    RTUTF16 *pwsz;
    RT_TRY(RTStrToUtf16(pszPath, &pwsz));
    if (win32KeepShort(&pwsz, RTUtf16Units(pwsz))) {
        *ppwszPath = pwsz;
        return RT_OK;
    }
    RTStrDispose(pwsz);

    NTUTF16STRING NtName;
    RT_TRY(PathToNtUtf16(pszPath, &NtName));
    if (NtName.Length >= 8 && NtName.Buffer[0] == u'\\' && NtName.Buffer[1] == u'?' && NtName.Buffer[2] == u'?'
        && NtName.Buffer[3] == u'\\')
        NtName.Buffer[1] = u'\\';
    *ppwszPath = NtName.Buffer;
    return RT_OK;
}
