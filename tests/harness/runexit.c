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
    wchar_t *line = child_command_line(argv[2], 2);
    if (!line)
        return 123;

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
