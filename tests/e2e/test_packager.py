"""morvstub-pack: what it writes, what it refuses, and that Windows (Wine)
loads and reads what it wrote."""
import os
import shutil
import struct
import subprocess

import pytest

import winrun
from resedit import pe_checksum
from fixtures import build

PACKER = winrun.PACKER
STUB = winrun.STUB
READRES = winrun.E2E_BIN / "pack-readres.exe"
RT_RCDATA = "#10"


# --- an independent reader of the PE fields the packer rewrites -----------

def pe_info(path, head_only=False):
    """The header fields; head_only reads just the first page, for files too
    large to read whole (bytes and checksum are then only that page's)."""
    if head_only:
        with open(path, "rb") as f:
            b = f.read(0x1000)
    else:
        b = path.read_bytes()
    pe = struct.unpack_from("<I", b, 0x3C)[0]
    assert b[pe:pe + 4] == b"PE\0\0"
    n_sec, = struct.unpack_from("<H", b, pe + 6)
    sym_ptr, n_sym, opt_size = struct.unpack_from("<IIH", b, pe + 12)
    opt = pe + 24
    magic, = struct.unpack_from("<H", b, opt)
    dd = opt + (96 if magic == 0x10B else 112)
    init_data, = struct.unpack_from("<I", b, opt + 8)
    sec_align, file_align = struct.unpack_from("<II", b, opt + 32)
    size_of_image, size_of_headers, checksum = struct.unpack_from("<III", b, opt + 56)
    n_dirs, = struct.unpack_from("<I", b, dd - 4)
    dirs = [struct.unpack_from("<II", b, dd + 8 * i) for i in range(n_dirs)]
    secs = []
    for i in range(n_sec):
        o = opt + opt_size + 40 * i
        name = b[o:o + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", b, o + 8)
        secs.append(dict(name=name, vsize=vsize, va=va, rawsize=rawsize, rawptr=rawptr))
    return dict(bytes=b, sections=secs, dirs=dirs, sec_align=sec_align, file_align=file_align,
                size_of_image=size_of_image, checksum=checksum, checksum_off=opt + 64, sym_ptr=sym_ptr,
                n_sym=n_sym, init_data=init_data)


def align(v, a):
    return (v + a - 1) & ~(a - 1)


def assert_sound_image(path):
    """The loader's view: sections in order and contiguous, the resource
    section last, named by its directory and starting on a page of the file
    so that it can be mapped from there, sizes and checksum right."""
    info = pe_info(path)
    secs, dirs = info["sections"], info["dirs"]
    va = secs[0]["va"]
    for s in secs:
        assert s["va"] == va, f"section {s['name']} leaves a gap or overlaps"
        va = align(s["va"] + max(s["vsize"], 1), info["sec_align"])
        assert s["rawptr"] % info["file_align"] == 0 and s["rawsize"] % info["file_align"] == 0
    last = secs[-1]
    assert last["name"] == ".rsrc"
    assert last["rawptr"] % 0x1000 == 0, f"the resources start at file offset {last['rawptr']:#x}"
    assert dirs[2] == (last["va"], last["vsize"])
    assert info["size_of_image"] == align(last["va"] + last["vsize"], info["sec_align"])
    assert len(info["bytes"]) == last["rawptr"] + last["rawsize"], "nothing may follow the resources"
    assert dirs[4] == (0, 0), "a stale signature directory survived"
    if dirs[5][0]:
        holder = [s for s in secs if s["va"] <= dirs[5][0] < s["va"] + s["vsize"]]
        assert holder and holder[0]["name"] == ".reloc"
    assert info["checksum"] == pe_checksum(info["bytes"], info["checksum_off"])
    r = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(path)], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    assert "Resource Directory [.rsrc]" in r.stdout
    return info


def assert_init_data_follows(before, after):
    """Initialised data changes by what the resource section's file bytes
    change, and the padding in front of them counts for nothing."""
    old = sum(s["rawsize"] for s in before["sections"] if s["name"] == ".rsrc")
    assert after["init_data"] - before["init_data"] == after["sections"][-1]["rawsize"] - old


# --- running the packer and reading resources under Wine -----------------

def pack(*args):
    return subprocess.run([str(PACKER), *map(str, args)], capture_output=True)


