// The assertion-message facility: fatal runtime texts reach the loggers'
// callbacks and the standard error handle without allocating, so they work
// however broken the process is.
#include <windows.h>

#include <quab/assert.h>
#include <quab/string.h>

namespace {

constexpr size_t RTASSERT_MSG_MAX = 4096;

// Kept after the output for crash diagnostics.
constinit char g_szRTAssertMsg2[RTASSERT_MSG_MAX] = {};
constinit RTASSERTOUTPUTFN g_pfnRTAssertOutput = nullptr;
constinit RTASSERTOUTPUTVFN g_pfnRTAssertOutputV = nullptr;

using PFNWSAGETLASTERROR = int(WINAPI *)();
using PFNWSASETLASTERROR = void(WINAPI *)(int);

} // namespace

void RTAssertSetOutputCallbacks(RTASSERTOUTPUTFN pfnOutput, RTASSERTOUTPUTVFN pfnOutputV)
{
    g_pfnRTAssertOutput = pfnOutput;
    g_pfnRTAssertOutputV = pfnOutputV;
}

void rtAssertLogOutput(const char *, ...) {}

void rtAssertLogOutputV(const char *, va_list) {}

const char *RTAssertLastMessage()
{
    return g_szRTAssertMsg2;
}

void RTAssertMsg2V(const char *pszFormat, va_list args)
{
    DWORD const dwSavedErr = GetLastError();
    // The socket error is only worth keeping when a socket library is loaded.
    HMODULE hWs2 = GetModuleHandleW(L"ws2_32.dll");
    auto pfnWsaGet = hWs2 ? reinterpret_cast<PFNWSAGETLASTERROR>(
                                reinterpret_cast<void *>(GetProcAddress(hWs2, "WSAGetLastError")))
                          : nullptr;
    auto pfnWsaSet = hWs2 ? reinterpret_cast<PFNWSASETLASTERROR>(
                                reinterpret_cast<void *>(GetProcAddress(hWs2, "WSASetLastError")))
                          : nullptr;
    int const iSavedWsaErr = pfnWsaGet ? pfnWsaGet() : 0;

    va_list argsCopy;
    va_copy(argsCopy, args);
    RTStrFmtToBufV(g_szRTAssertMsg2, sizeof(g_szRTAssertMsg2), pszFormat, argsCopy);
    va_end(argsCopy);

    if (g_pfnRTAssertOutputV) {
        va_copy(argsCopy, args);
        g_pfnRTAssertOutputV(pszFormat, argsCopy);
        va_end(argsCopy);
    }
    if (g_pfnRTAssertOutput)
        g_pfnRTAssertOutput("%s", g_szRTAssertMsg2);

    HANDLE hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr != INVALID_HANDLE_VALUE && hStdErr != nullptr) {
        char szLocal[RTASSERT_MSG_MAX];
        va_copy(argsCopy, args);
        size_t const cch = RTStrFmtToBufV(szLocal, sizeof(szLocal), pszFormat, argsCopy);
        va_end(argsCopy);
        DWORD cbWritten = 0;
        WriteFile(hStdErr, szLocal, static_cast<DWORD>(cch), &cbWritten, nullptr);
    }

    if (pfnWsaSet)
        pfnWsaSet(iSavedWsaErr);
    SetLastError(dwSavedErr);
}

void RTAssertMsg2(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTAssertMsg2V(pszFormat, args);
    va_end(args);
}

void RTAssertPanicStop()
{
    // Nothing sensible can follow; a debugger that continues lands here again.
    for (;;)
        __asm__ __volatile__("int3");
}
