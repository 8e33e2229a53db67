// The option parser: matching arguments against the caller's table, short
// option groups, permutation, and fetching and converting values.
#include <quab/string.h>

#include "getopt-internal.h"

namespace {

constexpr RTOPTDEF g_aStdOptions[] = {
    {"--help", 'h', 0},
    {"-help", 'h', 0},
    {"--version", 'V', 0},
    {"-version", 'V', 0},
};

constexpr RTUNICP g_aDashes[] = {0x2D, 0x2010, 0x2011, 0x2012, 0x2013, 0x2014, 0x2212, 0xFE58, 0xFE63, 0xFF0D};

constexpr size_t kNoLimit = ~static_cast<size_t>(0);

size_t StrLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch] != '\0')
        cch++;
    return cch;
}

RTUNICP AsciiLower(RTUNICP uCp)
{
    return uCp >= 'A' && uCp <= 'Z' ? uCp - 'A' + 'a' : uCp;
}

RTUNICP AsciiUpper(RTUNICP uCp)
{
    return uCp >= 'a' && uCp <= 'z' ? uCp - 'a' + 'A' : uCp;
}

// Compares an argument with an option name. cchLimit counts name bytes; once
// that many have been compared the argument matches as a prefix, and
// *pcchArg says how many argument bytes that took (a Unicode dash is longer
// than the '-' it stands for).
bool MatchName(const char *pszArg, const char *pszName, size_t cchLimit, uint32_t fFlags, size_t *pcchArg)
{
    const char *psz = pszArg;
    for (size_t cchName = 0;; cchName++) {
        if (cchName == cchLimit) {
            *pcchArg = static_cast<size_t>(psz - pszArg);
            return true;
        }
        char const chArg = *psz;
        char const chName = pszName[cchName];
        if (chArg == chName) {
            if (chArg == '\0') {
                *pcchArg = static_cast<size_t>(psz - pszArg);
                return true;
            }
            psz++;
            continue;
        }
        if (chName == '-') {
            if (static_cast<unsigned char>(chArg) < 0x80)
                return false;
            RTUNICP uCp;
            if (RT_FAILURE_NP(RTStrDecodeCp(&psz, &uCp)) || !rtOptIsDash(uCp))
                return false;
            continue;
        }
        if (!(fFlags & RTOPT_IGNORE_CASE))
            return false;
        RTUNICP uCp;
        if (RT_FAILURE_NP(RTStrDecodeCp(&psz, &uCp)))
            return false;
        RTUNICP const uName = static_cast<unsigned char>(chName);
        if (AsciiLower(uCp) != AsciiLower(uName) && AsciiUpper(uCp) != AsciiUpper(uName))
            return false;
    }
}

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// The end of a value-taking option's name: the argument ends or a value
// is attached.
bool IsValueBoundary(char ch)
{
    return ch == '\0' || ch == ':' || ch == '=';
}

// Finds the row for a long-form argument; *poffValue is where the value (or
// an index) begins.
const RTOPTDEF *FindLong(const char *pszArg, const RTOPTDEF *paOptions, uint32_t cOptions, uint32_t fInitFlags,
                         size_t *poffValue)
{
    for (uint32_t i = 0; i < cOptions; i++) {
        RTOPTDEF const *pOpt = &paOptions[i];
        if (!pOpt->longName)
            continue;
        uint32_t const fFlags = pOpt->flags;
        size_t cchArg;
        if ((fFlags & RTOPT_TYPE_MASK) != RTOPT_TYPE_NONE || (fFlags & RTOPT_INDEXED)) {
            if (!MatchName(pszArg, pOpt->longName, StrLen(pOpt->longName), fFlags, &cchArg))
                continue;
            const char *psz = pszArg + cchArg;
            if ((fFlags & RTOPT_INDEX_DASH) && psz[0] == '-' && IsDigit(psz[1]))
                psz++;
            size_t const offValue = static_cast<size_t>(psz - pszArg);
            if (fFlags & RTOPT_INDEXED)
                while (IsDigit(*psz))
                    psz++;
            bool const fOk = (fFlags & RTOPT_TYPE_MASK) != RTOPT_TYPE_NONE ? IsValueBoundary(*psz) : *psz == '\0';
            if (!fOk)
                continue;
            *poffValue = offValue;
            return pOpt;
        }
        if (MatchName(pszArg, pOpt->longName, kNoLimit, fFlags, &cchArg)) {
            *poffValue = cchArg;
            return pOpt;
        }
    }

    if (!(fInitFlags & RTOPTINIT_NO_STD_OPTS))
        for (RTOPTDEF const &Opt : g_aStdOptions) {
            size_t cchArg;
            if (MatchName(pszArg, Opt.longName, kNoLimit, 0, &cchArg)) {
                *poffValue = cchArg;
                return &Opt;
            }
        }
    return nullptr;
}

