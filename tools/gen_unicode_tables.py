#!/usr/bin/env python3
"""Writes src/text/unicode_tables.cpp from the Unicode Character Database, version 15.0.

Reads, from Debian's unicode-data package (/usr/share/unicode by default):
  DerivedCoreProperties.txt  Alphabetic, Lowercase, Uppercase
  PropList.txt               White_Space
  UnicodeData.txt            simple lower-case and upper-case mappings (fields 13 and 12)
  SpecialCasing.txt          full mappings; only the unconditional entries (no condition
                             field), which replace the simple mapping of their code point

The output is deterministic: the same files give the same bytes.

Usage: gen_unicode_tables.py [--ucd DIR] [--output FILE]   (FILE "-" is standard output)
"""

import argparse
import os
import re
import sys

EXPECTED_VERSION = "15.0.0"
MAX_RUN = 0xFFFF  # CaseRun.count is 16 bits


def fail(message):
    sys.stderr.write("gen_unicode_tables: %s\n" % message)
    sys.exit(1)


def read_lines(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().splitlines()
    except OSError as e:
        fail("cannot read %s: %s" % (path, e.strerror))


def file_version(lines, name):
    """The version in a data file's first line, "# Name-15.0.0.txt"."""
    m = re.match(r"#\s*%s-(\d+\.\d+\.\d+)\.txt" % re.escape(name), lines[0] if lines else "")
    if not m:
        fail("%s.txt does not start with its version line" % name)
    return m.group(1)


def data_fields(lines):
    """Fields of each data line: comment removed, split on ';', stripped."""
    for line in lines:
        body = line.split("#", 1)[0].strip()
        if body:
            yield [f.strip() for f in body.split(";")]


def parse_code_range(text):
    if ".." in text:
        a, b = text.split("..")
        return int(a, 16), int(b, 16)
    v = int(text, 16)
    return v, v


def property_ranges(lines, name):
    points = []
    for fields in data_fields(lines):
        if len(fields) >= 2 and fields[1] == name:
            points.append(parse_code_range(fields[0]))
    if not points:
        fail("no ranges for property %s" % name)
    points.sort()
    merged = []
    for first, last in points:
        if merged and first <= merged[-1][1] + 1:
            merged[-1][1] = max(merged[-1][1], last)
        else:
            merged.append([first, last])
    # Single code points two apart with nothing between them become one range of stride 2.
    strided = []
    for first, last in merged:
        if first == last and strided:
            prev = strided[-1]
            if prev[2] == 2 and first == prev[1] + 2:
                prev[1] = first
                continue
            if prev[0] == prev[1] and first == prev[1] + 2:
                prev[1], prev[2] = first, 2
                continue
        strided.append([first, last, 1])
    return [tuple(r) for r in strided]


def simple_mappings(lines):
    lower, upper = {}, {}
    for line in lines:
        fields = line.split(";")
        if len(fields) != 15:
            continue
        cp = int(fields[0], 16)
        if fields[12]:
            upper[cp] = (int(fields[12], 16),)
        if fields[13]:
            lower[cp] = (int(fields[13], 16),)
    if not lower or not upper:
        fail("UnicodeData.txt has no case mappings")
    return lower, upper


def apply_special_casing(lines, lower, upper):
    seen = 0
    for fields in data_fields(lines):
        # code; lower; title; upper; [condition list;] -- the trailing ';' leaves one empty
        # field, so an unconditional entry has five fields with an empty fifth.
        if len(fields) < 4:
            continue
        if len(fields) > 4 and fields[4]:
            continue  # conditional: language or context dependent
        cp = int(fields[0], 16)
        for table, text in ((lower, fields[1]), (upper, fields[3])):
            result = tuple(int(x, 16) for x in text.split())
            if result == (cp,):
                table.pop(cp, None)
            else:
                table[cp] = result
        seen += 1
    if seen == 0:
        fail("SpecialCasing.txt has no unconditional entries")


def case_runs(mapping):
    """Groups the mapping into runs: [first, count, stride, length, value] and the pool."""
    runs, pool = [], []
    for cp in sorted(mapping):
        result = mapping[cp]
        if cp == 0 or any(r == 0 for r in result):
            fail("U+%04X: a mapping from or to U+0000" % cp)
        if len(result) > 1:
            if len(result) > 255:
                fail("U+%04X: mapping too long" % cp)
            runs.append([cp, 1, 1, len(result), len(pool)])
            pool.extend(result)
            continue
        delta = result[0] - cp
        if runs:
            run = runs[-1]
            first, count, stride, length, value = run
            last = first + (count - 1) * stride
            # Only the next mapped code point may extend a run, so spans never interleave.
            if length == 0 and value == delta and count < MAX_RUN:
                if count == 1 and cp - first in (1, 2):
                    run[1], run[2] = 2, cp - first
                    continue
                if count > 1 and cp - last == stride:
                    run[1] += 1
                    continue
        runs.append([cp, 1, 1, 0, delta])
    return runs, pool


def hex_cp(v):
    return "0x%04X" % v


def emit_ranges(out, name, ranges):
    out.append("constexpr Range %s_ranges[] = {" % name)
    items = ["{%s, %s, %d}," % (hex_cp(a), hex_cp(b), s) for a, b, s in ranges]
    emit_items(out, items)
    out.append("};")
    out.append("static_assert(well_formed(%s_ranges));" % name)
    out.append("")


def emit_items(out, items, width=98):
    line = " "
    for item in items:
        if len(line) + 1 + len(item) > width:
            out.append(line)
            line = " "
        line += " " + item
    if line.strip():
        out.append(line)


def emit_case_map(out, name, runs, pool):
    out.append("constexpr char32_t %s_pool[] = {" % name)
    emit_items(out, [hex_cp(v) + "," for v in pool] or ["0,"])
    out.append("};")
    out.append("")
    out.append("constexpr CaseRun %s_runs[] = {" % name)
    items = ["{%s, %d, %d, %d, %d}," % (hex_cp(f), c, s, l, v) for f, c, s, l, v in runs]
    emit_items(out, items)
    out.append("};")
    out.append("static_assert(well_formed(%s_runs, %s_pool));" % (name, name))
    out.append("")


def generate(ucd):
    derived = read_lines(os.path.join(ucd, "DerivedCoreProperties.txt"))
    proplist = read_lines(os.path.join(ucd, "PropList.txt"))
    unicode_data = read_lines(os.path.join(ucd, "UnicodeData.txt"))
    special = read_lines(os.path.join(ucd, "SpecialCasing.txt"))
    versions = {
        "DerivedCoreProperties": file_version(derived, "DerivedCoreProperties"),
        "PropList": file_version(proplist, "PropList"),
        "SpecialCasing": file_version(special, "SpecialCasing"),
    }
    for name, version in sorted(versions.items()):
        if version != EXPECTED_VERSION:
            fail("%s.txt is version %s, expected %s" % (name, version, EXPECTED_VERSION))

    properties = [
        ("alphabetic", property_ranges(derived, "Alphabetic")),
        ("lowercase", property_ranges(derived, "Lowercase")),
        ("uppercase", property_ranges(derived, "Uppercase")),
        ("white_space", property_ranges(proplist, "White_Space")),
    ]
    lower, upper = simple_mappings(unicode_data)
    apply_special_casing(special, lower, upper)

    out = [
        "// Generated by tools/gen_unicode_tables.py from the Unicode Character Database %s"
        % EXPECTED_VERSION,
        "// (DerivedCoreProperties.txt, PropList.txt, UnicodeData.txt, SpecialCasing.txt).",
        "// Do not edit; run the generator instead.",
        '#include "text/unicode_tables.h"',
        "",
        "#include <iterator>",
        "",
        "namespace klavix::text::tables {",
        "namespace {",
        "",
    ]
    for name, ranges in properties:
        emit_ranges(out, name, ranges)
    for name, mapping in (("lower", lower), ("upper", upper)):
        runs, pool = case_runs(mapping)
        emit_case_map(out, name, runs, pool)
    out.append("}  // namespace")
    out.append("")
    for name, _ in properties:
        out.append("constinit const Property %s = make_property(%s_ranges);" % (name, name))
    for name in ("lower", "upper"):
        out.append(
            "constinit const CaseMap %s = {%s_runs, std::size(%s_runs), %s_pool};"
            % (name, name, name, name)
        )
    out.append("")
    out.append("}  // namespace klavix::text::tables")
    return "\n".join(out) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Generate the Unicode tables of src/text.")
    parser.add_argument("--ucd", default="/usr/share/unicode", help="folder of the UCD files")
    parser.add_argument(
        "--output",
        default=os.path.join(here, "..", "src", "text", "unicode_tables.cpp"),
        help='file to write, "-" for standard output',
    )
    args = parser.parse_args()
    text = generate(args.ucd)
    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
