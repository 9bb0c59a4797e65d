#!/usr/bin/env python3
"""Generates src/runtime/code_page_tables.cpp from Windows' code page tables.

Usage: tools/gen_codepages.py DIR > src/runtime/code_page_tables.cpp

DIR holds Microsoft's published "WindowsBestFit" tables, bestfitNNN.txt (a
copy ships in tests/data/codepages/). The output is committed, so building
comsvc never needs Python.

Reading uses every MBTABLE and DBCSTABLE entry; a byte or pair without one
reads as the page's unicode_default. Writing has no best fit: a WCTABLE entry
is kept only where reading its bytes gives the same code unit back, and every
other code unit is written as the default byte.

The output is compact: reading as one array of 256 single bytes and, for a
double-byte page, one row per lead byte over the page's span of trail bytes;
writing as only the code units where the inverse of reading (lowest code
first) is not already the answer.
"""

import re
import sys
from pathlib import Path

PAGES = [874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]


class Page:
    def __init__(self, number):
        self.number = number
        self.double_byte = False
        self.default_byte = 0x3F
        self.unicode_default = 0x3F
        self.lead_ranges = []
        self.read = {}  # code (byte, or lead << 8 | trail) -> code unit
        self.write = {}  # code unit -> code, as published (best fit included)

    def is_lead(self, byte):
        return any(lo <= byte <= hi for lo, hi in self.lead_ranges)

    def read_unit(self, code):
        return self.read.get(code, self.unicode_default)


def tokens_of(line):
    return line.split(b";", 1)[0].split()


def parse(path, number):
    page = Page(number)
    section = None
    leads = []  # lead bytes in the order their tables appear
    for raw in path.read_bytes().splitlines():
        words = tokens_of(raw)
        if not words:
            continue
        keyword = words[0].decode("ascii")
        if keyword == "CODEPAGE":
            assert int(words[1]) == number, path
        elif keyword == "CPINFO":
            page.double_byte = int(words[1]) == 2
            page.default_byte = int(words[2], 16)
            page.unicode_default = int(words[3], 16)
        elif keyword in ("MBTABLE", "WCTABLE", "DBCSRANGE"):
            section = keyword
        elif keyword == "DBCSTABLE":
            section = keyword
            leads.append(lead_byte_of(page, len(leads)))
            stated = re.search(rb"LeadByte = 0x([0-9a-fA-F]+)", raw)
            assert not stated or int(stated.group(1), 16) == leads[-1], raw
        elif keyword == "ENDCODEPAGE":
            break
        else:
            a, b = int(words[0], 16), int(words[1], 16)
            if section == "MBTABLE":
                page.read[a] = b
            elif section == "WCTABLE":
                page.write[a] = b
            elif section in ("DBCSRANGE", "DBCSTABLE") and b"lead byte range" in raw.lower():
                # A range precedes the tables of its lead bytes.
                page.lead_ranges.append((a, b))
            elif section == "DBCSTABLE":
                page.read[leads[-1] << 8 | a] = b
            else:
                raise ValueError(f"{path}: entry outside a table: {raw!r}")
    # The library tells a double-byte page by its lead bytes.
    assert page.double_byte == bool(page.lead_ranges), path
    return page


def lead_byte_of(page, index):
    """Tables follow the lead byte ranges in order, one table per lead byte."""
    for lo, hi in page.lead_ranges:
        if index <= hi - lo:
            return lo + index
        index -= hi - lo + 1
    raise ValueError(f"{page.number}: more DBCSTABLEs than lead bytes")


def round_trip_writes(page):
    """The published writes whose bytes read back as the same code unit."""
    return {unit: code for unit, code in page.write.items() if page.read_unit(code) == unit}


def lead_bytes(page):
    return [b for b in range(256) if page.is_lead(b)]


def trail_range(page):
    trails = [code & 0xFF for code in page.read if code > 0xFF]
    return (min(trails), max(trails)) if trails else (0, 0)


def single_cells(page):
    return [page.read_unit(b) for b in range(256)]


def pair_cells(page):
    """Every pair of the dense rows, as (code, unit), in code order."""
    first, last = trail_range(page)
    return [(lead << 8 | trail, page.read_unit(lead << 8 | trail))
            for lead in lead_bytes(page) for trail in range(first, last + 1)]


def write_exceptions(page):
    """Code units where writing differs from the inverse of the dense tables,
    taken lowest code first, as the library builds it."""
    inverse = {}
    for code, unit in enumerate(single_cells(page)):
        if not page.is_lead(code):
            inverse.setdefault(unit, code)
    for code, unit in pair_cells(page):
        inverse.setdefault(unit, code)
    wanted = round_trip_writes(page)
    exceptions = []
    for unit in range(0x10000):
        target = wanted.get(unit, page.default_byte)
        if inverse.get(unit, page.default_byte) != target:
            exceptions.append((unit, target))
    return exceptions


def emit_numbers(name, type_name, values, per_line=12):
    out = [f"constexpr {type_name} {name}[] = {{"]
    for i in range(0, len(values), per_line):
        out.append("    " + " ".join(f"{v}," for v in values[i:i + per_line]))
    out.append("};")
    return out


def units(values):
    return [f"0x{v:04X}" for v in values]


def generate(directory):
    lines = [
        "// Generated by tools/gen_codepages.py; do not edit.",
        "//",
        "// Source: Microsoft's published code page tables for Windows",
        "// (\"WindowsBestFit\", bestfitNNN.txt), as kept in tests/data/codepages/.",
        "// Reading: every entry of the tables. Writing: no best fit, only the",
        "// entries whose bytes read back as the same code unit.",
        "",
        '#include "runtime/code_page_tables.h"',
        "",
        "namespace comsvc::platform::code_page_tables {",
        "namespace {",
        "",
    ]
    entries = []
    for number in PAGES:
        page = parse(directory / f"bestfit{number}.txt", number)
        lines += emit_numbers(f"kSingle{number}", "char16_t", units(single_cells(page)))
        names = {"ranges": "{}", "pairs": "{}", "write": "{}"}
        if page.lead_ranges:
            names["ranges"] = f"kLeadRanges{number}"
            lines += emit_numbers(names["ranges"], "LeadByteRange",
                                  [f"{{0x{lo:X}, 0x{hi:X}}}" for lo, hi in page.lead_ranges])
            names["pairs"] = f"kPairs{number}"
            lines += emit_numbers(names["pairs"], "char16_t", units(unit for _, unit in pair_cells(page)))
        exceptions = write_exceptions(page)
        if exceptions:
            names["write"] = f"kWriteExceptions{number}"
            lines += emit_numbers(names["write"], "WriteException",
                                  [f"{{0x{u:04X}, 0x{c:X}}}" for u, c in exceptions], per_line=6)
        lines.append("")
        first, last = trail_range(page)
        entries.append(f"    {{{number}, 0x{page.default_byte:X}, 0x{page.unicode_default:04X}, {names['ranges']}, "
                       f"kSingle{number}, 0x{first:X}, 0x{last:X}, {names['pairs']}, {names['write']}}},")
    lines += ["constexpr PageTables kPageList[] = {"] + entries + ["};", "", "}  // namespace", "",
              "// Constant-initialised, so usable from other files' static initialisers.",
              "constinit const std::span<const PageTables> kPages = kPageList;", "",
              "}  // namespace comsvc::platform::code_page_tables"]
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.stdout.write(generate(Path(sys.argv[1])))
