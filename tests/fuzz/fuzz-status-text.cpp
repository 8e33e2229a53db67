// Expands coded status texts from arbitrary pools: every piece must come from inside the pool.
#include "common/err/err-internal.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

namespace {

struct Bounds {
    const uint8_t *pbStart;
    const uint8_t *pbEnd;
    size_t cchSeen;
};

size_t CheckedOutput(void *pvArg, const char *pach, size_t cch)
{
    auto *pBounds = static_cast<Bounds *>(pvArg);
    auto const *pb = reinterpret_cast<const uint8_t *>(pach);
    bool const fInPool = pb >= pBounds->pbStart && pb + cch <= pBounds->pbEnd;
    bool const fReplacement = cch == 1 && pach[0] == '?';
    if (cch == 0 || (!fInPool && !fReplacement))
        __builtin_trap();
    pBounds->cchSeen += cch;
    return cch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    // Header: dictionary size (two bytes), offset and length (four bytes each); then dictionary words; then the pool.
    if (cbData < 10)
        return 0;
    uint32_t const cDict = (static_cast<uint32_t>(pbData[0]) | (static_cast<uint32_t>(pbData[1]) << 8)) % 257;
    uint32_t off, cb;
    memcpy(&off, pbData + 2, 4);
    memcpy(&cb, pbData + 6, 4);
    pbData += 10;
    cbData -= 10;

    size_t const cbDict = cDict * 4u;
    std::vector<uint32_t> vecDict(cDict ? cDict : 1);
    size_t const cbCopy = cbDict < cbData ? cbDict : cbData;
    memcpy(vecDict.data(), pbData, cbCopy);
    pbData += cbCopy;
    cbData -= cbCopy;

    // A separate copy so reads past the pool show up under the address sanitizer.
    std::vector<uint8_t> vecPool(pbData, pbData + cbData);
    StatusTextPool const Pool = {vecPool.data(), static_cast<uint32_t>(vecPool.size()), cDict,
                                 cDict ? vecDict.data() : nullptr};
    // Keep offsets near the pool so the interesting cases are reached.
    if (!vecPool.empty()) {
        off %= static_cast<uint32_t>(vecPool.size()) + 2;
        if (cb & 0x80000000u)
            cb &= 0x1FF;
    }
    Bounds Check = {vecPool.data(), vecPool.data() + vecPool.size(), 0};
    size_t const cch = rtStatusTextOut(&Pool, off, cb, CheckedOutput, &Check);
    if (cch != Check.cchSeen)
        __builtin_trap();
    return 0;
}