// Short options are the printable ASCII codes except the dash itself.
bool IsShortCode(int32_t iCode)
{
    return iCode >= 1 && iCode <= 127 && iCode != '-';
}

const RTOPTDEF *FindShort(int32_t iCode, const RTOPTDEF *paOptions, uint32_t cOptions, uint32_t fInitFlags)
{
    if (!IsShortCode(iCode))
        return nullptr;
    for (uint32_t i = 0; i < cOptions; i++)
        if (paOptions[i].shortCode == iCode)
            return &paOptions[i];
    if (!(fInitFlags & RTOPTINIT_NO_STD_OPTS)) {
        for (RTOPTDEF const &Opt : g_aStdOptions)
            if (Opt.shortCode == iCode)
                return &Opt;
        if (iCode == '?')
            return &g_aStdOptions[0];
    }
    return nullptr;
}

bool HasMovedArgs(RTOPTSTATE const *pState)
{
    return pState->movedCount != 0 && pState->movedCount != RTOPT_ALL_POSITIONAL;
}

// Brings argv[iArg] to iTarget, in front of the arguments moved aside, so
// that those keep their order and come back last.
void RotateInFront(RTOPTSTATE *pState, int32_t iArg, int32_t iTarget)
{
    char *const pszArg = pState->argv[iArg];
    for (int32_t i = iArg; i > iTarget; i--)
        pState->argv[i] = pState->argv[i - 1];
    pState->argv[iTarget] = pszArg;
}

// Takes the next argument as a value; nullptr when there is none.
const char *TakeNextArg(RTOPTSTATE *pState)
{
    int32_t const cMoved = HasMovedArgs(pState) ? pState->movedCount : 0;
    if (pState->nextIndex >= pState->argc || pState->nextIndex + cMoved >= pState->argc)
        return nullptr;
    if (cMoved)
        RotateInFront(pState, pState->nextIndex + cMoved, pState->nextIndex);
    return pState->argv[pState->nextIndex++];
}

// Decodes one code point, but never steps over the terminator: the
// decoder moves past a zero byte as past any other character.
int32_t DecodeCp(const char **ppsz, RTUNICP *puCp)
{
    if (**ppsz == '\0') {
        *puCp = 0;
        return RT_OK;
    }
    return RTStrDecodeCp(ppsz, puCp);
}

bool IsDashArg(const char *psz, const char **ppszNext)
{
    RTUNICP uCp;
    if (RT_FAILURE_NP(DecodeCp(&psz, &uCp)) || !rtOptIsDash(uCp))
        return false;
    *ppszNext = psz;
    return true;
}

// "--", with either dash possibly a Unicode one.
bool IsTerminator(const char *pszArg)
{
    const char *psz;
    return IsDashArg(pszArg, &psz) && IsDashArg(psz, &psz) && *psz == '\0';
}

// Reads a decimal index; false when it overflows.
bool ReadIndex(const char **ppsz, uint32_t *puIndex)
{
    uint64_t u = 0;
    const char *psz = *ppsz;
    while (IsDigit(*psz)) {
        u = u * 10 + static_cast<unsigned>(*psz++ - '0');
        if (u > UINT32_MAX)
            return false;
    }
    *puIndex = static_cast<uint32_t>(u);
    *ppsz = psz;
    return true;
}

uint32_t DefaultIndex(uint32_t fFlags)
{
    return fFlags & RTOPT_INDEX_DEFAULT_1 ? 1 : 0;
}

bool HasDefaultIndex(uint32_t fFlags)
{
    return (fFlags & (RTOPT_INDEX_DEFAULT_0 | RTOPT_INDEX_DEFAULT_1)) != 0;
}

