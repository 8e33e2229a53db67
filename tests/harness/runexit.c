/* Runs a program and records its full 32-bit exit code, which a Unix shell
 * would cut to 8 bits (3010 arrives as 194).
 *
 * usage: runexit CODEFILE PROGRAM [ARGS...]
 *        runexit CODEFILE @CMDFILE
 *
 * Everything after CODEFILE is passed on as the child's command line exactly
 * as it was written; with @CMDFILE the command line is the UTF-8 content of
 * that file, so tests control every byte of the quoting. The child inherits
 * the standard handles. The exit code is written in decimal to CODEFILE. */
#include <windows.h>
#include <stdio.h>

#include "launch.h"

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: runexit CODEFILE PROGRAM [ARGS...]\n");
        return 120;
    }
    wchar_t *line;
    if (argv[2][0] == L'@') {
        FILE *cf = _wfopen(argv[2] + 1, L"rb");
        if (!cf)
            return 123;
        static char utf8[65536];
        size_t n = fread(utf8, 1, sizeof(utf8) - 1, cf);
        fclose(cf);
        utf8[n] = 0;
        int cwc = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
        line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, cwc * sizeof(wchar_t));
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, line, cwc);
    } else {
        const wchar_t *cmd = skip_token(skip_token(GetCommandLineW()));
        size_t len = wcslen(cmd);
        line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (len + 1) * sizeof(wchar_t));
        memcpy(line, cmd, (len + 1) * sizeof(wchar_t));
    }

    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    startup_with_std_handles(&si);
    if (!CreateProcessW(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        fwprintf(stderr, L"runexit: CreateProcessW failed: %lu\n", GetLastError());
        return 121;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    FILE *f = _wfopen(argv[1], L"w");
    if (!f)
        return 122;
    fprintf(f, "%lu\n", (unsigned long)code);
    fclose(f);
    return 0;
}
