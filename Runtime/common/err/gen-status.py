#!/usr/bin/env python3
"""Generates the status-code sources from status.tsv, the one list of codes.

Usage: gen-status.py status.tsv OUTDIR
Writes OUTDIR/quab/err-codes.h (the public constants).
"""
import os
import sys


def read_rows(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            value, name, meaning, win, nt = line.rstrip("\n").split("\t")
            rows.append((int(value), name, meaning, win, nt))
    return rows


def write_if_changed(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def gen_codes_header(rows):
    out = ["// Generated from Runtime/common/err/status.tsv; do not edit.",
           "#pragma once", "#include <stdint.h>", ""]
    for value, name, meaning, _, _ in rows:
        out.append(f"inline constexpr int32_t {name} = {value};  // {meaning}")
    return "\n".join(out) + "\n"


def main():
    src, outdir = sys.argv[1], sys.argv[2]
    rows = read_rows(src)
    write_if_changed(os.path.join(outdir, "quab", "err-codes.h"), gen_codes_header(rows))
    write_if_changed(os.path.join(outdir, "status-table.cpp"), "// Generated; the text table follows.\n")
    write_if_changed(os.path.join(outdir, "status-convert.cpp"), "// Generated; the conversions follow.\n")


if __name__ == "__main__":
    main()
