"""Extraction, verification, cleanup and the .custom copy, end to end under
Wine with installers packed by morvstub-pack. The payloads are .cab files
(extracted, never installed), so what is seen is the installer's own work:
the files it writes, what it holds open, the texts, the exit code and what
it leaves behind."""
import os
import re
import stat
import struct
import subprocess
import time

import pytest

import winrun

PACKER = winrun.PACKER
STUB = winrun.STUB
HOLD = winrun.HOLD
Holder = winrun.Holder

RANDOM_NAME = re.compile(r"^[0-9a-z]{24}$")


@pytest.fixture(scope="module")
def stub():
    for f in (STUB, PACKER, HOLD):
        if not f.exists():
            pytest.fail(f"missing {f}: build the Windows tree and copy the stub and packer to out/ (make build)")
    return STUB


def data(n, seed):
    return bytes((i * 31 + seed * 7 + i // 253) & 0xFF for i in range(n))


def make_payload(d, specs):
    """specs: [(arch, name, size)] -> [(arch, Path)] with distinct contents."""
    d.mkdir(parents=True, exist_ok=True)
    out = []
    for i, (arch, name, size) in enumerate(specs):
        p = d / name
        p.write_bytes(data(size, i + 1))
        out.append((arch, p))
    return out


def pack(setup, payload, *extra):
    r = subprocess.run([str(PACKER), "--stub", str(STUB), "--output", str(setup), *map(str, extra),
                        *[f"{a}:{p}" for a, p in payload]], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return setup


def header(arch, resource, name):
    """A package header record as the installer reads it (256 bytes)."""
    raw = name.encode("utf-8")
    return struct.pack("<I28s224s", arch, resource.encode("ascii"), raw)


def extraction_path(result):
    m = re.search(r"Extraction path\s*: (.*?)\r?\n", result.stdout)
    assert m, result
    return m.group(1)


SPECS = [("all", "common.cab", 3000), ("amd64", "pkg-amd64.cab", 5000), ("arm64", "pkg-arm64.cab", 7000),
         ("x86", "pkg-x86.cab", 9000)]


def test_extract_only_takes_every_architecture_byte_for_byte(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", SPECS)
    setup = pack(tmp_path / "Setup.exe", payload)
    for target, existed in [(tmp_path / "given", True), (tmp_path / "new" / "deeper", False)]:
        if existed:
            target.mkdir()
            mode_before = stat.S_IMODE(target.stat().st_mode)
        else:
            target.parent.mkdir()
        win = winrun.to_win(target)
        r = winrun.run(setup, "--silent", "--extract", "--path", win)
        assert r.code == 0, r
        assert r.stdout == f"Files were extracted to: {win}\r\n"
        assert r.stderr == ""
        assert sorted(p.name for p in target.iterdir()) == sorted(p.name for _, p in payload)
        for _, p in payload:
            assert (target / p.name).read_bytes() == p.read_bytes(), p.name
        # A directory the run made is private. Wine keeps no DACL: it turns
        # it into the Unix mode, the owner's and SYSTEM's entries into the
        # owner bits and the Administrators' into the group bits, so what
        # shows here is that others get nothing. One that was there keeps
        # its own mode.
        mode = stat.S_IMODE(target.stat().st_mode)
        if existed:
            assert mode == mode_before, oct(mode)
        else:
            assert mode & 0o007 == 0, oct(mode)


def test_extract_only_without_path_uses_the_temporary_directory(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "fs-e2e-temp-a.cab", 100), ("arm64", "fs-e2e-temp-b.cab", 200)])
    setup = pack(tmp_path / "Setup.exe", payload)
    temp = winrun.temp_dir_win()
    try:
        r = winrun.run(setup, "--silent", "--extract")
        assert r.code == 0, r
        assert r.stdout == f"Files were extracted to: {winrun.to_win(temp)}\r\n"
        for _, p in payload:
            assert (temp / p.name).read_bytes() == p.read_bytes()
    finally:
        for _, p in payload:
            (temp / p.name).unlink(missing_ok=True)


def test_silent_run_extracts_the_host_packages_and_removes_them(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", SPECS)
    setup = pack(tmp_path / "Setup.exe", payload)
    target = tmp_path / "given"
    target.mkdir()
    # Files of the other architectures' names: extracting those packages
    # would replace them and cleanup would delete them.
    (target / "pkg-arm64.cab").write_bytes(b"untouched arm64")
    (target / "pkg-x86.cab").write_bytes(b"untouched x86")
    (target / "pkg-amd64.cab").write_bytes(b"replaced")
    r = winrun.run(setup, "--silent", "--verbose", "--path", winrun.to_win(target))
    assert r.code == 0, r
    assert r.stderr == ""
    assert extraction_path(r) == winrun.to_win(target)
    # A directory that existed is kept; the files the run extracted go.
    assert sorted(p.name for p in target.iterdir()) == ["pkg-arm64.cab", "pkg-x86.cab"]
    assert (target / "pkg-arm64.cab").read_bytes() == b"untouched arm64"
    assert (target / "pkg-x86.cab").read_bytes() == b"untouched x86"


def test_silent_run_makes_a_random_directory_and_removes_it(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", SPECS)
    setup = pack(tmp_path / "Setup.exe", payload)
    r = winrun.run(setup, "--silent", "--verbose")
    assert r.code == 0, r
    path = extraction_path(r)
    parent, name = path.rsplit("\\", 1)
    assert winrun.from_win(parent) == winrun.temp_dir_win()
    assert RANDOM_NAME.match(name), name
    assert not winrun.from_win(path).exists()


def test_logging_keeps_the_random_directory(tmp_path, stub):
    # The engine's log lives in the extraction directory, which therefore
    # stays; the packages in it go. A real package, so that there is a log.
    from fixtures import build
    msi = build.build_msi("multiarch", "x86", tmp_path / "pl", variant="fs-logging")
    payload = [("all", msi)] + make_payload(tmp_path / "pl", SPECS[1:2])
    setup = pack(tmp_path / "Setup.exe", payload)
    r = winrun.run(setup, "--silent", "--verbose", "--logging")
    path = winrun.from_win(extraction_path(r))
    try:
        assert r.code == 0, r
        assert RANDOM_NAME.match(path.name), path
        assert path.is_dir()
        assert [p.name for p in path.iterdir()] == ["MorvInstallLog.txt"]
        assert stat.S_IMODE(path.stat().st_mode) & 0o007 == 0, oct(path.stat().st_mode)
    finally:
        winrun.wine("msiexec", "/x", "{" + build.product_code("multiarch", "x86", "fs-logging") + "}", "/qn",
                    check=False)
        for p in path.iterdir() if path.is_dir() else []:
            p.unlink()
        if path.is_dir():
            path.rmdir()


@pytest.mark.parametrize("size", [65535, 65536, 65537, 3 * 65536 + 1])
def test_block_boundaries_verify(tmp_path, stub, size):
    payload = make_payload(tmp_path / "pl", [("all", "edge.cab", size)])
    setup = pack(tmp_path / "Setup.exe", payload)
    target = tmp_path / "out"
    target.mkdir()
    r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(target))
    assert r.code == 0, r
    assert (target / "edge.cab").read_bytes() == payload[0][1].read_bytes()


def test_missing_or_empty_data_resource(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "first.cab", 100), ("all", "second.cab", 100)])
    empty = tmp_path / "empty"
    empty.write_bytes(b"")
    for extra in [["--drop-resource", "BIN_00"],
                          ["--drop-resource", "BIN_00", "--raw-resource", f"BIN_00={empty}"]]:
        setup = pack(tmp_path / "Setup.exe", payload, *extra)
        target = tmp_path / f"out{len(extra)}"
        target.mkdir()
        r = winrun.run(setup, "--silent", "--path", winrun.to_win(target))
        assert r.code == 1, r
        m = re.search(r"#0: Failed to locate resource 'BIN_00': (\S+)", r.stderr)
        assert m, r.stderr
        assert f"Error extracting package #0 (first.cab): {m.group(1)}" in r.stderr
        assert "second.cab" not in r.stderr
        # The file created before the resource was looked up went at cleanup.
        assert list(target.iterdir()) == []


@pytest.mark.parametrize("name", ["..\\evil.cab", "sub/evil.cab", "C:evil.cab", "..", ".", "a:stream"])
def test_file_names_that_leave_the_directory_are_refused(tmp_path, stub, name):
    payload = make_payload(tmp_path / "pl", [("all", "good.cab", 100)])
    hdr = tmp_path / "hdr"
    hdr.write_bytes(header(1, "BIN_00", name))
    setup = pack(tmp_path / "Setup.exe", payload, "--drop-resource", "HDR_00", "--raw-resource", f"HDR_00={hdr}")
    outer = tmp_path / "outer"
    target = outer / "inner"
    target.mkdir(parents=True)
    r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(target))
    assert r.code == 1, r
    assert f"Error extracting package #0 ({name}): RTE_INVALID_NAME" in r.stderr, r.stderr
    assert list(target.iterdir()) == []
    assert [p.name for p in outer.iterdir()] == ["inner"]


