/* What the test launchers share: the child's command line (the rest of the
 * launcher's own, or the UTF-8 content of an @file), and a start-up record
 * that hands the child the launcher's standard handles. */
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string.h>

/* Skips one command-line token by the C runtime's rules and the blanks after it. */
static inline const wchar_t *skip_token(const wchar_t *p)
{
    int quoted = 0;
    while (*p == L' ' || *p == L'\t')
        p++;
    while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
        if (*p == L'"')
            quoted = !quoted;
        p++;
    }
    while (*p == L' ' || *p == L'\t')
        p++;
    return p;
}

static inline void startup_with_std_handles(STARTUPINFOW *si)
{
    ZeroMemory(si, sizeof(*si));
    si->cb = sizeof(*si);
    si->dwFlags = STARTF_USESTDHANDLES;
    si->hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si->hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si->hStdError = GetStdHandle(STD_ERROR_HANDLE);
}

/* The child's command line: with ARG "@FILE" the UTF-8 content of FILE, so
 * that a test controls every byte of the quoting; otherwise the launcher's
 * raw command line after its first CSKIP tokens, exactly as written. NULL
 * when the file cannot be read. */
static inline wchar_t *child_command_line(const wchar_t *arg, int cSkip)
{
    if (arg[0] == L'@') {
        FILE *cf = _wfopen(arg + 1, L"rb");
        if (!cf)
            return NULL;
        static char utf8[65536];
        size_t n = fread(utf8, 1, sizeof(utf8) - 1, cf);
        fclose(cf);
        utf8[n] = 0;
        int cwc = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
        wchar_t *line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, cwc * sizeof(wchar_t));
        if (line)
            MultiByteToWideChar(CP_UTF8, 0, utf8, -1, line, cwc);
        return line;
    }
    const wchar_t *cmd = GetCommandLineW();
    while (cSkip-- > 0)
        cmd = skip_token(cmd);
    size_t len = wcslen(cmd);
    wchar_t *line = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (len + 1) * sizeof(wchar_t));
    if (line)
        memcpy(line, cmd, (len + 1) * sizeof(wchar_t));
    return line;
}