def pack_ok(*args):
    r = pack(*args)
    assert r.returncode == 0, r.stderr.decode()
    return r


def listing(setup):
    r = subprocess.run([str(PACKER), "--list", str(setup)], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return [line.split("\t") for line in r.stdout.splitlines()]


def read_resources(exe, wanted, tmp_path, reader=READRES):
    """{(type, name): bytes or None} as the system's resource lookup finds them."""
    args, outs = [winrun.to_win(exe)], {}
    for i, key in enumerate(wanted):
        out = tmp_path / f"res-{i}.bin"
        if out.exists():
            out.unlink()
        outs[key] = out
        args += [key[0], key[1], winrun.to_win(out)]
    r = winrun.run(reader, *args)
    assert r.code in (0, 1), r
    return {k: (o.read_bytes() if o.exists() else None) for k, o in outs.items()}


@pytest.fixture(scope="module")
def payload(tmp_path_factory):
    d = tmp_path_factory.mktemp("payload")
    pairs = build.build_sample_payload(d)
    # An odd size shows that each resource is padded without changing it.
    odd = d / "odd-size.bin"
    odd.write_bytes(bytes((i * 7 + 3) % 256 for i in range(12345)))
    return pairs + [("x86", odd)]


@pytest.fixture(scope="module")
def stub():
    if not STUB.exists():
        pytest.fail(f"missing {STUB}: build the Windows tree and copy the stub to out/ (make build)")
    return STUB


def pkg_args(pairs):
    return [f"{arch}:{path}" for arch, path in pairs]


ARCH_VALUE = {"all": 1, "x86": 2, "amd64": 3, "arm64": 4}


# --- round trip -----------------------------------------------------------

def test_round_trip_list_and_system_lookup(tmp_path, stub, payload):
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, *pkg_args(payload))
    expected = [[str(i), arch, f"BIN_{i:02d}", path.name, str(path.stat().st_size)]
                for i, (arch, path) in enumerate(payload)]
    assert listing(setup) == expected

    keys = [(RT_RCDATA, "MANIFEST")]
    for i in range(len(payload)):
        keys += [(RT_RCDATA, f"HDR_{i:02d}"), (RT_RCDATA, f"BIN_{i:02d}")]
    got = read_resources(setup, keys, tmp_path)
    assert got[(RT_RCDATA, "MANIFEST")] == b"MorvInstV1" + b"\0" * 5 + bytes([len(payload)])
    for i, (arch, path) in enumerate(payload):
        hdr = got[(RT_RCDATA, f"HDR_{i:02d}")]
        assert len(hdr) == 256
        assert struct.unpack_from("<I", hdr)[0] == ARCH_VALUE[arch]
        assert hdr[4:32] == f"BIN_{i:02d}".encode().ljust(28, b"\0")
        assert hdr[32:] == path.name.encode().ljust(224, b"\0")
        assert got[(RT_RCDATA, f"BIN_{i:02d}")] == path.read_bytes(), f"package {i} changed on the way"

    # The packages are the last thing in the file: growing them moves nothing else.
    data = setup.read_bytes()
    last = payload[-1][1].read_bytes()
    end = data.rindex(last) + len(last)
    assert len(data) - end < pe_info(setup)["file_align"]


def test_same_inputs_same_bytes(tmp_path, stub, payload):
    a, b, c = tmp_path / "a.exe", tmp_path / "b.exe", tmp_path / "c.exe"
    pack_ok("--stub", stub, "--output", a, *pkg_args(payload))
    pack_ok("--stub", stub, "--output", b, *pkg_args(payload))
    assert a.read_bytes() == b.read_bytes()
    # ... and it is the inputs that decide: another order gives another file.
    pack_ok("--stub", stub, "--output", c, *pkg_args(payload[::-1]))
    assert c.read_bytes() != a.read_bytes()


def test_packed_installer_is_a_sound_image(tmp_path, stub, payload):
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, *pkg_args(payload))
    before = pe_info(stub)
    after = assert_sound_image(setup)
    # Code and imports stay where the stub had them.
    assert_init_data_follows(before, after)
    keep = [s for s in before["sections"] if s["name"] not in (".rsrc", ".reloc")]
    assert keep == [s for s in after["sections"] if s["name"] not in (".rsrc", ".reloc")]
    assert after["dirs"][1] == before["dirs"][1]


