/* Holds a file or the installer's mutex for the extraction and cleanup
 * tests, so that another process's handle meets the installer's.
 *
 *   fs-hold file PATH ACCESS SHARE STOPFILE   open PATH and keep it open
 *   fs-hold spin PATH STOPFILE                open PATH for writing as soon
 *                                             as anyone lets us, keep it open
 *   fs-hold mutex NAME STOPFILE               own a named mutex
 *   fs-hold tryopen PATH                      exit 0 if PATH opens for
 *                                             writing, else its error code
 *   fs-hold probe PATH WATCH                  as tryopen, once WATCH exists
 *
 * ACCESS is a combination of r and w; SHARE of r, w and d (or "-" for none).
 * The holder prints "ready" once it holds what it was asked to and lets go
 * when STOPFILE appears (or after 120 s). */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static DWORD flags(const wchar_t *pwsz, DWORD r, DWORD w, DWORD d)
{
    DWORD f = 0;
    for (; *pwsz; pwsz++)
        f |= *pwsz == L'r' ? r : *pwsz == L'w' ? w : *pwsz == L'd' ? d : 0;
    return f;
}

static void waitForStop(const wchar_t *pwszStop)
{
    for (int i = 0; i < 12000; i++) {
        if (GetFileAttributesW(pwszStop) != INVALID_FILE_ATTRIBUTES)
            return;
        Sleep(10);
    }
}

static void ready(void)
{
    printf("ready\n");
    fflush(stdout);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc == 6 && !wcscmp(argv[1], L"file")) {
        HANDLE h = CreateFileW(argv[2], flags(argv[3], GENERIC_READ, GENERIC_WRITE, 0),
                               flags(argv[4], FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE), NULL,
                               OPEN_ALWAYS, 0, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            printf("open failed: %lu\n", GetLastError());
            return 2;
        }
        ready();
        waitForStop(argv[5]);
        CloseHandle(h);
        return 0;
    }
    if (argc == 4 && !wcscmp(argv[1], L"spin")) {
        ready();
        for (;;) {
            HANDLE h = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   NULL, OPEN_EXISTING, 0, NULL);
            if (h != INVALID_HANDLE_VALUE) {
                printf("holding\n");
                fflush(stdout);
                waitForStop(argv[3]);
                CloseHandle(h);
                return 0;
            }
            if (GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES)
                return 1;
        }
    }
    if (argc == 4 && !wcscmp(argv[1], L"mutex")) {
        HANDLE h = CreateMutexW(NULL, TRUE, argv[2]);
        if (!h)
            return 2;
        ready();
        waitForStop(argv[3]);
        CloseHandle(h);
        return 0;
    }
    if (argc == 4 && !wcscmp(argv[1], L"probe")) {
        ready();
        for (int i = 0; i < 120000 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES; i++)
            Sleep(1);
    }
    if ((argc == 3 && !wcscmp(argv[1], L"tryopen")) || (argc == 4 && !wcscmp(argv[1], L"probe"))) {
        HANDLE h = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return (int)GetLastError();
        CloseHandle(h);
        return 0;
    }
    fprintf(stderr, "usage: fs-hold file|spin|mutex|tryopen ...\n");
    return 3;
}
