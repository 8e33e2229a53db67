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
    subprocess.run(["wineserver", "-p"], env=winrun.wine_env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    winrun.warm_up()
    yield
    subprocess.run(["wineserver", "-k"], env=winrun.wine_env(), check=False)
    if xvfb:
        xvfb.terminate()
        xvfb.wait(timeout=10)
        os.environ.pop("DISPLAY", None)


# Leftovers: every test must leave the prefix's temporary directories as it
# found them. A test that asked the installer to keep something checks it and
# removes it itself. The session reports the total, which must be 0.
_leftover_total = 0


def _temp_dirs():
    dirs = {winrun.temp_dir_win(), winrun.DRIVE_C / "windows" / "temp"}
    return [d for d in dirs if d.is_dir()]


def _snapshot():
    return {p for d in _temp_dirs() for p in d.iterdir()}


@pytest.fixture(autouse=True)
def no_leftovers(request):
    before = _snapshot()
    yield
    global _leftover_total
    new = sorted(str(p) for p in _snapshot() - before)
    _leftover_total += len(new)
    if new and request.node.get_closest_marker("allow_leftovers") is None:
        pytest.fail(f"the run left {len(new)} new entries in the temporary directory: {new}", pytrace=False)


def pytest_configure(config):
    config.addinivalue_line("markers", "allow_leftovers: the test cleans up what Wine itself leaves")


def pytest_terminal_summary(terminalreporter):
    terminalreporter.write_line(f"leftovers in the prefix's temporary directories: {_leftover_total}")
