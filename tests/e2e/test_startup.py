"""Start-up without a C runtime, seen from outside: command lines arriving as
argv, the static tables and the exit path, full exit codes, start-up
failures, and what the linked images import and carry."""
import pathlib
import re
import subprocess

import pytest

import winrun

BIN = winrun.E2E_BIN
STUB_BUILT = winrun.WIN_BUILD / "Installer" / "win" / "Stub" / "MorvStub.exe"
NOCRT_PROGRAMS = ["nocrt-exit.exe", "nocrt-initfail.exe", "nocrt-argv.exe"]


def run_argv(tail, exe_token=None):
    """Runs nocrt-argv with the raw command-line text after the program."""
    exe = BIN / "nocrt-argv.exe"
    token = exe_token if exe_token is not None else winrun.quote_arg(winrun.to_win(exe))
    r = winrun.run(exe, cmdline=token + tail)
    assert r.code == 0, r
    assert r.stderr == "", r
    lines = r.stdout.split("\r\n")
    assert lines[-1] == "", r
    m = re.fullmatch(r"argc (\d+)", lines[0])
    assert m, r
    argc = int(m.group(1))
    assert lines[argc + 1] == "end null", r
    args = []
    for i, line in enumerate(lines[1:argc + 1]):
        idx, _, hexbytes = line.partition(":")
        assert int(idx) == i, r
        args.append(bytes.fromhex(hexbytes).decode("utf-8"))
    return args


# Text after the program token -> the arguments after argv[0].
ARGV_CASES = [
    (' a b  c', ["a", "b", "c"]),
    (' "a b" c', ["a b", "c"]),
    (' a"b c"d', ["ab cd"]),
    (' "" x', ["", "x"]),
    (' "a""b"', ['a"b']),
    (' a\\\\b', ["a\\\\b"]),
    (' a\\\\"b c"', ["a\\b c"]),
    (' a\\\\\\"b', ['a\\"b']),
    (' "a\\"b"', ['a"b']),
    (' "a b', ["a b"]),
    (' a"""b', ['a"b']),
    (' """', ['"']),
    (' "x y"z w', ["x yz", "w"]),
    # Separators: blanks, tabs, carriage returns and line feeds alike;
    # trailing ones add nothing.
    (' a\tb\rc\nd', ["a", "b", "c", "d"]),
    (' a b \t \r\n ', ["a", "b"]),
    ('   \t ', []),
    ('', []),
    # An odd run of backslashes makes the quote a character, not a toggle.
    (' \\"a b\\"', ['"a', 'b"']),
    (' "\\\\\\"in quotes\\\\" x', ['\\"in quotes\\', "x"]),
    (' tail\\\\', ["tail\\\\"]),
    # Non-ASCII arrives as UTF-8, also beyond the BMP and inside quotes.
    (' \u00e9 \u65e5\u672c "x \u00fc y" \U0001F600', ["\u00e9", "\u65e5\u672c", "x \u00fc y", "\U0001F600"]),
]


@pytest.mark.parametrize("tail,expected", ARGV_CASES, ids=[repr(c[0]) for c in ARGV_CASES])
def test_command_line_arrives_as_argv(tail, expected):
    args = run_argv(tail)
    assert args[0] == winrun.to_win(BIN / "nocrt-argv.exe")
    assert args[1:] == expected


def test_unquoted_program_token():
    exe = winrun.to_win(BIN / "nocrt-argv.exe")
    assert " " not in exe
    assert run_argv(" x", exe_token=exe) == [exe, "x"]


def test_many_arguments_keep_their_order():
    # The vector grows in steps of 32; cross several of them.
    words = [f"w{i}" for i in range(100)]
    assert run_argv(" " + " ".join(words))[1:] == words


def test_harness_quoting_round_trips_through_startup():
    args = ["plain", "", "a b", 'a"b', "a\\b", 'a\\"b', "trailing\\", "x y\\", "t\tab", "\u00e9\u00e8"]
    r = winrun.run(BIN / "nocrt-argv.exe", *args)
    assert r.code == 0
    lines = r.stdout.split("\r\n")
    got = [bytes.fromhex(line.partition(":")[2]).decode("utf-8") for line in lines[2:2 + len(args)]]
    assert got == args


