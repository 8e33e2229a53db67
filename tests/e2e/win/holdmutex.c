/* Holds a named mutex for the tests of the single-instance guard.
 *
 * usage: holdmutex NAME TIMEOUT_MS
 *
 * Creates (or opens) the mutex NAME, prints "held" on standard output and
 * keeps it until standard input reaches its end or TIMEOUT_MS passes, so a
 * test that dies cannot leave it held for the next one. Exit code: 0, or 1
 * when the mutex could not be created. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static DWORD WINAPI drain_stdin(void *unused)
{
    char buf[256];
    DWORD n;
    (void)unused;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof(buf), &n, NULL) && n)
        ;
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: holdmutex NAME TIMEOUT_MS\n");
        return 2;
    }
    HANDLE m = CreateMutexW(NULL, TRUE, argv[1]);
    if (!m) {
        fprintf(stderr, "holdmutex: CreateMutexW failed %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    HANDLE t = CreateThread(NULL, 0, drain_stdin, NULL, 0, NULL);
    WaitForSingleObject(t, (DWORD)_wtoi(argv[2]));
    ReleaseMutex(m);
    CloseHandle(m);
    return 0;
}
