#!/usr/bin/env python3
"""Start-up benchmark: the installer's `--silent --version` against a program
linked the same way that only returns 0 (nocrt-minimal.exe), under Wine,
alternating in the same run; the figure is the ratio of the medians of the
time from process creation to its end, as memrun.exe measures it.

    bench-startup.py [--reps N] [--stub EXE] [--baseline EXE]

--baseline also times another build of the installer (say, the sources
before a change, built in a worktree) in the same alternation, so that both
ratios come from one run under the same load.
"""
import argparse
import os
import pathlib
import sys

sys.path.insert(0, os.path.dirname(__file__))
import benchlib  # noqa: E402
from benchlib import winrun  # noqa: E402

MINIMAL = winrun.E2E_BIN / "nocrt-minimal.exe"


def timed(exe, *args, expect_out=None):
    r = benchlib.run_measured(exe, *args)
    if r.exit != 0:
        raise RuntimeError(f"{pathlib.Path(exe).name} ended with {r.exit}")
    if expect_out is not None and expect_out not in r.stdout.decode("utf-8", "replace"):
        raise RuntimeError(f"{pathlib.Path(exe).name} printed {r.stdout!r}, not the version line")
    return r.elapsed


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--reps", type=int, default=15, help="runs of each program (default 15)")
    ap.add_argument("--stub", default=str(winrun.STUB), help="installer to measure (default out/MorvStub.exe)")
    ap.add_argument("--baseline", help="another installer build to time in the same run")
    a = ap.parse_args()
    benchlib.require(a.stub, MINIMAL, benchlib.MEMRUN, *([a.baseline] if a.baseline else []))
    benchlib.start_session()
    print(f"# start-up benchmark under Wine (32-bit), {benchlib.load_note()}")
    # One untimed run of each: the first start after a build pays for reading
    # the files into the page cache.
    timed(a.stub, "--silent", "--version", expect_out="Version:")
    timed(MINIMAL)
    if a.baseline:
        timed(a.baseline, "--silent", "--version", expect_out="Version:")
    t_stub, t_min, t_base = [], [], []
    for _ in range(a.reps):
        t_min.append(timed(MINIMAL))
        t_stub.append(timed(a.stub, "--silent", "--version", expect_out="Version:"))
        if a.baseline:
            t_base.append(timed(a.baseline, "--silent", "--version", expect_out="Version:"))
    m_stub, m_min = benchlib.median(t_stub), benchlib.median(t_min)
    print(f"\n| {a.reps} runs each | Median | Range |")
    print("|---|---|---|")
    print(f"| MorvStub.exe --silent --version | {m_stub * 1000:.0f} ms | {benchlib.spread([t * 1000 for t in t_stub])} ms |")
    if a.baseline:
        m_base = benchlib.median(t_base)
        print(f"| baseline --silent --version | {m_base * 1000:.0f} ms | "
              f"{benchlib.spread([t * 1000 for t in t_base])} ms |")
    print(f"| nocrt-minimal.exe | {m_min * 1000:.0f} ms | {benchlib.spread([t * 1000 for t in t_min])} ms |")
    print(f"\nratio: {m_stub / m_min:.3f}x (target 1.05x); {benchlib.load_note()}")
    if a.baseline:
        print(f"baseline ratio: {m_base / m_min:.3f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
