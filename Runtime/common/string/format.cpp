// The formatting engine: directive parsing, integers, characters, strings,
// floating point, nested formats and the hand-over to the %R handlers.
#include <quab/fmt.h>
#include <quab/string.h>

#include "format-internal.h"

namespace {

// Blanks are streamed from a constant run so that padding never needs a
// buffer as wide as the field.
constexpr char g_szBlanks[] = "                                                                ";
constexpr int g_cchBlanks = static_cast<int>(sizeof(g_szBlanks) - 1);

constexpr char g_szHexLower[] = "0123456789abcdef";

// Field widths and precisions beyond this are clamped while parsing, so the
// digit accumulator cannot overflow on a hostile format string.
constexpr int g_cchFieldMax = 0x3fffffff;

struct FmtFlagChar
{
    char ch;
    unsigned fFlag;
};

constexpr FmtFlagChar g_aFlagChars[] = {
    {'-', FMT_F_LEFT},  {'+', FMT_F_PLUS},  {' ', FMT_F_BLANK},
    {'#', FMT_F_SPECIAL}, {'\'', FMT_F_GROUP}, {'0', FMT_F_ZEROPAD},
};

// Indexed by character so that the flag scan costs one load per character.
struct FmtFlagMap
{
    uint16_t afFlags[256];
};

constexpr FmtFlagMap rtFmtMakeFlagMap()
{
    FmtFlagMap Map{};
    for (FmtFlagChar const &Entry : g_aFlagChars)
        Map.afFlags[static_cast<unsigned char>(Entry.ch)] = static_cast<uint16_t>(Entry.fFlag);
    return Map;
}

constexpr FmtFlagMap g_FlagMap = rtFmtMakeFlagMap();

unsigned rtFmtFlagOf(char ch)
{
    return g_FlagMap.afFlags[static_cast<unsigned char>(ch)];
}

bool rtFmtIsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

int rtFmtParseDigits(const char **ppsz)
{
    const char *psz = *ppsz;
    int iValue = 0;
    while (rtFmtIsDigit(*psz))
    {
        if (iValue < g_cchFieldMax / 10)
            iValue = iValue * 10 + (*psz - '0');
        else
            iValue = g_cchFieldMax;
        psz++;
    }
    *ppsz = psz;
    return iValue;
}

// Reads the size prefix at *ppsz and returns its size letter (0 for none).
// A lone I is consumed and means 64 bits; I32 is the same as no prefix.
char rtFmtParseSize(const char **ppsz)
{
    const char *psz = *ppsz;
    char chSize = 0;
    switch (*psz)
    {
        case 'h':
            psz++;
            chSize = 'h';
            if (*psz == 'h')
            {
                psz++;
                chSize = 'H';
            }
            break;
        case 'l':
            psz++;
            chSize = 'l';
            if (*psz == 'l')
            {
                psz++;
                chSize = 'L';
            }
            break;
        case 'L':
        case 'q':
            psz++;
            chSize = 'L';
            break;
        case 'I':
            psz++;
            chSize = 'j';
            if (psz[0] == '6' && psz[1] == '4')
            {
                psz += 2;
                chSize = 'L';
            }
            else if (psz[0] == '3' && psz[1] == '2')
            {
                psz += 2;
                chSize = 0;
            }
            break;
        case 'j':
        case 'z':
        case 't':
            chSize = *psz++;
            break;
        default:
            break;
    }
    *ppsz = psz;
    return chSize;
}

template <typename T>
constexpr unsigned rtFmtSizeFlagOf()
{
    return sizeof(T) == 8 ? FMT_F_64BIT : FMT_F_32BIT;
}

// Takes an integer argument according to the size letter. h and hh widen
// the int with its sign even for unsigned conversions and do not truncate;
// l, z and t take the C types they name, which are 32 bits on the target.
uint64_t rtFmtTakeInteger(va_list *pArgs, char chSize, bool fSigned, unsigned *pfFlags)
{
    switch (chSize)
    {
        case 'h':
            *pfFlags |= FMT_F_16BIT;
            return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, int)));
        case 'H':
            *pfFlags |= FMT_F_8BIT;
            return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, int)));
        case 'L':
        case 'j':
            *pfFlags |= FMT_F_64BIT;
            return va_arg(*pArgs, uint64_t);
        case 'l':
            *pfFlags |= rtFmtSizeFlagOf<long>();
            if (fSigned)
                return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, long)));
            return static_cast<uint64_t>(va_arg(*pArgs, unsigned long));
        case 'z':
            *pfFlags |= rtFmtSizeFlagOf<size_t>();
            return static_cast<uint64_t>(va_arg(*pArgs, size_t));
        case 't':
            *pfFlags |= rtFmtSizeFlagOf<ptrdiff_t>();
            return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, ptrdiff_t)));
        default:
            *pfFlags |= FMT_F_32BIT;
            if (fSigned)
                return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, int)));
            return static_cast<uint64_t>(va_arg(*pArgs, unsigned));
    }
}

