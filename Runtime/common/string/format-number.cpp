// Integer rendering shared by the formatting engine and the bounded number-to-buffer helpers.
#include <quab/fmt.h>

namespace {

// The engine's stack buffers are 64 bytes: 63 characters and the terminator.
constexpr int kcchFieldMax = 63;
constexpr unsigned kSizeFlags = FMT_F_8BIT | FMT_F_16BIT | FMT_F_32BIT | FMT_F_64BIT;

// Decimal digits of a 32-bit value, written backwards before pch, at least
// cMinDigits of them (zeros fill up): two digits per division shortens the
// chain of dependent multiplications the divisions become.
char *rtFmtDecimalBackwards(uint32_t u32, char *pch, int cMinDigits, const char *pachDigits)
{
    char *const pchEnd = pch;
    while (u32 >= 100) {
        uint32_t const uPair = u32 % 100;
        u32 /= 100;
        *--pch = pachDigits[uPair % 10];
        *--pch = pachDigits[uPair / 10];
    }
    do {
        *--pch = pachDigits[u32 % 10];
        u32 /= 10;
    } while (u32);
    while (pchEnd - pch < cMinDigits)
        *--pch = '0';
    return pch;
}

// Writes the digits backwards, ending just before pchEnd, and returns their
// count: they come out in reading order. The common bases get constant
// divisors, and values that fit 32 bits use 32-bit division: on i686 every
// 64-bit division is a library call.
template <unsigned kBase>
int rtFmtDigitsBackwards(uint64_t uMagnitude, char *pchEnd, const char *pachDigits)
{
    char *pch = pchEnd;
    if constexpr (kBase == 10) {
        // One 64-bit division per nine digits rather than per digit: the
        // remainder below 10^9 is taken apart in 32 bits, its zeros included.
        while (uMagnitude > UINT32_MAX) {
            uint64_t const uHigh = uMagnitude / 1000000000u;
            pch = rtFmtDecimalBackwards(static_cast<uint32_t>(uMagnitude - uHigh * 1000000000u), pch, 9, pachDigits);
            uMagnitude = uHigh;
        }
        pch = rtFmtDecimalBackwards(static_cast<uint32_t>(uMagnitude), pch, 1, pachDigits);
    } else {
        // Powers of two: the 64-bit shifts need no library call.
        while (uMagnitude > UINT32_MAX) {
            *--pch = pachDigits[uMagnitude % kBase];
            uMagnitude /= kBase;
        }
        uint32_t u32 = static_cast<uint32_t>(uMagnitude);
        do {
            *--pch = pachDigits[u32 % kBase];
            u32 /= kBase;
        } while (u32);
    }
    return static_cast<int>(pchEnd - pch);
}

int rtFmtDigitsBackwardsAnyBase(uint64_t uMagnitude, unsigned uiBase, char *pchEnd, const char *pachDigits)
{
    char *pch = pchEnd;
    do {
        *--pch = pachDigits[uMagnitude % uiBase];
        uMagnitude /= uiBase;
    } while (uMagnitude);
    return static_cast<int>(pchEnd - pch);
}

int rtFmtDigits(uint64_t uMagnitude, unsigned uiBase, char *pchEnd, const char *pachDigits)
{
    switch (uiBase) {
    case 10: return rtFmtDigitsBackwards<10>(uMagnitude, pchEnd, pachDigits);
    case 16: return rtFmtDigitsBackwards<16>(uMagnitude, pchEnd, pachDigits);
    case 8: return rtFmtDigitsBackwards<8>(uMagnitude, pchEnd, pachDigits);
    default: return rtFmtDigitsBackwardsAnyBase(uMagnitude, uiBase, pchEnd, pachDigits);
    }
}

int rtFmtToBuf(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uiBase, int cchWidth, int cchPrecision,
               unsigned fFlags)
{
    if (cbBuf >= 64)
        return RTFmtNumber(pszBuf, u64Value, uiBase, cchWidth, cchPrecision, fFlags);
    if (cbBuf == 0)
        return RTE_BUFFER_OVERFLOW;

    char szTmp[64];
    int const cch = RTFmtNumber(szTmp, u64Value, uiBase, cchWidth, cchPrecision, fFlags);
    if (static_cast<size_t>(cch) < cbBuf) {
        __builtin_memcpy(pszBuf, szTmp, static_cast<size_t>(cch) + 1);
        return cch;
    }
    __builtin_memcpy(pszBuf, szTmp, cbBuf - 1);
    pszBuf[cbBuf - 1] = '\0';
    return RTE_BUFFER_OVERFLOW;
}

} // namespace

