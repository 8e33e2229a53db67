#!/usr/bin/env python3
"""Writes the .res files behind the package-resource tests (windres turns
them into objects). windres cannot take a resource named MANIFEST in an .rc
file, and zero-size or deliberately damaged records are the point here.

usage: make-fixture-res.py OUT_DIR
writes main.res (linked into the test program), short.res, empty.res, none.res
"""
import struct
import sys
from pathlib import Path

RT_RCDATA = 10
LANG_EN_US = 1033


def _id(v):
    if isinstance(v, int):
        return struct.pack("<HH", 0xFFFF, v)
    return v.encode("utf-16-le") + b"\0\0"


def _entry(rtype, name, data, lang=LANG_EN_US):
    ids = _id(rtype) + _id(name)
    ids += b"\0" * (-len(ids) % 4)
    header_size = 8 + len(ids) + 16
    head = struct.pack("<II", len(data), header_size) + ids + struct.pack("<IHHII", 0, 0x30, lang, 0, 0)
    return head + data + b"\0" * (-len(data) % 4)


def res_file(entries):
    out = struct.pack("<II", 0, 32) + _id(0) + _id(0) + struct.pack("<IHHII", 0, 0, 0, 0, 0)
    for name, data in entries:
        out += _entry(RT_RCDATA, name, data)
    return out


def manifest(count):
    return b"MorvInstV1" + b"\0" * 5 + bytes([count])


def header(arch, data_name, file_name, size=256):
    b = bytearray(size)
    struct.pack_into("<I", b, 0, arch)
    b[4:4 + len(data_name)] = data_name
    b[32:32 + len(file_name)] = file_name
    for i in range(256, size):
        b[i] = 0xEE
    return bytes(b)


MAIN = [
    ("MANIFEST", manifest(3)),
    ("HDR_00", header(3, b"BIN_00", b"Sample_amd64.msi")),
    ("HDR_01", header(4, b"BIN_01", b"Sample_arm64.msi")),
    ("HDR_02", header(1, b"BIN_02", "c\u00f6mmon.cab".encode())),
    ("HDR_03", header(3, b"BIN_00", b"short.msi")[:255]),
    ("HDR_04", header(3, b"D" * 28, b"unterminated-data-name.msi")),
    ("HDR_05", header(3, b"BIN_00", b"f" * 224)),
    ("HDR_06", header(2, b"D" * 27, b"F" * 223)),
    ("HDR_07", header(2, b"BIN_00", b"longer-record.msi", size=300)),
    ("HDR_09", b""),
    ("HDR_100", header(1, b"BIN_02", b"hundred.cab")),
    ("BIN_00", bytes(range(256)) * 3 + b"end"),
    ("EMPTY", b""),
]
MODULES = {
    "main": MAIN,
    "short": [("MANIFEST", manifest(3)[:15])],
    "empty": [("MANIFEST", b"")],
    "none": [("OTHER", b"not a manifest")],
}


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, entries in MODULES.items():
        (out / f"{name}.res").write_bytes(res_file(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