size_t rtFmtOutputNumber(FmtOutputFn pfnOutput, void *pvArgOutput, uint64_t u64Value, unsigned uBase,
                         int cchWidth, int cchPrecision, unsigned fFlags)
{
    char szNum[64];
    int const cch = RTFmtNumber(szNum, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, static_cast<size_t>(cch));
}

// Pads a text of cchText characters to cchWidth: blanks before it unless
// FMT_F_LEFT. Returns the blanks that go after the text.
size_t rtFmtPadFront(FmtOutputFn pfnOutput, void *pvArgOutput, int cchWidth, size_t cchText, unsigned fFlags,
                     int *pcchBack)
{
    *pcchBack = 0;
    if (cchWidth < 0 || static_cast<size_t>(cchWidth) <= cchText)
        return 0;
    int const cchPad = cchWidth - static_cast<int>(cchText);
    if (fFlags & FMT_F_LEFT)
    {
        *pcchBack = cchPad;
        return 0;
    }
    return rtFmtPadBlanks(pfnOutput, pvArgOutput, cchPad);
}

size_t rtFmtChar(FmtOutputFn pfnOutput, void *pvArgOutput, va_list *pArgs, int cchWidth, unsigned fFlags)
{
    char const ch = static_cast<char>(va_arg(*pArgs, int));
    int cchBack;
    size_t cch = rtFmtPadFront(pfnOutput, pvArgOutput, cchWidth, 1, fFlags, &cchBack);
    cch += pfnOutput(pvArgOutput, &ch, 1);
    return cch + rtFmtPadBlanks(pfnOutput, pvArgOutput, cchBack);
}

size_t rtFmtString8(FmtOutputFn pfnOutput, void *pvArgOutput, const char *psz, int cchWidth, int cchPrecision,
                    unsigned fFlags)
{
    size_t cchText = 0;
    if (cchPrecision < 0)
        while (psz[cchText] != '\0')
            cchText++;
    else
        while (cchText < static_cast<size_t>(cchPrecision) && psz[cchText] != '\0')
            cchText++;

    int cchBack;
    size_t cch = rtFmtPadFront(pfnOutput, pvArgOutput, cchWidth, cchText, fFlags, &cchBack);
    if (cchText)
        cch += pfnOutput(pvArgOutput, psz, cchText);
    return cch + rtFmtPadBlanks(pfnOutput, pvArgOutput, cchBack);
}

size_t rtFmtCodePoint(FmtOutputFn pfnOutput, void *pvArgOutput, RTUNICP uCp)
{
    char achCp[8];
    if (uCp < 0x80)
    {
        achCp[0] = static_cast<char>(uCp);
        return pfnOutput(pvArgOutput, achCp, 1);
    }
    char const *pchEnd = RTStrEncodeCp(achCp, uCp);
    return pfnOutput(pvArgOutput, achCp, static_cast<size_t>(pchEnd - achCp));
}