def test_stub_without_resources_gets_a_new_section(tmp_path, payload):
    # A program with the C runtime and no resources at all: the packer
    # appends the section instead of replacing one. The result still runs
    # and finds its own packages through the system's lookup.
    prog = tmp_path / "reader.exe"
    pack_ok("--stub", READRES, "--output", prog, *pkg_args(payload[:2]))
    assert len(pe_info(prog)["sections"]) == len(pe_info(READRES)["sections"]) + 1
    assert_sound_image(prog)
    got = read_resources(prog, [(RT_RCDATA, "BIN_01"), (RT_RCDATA, "HDR_00")], tmp_path, reader=prog)
    assert got[(RT_RCDATA, "BIN_01")] == payload[1][1].read_bytes()
    assert got[(RT_RCDATA, "HDR_00")][32:32 + len(payload[0][1].name)] == payload[0][1].name.encode()


def test_resources_in_the_middle_stay_and_a_new_section_follows(tmp_path, payload):
    # A program with the C runtime whose resources are followed by
    # relocations and debug sections: those cannot move, so the old
    # resource section stays unreferenced and the new one is appended. The
    # program's own payload-like resources give way to the new payload.
    prog = winrun.WIN_BUILD / "tests" / "test-win-package.exe"
    if not prog.exists():
        pytest.skip(f"{prog} is not built")
    before = [s["name"] for s in pe_info(prog)["sections"]]
    assert before.index(".rsrc") < len(before) - 1
    packed = tmp_path / "test-win-package.exe"
    pack_ok("--stub", prog, "--output", packed, *pkg_args(payload[2:3]))
    assert [s["name"] for s in pe_info(packed)["sections"]] == before + [".rsrc"]
    assert_sound_image(packed)
    got = read_resources(packed, [(RT_RCDATA, "MANIFEST"), (RT_RCDATA, "HDR_07"), (RT_RCDATA, "BIN_00")], tmp_path)
    assert got[(RT_RCDATA, "MANIFEST")][15] == 1
    assert got[(RT_RCDATA, "HDR_07")] is None
    assert got[(RT_RCDATA, "BIN_00")] == payload[2][1].read_bytes()
    r = winrun.run(packed, "--gtest_filter=PackageArchNames.*:HostArch.*")
    assert r.code == 0 and "[  PASSED  ] 4 tests." in r.stdout, r


def test_packed_stub_runs_and_extracts_every_package(tmp_path, stub, payload):
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, *pkg_args(payload))
    dest = tmp_path / "extracted"
    dest.mkdir()
    r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(dest))
    assert r.code == 0, r
    assert sorted(p.name for p in dest.iterdir()) == sorted(p.name for _, p in payload)
    for _, path in payload:
        assert (dest / path.name).read_bytes() == path.read_bytes()


def with_symbol_table(stub, path, count=300):
    """The stub as a link without -s leaves it: a COFF symbol table and its
    string table behind the last section, named by the file header.
    Returns the table's bytes."""
    b = bytearray(stub.read_bytes())
    pe = struct.unpack_from("<I", b, 0x3C)[0]
    assert struct.unpack_from("<I", b, pe + 12)[0] == 0, "the stub already has symbols"
    records, strings = bytearray(), bytearray()
    for i in range(count):
        # Long names live in the string table: four zero bytes, then the offset.
        records += struct.pack("<IIIhHBB", 0, 4 + len(strings), 0x1000 + 16 * i, 1, 0x20, 2, 0)
        strings += f"_rtStubFunction{i:04d}".encode() + b"\0"
    table = bytes(records) + struct.pack("<I", 4 + len(strings)) + bytes(strings)
    struct.pack_into("<II", b, pe + 12, len(b), count)
    path.write_bytes(bytes(b) + table)
    return table


