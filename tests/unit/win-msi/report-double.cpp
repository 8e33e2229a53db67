// Recording report operations and the process-wide mode flags.
#include "report-double.h"

#include <quab/string.h>

#include "MorvStub.h"

std::vector<std::string> g_aNotifiedErrors;
bool g_fSilent = true;
uint32_t g_cVerbosity = 0;

int NotifyError(const char *pszFormat, ...)
{
    char *psz = nullptr;
    va_list va;
    va_start(va, pszFormat);
    RTStrFmtAllocV(&psz, pszFormat, va);
    va_end(va);
    g_aNotifiedErrors.push_back(psz ? psz : "<format failed>");
    RTStrDispose(psz);
    return 1;
}

// What runtime initialisation records before the first lazy call; this
// program does not run the installer's start-up.
#include <windows.h>

#include <gtest/gtest.h>

#include <quab/init.h>

namespace {

class LoaderConfigured : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!g_hModKernel32)
            g_hModKernel32 = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"kernel32.dll"));
        if (!g_hModNtDll)
            g_hModNtDll = reinterpret_cast<HINSTANCE__ *>(GetModuleHandleW(L"ntdll.dll"));
    }
};
const auto *g_pLoaderEnv = ::testing::AddGlobalTestEnvironment(new LoaderConfigured);

} // namespace
