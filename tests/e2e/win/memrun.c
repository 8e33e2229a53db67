/* Runs a program and reports how long it ran and how much memory it used,
 * for the benchmarks.
 *
 * usage: memrun REPORTFILE POLL_MS PROGRAM [ARGS...]
 *        memrun REPORTFILE POLL_MS @CMDFILE
 *
 * The command line is passed on as written (or read from the UTF-8 CMDFILE),
 * the child inherits the standard handles. REPORTFILE receives lines
 * "name value": exit (full 32-bit exit code), elapsed_us (from just before
 * the process is created until it has ended), samples, peak_pagefile and
 * peak_working_set (bytes).
 *
 * Windows keeps a finished process's peak counters, but Wine fills them from
 * the live process only (and its "peak" pagefile figure is the current one),
 * so with POLL_MS > 0 the counters are sampled while the child runs and the
 * largest values are kept; a final query after the end is taken when the
 * system still answers it. POLL_MS 0 does not sample: use it for timings. */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

#include "../../harness/launch.h"

static void sample(HANDLE hProcess, SIZE_T *pcbPagefile, SIZE_T *pcbWorkingSet, unsigned *pcSamples)
{
    PROCESS_MEMORY_COUNTERS pmc;
    ZeroMemory(&pmc, sizeof(pmc));
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(hProcess, &pmc, sizeof(pmc)))
        return;
    SIZE_T const cbPagefile = pmc.PeakPagefileUsage > pmc.PagefileUsage ? pmc.PeakPagefileUsage : pmc.PagefileUsage;
    SIZE_T const cbWorkingSet =
        pmc.PeakWorkingSetSize > pmc.WorkingSetSize ? pmc.PeakWorkingSetSize : pmc.WorkingSetSize;
    if (cbPagefile > *pcbPagefile)
        *pcbPagefile = cbPagefile;
    if (cbWorkingSet > *pcbWorkingSet)
        *pcbWorkingSet = cbWorkingSet;
    if (cbPagefile || cbWorkingSet)
        ++*pcSamples;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 4) {
        fwprintf(stderr, L"usage: memrun REPORTFILE POLL_MS PROGRAM [ARGS...]\n");
        return 120;
    }
    DWORD const msPoll = (DWORD)_wtoi(argv[2]);
    wchar_t *line = child_command_line(argv[3], 3);
    if (!line)
        return 123;

    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    startup_with_std_handles(&si);

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        fwprintf(stderr, L"memrun: CreateProcessW failed: %lu\n", GetLastError());
        return 121;
    }
    SIZE_T cbPagefile = 0, cbWorkingSet = 0;
    unsigned cSamples = 0;
    if (msPoll) {
        while (WaitForSingleObject(pi.hProcess, msPoll) == WAIT_TIMEOUT)
            sample(pi.hProcess, &cbPagefile, &cbWorkingSet, &cSamples);
    } else {
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    QueryPerformanceCounter(&t1);
    if (msPoll)
        sample(pi.hProcess, &cbPagefile, &cbWorkingSet, &cSamples);

    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    FILE *f = _wfopen(argv[1], L"w");
    if (!f)
        return 122;
    fprintf(f, "exit %lu\n", (unsigned long)code);
    fprintf(f, "elapsed_us %lld\n", (long long)((t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart));
    fprintf(f, "samples %u\n", cSamples);
    fprintf(f, "peak_pagefile %lu\n", (unsigned long)cbPagefile);
    fprintf(f, "peak_working_set %lu\n", (unsigned long)cbWorkingSet);
    fclose(f);
    return 0;
}