// Finds the value text of a long, value-taking option. pszAt points behind
// the name (and the index dash).
int FetchLongValue(RTOPTSTATE *pState, RTOPTDEF const *pDef, const char *pszAt, const char **ppszValue)
{
    if (pDef->flags & RTOPT_INDEXED) {
        if (*pszAt == '\0' && !HasDefaultIndex(pDef->flags))
            return RTE_OPTION_MISSING_INDEX;
        if (!IsDigit(*pszAt)) {
            if (!HasDefaultIndex(pDef->flags))
                return RTE_OPTION_INVALID_VALUE;
            pState->index = DefaultIndex(pDef->flags);
        } else if (!ReadIndex(&pszAt, &pState->index)) {
            return RTE_OPTION_INVALID_VALUE;
        }
    }
    if (*pszAt == ':' || *pszAt == '=') {
        *ppszValue = pszAt + 1;
        return RT_OK;
    }
    if (*pszAt != '\0')
        return RTE_OPTION_INVALID_VALUE;
    *ppszValue = TakeNextArg(pState);
    return *ppszValue ? RT_OK : RTE_OPTION_MISSING_VALUE;
}

int FailWithDef(RTOPTVALUE *pValue, RTOPTDEF const *pDef, int rc)
{
    *pValue = RTOPTVALUE{};
    pValue->def = pDef;
    return rc;
}

} // namespace

bool rtOptIsDash(RTUNICP uCp)
{
    for (RTUNICP const uDash : g_aDashes)
        if (uCp == uDash)
            return true;
    return false;
}

int32_t RTGetOptInit(RTOPTSTATE *pState, int argc, char **argv, const RTOPTDEF *paOptions, uint32_t cOptions,
                     int iFirst, uint32_t fInitFlags)
{
    if (fInitFlags & ~(RTOPTINIT_PERMUTE | RTOPTINIT_NO_STD_OPTS))
        return RTE_INVALID_PARAMETER;
    pState->nextIndex = iFirst;
    pState->argv = argv;
    pState->argc = argc;
    pState->options = paOptions;
    pState->optionCount = cOptions;
    pState->clusterPos = nullptr;
    pState->lastDef = nullptr;
    pState->index = RTOPT_NO_INDEX;
    pState->initFlags = fInitFlags;
    pState->movedCount = 0;
    return RT_OK;
}

