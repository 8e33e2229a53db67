// Image entry point of programs without a C runtime: prepares the image,
// runs the static tables, builds argv and hands over to main.
#include <windows.h>

#include <quab/getopt.h>
#include <quab/string.h>

#include "nocrt-startup-internal.h"

int main(int argc, char **argv, char **envp);

extern "C" uintptr_t __stack_chk_guard;

namespace {
// The few fields of the 32-bit process environment block used here.
struct RtUnicodeString {
    uint16_t cbLength;
    uint16_t cbMaxLength;
    RTUTF16 *pwszBuffer;
};
struct RtProcessParameters {
    uint8_t abReserved[0x40];
    RtUnicodeString CommandLine;
};
struct RtPeb {
    uint8_t abReserved[8];
    void *pvImageBaseAddress;
    void *pvLdr;
    RtProcessParameters *pProcessParameters;
};
static_assert(__builtin_offsetof(RtPeb, pvImageBaseAddress) == 0x08);
static_assert(__builtin_offsetof(RtPeb, pProcessParameters) == 0x10);
static_assert(__builtin_offsetof(RtProcessParameters, CommandLine) == 0x40);

// The thread environment block points at the process's block at 0x30.
RtPeb *rtCurrentPeb()
{
    RtPeb *pPeb;
    __asm__("movl %%fs:0x30, %0" : "=r"(pPeb));
    return pPeb;
}
}

// The guard changes here, so this frame must not carry a canary; it never
// returns, which keeps the old value from ever being checked.
extern "C" __attribute__((no_stack_protector, noreturn)) void __stdcall rtExeStartup()
{
    RtPeb *pPeb = rtCurrentPeb();
    rtZeroSectionTails(pPeb->pvImageBaseAddress);

    __stack_chk_guard ^= static_cast<uintptr_t>(__builtin_ia32_rdtsc());

    initProcExecPath();

    int const rcInit = rtRunInitializers();
    if (rcInit != 0) {
        rtStdErrWriteString("A C static initializor failed (");
        rtStdErrWriteDecHex(static_cast<uint32_t>(rcInit));
        rtStdErrWrite("\r\n", 2);
        rtExeExit(rcInit, false);
    }

    // From here on the termination callbacks always run, and start-up
    // failures end with the runtime-initialisation exit code.
    constexpr int kExitStartupFailed = 3;
    RtProcessParameters *pParams = pPeb->pProcessParameters;
    if (!pParams) {
        rtStdErrWriteString("No command line\r\n");
        rtExeExit(kExitStartupFailed, true);
    }

    char *pszCmdLine = nullptr;
    RTUTF16 const *pwszCmdLine = pParams->CommandLine.pwszBuffer ? pParams->CommandLine.pwszBuffer : u"";
    size_t const cwcCmdLine = pParams->CommandLine.pwszBuffer ? pParams->CommandLine.cbLength / 2 : 0;
    int32_t rc = RTUtf16ToUtf8Ex(pwszCmdLine, cwcCmdLine, &pszCmdLine, 0, nullptr);
    if (RT_FAILURE_NP(rc)) {
        rtStdErrWriteStatus("Failed to convert command line to UTF-8: ", rc);
        rtExeExit(kExitStartupFailed, true);
    }

    char **papszArgs = nullptr;
    int cArgs = 0;
    rc = RTGetOptArgvSplit(&papszArgs, &cArgs, pszCmdLine, RTGETOPTARGV_IN_PLACE, nullptr);
    if (RT_FAILURE_NP(rc)) {
        rtStdErrWriteStatus("Error parsing command line: ", rc);
        rtExeExit(kExitStartupFailed, true);
    }

    rtExeExit(main(cArgs, papszArgs, nullptr), true);
}
