#!/usr/bin/env python3
"""The demo: builds the sample installer with morvstub-pack and runs a real
silent installation of the sample product under Wine, then shows what it
left: the installed files, the registered product and the exit code."""
import os
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
import winrun  # noqa: E402
from fixtures import build  # noqa: E402


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="morv-demo-"))
    print(f"== building the sample packages in {work}")
    pairs = build.build_sample_payload(work)
    for arch, path in pairs:
        print(f"   {arch:6} {path.name} ({path.stat().st_size} bytes)")
    setup = work / "MorvSampleSetup.exe"
    args = [str(winrun.PACKER), "--stub", str(winrun.STUB), "--output", str(setup)]
    args += [f"{arch}:{path}" for arch, path in pairs]
    print("== packing:", " ".join(args))
    subprocess.run(args, check=True)
    subprocess.run([str(winrun.PACKER), "--list", str(setup)], check=True)

    winrun.warm_up()
    print("== running under Wine: MorvSampleSetup.exe --silent --verbose")
    r = winrun.run(setup, "--silent", "--verbose")
    sys.stdout.write(r.stdout)
    sys.stderr.write(r.stderr)
    print(f"== exit code: {r.code}")
    installed = sorted(p for p in winrun.DRIVE_C.glob("Program Files*/MorvSample*/**/*") if p.is_file())
    print("== installed files:")
    for p in installed:
        print("  ", winrun.to_win(p))
    return 0 if r.code in (0, 3010) else 1


if __name__ == "__main__":
    sys.exit(main())
