#!/usr/bin/env python3
"""Size of the installer stub: the executable without payload, then without
its symbol table, splash picture and publisher certificate (from the PE
section and resource sizes), against the 96 KiB target; and the bytes each
area of the code contributes, from a linker map of the same objects, grouped
by source directory and by area, so that growth shows where it happens.

    bench-size.py [--exe EXE] [--build WIN_BUILD_TREE] [--variants]

The map comes from linking the stub again in the build tree with the
command CMake wrote for it (plus -Map), into a temporary file. --variants
also links it with -s and without --gc-sections, to show what each does.
"""
import argparse
import atexit
import os
import pathlib
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
TARGET_KIB = 96

# Area of a source path: first match wins.
AREAS = [
    ("status texts and codes", r"generated/status-|Runtime/common/err/"),
    ("formatting", r"Runtime/common/string/format|format-ext-none"),
    ("strings, UTF-8/16", r"Runtime/common/string/|Runtime/r3/win/utf8"),
    ("options", r"getopt|MorvStubOptions"),
    ("paths, files, directories", r"Runtime/common/path/|Runtime/r3/win/(path|env|file|dir)|Runtime/r3/nt/|"
                                  r"Runtime/r3/dir|Runtime/generic/|Runtime/common/rand/"),
    ("start-up, init, threads", r"nocrt-|/init|rtProcInitExePath|thread|atexit"),
    ("streams, messages, loader", r"stream|message|ldr|lazy|assert"),
    ("installer", r"Installer/.*\.cpp$"),
    ("compiler support (libgcc)", r"libgcc"),
    ("import thunks", r"^lib\w+\.a\(|^dll stuff"),
    ("resources (splash picture)", r"-res\.o$"),
]


