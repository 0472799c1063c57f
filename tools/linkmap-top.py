#!/usr/bin/env python3
"""Where the bytes of a linked program went, read from a GNU ld link map.

Prints the size of each output section, then the largest contributors: the
input objects (archive members by their member name) ranked by the bytes they
put into the sections that take file space, and the largest single input
sections (with -ffunction-sections, one per function).  Alignment fill is
counted for the output section, not for any object.

    linkmap-top.py MAP [--top N] [--nm NM --symbols EXE] [--budget BYTES] [--goal BYTES] [--file EXE]

Optimised at link time, most of a program's code and tables come from one
object of the link.  With --symbols EXE (an unstripped link of the same program)
and --nm PROGRAM it also lists the largest functions and tables by their symbol
sizes, the clones the optimiser made of a function counted with it.

With --budget and --file it also fails (exit status 1) when the program file is
larger than the budget, so the same run that says where the bytes went also
guards the limit.
"""
import argparse
import os
import re
import subprocess
import sys

# Sections that take space in the file; .bss and the like only in memory.
FILE_SECTIONS = ('.text', '.data', '.rdata', '.eh_frame', '.idata', '.CRT', '.tls',
                 '.rsrc', '.reloc', '.pdata', '.xdata')

_OUT = re.compile(r'^(\.[\w$.]+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)')
_IN_FULL = re.compile(r'^ (\.[^\s]+|COMMON)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$')
_IN_NAME = re.compile(r'^ (\.[^\s]+|COMMON)\s*$')
_IN_REST = re.compile(r'^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$')


def short_object(path):
    """libfoo.a(member.o) -> libfoo.a(member.o) without directories; obj -> base name.
    The temporary objects of link-time optimisation get one name."""
    if re.search(r'\.ltrans\d+\.ltrans\.o$', path):
        return '(link-time optimised code)'
    m = re.match(r'^(.*?)([^/]+\.a)\((.*)\)$', path)
    if m:
        return '%s(%s)' % (m.group(2), m.group(3))
    return os.path.basename(path)


def parse(lines):
    """Returns ({output section: size}, [(input section, object, size, output section)])."""
    outputs = {}
    inputs = []
    in_map = False
    current = None
    pending = None
    for line in lines:
        line = line.rstrip('\n')
        if not in_map:
            in_map = line.startswith('Linker script and memory map')
            continue
        m = _OUT.match(line)
        if m:
            current = m.group(1)
            outputs[current] = int(m.group(3), 16)
            pending = None
            continue
        if pending is not None:
            m = _IN_REST.match(line)
            if m and current:
                inputs.append((pending, m.group(3), int(m.group(2), 16), current))
            pending = None
            continue
        m = _IN_FULL.match(line)
        if m and current:
            inputs.append((m.group(1), m.group(4), int(m.group(3), 16), current))
            continue
        m = _IN_NAME.match(line)
        if m:
            pending = m.group(1)
    return outputs, inputs


# nm's symbol kinds that take file space, by the section they stand for.
SYMBOL_SECTIONS = {'t': '.text', 'r': '.rdata', 'd': '.data'}
# What the optimiser appends to the names of a function's clones.
_CLONE = re.compile(r'( \[clone [^]]*\])+$|(\.(part|constprop|isra|lto_priv|cold)\.?\d*)+$')


def symbol_sizes(lines):
    """[(size, section, name)] from `nm -S -C --size-sort` output, clones folded into their function."""
    totals = {}
    for line in lines:
        fields = line.rstrip('\n').split(None, 3)
        if len(fields) != 4:
            continue
        _, size, kind, name = fields
        section = SYMBOL_SECTIONS.get(kind.lower())
        if section is None:
            continue
        if name.startswith('.'):
            section = name.split('$')[0]
        try:
            size = int(size, 16)
        except ValueError:
            continue
        if not name.startswith('.'):
            name = _CLONE.sub('', name)
        else:
            name = '%s (unnamed: literals and tables without a symbol)' % name
        key = (section, name)
        totals[key] = totals.get(key, 0) + size
    return sorted(((n, s, name) for (s, name), n in totals.items()), key=lambda t: (-t[0], t[2]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('map')
    ap.add_argument('--top', type=int, default=10)
    ap.add_argument('--budget', type=int)
    ap.add_argument('--goal', type=int, help='a size to report the distance to (never fails)')
    ap.add_argument('--file', help='the linked program, for its size')
    ap.add_argument('--symbols', help='an unstripped link of the program, for symbol sizes')
    ap.add_argument('--nm', default='nm', help='the nm program of the target')
    args = ap.parse_args()

    with open(args.map, encoding='utf-8', errors='replace') as f:
        outputs, inputs = parse(f)
    if not outputs:
        print('%s: no memory map found' % args.map, file=sys.stderr)
        return 2

    print('Output sections (bytes in memory):')
    for name, size in outputs.items():
        if size:
            print('  %-10s %8d' % (name, size))

    counted = [i for i in inputs if i[3] in FILE_SECTIONS and i[2]]
    by_object = {}
    for _, obj, size, out in counted:
        key = short_object(obj)
        entry = by_object.setdefault(key, {})
        entry[out] = entry.get(out, 0) + size
    ranked = sorted(by_object.items(), key=lambda kv: -sum(kv[1].values()))
    print('Largest %d contributing objects:' % args.top)
    for obj, per in ranked[:args.top]:
        detail = ', '.join('%s %d' % (s, n) for s, n in sorted(per.items(), key=lambda kv: -kv[1]))
        print('  %7d  %s  (%s)' % (sum(per.values()), obj, detail))

    print('Largest %d input sections:' % args.top)
    for name, obj, size, out in sorted(counted, key=lambda i: -i[2])[:args.top]:
        print('  %7d  %-10s %s  %s' % (size, out, name, short_object(obj)))

    if args.symbols:
        r = subprocess.run([args.nm, '-S', '-C', '--size-sort', args.symbols], capture_output=True, text=True)
        if r.returncode != 0:
            print('%s: %s' % (args.nm, r.stderr.strip()), file=sys.stderr)
            return 2
        print('Largest %d functions and tables (symbol sizes):' % args.top)
        for size, section, name in symbol_sizes(r.stdout.splitlines())[:args.top]:
            print('  %7d  %-10s %s' % (size, section, name))

    if args.file:
        size = os.path.getsize(args.file)
        if args.goal is not None:
            print('%s: %d bytes, goal %d: %s' % (os.path.basename(args.file), size, args.goal,
                                                'met' if size <= args.goal else
                                                'not met, %d bytes over' % (size - args.goal)))
        if args.budget is not None:
            verdict = 'within' if size <= args.budget else 'OVER'
            print('%s: %d bytes, %s the budget of %d' % (os.path.basename(args.file), size,
                                                        verdict, args.budget))
            return 0 if size <= args.budget else 1
        print('%s: %d bytes' % (os.path.basename(args.file), size))
    return 0


if __name__ == '__main__':
    sys.exit(main())