def test_resources_start_on_a_page_behind_kept_symbols(tmp_path, stub, payload):
    # Symbols are kept in front of the resources. Right behind them the
    # resources would start in the middle of a page, and the loader would
    # read the whole image into memory instead of mapping it: they start on
    # the next page, with zeros in between, and the header still finds the
    # symbols. Two unstripped stubs: the installer's own with a symbol table
    # (its resources replaced in place), and a no-CRT program as the linker
    # left it (no resources, the section appended).
    unstripped = tmp_path / "MorvStub-symbols.exe"
    with_symbol_table(stub, unstripped)
    nocrt = winrun.E2E_BIN / "nocrt-argv.exe"
    if not nocrt.exists():
        pytest.fail(f"missing {nocrt}: build the Windows tree")
    dest = tmp_path / "extracted"
    dest.mkdir()

    def extracts(setup):
        r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(dest))
        assert r.code == 0, r
        for _, path in payload:
            assert (dest / path.name).read_bytes() == path.read_bytes()

    def prints_arguments(setup):
        r = winrun.run(setup, "one")
        assert r.code == 0 and "argc 2\n" in r.stdout.replace("\r\n", "\n") and "1:6f6e65" in r.stdout, r

    for source, run in [(unstripped, extracts), (nocrt, prints_arguments)]:
        before = pe_info(source)
        table = before["bytes"][before["sym_ptr"]:]
        assert before["sym_ptr"] and table, source
        setup = tmp_path / f"packed-{source.name}"
        pack_ok("--stub", source, "--output", setup, *pkg_args(payload))
        info = assert_sound_image(setup)
        assert_init_data_follows(before, info)
        b, rsrc = info["bytes"], info["sections"][-1]
        sym_end = info["sym_ptr"] + len(table)
        assert info["n_sym"] == before["n_sym"]
        assert b[info["sym_ptr"]:sym_end] == table, f"{source.name}: the symbols moved without their pointer"
        assert all(s["rawptr"] + s["rawsize"] <= info["sym_ptr"] for s in info["sections"][:-1])
        # The fixtures leave the symbols' end off a page, so there is padding to check.
        assert sym_end % 0x1000 and rsrc["rawptr"] == align(sym_end, 0x1000), (source.name, hex(sym_end))
        assert b[sym_end:rsrc["rawptr"]] == bytes(rsrc["rawptr"] - sym_end)
        run(setup)


def resource_levels(path):
    """Every directory of the resource tree as a list of its entries
    (name string or number), in file order."""
    info = pe_info(path)
    rs = info["sections"][-1]
    b = info["bytes"][rs["rawptr"]:rs["rawptr"] + rs["vsize"]]
    out = []

    def walk(off, depth):
        named, ids = struct.unpack_from("<HH", b, off + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", b, off + 16 + 8 * i)
            if name & 0x80000000:
                n, = struct.unpack_from("<H", b, name & 0x7FFFFFFF)
                o = (name & 0x7FFFFFFF) + 2
                key = b[o:o + 2 * n].decode("utf-16-le")
            else:
                key = name
            assert isinstance(key, str) == (i < named), "named entries must come before id entries"
            entries.append(key)
            if target & 0x80000000:
                assert depth < 2
                walk(target & 0x7FFFFFFF, depth + 1)
        out.append(entries)

    walk(0, 0)
    return out


def test_resource_directory_order(tmp_path, stub, payload):
    # The loader searches each directory by halves: names first, compared
    # as upper case ("AB" before "A_B", since "_" sorts after the letters),
    # then numbers ascending.
    blob = tmp_path / "blob"
    blob.write_bytes(b"x")
    names = ["ZED", "ALPHA", "A_B", "AB", "A1", "HDR_0", "BINARY"]
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, *[a for n in names for a in ("--raw-resource", f"{n}={blob}")],
            *pkg_args(payload))
    levels = resource_levels(setup)
    for entries in levels:
        named = [e for e in entries if isinstance(e, str)]
        ids = [e for e in entries if isinstance(e, int)]
        assert named == sorted(named, key=lambda n: [ord(c) for c in n.upper()])
        assert ids == sorted(ids)
    rcdata = [e for e in levels if "MANIFEST" in e][0]
    assert rcdata.index("AB") < rcdata.index("A_B")
    got = read_resources(setup, [(RT_RCDATA, n) for n in names] + [(RT_RCDATA, "HDR_03")], tmp_path)
    assert all(v == b"x" for k, v in got.items() if k[1] in names), got
    assert got[(RT_RCDATA, "HDR_03")][32:32 + len(payload[3][1].name)] == payload[3][1].name.encode()