def test_exit_code_3010_after_callbacks_and_flush():
    r = winrun.run(BIN / "nocrt-exit.exe")
    assert r.code == 3010
    # Standard output is fully buffered there, so all of it arriving shows
    # that the terminators flushed it after main had returned. 64-bit division
    # (libgcc) and a frame larger than a page (the stack probe) work.
    assert r.stdout == ("frame 534\r\n"
                        "udiv 2507566766 233868616\r\n"
                        "sdiv -81985528 -642588199\r\n"
                        "exe nocrt-exit.exe\r\n"
                        "exiting with 3010\r\n")
    # Order: status initializers, plain initializers, main, exit callbacks
    # latest first, pre-terminators, terminators.
    assert r.stderr == ("init-status\r\ninit-plain\r\n"
                        "atexit-second\r\natexit-first\r\n"
                        "preterm\r\nterm\r\n")


@pytest.mark.parametrize("rc", [0, 1, 255, 256, 65537])
def test_exit_code_passes_unchanged(rc):
    r = winrun.run(BIN / "nocrt-exit.exe", "--rc", str(rc))
    assert r.code == rc
    assert r.stdout.endswith(f"exiting with {rc}\r\n")


def test_failing_status_initializer_stops_everything():
    r = winrun.run(BIN / "nocrt-initfail.exe")
    assert r.code == 5
    # Neither later initializers, nor main, nor any terminator ran.
    assert r.stderr_bytes == b"A C static initializor failed (5 (0x5)\r\n"
    assert r.stdout_bytes == b""


def test_stack_overrun_is_stopped():
    r = winrun.run(BIN / "nocrt-exit.exe", "--smash")
    assert r.code == 0xC0000409
    # The exit path never ran: no callbacks, no terminators after the text.
    assert r.stderr == "init-status\r\ninit-plain\r\nStack buffer overrun detected; terminating.\r\n"


def spawn_utf16(exe, units):
    hexunits = "".join(f"{u:04x}" for u in units)
    p = winrun.wine(str(winrun.E2E_BIN / "spawn-utf16.exe"), winrun.to_win(exe), hexunits, check=False)
    out = p.stdout.decode("utf-8", "replace")
    m = re.search(r"exit (\d+)", out)
    assert m, (p.stdout, p.stderr)
    return int(m.group(1)), out, p.stderr.decode("utf-8", "replace")


@pytest.mark.parametrize("bad_unit,rc", [(0xD800, -62), (0xDC00, -62), (0xFFFE, -59)])
def test_unconvertible_command_line_exits_3(bad_unit, rc):
    exe = BIN / "nocrt-argv.exe"
    units = [ord(c) for c in "x.exe a"] + [bad_unit] + [ord("b")]
    code, out, err = spawn_utf16(exe, units)
    assert code == 3
    assert err == f"Failed to convert command line to UTF-8: {rc}\r\n"
    assert "argc" not in out


def test_valid_surrogate_pair_from_raw_units():
    exe = BIN / "nocrt-argv.exe"
    units = [ord(c) for c in "x.exe "] + [0xD83D, 0xDE00]
    code, out, err = spawn_utf16(exe, units)
    assert code == 0, (out, err)
    assert "1:f09f9880" in out


# ---------------------------------------------------------------------------
# What the linked images carry.

# Everything else, the window, drawing, stream and COM libraries included, is
# loaded on first use from the system directory.
ALLOWED_DLLS = {"kernel32.dll", "ntdll.dll"}
WINDOW_DLLS = {"user32.dll", "gdi32.dll", "shlwapi.dll", "ole32.dll"}


def imported_dlls(exe):
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(exe)], check=True,
                         capture_output=True, text=True).stdout
    return {m.lower() for m in re.findall(r"DLL Name: (\S+)", out)}


