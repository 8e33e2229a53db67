/* Starts a program with a command line given as UTF-16 units in hexadecimal,
 * so that tests can hand a child units no UTF-8 file can carry (a lone
 * surrogate, a non-character). Prints the child's full exit code.
 *
 * usage: spawn-utf16 PROGRAM HEXUNITS   (e.g. 0041d8000042 = "A", D800, "B") */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#include "../../harness/launch.h"

static int hexval(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3 || wcslen(argv[2]) % 4) {
        fwprintf(stderr, L"usage: spawn-utf16 PROGRAM HEXUNITS\n");
        return 120;
    }
    size_t cwc = wcslen(argv[2]) / 4;
    wchar_t *line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (cwc + 1) * sizeof(wchar_t));
    for (size_t i = 0; i < cwc; i++) {
        unsigned u = 0;
        for (int k = 0; k < 4; k++) {
            int v = hexval(argv[2][i * 4 + k]);
            if (v < 0)
                return 120;
            u = u * 16 + (unsigned)v;
        }
        line[i] = (wchar_t)u;
    }
    line[cwc] = 0;

    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    startup_with_std_handles(&si);
    if (!CreateProcessW(argv[1], line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        fwprintf(stderr, L"spawn-utf16: CreateProcessW failed: %lu\n", GetLastError());
        return 121;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    fflush(stderr);
    printf("exit %lu\n", (unsigned long)code);
    return 0;
}
