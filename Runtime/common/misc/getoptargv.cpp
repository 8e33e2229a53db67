// Splitting one command-line string into an argument vector by the quoting
// rules of the Microsoft C runtime.
#include <quab/getopt.h>
#include <quab/mem.h>
#include <quab/string.h>

namespace {

constexpr char g_szDefaultSeparators[] = " \t\n\r";
constexpr char g_szTag[] = "getoptargv";
constexpr int kVectorStep = 32;

size_t StrLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch] != '\0')
        cch++;
    return cch;
}

bool IsSeparator(RTUNICP uCp, const char *pszSeparators)
{
    if (uCp < 0x80) {
        for (const char *psz = pszSeparators; *psz; psz++)
            if (static_cast<unsigned char>(*psz) == uCp)
                return true;
        return false;
    }
    const char *psz = pszSeparators;
    while (*psz) {
        RTUNICP uSep;
        if (RT_SUCCESS_NP(RTStrDecodeCp(&psz, &uSep)) && uSep == uCp)
            return true;
    }
    return false;
}

// One code point at *ppsz; ASCII is taken as it is.
int32_t ReadCp(const char **ppsz, RTUNICP *puCp)
{
    unsigned char const ch = static_cast<unsigned char>(**ppsz);
    if (ch < 0x80) {
        *puCp = ch;
        (*ppsz)++;
        return RT_OK;
    }
    return RTStrDecodeCp(ppsz, puCp);
}

struct Splitter {
    const char *pszIn;       // reading position
    char *pszOut;            // writing position; never ahead of pszIn in place
    const char *pszSeparators;
};

// Parses one argument by the MSCRT rules. *pfTextEnded tells whether the
// text ended inside it (rather than at a separator).
int32_t ParseMsCrtArg(Splitter *pSplit, bool *pfTextEnded)
{
    bool fQuoted = false;
    for (;;) {
        const char *pszIn = pSplit->pszIn;
        char const ch = *pszIn;
        if (ch == '\0') {
            *pfTextEnded = true;
            return RT_OK;
        }
        if (ch == '"') {
            if (!fQuoted)
                fQuoted = true;
            else if (pszIn[1] == '"') {
                *pSplit->pszOut++ = '"';
                pszIn++;
            } else
                fQuoted = false;
            pSplit->pszIn = pszIn + 1;
            continue;
        }
        if (ch == '\\') {
            size_t cBackslashes = 0;
            while (pszIn[cBackslashes] == '\\')
                cBackslashes++;
            bool const fQuoteFollows = pszIn[cBackslashes] == '"';
            size_t const cOut = fQuoteFollows ? cBackslashes / 2 : cBackslashes;
            for (size_t i = 0; i < cOut; i++)
                *pSplit->pszOut++ = '\\';
            pszIn += cBackslashes;
            // An odd run escapes the quote; an even run leaves it to the quote rules.
            if (fQuoteFollows && (cBackslashes & 1)) {
                *pSplit->pszOut++ = '"';
                pszIn++;
            }
            pSplit->pszIn = pszIn;
            continue;
        }

        RTUNICP uCp;
        int32_t const rc = ReadCp(&pszIn, &uCp);
        if (RT_FAILURE_NP(rc))
            return rc;
        pSplit->pszIn = pszIn;
        if (!fQuoted && IsSeparator(uCp, pSplit->pszSeparators)) {
            *pfTextEnded = false;
            return RT_OK;
        }
        if (uCp < 0x80)
            *pSplit->pszOut++ = static_cast<char>(uCp);
        else
            pSplit->pszOut = RTStrEncodeCp(pSplit->pszOut, uCp);
    }
}

// Skips separators; false at the end of the text.
int32_t SkipSeparators(Splitter *pSplit, bool *pfMore)
{
    for (;;) {
        if (*pSplit->pszIn == '\0') {
            *pfMore = false;
            return RT_OK;
        }
        const char *psz = pSplit->pszIn;
        RTUNICP uCp;
        RT_TRY(ReadCp(&psz, &uCp));
        if (!IsSeparator(uCp, pSplit->pszSeparators)) {
            *pfMore = true;
            return RT_OK;
        }
        pSplit->pszIn = psz;
    }
}