int RTFmtNumber(char *psz, uint64_t u64Value, unsigned uiBase, int cchWidth, int cchPrecision, unsigned fFlags)
{
    // Bases outside 2..16 would loop forever or index past the digit table.
    if (uiBase < 2 || uiBase > 16)
        uiBase = 10;
    const char *pachDigits = (fFlags & FMT_F_CAPITAL) ? "0123456789ABCDEF" : "0123456789abcdef";

    if (fFlags & FMT_F_LEFT)
        fFlags &= ~FMT_F_ZEROPAD;
    if ((fFlags & FMT_F_GROUP) && (uiBase != 10 || (fFlags & FMT_F_ZEROPAD)))
        fFlags &= ~FMT_F_GROUP;

    // A 32-bit argument zero-extended by the caller must still show its sign.
    bool fNegative = false;
    uint64_t uMagnitude = u64Value;
    if (!(fFlags & FMT_F_64BIT) && (u64Value >> 32) == 0) {
        uint32_t const u32 = static_cast<uint32_t>(u64Value);
        if ((fFlags & FMT_F_SIGNED) && (u32 & UINT32_C(0x80000000))) {
            fNegative = true;
            uMagnitude = static_cast<uint32_t>(0u - u32);
        }
    } else if ((fFlags & FMT_F_SIGNED) && (u64Value >> 63)) {
        fNegative = true;
        uMagnitude = 0 - u64Value;
    }

    char achDigits[64];   // a 64-bit value has at most 64 digits (base 2)
    char *const pchDigitsEnd = &achDigits[sizeof(achDigits)];
    int const cchDigits = rtFmtDigits(uMagnitude, uiBase, pchDigitsEnd, pachDigits);
    int cchNumber = cchDigits;
    if (fFlags & FMT_F_GROUP) {
        if (cchDigits > 3)
            cchNumber += (cchDigits - 1) / 3;
        else
            fFlags &= ~FMT_F_GROUP;
    }

    char achPrefix[3];
    int cchPrefix = 0;
    if (fFlags & FMT_F_SIGNED) {
        if (fNegative)
            achPrefix[cchPrefix++] = '-';
        else if (fFlags & FMT_F_PLUS)
            achPrefix[cchPrefix++] = '+';
        else if (fFlags & FMT_F_BLANK)
            achPrefix[cchPrefix++] = ' ';
    }
    if ((fFlags & FMT_F_SPECIAL) && (uiBase == 8 || uiBase == 16)) {
        achPrefix[cchPrefix++] = '0';
        if (uiBase == 16)
            achPrefix[cchPrefix++] = (fFlags & FMT_F_CAPITAL) ? 'X' : 'x';
    }

    // Only a 64-bit value in base 2 can be longer than a field; keep its low digits.
    if (cchPrefix + cchNumber > kcchFieldMax)
        cchNumber = kcchFieldMax - cchPrefix;

    int cchPad = cchWidth >= 0 ? cchWidth - (cchPrefix + cchNumber) : 0;
    int const cchLimit = kcchFieldMax - cchPrefix - cchNumber;
    int cchPrecLeft = cchPrecision;
    int off = 0;

    if (!(fFlags & (FMT_F_ZEROPAD | FMT_F_LEFT)) && cchPad > 0) {
        if (cchPad >= cchLimit)
            cchPad = cchLimit - 1;
        for (int i = 0; i < cchPad; i++)
            psz[off++] = ' ';
    }
    for (int i = 0; i < cchPrefix; i++)
        psz[off++] = achPrefix[i];

    if (fFlags & FMT_F_ZEROPAD) {
        for (int i = 0; i < cchPad && off < cchLimit; i++) {
            psz[off++] = '0';
            cchPrecLeft--;
        }
    }
    for (int i = cchNumber; i < cchPrecLeft && off < cchLimit; i++)
        psz[off++] = '0';

    // The lowest digits are kept when the field limit cut the number.
    if (fFlags & FMT_F_GROUP) {
        char *pch = &psz[off + cchNumber];
        const char *pchDigit = pchDigitsEnd;
        int cInGroup = 0;
        for (int i = 0; i < cchNumber; i++) {
            if (cInGroup == 3) {
                *--pch = ' ';
                cInGroup = 0;
                continue;
            }
            *--pch = *--pchDigit;
            cInGroup++;
        }
    } else {
        const char *pchDigit = pchDigitsEnd - cchNumber;
        for (int i = 0; i < cchNumber; i++)
            psz[off + i] = pchDigit[i];
    }
    off += cchNumber;

    // Trailing blanks stop at the field limit too: precision zeros already
    // took room the width did not count, and the buffer is only 64 bytes.
    if ((fFlags & FMT_F_LEFT) && cchPad > 0) {
        if (cchPad >= cchLimit)
            cchPad = cchLimit - 1;
        for (int i = 0; i < cchPad && off < kcchFieldMax; i++)
            psz[off++] = ' ';
    }

    psz[off] = '\0';
    return off;
}

int RTFmtU32ToBuf(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uiBase, int cchWidth, int cchPrecision,
                  unsigned fFlags)
{
    return rtFmtToBuf(pszBuf, cbBuf, u32Value, uiBase, cchWidth, cchPrecision,
                      (fFlags & ~kSizeFlags) | FMT_F_32BIT);
}

int RTFmtU64ToBuf(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uiBase, int cchWidth, int cchPrecision,
                  unsigned fFlags)
{
    return rtFmtToBuf(pszBuf, cbBuf, u64Value, uiBase, cchWidth, cchPrecision,
                      (fFlags & ~kSizeFlags) | FMT_F_64BIT);
}