# --- the splash picture ---------------------------------------------------

def test_splash_picture_kept_replaced_or_removed(tmp_path, stub, payload):
    key = ("PNG", "#102")
    original = read_resources(stub, [key], tmp_path)[key]
    assert original and original.startswith(b"\x89PNG"), "the stub carries no splash picture"
    other = tmp_path / "other.png"
    subprocess.run(["python3", str(winrun.ROOT / "tools" / "make-splash.py"), str(other), "--width", "400"],
                   check=True)
    cases = [([], original), (["--splash", other], other.read_bytes()), (["--no-splash"], None)]
    for extra, want in cases:
        setup = tmp_path / "Setup.exe"
        pack_ok("--stub", stub, "--output", setup, *extra, *pkg_args(payload[:1]))
        assert read_resources(setup, [key], tmp_path)[key] == want, extra
        assert listing(setup)[0][3] == payload[0][1].name


# --- refusals -------------------------------------------------------------

def _refusal_cases(tmp, stub, good):
    empty = tmp / "empty.msi"
    empty.write_bytes(b"")
    long_name = tmp / ("\u00e9" * 110 + "abcd")          # 224 bytes of UTF-8
    long_name.write_bytes(b"x")
    backslash = tmp / "a\\b.msi"
    backslash.write_bytes(b"x")
    colon = tmp / "a:b.msi"
    colon.write_bytes(b"x")
    bad_utf8 = os.fsdecode(bytes(tmp) + b"/bad\xff.msi")
    with open(os.fsencode(bad_utf8), "wb") as f:
        f.write(b"x")
    text = tmp / "notpe.exe"
    text.write_text("this is not an executable\n" * 10)
    mz_only = tmp / "mz.exe"
    mz_only.write_bytes(b"MZ" + b"\0" * 200)
    cut = tmp / "cut.exe"
    cut.write_bytes(stub.read_bytes()[:0x200])
    notpng = tmp / "notpng.png"
    notpng.write_bytes(b"GIF89a" + b"\0" * 20)
    many = [f"all:{good}"] * 256
    # Sparse packages, each below the 2 GiB a single package may have, whose
    # image is too large to load: one of 1.6 GiB, and three whose sum passes
    # 4 GiB by little, so that sizes cut to 32 bits would look small.
    def sparse(name, cb):
        p = tmp / name
        with open(p, "wb") as f:
            f.truncate(cb)
        return p
    big = sparse("big.cab", 0x66666666)
    wraps = [f"all:{sparse(f'wrap{i}.cab', 0x55560000)}" for i in range(3)]
    too_large = "a 32-bit installer image may be at most 1.5 GiB (0x60000000 bytes): ship fewer or smaller packages"
    return [
        # (label, stub, extra args, packages, exit code, message)
        ("missing file", stub, [], ["amd64:" + str(tmp / "nope.msi")], 1, "does not exist"),
        ("empty file", stub, [], [f"amd64:{empty}"], 1, "is empty"),
        ("directory", stub, [], [f"amd64:{tmp}"], 1, "is not a regular file"),
        ("unknown arch", stub, [], [f"ia64:{good}"], 1, "unknown architecture 'ia64'"),
        ("upper-case arch", stub, [], [f"AMD64:{good}"], 1, "unknown architecture 'AMD64'"),
        ("no arch", stub, [], [str(good)], 1, "is not ARCH:FILE"),
        ("name of 224 bytes", stub, [], [f"x86:{long_name}"], 1, "224 bytes long"),
        ("backslash in name", stub, [], [f"x86:{backslash}"], 1, 'contains "\\", "/" or ":"'),
        ("colon in name", stub, [], [f"x86:{colon}"], 1, 'contains "\\", "/" or ":"'),
        ("name not UTF-8", stub, [], [f"x86:{bad_utf8}"], 1, "not valid UTF-8"),
        ("256 packages", stub, [], many, 1, "256 packages given"),
        ("image of 1.6 GiB", stub, [], [f"all:{good}", f"all:{big}"], 1, too_large),
        # 0x100020000 bytes of packages and the stub's part, well below a MiB.
        ("image past 4 GiB", stub, [], wraps, 1, "image would be 4.01 GiB (0x1000"),
        ("stub is text", text, [], [f"all:{good}"], 1, "is not a PE image"),
        ("stub is MZ only", mz_only, [], [f"all:{good}"], 1, "is not a PE image"),
        ("stub cut short", cut, [], [f"all:{good}"], 1, "is not a PE image"),
        ("stub missing", tmp / "nostub.exe", [], [f"all:{good}"], 1, "cannot read stub"),
        ("splash not PNG", stub, ["--splash", notpng], [f"all:{good}"], 1, "is not a PNG file"),
        ("splash and no splash", stub, ["--splash", notpng, "--no-splash"], [f"all:{good}"], 2, "exclude each other"),
        ("unknown option", stub, ["--bogus"], [f"all:{good}"], 2, "unknown option --bogus"),
    ]


