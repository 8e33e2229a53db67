// 64-bit unsigned division for programs without a C runtime, in place of
// the compiler library's: the compiler calls these for 64-bit / and % on
// 32-bit x86. A divisor that fits 32 bits takes two divl instructions (a
// zero divisor faults in the first, as a division instruction does); a
// larger one leaves a quotient of at most 32 bits, found by shifting and
// subtracting. Ours also carry no unwind tables, which the library's would
// bring into the image as a section of their own.
#include <quab/types.h>

namespace {

// (uHi:uLo) / uDivisor for uHi < uDivisor, so that the quotient fits.
inline uint32_t rtDivWide(uint32_t uHi, uint32_t uLo, uint32_t uDivisor, uint32_t *puRem)
{
    uint32_t uQuot, uRem;
    __asm__("divl %4" : "=a"(uQuot), "=d"(uRem) : "a"(uLo), "d"(uHi), "rm"(uDivisor));
    *puRem = uRem;
    return uQuot;
}

} // namespace

extern "C" uint64_t __udivmoddi4(uint64_t uNum, uint64_t uDen, uint64_t *puRem)
{
    uint32_t const uDenHi = static_cast<uint32_t>(uDen >> 32);
    uint64_t uQuot = 0;
    uint64_t uRem = uNum;
    if (uDenHi == 0) {
        uint32_t const uDenLo = static_cast<uint32_t>(uDen);
        uint32_t uRem32 = 0;
        uint32_t const uQuotHi = rtDivWide(0, static_cast<uint32_t>(uNum >> 32), uDenLo, &uRem32);
        uint32_t const uQuotLo = rtDivWide(uRem32, static_cast<uint32_t>(uNum), uDenLo, &uRem32);
        uQuot = (static_cast<uint64_t>(uQuotHi) << 32) | uQuotLo;
        uRem = uRem32;
    } else if (uNum >= uDen) {
        // Both high words are non-zero here; line the divisor's top bit up
        // with the dividend's and walk down.
        int const cShift = __builtin_clz(uDenHi) - __builtin_clz(static_cast<uint32_t>(uNum >> 32));
        for (int i = cShift; i >= 0; i--) {
            uint64_t const uPart = uDen << i;
            if (uRem >= uPart) {
                uRem -= uPart;
                uQuot |= static_cast<uint64_t>(1) << i;
            }
        }
    }
    if (puRem)
        *puRem = uRem;
    return uQuot;
}

extern "C" uint64_t __udivdi3(uint64_t uNum, uint64_t uDen)
{
    return __udivmoddi4(uNum, uDen, nullptr);
}

extern "C" uint64_t __umoddi3(uint64_t uNum, uint64_t uDen)
{
    uint64_t uRem = 0;
    __udivmoddi4(uNum, uDen, &uRem);
    return uRem;
}
