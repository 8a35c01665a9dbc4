#!/usr/bin/env python3
"""Generates platform/win/code_pages_tables.inc from Windows code-page files.

    scripts/gen-code-page-tables.py [--nls-dir DIR] [--output FILE] [CODE_PAGE...]

Reads c_<code page>.nls for each code page (default 1252 and 932) from DIR
(default /usr/share/wine/nls, where Debian's wine packages install them; a
Windows system32 folder holds files of the same format) and writes the
tables the library's WideCharToMultiByte and MultiByteToWideChar use for
those code pages. The files are data: Debian builds them from Microsoft's
published best-fit tables, which its copyright file lists as non-copyrightable
data; what is generated from them is the mapping of each character, a fact.

The .nls format (all values little-endian 16-bit words):

    header   word 0       header size in words (13)
             word 1       code page
             word 2       maximum bytes per character (1 or 2)
             word 3       default character: the bytes of an unmappable unit
             word 4       Unicode default: the unit an undefined byte gives
             word 5       the unit the default character decodes to
             word 6       the bytes the Unicode default encodes to (0x8145 in
                          932): a sequence that decodes to the Unicode default
                          is undefined unless it is this one
             words 7-12   lead-byte ranges, pairs of bytes, 0-terminated
    then     word         offset in words, from this word, of the
                          UTF-16 -> bytes table's flag word
             256 words    bytes -> UTF-16 for each single byte (0 for a lead byte)
             word         256 when a glyph table of 256 words follows, else 0
             word         number of lead-byte ranges, 0 for a single-byte code page
             256 words    (double-byte only) for each byte, 0 or the offset in
                          words, from the first of these 256 words, of its
                          256-word trail table: lead + trail -> UTF-16
             ...          the trail tables
    at the offset: word   0 for single-byte, nonzero for double-byte code pages
             65536 units  UTF-16 -> bytes for every unit: one byte each
                          (single-byte) or one word each (double-byte: the
                          lead byte in the high byte), best fit included.

The UTF-16 -> bytes table is not stored whole: the library derives it from
the decoding tables (see DerivedWideTable below, the same rule as
BuildWideTable in code_pages.cpp) and the generated file lists only the units
where Windows' table says otherwise (its best fits, and which of several
byte sequences a unit goes back to). The script checks that derivation plus
exceptions gives Windows' table for every unit before writing anything.
"""

import argparse
import os
import struct
import sys

HEADER_WORDS = 13


class NlsError(Exception):
    pass


class CodePage:
    def __init__(self, number, max_char_size, default_char, uni_default_char,
                 trans_default_char, trans_uni_default_char, single_bytes,
                 trail_tables, wide_table):
        self.number = number
        self.max_char_size = max_char_size
        self.default_char = default_char
        self.uni_default_char = uni_default_char
        self.trans_default_char = trans_default_char
        self.trans_uni_default_char = trans_uni_default_char
        self.single_bytes = single_bytes      # 256 units
        self.trail_tables = trail_tables      # {lead byte: 256 units}
        self.wide_table = wide_table          # 65536 byte codes

    def decode_codes(self):
        """(byte code, unit) for every single byte and lead + trail pair, in
        ascending order of the code."""
        for byte in range(256):
            if byte not in self.trail_tables:
                yield byte, self.single_bytes[byte]
        for lead in sorted(self.trail_tables):
            for trail in range(256):
                yield (lead << 8) | trail, self.trail_tables[lead][trail]


def read_words(data, start, count, what):
    end = start + count
    if start < 0 or end * 2 > len(data):
        raise NlsError("%s lies outside the file" % what)
    return list(struct.unpack_from("<%dH" % count, data, start * 2))


def parse_nls(data, expected_code_page):
    if len(data) % 2 != 0:
        raise NlsError("odd file size")
    header = read_words(data, 0, HEADER_WORDS, "header")
    if header[0] != HEADER_WORDS:
        raise NlsError("header size %d, expected %d" % (header[0], HEADER_WORDS))
    number, max_char_size = header[1], header[2]
    if number != expected_code_page:
        raise NlsError("file is for code page %d" % number)
    if max_char_size not in (1, 2):
        raise NlsError("maximum character size %d" % max_char_size)
    position = HEADER_WORDS
    wide_flag_at = position + read_words(data, position, 1, "table offset")[0]
    position += 1
    single_bytes = read_words(data, position, 256, "single-byte table")
    position += 256
    glyphs = read_words(data, position, 1, "glyph flag")[0]
    position += 1
    if glyphs not in (0, 256):
        raise NlsError("glyph table of %d words" % glyphs)
    position += glyphs
    ranges = read_words(data, position, 1, "lead-byte range count")[0]
    position += 1
    trail_tables = {}
    if ranges != 0:
        offsets_at = position
        offsets = read_words(data, offsets_at, 256, "lead-byte offsets")
        for lead, offset in enumerate(offsets):
            if offset != 0:
                trail_tables[lead] = read_words(data, offsets_at + offset, 256,
                                                "trail table of 0x%02X" % lead)
    if (ranges != 0) != (max_char_size == 2):
        raise NlsError("lead bytes and maximum character size disagree")
    double_byte = read_words(data, wide_flag_at, 1, "wide table flag")[0] != 0
    if double_byte != (max_char_size == 2):
        raise NlsError("wide table kind and maximum character size disagree")
    if double_byte:
        wide_table = read_words(data, wide_flag_at + 1, 65536, "wide table")
    else:
        start = (wide_flag_at + 1) * 2
        if start + 65536 > len(data):
            raise NlsError("wide table lies outside the file")
        wide_table = list(data[start:start + 65536])
    return CodePage(number, max_char_size, header[3], header[4], header[5], header[6],
                    single_bytes, trail_tables, wide_table)