int RTGetOpt(RTOPTSTATE *pState, RTOPTVALUE *pValue)
{
    pState->lastDef = nullptr;
    pState->index = RTOPT_NO_INDEX;
    *pValue = RTOPTVALUE{};

    RTOPTDEF const *pDef = nullptr;
    const char *pszShortRest = nullptr;   // set for a short option: what follows its character
    const char *pszArg = nullptr;
    size_t offValue = 0;
    bool const fPermute = (pState->initFlags & RTOPTINIT_PERMUTE) != 0;

    if (pState->clusterPos) {
        pDef = FindShort(static_cast<unsigned char>(*pState->clusterPos), pState->options, pState->optionCount,
                         pState->initFlags);
        if (!pDef) {
            // The state stays on this character, so asking again gives the same error.
            pValue->str = pState->clusterPos;
            return RTE_OPTION_UNKNOWN;
        }
        pszShortRest = ++pState->clusterPos;
    } else {
        for (;;) {
            if (pState->nextIndex >= pState->argc)
                return 0;
            if (pState->movedCount == RTOPT_ALL_POSITIONAL) {
                pValue->str = pState->argv[pState->nextIndex++];
                return RTI_NOT_OPTION;
            }
            if (pState->nextIndex + pState->movedCount >= pState->argc) {
                pState->movedCount = RTOPT_ALL_POSITIONAL;
                continue;
            }
            int32_t const iArg = pState->nextIndex + pState->movedCount;
            pszArg = pState->argv[iArg];
            pState->nextIndex++;

            pDef = FindLong(pszArg, pState->options, pState->optionCount, pState->initFlags, &offValue);
            if (!pDef) {
                const char *pszAfterDash = pszArg;
                RTUNICP uCp;
                int32_t const rc = DecodeCp(&pszAfterDash, &uCp);
                if (RT_FAILURE_NP(rc))
                    return rc;
                bool const fDash = rtOptIsDash(uCp);
                unsigned char const chShort = static_cast<unsigned char>(*pszAfterDash);
                if (fDash && chShort < 0x80 && chShort != '-' && chShort != '\0') {
                    pDef = FindShort(chShort, pState->options, pState->optionCount, pState->initFlags);
                    if (pDef)
                        pszShortRest = pszAfterDash + 1;
                }
                if (!pDef && IsTerminator(pszArg)) {
                    if (HasMovedArgs(pState))
                        RotateInFront(pState, iArg, pState->nextIndex - 1);
                    pState->movedCount = RTOPT_ALL_POSITIONAL;
                    continue;
                }
                if (!pDef) {
                    if (!fPermute) {
                        pValue->str = pszArg;
                        return *pszArg == '-' ? RTE_OPTION_UNKNOWN : RTI_NOT_OPTION;
                    }
                    if (fDash) {
                        pValue->str = pszArg;
                        return RTE_OPTION_UNKNOWN;
                    }
                    pState->nextIndex--;
                    pState->movedCount++;
                    if (pState->nextIndex + pState->movedCount >= pState->argc)
                        pState->movedCount = RTOPT_ALL_POSITIONAL;
                    continue;
                }
            }
            if (HasMovedArgs(pState))
                RotateInFront(pState, iArg, pState->nextIndex - 1);
            break;
        }
    }

    uint32_t const fFlags = pDef->flags;
    pValue->def = pDef;

    if ((fFlags & RTOPT_TYPE_MASK) != RTOPT_TYPE_NONE) {
        const char *pszValue = nullptr;
        if (pszShortRest) {
            if (pState->clusterPos) {
                pState->clusterPos = nullptr;
                pState->nextIndex++;
            }
            if (*pszShortRest == '\0') {
                pszValue = TakeNextArg(pState);
                if (!pszValue)
                    return FailWithDef(pValue, pDef, RTE_OPTION_MISSING_VALUE);
            } else if (*pszShortRest == ':' || *pszShortRest == '=') {
                pszValue = pszShortRest + 1;
            } else {
                pszValue = pszShortRest;
            }
        } else {
            int const rc = FetchLongValue(pState, pDef, pszArg + offValue, &pszValue);
            if (rc < 0) {
                pState->index = RTOPT_NO_INDEX;
                return FailWithDef(pValue, pDef, rc);
            }
        }
        *pValue = RTOPTVALUE{};
        int32_t const rc = rtOptConvertValue(fFlags, pszValue, pDef, pValue);
        if (rc < 0)
            return rc;
        pState->lastDef = pDef;
        return pDef->shortCode;
    }

    if (pszShortRest) {
        if (*pszShortRest != '\0') {
            if (!pState->clusterPos)
                pState->nextIndex--;
            pState->clusterPos = pszShortRest;
        } else if (pState->clusterPos) {
            pState->clusterPos = nullptr;
            pState->nextIndex++;
        }
    } else if (fFlags & RTOPT_INDEXED) {
        const char *psz = pszArg + offValue;
        if (*psz == '\0') {
            if (!HasDefaultIndex(fFlags))
                return FailWithDef(pValue, pDef, RTE_OPTION_MISSING_INDEX);
        } else if (!ReadIndex(&psz, &pState->index) || *psz != '\0') {
            pState->index = RTOPT_NO_INDEX;
            return FailWithDef(pValue, pDef, RTE_OPTION_INVALID_VALUE);
        }
    }
    pState->lastDef = pDef;
    return pDef->shortCode;
}

int32_t RTGetOptNextValue(RTOPTSTATE *pState, RTOPTVALUE *pValue, uint32_t fFlags)
{
    if (!(fFlags & RTOPT_TYPE_MASK) || (fFlags & ~(RTOPT_TYPE_MASK | RTOPT_MODIFIER_MASK)))
        return RTE_INVALID_PARAMETER;
    *pValue = RTOPTVALUE{};
    const char *pszValue = TakeNextArg(pState);
    if (!pszValue)
        return RTE_OPTION_MISSING_VALUE;
    pValue->def = pState->lastDef;
    return rtOptConvertValue(fFlags, pszValue, pState->lastDef, pValue);
}