def test_refusals_leave_no_output(tmp_path, stub, payload):
    good = payload[2][1]
    inputs = tmp_path / "in"
    inputs.mkdir()
    outdir = tmp_path / "out"
    outdir.mkdir()
    failures = []
    for label, stub_path, extra, pkgs, code, message in _refusal_cases(inputs, stub, good):
        for existing in (False, True):
            out = outdir / "Setup.exe"
            if existing:
                out.write_bytes(b"previous installer")
            r = pack("--stub", stub_path, "--output", out, *extra, *pkgs)
            err = r.stderr.decode("utf-8", "replace")
            left = sorted(p.name for p in outdir.iterdir())
            if r.returncode != code or message not in err:
                failures.append(f"{label}: exit {r.returncode}, stderr {err!r}")
            if existing and out.read_bytes() != b"previous installer":
                failures.append(f"{label}: the existing output was changed")
            if left != (["Setup.exe"] if existing else []):
                failures.append(f"{label}: left {left}")
            if out.exists():
                out.unlink()
    assert not failures, "\n".join(failures)


def test_limits_are_inclusive(tmp_path, stub):
    # 223 bytes of UTF-8 and 255 packages are still accepted; the header
    # names go past two digits.
    name = tmp_path / ("\u00e9" * 110 + "abc")
    name.write_bytes(b"longest name")
    small = tmp_path / "small.cab"
    small.write_bytes(b"MSCF")
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, f"arm64:{name}", *[f"all:{small}"] * 254)
    rows = listing(setup)
    assert len(rows) == 255
    assert rows[0] == ["0", "arm64", "BIN_00", name.name, "12"]
    assert rows[100] == ["100", "all", "BIN_100", "small.cab", "4"]
    assert rows[254][2] == "BIN_254"
    assert_sound_image(setup)


def test_image_limit_is_inclusive(tmp_path, stub):
    # What counts is the whole image, not one package: three packages of
    # about half a GiB fill 1.5 GiB exactly and are packed; one byte more is
    # refused before anything is written. The packages are sparse files; the
    # accepted installer is written out in full and removed at once.
    limit = 0x60000000
    parts = [tmp_path / f"part{i}.cab" for i in range(3)]

    def resize(*sizes):
        for p, cb in zip(parts, sizes):
            with open(p, "wb") as f:
                f.truncate(cb)

    # The image without the packages' bytes: stub, resource tree, headers.
    resize(8, 8, 8)
    probe = tmp_path / "probe.exe"
    pack_ok("--stub", stub, "--output", probe, *[f"all:{p}" for p in parts])
    rsrc = pe_info(probe)["sections"][-1]
    fixed = rsrc["va"] + rsrc["vsize"] - 3 * 8
    last = limit - fixed - 2 * 0x20000000
    assert 0 < last < 0x7FFFFFFF and last % 8 == 0

    outdir = tmp_path / "out"
    outdir.mkdir()
    setup = outdir / "Setup.exe"
    resize(0x20000000, 0x20000000, last)
    pack_ok("--stub", stub, "--output", setup, *[f"all:{p}" for p in parts])
    try:
        info = pe_info(setup, head_only=True)
        assert info["size_of_image"] == limit
        assert setup.stat().st_size == info["sections"][-1]["rawptr"] + info["sections"][-1]["rawsize"]
    finally:
        setup.unlink()

    resize(0x20000000, 0x20000000, last + 1)
    setup.write_bytes(b"previous installer")
    r = pack("--stub", stub, "--output", setup, *[f"all:{p}" for p in parts])
    assert r.returncode == 1
    assert r.stderr.decode() == ("morvstub-pack: error: the installer image would be 1.51 GiB (0x60001000 bytes); "
                                 "a 32-bit installer image may be at most 1.5 GiB (0x60000000 bytes): ship fewer "
                                 "or smaller packages\n")
    assert setup.read_bytes() == b"previous installer"
    assert [p.name for p in outdir.iterdir()] == ["Setup.exe"]


