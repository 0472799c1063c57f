#!/usr/bin/env python3
"""The link map reader: sums per object, fill and discarded sections left out,
names split over two lines, symbol sizes with clones folded, and the budget
verdict in the exit status."""
import os
import subprocess
import sys
import tempfile

TOOL = sys.argv[1]

MAP = """Discarded input sections

 .text$_Z4deadv 0x00000000       0x40 obj/dead.obj

Memory Configuration

Linker script and memory map

.text           0x00401000     0x1000
 .text          0x00401000      0x100 obj/a.obj
                0x00401000                main
 *fill*         0x00401100      0x300
 .text$_ZN12_GLOBAL__N_119aVeryLongFunctionNameEv
                0x00401400      0x200 lib/libx.a(b.cpp.obj)
 .text$_Z3twov  0x00401600       0x10 obj/a.obj
 .text          0x00401610      0x100 /tmp/ccAbCdEf.ltrans0.ltrans.o
.rdata          0x00402000      0x200
 .rdata         0x00402000       0x80 lib/libx.a(b.cpp.obj)
.bss            0x00403000     0x4000
 .bss           0x00403000     0x4000 obj/a.obj
"""

failures = []


def check(what, cond):
    if not cond:
        failures.append(what)


with tempfile.TemporaryDirectory() as tmp:
    map_path = os.path.join(tmp, 'x.map')
    exe_path = os.path.join(tmp, 'x.exe')
    with open(map_path, 'w') as f:
        f.write(MAP)
    with open(exe_path, 'wb') as f:
        f.write(b'\0' * 1000)

    def run(*args):
        return subprocess.run([sys.executable, TOOL, map_path] + list(args),
                              capture_output=True, text=True)

    r = run('--top', '5')
    out = r.stdout
    check('exit 0 without budget', r.returncode == 0)
    # b: 0x200 text + 0x80 rdata; a: 0x100 + 0x10 text, its .bss takes no file space.
    check('b.cpp.obj summed over sections', '     640  libx.a(b.cpp.obj)' in out)
    check('a.obj without .bss', '     272  a.obj  (.text 272)' in out)
    check('b ranked before a', out.find('libx.a(b.cpp.obj)') < out.find('a.obj'))
    check('discarded sections ignored', 'dead' not in out)
    check('fill not an object', '*fill*' not in out)
    check('link-time objects by one name', '     256  (link-time optimised code)  (.text 256)' in out)
    check('two-line input section', '_ZN12_GLOBAL__N_119aVeryLongFunctionNameEv' in out)
    check('output section sizes', '.text          4096' in out and '.bss          16384' in out)

    r = run('--file', exe_path, '--budget', '1000')
    check('at the budget passes', r.returncode == 0 and 'within the budget of 1000' in r.stdout)
    r = run('--file', exe_path, '--budget', '999')
    check('over the budget fails', r.returncode == 1 and 'OVER the budget of 999' in r.stdout)

    # Symbol sizes of an unstripped link, as `nm -S -C --size-sort` lists them:
    # clones count with their function, .bss and undefined symbols not at all.
    nm_path = os.path.join(tmp, 'fake-nm')
    with open(nm_path, 'w') as f:
        f.write('#!/bin/sh\ncat <<EOF\n'
                '00401000 00000010 t helper()\n'
                '00401010 00000100 t big(int) [clone .part.0] [clone .constprop.0]\n'
                '00401110 00000080 T big(int)\n'
                '00401190 00000040 t big(int) [clone .cold]\n'
                '00402000 00000200 r .rdata\n'
                '00402200 00000030 R g_table\n'
                '00403000 00004000 b s_buffer\n'
                '         00000020 U imported\n'
                'EOF\n')
    os.chmod(nm_path, 0o755)
    out = run('--top', '3', '--nm', nm_path, '--symbols', exe_path).stdout
    listing = out[out.find('functions and tables'):].splitlines()[1:4]
    check('clones folded into their function', listing[1:2] == ['      448  .text      big(int)'])
    check('unnamed section contents labelled',
          listing[0:1] == ['      512  .rdata     .rdata (unnamed: literals and tables without a symbol)'])
    check('data symbols ranked, .bss left out', listing[2:3] == ['       48  .rdata     g_table'])
    check('a failing nm is an error',
          run('--nm', '/bin/false', '--symbols', exe_path).returncode == 2)

    with open(map_path, 'w') as f:
        f.write('no map here\n')
    check('not a map is an error', run().returncode == 2)

for what in failures:
    print('FAILED:', what)
sys.exit(1 if failures else 0)