int32_t SplitIntoVector(Splitter *pSplit, char ***ppapszArgv, int *pcArgs)
{
    char **papszArgv = nullptr;
    int cArgs = 0;
    int32_t rc = RT_OK;
    for (;;) {
        bool fMore = false;
        rc = SkipSeparators(pSplit, &fMore);
        if (RT_FAILURE_NP(rc) || !fMore)
            break;

        // Room for this step's arguments and the closing nullptr.
        if (cArgs % kVectorStep == 0) {
            void *pvNew = RTMemReallocTag(papszArgv, (static_cast<size_t>(cArgs) + kVectorStep + 1) * sizeof(char *),
                                          g_szTag);
            if (!pvNew) {
                rc = RTE_NO_MEMORY;
                break;
            }
            papszArgv = static_cast<char **>(pvNew);
        }
        papszArgv[cArgs++] = pSplit->pszOut;

        bool fTextEnded = false;
        rc = ParseMsCrtArg(pSplit, &fTextEnded);
        if (RT_FAILURE_NP(rc))
            break;
        *pSplit->pszOut++ = '\0';
        if (fTextEnded)
            break;
    }
    if (RT_FAILURE_NP(rc)) {
        RTMemFree(papszArgv);
        return rc;
    }
    if (!papszArgv) {
        papszArgv = static_cast<char **>(RTMemAllocTag(sizeof(char *), g_szTag));
        if (!papszArgv)
            return RTE_NO_MEMORY;
    }
    papszArgv[cArgs] = nullptr;
    *ppapszArgv = papszArgv;
    *pcArgs = cArgs;
    return RT_OK;
}

} // namespace

int32_t RTGetOptArgvSplit(char ***ppapszArgv, int *pcArgs, char *pszCmdLine, uint32_t fFlags,
                          const char *pszSeparators)
{
    *ppapszArgv = nullptr;
    *pcArgs = 0;
    uint32_t const uStyle = fFlags & RTGETOPTARGV_STYLE_MASK;
    if ((uStyle != RTGETOPTARGV_STYLE_MSCRT && uStyle != RTGETOPTARGV_STYLE_SHELL)
        || (fFlags & ~(RTGETOPTARGV_STYLE_MASK | RTGETOPTARGV_IN_PLACE)))
        return RTE_INVALID_FLAGS;
    if (!pszSeparators)
        pszSeparators = g_szDefaultSeparators;
    if (!*pszSeparators)
        return RTE_INVALID_PARAMETER;
    if (uStyle != RTGETOPTARGV_STYLE_MSCRT)
        return RTE_NOT_IMPLEMENTED;

    bool const fInPlace = (fFlags & RTGETOPTARGV_IN_PLACE) != 0;
    char *pszBuf = pszCmdLine;
    if (!fInPlace) {
        pszBuf = RTStrAllocate(StrLen(pszCmdLine) + 1, g_szTag);
        if (!pszBuf)
            return RTE_NO_STRING_MEMORY;
    }

    Splitter Split = {pszCmdLine, pszBuf, pszSeparators};
    char **papszArgv = nullptr;
    int cArgs = 0;
    int32_t const rc = SplitIntoVector(&Split, &papszArgv, &cArgs);
    // Without arguments nothing points into the buffer; keep only the vector.
    if (!fInPlace && (RT_FAILURE_NP(rc) || cArgs == 0))
        RTStrDispose(pszBuf);
    if (RT_FAILURE_NP(rc))
        return rc;
    *ppapszArgv = papszArgv;
    *pcArgs = cArgs;
    return RT_OK;
}

void RTGetOptArgvFree(char **papszArgv, uint32_t fFlags)
{
    if (!papszArgv)
        return;
    // The first argument starts the copy the split wrote into.
    if (!(fFlags & RTGETOPTARGV_IN_PLACE))
        RTStrDispose(papszArgv[0]);
    RTStrDispose(papszArgv);
}