# --- signatures, repacking, damaged payloads for the installer's tests ----

def test_signature_of_stub_is_dropped(tmp_path, stub, payload):
    key, cert = tmp_path / "k.pem", tmp_path / "c.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=Morvaquill Test Signer", "-keyout", key, "-out", cert], check=True, capture_output=True)
    signed = tmp_path / "signed.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", stub, "-out", signed],
                   check=True, capture_output=True)
    assert pe_info(signed)["dirs"][4][1] > 0
    setup = tmp_path / "Setup.exe"
    r = pack_ok("--stub", signed, "--output", setup, *pkg_args(payload[:1]))
    assert b"signature was dropped" in r.stderr
    assert_sound_image(setup)
    v = subprocess.run(["osslsigncode", "verify", "-in", setup], capture_output=True, text=True)
    assert v.returncode != 0


def test_packing_an_installer_again_replaces_its_payload(tmp_path, stub, payload):
    first, second = tmp_path / "first.exe", tmp_path / "second.exe"
    pack_ok("--stub", stub, "--output", first, *pkg_args(payload))
    pack_ok("--stub", first, "--output", second, *pkg_args(payload[2:3]))
    assert listing(second) == [["0", "all", "BIN_00", "common.cab", str(payload[2][1].stat().st_size)]]
    got = read_resources(second, [(RT_RCDATA, "BIN_01"), (RT_RCDATA, "HDR_01"), ("PNG", "#102")], tmp_path)
    assert got[(RT_RCDATA, "BIN_01")] is None and got[(RT_RCDATA, "HDR_01")] is None
    assert got[("PNG", "#102")] is not None
    # Repacking yields what packing the stub directly yields.
    direct = tmp_path / "direct.exe"
    pack_ok("--stub", stub, "--output", direct, *pkg_args(payload[2:3]))
    assert direct.read_bytes() == second.read_bytes()


def test_damage_options_and_list_reports(tmp_path, stub, payload):
    empty = tmp_path / "empty"
    empty.write_bytes(b"")
    short = tmp_path / "short-manifest"
    short.write_bytes(b"MorvInstV1\0\0\0\0\0")
    cases = [
        (["--drop-resource", "HDR_01"], "package header HDR_01 is missing"),
        (["--drop-resource", "BIN_00"], "data resource BIN_00 is missing"),
        (["--drop-resource", "MANIFEST"], "no package manifest"),
        (["--raw-resource", f"MANIFEST={short}"], "the package manifest is damaged"),
    ]
    for extra, message in cases:
        setup = tmp_path / "Setup.exe"
        pack_ok("--stub", stub, "--output", setup, *extra, *pkg_args(payload[:2]))
        assert_sound_image(setup)
        r = subprocess.run([str(PACKER), "--list", str(setup)], capture_output=True, text=True)
        assert r.returncode == 1 and message in r.stderr, (extra, r.stderr)
    # An empty data resource, as no regular packing can make it.
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, "--drop-resource", "BIN_01", "--raw-resource", f"BIN_01={empty}",
            *pkg_args(payload[:2]))
    assert [row[4] for row in listing(setup)] == [str(payload[0][1].stat().st_size), "0"]
    got = read_resources(setup, [(RT_RCDATA, "BIN_00")], tmp_path)
    assert got[(RT_RCDATA, "BIN_00")] == payload[0][1].read_bytes()


