"""Runs Windows programs under Wine for the end-to-end tests.

Every run goes through the launcher runexit.exe, which records the child's
full 32-bit exit code (a Unix exit status would cut 3010 to 194) and passes
the command line on byte for byte.
"""
import os
import pathlib
import re
import subprocess
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
WIN_BUILD = pathlib.Path(os.environ.get("QUAB_WIN_BUILD", ROOT / "build" / "win")).resolve()
OUT = pathlib.Path(os.environ.get("QUAB_OUT", ROOT / "out")).resolve()
E2E_BIN = WIN_BUILD / "e2e-bin"
PREFIX = pathlib.Path(os.environ.get("QUAB_WINEPREFIX", WIN_BUILD / "wineprefix")).resolve()
STUB = OUT / "MorvStub.exe"
PACKER = OUT / "morvstub-pack"
RUNEXIT = E2E_BIN / "runexit.exe"
DRIVE_C = PREFIX / "drive_c"


def wine_env(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEDEBUG": "-all",
        "WINEPREFIX": str(PREFIX),
        "QEMU_RESERVED_VA": "0xffff0000",
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    if extra:
        env.update(extra)
    return env


def ensure_prefix():
    if not (PREFIX / "system.reg").exists():
        subprocess.run([str(ROOT / "tools" / "wine-prefix.sh"), str(PREFIX)], check=True)


def warm_up():
    """Starts the prefix's background services with no pipes attached.

    The first program of a wineserver session starts Wine's own services,
    which inherit its standard handles and outlive it; if those were a test's
    pipes, reading the test's output would wait for the services to end.
    The desktop process, started by the first program that uses a window,
    does the same: with a display, the window driver's first listing starts
    it here too.
    """
    ensure_prefix()
    first = [["cmd", "/c", "exit"]]
    uidriver = E2E_BIN / "uidriver.exe"
    if os.environ.get("DISPLAY") and uidriver.exists():
        first.append([str(uidriver), "list"])
    for cmd in first:
        subprocess.run(["wine", *cmd], env=wine_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=False)


def to_win(path):
    """Windows form of a Unix path: C:\\... inside the prefix, else Z:\\..."""
    p = pathlib.Path(path).resolve()
    try:
        rel = p.relative_to(DRIVE_C.resolve())
        return "C:\\" + str(rel).replace("/", "\\") if str(rel) != "." else "C:\\"
    except ValueError:
        return "Z:" + str(p).replace("/", "\\")


def from_win(path):
    """Unix form of a Windows path of the prefix (C:\\ or Z:\\)."""
    drive, rest = path[:2].upper(), path[2:].replace("\\", "/").lstrip("/")
    if drive == "C:":
        return DRIVE_C / rest
    if drive == "Z:":
        return pathlib.Path("/") / rest
    raise ValueError(f"not a path of the prefix: {path}")


def quote_arg(arg):
    """Quotes one argument so that the C runtime's rules give it back unchanged."""
    if arg and not any(c in arg for c in ' \t\n\r"'):
        return arg
    out, backslashes = ['"'], 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            out.append("\\" * (2 * backslashes + 1) + '"')
        else:
            out.append("\\" * backslashes + c)
        backslashes = 0
    out.append("\\" * (2 * backslashes) + '"')
    return "".join(out)


def command_line(exe, args):
    return " ".join([quote_arg(to_win(exe))] + [quote_arg(a) for a in args])


class Result:
    def __init__(self, code, out, err):
        self.code = code
        self.stdout_bytes = out
        self.stderr_bytes = err
        self.stdout = out.decode("utf-8", "replace")
        self.stderr = err.decode("utf-8", "replace")

    def __repr__(self):
        return f"Result(code={self.code}, stdout={self.stdout!r}, stderr={self.stderr!r})"


def start(exe, *args, cmdline=None, cwd=None, env=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE):
    """Starts a program under the launcher and returns (Popen, codefile)."""
    ensure_prefix()
    tmp = pathlib.Path(tempfile.mkdtemp(prefix="winrun-"))
    codefile = tmp / "exitcode"
    cmdfile = tmp / "cmdline"
    cmdfile.write_bytes((cmdline if cmdline is not None else command_line(exe, args)).encode("utf-8"))
    proc = subprocess.Popen(["wine", str(RUNEXIT), to_win(codefile), "@" + to_win(cmdfile)],
                            cwd=cwd, env=wine_env(env), stdin=subprocess.DEVNULL,
                            stdout=stdout, stderr=stderr)
    return proc, codefile


def finish(proc, codefile, timeout=300):
    out, err = proc.communicate(timeout=timeout)
    if proc.returncode != 0 or not codefile.exists():
        raise RuntimeError(f"launcher failed ({proc.returncode}): {err.decode('utf-8', 'replace')}")
    code = int(codefile.read_text().strip())
    return Result(code, out or b"", err or b"")


def run(exe, *args, cmdline=None, cwd=None, env=None, timeout=300):
    """Runs exe with args (or a raw Windows command line) and waits for it."""
    proc, codefile = start(exe, *args, cmdline=cmdline, cwd=cwd, env=env)
    try:
        return finish(proc, codefile, timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise


def wine(*args, env=None, timeout=300, check=True):
    """Runs a plain Wine command (msiexec, reg, ...) and returns the CompletedProcess."""
    ensure_prefix()
    return subprocess.run(["wine", *args], env=wine_env(env), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout, check=check)


# Wine's loader reports each module it maps on this channel, with the
# process id first: "0104:0108:trace:loaddll:build_module Loaded L"C:\\..." at ...".
LOADDLL_ENV = {"WINEDEBUG": "+pid,+loaddll"}
_LOADDLL_LINE = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"((?:[^"\\]|\\.)*)"', re.M)


