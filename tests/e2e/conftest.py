"""Session set-up for the end-to-end tests: a Wine prefix, a persistent
wineserver (so that each program start is cheap) and an X display (Xvfb),
since message boxes and the splash window need one."""
import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))
import winrun  # noqa: E402


@pytest.fixture(scope="session", autouse=True)
def wine_session():
    if not winrun.RUNEXIT.exists():
        pytest.exit(f"missing {winrun.RUNEXIT}: build the Windows tree first (make build)", returncode=3)
    winrun.ensure_prefix()
    xvfb = None
    if not os.environ.get("DISPLAY") and shutil.which("Xvfb"):
        xvfb = winrun.start_display()
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


# Wine's own background programs; anything else of the prefix still alive
# after a test is a program the test left running (a run that hung), which
# would hold the installer's mutex and files for the tests after it.
_WINE_SERVICES = ("wineserver", "services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
                  "explorer.exe", "conhost.exe", "tabtip.exe", "wineboot.exe", "winemenubuilder.exe")


def _stray_programs():
    mark = f"WINEPREFIX={winrun.PREFIX}".encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if mark not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode("utf-8", "replace").lower()
        except OSError:
            continue
        if cmd and not any(name in cmd for name in _WINE_SERVICES):
            yield int(pid)


@pytest.fixture(autouse=True)
def no_stray_programs():
    yield
    import signal
    for pid in _stray_programs():
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


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
