"""Rewrites the resources of a built installer with arbitrary bytes.

The packer refuses to write damaged payloads, so the tests that feed the
installer short manifests, open-ended headers or hostile file names need
their own writer. This one reads the whole resource tree of a PE image,
lets the caller add, replace or delete entries, and writes the tree back as
the image's last section, with the image size, the resource directory and
the checksum set to match.

    edit(src, dst, {name: bytes_or_None, ...}, rtype=10)

A value of None deletes the entry (every language of it); bytes replace or
add it under language 1033. Names are strings or integer IDs.
"""
from __future__ import annotations

import struct
from pathlib import Path

RT_RCDATA = 10
LANG_EN_US = 1033


def _align(v, a):
    return (v + a - 1) & ~(a - 1)


class Image:
    def __init__(self, data: bytes):
        self.b = bytearray(data)
        pe = struct.unpack_from("<I", self.b, 0x3C)[0]
        if self.b[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.n_sec_off = pe + 6
        opt_size = struct.unpack_from("<H", self.b, pe + 20)[0]
        self.opt = pe + 24
        magic = struct.unpack_from("<H", self.b, self.opt)[0]
        self.dd = self.opt + (96 if magic == 0x10B else 112)
        self.sec_align, self.file_align = struct.unpack_from("<II", self.b, self.opt + 32)
        self.sec_table = self.opt + opt_size
        n = struct.unpack_from("<H", self.b, self.n_sec_off)[0]
        self.sections = []
        for i in range(n):
            o = self.sec_table + 40 * i
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", self.b, o + 8)
            self.sections.append(dict(off=o, name=bytes(self.b[o:o + 8]).rstrip(b"\0"), vsize=vsize, va=va,
                                      rawsize=rawsize, rawptr=rawptr))

    def dir_entry(self, i):
        return struct.unpack_from("<II", self.b, self.dd + 8 * i)

    def rva_to_off(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], s["rawsize"]):
                return s["rawptr"] + rva - s["va"]
        raise ValueError(f"RVA {rva:#x} lies in no section")


# --- reading: {type: {name: {lang: bytes}}} ---------------------------------

def _read_dir(img, base_off, off, depth):
    named, ids = struct.unpack_from("<HH", img.b, base_off + off + 12)
    out = {}
    for i in range(named + ids):
        e = base_off + off + 16 + 8 * i
        name_field, target = struct.unpack_from("<II", img.b, e)
        if name_field & 0x80000000:
            so = base_off + (name_field & 0x7FFFFFFF)
            n = struct.unpack_from("<H", img.b, so)[0]
            key = bytes(img.b[so + 2:so + 2 + 2 * n]).decode("utf-16-le")
        else:
            key = name_field & 0xFFFF
        if target & 0x80000000:
            out[key] = _read_dir(img, base_off, target & 0x7FFFFFFF, depth + 1)
        else:
            rva, size, codepage = struct.unpack_from("<III", img.b, base_off + target)
            start = img.rva_to_off(rva)
            out[key] = (bytes(img.b[start:start + size]), codepage)
    return out


def read_tree(img):
    rva, size = img.dir_entry(2)
    if not rva:
        return {}
    return _read_dir(img, img.rva_to_off(rva), 0, 0)


# --- writing ------------------------------------------------------------------

def _sort_key(k):
    # Named entries first, ordered by their UTF-16 code units, then the IDs
    # ascending: the system's look-up searches both runs by halving.
    return (0, k.encode("utf-16-be")) if isinstance(k, str) else (1, k)


