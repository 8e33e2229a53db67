"""The runtime's own memory primitives, as a program without a C runtime gets
them: nocrt-mem.exe is linked like the stub and checks memcmp, memcpy,
memset and memmove case by case (see tests/e2e/nocrt/nocrt-mem.cpp)."""
import re
import subprocess

import winrun

EXE = winrun.E2E_BIN / "nocrt-mem.exe"
PRIMITIVES = ("memcmp", "memcpy", "memmove", "memset")


def test_primitives_are_the_runtimes_own():
    # Defined in the program's text, and no DLL supplies any of them: the
    # checks below exercise the runtime's code, not a C library's.
    assert EXE.exists(), f"{EXE} was not built"
    symbols = subprocess.run(["i686-w64-mingw32-objdump", "-t", str(EXE)], check=True,
                             capture_output=True, text=True).stdout
    imports = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(EXE)], check=True,
                             capture_output=True, text=True).stdout
    for name in PRIMITIVES:
        assert re.search(r"\(sec\s+1\).*\s_" + name + r"$", symbols, re.M), name
        assert not re.search(r"\s" + name + r"$", imports, re.M), name


def test_primitives_edge_cases():
    r = winrun.run(EXE)
    assert (r.code, r.stderr) == (0, ""), r
    assert r.stdout == "ok\r\n", r