def test_list_refuses_what_is_no_installer(tmp_path, stub, payload):
    text = tmp_path / "x.txt"
    text.write_text("hello")
    # Two type entries sharing one name directory: a damaged file could
    # multiply such sharing into endless work, so it is refused.
    setup = tmp_path / "Setup.exe"
    pack_ok("--stub", stub, "--output", setup, *pkg_args(payload[:1]))
    info = pe_info(setup)
    root = info["sections"][-1]["rawptr"]
    data = bytearray(info["bytes"])
    # The stub's own types (the picture by name, the manifest and the payload
    # by id) come first; point the second entry at the first one's directory.
    named, ids = struct.unpack_from("<HH", data, root + 12)
    assert named >= 1 and ids >= 1, (named, ids)
    data[root + 28:root + 32] = data[root + 20:root + 24]
    shared = tmp_path / "shared.exe"
    shared.write_bytes(bytes(data))
    for path, message in [(stub, "no package manifest"), (text, "is not a PE image"),
                          (tmp_path / "none.exe", "cannot read"), (shared, "a directory is used twice")]:
        r = subprocess.run([str(PACKER), "--list", str(path)], capture_output=True, text=True)
        assert r.returncode == 1 and message in r.stderr and r.stdout == "", (path, r.stderr)


# --- how the installer takes damaged payloads (made with the test options) --

def _header(arch, data_name, file_name):
    b = bytearray(256)
    struct.pack_into("<I", b, 0, arch)
    b[4:4 + len(data_name)] = data_name
    b[32:32 + len(file_name)] = file_name
    assert len(b) == 256
    return bytes(b)


def test_installer_reports_damaged_payloads(tmp_path, stub, payload):
    cab = payload[2][1]
    files = {
        "short-manifest": b"MorvInstV1\0\0\0\0\0",
        "short-header": _header(1, b"BIN_00", b"common.cab")[:255],
        "open-data-name": _header(1, b"B" * 28, b"common.cab"),
        "open-file-name": _header(1, b"BIN_00", b"c" * 224),
        "empty": b"",
    }
    for name, data in files.items():
        (tmp_path / name).write_bytes(data)
    manifest = "Internal package error: Manifest not found ({})"
    header = "Internal error: Could not find package header #{}: {}"
    cases = [
        ("no manifest", ["--drop-resource", "MANIFEST"], manifest.format("RTE_GENERAL_FAILURE")),
        ("empty manifest", ["--drop-resource", "MANIFEST", "--raw-resource", f"MANIFEST={tmp_path / 'empty'}"],
         manifest.format("RTE_NO_DATA")),
        ("15-byte manifest", ["--raw-resource", f"MANIFEST={tmp_path / 'short-manifest'}"],
         manifest.format("RTE_BUFFER_UNDERFLOW")),
        ("header missing", ["--drop-resource", "HDR_01"], header.format(1, "RTE_GENERAL_FAILURE")),
        ("255-byte header", ["--raw-resource", f"HDR_00={tmp_path / 'short-header'}"],
         header.format(0, "RTE_BUFFER_UNDERFLOW")),
        ("data name without end", ["--raw-resource", f"HDR_00={tmp_path / 'open-data-name'}"],
         header.format(0, "RTE_BAD_EXE_FORMAT")),
        ("file name without end", ["--raw-resource", f"HDR_00={tmp_path / 'open-file-name'}"],
         header.format(0, "RTE_BAD_EXE_FORMAT")),
    ]
    failures = []
    for label, extra, text in cases:
        setup = tmp_path / "Setup.exe"
        pack_ok("--stub", stub, "--output", setup, *extra, f"all:{cab}", f"all:{cab}")
        dest = tmp_path / "dest"
        shutil.rmtree(dest, ignore_errors=True)
        dest.mkdir()
        r = winrun.run(setup, "--silent", "--extract", "--path", winrun.to_win(dest))
        want = f"Setup.exe: error: {text}\n"
        got = r.stderr.replace("\r\n", "\n")
        if r.code != 1 or want not in got:
            failures.append(f"{label}: exit {r.code}, stderr {got!r}, wanted {want!r}")
        # A manifest that cannot be used stops the run before anything is written.
        if "Manifest" in text and list(dest.iterdir()):
            failures.append(f"{label}: wrote {list(dest.iterdir())}")
    assert not failures, "\n".join(failures)
