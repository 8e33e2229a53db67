// Threads on Windows: the adopted main thread and named, waitable threads
// with a ready signal.
#include <windows.h>

#include <quab/err.h>
#include <quab/mem.h>
#include <quab/string.h>
#include <quab/thread.h>

namespace {
constexpr uint32_t kThreadMagic = 0x19640512u;
constexpr uint32_t kThreadMagicDead = 0x19640513u;

}

struct RTTHREADINT {
    uint32_t u32Magic;
    int32_t cRefs;              // the thread itself, plus the creator while it may still wait
    uint32_t fFlags;
    HANDLE hNative;             // null for the adopted thread
    HANDLE hEvtReady;           // manual reset: once signalled it stays so
    PFNRTTHREAD pfnThread;
    void *pvUser;
    int32_t rcThread;           // RTE_THREAD_RUNNING until the function returned
    char szName[RTTHREAD_NAME_LEN];
};

constinit static uint32_t g_fThreadInitState = 0;   // 0 none, 1 running, 2 done
constinit static DWORD g_iThreadTls = TLS_OUT_OF_INDEXES;

using PFNSETTHREADDESCRIPTION = HRESULT(WINAPI *)(HANDLE, const wchar_t *);
constinit static PFNSETTHREADDESCRIPTION g_pfnSetThreadDescription = nullptr;

static void rtThreadCopyName(char *pszDst, const char *pszSrc)
{
    size_t cch = 0;
    while (cch < RTTHREAD_NAME_LEN - 1 && pszSrc[cch])
        cch++;
    // Never leave half a UTF-8 sequence at the cut.
    if (pszSrc[cch] != '\0')
        while (cch > 0 && (static_cast<uint8_t>(pszSrc[cch]) & 0xC0) == 0x80)
            cch--;
    __builtin_memcpy(pszDst, pszSrc, cch);
    pszDst[cch] = '\0';
}

static RTTHREADINT *rtThreadAllocRecord(const char *pszName, uint32_t fFlags)
{
    auto *pThread = static_cast<RTTHREADINT *>(RTMemAllocZTag(sizeof(RTTHREADINT), "thread-win"));
    if (!pThread)
        return nullptr;
    pThread->hEvtReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!pThread->hEvtReady) {
        RTMemFree(pThread);
        return nullptr;
    }
    pThread->u32Magic = kThreadMagic;
    pThread->fFlags = fFlags;
    pThread->rcThread = RTE_THREAD_RUNNING;
    rtThreadCopyName(pThread->szName, pszName);
    return pThread;
}

static void rtThreadRelease(RTTHREADINT *pThread)
{
    if (__atomic_sub_fetch(&pThread->cRefs, 1, __ATOMIC_ACQ_REL) != 0)
        return;
    pThread->u32Magic = kThreadMagicDead;
    if (pThread->hNative)
        CloseHandle(pThread->hNative);
    CloseHandle(pThread->hEvtReady);
    RTMemFree(pThread);
}

static bool rtThreadIsValid(RTTHREAD hThread)
{
    return RT_VALID_PTR(hThread) && hThread->u32Magic == kThreadMagic;
}

