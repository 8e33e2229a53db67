// Option values: conversion of a value text by the option's value type.
#include "getopt-internal.h"

namespace {

constexpr uint32_t kBaseMask = RTOPT_HEX | RTOPT_OCT | RTOPT_DEC;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

int DigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return 99;
}

bool IsHexDigit(char ch)
{
    return DigitValue(ch) < 16;
}

char AsciiUpper(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

struct ParsedNumber {
    uint64_t magnitude;
    bool negative;
};

// Reads one number at *ppsz and leaves the cursor behind its last digit.
// Without a base modifier, a number written without signs as 0x plus a hex
// digit is read in base 16, since that is what people type for masks.
bool ParseNumber(const char **ppsz, uint32_t fFlags, ParsedNumber *pNum)
{
    const char *psz = *ppsz;
    bool fNegative = false;
    bool fSigned = false;
    for (; *psz == '+' || *psz == '-'; psz++) {
        fNegative = *psz == '-' ? !fNegative : false;
        fSigned = true;
    }

    unsigned uBase = 10;
    if (fFlags & RTOPT_HEX) {
        uBase = 16;
        if (psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X') && IsHexDigit(psz[2]))
            psz += 2;
    } else if (fFlags & RTOPT_OCT) {
        uBase = 8;
    } else if (!(fFlags & RTOPT_DEC) && !fSigned && psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X')
               && IsHexDigit(psz[2])) {
        uBase = 16;
        psz += 2;
    }

    uint64_t u64 = 0;
    const char *pszDigits = psz;
    for (;; psz++) {
        unsigned const uDigit = static_cast<unsigned>(DigitValue(*psz));
        if (uDigit >= uBase)
            break;
        if (u64 > (~static_cast<uint64_t>(0) - uDigit) / uBase)
            return false;
        u64 = u64 * uBase + uDigit;
    }
    if (psz == pszDigits)
        return false;
    pNum->magnitude = u64;
    pNum->negative = fNegative;
    *ppsz = psz;
    return true;
}

// Range of each number type, indexed by value type - RTOPT_TYPE_INT8.
struct NumberRange {
    bool fSigned;
    uint8_t cBits;
};
constexpr NumberRange g_aNumberRanges[] = {
    {true, 8}, {false, 8}, {true, 16}, {false, 16}, {true, 32}, {false, 32}, {true, 64}, {false, 64},
};

int32_t ConvertNumber(uint32_t uType, uint32_t fFlags, const char *psz, RTOPTVALUE *pValue)
{
    ParsedNumber Num;
    if (!ParseNumber(&psz, fFlags, &Num) || *psz != '\0')
        return RTE_OPTION_INVALID_VALUE;

    NumberRange const &Range = g_aNumberRanges[uType - RTOPT_TYPE_INT8];
    uint64_t u64;
    if (Range.fSigned) {
        uint64_t const uMaxPos = (static_cast<uint64_t>(1) << (Range.cBits - 1)) - 1;
        if (Num.negative) {
            if (Num.magnitude > uMaxPos + 1)
                return RTE_OPTION_INVALID_VALUE;
            u64 = 0 - Num.magnitude;
        } else {
            if (Num.magnitude > uMaxPos)
                return RTE_OPTION_INVALID_VALUE;
            u64 = Num.magnitude;
        }
    } else {
        // Minus zero too: a sign on an unsigned value is a user error worth reporting.
        if (Num.negative)
            return RTE_OPTION_INVALID_VALUE;
        if (Range.cBits < 64 && Num.magnitude >> Range.cBits)
            return RTE_OPTION_INVALID_VALUE;
        u64 = Num.magnitude;
    }

    switch (Range.cBits) {
        case 8:  pValue->u8 = static_cast<uint8_t>(u64); break;
        case 16: pValue->u16 = static_cast<uint16_t>(u64); break;
        case 32: pValue->u32 = static_cast<uint32_t>(u64); break;
        default: pValue->u64 = u64; break;
    }
    return RT_OK;
}

// One decimal byte (0-255) at *ppsz.
bool ParseDecimalByte(const char **ppsz, uint8_t *pb)
{
    const char *psz = *ppsz;
    unsigned u = 0;
    unsigned cDigits = 0;
    while (*psz >= '0' && *psz <= '9') {
        u = u * 10 + static_cast<unsigned>(*psz - '0');
        if (u > 255)
            return false;
        psz++;
        cDigits++;
    }
    if (!cDigits)
        return false;
    *pb = static_cast<uint8_t>(u);
    *ppsz = psz;
    return true;
}

// Up to four dot-separated bytes; returns how many were read.
unsigned ParseDottedBytes(const char **ppsz, uint8_t *pab, unsigned cMax)
{
    unsigned cBytes = 0;
    const char *psz = *ppsz;
    for (;;) {
        if (!ParseDecimalByte(&psz, &pab[cBytes]))
            return 0;
        cBytes++;
        if (*psz != '.' || cBytes == cMax)
            break;
        psz++;
    }
    *ppsz = psz;
    return cBytes;
}

int32_t ConvertIpv4(const char *psz, RTOPTVALUE *pValue)
{
    while (IsBlank(*psz))
        psz++;
    uint8_t ab[4] = {};
    if (ParseDottedBytes(&psz, ab, 4) != 4)
        return RTE_OPTION_INVALID_VALUE;
    while (IsBlank(*psz))
        psz++;
    if (*psz != '\0')
        return RTE_OPTION_INVALID_VALUE;
    for (unsigned i = 0; i < 4; i++)
        pValue->ipv4.au8[i] = ab[i];
    return RT_OK;
}

int32_t ConvertIpv4Cidr(const char *psz, RTOPTVALUE *pValue)
{
    uint8_t ab[4] = {};
    unsigned const cBytes = ParseDottedBytes(&psz, ab, 4);
    if (!cBytes)
        return RTE_OPTION_INVALID_VALUE;

    unsigned cPrefix = 32;
    if (*psz == '/') {
        psz++;
        uint8_t bPrefix;
        if (!ParseDecimalByte(&psz, &bPrefix) || bPrefix > 32)
            return RTE_OPTION_INVALID_VALUE;
        cPrefix = bPrefix;
    }
    if (*psz != '\0')
        return RTE_OPTION_INVALID_VALUE;
    // Bytes the prefix does not reach may be left out ("10/8"), the others not.
    if (cBytes < (cPrefix + 7) / 8)
        return RTE_OPTION_INVALID_VALUE;

    uint32_t const uAddr = static_cast<uint32_t>(ab[0]) << 24 | static_cast<uint32_t>(ab[1]) << 16
                         | static_cast<uint32_t>(ab[2]) << 8 | ab[3];
    uint32_t const uMask = cPrefix ? ~static_cast<uint32_t>(0) << (32 - cPrefix) : 0;
    if (uAddr & ~uMask)
        return RTE_OPTION_INVALID_VALUE;
    pValue->cidr.addr = uAddr;
    pValue->cidr.mask = uMask;
    return RT_OK;
}

int32_t ConvertMac(const char *psz, RTOPTVALUE *pValue)
{
    uint8_t ab[6] = {};
    bool fPlain = true;
    for (unsigned i = 0; i < 12; i++)
        if (!IsHexDigit(psz[i])) {
            fPlain = false;
            break;
        }
    if (fPlain && psz[12] == '\0') {
        for (unsigned i = 0; i < 6; i++)
            ab[i] = static_cast<uint8_t>(DigitValue(psz[2 * i]) << 4 | DigitValue(psz[2 * i + 1]));
    } else {
        for (unsigned i = 0; i < 6; i++) {
            unsigned u = 0;
            unsigned cDigits = 0;
            while (IsHexDigit(*psz) && cDigits < 2) {
                u = u << 4 | static_cast<unsigned>(DigitValue(*psz++));
                cDigits++;
            }
            ab[i] = static_cast<uint8_t>(u);
            char const chEnd = i == 5 ? '\0' : ':';
            if (*psz != chEnd)
                return RTE_OPTION_INVALID_VALUE;
            if (i != 5)
                psz++;
        }
    }
    for (unsigned i = 0; i < 6; i++)
        pValue->mac.au8[i] = ab[i];
    return RT_OK;
}

// Reads exactly cDigits hex digits.
bool ParseHexRun(const char **ppsz, unsigned cDigits, uint64_t *pu)
{
    uint64_t u = 0;
    const char *psz = *ppsz;
    for (unsigned i = 0; i < cDigits; i++, psz++) {
        if (!IsHexDigit(*psz))
            return false;
        u = u << 4 | static_cast<unsigned>(DigitValue(*psz));
    }
    *pu = u;
    *ppsz = psz;
    return true;
}

int32_t ConvertUuid(const char *psz, RTOPTVALUE *pValue)
{
    bool const fBraces = *psz == '{';
    if (fBraces)
        psz++;
    static constexpr uint8_t s_acGroupDigits[5] = {8, 4, 4, 4, 12};
    uint64_t au[5];
    for (unsigned i = 0; i < 5; i++) {
        if (i && *psz++ != '-')
            return RTE_OPTION_INVALID_VALUE;
        if (!ParseHexRun(&psz, s_acGroupDigits[i], &au[i]))
            return RTE_OPTION_INVALID_VALUE;
    }
    if (fBraces && *psz++ != '}')
        return RTE_OPTION_INVALID_VALUE;
    if (*psz != '\0')
        return RTE_OPTION_INVALID_VALUE;

    pValue->uuid.timeLow = static_cast<uint32_t>(au[0]);
    pValue->uuid.timeMid = static_cast<uint16_t>(au[1]);
    pValue->uuid.timeHiAndVersion = static_cast<uint16_t>(au[2]);
    pValue->uuid.clockSeqHiAndReserved = static_cast<uint8_t>(au[3] >> 8);
    pValue->uuid.clockSeqLow = static_cast<uint8_t>(au[3]);
    for (unsigned i = 0; i < 6; i++)
        pValue->uuid.node[i] = static_cast<uint8_t>(au[4] >> (8 * (5 - i)));
    return RT_OK;
}

// A boolean word with the lengths at which its abbreviation is accepted
// (a bit per length, bit 0 unused).
struct BoolWord {
    const char *pszWord;
    bool fValue;
    uint16_t fLengths;
};
constexpr uint16_t Len(unsigned a) { return static_cast<uint16_t>(1u << a); }
constexpr BoolWord g_aBoolWords[] = {
    {"true", true, Len(1) | Len(4)},
    {"yes", true, Len(1) | Len(3)},
    {"enabled", true, Len(1) | Len(2) | Len(6) | Len(7)},
    {"on", true, Len(2)},
    {"1", true, Len(1)},
    {"false", false, Len(1) | Len(5)},
    {"no", false, Len(1) | Len(2)},
    {"disabled", false, Len(1) | Len(3) | Len(7) | Len(8)},
    {"off", false, Len(3)},
    {"0", false, Len(1)},
};
constexpr BoolWord g_aOnOffWords[] = {
    {"on", true, Len(2)},
    {"off", false, Len(3)},
};

template <size_t N>
bool MatchBoolWord(const char *psz, const BoolWord (&aWords)[N], bool *pf)
{
    for (BoolWord const &Word : aWords) {
        size_t cch = 0;
        while (psz[cch] != '\0' && Word.pszWord[cch] != '\0'
               && (psz[cch] == Word.pszWord[cch] || psz[cch] == AsciiUpper(Word.pszWord[cch])))
            cch++;
        if (psz[cch] == '\0' && cch < 16 && (Word.fLengths & Len(static_cast<unsigned>(cch)))) {
            *pf = Word.fValue;
            return true;
        }
    }
    return false;
}

int32_t ConvertPair(uint32_t uType, uint32_t fFlags, const char *psz, RTOPTVALUE *pValue)
{
    bool const f64 = uType == RTOPT_TYPE_PAIR_U64 || uType == RTOPT_TYPE_PAIR_U64_OPT2;
    bool const fOptSecond = uType == RTOPT_TYPE_PAIR_U32_OPT2 || uType == RTOPT_TYPE_PAIR_U64_OPT2;
    uint64_t const uMax = f64 ? ~static_cast<uint64_t>(0) : UINT32_MAX;

    ParsedNumber First;
    if (!ParseNumber(&psz, fFlags, &First) || First.negative || First.magnitude > uMax)
        return RTE_OPTION_INVALID_VALUE;

    const char *const pszAfterFirst = psz;
    while (IsBlank(*psz))
        psz++;
    if (*psz == ':' || *psz == '/' || *psz == '|')
        psz++;
    while (IsBlank(*psz))
        psz++;

    ParsedNumber Second;
    if (psz == pszAfterFirst) {
        if (!fOptSecond)
            return RTE_OPTION_INVALID_VALUE;
        Second.magnitude = uMax;
    } else if (!ParseNumber(&psz, fFlags, &Second) || Second.negative || Second.magnitude > uMax || *psz != '\0') {
        return RTE_OPTION_INVALID_VALUE;
    }

    if (f64) {
        pValue->pairU64.first = First.magnitude;
        pValue->pairU64.second = Second.magnitude;
    } else {
        pValue->pairU32.first = static_cast<uint32_t>(First.magnitude);
        pValue->pairU32.second = static_cast<uint32_t>(Second.magnitude);
    }
    return RT_OK;
}

int32_t ConvertString(uint32_t, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    pValue->str = psz;
    return RT_OK;
}

int32_t ConvertIpv4Entry(uint32_t, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    return ConvertIpv4(psz, pValue);
}

int32_t ConvertCidrEntry(uint32_t, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    return ConvertIpv4Cidr(psz, pValue);
}

int32_t ConvertMacEntry(uint32_t, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    return ConvertMac(psz, pValue);
}

int32_t ConvertUuidEntry(uint32_t, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    return ConvertUuid(psz, pValue);
}

// A refused boolean is reported like an unknown option, with the word in str.
int32_t ConvertBool(uint32_t uType, uint32_t, const char *psz, RTOPTVALUE *pValue)
{
    bool f = false;
    bool const fOk = uType == RTOPT_TYPE_BOOL ? MatchBoolWord(psz, g_aBoolWords, &f)
                                              : MatchBoolWord(psz, g_aOnOffWords, &f);
    if (!fOk) {
        pValue->str = psz;
        return RTE_OPTION_UNKNOWN;
    }
    pValue->f = f;
    return RT_OK;
}

using ConvertFn = int32_t (*)(uint32_t uType, uint32_t fFlags, const char *psz, RTOPTVALUE *pValue);

struct ValueTypeInfo {
    ConvertFn pfnConvert;   // nullptr: undefined type
    bool fTakesBase;
};

// Indexed by value type; types 0, 12, 13 and 22-31 have no conversion.
constexpr ValueTypeInfo g_aValueTypes[RTOPT_TYPE_MASK + 1] = {
    {nullptr, false},
    {ConvertString, false},
    {ConvertNumber, true}, {ConvertNumber, true}, {ConvertNumber, true}, {ConvertNumber, true},
    {ConvertNumber, true}, {ConvertNumber, true}, {ConvertNumber, true}, {ConvertNumber, true},
    {ConvertIpv4Entry, false},
    {ConvertCidrEntry, false},
    {nullptr, false}, {nullptr, false},
    {ConvertMacEntry, false},
    {ConvertUuidEntry, false},
    {ConvertBool, false}, {ConvertBool, false},
    {ConvertPair, true}, {ConvertPair, true}, {ConvertPair, true}, {ConvertPair, true},
};

} // namespace

int32_t rtOptConvertValue(uint32_t fFlags, const char *pszValue, const RTOPTDEF *pDef, RTOPTVALUE *pValue)
{
    ValueTypeInfo const &Type = g_aValueTypes[fFlags & RTOPT_TYPE_MASK];
    uint32_t const fBase = fFlags & kBaseMask;
    int32_t rc;
    if (!Type.pfnConvert || (fBase && (!Type.fTakesBase || (fBase & (fBase - 1)))))
        rc = RTE_INTERNAL_ERROR;
    else
        rc = Type.pfnConvert(fFlags & RTOPT_TYPE_MASK, fFlags, pszValue, pValue);
    if (rc < 0 && rc != RTE_OPTION_UNKNOWN) {
        *pValue = RTOPTVALUE{};
        pValue->def = pDef;
    }
    return rc;
}
