/* Starts a program and, for as long as it runs, tries again and again to
 * swap the files of one directory under it: opening each for writing,
 * renaming it away, deleting it, and replacing it with a file of its own.
 *
 * usage: racer DIR EXE [ARG...]
 * Output, after the program ended:
 *   exit=CODE attempts=N writes=N renames=N deletes=N replaces=N late=N
 * writes..replaces count the swaps that succeeded while the program still
 * ran; late counts those that succeeded as it ended (they say nothing about
 * the program). Exit code: 0, or 2 when the
 * program could not be started. */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static const char g_evil[] = "swapped by the racer";

static HANDLE g_proc;
static unsigned long g_attempts, g_writes, g_renames, g_deletes, g_replaces, g_late;

static int running(void) { return WaitForSingleObject(g_proc, 0) == WAIT_TIMEOUT; }

/* A success counts against the program only if it still ran a while after
 * the swap took effect: while a process ends, the system closes its handles
 * before the process counts as ended, and a swap in that moment comes after
 * everything the program did with its files. */
static void count(unsigned long *what)
{
    if (WaitForSingleObject(g_proc, 250) == WAIT_TIMEOUT)
        (*what)++;
    else
        g_late++;
}

static int write_evil(const wchar_t *path, DWORD disposition)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cb = 0;
    WriteFile(h, g_evil, sizeof(g_evil) - 1, &cb, NULL);
    CloseHandle(h);
    return 1;
}

static void race_one(const wchar_t *dir, const wchar_t *name)
{
    wchar_t path[MAX_PATH], aside[MAX_PATH + 16];
    _snwprintf(path, MAX_PATH, L"%ls\\%ls", dir, name);
    path[MAX_PATH - 1] = 0;
    _snwprintf(aside, MAX_PATH + 16, L"%ls.racer", path);
    aside[MAX_PATH + 15] = 0;
    g_attempts++;

    if (write_evil(path, OPEN_EXISTING))
        count(&g_writes);
    if (MoveFileExW(path, aside, MOVEFILE_REPLACE_EXISTING)) {
        count(&g_renames);
        write_evil(path, CREATE_NEW);
        DeleteFileW(aside);
    }
    if (DeleteFileW(path)) {
        count(&g_deletes);
        write_evil(path, CREATE_NEW);
    }
    if (write_evil(aside, CREATE_ALWAYS)) {
        if (MoveFileExW(aside, path, MOVEFILE_REPLACE_EXISTING))
            count(&g_replaces);
        else
            DeleteFileW(aside);
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: racer DIR EXE [ARG...]\n");
        return 2;
    }
    const wchar_t *dir = argv[1];
    /* The child's command line: everything after DIR, as it was given. */
    wchar_t *cmd = GetCommandLineW();
    int quoted = 0;
    for (int skip = 0; *cmd && skip < 2; cmd++) {
        if (*cmd == L'"')
            quoted = !quoted;
        else if ((*cmd == L' ' || *cmd == L'\t') && !quoted) {
            while (cmd[1] == L' ' || cmd[1] == L'\t')
                cmd++;
            skip++;
        }
        if (skip == 2)
            break;
    }
    if (*cmd == L' ' || *cmd == L'\t')
        cmd++;

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "racer: CreateProcessW failed: %lu\n", GetLastError());
        return 2;
    }
    g_proc = pi.hProcess;
    CloseHandle(pi.hThread);

    wchar_t pattern[MAX_PATH];
    _snwprintf(pattern, MAX_PATH, L"%ls\\*", dir);
    pattern[MAX_PATH - 1] = 0;
    while (running()) {
        WIN32_FIND_DATAW fd;
        HANDLE hFind = FindFirstFileW(pattern, &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            size_t n = wcslen(fd.cFileName);
            if (n > 6 && wcscmp(fd.cFileName + n - 6, L".racer") == 0)
                continue;
            race_one(dir, fd.cFileName);
        } while (running() && FindNextFileW(hFind, &fd));
        FindClose(hFind);
    }

    DWORD code = 0;
    WaitForSingleObject(g_proc, INFINITE);
    GetExitCodeProcess(g_proc, &code);
    printf("exit=%lu attempts=%lu writes=%lu renames=%lu deletes=%lu replaces=%lu late=%lu\n", code, g_attempts,
           g_writes, g_renames, g_deletes, g_replaces, g_late);
    fflush(stdout);
    return 0;
}
