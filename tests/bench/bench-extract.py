#!/usr/bin/env python3
"""Extraction benchmark: `--silent --extract --path DIR` of an installer that
carries one package of random bytes, against the system's CopyFileW of the
same bytes (copyfile.exe), both under Wine, in the same prefix and the same
run, alternating, several repetitions; the figure is the ratio of the medians.

It also reports the peak memory of an extraction of a small and of the large
package, and of a `--silent --version` run of each installer (the image
mapped, nothing extracted): the payload is written from the mapped image and
read back through one block buffer, so what extraction adds to the image
must not grow with the package size.

    bench-extract.py [--size MIB] [--small MIB] [--reps N] [--poll MS] [--baseline-stub EXE]

With --baseline-stub the same package is also packed with that stub (an
older build, say) and its extraction joins the alternation, so that a change
to the stub is measured against the stub before it in the same run.

A start that fails (an image too large for the process's address space)
is reported as such and ends the script with exit code 3.
"""
import argparse
import filecmp
import os
import pathlib
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import benchlib  # noqa: E402
from benchlib import winrun  # noqa: E402

COPYFILE = winrun.E2E_BIN / "copyfile.exe"


def size_of_image(exe):
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    return struct.unpack_from("<I", head, pe + 24 + 56)[0]


def make_payload(work, mib):
    payload = work / f"payload-{mib}m.cab"
    with open(payload, "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(1 << 20))
    return payload


def pack(stub, payload, setup):
    subprocess.run([str(winrun.PACKER), "--stub", str(stub), "--output", str(setup), f"all:{payload}"],
                   check=True, capture_output=True)
    return setup


def make_installer(work, mib):
    payload = make_payload(work, mib)
    return payload, pack(winrun.STUB, payload, work / f"setup-{mib}m.exe")


def extract(setup, target, poll_ms=0):
    r = benchlib.run_measured(setup, "--silent", "--extract", "--path", winrun.to_win(target), poll_ms=poll_ms)
    if r.exit != 0:
        raise RuntimeError(f"extraction of {setup.name} ended with {r.exit}: {r.stderr.decode('utf-8', 'replace')}")
    return r


def copy(payload, target):
    r = benchlib.run_measured(COPYFILE, winrun.to_win(payload), winrun.to_win(target))
    if r.exit != 0:
        raise RuntimeError(f"copy ended with {r.exit}: {r.stderr.decode('utf-8', 'replace')}")
    return r


def memory_row(setup, payload, work, poll_ms):
    image = size_of_image(setup)
    target = work / "mem-out"
    ext = extract(setup, target, poll_ms)
    if not filecmp.cmp(payload, target / payload.name, shallow=False):
        raise RuntimeError("the extracted file differs from the package")
    shutil.rmtree(target)
    ver = benchlib.run_measured(setup, "--silent", "--version", poll_ms=poll_ms)
    return {"image": image, "ext": ext, "ver": ver}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=256, help="package size in MiB (default 256)")
    ap.add_argument("--small", type=int, default=16, help="small package for the memory comparison (default 16)")
    ap.add_argument("--reps", type=int, default=5, help="timed repetitions of each side (default 5)")
    ap.add_argument("--poll", type=int, default=20, help="memory sampling interval in ms (default 20)")
    ap.add_argument("--baseline-stub", type=pathlib.Path, help="a second stub whose extraction joins the alternation")
    a = ap.parse_args()
    benchlib.require(winrun.STUB, winrun.PACKER, benchlib.MEMRUN, COPYFILE, *([a.baseline_stub] if a.baseline_stub else []))
    benchlib.start_session()

    work = winrun.DRIVE_C / f"perf-extract-{os.getpid()}"
    work.mkdir(parents=True)
    try:
        print(f"# extraction benchmark under Wine (32-bit), {benchlib.load_note()}")
        big_payload, big_setup = make_installer(work, a.size)
        small_payload, small_setup = make_installer(work, a.small)
        rows = {a.small: memory_row(small_setup, small_payload, work, a.poll)}
        try:
            rows[a.size] = memory_row(big_setup, big_payload, work, a.poll)
        except benchlib.StartFailure as e:
            print(f"the installer with a {a.size} MiB package (image {benchlib.mib(size_of_image(big_setup))}) "
                  f"does not start: {e}")
            return 3

        # Wine copies an image whose sections do not start on page boundaries
        # of the file into private memory, and maps it from the file
        # otherwise, so the image itself may or may not count as pagefile:
        # the --version run of the same installer carries the same image.
        print("\n| Package | Image | Peak pagefile, extraction | Peak pagefile, --version | Extraction minus "
              "--version | Peak working set, extraction |")
        print("|---|---|---|---|---|---|")
        for mib_, r in rows.items():
            ext, ver = r["ext"], r["ver"]
            print(f"| {mib_} MiB | {benchlib.mib(r['image'])} | {benchlib.mib(ext.peak_pagefile)} | "
                  f"{benchlib.mib(ver.peak_pagefile)} | {benchlib.mib(ext.peak_pagefile - ver.peak_pagefile)} | "
                  f"{benchlib.mib(ext.peak_working_set)} |")
        small, big = rows[a.small], rows[a.size]
        growth = ((big["ext"].peak_pagefile - big["ver"].peak_pagefile)
                  - (small["ext"].peak_pagefile - small["ver"].peak_pagefile))
        print(f"\nwhat extraction adds to the mapped image grew by {benchlib.mib(growth)} from {a.small} MiB to {a.size} MiB "
              f"(samples: {small['ext'].samples} and {big['ext'].samples})")

        base_setup = pack(a.baseline_stub, big_payload, work / "setup-baseline.exe") if a.baseline_stub else None
        t_ext, t_copy, t_base = [], [], []
        for i in range(a.reps):
            out = work / f"copy-{i}.cab"
            t_copy.append(copy(big_payload, out).elapsed)
            if i == 0 and not filecmp.cmp(big_payload, out, shallow=False):
                raise RuntimeError("the copy differs from the package")
            out.unlink()
            if base_setup:
                target = work / f"base-{i}"
                t_base.append(extract(base_setup, target).elapsed)
                shutil.rmtree(target)
            target = work / f"ext-{i}"
            t_ext.append(extract(big_setup, target).elapsed)
            shutil.rmtree(target)
        m_ext, m_copy = benchlib.median(t_ext), benchlib.median(t_copy)
        print(f"\n| {a.size} MiB, {a.reps} runs each | Median | Range |")
        print("|---|---|---|")
        print(f"| --silent --extract --path DIR | {m_ext:.2f} s | {benchlib.spread(t_ext)} s |")
        if base_setup:
            print(f"| the same, baseline stub ({a.baseline_stub.name}) | {benchlib.median(t_base):.2f} s | "
                  f"{benchlib.spread(t_base)} s |")
        print(f"| CopyFileW (copyfile.exe) | {m_copy:.2f} s | {benchlib.spread(t_copy)} s |")
        print(f"\nratio extraction / copy: {m_ext / m_copy:.2f}x (target 1.5x); {benchlib.load_note()}")
        if base_setup:
            m_base = benchlib.median(t_base)
            print(f"ratio baseline extraction / copy: {m_base / m_copy:.2f}x; extraction / baseline: {m_ext / m_base:.2f}x")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
