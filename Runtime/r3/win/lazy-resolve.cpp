// The lazy import mechanism: a library is loaded on the first call of any of
// its functions and each function is looked up on its own first call. No
// lock: racing threads load the same library and store the same address.
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
    __atomic_store_n(&pLib->hMod, hMod, __ATOMIC_RELEASE);
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