// Takes one code point off a UTF-16 cursor; false at the terminator and at
// the first unit that does not start a valid code point.
bool rtFmtUtf16Next(const RTUTF16 **ppwsz, RTUNICP *puCp)
{
    RTUNICP const wc = **ppwsz;
    if (wc == 0)
        return false;
    if (wc < 0xd800 || (wc >= 0xe000 && wc <= 0xfffd))
    {
        *puCp = wc;
        (*ppwsz)++;
        return true;
    }
    RTUNICP uCp;
    if (RTUtf16DecodeCp(ppwsz, &uCp) < 0 || uCp == 0)
        return false;
    *puCp = uCp;
    return true;
}

size_t rtFmtStringUtf16(FmtOutputFn pfnOutput, void *pvArgOutput, const RTUTF16 *pwsz, int cchWidth,
                        int cchPrecision, unsigned fFlags)
{
    size_t const cCpsMax = cchPrecision >= 0 ? static_cast<size_t>(cchPrecision) : RTSTR_MAX;
    size_t cCps = 0;
    RTUNICP uCp;
    for (const RTUTF16 *pwszCur = pwsz; cCps < cCpsMax && rtFmtUtf16Next(&pwszCur, &uCp);)
        cCps++;

    int cchBack;
    size_t cch = rtFmtPadFront(pfnOutput, pvArgOutput, cchWidth, cCps, fFlags, &cchBack);
    for (size_t i = 0; i < cCps && rtFmtUtf16Next(&pwsz, &uCp); i++)
        cch += rtFmtCodePoint(pfnOutput, pvArgOutput, uCp);
    return cch + rtFmtPadBlanks(pfnOutput, pvArgOutput, cchBack);
}

size_t rtFmtStringUtf32(FmtOutputFn pfnOutput, void *pvArgOutput, const RTUNICP *puz, int cchWidth,
                        int cchPrecision, unsigned fFlags)
{
    size_t const cCpsMax = cchPrecision >= 0 ? static_cast<size_t>(cchPrecision) : RTSTR_MAX;
    size_t cCps = 0;
    while (cCps < cCpsMax && puz[cCps] != 0)
        cCps++;

    int cchBack;
    size_t cch = rtFmtPadFront(pfnOutput, pvArgOutput, cchWidth, cCps, fFlags, &cchBack);
    for (size_t i = 0; i < cCps; i++)
        cch += rtFmtCodePoint(pfnOutput, pvArgOutput, puz[i]);
    return cch + rtFmtPadBlanks(pfnOutput, pvArgOutput, cchBack);
}

size_t rtFmtString(FmtOutputFn pfnOutput, void *pvArgOutput, va_list *pArgs, int cchWidth, int cchPrecision,
                   unsigned fFlags, char chSize)
{
    const void *pv = va_arg(*pArgs, const void *);
    switch (chSize)
    {
        case 'l':
            if (rtFmtIsBadPtr(pv))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadStrW");
            return rtFmtStringUtf16(pfnOutput, pvArgOutput, static_cast<const RTUTF16 *>(pv), cchWidth,
                                    cchPrecision, fFlags);
        case 'L':
            if (rtFmtIsBadPtr(pv))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadStrU");
            return rtFmtStringUtf32(pfnOutput, pvArgOutput, static_cast<const RTUNICP *>(pv), cchWidth,
                                    cchPrecision, fFlags);
        default:
            if (rtFmtIsBadPtr(pv))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pv, cchWidth, fFlags, "!BadStr");
            return rtFmtString8(pfnOutput, pvArgOutput, static_cast<const char *>(pv), cchWidth, cchPrecision,
                                fFlags);
    }
}

