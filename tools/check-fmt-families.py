#!/usr/bin/env python3
"""Checks that a program linked every format family its format strings use.

    check-fmt-families.py EXE MAP
    check-fmt-families.py EXE --nm NM --symbols UNSTRIPPED-EXE

A program that names its own format families (RTSTRFMT_FAMILIES) prints a
marker instead of the value for a family it left out.  This reads the format
strings out of the program file, finds each %R and floating-point conversion,
and fails (exit status 1) when no family that prints the conversion is
linked: none is in the link map, or, for a program optimised at link time
(whose map names only what stayed global), in the symbol table of an
unstripped link of it.
"""
import re
import subprocess
import sys

# The start of each %R name and the families that print it (as strformatrt.cpp
# dispatches them): the family, then any smaller sibling made of part of it.
FAMILIES = {
    'A': ('Misc',), 'D': ('Misc',),
    'C': ('Ints',), 'G': ('Ints',), 'H': ('Ints',), 'K': ('Ints',), 'R': ('Ints',),
    'I': ('Ints', 'SizedInts'), 'U': ('Ints', 'SizedInts'), 'X': ('Ints', 'SizedInts'),
    'T': ('RtTypes',), '[': ('Custom',),
    'M': ('Escape',),
    'b': ('Names',), 'f': ('Names',),
    'h': ('Hex',), 'hc': ('Size',), 'hu': ('Size',),
    'r': ('Status', 'StatusNames'), 'w': ('Status',),
    'rs': ('StatusMsg',), 'rf': ('StatusMsg',), 'ra': ('StatusMsg',),
}
# The floating-point conversions are a family of their own.
FAMILIES.update({'%' + conv: ('Float',) for conv in 'aAeEfFgG'})


_CONV = re.compile(rb"%%|%[-+ #'0-9.*]*(?:hh|ll|I64|I32|[hlLqjztI])?(?:R([A-Za-z]{1,2}|\[)|([aAeEfFgG]))")


def conversions(data):
    """(name start, text) of each %R or floating-point conversion in the
    NUL-separated strings; a floating-point one starts with its '%'."""
    for text in re.findall(rb'[\x20-\x7e\t\n\r]{3,}', data):
        for m in _CONV.finditer(text):
            if m.group(0) == b'%%':
                continue
            if m.group(2):
                yield '%' + m.group(2).decode(), text.decode(errors='replace')
                continue
            name = m.group(1).decode()
            start = name if name in FAMILIES else name[0]
            if start in FAMILIES:
                yield start, text.decode(errors='replace')


def data_sections(image, skip=()):
    """The bytes of the PE image's initialised data sections, where the
    format strings are; code bytes can spell a conversion by chance, and so
    can the bytes of compressed tables, whose address ranges skip gives."""
    import struct
    pe = struct.unpack_from('<I', image, 0x3c)[0]
    count, opt_size = struct.unpack_from('<H', image, pe + 6)[0], struct.unpack_from('<H', image, pe + 20)[0]
    pe32_plus = struct.unpack_from('<H', image, pe + 24)[0] == 0x20b
    base = struct.unpack_from('<Q', image, pe + 48)[0] if pe32_plus else \
        struct.unpack_from('<I', image, pe + 52)[0]
    table = pe + 24 + opt_size
    out = []
    for i in range(count):
        name, _, va, raw_size, raw_ptr = struct.unpack_from('<8sIIII', image, table + 40 * i)
        if name.rstrip(b'\0') in (b'.rdata', b'.data'):
            data = bytearray(image[raw_ptr:raw_ptr + raw_size])
            for start, end in skip:
                lo, hi = max(start - base - va, 0), min(end - base - va, len(data))
                if lo < hi:
                    data[lo:hi] = bytes(hi - lo)
            out.append(bytes(data))
    return b'\0'.join(out)


def compressed_tables(nm_output):
    """Address ranges of the status table's compressed strings: bytes, not text."""
    return [(int(a, 16), int(a, 16) + int(n, 16)) for a, n in
            re.findall(r'^([0-9a-f]+) ([0-9a-f]+) [rR] \S*g_abRTErr\w*Compressed$', nm_output, re.M)]


def linked_families(map_text):
    body = map_text.split('Linker script and memory map', 1)[-1]
    return set(re.findall(r'\bg_RTStrFmtFamily(\w+)\b', body))


def main():
    args = sys.argv[1:]
    skip = []
    if len(args) == 2:
        with open(args[1], encoding='utf-8', errors='replace') as f:
            linked = linked_families(f.read())
    elif len(args) == 5 and args[1] == '--nm' and args[3] == '--symbols':
        r = subprocess.run([args[2], args[4]], capture_output=True, text=True)
        sized = subprocess.run([args[2], '-S', '--size-sort', args[4]], capture_output=True,
                               text=True)
        if r.returncode != 0 or sized.returncode != 0:
            print('%s: %s' % (args[2], (r.stderr or sized.stderr).strip()), file=sys.stderr)
            return 2
        # x86 symbols carry the C decoration, a leading underscore.
        linked = set(re.findall(r'^\S+ [rRdD] _?g_RTStrFmtFamily(\w+)$', r.stdout, re.M))
        skip = compressed_tables(sized.stdout)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    with open(args[0], 'rb') as f:
        data = f.read()
    missing = {}
    used = set()
    for start, text in conversions(data_sections(data, skip)):
        families = FAMILIES[start]
        found = [family for family in families if family in linked]
        used.update(found or families[:1])
        if not found:
            missing.setdefault(families, []).append(text)
    print('%%R families used: %s; linked: %s' % (', '.join(sorted(used)) or 'none',
                                               ', '.join(sorted(linked)) or 'none'))
    for families, texts in sorted(missing.items()):
        print('MISSING %s, used by:' % ' or '.join('g_RTStrFmtFamily' + f for f in families))
        for text in texts[:5]:
            print('    %r' % text)
    return 1 if missing else 0


if __name__ == '__main__':
    sys.exit(main())
