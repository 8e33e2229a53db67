// Directories with a unique random name made from a template.
#include <quab/dir.h>
#include <quab/string.h>
#include <quab/rand.h>

namespace {

constexpr char g_szAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
inline constexpr unsigned kMaxAttempts = 10000;

inline bool isNameSep(char ch)
{
    return ch == '/' || ch == '\\' || ch == ':';
}

// The run of X the random characters go into: a trailing run, or the
// right-most XXX of a final component of at least four characters, grown
// to the left over further X.
bool dirFindRun(char *pszTemplate, size_t *poffRun, size_t *pcchRun)
{
    size_t const cch = RTStrLenMax(pszTemplate, RTSTR_MAX);
    if (cch && pszTemplate[cch - 1] == 'X') {
        size_t off = cch;
        while (off > 0 && pszTemplate[off - 1] == 'X')
            off--;
        *poffRun = off;
        *pcchRun = cch - off;
        return true;
    }
    size_t offName = cch;
    while (offName > 0 && !isNameSep(pszTemplate[offName - 1]))
        offName--;
    if (cch - offName < 4)
        return false;
    for (size_t offEnd = cch; offEnd >= offName + 3; offEnd--) {
        if (pszTemplate[offEnd - 1] == 'X' && pszTemplate[offEnd - 2] == 'X' && pszTemplate[offEnd - 3] == 'X') {
            size_t off = offEnd - 3;
            while (off > offName && pszTemplate[off - 1] == 'X')
                off--;
            *poffRun = off;
            *pcchRun = offEnd - off;
            return true;
        }
    }
    return false;
}

} // namespace

int32_t RTDirMakeUnique(char *pszTemplate, uint32_t fMode)
{
    if (!RT_VALID_PTR(pszTemplate))
        return RTE_INVALID_POINTER;
    size_t offRun, cchRun;
    if (!dirFindRun(pszTemplate, &offRun, &cchRun)) {
        *pszTemplate = '\0';
        return RTE_INVALID_PARAMETER;
    }
    int32_t rc = RTE_ALREADY_EXISTS;
    for (unsigned iTry = 0; iTry < kMaxAttempts && rc == RTE_ALREADY_EXISTS; iTry++) {
        for (size_t i = cchRun; i-- > 0;)
            pszTemplate[offRun + i] = g_szAlphabet[RTRandRange(0, 35)];
        rc = RTDirMake(pszTemplate, fMode, 0);
    }
    if (RT_FAILURE_NP(rc))
        *pszTemplate = '\0';
    return rc;
}