// Doubles are shown by their fields, never in decimal: no floating-point
// arithmetic is needed and the text is exact.
size_t rtFmtDouble(FmtOutputFn pfnOutput, void *pvArgOutput, va_list *pArgs)
{
    double const rd = va_arg(*pArgs, double);
    uint64_t u64Bits;
    __builtin_memcpy(&u64Bits, &rd, sizeof(u64Bits));
    uint64_t const u64Mantissa = u64Bits & UINT64_C(0x000fffffffffffff);
    unsigned const uExponent = static_cast<unsigned>(u64Bits >> 52) & 0x7ff;

    char szText[32];
    char *pch = szText;
    *pch++ = (u64Bits >> 63) ? '-' : '+';

    auto const pfnAppend = [&pch](const char *psz) {
        while (*psz)
            *pch++ = *psz++;
    };

    if (uExponent == 0x7ff)
        pfnAppend(u64Mantissa == 0                              ? "Inf"
                  : (u64Mantissa & UINT64_C(0x0008000000000000)) ? "QNan"
                                                                 : "SNan");
    else if (uExponent == 0 && u64Mantissa == 0)
        *pch++ = '0';
    else
    {
        pfnAppend(uExponent ? "1m0x" : "0m0x");
        for (int iShift = 48; iShift >= 0; iShift -= 4)
            *pch++ = g_szHexLower[(u64Mantissa >> iShift) & 0xf];
        if (uExponent)
        {
            *pch++ = '^';
            char szExp[64];
            int const cchExp = RTFmtNumber(szExp, static_cast<uint64_t>(static_cast<int64_t>(
                                                      static_cast<int>(uExponent) - 1023)),
                                           10, -1, -1, FMT_F_SIGNED | FMT_F_32BIT);
            __builtin_memcpy(pch, szExp, static_cast<size_t>(cchExp));
            pch += cchExp;
        }
    }
    return pfnOutput(pvArgOutput, szText, static_cast<size_t>(pch - szText));
}

// The part of a directive between the % and the conversion letter.
struct FmtSpec
{
    unsigned fFlags;
    int cchWidth;
    int cchPrecision;
    char chSize;
};

// Reads flags, width, precision and size prefix; '*' takes its int from the
// list. Leaves the cursor at the conversion letter.
FmtSpec rtFmtParseSpec(const char **ppsz, va_list *pArgs)
{
    const char *psz = *ppsz;
    unsigned fFlags = 0;
    for (unsigned fFlag; (fFlag = rtFmtFlagOf(*psz)) != 0; psz++)
        fFlags |= fFlag;

    int cchWidth = -1;
    if (rtFmtIsDigit(*psz))
    {
        cchWidth = rtFmtParseDigits(&psz);
        fFlags |= FMT_F_WIDTH;
    }
    else if (*psz == '*')
    {
        psz++;
        int const iWidth = va_arg(*pArgs, int);
        if (iWidth < 0)
        {
            cchWidth = iWidth < -g_cchFieldMax ? g_cchFieldMax : -iWidth;
            fFlags |= FMT_F_LEFT;
        }
        else
            cchWidth = iWidth > g_cchFieldMax ? g_cchFieldMax : iWidth;
        fFlags |= FMT_F_WIDTH;
    }

    int cchPrecision = -1;
    if (*psz == '.')
    {
        psz++;
        cchPrecision = 0;
        if (rtFmtIsDigit(*psz))
            cchPrecision = rtFmtParseDigits(&psz);
        else if (*psz == '*')
        {
            psz++;
            int const iPrecision = va_arg(*pArgs, int);
            cchPrecision = iPrecision < 0 ? 0 : iPrecision > g_cchFieldMax ? g_cchFieldMax : iPrecision;
        }
        fFlags |= FMT_F_PRECISION;
    }

    char const chSize = rtFmtParseSize(&psz);

    *ppsz = psz;
    return FmtSpec{fFlags, cchWidth, cchPrecision, chSize};
}

