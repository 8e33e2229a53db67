// The absolute-path engine (DOS style): roots, "." and "..", the current
// directory and drive, and the base path.
#include "path-internal.h"

#include <quab/mem.h>

PathQueryCurrentDirFn g_pfnPathQueryCurrentDir = rtPathNativeQueryCurrentDir;

namespace {

inline constexpr uint32_t kValidFlags = RTPATH_STR_F_STYLE_MASK | RTPATHABS_F_STOP_AT_BASE | RTPATHABS_F_STOP_AT_CWD
                                      | RTPATHABS_F_ENSURE_TRAILING_SLASH;
inline constexpr size_t kCwdMax = 4100;

// The result is assembled here: the root, then components separated by
// "\". The buffer is sized for the worst case by the caller, so nothing is
// checked while building.
struct AbsBuilder {
    char *pszBuf;
    size_t cch;
    size_t cchRoot;     // ".." never goes below this
};

void absAppendChar(AbsBuilder *pB, char ch)
{
    pB->pszBuf[pB->cch++] = ch;
}

// Writes a root in canonical form: "\" as separator, the drive letter
// upper-cased when asked.
void absPutRoot(AbsBuilder *pB, const char *pszRoot, size_t cchRoot, bool fUpperDrive)
{
    for (size_t i = 0; i < cchRoot; i++) {
        char ch = pszRoot[i];
        if (rtPathIsSep(ch))
            ch = '\\';
        else if (i == 0 && fUpperDrive && cchRoot >= 2 && pszRoot[1] == ':')
            ch = rtPathUpper(ch);
        absAppendChar(pB, ch);
    }
    // A drive or share taken without its separator ("D:", "\\srv\share").
    if (pB->cch == 0 || pB->pszBuf[pB->cch - 1] != '\\')
        absAppendChar(pB, '\\');
    pB->cchRoot = pB->cch;
}

// Appends the components of psz (from its first character), resolving "."
// and ".."; returns whether the text ended in a separator.
bool absPutComponents(AbsBuilder *pB, const char *psz)
{
    bool fTrailingSep = false;
    while (*psz) {
        if (rtPathIsSep(*psz)) {
            fTrailingSep = true;
            psz++;
            continue;
        }
        fTrailingSep = false;
        size_t cchComp = 0;
        while (psz[cchComp] && !rtPathIsSep(psz[cchComp]))
            cchComp++;
        if (cchComp == 1 && psz[0] == '.') {
            // dropped
        } else if (cchComp == 2 && psz[0] == '.' && psz[1] == '.') {
            if (pB->cch > pB->cchRoot) {
                size_t cch = pB->cch - 1;   // the last component ends there
                while (cch > pB->cchRoot && pB->pszBuf[cch - 1] != '\\')
                    cch--;
                if (cch > pB->cchRoot)
                    cch--;   // the separator in front of the dropped component
                pB->cch = cch;
            }
        } else {
            if (pB->cch > pB->cchRoot)
                absAppendChar(pB, '\\');
            for (size_t i = 0; i < cchComp; i++)
                absAppendChar(pB, psz[i]);
        }
        psz += cchComp;
    }
    return fTrailingSep;
}

bool absHasDotDot(const char *psz)
{
    while (*psz) {
        if (psz[0] == '.' && psz[1] == '.' && (!psz[2] || rtPathIsSep(psz[2])))
            return true;
        while (*psz && !rtPathIsSep(*psz))
            psz++;
        while (rtPathIsSep(*psz))
            psz++;
    }
    return false;
}

// The absolute prefix a relative or root-relative path is resolved
// against, into pszPrefix (kCwdMax bytes).
int32_t absQueryPrefix(const char *pszBase, const char *pszPath, RTPATHROOT Root, char *pszPrefix)
{
    if (Root.enmKind == kRtPathRoot_RootRelative)
        return RTPathGetCurrentDrive(pszPrefix, kCwdMax);

    char const chDrive = Root.enmKind == kRtPathRoot_DriveRelative ? rtPathUpper(pszPath[0]) : '\0';
    if (pszBase && *pszBase && (!chDrive || (rtPathUpper(pszBase[0]) == chDrive && pszBase[1] == ':'))) {
        size_t cb = kCwdMax;
        return RTPathAbsEx(nullptr, pszBase, RTPATH_STR_F_STYLE_DOS, pszPrefix, &cb);
    }
    return g_pfnPathQueryCurrentDir(chDrive, pszPrefix, kCwdMax);
}

} // namespace

