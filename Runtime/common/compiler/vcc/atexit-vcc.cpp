// Exit callbacks: registered lock-free, run latest first when the process ends.
#include <quab/init.h>
#include <quab/mem.h>

namespace {
constexpr uint32_t kEntriesPerBlock = 256;
constexpr uint32_t kBlocks = RTR3ATEXIT_MAX / kEntriesPerBlock;
static_assert(kBlocks == 32);

struct AtExitBlock {
    PFNRTR3ATEXIT apfn[kEntriesPerBlock];
};
}

constinit static AtExitBlock *g_apAtExitBlocks[kBlocks] = {};
constinit static uint32_t g_cAtExitEntries = 0;

int32_t rtR3AtExitRegister(PFNRTR3ATEXIT pfnCallback)
{
    uint32_t const i = __atomic_fetch_add(&g_cAtExitEntries, 1, __ATOMIC_SEQ_CST);
    if (i >= RTR3ATEXIT_MAX) {
        __atomic_fetch_sub(&g_cAtExitEntries, 1, __ATOMIC_SEQ_CST);
        return -1;
    }

    AtExitBlock **ppBlock = &g_apAtExitBlocks[i / kEntriesPerBlock];
    AtExitBlock *pBlock = __atomic_load_n(ppBlock, __ATOMIC_ACQUIRE);
    if (!pBlock) {
        AtExitBlock *pNew = static_cast<AtExitBlock *>(RTMemAllocZTag(sizeof(AtExitBlock), "atexit-vcc"));
        if (!pNew)
            return -1;   // the slot stays empty; running skips it
        AtExitBlock *pExpected = nullptr;
        if (__atomic_compare_exchange_n(ppBlock, &pExpected, pNew, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
            pBlock = pNew;
        else {
            RTMemFree(pNew);
            pBlock = pExpected;
        }
    }
    __atomic_store_n(&pBlock->apfn[i % kEntriesPerBlock], pfnCallback, __ATOMIC_RELEASE);
    return 0;
}

void rtR3AtExitRun()
{
    uint32_t i = __atomic_load_n(&g_cAtExitEntries, __ATOMIC_ACQUIRE);
    if (i > RTR3ATEXIT_MAX)
        i = RTR3ATEXIT_MAX;
    while (i > 0) {
        AtExitBlock *pBlock = __atomic_load_n(&g_apAtExitBlocks[(i - 1) / kEntriesPerBlock], __ATOMIC_ACQUIRE);
        if (!pBlock) {
            i = (i - 1) / kEntriesPerBlock * kEntriesPerBlock;
            continue;
        }
        i--;
        // A callback that looks at the table sees only what is still to run.
        __atomic_store_n(&g_cAtExitEntries, i + 1, __ATOMIC_RELEASE);
        PFNRTR3ATEXIT pfn = __atomic_exchange_n(&pBlock->apfn[i % kEntriesPerBlock], nullptr, __ATOMIC_ACQ_REL);
        if (pfn)
            pfn();
    }
    __atomic_store_n(&g_cAtExitEntries, 0, __ATOMIC_RELEASE);
}