def modules_loaded_by(stderr, exe):
    """The modules (Windows paths) that Wine loaded in the process of exe,
    from the stderr of a run with LOADDLL_ENV; the process is the one that
    mapped exe itself, not the launcher or Wine's own services."""
    name = pathlib.PureWindowsPath(to_win(exe)).name.lower()
    loads = [(pid, path.replace("\\\\", "\\")) for pid, path in _LOADDLL_LINE.findall(stderr)]
    pids = {pid for pid, path in loads if pathlib.PureWindowsPath(path).name.lower() == name}
    if len(pids) != 1:
        raise RuntimeError(f"no single process loaded {name}: {sorted(pids)}")
    return [path for pid, path in loads if pid in pids]


def temp_dir_win():
    """The prefix user's temporary directory (what TEMP points at)."""
    users = DRIVE_C / "users"
    for u in sorted(users.iterdir()) if users.exists() else []:
        if u.name == "Public":
            continue
        for t in (u / "Temp", u / "AppData" / "Local" / "Temp"):
            if t.is_dir():
                return t
    return DRIVE_C / "windows" / "temp"


HOLD = E2E_BIN / "fs-hold.exe"


class Holder:
    """fs-hold.exe holding a file or directory open beside the program under
    test (its arguments: what, path, access, sharing); lets go when its stop
    file appears."""

    def __init__(self, tmp_path, *args):
        self.stop = tmp_path / f"stop-{time.monotonic_ns()}"
        self.proc, self.codefile = start(HOLD, *args, to_win(self.stop))
        line = self.proc.stdout.readline().decode().strip()
        assert line == "ready", line

    def release(self):
        self.stop.write_text("stop")
        return finish(self.proc, self.codefile)


def _i386_emulated():
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as f:
            return f.readline().strip() == "enabled"
    except OSError:
        return False


# 32-bit programs run under user-mode emulation here (this host cannot run
# i386 programs itself). 32-bit Wine so run does not reliably survive two
# threads running at once, so a run with the splash thread is no verdict.
I386_EMULATED = _i386_emulated()


def start_display():
    """Starts Xvfb on a free display number, sets DISPLAY and returns the
    process. Wine's desktop takes its screen from the display of the program
    that starts it, for the whole wineserver session, so a wineserver already
    running (with its desktop on no screen, or another one) is ended first."""
    for n in range(90, 120):
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = f":{n}"
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                break
            time.sleep(0.05)
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=wine_env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        return xvfb
    raise RuntimeError("no free X display number")
