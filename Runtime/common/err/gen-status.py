#!/usr/bin/env python3
"""Generates the status-code sources from status.tsv, the one list of codes.

Usage: gen-status.py status.tsv OUTDIR [--plain] [--sizes]
Writes OUTDIR/quab/err-codes.h (the public constants), OUTDIR/status-table.cpp
(the text table and its coded text pool) and OUTDIR/status-convert.cpp (the
Windows error and NT status conversions).

--plain stores the texts uncoded; --sizes prints the pool sizes of both forms.
"""
import os
import sys

NAME_LEN_MAX = (1 << 6) - 1
MSG_LEN_MAX = (1 << 8) - 1
OFFSET_MAX = (1 << 16) - 1
TEXT_STEP = 16
DICT_LEN_MAX = (1 << 10) - 1
DICT_OFF_MAX = (1 << 22) - 1
DICT_ENTRIES = 256


def read_rows(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            value, name, meaning, win, nt = line.rstrip("\n").split("\t")
            rows.append((int(value), name, meaning, win, nt))
    return rows


def expand_codes(column, bits):
    """'-' is none; items are comma-separated numbers or a-b ranges."""
    codes = []
    if column.strip() == "-":
        return codes
    for item in column.split(","):
        item = item.strip()
        lo, sep, hi = item.partition("-")
        first = int(lo, 0)
        last = int(hi, 0) if sep else first
        if last < first:
            sys.exit(f"gen-status: bad range {item}")
        codes.extend(range(first, last + 1))
    for code in codes:
        if not 0 <= code < (1 << bits):
            sys.exit(f"gen-status: code {code:#x} does not fit {bits} bits")
    return codes


def message_text(meaning):
    """A short sentence after the meaning column: capitalised, ending in '.'."""
    text = meaning[0].upper() + meaning[1:]
    return text if text.endswith(".") else text + "."


def conversion_map(rows, column):
    mapping = {}
    for row in rows:
        for code in expand_codes(row[column], 32):
            if code in mapping:
                sys.exit(f"gen-status: code {code:#x} maps to both {mapping[code]} and {row[0]}")
            mapping[code] = row[0]
    return mapping


def check_rows(rows):
    values = [r[0] for r in rows]
    if len(set(values)) != len(values):
        sys.exit("gen-status: duplicate status value")
    if len({r[1] for r in rows}) != len(rows):
        sys.exit("gen-status: duplicate status name")
    for value, name, _, _, _ in rows:
        if not -(1 << 15) <= value < (1 << 15):
            sys.exit(f"gen-status: {name} does not fit the table's 16-bit value field")
        if value != 0 and name.startswith("RTE_") != (value < 0):
            sys.exit(f"gen-status: {name} has the wrong sign")
    win = conversion_map(rows, 3)
    # The socket errors that follow the arithmetic rule must agree with the rows.
    for code in list(range(10036, 10060)) + [10061, 10064, 10065]:
        if win.get(code) != 9600 - code:
            sys.exit(f"gen-status: socket code {code} breaks the 9600 - code rule")
    return win, conversion_map(rows, 4)


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


# --- Text pool -----------------------------------------------------------------

def train_dictionary(texts):
    """Byte-pair merging: every byte value not used as a literal becomes a
    token standing for the most profitable adjacent pair of tokens."""
    literals = sorted({b for t in texts for b in t})
    free_codes = [c for c in range(DICT_ENTRIES) if c not in literals]
    token_text = {b: bytes([b]) for b in literals}
    seqs = [list(t) for t in texts]
    merges = []
    for code in free_codes:
        counts = {}
        for seq in seqs:
            for a, b in zip(seq, seq[1:]):
                if len(token_text[a]) + len(token_text[b]) <= DICT_LEN_MAX:
                    counts[(a, b)] = counts.get((a, b), 0) + 1
        if not counts:
            break
        # A new entry costs its 4-byte word and its text in the pool.
        pair, gain = max(((p, n - len(token_text[p[0]]) - len(token_text[p[1]]) - 4) for p, n in counts.items()),
                         key=lambda x: (x[1], -x[0][0], -x[0][1]))
        if gain <= 0:
            break
        token_text[code] = token_text[pair[0]] + token_text[pair[1]]
        merges.append(code)
        for i, seq in enumerate(seqs):
            seqs[i] = merge_pair(seq, pair, code)
    return token_text, seqs, literals


def merge_pair(seq, pair, code):
    out = []
    i = 0
    while i < len(seq):
        if i + 1 < len(seq) and seq[i] == pair[0] and seq[i + 1] == pair[1]:
            out.append(code)
            i += 2
        else:
            out.append(seq[i])
            i += 1
    return out


def build_coded_pool(texts):
    token_text, seqs, literals = train_dictionary(texts)
    pool = bytearray()
    spans = []
    for seq in seqs:
        spans.append((len(pool), len(seq)))
        pool.extend(seq)
    # Entry texts go behind the coded texts; a text already laid down (or a
    # part of a longer one) is shared.
    words = bytearray()
    dict_words = [0] * DICT_ENTRIES
    for code in sorted((c for c in token_text if c not in literals), key=lambda c: -len(token_text[c])):
        text = token_text[code]
        at = words.find(text)
        if at < 0:
            at = len(words)
            words.extend(text)
        dict_words[code] = (len(pool) + at) | (len(text) << 22)
    base = len(pool)
    pool.extend(words)
    for code in token_text:
        if code not in literals:
            off = dict_words[code] & DICT_OFF_MAX
            assert off >= base and off <= DICT_OFF_MAX
    # Literal codes keep entry 0 (length 0: the code byte itself).
    check_decode(pool, dict_words, spans, texts)
    return bytes(pool), dict_words, spans


def check_decode(pool, dict_words, spans, texts):
    for (off, cb), text in zip(spans, texts):
        out = bytearray()
        for code in pool[off:off + cb]:
            word = dict_words[code]
            length = word >> 22
            if length <= 1:
                out.append(code)
            else:
                start = word & DICT_OFF_MAX
                out.extend(pool[start:start + length])
        if bytes(out) != text:
            sys.exit(f"gen-status: coded text does not round-trip: {text!r}")


def build_plain_pool(texts):
    # In order, without sharing: an entry's offsets are the sum of the
    # lengths before it.
    pool = bytearray()
    spans = []
    for text in texts:
        spans.append((len(pool), len(text)))
        pool.extend(text)
    return bytes(pool), None, spans


def c_bytes(data, indent="    ", per_line=16):
    lines = []
    for i in range(0, len(data), per_line):
        lines.append(indent + ", ".join(f"0x{b:02x}" for b in data[i:i + per_line]) + ",")
    return "\n".join(lines)


def gen_status_table(rows, plain):
    rows = sorted(rows, key=lambda r: r[0])
    texts = []
    for _, name, meaning, _, _ in rows:
        texts.append(name.encode("utf-8"))
        texts.append(message_text(meaning).encode("utf-8"))
    pool, dict_words, spans = (build_plain_pool if plain else build_coded_pool)(texts)
    if len(pool) > OFFSET_MAX + 1:
        sys.exit("gen-status: text pool exceeds the 17-bit offsets")

    out = ["// Generated from Runtime/common/err/status.tsv; do not edit.",
           '#include "common/err/err-internal.h"', "",
           "namespace {", "",
           f"constexpr uint8_t g_abStatusText[{max(len(pool), 1)}] = {{",
           c_bytes(pool) if pool else "    0,",
           "};", ""]
    if dict_words is not None:
        out.append(f"constexpr uint32_t g_auStatusDict[{DICT_ENTRIES}] = {{")
        for i in range(0, DICT_ENTRIES, 8):
            out.append("    " + ", ".join(f"0x{w:08x}" for w in dict_words[i:i + 8]) + ",")
        out += ["};", ""]
    out += ["} // namespace", ""]
    dict_ref = f"{DICT_ENTRIES}, g_auStatusDict" if dict_words is not None else "0, nullptr"
    out.append(f"constinit const StatusTextPool g_StatusTextPool = {{g_abStatusText, {len(pool)}, {dict_ref}}};")
    # The texts lie in table order, name then message: an entry stores only
    # the two lengths, and every TEXT_STEP-th entry's offset is kept apart.
    starts = []
    out += ["", f"constinit const StatusTableEntry g_aStatusTable[{len(rows)}] = {{"]
    for i, (value, name, _, _, _) in enumerate(rows):
        (off_name, cb_name), (off_msg, cb_msg) = spans[2 * i], spans[2 * i + 1]
        if cb_name > NAME_LEN_MAX or cb_msg > MSG_LEN_MAX:
            sys.exit(f"gen-status: coded text of {name} is too long for its length field")
        expected = spans[2 * i - 1][0] + spans[2 * i - 1][1] if i else 0
        if off_name != expected or off_msg != off_name + cb_name:
            sys.exit(f"gen-status: the texts of {name} do not follow the ones before")
        if i % TEXT_STEP == 0:
            starts.append(off_name)
        word = cb_name | (cb_msg << 6) | ((value & 0xFFFF) << 16)
        out.append(f"    {{UINT32_C(0x{word:08x})}},  // {name}")
    out += ["};", "", f"constinit const uint32_t g_cStatusTable = {len(rows)};", "",
            f"constinit const uint16_t g_auStatusTextStart[{max(len(starts), 1)}] = {{",
            c_list(starts, str) if starts else "    0,", "};", ""]
    dict_size = DICT_ENTRIES * 4 if dict_words is not None else 0
    return "\n".join(out), len(pool) + dict_size


# --- Conversions ---------------------------------------------------------------

def c_list(values, fmt, indent="    ", per_line=10):
    lines = []
    for i in range(0, len(values), per_line):
        lines.append(indent + ", ".join(fmt(v) for v in values[i:i + per_line]) + ",")
    return "\n".join(lines)


def code_table(out, ident, codes, statuses, ctype, fmt, names):
    """A sorted code array and the parallel array of statuses."""
    out.append(f"constexpr {ctype} g_au{ident}Codes[{max(len(codes), 1)}] = {{")
    out.append(c_list(codes, fmt) if codes else "    0,")
    out.append("};")
    out.append(f"constexpr int16_t g_ai{ident}Status[{max(len(codes), 1)}] = {{")
    out.append(c_list([names[s] for s in statuses], str, per_line=4) if codes else "    0,")
    out += ["};", ""]


def gen_convert(rows, win, nt):
    """Sorted tables searched by bisection: far smaller than switches, which
    the compiler turns into jump tables (a pointer, and a relocation, for
    every code between the first and the last of a dense run)."""
    names = {r[0]: r[1] for r in rows}
    win = dict(win)
    nt = dict(nt)
    win[0] = 0
    nt[0] = 0
    win16 = sorted(c for c in win if c < 0x10000)
    win32 = sorted(c for c in win if c >= 0x10000)
    nt32 = sorted(nt)
    out = ["// Generated from Runtime/common/err/status.tsv; do not edit.",
           "#include <quab/err.h>", "",
           "namespace {", ""]
    code_table(out, "Win16", win16, [win[c] for c in win16], "uint16_t", str, names)
    code_table(out, "Win32", win32, [win[c] for c in win32], "uint32_t", lambda c: f"UINT32_C(0x{c:08x})", names)
    code_table(out, "Nt", nt32, [nt[c] for c in nt32], "uint32_t", lambda c: f"UINT32_C(0x{c:08x})", names)
    out += ["template <typename T, uint32_t cCodes>",
            "int32_t rtErrConvertLookup(const T (&auCodes)[cCodes], const int16_t (&aiStatus)[cCodes], uint32_t uCode)",
            "{",
            "    uint32_t iLo = 0;",
            "    uint32_t iHi = cCodes;",
            "    while (iLo < iHi) {",
            "        uint32_t const iMid = iLo + (iHi - iLo) / 2;",
            "        uint32_t const uMid = auCodes[iMid];",
            "        if (uCode == uMid)",
            "            return aiStatus[iMid];",
            "        if (uCode < uMid)",
            "            iHi = iMid;",
            "        else",
            "            iLo = iMid + 1;",
            "    }",
            "    return RTE_UNMAPPED_OS_ERROR;",
            "}", "",
            "} // namespace", "",
            "int32_t RTErrConvertFromWinError(uint32_t uNativeCode)",
            "{",
            "    if (uNativeCode < 0x10000)",
            "        return rtErrConvertLookup(g_auWin16Codes, g_aiWin16Status, uNativeCode);",
            "    return rtErrConvertLookup(g_auWin32Codes, g_aiWin32Status, uNativeCode);",
            "}", "",
            "int32_t RTErrConvertFromNtStatus(int32_t lNtStatus)",
            "{",
            "    return rtErrConvertLookup(g_auNtCodes, g_aiNtStatus, static_cast<uint32_t>(lNtStatus));",
            "}", ""]
    return "\n".join(out)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    plain = "--plain" in sys.argv
    src, outdir = args[0], args[1]
    rows = read_rows(src)
    win, nt = check_rows(rows)
    if win.get(0, 0) != 0 or nt.get(0, 0) != 0:
        sys.exit("gen-status: code 0 must convert to 0")
    table, size = gen_status_table(rows, plain)
    if "--sizes" in sys.argv:
        _, coded = gen_status_table(rows, False)
        _, uncoded = gen_status_table(rows, True)
        print(f"text pool: coded {coded} bytes (incl. dictionary), plain {uncoded} bytes")
    write_if_changed(os.path.join(outdir, "quab", "err-codes.h"), gen_codes_header(rows))
    write_if_changed(os.path.join(outdir, "status-table.cpp"), table)
    write_if_changed(os.path.join(outdir, "status-convert.cpp"), gen_convert(rows, win, nt))


if __name__ == "__main__":
    main()
