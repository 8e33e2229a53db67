#!/usr/bin/env python3
"""Takes the pictures of what a user sees: the splash window while an
interactive run extracts its packages, and the message box of a command-line
error.

usage: screenshots.py [OUT_DIR]     (default docs/screenshots)

Writes OUT_DIR/splash.png and OUT_DIR/messagebox.png, each cut from a
screenshot of the X display (ImageMagick's import) to the window's rectangle
as the UI driver reports it. Needs the Windows tree and the packer built
(make build); uses $DISPLAY or starts an Xvfb of its own.
"""
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import winrun  # noqa: E402
from fixtures import build  # noqa: E402

UIDRIVER = winrun.E2E_BIN / "uidriver.exe"
CAPTION = "Morvaquill Installer"
TIMEOUT_MS = "300000"


def ui(*args):
    # Output through a file: a pipe could be kept open by a Wine process the
    # call starts.
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine", str(UIDRIVER), *args], env=winrun.wine_env(), stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.DEVNULL, timeout=300).returncode
        out.seek(0)
        lines = out.read().decode("utf-8").splitlines()
    if code != 0 or not lines:
        return None
    # A record is key=value fields; "press" answers with a plain word.
    return dict(f.split("=", 1) if "=" in f else (f, "") for f in lines[0].split("\t"))


def kill_windows_program(exe):
    """Ends the Wine process of exactly this program (by its full path)."""
    want = winrun.to_win(exe).encode()
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and want in (entry / "cmdline").read_bytes().split(b"\0"):
                os.kill(int(entry.name), signal.SIGKILL)
        except OSError:
            pass


def grab(window, out):
    left, top, right, bottom = map(int, window["rect"].split(","))
    geometry = f"{right - left}x{bottom - top}+{left}+{top}"
    subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage", str(out)], check=True)
    print(f"{out}: {geometry}, {out.stat().st_size} bytes")


def main(argv):
    out_dir = pathlib.Path(argv[1] if len(argv) > 1 else winrun.ROOT / "docs" / "screenshots")
    for exe in (UIDRIVER, winrun.RUNEXIT, winrun.STUB, winrun.PACKER):
        if not exe.exists():
            print(f"screenshots: missing {exe}; build first (make build)", file=sys.stderr)
            return 1
    out_dir.mkdir(parents=True, exist_ok=True)
    xvfb = None if os.environ.get("DISPLAY") else winrun.start_display()
    work = pathlib.Path(tempfile.mkdtemp(prefix="morv-shots-"))
    proc = None
    setup = work / "MorvaquillSetup.exe"
    try:
        winrun.ensure_prefix()
        subprocess.run(["wineserver", "-p"], env=winrun.wine_env(), check=False)
        winrun.warm_up()
        # A payload big enough that the splash stays up while it is extracted.
        data = work / "sample-data.bin"
        data.write_bytes(os.urandom(32 * 1024 * 1024))
        cab = build.build_cab([data], work / "sample.cab")
        data.unlink()
        setup = work / "MorvaquillSetup.exe"
        subprocess.run([str(winrun.PACKER), "--stub", str(winrun.STUB), "--output", str(setup), f"all:{cab}"],
                       check=True)
        ok = True
        # The box of a command-line error: it comes before anything else.
        proc, codefile = winrun.start(setup, "--no-such-option", stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        if ui("box-text", CAPTION, TIMEOUT_MS):
            grab(ui("wait-window", "#32770", CAPTION, TIMEOUT_MS), out_dir / "messagebox.png")
            ui("press", CAPTION, "OK", TIMEOUT_MS)
        else:
            print("screenshots: no message box appeared", file=sys.stderr)
            ok = False
        result = winrun.finish(proc, codefile, timeout=300)
        proc = None
        if result.code != 2:
            print(f"screenshots: the usage error ended with {result.code}, not 2", file=sys.stderr)
            ok = False
        # The splash window while an extract-only run works.
        target = work / "extracted"
        proc, codefile = winrun.start(setup, "--extract", "--path", winrun.to_win(target),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        splash = ui("wait-window", "MorvSplashScreenClass", "*", TIMEOUT_MS)
        if splash:
            time.sleep(0.3)  # a few timer ticks: the picture and the dot are painted
            grab(splash, out_dir / "splash.png")
        else:
            print("screenshots: no splash window appeared", file=sys.stderr)
            ok = False
        if ui("box-text", CAPTION, TIMEOUT_MS):
            ui("press", CAPTION, "OK", TIMEOUT_MS)
            result = winrun.finish(proc, codefile, timeout=300)
            proc = None
            if result.code != 0:
                print(f"screenshots: the extract-only run ended with {result.code}", file=sys.stderr)
                ok = False
        else:
            print("screenshots: the extract-only run showed no box after its splash", file=sys.stderr)
            ok = False
        return 0 if ok else 1
    finally:
        if proc and proc.poll() is None:
            kill_windows_program(setup)
            proc.kill()
        shutil.rmtree(work, ignore_errors=True)
        if xvfb:
            subprocess.run(["wineserver", "-k"], env=winrun.wine_env(), check=False)
            xvfb.terminate()
            xvfb.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