def test_file_locked_elsewhere_is_reported_once_after_the_pauses(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "locked.cab", 4000), ("all", "free.cab", 4000)])
    setup = pack(tmp_path / "Setup.exe", payload)
    target = tmp_path / "given"
    target.mkdir()
    locked = target / "locked.cab"
    # Read access, sharing read and write but not delete: the installer can
    # write and verify the file but not delete it.
    holder = Holder(tmp_path, "file", winrun.to_win(locked), "r", "rw")
    try:
        t0 = time.monotonic()
        r = winrun.run(setup, "--silent", "--path", winrun.to_win(target))
        elapsed = time.monotonic() - t0
    finally:
        assert holder.release().code == 0
    assert r.code == 0, r
    line = f"Failed to delete temporary file '{winrun.to_win(locked)}': RTE_SHARING_VIOLATION"
    assert r.stderr.count(line) == 1, r.stderr
    assert elapsed >= 9.1, elapsed
    assert locked.read_bytes() == payload[0][1].read_bytes()   # written and verified all the same
    assert not (target / "free.cab").exists()
    locked.unlink()


def test_writer_elsewhere_at_the_second_reopen_fails_the_extraction(tmp_path, stub):
    # Another process waits for the file and opens it for writing the moment
    # the installer's writer lets go; the installer's next open, which denies
    # writing, must then fail. The window is short, so a few attempts.
    payload = make_payload(tmp_path / "pl", [("all", "raced.cab", 8 * 1024 * 1024)])
    setup = pack(tmp_path / "Setup.exe", payload)
    for attempt in range(4):
        target = tmp_path / f"race{attempt}"
        target.mkdir()
        path = target / "raced.cab"
        spinner = Holder(tmp_path, "spin", winrun.to_win(path))
        try:
            r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(target))
        finally:
            spinner.release()
        if r.code != 0:
            break
    else:
        pytest.skip("the other process never got in between the installer's handles in 4 runs")
    assert r.code == 1, r
    assert re.search(r"#0: Second re-opening of '.*raced\.cab' failed: RTE_SHARING_VIOLATION", r.stderr), r.stderr
    assert "Error extracting package #0 (raced.cab): RTE_SHARING_VIOLATION" in r.stderr


