// Start-up pieces every program without a C runtime shares: the static
// tables, the exit path, the executable path and direct standard-error output.
#include <windows.h>

#include <quab/assert.h>
#include <quab/init.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "nocrt-startup-internal.h"

// The loggers hear of assertion texts through these from the start on.
static void rtInitAssertOutputs()
{
    RTAssertSetOutputCallbacks(rtAssertLogOutput, rtAssertLogOutputV);
}

RT_STATIC_TABLE_ENTRY(RT_STATIC_SECTION_INIT, PFNRTSTATICINIT, g_pfnInitAssertOutputs, rtInitAssertOutputs);
RT_STATIC_TABLE_ENTRY(RT_STATIC_SECTION_TERM, PFNRTSTATICINIT, g_pfnTermStreams, rtStreamTerm);

int rtRunInitializers()
{
    for (PFNRTSTATICINITSTATUS *ppfn = __crt_xi_start__; ppfn < __crt_xi_end__; ppfn++)
        if (*ppfn) {
            int const rc = (*ppfn)();
            if (rc != 0)
                return rc;
        }
    for (PFNRTSTATICINIT *ppfn = __crt_xc_start__; ppfn < __crt_xc_end__; ppfn++)
        if (*ppfn)
            (*ppfn)();
    return 0;
}

void rtRunTerminators()
{
    for (PFNRTSTATICINIT *ppfn = __crt_xp_start__; ppfn < __crt_xp_end__; ppfn++)
        if (*ppfn)
            (*ppfn)();
    for (PFNRTSTATICINIT *ppfn = __crt_xt_start__; ppfn < __crt_xt_end__; ppfn++)
        if (*ppfn)
            (*ppfn)();
}

void rtExeExit(int rcExit, bool fRunCallbacks)
{
    if (fRunCallbacks) {
        rtR3AtExitRun();
        rtRunTerminators();
    }
    for (;;)
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(rcExit));
}

// ---------------------------------------------------------------------------
// Direct standard-error output: nothing here may allocate or format, since
// it reports failures from before those facilities can be relied on.

size_t rtStdErrFormatU32(char *pszBuf, uint32_t uValue, bool fHex, unsigned cDigits)
{
    static constexpr char s_achDigits[] = "0123456789abcdef";
    unsigned const uBase = fHex ? 16 : 10;
    char achRev[16];
    size_t cch = 0;
    do {
        achRev[cch++] = s_achDigits[uValue % uBase];
        uValue /= uBase;
    } while (uValue);
    while (cch < cDigits && cch < sizeof(achRev))
        achRev[cch++] = '0';
    for (size_t i = 0; i < cch; i++)
        pszBuf[i] = achRev[cch - 1 - i];
    pszBuf[cch] = '\0';
    return cch;
}

static size_t rtStdErrStrLen(const char *psz)
{
    size_t cch = 0;
    while (psz[cch])
        cch++;
    return cch;
}

void rtStdErrWrite(const char *pch, size_t cch)
{
    HANDLE const hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr == nullptr || hStdErr == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(hStdErr, pch, static_cast<DWORD>(cch), &cbWritten, nullptr);
}

void rtStdErrWriteFlush(const char *pch, size_t cch)
{
    rtStdErrWrite(pch, cch);
    HANDLE const hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr == nullptr || hStdErr == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(hStdErr, "", 0, &cbWritten, nullptr);
}

void rtStdErrWriteString(const char *psz)
{
    if (!RT_VALID_PTR(psz)) {
        char szHex[16];
        size_t const cchHex = rtStdErrFormatU32(szHex, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(psz)), true, 8);
        rtStdErrWrite("<pszString=", 11);
        rtStdErrWrite(szHex, cchHex);
        rtStdErrWrite(">", 1);
        return;
    }
    rtStdErrWrite(psz, rtStdErrStrLen(psz));
}

void rtStdErrWriteStatus(const char *pszMsg, int32_t rc)
{
    rtStdErrWriteString(pszMsg);
    char szNum[16];
    size_t off = 0;
    uint32_t uMagnitude = static_cast<uint32_t>(rc);
    if (rc < 0) {
        szNum[off++] = '-';
        uMagnitude = 0u - uMagnitude;
    }
    off += rtStdErrFormatU32(&szNum[off], uMagnitude, false, 0);
    rtStdErrWrite(szNum, off);
    rtStdErrWrite("\r\n", 2);
}

void rtStdErrWriteDecHex(uint32_t uValue)
{
    char sz[40];
    size_t off = rtStdErrFormatU32(sz, uValue, false, 0);
    sz[off++] = ' ';
    sz[off++] = '(';
    sz[off++] = '0';
    sz[off++] = 'x';
    off += rtStdErrFormatU32(&sz[off], uValue, true, 0);
    sz[off++] = ')';
    rtStdErrWrite(sz, off);
}

void rtStdErrWriteHex(uint32_t uValue)
{
    char sz[20] = { '0', 'x' };
    size_t const cch = 2 + rtStdErrFormatU32(&sz[2], uValue, true, 0);
    rtStdErrWrite(sz, cch);
}

void rtStdErrWriteHex8(uint32_t uValue)
{
    char sz[16];
    size_t const cch = rtStdErrFormatU32(sz, uValue, true, 8);
    rtStdErrWrite(sz, cch);
}

