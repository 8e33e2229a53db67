"""Shared pieces of the whole-program benchmarks: timed runs under Wine
through memrun.exe, which reports the child's elapsed time and its memory
counters, and the small statistics the reports use."""
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
import winrun  # noqa: E402

MEMRUN = winrun.E2E_BIN / "memrun.exe"


class RunReport:
    def __init__(self, fields, stdout, stderr):
        self.exit = int(fields["exit"])
        self.elapsed = int(fields["elapsed_us"]) / 1e6
        self.samples = int(fields["samples"])
        self.peak_pagefile = int(fields["peak_pagefile"])
        self.peak_working_set = int(fields["peak_working_set"])
        self.stdout = stdout
        self.stderr = stderr


class StartFailure(RuntimeError):
    """The program under test could not be started at all."""


def require(*paths):
    missing = [str(p) for p in paths if not pathlib.Path(p).exists()]
    if missing:
        raise SystemExit("missing (build the Windows tree first, or set QUAB_WIN_BUILD): " + ", ".join(missing))


def run_measured(exe, *args, poll_ms=0, timeout=1800):
    """Runs exe under memrun; poll_ms > 0 samples the memory counters."""
    tmp = pathlib.Path(tempfile.mkdtemp(prefix="bench-"))
    report = tmp / "report"
    cmdfile = tmp / "cmdline"
    cmdfile.write_bytes(winrun.command_line(exe, args).encode("utf-8"))
    proc = subprocess.run(["wine", str(MEMRUN), winrun.to_win(report), str(poll_ms), "@" + winrun.to_win(cmdfile)],
                          env=winrun.wine_env(), stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    try:
        if proc.returncode == 121:
            raise StartFailure(proc.stderr.decode("utf-8", "replace").strip())
        if proc.returncode != 0 or not report.exists():
            raise RuntimeError(f"memrun failed ({proc.returncode}): {proc.stderr.decode('utf-8', 'replace')}")
        fields = dict(line.split(None, 1) for line in report.read_text().splitlines() if line.strip())
        return RunReport(fields, proc.stdout, proc.stderr)
    finally:
        for p in (report, cmdfile):
            if p.exists():
                p.unlink()
        tmp.rmdir()


def median(values):
    return statistics.median(values)


def spread(values):
    return f"{min(values):.2f} to {max(values):.2f}"


def mib(n):
    return f"{n / (1 << 20):.1f} MiB"


def load_note():
    one, five, _ = os.getloadavg()
    return f"load average {one:.1f} (5 min {five:.1f}) on {os.cpu_count()} cores"


def start_session():
    """A persistent wineserver, so that each measured start costs the same."""
    winrun.ensure_prefix()
    subprocess.run(["wineserver", "-p"], env=winrun.wine_env(), check=False)
    winrun.warm_up()