def test_custom_dir_is_copied_and_removed_with_its_content(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "pkg.cab", 1000)])
    setup = pack(tmp_path / "Setup.exe", payload)
    custom = tmp_path / ".custom"
    (custom / "nested" / "deeper").mkdir(parents=True)
    (custom / "settings.ini").write_text("[a]\nb=1\n")
    (custom / "nested" / "deeper" / "data.bin").write_bytes(data(5000, 9))
    (custom / "nested" / "readonly.txt").write_text("ro")
    os.chmod(custom / "nested" / "readonly.txt", 0o444)   # Wine shows it read-only
    (custom / "keep.txt").write_text("copied content")

    # A plain run: the copy and the random directory around it are gone
    # afterwards (the leftover check of every test sees the rest).
    r = winrun.run(setup, "--silent", "--verbose")
    assert r.code == 0, r
    assert not winrun.from_win(extraction_path(r)).exists()

    # With --path: one file of the copy held open elsewhere without delete
    # sharing shows that the copy was made (it carries the copied content)
    # and that the rest of the tree went.
    target = tmp_path / "given"
    (target / ".custom").mkdir(parents=True)
    held = target / ".custom" / "keep.txt"
    holder = Holder(tmp_path, "file", winrun.to_win(held), "r", "rw")
    try:
        r = winrun.run(setup, "--silent", "--path", winrun.to_win(target))
    finally:
        holder.release()
    assert r.code == 0, r
    assert held.read_text() == "copied content"
    assert [p.name for p in (target / ".custom").iterdir()] == ["keep.txt"]
    assert sorted(p.name for p in target.iterdir()) == [".custom"]
    held.unlink()
    (target / ".custom").rmdir()


def test_custom_file_is_not_a_directory(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "pkg.cab", 1000)])
    setup = pack(tmp_path / "Setup.exe", payload)
    (tmp_path / ".custom").write_text("a file, not a directory")
    target = tmp_path / "given"
    target.mkdir()
    r = winrun.run(setup, "--silent", "--path", winrun.to_win(target))
    assert r.code == 0, r
    assert list(target.iterdir()) == []


def test_extracted_files_are_held_against_writers(tmp_path, stub):
    # While the .custom tree is being copied the package files are already
    # extracted and held: nobody else may open them for writing. A probe on
    # the Windows side tries the moment the copy's directory appears.
    payload = make_payload(tmp_path / "pl", [("all", "held.cab", 1000)])
    setup = pack(tmp_path / "Setup.exe", payload)
    custom = tmp_path / ".custom"
    custom.mkdir()
    for i in range(40):
        (custom / f"big{i}.bin").write_bytes(data(1024 * 1024, i))
    target = tmp_path / "given"
    target.mkdir()
    probe, probe_code = winrun.start(HOLD, "probe", winrun.to_win(target / "held.cab"),
                                     winrun.to_win(target / ".custom"))
    assert probe.stdout.readline().decode().strip() == "ready"
    r = winrun.run(setup, "--silent", "--path", winrun.to_win(target))
    seen = winrun.finish(probe, probe_code)
    assert r.code == 0, r
    assert seen.code == 32, seen   # ERROR_SHARING_VIOLATION
    assert list(target.iterdir()) == []
    # The same probe on a file nobody holds gets in.
    assert winrun.run(HOLD, "tryopen", winrun.to_win(tmp_path / "pl" / "held.cab")).code == 0


def test_second_instance_is_refused(tmp_path, stub):
    payload = make_payload(tmp_path / "pl", [("all", "pkg.cab", 100)])
    setup = pack(tmp_path / "Setup.exe", payload)
    holder = Holder(tmp_path, "mutex", "MorvStubInstaller")
    try:
        r = winrun.run(setup, "--silent")
    finally:
        holder.release()
    assert r.code == 1, r
    assert "Another installer is already running" in r.stderr, r
