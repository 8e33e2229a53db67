#!/usr/bin/env python3
"""Swapped files: runs an installer N times under racer.exe, which keeps
trying to write to, rename, delete and replace every file in the extraction
directory for as long as the installer runs. Each run must either leave the
original bytes (exit 0) or stop with a report of the tampering (exit 1); a
run that ends with 0 and other bytes is a swap that went undetected.

    race.py [N]        (default 1000; prints the counts, exit 1 on any undetected swap)
"""
from __future__ import annotations

import collections
import pathlib
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import winrun  # noqa: E402

RACER = winrun.E2E_BIN / "racer.exe"
SIZES = [("first.cab", 192 * 1024), ("second.cab", 64 * 1024 + 1), ("third.cab", 300)]

# The installer's reports when a file is not what it wrote, or cannot be
# taken over because another process got in first.
TAMPER = re.compile(r"File size of '.*' changed|File ID of '.*' changed|File '.*' has change|"
                    r"First re-opening of '.*' failed|Second re-opening of '.*' failed|"
                    r"Failed to create/replace '.*' for writing|RTFileRead failed")
STATS = re.compile(r"exit=(\d+) attempts=(\d+) writes=(\d+) renames=(\d+) deletes=(\d+) replaces=(\d+) late=(\d+)")


def payload_bytes(i, n):
    return bytes((k * (2 * i + 3) + i) & 0xFF for k in range(n))


def make_installer(d: pathlib.Path) -> tuple[pathlib.Path, dict]:
    originals = {}
    for i, (name, size) in enumerate(SIZES):
        (d / name).write_bytes(payload_bytes(i, size))
        originals[name] = (d / name).read_bytes()
    setup = d / "Setup.exe"
    r = subprocess.run([str(winrun.PACKER), "--stub", str(winrun.STUB), "--output", str(setup)]
                       + [f"all:{d / name}" for name, _ in SIZES], capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError(r.stderr)
    return setup, originals


def race_once(setup, originals, target: pathlib.Path):
    """One run: returns (verdict, racer statistics, result)."""
    target.mkdir(parents=True)
    r = winrun.run(RACER, winrun.to_win(target), winrun.to_win(setup), "--silent", "--extract", "--path",
                   winrun.to_win(target))
    m = STATS.search(r.stdout)
    if r.code != 0 or not m:
        return "racer failed", None, r
    code, attempts, writes, renames, deletes, replaces, late = map(int, m.groups())
    stats = dict(attempts=attempts, writes=writes, renames=renames, deletes=deletes, replaces=replaces, late=late)
    files = {p.name: p.read_bytes() for p in target.iterdir() if p.is_file() and not p.name.endswith(".racer")}
    intact = all(files.get(name) == data for name, data in originals.items())
    if code == 0:
        if intact:
            return "original", stats, r
        # A swap that won only after the installer had ended is the racer's
        # own doing, not a fault of the run.
        return ("late" if late else "undetected"), stats, r
    if code == 1 and TAMPER.search(r.stdout + r.stderr):
        return "stopped", stats, r
    return "unexplained", stats, r


def run_races(n: int, work: pathlib.Path, log=None):
    setup, originals = make_installer(work)
    verdicts = collections.Counter()
    swaps = collections.Counter()
    details = []
    for i in range(n):
        verdict, stats, r = race_once(setup, originals, work / f"run-{i:04d}")
        verdicts[verdict] += 1
        if stats:
            swaps.update(stats)
        if verdict not in ("original", "stopped"):
            details.append(f"run {i}: {verdict}: {r!r}")
        if log:
            log(f"run {i}: {verdict} {stats}")
    return verdicts, swaps, details


def main(argv):
    n = int(argv[1]) if len(argv) > 1 else 1000
    winrun.warm_up()
    with tempfile.TemporaryDirectory(prefix="race-") as tmp:
        verdicts, swaps, details = run_races(n, pathlib.Path(tmp))
    print(f"runs: {n}")
    for k in ("original", "stopped", "late", "undetected", "unexplained", "racer failed"):
        print(f"{k}: {verdicts[k]}")
    print("successful swaps while the installer ran: " +
          ", ".join(f"{k}={swaps[k]}" for k in ("writes", "renames", "deletes", "replaces")) +
          f"; attempts={swaps['attempts']}")
    for d in details:
        print(d)
    return 1 if verdicts["undetected"] or verdicts["unexplained"] or verdicts["racer failed"] else 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
