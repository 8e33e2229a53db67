/* What the test launchers share: skipping their own arguments on the raw
 * command line, and a start-up record that hands the child the launcher's
 * standard handles. */
#pragma once
#include <windows.h>

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