// ---------------------------------------------------------------------------

void initProcExecPath()
{
    static RTUTF16 s_wszPath[RTPATH_EXEC_MAX];
    DWORD const cwc = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t *>(s_wszPath), RTPATH_EXEC_MAX);
    if (cwc == 0) {
        DWORD const dwErr = GetLastError();
        rtStdErrWriteString("initProcExecPath: GetModuleFileNameW failed: ");
        rtStdErrWriteDecHex(dwErr);
        rtStdErrWrite("\r\n", 2);
        return;
    }

    char *pszPath = g_szExecPath;
    size_t cch = 0;
    int32_t const rc = RTUtf16ToUtf8Ex(s_wszPath, cwc, &pszPath, sizeof(g_szExecPath), &cch);
    if (RT_FAILURE_NP(rc)) {
        g_szExecPath[0] = '\0';
        rtStdErrWriteStatus("initProcExecPath: RTUtf16ToUtf8Ex failed: ", rc);
        return;
    }
    g_cchExecPath = cch;

    // The name starts after the last separator or a drive's colon; the
    // directory drops its trailing separators but keeps a drive root's.
    size_t offName = cch;
    while (offName > 0 && g_szExecPath[offName - 1] != '\\' && g_szExecPath[offName - 1] != '/'
           && g_szExecPath[offName - 1] != ':')
        offName--;
    g_offExecName = offName;
    size_t cchDir = offName;
    while (cchDir >= 2 && (g_szExecPath[cchDir - 1] == '\\' || g_szExecPath[cchDir - 1] == '/')
           && g_szExecPath[cchDir - 2] != ':')
        cchDir--;
    g_cchExecDir = cchDir;
}

// ---------------------------------------------------------------------------

using PFNNTPROTECTVIRTUALMEMORY = LONG(NTAPI *)(HANDLE, PVOID *, SIZE_T *, ULONG, ULONG *);

[[noreturn]] static void rtStartupFatal()
{
    for (;;)
        __builtin_trap();
}

void rtZeroSectionTails(void *pvImageBase)
{
    DWORD const dwVersion = GetVersion();
    if ((dwVersion & 0xFF) != 3 || ((dwVersion >> 8) & 0xFF) >= 50)
        return;

    uint8_t *pbImage = static_cast<uint8_t *>(pvImageBase);
    auto const *pDosHdr = reinterpret_cast<IMAGE_DOS_HEADER const *>(pbImage);
    auto const *pNtHdrs = reinterpret_cast<IMAGE_NT_HEADERS32 const *>(
        pDosHdr->e_magic == IMAGE_DOS_SIGNATURE ? pbImage + pDosHdr->e_lfanew : pbImage);
    if (pNtHdrs->Signature != IMAGE_NT_SIGNATURE)
        rtStartupFatal();

    static PFNNTPROTECTVIRTUALMEMORY s_pfnNtProtectVirtualMemory;
    auto const *paSections = IMAGE_FIRST_SECTION(pNtHdrs);
    for (unsigned i = 0; i < pNtHdrs->FileHeader.NumberOfSections; i++) {
        IMAGE_SECTION_HEADER const &sect = paSections[i];
        if (sect.Misc.VirtualSize <= sect.SizeOfRawData)
            continue;
        uint8_t *pbTail = pbImage + sect.VirtualAddress + sect.SizeOfRawData;
        size_t const cbTail = sect.Misc.VirtualSize - sect.SizeOfRawData;
        if (sect.Characteristics & IMAGE_SCN_MEM_WRITE) {
            __builtin_memset(pbTail, 0, cbTail);
            continue;
        }

        if (!s_pfnNtProtectVirtualMemory) {
            s_pfnNtProtectVirtualMemory = reinterpret_cast<PFNNTPROTECTVIRTUALMEMORY>(
                reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtProtectVirtualMemory")));
            if (!s_pfnNtProtectVirtualMemory)
                rtStartupFatal();
        }
        uintptr_t const uStart = reinterpret_cast<uintptr_t>(pbTail) & ~static_cast<uintptr_t>(0xFFF);
        uintptr_t const uEnd = (reinterpret_cast<uintptr_t>(pbTail) + cbTail + 0xFFF) & ~static_cast<uintptr_t>(0xFFF);
        PVOID pvRange = reinterpret_cast<PVOID>(uStart);
        SIZE_T cbRange = uEnd - uStart;
        ULONG fOldProt = 0;
        ULONG const fNewProt = sect.Characteristics & IMAGE_SCN_MEM_EXECUTE ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
        if (s_pfnNtProtectVirtualMemory(GetCurrentProcess(), &pvRange, &cbRange, fNewProt, &fOldProt) < 0)
            rtStartupFatal();
        __builtin_memset(pbTail, 0, cbTail);
        pvRange = reinterpret_cast<PVOID>(uStart);
        cbRange = uEnd - uStart;
        ULONG fIgnored = 0;
        if (s_pfnNtProtectVirtualMemory(GetCurrentProcess(), &pvRange, &cbRange, fOldProt, &fIgnored) < 0)
            rtStartupFatal();
    }
}

// GCC calls __main at the top of main() to run static constructors. This
// system has none (everything is constant-initialised), so it does nothing.
extern "C" void __main() {}