int32_t RTThreadInit()
{
    uint32_t uExpected = 0;
    if (!__atomic_compare_exchange_n(&g_fThreadInitState, &uExpected, 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
        return RTI_ALREADY_INITIALIZED;

    DWORD const iTls = TlsAlloc();
    if (iTls == TLS_OUT_OF_INDEXES) {
        __atomic_store_n(&g_fThreadInitState, 0, __ATOMIC_RELEASE);
        return RTE_NO_TLS_SLOT;
    }
    RTTHREADINT *pMain = rtThreadAllocRecord("main", 0);
    if (!pMain) {
        TlsFree(iTls);
        __atomic_store_n(&g_fThreadInitState, 0, __ATOMIC_RELEASE);
        return RTE_NO_MEMORY;
    }
    pMain->cRefs = 1;
    if (!TlsSetValue(iTls, pMain)) {
        rtThreadRelease(pMain);
        TlsFree(iTls);
        __atomic_store_n(&g_fThreadInitState, 0, __ATOMIC_RELEASE);
        return RTE_TLS_SET_FAILED;
    }
    g_iThreadTls = iTls;

    // Names show in debuggers and crash dumps; older systems cannot take them.
    HMODULE const hKernel32 = GetModuleHandleW(L"kernel32.dll");
    if (hKernel32)
        g_pfnSetThreadDescription = reinterpret_cast<PFNSETTHREADDESCRIPTION>(
            reinterpret_cast<void *>(GetProcAddress(hKernel32, "SetThreadDescription")));
    __atomic_store_n(&g_fThreadInitState, 2, __ATOMIC_RELEASE);
    return RT_OK;
}

static DWORD WINAPI rtThreadNativeMain(void *pvThread)
{
    RTTHREADINT *pThread = static_cast<RTTHREADINT *>(pvThread);
    TlsSetValue(g_iThreadTls, pThread);
    if (g_pfnSetThreadDescription) {
        RTUTF16 wszName[RTTHREAD_NAME_LEN];
        RTUTF16 *pwszName = wszName;
        if (RT_SUCCESS_NP(RTStrToUtf16Ex(pThread->szName, RTSTR_MAX, &pwszName, RT_ELEMENTS(wszName), nullptr)))
            g_pfnSetThreadDescription(GetCurrentThread(), reinterpret_cast<wchar_t *>(wszName));
    }

    int32_t const rc = pThread->pfnThread(pThread, pThread->pvUser);
    __atomic_store_n(&pThread->rcThread, rc, __ATOMIC_RELEASE);
    TlsSetValue(g_iThreadTls, nullptr);
    rtThreadRelease(pThread);
    return static_cast<DWORD>(rc);
}

int32_t RTThreadCreate(RTTHREAD *phThread, PFNRTTHREAD pfnThread, void *pvUser, size_t cbStack, uint32_t fFlags,
                       const char *pszName)
{
    if (!RT_VALID_PTR(phThread) || !RT_VALID_PTR(reinterpret_cast<void *>(pfnThread)))
        return RTE_INVALID_POINTER;
    *phThread = NIL_RTTHREAD;
    if (!RT_VALID_PTR(pszName) || !*pszName)
        return RTE_INVALID_PARAMETER;
    if (fFlags & ~RTTHREADFLAGS_MASK)
        return RTE_INVALID_FLAGS;
    if (__atomic_load_n(&g_fThreadInitState, __ATOMIC_ACQUIRE) != 2)
        return RTE_WRONG_SEQUENCE;

    RTTHREADINT *pThread = rtThreadAllocRecord(pszName, fFlags);
    if (!pThread)
        return RTE_NO_MEMORY;
    pThread->pfnThread = pfnThread;
    pThread->pvUser = pvUser;
    // One reference for the thread, one for the creator until it has the
    // handle in hand (and, for waitable threads, until the wait saw the end).
    pThread->cRefs = 2;

    DWORD idThread = 0;
    HANDLE hNative = CreateThread(nullptr, cbStack, rtThreadNativeMain, pThread, CREATE_SUSPENDED, &idThread);
    if (!hNative) {
        int32_t const rc = RTErrConvertFromWinError(GetLastError());
        pThread->cRefs = 1;
        rtThreadRelease(pThread);
        return rc;
    }
    pThread->hNative = hNative;
    *phThread = pThread;
    ResumeThread(hNative);
    if (!(fFlags & RTTHREADFLAGS_WAITABLE))
        rtThreadRelease(pThread);
    return RT_OK;
}

int32_t RTThreadUserSignal(RTTHREAD hThread)
{
    if (!rtThreadIsValid(hThread))
        return RTE_INVALID_HANDLE;
    if (!SetEvent(hThread->hEvtReady))
        return RTErrConvertFromWinError(GetLastError());
    return RT_OK;
}

static int32_t rtThreadWaitNative(HANDLE hObject, uint32_t cMillies)
{
    switch (WaitForSingleObject(hObject, cMillies == RT_INDEFINITE_WAIT ? INFINITE : cMillies)) {
    case WAIT_OBJECT_0:
        return RT_OK;
    case WAIT_TIMEOUT:
        return RTE_TIMEOUT;
    default:
        return RTErrConvertFromWinError(GetLastError());
    }
}

int32_t RTThreadUserWait(RTTHREAD hThread, uint32_t cMillies)
{
    if (!rtThreadIsValid(hThread))
        return RTE_INVALID_HANDLE;
    return rtThreadWaitNative(hThread->hEvtReady, cMillies);
}

int32_t RTThreadWait(RTTHREAD hThread, uint32_t cMillies, int32_t *prcThread)
{
    if (!rtThreadIsValid(hThread))
        return RTE_INVALID_HANDLE;
    if (!(hThread->fFlags & RTTHREADFLAGS_WAITABLE) || !hThread->hNative)
        return RTE_THREAD_NOT_WAITABLE;
    int32_t const rc = rtThreadWaitNative(hThread->hNative, cMillies);
    if (RT_FAILURE_NP(rc))
        return rc;
    if (prcThread)
        *prcThread = __atomic_load_n(&hThread->rcThread, __ATOMIC_ACQUIRE);
    rtThreadRelease(hThread);
    return RT_OK;
}

RTTHREAD RTThreadSelf()
{
    if (__atomic_load_n(&g_fThreadInitState, __ATOMIC_ACQUIRE) != 2)
        return NIL_RTTHREAD;
    return static_cast<RTTHREAD>(TlsGetValue(g_iThreadTls));
}

const char *RTThreadGetName(RTTHREAD hThread)
{
    return rtThreadIsValid(hThread) ? hThread->szName : nullptr;
}
