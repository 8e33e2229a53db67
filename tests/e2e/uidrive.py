"""Runs tests/e2e/win/uidriver.exe, which finds windows and message boxes
and presses their buttons, and reads its records: one line each, fields
"name=value" separated by tabs, values with \\, \t, \n and \r escaped."""
import subprocess
import tempfile

import winrun

UIDRIVER = winrun.E2E_BIN / "uidriver.exe"


def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i + 1]))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def fields(line):
    return {k: unescape(v) for k, v in (f.split("=", 1) for f in line.rstrip("\r\n").split("\t") if "=" in f)}


def run(*args, timeout=180):
    """One driver command; (exit code, [record lines]). Its output goes to a
    file, not a pipe: a Wine process that the call happens to start (the
    desktop) would keep a pipe open long after the driver has ended."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine", str(UIDRIVER), *args], env=winrun.wine_env(), stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.DEVNULL, timeout=timeout, check=False).returncode
        out.seek(0)
        lines = [ln for ln in out.read().decode("utf-8", "replace").splitlines() if ln.strip()]
    return code, lines
