"""Session set-up for the end-to-end tests: a Wine prefix, a persistent
wineserver (so that each program start is cheap) and an X display (Xvfb),
since message boxes and the splash window need one."""
import os
import shutil
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
import winrun  # noqa: E402


def _free_display():
    for n in range(90, 120):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return n
    raise RuntimeError("no free X display number")


@pytest.fixture(scope="session", autouse=True)
def wine_session():
    if not winrun.RUNEXIT.exists():
        pytest.exit(f"missing {winrun.RUNEXIT}: build the Windows tree first (make build)", returncode=3)
    winrun.ensure_prefix()
    xvfb = None
    if not os.environ.get("DISPLAY") and shutil.which("Xvfb"):
        n = _free_display()
        xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = f":{n}"
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                break
            time.sleep(0.05)
    subprocess.run(["wineserver", "-p"], env=winrun.wine_env(), check=False)
    yield
    subprocess.run(["wineserver", "-k"], env=winrun.wine_env(), check=False)
    if xvfb:
        xvfb.terminate()
        xvfb.wait(timeout=10)
        os.environ.pop("DISPLAY", None)
