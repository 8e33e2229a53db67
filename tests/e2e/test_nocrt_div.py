"""64-bit division as a program without a C runtime gets it: the runtime's
own __udivdi3/__umoddi3 (Runtime/r3/win/nocrt-div-win.cpp), checked against
Python's integers by nocrt-div.exe, which is linked like the stub."""
import random
import re
import subprocess

import winrun

EXE = winrun.E2E_BIN / "nocrt-div.exe"
M64 = (1 << 64) - 1

# Divisors on both sides of 32 bits, quotients of one bit and of 64, equal
# operands, a dividend below the divisor, the largest values.
EDGES = [
    (0, 1), (1, 1), (M64, 1), (M64, 2), (M64, 3), (M64, 10), (12345678901234567890, 10),
    (M64, 0xFFFFFFFF), (0xFFFFFFFF00000000, 0xFFFFFFFF), (1 << 32, 1 << 32), ((1 << 32) - 1, 1 << 32),
    (M64, 1 << 32), (M64, (1 << 32) + 1), (M64, M64), (M64 - 1, M64), (M64, M64 - 1),
    (1 << 63, (1 << 63) + 1), ((1 << 63) + 5, 1 << 63), (0x123456789ABCDEF0, 0x100000000),
    (0x8000000000000000, 0x7FFFFFFFFFFFFFFF), (0xFFFFFFFFFFFF, 0x1FFFFFFFF), (7, 0xFFFFFFFFFFFF),
]


def cases():
    rnd = random.Random(20240611)
    out = list(EDGES)
    for _ in range(150):
        n = rnd.getrandbits(rnd.choice([8, 32, 33, 48, 63, 64]))
        d = rnd.getrandbits(rnd.choice([1, 16, 31, 32, 33, 40, 63, 64])) or 1
        out.append((n, d))
    return out


def test_division_is_the_runtimes_own():
    assert EXE.exists(), f"{EXE} was not built"
    symbols = subprocess.run(["i686-w64-mingw32-objdump", "-t", str(EXE)], check=True,
                             capture_output=True, text=True).stdout
    for name in ("___udivdi3", "___umoddi3", "___udivmoddi4"):
        assert re.search(r"\(sec\s+1\).*\s" + name + r"$", symbols, re.M), name
    # The compiler library's copies would have brought their unwind tables.
    headers = subprocess.run(["i686-w64-mingw32-objdump", "-h", str(EXE)], check=True,
                             capture_output=True, text=True).stdout
    assert ".eh_fram" not in headers


def test_quotients_and_remainders():
    all_cases = cases()
    args = [f"{v:x}" for n, d in all_cases for v in (n, d)]
    r = winrun.run(EXE, *args)
    assert (r.code, r.stderr) == (0, ""), r
    lines = r.stdout.split("\r\n")
    assert lines[-1] == "" and len(lines) == len(all_cases) + 1, r
    for (n, d), line in zip(all_cases, lines):
        assert line == f"{n // d:016x} {n % d:016x}", (hex(n), hex(d))