int32_t RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath, size_t *pcbAbsPath)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pszAbsPath) || !RT_VALID_PTR(pcbAbsPath))
        return RTE_INVALID_POINTER;
    if (pszBase && !RT_VALID_PTR(pszBase))
        return RTE_INVALID_POINTER;
    if ((fFlags & ~kValidFlags) || (fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_MASK)
        return RTE_INVALID_FLAGS;
    // Only the host's (DOS) style exists on this system.
    if ((fFlags & RTPATH_STR_F_STYLE_MASK) == RTPATH_STR_F_STYLE_UNIX)
        return RTE_NOT_SUPPORTED;
    if (!*pszPath)
        return RTE_PATH_EMPTY;

    RTPATHROOT const Root = rtPathParseRoot(pszPath);
    bool const fDotDot = absHasDotDot(pszPath + Root.cchRoot);
    size_t const cchPath = rtPathLen(pszPath);
    bool const fNeedPrefix = Root.enmKind < kRtPathRoot_Drive;

    // One block: the prefix first, then room for the worst-case result (the
    // prefix, a separator, the path and a trailing separator).
    size_t const cbResult = kCwdMax + cchPath + 8;
    char *pszPrefix = static_cast<char *>(RTMemAllocTag(kCwdMax + cbResult, "RTPathAbsEx"));
    if (!pszPrefix)
        return RTE_NO_TEMP_MEMORY;
    pszPrefix[0] = '\0';

    AbsBuilder B;
    B.pszBuf = pszPrefix + kCwdMax;
    B.cch = 0;
    B.cchRoot = 0;

    bool fTrailingSep;
    int32_t rc = RT_OK;
    if (!fNeedPrefix) {
        absPutRoot(&B, pszPath, Root.cchRoot, !fDotDot);
        fTrailingSep = absPutComponents(&B, pszPath + Root.cchRoot);
    } else {
        rc = absQueryPrefix(pszBase, pszPath, Root, pszPrefix);
        RTPATHROOT const PrefixRoot = rtPathParseRoot(pszPrefix);
        if (RT_SUCCESS_NP(rc) && PrefixRoot.enmKind < kRtPathRoot_Drive
            && !(PrefixRoot.enmKind == kRtPathRoot_DriveRelative && Root.enmKind == kRtPathRoot_RootRelative))
            rc = RTE_INTERNAL_ERROR_D;
        if (RT_FAILURE_NP(rc)) {
            RTMemFree(pszPrefix);
            return rc;
        }
        absPutRoot(&B, pszPrefix, PrefixRoot.cchRoot, true);
        absPutComponents(&B, pszPrefix + PrefixRoot.cchRoot);
        fTrailingSep = absPutComponents(&B, pszPath + Root.cchRoot);
    }

    if ((fTrailingSep || (fFlags & RTPATHABS_F_ENSURE_TRAILING_SLASH)) && B.cch > B.cchRoot)
        absAppendChar(&B, '\\');

    size_t const cbAbsPath = *pcbAbsPath;
    if (B.cch + 1 > cbAbsPath) {
        *pcbAbsPath = B.cch + 1;
        rc = RTE_BUFFER_OVERFLOW;
    } else {
        __builtin_memcpy(pszAbsPath, B.pszBuf, B.cch);
        pszAbsPath[B.cch] = '\0';
        *pcbAbsPath = B.cch;
    }
    RTMemFree(pszPrefix);
    return rc;
}

int32_t RTPathMakeAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath)
{
    size_t cb = cbAbsPath;
    return RTPathAbsEx(nullptr, pszPath, RTPATH_STR_F_STYLE_HOST, pszAbsPath, &cb);
}
