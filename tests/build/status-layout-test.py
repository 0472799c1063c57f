#!/usr/bin/env python3
"""The status entry's layout as the generator writes it into the header is the
one it packs the table with: every entry of a generated table, read back with
the header's RTSTATUSENTRY_<field>_SHIFT and _BITS constants, gives its status
and the offsets and lengths of its name and message, which decode to the
list's texts.  The fields tile the 64 bits without gaps.  A program's own
table (--messages-of) has every name and only the matching messages."""
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


def check_table(label, names_text, messages_text, message_of):
    """Every row of a generated table against the list; message_of(entry) is the expected text."""
    names = strtab(names_text, 'RTErr')
    messages = strtab(messages_text, 'RTErrMsg')
    rows = re.findall(r'UINT64_C\(0x([0-9a-f]{16})\), /\* (-?\d+) (\w+) \*/', names_text)
    listed = {e[0]: e for e in gen.read_list(status_list)}
    check('%s: one entry per listed status' % label, len(rows) == len(listed) and len(rows) > 0)
    for i, (word, value, name) in enumerate(rows):
        word = int(word, 16)
        status = field(word, 'STATUS')
        status -= (1 << fields.get('STATUS', {'BITS': 16})['BITS']) if status & 0x8000 else 0
        entry = listed.get(int(value))
        check('%s row %d (%s): status' % (label, i, name), status == int(value) and entry is not None)
        if entry is None:
            continue
        got_name = gen.decode(names[0], names[1], field(word, 'NAME_OFF'), field(word, 'NAME_LEN'))
        got_msg = gen.decode(messages[0], messages[1], field(word, 'MSG_OFF'), field(word, 'MSG_LEN'))
        check('%s row %d (%s): name' % (label, i, name), got_name == entry[1].encode())
        check('%s row %d (%s): message' % (label, i, name), got_msg == message_of(entry).encode())


check_table('runtime', texts[0], texts[1], lambda e: e[2])

# A program's own table (--messages-of): all names, the matching statuses' messages only.
with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, 'p.cpp')
    sys.argv = ['gen-status-table.py', '--messages-of', 'K(ERR|INF)_OPT_[A-Z_]+', status_list, path]
    gen.main()
    program = open(path, encoding='utf-8').read()
kept = [e for e in gen.read_list(status_list) if re.fullmatch('K(ERR|INF)_OPT_[A-Z_]+', e[1])]
check('program table: some messages kept', len(kept) >= 4)
check_table('program', program, program,
            lambda e: e[2] if re.fullmatch('K(ERR|INF)_OPT_[A-Z_]+', e[1]) else '')

for what in failures[:20]:
    print('FAILED:', what)
sys.exit(1 if failures else 0)