// Renders one directive whose letter the cursor has just passed; the cursor
// moves on behind whatever a handler consumed (or to a new format for %M).
size_t rtFmtConvert(FmtOutputFn pfnOutput, void *pvArgOutput, FmtConversionFn pfnFormat, void *pvArgFormat,
                    const char **ppsz, va_list *pArgs, char chConv, FmtSpec Spec)
{
    size_t cch = 0;
    switch (chConv)
    {
        case 'd':
        case 'i':
        {
            uint64_t const u64 = rtFmtTakeInteger(pArgs, Spec.chSize, true, &Spec.fFlags);
            cch = rtFmtOutputNumber(pfnOutput, pvArgOutput, u64, 10, Spec.cchWidth, Spec.cchPrecision,
                                    Spec.fFlags | FMT_F_SIGNED);
            break;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X':
        {
            unsigned const uBase = chConv == 'u' ? 10 : chConv == 'o' ? 8 : 16;
            if (chConv == 'X')
                Spec.fFlags |= FMT_F_CAPITAL;
            uint64_t const u64 = rtFmtTakeInteger(pArgs, Spec.chSize, false, &Spec.fFlags);
            cch = rtFmtOutputNumber(pfnOutput, pvArgOutput, u64, uBase, Spec.cchWidth, Spec.cchPrecision,
                                    Spec.fFlags);
            break;
        }
        case 'p':
        {
            uintptr_t const uPtr = reinterpret_cast<uintptr_t>(va_arg(*pArgs, void *));
            if (Spec.cchWidth < 0)
                Spec.cchWidth = static_cast<int>(sizeof(void *) * 2);
            cch = rtFmtOutputNumber(pfnOutput, pvArgOutput, uPtr, 16, Spec.cchWidth, Spec.cchPrecision,
                                    Spec.fFlags | FMT_F_ZEROPAD);
            break;
        }
        case 'c':
            cch = rtFmtChar(pfnOutput, pvArgOutput, pArgs, Spec.cchWidth, Spec.fFlags);
            break;
        case 's':
        case 'S':
            cch = rtFmtString(pfnOutput, pvArgOutput, pArgs, Spec.cchWidth, Spec.cchPrecision, Spec.fFlags,
                              Spec.chSize);
            break;
        case 'a':
        case 'A':
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
            cch = rtFmtDouble(pfnOutput, pvArgOutput, pArgs);
            break;
        case 'M':
        {
            const char *pszNew = va_arg(*pArgs, const char *);
            if (rtFmtIsBadPtr(pszNew))
            {
                // Nothing of a bad format can be shown but its address;
                // the rest of the current format was dropped anyway.
                cch = rtFmtBadPointer(pfnOutput, pvArgOutput, pszNew, Spec.cchWidth, Spec.fFlags, "!BadFmt");
                *ppsz = "";
            }
            else
                *ppsz = pszNew;
            break;
        }
        case 'N':
        {
            const char *pszNested = va_arg(*pArgs, const char *);
            va_list *pNestedArgs = va_arg(*pArgs, va_list *);
            if (rtFmtIsBadPtr(pszNested) || rtFmtIsBadPtr(pNestedArgs))
            {
                const void *pvBad = rtFmtIsBadPtr(pszNested) ? static_cast<const void *>(pszNested)
                                                             : static_cast<const void *>(pNestedArgs);
                cch = rtFmtBadPointer(pfnOutput, pvArgOutput, pvBad, Spec.cchWidth, Spec.fFlags, "!BadFmt");
            }
            else
            {
                va_list NestedArgs;
                va_copy(NestedArgs, *pNestedArgs);
                cch = RTFmtEngineV(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszNested, NestedArgs);
                va_end(NestedArgs);
            }
            break;
        }
        case 'R':
        {
            const char *pszCursor = *ppsz - 1;
            if (**ppsz == '[')
            {
                pszCursor = *ppsz;
                cch = rtFmtCustomType(pfnOutput, pvArgOutput, &pszCursor, pArgs, Spec.cchWidth, Spec.cchPrecision,
                                      Spec.fFlags, Spec.chSize);
            }
            else
                cch = RTFmtRuntimeType(pfnOutput, pvArgOutput, &pszCursor, pArgs, Spec.cchWidth, Spec.cchPrecision,
                                       Spec.fFlags, Spec.chSize);
            *ppsz = pszCursor;
            break;
        }
        default:
            if (pfnFormat)
            {
                const char *pszCursor = *ppsz - 1;
                cch = pfnFormat(pvArgFormat, pfnOutput, pvArgOutput, &pszCursor, pArgs, Spec.cchWidth,
                                Spec.cchPrecision, Spec.fFlags, Spec.chSize);
                *ppsz = pszCursor;
            }
            break;
    }
    return cch;
}

} // namespace

