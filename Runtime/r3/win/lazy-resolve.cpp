// The lazy import mechanism: a library is loaded on the first call of any of
// its functions and each function is looked up on its own first call. No
// lock: the splash thread and the main thread may make the first call of a
// library at the same time. Both then load it (the system maps it once and
// counts the references), the first record published is kept and the other
// given back; racing slot writes store the same address.
#include <quab/assert.h>
#include <quab/lazy.h>

RTLDRMOD rtLazyLibModule(RTLAZYLIB *pLib)
{
    RTLDRMOD hMod = __atomic_load_n(&pLib->hMod, __ATOMIC_ACQUIRE);
    if (hMod)
        return hMod;
    int32_t const rc = RTLdrOpenSystem(pLib->pszName, true, &hMod);
    if (rc < 0) {
        RTAssertMsg2("Lazy loader failed to load \"%s\": %Rrc\n", pLib->pszName, rc);
        RTAssertPanicStop();
    }
    RTLDRMOD hWinner = nullptr;
    if (!__atomic_compare_exchange_n(&pLib->hMod, &hWinner, hMod, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        // Loaded never-unload: releasing frees only our record.
        RTLdrRelease(hMod);
        return hWinner;
    }
    return hMod;
}

void rtLazySymbolResolve(RTLAZYLIB *pLib, const char *pszSymbol, void **ppvSlot)
{
    RTLDRMOD hMod = rtLazyLibModule(pLib);
    void *pvValue = nullptr;
    int32_t const rc = RTLdrFindSymbol(hMod, pszSymbol, &pvValue);
    if (rc < 0) {
        RTAssertMsg2("Lazy loader failed to resolve symbol \"%s\" in \"%s\": %Rrc\n", pszSymbol, pLib->pszName, rc);
        RTAssertPanicStop();
    }
    __atomic_store_n(ppvSlot, pvValue, __ATOMIC_RELEASE);
}

extern "C" void *rtLazyThunkResolve(const RTLAZYTHUNKDATA *pData)
{
    rtLazySymbolResolve(pData->pLib, pData->pszSymbol, pData->ppvSlot);
    return __atomic_load_n(pData->ppvSlot, __ATOMIC_ACQUIRE);
}

// Entered by a thunk's call: its record's address on top, the caller's
// return address and arguments above it. ECX and EDX are kept for callees
// that take arguments in them; the record is dropped before the jump, so the
// real function sees the stack exactly as its caller built it.
__asm__(".text\n"
        ".globl _rtLazyThunkCommon\n"
        "_rtLazyThunkCommon:\n"
        "\tpushl %ecx\n"
        "\tpushl %edx\n"
        "\tpushl 8(%esp)\n"
        "\tcall _rtLazyThunkResolve\n"
        "\taddl $4, %esp\n"
        "\tpopl %edx\n"
        "\tpopl %ecx\n"
        "\taddl $4, %esp\n"
        "\tjmp *%eax\n");
