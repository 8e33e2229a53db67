// Runtime initialisation: the first call sets everything up, later calls
// only merge flags and check that they agree with the first.
#include <windows.h>

#include <quab/init.h>
#include <quab/thread.h>

#include "r3/win/init-win-internal.h"

// The program path given by a caller must leave room in the record.
constexpr size_t kProgramPathMax = 4068;

constinit static int32_t g_cInitUsers = 0;
constinit static bool g_fInitializing = false;
constinit static bool g_fTerminating = false;
constinit static uint32_t g_fInitFlags = 0;
constinit static int g_cArgsSaved = -1;
constinit static char **g_papszArgsSaved = nullptr;
constinit static uint32_t g_uProcessSelf = 0;
constinit static uint64_t g_u64ProgramStartNanoTS = 0;

bool RTR3InitIsInitialized()
{
    return __atomic_load_n(&g_cInitUsers, __ATOMIC_ACQUIRE) > 0;
}

bool RTR3InitIsInProgress()
{
    return __atomic_load_n(&g_fInitializing, __ATOMIC_ACQUIRE);
}

static uint64_t rtR3InitNanoTS()
{
    LARGE_INTEGER liFreq, liNow;
    if (!QueryPerformanceFrequency(&liFreq) || liFreq.QuadPart <= 0 || !QueryPerformanceCounter(&liNow))
        return 0;
    uint64_t const uFreq = static_cast<uint64_t>(liFreq.QuadPart);
    uint64_t const uTicks = static_cast<uint64_t>(liNow.QuadPart);
    return uTicks / uFreq * UINT64_C(1000000000) + uTicks % uFreq * UINT64_C(1000000000) / uFreq;
}

static int32_t rtR3InitSetProgramPath(const char *pszProgramPath)
{
    size_t cch = 0;
    while (cch < kProgramPathMax && pszProgramPath[cch])
        cch++;
    if (cch >= kProgramPathMax)
        return RTE_BUFFER_OVERFLOW;
    __builtin_memcpy(g_szExecPath, pszProgramPath, cch);
    g_szExecPath[cch] = '\0';
    rtR3InitParseExecPath();
    return RT_OK;
}

static int32_t rtR3InitSaveArgs(int cArgs, char ***ppapszArgs)
{
    if (cArgs == 0)
        return RT_OK;
    char **papszArgs = ppapszArgs ? *ppapszArgs : nullptr;
    if (g_cArgsSaved == -1) {
        g_cArgsSaved = cArgs;
        g_papszArgsSaved = papszArgs;
        return RT_OK;
    }
    if (g_cArgsSaved != cArgs || g_papszArgsSaved != papszArgs)
        return RTE_WRONG_SEQUENCE;
    return RT_OK;
}

// Registered as the first exit callback, so it runs last among them.
static void rtR3AtExitCallback()
{
    __atomic_store_n(&g_fTerminating, true, __ATOMIC_RELEASE);
    // The default and the release logger would be flushed here while the
    // runtime is in use; this system never creates either.
}

static int32_t rtR3InitBody(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    RT_TRY(rtR3InitWinFirst(fFlags));

    g_uProcessSelf = GetCurrentProcessId();
    g_fInitFlags |= fFlags;

    int32_t rc = RTThreadInit();
    if (RT_FAILURE_NP(rc))
        return rc;

    if (pszProgramPath)
        RT_TRY(rtR3InitSetProgramPath(pszProgramPath));
    else {
        RT_TRY(rtProcInitExePath(g_szExecPath, kProgramPathMax));
        rtR3InitParseExecPath();
    }

    RT_TRY(rtR3InitSaveArgs(cArgs, ppapszArgs));

    g_u64ProgramStartNanoTS = rtR3InitNanoTS();
    rtR3AtExitRegister(rtR3AtExitCallback);
    return RT_OK;
}

int32_t RTR3Init(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    if (__atomic_add_fetch(&g_cInitUsers, 1, __ATOMIC_ACQ_REL) == 1) {
        __atomic_store_n(&g_fInitializing, true, __ATOMIC_RELEASE);
        int32_t const rc = rtR3InitBody(fFlags, cArgs, ppapszArgs, pszProgramPath);
        __atomic_store_n(&g_fInitializing, false, __ATOMIC_RELEASE);
        if (RT_FAILURE_NP(rc)) {
            __atomic_sub_fetch(&g_cInitUsers, 1, __ATOMIC_ACQ_REL);
            return rc;
        }
        return RT_OK;
    }

    // A later call: merge, catch up on a skipped native setup, and check
    // that the arguments agree with the ones first given.
    g_fInitFlags |= fFlags & RTR3INIT_F_RECORD_ONLY;
    if (!(fFlags & RTR3INIT_F_SKIP_NATIVE_SETUP) && (g_fInitFlags & RTR3INIT_F_SKIP_NATIVE_SETUP)) {
        g_fInitFlags &= ~RTR3INIT_F_SKIP_NATIVE_SETUP;
        g_fInitFlags |= fFlags & RTR3INIT_F_DLL_SEARCH_SYSTEM32;
        (void)rtR3InitWinHardening(g_fInitFlags | fFlags);
    }

    if (pszProgramPath)
        RT_TRY(rtR3InitSetProgramPath(pszProgramPath));

    RT_TRY(rtR3InitSaveArgs(cArgs, ppapszArgs));
    return RT_OK;
}

int32_t RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags)
{
    return RTR3Init(fFlags, cArgs, ppapszArgs, nullptr);
}
