"""Damaged payloads, as an attacker or a broken build could hand them over:
installers whose resources were rewritten byte for byte after packing
(resedit.py; the packer itself refuses to write them). Each must be refused
with its report and exit code 1, or take the outcome its format allows;
nothing may be written outside the extraction directory and nothing may stay
behind in it."""
import struct
import subprocess

import pytest

import resedit
import winrun

PACKER = winrun.PACKER
STUB = winrun.STUB

MANIFEST_REPORT = "Internal package error: Manifest not found ({})"
HEADER_REPORT = "Internal error: Could not find package header #{}: {}"
NAME_REPORT = "Error extracting package #{} ({}): RTE_INVALID_NAME"
LOCATE_REPORT = "#{}: Failed to locate resource '{}': {}"


@pytest.fixture(scope="module")
def base(tmp_path_factory):
    """An installer with two cabinets for every host, packed the regular way."""
    for f in (STUB, PACKER):
        if not f.exists():
            pytest.fail(f"missing {f}: build the Windows tree and copy the stub and packer to out/ (make build)")
    d = tmp_path_factory.mktemp("base")
    (d / "first.cab").write_bytes(bytes((i * 7 + 3) & 0xFF for i in range(3000)))
    (d / "second.cab").write_bytes(bytes((i * 13 + 5) & 0xFF for i in range(5000)))
    setup = d / "Setup.exe"
    r = subprocess.run([str(PACKER), "--stub", str(STUB), "--output", str(setup),
                        f"all:{d / 'first.cab'}", f"all:{d / 'second.cab'}"], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return setup


def manifest(count, magic=b"MorvInstV1"):
    return magic.ljust(15, b"\0")[:15] + bytes([count])


def header(arch, resource, name):
    """A 256-byte header; bytes are taken as they are so that fields can be left open."""
    resource = resource if isinstance(resource, bytes) else resource.encode("ascii")
    name = name if isinstance(name, bytes) else name.encode("utf-8")
    return struct.pack("<I", arch) + resource.ljust(28, b"\0")[:28] + name.ljust(224, b"\0")[:224]


def named(name, arch=1):
    return {"HDR_00": header(arch, "BIN_00", name)}


# (label, resource changes, expected exit code, texts stderr must hold)
CASES = [
    # The manifest.
    ("manifest missing", {"MANIFEST": None}, 1, [MANIFEST_REPORT.format("RTE_GENERAL_FAILURE")]),
    ("manifest empty", {"MANIFEST": b""}, 1, [MANIFEST_REPORT.format("RTE_NO_DATA")]),
    ("manifest of one byte", {"MANIFEST": b"\x02"}, 1, [MANIFEST_REPORT.format("RTE_BUFFER_UNDERFLOW")]),
    ("manifest of 15 bytes", {"MANIFEST": manifest(2)[:15]}, 1, [MANIFEST_REPORT.format("RTE_BUFFER_UNDERFLOW")]),
    ("count one beyond the headers", {"MANIFEST": manifest(3)}, 1, [HEADER_REPORT.format(2, "RTE_GENERAL_FAILURE")]),
    ("count 255 with two headers", {"MANIFEST": manifest(255)}, 1, [HEADER_REPORT.format(2, "RTE_GENERAL_FAILURE")]),
    # The format lets the installer read the count only: these are accepted.
    ("manifest with another magic", {"MANIFEST": manifest(2, b"NotMorv")}, 0, []),
    ("manifest longer than its record", {"MANIFEST": manifest(2) + b"\xff" * 4080}, 0, []),
    ("count 0", {"MANIFEST": manifest(0)}, 0, []),
    # The headers.
    ("first header missing", {"HDR_00": None}, 1, [HEADER_REPORT.format(0, "RTE_GENERAL_FAILURE")]),
    ("second header missing", {"HDR_01": None}, 1, [HEADER_REPORT.format(1, "RTE_GENERAL_FAILURE")]),
    ("header empty", {"HDR_00": b""}, 1, [HEADER_REPORT.format(0, "RTE_NO_DATA")]),
    ("header of one byte", {"HDR_00": b"\x01"}, 1, [HEADER_REPORT.format(0, "RTE_BUFFER_UNDERFLOW")]),
    ("header of 255 bytes", {"HDR_00": header(1, "BIN_00", "a.cab")[:255]}, 1,
     [HEADER_REPORT.format(0, "RTE_BUFFER_UNDERFLOW")]),
    ("second header of 32 bytes", {"HDR_01": header(1, "BIN_01", "b.cab")[:32]}, 1,
     [HEADER_REPORT.format(1, "RTE_BUFFER_UNDERFLOW")]),
    ("data name without terminator", {"HDR_00": header(1, b"B" * 28, "a.cab")}, 1,
     [HEADER_REPORT.format(0, "RTE_BAD_EXE_FORMAT")]),
    ("file name without terminator", {"HDR_00": header(1, "BIN_00", b"c" * 224)}, 1,
     [HEADER_REPORT.format(0, "RTE_BAD_EXE_FORMAT")]),
    ("header longer than its record", {"HDR_00": header(1, "BIN_00", "long.cab") + b"\xff" * 64}, 0, []),
    # File names that leave the directory or name something else.
    ("parent with backslash", named("..\\evil.cab"), 1, [NAME_REPORT.format(0, "..\\evil.cab")]),
    ("parent with slash", named("../evil.cab"), 1, [NAME_REPORT.format(0, "../evil.cab")]),
    ("subdirectory", named("sub/evil.cab"), 1, [NAME_REPORT.format(0, "sub/evil.cab")]),
    ("absolute path", named("C:\\evil.cab"), 1, [NAME_REPORT.format(0, "C:\\evil.cab")]),
    ("drive-relative path", named("C:evil.cab"), 1, [NAME_REPORT.format(0, "C:evil.cab")]),
    ("network path", named("\\\\host\\share\\evil.cab"), 1, [NAME_REPORT.format(0, "\\\\host\\share\\evil.cab")]),
    ("device path", named("\\\\.\\C:\\evil.cab"), 1, [NAME_REPORT.format(0, "\\\\.\\C:\\evil.cab")]),
    ("stream", named("good.cab:evil"), 1, [NAME_REPORT.format(0, "good.cab:evil")]),
    ("the directory itself", named("."), 1, [NAME_REPORT.format(0, ".")]),
    ("its parent", named(".."), 1, [NAME_REPORT.format(0, "..")]),
    ("empty file name", named(""), 1, [NAME_REPORT.format(0, "")]),
    # The system strips trailing dots: this one names the directory again.
    ("only dots", named("..."), 1, ["Error extracting package #0 (...)"]),
    # Other resources under the data resource's name.
    ("data resource missing", {"BIN_00": None}, 1,
     [LOCATE_REPORT.format(0, "BIN_00", "RTE_GENERAL_FAILURE"), "Error extracting package #0 (first.cab)"]),
    ("data resource empty", {"BIN_01": b""}, 1,
     [LOCATE_REPORT.format(1, "BIN_01", "RTE_NO_DATA"), "Error extracting package #1 (second.cab)"]),
    ("header names an absent resource", {"HDR_00": header(1, "BIN_77", "a.cab")}, 1,
     [LOCATE_REPORT.format(0, "BIN_77", "RTE_GENERAL_FAILURE")]),
    # Architecture values no host has: the package does not apply.
    ("architecture 0", {"HDR_00": header(0, "BIN_00", "first.cab")}, 0, []),
    ("architecture 5", {"HDR_00": header(5, "BIN_00", "first.cab")}, 0, []),
    ("architecture all ones", {"HDR_01": header(0xFFFFFFFF, "BIN_01", "second.cab")}, 0, []),
]

# Names the system maps to devices or rewrites: the installer takes them for
# plain file names and opens the device (payload bytes go to NUL or a serial
# port) or creates a file under a different name that cleanup then misses.
RESERVED = [
    ("console device", "CON"),
    ("null device with a suffix", "nul.cab"),
    ("serial port", "COM1"),
    ("printer port with a suffix", "LPT1.msi"),
    ("auxiliary device, lower case", "aux"),
    ("trailing dot", "evil.cab."),
    ("trailing space", "evil.cab "),
]


def run_case(tmp_path, base, changes, *args):
    """Runs the rewritten installer into a directory of its own inside an
    otherwise empty one; returns (result, target, outer)."""
    tmp_path.mkdir(parents=True, exist_ok=True)
    setup = resedit.edit(base, tmp_path / "Setup.exe", changes)
    outer = tmp_path / "outer"
    target = outer / "inner"
    target.mkdir(parents=True)
    r = winrun.run(setup, "--silent", *args, "--path", winrun.to_win(target))
    return r, target, outer


def check_nothing_left(r, target, outer):
    assert [p.name for p in outer.iterdir()] == ["inner"], f"written beside the directory: {list(outer.iterdir())}"
    assert list(target.iterdir()) == [], f"left behind: {list(target.iterdir())} ({r})"


@pytest.mark.parametrize("label,changes,code,texts", CASES, ids=[c[0] for c in CASES])
def test_damaged_payload(tmp_path, base, label, changes, code, texts):
    r, target, outer = run_case(tmp_path, base, changes)
    assert r.code == code, r
    for t in texts:
        assert t in r.stderr, r.stderr
    if code == 0:
        assert r.stderr == "", r.stderr
    check_nothing_left(r, target, outer)


@pytest.mark.parametrize("label,name", RESERVED, ids=[c[0] for c in RESERVED])
def test_reserved_and_rewritten_names_are_refused(tmp_path, base, label, name):
    r, target, outer = run_case(tmp_path, base, named(name))
    # Whatever the refusal, nothing may be opened or left under the name.
    check_nothing_left(r, target, outer)
    assert r.code == 1, r
    assert NAME_REPORT.format(0, name) in r.stderr, r.stderr


def test_damaged_payload_in_the_temporary_directory_leaves_nothing(tmp_path, base):
    # The run's own random directory goes too, whichever step refused the
    # payload (the leftovers check of the session sees it).
    temp = winrun.temp_dir_win()
    before = set(temp.iterdir())
    for changes in ({"MANIFEST": b""}, {"HDR_01": None}, named("..\\evil.cab"), {"BIN_01": None}):
        setup = resedit.edit(base, tmp_path / "Setup.exe", changes)
        r = winrun.run(setup, "--silent")
        assert r.code == 1, (changes, r)
        assert "error:" in r.stderr, r
        assert set(temp.iterdir()) == before, (changes, r)


def test_255_packages(tmp_path, base):
    """The largest count the manifest can hold: three-digit header names,
    every file extracted, verified and removed; a damaged last header stops
    the run and takes the 254 files already written with it."""
    changes = {"MANIFEST": manifest(255), "HDR_00": None, "HDR_01": None, "BIN_00": None, "BIN_01": None}
    for i in range(255):
        changes[f"HDR_{i:02d}"] = header(1, f"BIN_{i:02d}", f"pkg-{i:03d}.cab")
        changes[f"BIN_{i:02d}"] = bytes([i]) * (i + 1)
    setup = resedit.edit(base, tmp_path / "Setup.exe", changes)
    assert resedit.resources(setup)["HDR_254"][32:43] == b"pkg-254.cab"

    keep = tmp_path / "keep"
    keep.mkdir()
    r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(keep))
    assert r.code == 0, r
    got = sorted(keep.iterdir())
    assert [p.name for p in got] == [f"pkg-{i:03d}.cab" for i in range(255)]
    assert all(p.read_bytes() == bytes([i]) * (i + 1) for i, p in enumerate(got))

    r, target, outer = run_case(tmp_path / "full", base, changes)
    assert r.code == 0, r
    check_nothing_left(r, target, outer)

    changes["HDR_254"] = header(1, "BIN_254", b"x" * 224)
    r, target, outer = run_case(tmp_path / "broken", base, changes)
    assert r.code == 1, r
    assert HEADER_REPORT.format(254, "RTE_BAD_EXE_FORMAT") in r.stderr, r.stderr
    check_nothing_left(r, target, outer)