def _serialise(tree, section_rva):
    strings, leaves = [], []

    # Pass 1: lay out every directory breadth first.
    def count(node):
        return len(node)
    queue = [tree]
    order = []
    while queue:
        node = queue.pop(0)
        order.append(node)
        for k in sorted(node, key=_sort_key):
            if isinstance(node[k], dict):
                queue.append(node[k])
    dir_off = {}
    pos = 0
    for node in order:
        dir_off[id(node)] = pos
        pos += 16 + 8 * count(node)
    str_off = {}
    for node in order:
        for k in node:
            if isinstance(k, str) and k not in str_off:
                str_off[k] = pos
                raw = k.encode("utf-16-le")
                strings.append(struct.pack("<H", len(raw) // 2) + raw)
                pos += 2 + len(raw)
    pos = _align(pos, 4)
    leaf_off = {}
    for node in order:
        for k in sorted(node, key=_sort_key):
            if not isinstance(node[k], dict):
                leaf_off[(id(node), k)] = pos
                leaves.append(node[k])
                pos += 16
    data_off = []
    for data, _cp in leaves:
        pos = _align(pos, 8)
        data_off.append(pos)
        pos += len(data)
    size = pos

    out = bytearray(size)
    for node in order:
        o = dir_off[id(node)]
        keys = sorted(node, key=_sort_key)
        named = sum(1 for k in keys if isinstance(k, str))
        struct.pack_into("<IIHHHH", out, o, 0, 0, 0, 0, named, len(keys) - named)
        for i, k in enumerate(keys):
            name_field = (0x80000000 | str_off[k]) if isinstance(k, str) else k
            child = node[k]
            target = (0x80000000 | dir_off[id(child)]) if isinstance(child, dict) else leaf_off[(id(node), k)]
            struct.pack_into("<II", out, o + 16 + 8 * i, name_field, target)
    p = min(str_off.values()) if str_off else 0
    for s in strings:
        out[p:p + len(s)] = s
        p += len(s)
    for i, (node_id_key, off) in enumerate(sorted(leaf_off.items(), key=lambda kv: kv[1])):
        data, cp = leaves[i]
        struct.pack_into("<IIII", out, off, section_rva + data_off[i], len(data), cp, 0)
        out[data_off[i]:data_off[i] + len(data)] = data
    return bytes(out)


def pe_checksum(b, off):
    """The PE header checksum of the image bytes b, whose checksum field is at off."""
    data = bytearray(b)
    data[off:off + 4] = b"\0\0\0\0"
    if len(data) % 2:
        data.append(0)
    s = 0
    for (w,) in struct.iter_unpack("<H", bytes(data)):
        s += w
        s = (s & 0xFFFF) + (s >> 16)
    s = (s & 0xFFFF) + (s >> 16)
    return (s + len(b)) & 0xFFFFFFFF


def write_tree(img, tree):
    rva, _ = img.dir_entry(2)
    last = img.sections[-1]
    if not rva or last["va"] != rva:
        raise ValueError("the resources must be the image's last section")
    blob = _serialise(tree, last["va"])
    rawsize = _align(len(blob), img.file_align)
    b = img.b[:last["rawptr"]] + blob + bytes(rawsize - len(blob))
    struct.pack_into("<IIII", b, last["off"] + 8, len(blob), last["va"], rawsize, last["rawptr"])
    struct.pack_into("<II", b, img.dd + 16, last["va"], len(blob))
    struct.pack_into("<II", b, img.dd + 32, 0, 0)  # a signature no longer matches
    struct.pack_into("<I", b, img.opt + 56, _align(last["va"] + len(blob), img.sec_align))
    struct.pack_into("<I", b, img.opt + 64, pe_checksum(b, img.opt + 64))
    return bytes(b)


def resources(path, rtype=RT_RCDATA):
    """{name: bytes} of one resource type (the first language of each)."""
    tree = read_tree(Image(Path(path).read_bytes()))
    return {k: next(iter(v.values()))[0] for k, v in tree.get(rtype, {}).items()}


def edit(src, dst, changes, rtype=RT_RCDATA):
    """Copies installer SRC to DST with CHANGES applied to resource type RTYPE."""
    img = Image(Path(src).read_bytes())
    tree = read_tree(img)
    names = tree.setdefault(rtype, {})
    for name, value in changes.items():
        key = name.upper() if isinstance(name, str) else name
        if value is None:
            names.pop(key, None)
        else:
            names[key] = {LANG_EN_US: (bytes(value), 0)}
    if not names:
        del tree[rtype]
    Path(dst).write_bytes(write_tree(img, tree))
    return Path(dst)