def pe_layout(path):
    data = pathlib.Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsec, _, symptr, nsyms, optsize = struct.unpack_from("<HIIIH", data, pe + 6)
    opt = pe + 24
    sections = []
    for i in range(nsec):
        off = opt + optsize + 40 * i
        name = data[off:off + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
        if name.startswith("/"):  # long name in the string table
            strtab = symptr + 18 * nsyms
            start = strtab + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode()
        sections.append({"name": name, "va": va, "vsize": vsize, "raw": rawsize, "ptr": rawptr})
    end_of_sections = max(s["ptr"] + s["raw"] for s in sections)
    return data, sections, end_of_sections, symptr


def resources(data, sections):
    """(type, name, size) of every resource, names and ids as text."""
    rsrc = next((s for s in sections if s["name"] == ".rsrc"), None)
    if not rsrc:
        return []

    def at(rva):
        return rsrc["ptr"] + rva - rsrc["va"]

    base = rsrc["ptr"]

    def label(entry_name):
        if entry_name & 0x80000000:
            off = base + (entry_name & 0x7FFFFFFF)
            n = struct.unpack_from("<H", data, off)[0]
            return data[off + 2:off + 2 + 2 * n].decode("utf-16-le")
        return str(entry_name)

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, off + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", data, off + 16 + 8 * i)

    out = []
    for tname, toff in entries(base):
        for nname, noff in entries(base + (toff & 0x7FFFFFFF)):
            for _, loff in entries(base + (noff & 0x7FFFFFFF)):
                rva, size = struct.unpack_from("<II", data, base + loff)
                out.append((label(tname), label(nname), size))
    return out


def link_command(build):
    stub_dir = build / "Installer" / "win" / "Stub"
    lines = (stub_dir / "CMakeFiles" / "MorvStub.dir" / "link.txt").read_text().splitlines()
    cmd = next(line for line in lines if " -o MorvStub.exe" in line)
    return stub_dir, shlex.split(cmd)


def relink(build, extra=(), drop=()):
    stub_dir, argv = link_command(build)
    tmp = pathlib.Path(tempfile.mkdtemp(prefix="stub-size-"))
    atexit.register(shutil.rmtree, tmp, True)
    exe, mapfile = tmp / "MorvStub.exe", tmp / "MorvStub.map"
    out = []
    skip = False
    for arg in argv:
        if skip:
            skip = False
            continue
        if arg in drop:
            continue
        if arg == "-o":
            out += ["-o", str(exe)]
            skip = True
        elif arg.startswith("-Wl,--out-implib,"):
            out.append(f"-Wl,--out-implib,{tmp / 'implib.a'}")
        else:
            out.append(arg)
    out += [f"-Wl,-Map={mapfile}", *extra]
    subprocess.run(out, cwd=stub_dir, check=True)
    return exe, mapfile


def object_index(build):
    """(archive or target dir, object file name) -> source path relative to the sources."""
    index = {}
    for obj in build.rglob("*.obj"):
        parts = obj.parts
        try:
            i = next(k for k, p in enumerate(parts) if p.endswith(".dir"))
        except StopIteration:
            continue
        target = parts[i][:-4]
        rel = pathlib.Path(*parts[i + 1:]).as_posix()[:-4]
        prefix = pathlib.Path(*parts[:i - 1]).relative_to(build).as_posix() if i > 1 else ""
        src = rel.replace("__/generated/", "generated/")
        if "generated/" not in src:
            src = f"{prefix}/{src}" if prefix else src
        index[(target, obj.name)] = src
    return index


def map_contributions(mapfile, index):
    """Bytes per source path, from the input sections placed in the image (no .bss)."""
    text = mapfile.read_text(errors="replace")
    text = text[text.find("Linker script and memory map"):]
    pat = re.compile(r"^ (\.[\w.$~]+)\s*\n?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*?)\s*$", re.M)
    sizes = {}
    for sec, _, size, obj in pat.findall(text):
        size = int(size, 16)
        if not size or sec.startswith(".bss") or sec.startswith(".debug"):
            continue
        m = re.match(r"(?:.*/)?objects\.a\(([^)]+)\)$", obj)
        if m:
            # The stub's own objects, put into one archive by CMake; the
            # resource object holds the splash picture.
            src = f"Installer/win/Stub/{m.group(1).removesuffix('.obj')}"
            sizes[src] = sizes.get(src, 0) + size
            continue
        m = re.match(r".*?lib([\w-]+)\.a\(([^)]+)\)$", obj)
        if m:
            key = index.get((m.group(1), m.group(2)))
            src = key or f"{pathlib.Path(obj.split('(')[0]).name}({m.group(2)})"
        else:
            m = re.match(r"CMakeFiles/([\w-]+)\.dir/(.+)\.obj$", obj)
            src = f"Installer/win/Stub/{m.group(2)}" if m else pathlib.Path(obj).name
        sizes[src] = sizes.get(src, 0) + size
    return sizes


def area_of(src):
    for name, pat in AREAS:
        if re.search(pat, src):
            return name
    return "other"


def kib(n):
    return f"{n / 1024:.1f} KiB"


def report_exe(exe, cert_bytes):
    data, sections, end, symptr = pe_layout(exe)
    symtab = len(data) - end if symptr else 0
    res = resources(data, sections)
    splash = sum(size for t, n, size in res if t == "PNG")
    payload = sum(size for t, n, size in res if t == "10")
    bare = len(data) - symtab - splash - cert_bytes
    print(f"file {exe}: {len(data)} bytes ({kib(len(data))})")
    print(f"  symbol table {kib(symtab)}; splash picture {kib(splash)}; certificate {kib(cert_bytes)}; "
          f"RT_RCDATA payload {kib(payload)}")
    print(f"  without symbol table, splash and certificate: {bare} bytes ({kib(bare)}), target {TARGET_KIB} KiB: "
          f"{'met' if bare <= TARGET_KIB * 1024 else 'NOT met'}")
    print("  | Section | Raw bytes | Virtual bytes |\n  |---|---|---|")
    for s in sections:
        print(f"  | {s['name']} | {s['raw']} | {s['vsize']} |")
    return bare


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--exe", default=str(ROOT / "out" / "MorvStub.exe"))
    ap.add_argument("--build", default=os.environ.get("QUAB_WIN_BUILD", str(ROOT / "build" / "win")))
    ap.add_argument("--variants", action="store_true", help="also link with -s and without --gc-sections")
    a = ap.parse_args()
    build = pathlib.Path(a.build).resolve()
    cache = (build / "CMakeCache.txt").read_text()
    cert = pathlib.Path(re.search(r"^MORV_PUBLISHER_CERT:FILEPATH=(.*)$", cache, re.M).group(1))
    cert_bytes = cert.stat().st_size if cert.exists() else 0

    print("# stub size")
    report_exe(a.exe, cert_bytes)

    exe, mapfile = relink(build)
    print(f"\nrelinked in {build} with a map:")
    report_exe(exe, cert_bytes)
    sizes = map_contributions(mapfile, object_index(build))
    total = sum(sizes.values())
    by_area, by_dir = {}, {}
    for src, n in sizes.items():
        by_area[area_of(src)] = by_area.get(area_of(src), 0) + n
        d = src.rsplit("/", 1)[0] if "/" in src else src.split("(")[0]
        by_dir[d] = by_dir.get(d, 0) + n
    print(f"\nbytes placed in the image by the objects (code and data, no .bss): {total} ({kib(total)})")
    print("\n| Area | Bytes | Share |\n|---|---|---|")
    for name, n in sorted(by_area.items(), key=lambda kv: -kv[1]):
        print(f"| {name} | {n} | {100 * n / total:.1f} % |")
    print("\n| Source directory | Bytes |\n|---|---|")
    for d, n in sorted(by_dir.items(), key=lambda kv: -kv[1]):
        print(f"| {d} | {n} |")
    print("\n| Largest sources | Bytes |\n|---|---|")
    for src, n in sorted(sizes.items(), key=lambda kv: -kv[1])[:15]:
        print(f"| {src} | {n} |")

    if a.variants:
        print("\n| Link variant (same objects) | File bytes | Without symbols, splash, certificate |\n|---|---|---|")
        for label, extra, drop in [("as built", (), ()), ("-s", ("-s",), ()),
                                   ("-s, without --gc-sections", ("-s",), ("-Wl,--gc-sections",))]:
            v_exe, _ = relink(build, extra, drop)
            with open(os.devnull, "w") as null:
                old, sys.stdout = sys.stdout, null
                try:
                    bare = report_exe(v_exe, cert_bytes)
                finally:
                    sys.stdout = old
            print(f"| {label} | {v_exe.stat().st_size} | {bare} ({kib(bare)}) |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
