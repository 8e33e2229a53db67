// The process-wide Park-Miller generator behind RTRandRange, created on
// first use.
#include <quab/rand.h>

namespace {

struct ParkMillerRandom {
    uint32_t u32State;
};

constinit ParkMillerRandom g_Rand = {0};
// 0 not created, 1 being created, 2 ready.
constinit uint32_t g_uRandInitState = 0;

uint32_t parkMillerNext(ParkMillerRandom *pThis)
{
    uint32_t uState = pThis->u32State;
    if (!uState)
        uState = 0x013268A6;
    // The modulus is 2^31 - 1, so the remainder folds the high part onto the
    // low one (no 64-bit division, which the stub has no helper for).
    uint64_t const u64 = static_cast<uint64_t>(uState) * 16807;
    uint32_t uRem = static_cast<uint32_t>(u64 & 0x7FFFFFFF) + static_cast<uint32_t>(u64 >> 31);
    if (uRem >= 0x7FFFFFFF)
        uRem -= 0x7FFFFFFF;
    uState = uRem;
    pThis->u32State = uState;
    return uState;
}

ParkMillerRandom *randGet()
{
    if (__atomic_load_n(&g_uRandInitState, __ATOMIC_ACQUIRE) == 2)
        return &g_Rand;
    uint32_t uExpected = 0;
    if (__atomic_compare_exchange_n(&g_uRandInitState, &uExpected, 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        g_Rand.u32State = 0x20080806;
        g_Rand.u32State = static_cast<uint32_t>(__builtin_ia32_rdtsc()) >> 8;
        __atomic_store_n(&g_uRandInitState, 2, __ATOMIC_RELEASE);
    } else {
        // Another thread is creating it; the creation is a few instructions.
        while (__atomic_load_n(&g_uRandInitState, __ATOMIC_ACQUIRE) != 2)
            __builtin_ia32_pause();
    }
    return &g_Rand;
}

} // namespace

uint32_t RTRandRange(uint32_t uFirst, uint32_t uLast)
{
    ParkMillerRandom *pRand = randGet();
    uint32_t const uState = parkMillerNext(pRand);
    if (uLast <= uFirst)
        return uFirst;
    uint32_t const uSpan = uLast - uFirst;
    if (uSpan < 0x7FFFFFF)
        return uFirst + (uState >> 1) % (uSpan + 1);
    // Wide spans combine two draws; nothing in this program asks for them.
    uint32_t const u32 = (uState << 16) ^ parkMillerNext(pRand);
    return uSpan == UINT32_MAX ? u32 : uFirst + u32 % (uSpan + 1);
}