def constructor_list_entries(exe):
    """Entries between the -1 and 0 sentinels of the static-constructor list."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-t", str(exe)], check=True,
                         capture_output=True, text=True).stdout
    addrs = {}
    for name in ("___CTOR_LIST__", "___DTOR_LIST__"):
        m = re.search(r"0x([0-9a-f]+) " + re.escape(name) + r"$", out, re.M)
        assert m, f"{name} not in the symbol table of {exe}"
        addrs[name] = int(m.group(1), 16)
    return (addrs["___DTOR_LIST__"] - addrs["___CTOR_LIST__"]) // 4 - 2


@pytest.mark.parametrize("exe", [STUB_BUILT] + [BIN / n for n in NOCRT_PROGRAMS],
                         ids=["MorvStub.exe"] + NOCRT_PROGRAMS)
def test_images_import_only_allowed_dlls(exe):
    assert exe.exists(), f"{exe} was not built"
    dlls = imported_dlls(exe)
    assert "kernel32.dll" in dlls
    assert dlls <= ALLOWED_DLLS, dlls - ALLOWED_DLLS
    assert not any(re.match(r"(msvcr|msvcp|ucrtbase|api-ms-win-crt|libgcc|libstdc|libwinpthread)", d)
                   for d in dlls)


@pytest.mark.parametrize("exe", [BIN / n for n in NOCRT_PROGRAMS], ids=NOCRT_PROGRAMS)
def test_test_programs_have_an_empty_constructor_list(exe):
    assert constructor_list_entries(exe) == 0


def test_nothing_in_the_stub_needs_a_static_constructor():
    # The stub is stripped, so look at what it is linked from: no object may
    # carry a constructor table, which start-up would never run.
    objects = [winrun.WIN_BUILD / "Runtime" / n for n in ("libquab_common.a", "libquab_platform.a", "libquab_nocrt.a")]
    objects += sorted((winrun.WIN_BUILD / "Installer" / "win" / "Stub" / "CMakeFiles" / "MorvStub.dir").glob("*.obj"))
    assert len(objects) > 3 and all(o.exists() for o in objects), objects
    out = subprocess.run(["i686-w64-mingw32-objdump", "-h", *map(str, objects)], check=True,
                         capture_output=True, text=True).stdout
    offenders, current = [], None
    for line in out.splitlines():
        m = re.match(r"^(\S+\.(?:obj|o)):\s+file format", line) or re.match(r"^In archive .*:$", line)
        if m and m.groups():
            current = m.group(1)
        if re.search(r"\s(\.ctors|\.init_array)\S*\s", line):
            offenders.append(current)
    assert offenders == []


# The stub links the dispatcher that knows none of the extended %R families
# (hex dumps, sizes, names, times, escapes, register bits:
# Runtime/variants/format-ext-none.cpp), which prints nothing for them: no
# string of the stub may use one. The custom family %R[...] is not among them.
EXTENDED_FAMILY = re.compile(rb"%[-+ #'0-9.*]*R(?:h[xXcu]|[bfDMA])")


def rdata_of(exe, tmp_path):
    out = tmp_path / (exe.name + ".rdata")
    subprocess.run(["i686-w64-mingw32-objcopy", "-O", "binary", "--only-section=.rdata", str(exe), str(out)],
                   check=True)
    return out.read_bytes()


def test_stub_strings_use_no_extended_format_family(tmp_path):
    assert EXTENDED_FAMILY.findall(rdata_of(STUB_BUILT, tmp_path)) == []
    # The same look finds them where they are used: the tests of those families.
    control = winrun.WIN_BUILD / "tests" / "test-common-fmtext.exe"
    assert control.exists(), control
    assert len(EXTENDED_FAMILY.findall(rdata_of(control, tmp_path))) > 10

# ---------------------------------------------------------------------------
# What a run loads: a run that shows no window never loads the window,
# drawing, stream or COM libraries (nor what they import).

def silent_extract_case(tmp_path):
    payload = tmp_path / "payload.bin"
    payload.write_bytes(bytes(range(256)) * 64)
    setup = tmp_path / "Setup.exe"
    r = subprocess.run([str(winrun.PACKER), "--stub", str(winrun.STUB), "--output", str(setup), f"all:{payload}"],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    target = tmp_path / "extracted"
    return setup, ["--silent", "--extract", "--path", winrun.to_win(target)], "Files were extracted to: "


SILENT_RUNS = {
    "version": lambda tmp_path: (winrun.STUB, ["--silent", "--version"], "Version: "),
    "help": lambda tmp_path: (winrun.STUB, ["--silent", "--help"], "Command Line Parameters:"),
    "extract": silent_extract_case,
}


@pytest.mark.parametrize("case", SILENT_RUNS)
def test_silent_run_loads_no_window_library(case, tmp_path):
    exe, args, out_start = SILENT_RUNS[case](tmp_path)
    r = winrun.run(exe, *args, env=winrun.LOADDLL_ENV)
    assert r.code == 0, r
    assert out_start in r.stdout, r
    loaded = {pathlib.PureWindowsPath(p).name.lower() for p in winrun.modules_loaded_by(r.stderr, exe)}
    assert "kernel32.dll" in loaded, loaded
    assert loaded & WINDOW_DLLS == set(), sorted(loaded)
