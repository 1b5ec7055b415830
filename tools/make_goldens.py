#!/usr/bin/env python3
"""Regenerates the formatted-write rows of goldens.txt from GNU Fortran.

Needs gfortran and the format probe (FMTPROBE, default ../shared/tools/fmtprobe
beside the project folder);
the tests themselves do not. Usage:
    tools/make_goldens.py tests/runtime/golden_layouts.txt > rows.txt
and replace the "F" rows of goldens.txt with rows.txt (the "D" rows, list-directed
writes, are kept by hand). A row: "F layout", one line per item (I int,
R float bits in hex, L T/F, S text), one "W record" line per expected record,
then "E"; backslash and newline in texts are escaped as \\ and \n.
layouts.txt holds one layout per line, in double quotes, optionally followed by
explicit probe items (i:5 r:0.5 s:text l:T c:abc); without items, items are
chosen to fill the layout once, cycling through edge values.
"""
import os
import re
import shlex
import struct
import subprocess
import sys

PROBE = os.environ.get(
    "FMTPROBE",
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "tools", "fmtprobe"))

INTS = ["7", "-3", "1000", "0", "42", "-99", "123", "5", "99999", "-1"]
REALS = ["0.125", "-0.00001", "1e30", "0.0", "3.14159", "-123.456", "0.375", "-0.5",
         "999.9999", "1.0", "2.5e-5", "-1e-30"]
TEXTS = ["x", "hello", "a rather long text that overflows", " ", "@ subroutine opef2", "v5.2"]


def data_kinds(fmt):
    """Kinds of the data descriptors of one pass over the layout, in order."""
    s = fmt.strip()[1:-1]
    out = []
    def parse(p, depth):
        kinds = []
        while p < len(s):
            c = s[p]
            if c in " ,/:":
                p += 1
                continue
            if c in "'\"":
                q = c
                p += 1
                while True:
                    if s[p] == q and p + 1 < len(s) and s[p + 1] == q:
                        p += 2
                        continue
                    if s[p] == q:
                        p += 1
                        break
                    p += 1
                continue
            if c == ")":
                return kinds, p + 1
            m = re.match(r"(\d*)\s*", s[p:])
            count = int(m.group(1)) if m.group(1) else 1
            p += m.end()
            c = s[p].upper()
            if c == "(":
                inner, p = parse(p + 1, depth + 1)
                kinds += inner * count
            elif c == "H":
                p += 1 + count
            elif c in "X/":
                p += 1
            elif c == "T":
                m = re.match(r"T[LR]?\s*\d+", s[p:], re.I)
                p += m.end()
            elif c in "IFELZA":
                m = re.match(r"[IFELZA][\d.]*", s[p:], re.I)
                p += m.end()
                kinds += [{"I": "i", "Z": "i", "F": "r", "E": "r", "L": "l", "A": "s"}[c]] * count
            else:
                raise ValueError(f"cannot count {fmt!r} at {s[p:]!r}")
        return kinds, p
    kinds, _ = parse(0, 0)
    return kinds


def default_items(fmt, seed):
    items = []
    n = {"i": seed, "r": seed, "s": seed, "l": seed}
    for k in data_kinds(fmt):
        if k == "i":
            items.append("i:" + INTS[n["i"] % len(INTS)])
        elif k == "r":
            items.append("r:" + REALS[n["r"] % len(REALS)])
        elif k == "s":
            items.append("s:" + TEXTS[n["s"] % len(TEXTS)])
        else:
            items.append("l:" + ("T" if n["l"] % 2 == 0 else "F"))
        n[k] += 1
    return items


def esc(s):
    return s.replace("\\", "\\\\").replace("\n", "\\n")


def data_items(item):
    kind, _, val = item.partition(":")
    if kind == "i":
        return [f"I {int(val)}"]
    if kind == "r":
        m = re.fullmatch(r"transfer\((-?\d+),1\.0\)", val)
        bits = int(m.group(1)) & 0xFFFFFFFF if m else struct.unpack("<I", struct.pack("<f", float(val)))[0]
        return [f"R {bits:08x}"]
    if kind == "l":
        return ["L T" if val.upper().startswith("T") else "L F"]
    if kind == "s":
        return [f"S {esc(val)}"]
    if kind == "c":
        return [f"S {esc(ch)}" for ch in (val or " ")]
    raise ValueError(item)


def main(path):
    seed = 0
    for line in open(path):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        m = re.match(r'"(\(.*\))"\s*(.*)$', line)
        fmt, rest = m.group(1), m.group(2)
        items = shlex.split(rest) if rest else default_items(fmt, seed)
        seed += 1
        r = subprocess.run([PROBE, fmt] + items, capture_output=True, text=True)
        if r.returncode:
            sys.exit(f"probe failed for {fmt} {items}: {r.stderr}")
        recs = [l[1:-1] for l in r.stdout.split("\n") if l]
        print(f"F {esc(fmt)}")
        for i in items:
            print("\n".join(data_items(i)))
        for x in recs:
            print(f"W {esc(x)}")
        print("E")


if __name__ == "__main__":
    main(sys.argv[1])
