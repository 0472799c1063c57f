#!/usr/bin/env python3
"""The status entry's layout as the generator writes it into the header is the
one it packs the table with: every entry of a generated table, read back with
the header's RTSTATUSENTRY_<field>_SHIFT and _BITS constants, gives its status
and the offsets and lengths of its name and message, which decode to the
list's texts.  The fields tile the 64 bits without gaps."""
import importlib.util
import os
import re
import sys
import tempfile

spec = importlib.util.spec_from_file_location('gen', sys.argv[1])
gen = importlib.util.module_from_spec(spec)
spec.loader.exec_module(gen)
status_list = sys.argv[2]

failures = []


def check(what, cond):
    if not cond:
        failures.append(what)


with tempfile.TemporaryDirectory() as tmp:
    paths = [os.path.join(tmp, n) for n in ('t.cpp', 'm.cpp', 'include/zelk/err-codes.h')]
    sys.argv = ['gen-status-table.py', status_list] + paths
    gen.main()
    texts = [open(p, encoding='utf-8').read() for p in paths]

consts = {m.group(1): int(m.group(2))
          for m in re.finditer(r'#define RTSTATUSENTRY_(\w+) (\d+)', texts[2])}
fields = {}
for key, value in consts.items():
    name, kind = key.rsplit('_', 1)
    fields.setdefault(name, {})[kind] = value
check('the five fields in the header', sorted(fields) == sorted(
    ['NAME_OFF', 'NAME_LEN', 'MSG_OFF', 'MSG_LEN', 'STATUS']))
bit = 0
for name, f in sorted(fields.items(), key=lambda kv: kv[1].get('SHIFT', -1)):
    check('%s starts where the field before ends' % name, f.get('SHIFT') == bit)
    bit += f.get('BITS', 0)
check('the fields fill 64 bits', bit == 64)


def field(word, name):
    f = fields.get(name, {'SHIFT': 0, 'BITS': 0})
    return (word >> f['SHIFT']) & ((1 << f['BITS']) - 1)


def strtab(text, prefix):
    blob = bytes(int(b, 16) for b in re.findall(
        r'0x([0-9a-f]{2}),', text.split('g_ab%sCompressed[] =' % prefix)[1].split('};')[0]))
    dictionary = [int(d, 16) for d in re.findall(
        r'0x([0-9a-f]{8}),', text.split('g_au%sDict[' % prefix)[1].split('};')[0])]
    return blob, dictionary


names = strtab(texts[0], 'RTErr')
messages = strtab(texts[1], 'RTErrMsg')
rows = re.findall(r'UINT64_C\(0x([0-9a-f]{16})\), /\* (-?\d+) (\w+) \*/', texts[0])
listed = {e[0]: e for e in gen.read_list(status_list)}
check('one entry per listed status', len(rows) == len(listed) and len(rows) > 0)
for i, (word, value, name) in enumerate(rows):
    word = int(word, 16)
    status = field(word, 'STATUS')
    status -= (1 << fields.get('STATUS', {'BITS': 16})['BITS']) if status & 0x8000 else 0
    entry = listed.get(int(value))
    check('row %d (%s): status' % (i, name), status == int(value) and entry is not None)
    if entry is None:
        continue
    got_name = gen.decode(names[0], names[1], field(word, 'NAME_OFF'), field(word, 'NAME_LEN'))
    got_msg = gen.decode(messages[0], messages[1], field(word, 'MSG_OFF'), field(word, 'MSG_LEN'))
    check('row %d (%s): name' % (i, name), got_name == entry[1].encode())
    check('row %d (%s): message' % (i, name), got_msg == entry[2].encode())

for what in failures[:20]:
    print('FAILED:', what)
sys.exit(1 if failures else 0)