size_t rtFmtPadBlanks(FmtOutputFn pfnOutput, void *pvArgOutput, int cch)
{
    size_t cchTotal = 0;
    while (cch > 0)
    {
        int const cchChunk = cch < g_cchBlanks ? cch : g_cchBlanks;
        cchTotal += pfnOutput(pvArgOutput, g_szBlanks, static_cast<size_t>(cchChunk));
        cch -= cchChunk;
    }
    return cchTotal;
}

size_t rtFmtBadPointer(FmtOutputFn pfnOutput, void *pvArgOutput, const void *pv, int cchWidth, unsigned fFlags,
                       const char *pszMarker)
{
    char szText[64];
    size_t cchText;
    if (!pv)
    {
        __builtin_memcpy(szText, "<NULL>", 6);
        cchText = 6;
    }
    else
    {
        szText[0] = '<';
        cchText = 1;
        uintptr_t const uPtr = reinterpret_cast<uintptr_t>(pv);
        for (int iShift = static_cast<int>(sizeof(uPtr) * 8) - 4; iShift >= 0; iShift -= 4)
            szText[cchText++] = g_szHexLower[(uPtr >> iShift) & 0xf];
        // The marker is one of the formatter's own short constants; the cut
        // only protects the buffer.
        while (*pszMarker && cchText < sizeof(szText) - 1)
            szText[cchText++] = *pszMarker++;
        szText[cchText++] = '>';
    }

    int cchBack;
    size_t cch = rtFmtPadFront(pfnOutput, pvArgOutput, cchWidth, cchText, fFlags, &cchBack);
    cch += pfnOutput(pvArgOutput, szText, cchText);
    return cch + rtFmtPadBlanks(pfnOutput, pvArgOutput, cchBack);
}

size_t RTFmtEngineV(FmtOutputFn pfnOutput, void *pvArgOutput, FmtConversionFn pfnFormat, void *pvArgFormat,
                    const char *pszFormat, va_list args)
{
    // A va_list parameter may be a decayed array; only a local copy can be
    // handed on by address.
    va_list Args;
    va_copy(Args, args);

    size_t cch = 0;
    const char *pszRun = pszFormat;
    const char *psz = pszFormat;
    for (;;)
    {
        while (*psz != '%' && *psz != '\0')
            psz++;
        if (*psz == '\0')
            break;
        if (psz != pszRun)
            cch += pfnOutput(pvArgOutput, pszRun, static_cast<size_t>(psz - pszRun));
        psz++;
        if (*psz == '%')
        {
            pszRun = psz++;
            continue;
        }

        FmtSpec const Spec = rtFmtParseSpec(&psz, &Args);
        char const chConv = *psz;
        if (chConv == '\0')
        {
            pszRun = psz;
            break;
        }
        psz++;

        cch += rtFmtConvert(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, &psz, &Args, chConv, Spec);
        pszRun = psz;
    }

    if (psz != pszRun)
        cch += pfnOutput(pvArgOutput, pszRun, static_cast<size_t>(psz - pszRun));
    pfnOutput(pvArgOutput, nullptr, 0);
    va_end(Args);
    return cch;
}

size_t RTFmtToCallback(FmtOutputFn pfnOutput, void *pvArgOutput, FmtConversionFn pfnFormat, void *pvArgFormat,
                       const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    size_t const cch = RTFmtEngineV(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszFormat, args);
    va_end(args);
    return cch;
}