def is_defined(page, code, unit):
    """A byte sequence is defined unless it gives the Unicode default without
    being the sequence that stands for it."""
    return unit != page.uni_default_char or code == page.trans_uni_default_char


def derived_wide_table(page):
    """Every unit goes back to the lowest defined byte code that decodes to it;
    a unit no code decodes to gives the default character."""
    table = [None] * 65536
    for code, unit in page.decode_codes():
        if is_defined(page, code, unit) and table[unit] is None:
            table[unit] = code
    return [page.default_char if code is None else code for code in table]


def check(page):
    lead_bytes = set(page.trail_tables)
    for unit, code in enumerate(page.wide_table):
        if code > 0xFF and (code >> 8) not in lead_bytes:
            raise NlsError("U+%04X maps to 0x%04X without a lead byte" % (unit, code))
        if code <= 0xFF and code in lead_bytes:
            raise NlsError("U+%04X maps to the lone lead byte 0x%02X" % (unit, code))
    if page.default_char > 0xFF or page.default_char in lead_bytes:
        raise NlsError("default character 0x%04X is not a single byte" % page.default_char)


def wide_exceptions(page):
    derived = derived_wide_table(page)
    exceptions = [(unit, code) for unit, code in enumerate(page.wide_table)
                  if derived[unit] != code]
    rebuilt = list(derived)
    for unit, code in exceptions:
        rebuilt[unit] = code
    assert rebuilt == page.wide_table
    return exceptions


def rows(values, digits, per_line, indent="    "):
    lines = []
    for i in range(0, len(values), per_line):
        chunk = values[i:i + per_line]
        lines.append(indent + " ".join("0x%0*X," % (digits, v) for v in chunk))
    return "\n".join(lines)


def emit(pages, sources):
    out = []
    out.append("// Generated by scripts/gen-code-page-tables.py from %s; do not edit."
               % ", ".join(sources))
    out.append("// Windows' mappings of code pages %s, best fit included. Included by"
               % ", ".join(str(p.number) for p in pages))
    out.append("// code_pages.cpp inside its anonymous namespace.")
    out.append("")
    for page in pages:
        n = page.number
        leads = sorted(page.trail_tables)
        out.append("// Code page %d: bytes -> UTF-16 for single bytes (0 for lead bytes)." % n)
        out.append("constexpr WCHAR kCp%dSingleBytes[256] = {" % n)
        out.append(rows(page.single_bytes, 4, 12))
        out.append("};")
        if leads:
            index = [0] * 256
            for i, lead in enumerate(leads):
                index[lead] = i + 1
            out.append("// 0 for a byte that is no lead byte, else 1 + the index of its trail table.")
            out.append("constexpr unsigned char kCp%dLeadIndex[256] = {" % n)
            out.append(rows(index, 2, 16))
            out.append("};")
            out.append("// Lead + trail -> UTF-16, 256 units for each of the %d lead bytes, in order."
                       % len(leads))
            out.append("constexpr WCHAR kCp%dTrailTables[%d][256] = {" % (n, len(leads)))
            for lead in leads:
                out.append("  {  // lead byte 0x%02X" % lead)
                out.append(rows(page.trail_tables[lead], 4, 12))
                out.append("  },")
            out.append("};")
        exceptions = wide_exceptions(page)
        out.append("// Units whose bytes are not the lowest defined sequence that decodes to them:")
        out.append("// best fits and the chosen one of several sequences (%d units)." % len(exceptions))
        out.append("constexpr WideException kCp%dWideExceptions[%d] = {" % (n, len(exceptions)))
        pairs = ["{0x%04X, 0x%0*X}," % (unit, 4 if leads else 2, code) for unit, code in exceptions]
        per_line = 5 if leads else 6
        for i in range(0, len(pairs), per_line):
            out.append("    " + " ".join(pairs[i:i + per_line]))
        out.append("};")
        out.append("constexpr NlsCodePage kCp%d = {" % n)
        out.append("    %d, 0x%02X, 0x%04X, 0x%04X, kCp%dSingleBytes," % (
            n, page.default_char, page.uni_default_char, page.trans_uni_default_char, n))
        if leads:
            out.append("    kCp%dLeadIndex, kCp%dTrailTables, kCp%dWideExceptions, %d," % (
                n, n, n, len(exceptions)))
        else:
            out.append("    nullptr, nullptr, kCp%dWideExceptions, %d," % (n, len(exceptions)))
        out.append("};")
        out.append("")
    out.append("constexpr const NlsCodePage* kNlsCodePages[] = {%s};"
               % ", ".join("&kCp%d" % p.number for p in pages))
    return "\n".join(out) + "\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--nls-dir", default="/usr/share/wine/nls")
    parser.add_argument("--output", default=os.path.join(here, "..", "platform", "win",
                                                         "code_pages_tables.inc"))
    parser.add_argument("code_pages", nargs="*", type=int, default=[1252, 932])
    args = parser.parse_args()
    pages = []
    sources = []
    for number in args.code_pages:
        name = "c_%d.nls" % number
        path = os.path.join(args.nls_dir, name)
        try:
            with open(path, "rb") as f:
                page = parse_nls(f.read(), number)
            check(page)
        except (OSError, NlsError) as e:
            sys.exit("%s: %s" % (path, e))
        pages.append(page)
        sources.append(name)
    text = emit(pages, sources)
    with open(args.output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    for page in pages:
        print("code page %d: %d lead bytes, %d units listed apart" % (
            page.number, len(page.trail_tables), len(wide_exceptions(page))))


if __name__ == "__main__":
    main()
