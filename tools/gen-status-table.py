#!/usr/bin/env python3
"""Generates the status table and the status constants from the status list.

Usage: gen-status-table.py STATUS_LIST OUT_CPP OUT_MSG_CPP OUT_HEADER

The list has one status per line: value, name, message (blank lines and lines
starting with '#' are skipped).  The table is sorted by value, one packed 64-bit
entry per status, its fields as ENTRY_FIELDS below gives them.  That list is
the layout's only definition: the header carries it to the runtime as
RTSTATUSENTRY_<FIELD>_SHIFT and _BITS constants.

The names (with the entries) and the messages are two string tables in two
files, so that a program that prints only names does not link the messages.

Names and messages are compressed one byte per dictionary reference.  The
dictionary has up to 256 32-bit entries: a byte whose entry is above 0x7FFFFF
stands for the stretch of the compressed bytes at (entry & 0x3FFFFF) of length
(entry >> 22), which holds a frequent word stored plainly; any other byte, and
any byte past the dictionary's end, stands for itself.  Bytes below the end
that occur in no text are free to name words; the end is chosen for the
smallest table.
"""
import re
import sys


# The fields of a status entry, lowest bits first: name, first bit, width, meaning.
ENTRY_FIELDS = (
    ("NAME_OFF", 0, 17, "offset of the name in the names' compressed bytes"),
    ("NAME_LEN", 17, 6, "length of the compressed name"),
    ("MSG_OFF", 23, 17, "offset of the message in the messages' compressed bytes"),
    ("MSG_LEN", 40, 8, "length of the compressed message"),
    ("STATUS", 48, 16, "the status code, signed"),
)
FIELD = {name: (shift, bits) for name, shift, bits, _ in ENTRY_FIELDS}


def check_fields():
    bit = 0
    for name, shift, bits, _ in ENTRY_FIELDS:
        if shift != bit:
            fail("entry field %s starts at bit %d, not %d" % (name, shift, bit))
        bit += bits
    if bit != 64:
        fail("entry fields fill %d bits, not 64" % bit)


def field_max(name):
    return (1 << FIELD[name][1]) - 1


def pack(**values):
    word = 0
    for name, (shift, bits) in FIELD.items():
        value = values[name] & ((1 << bits) - 1)
        word |= value << shift
    return word


def fail(msg):
    sys.stderr.write("gen-status-table: %s\n" % msg)
    sys.exit(1)


def read_list(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for lineno, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) != 3:
                fail("%s:%d: expected 'value NAME message'" % (path, lineno))
            value, name, msg = int(parts[0]), parts[1], parts[2]
            half = 1 << (FIELD["STATUS"][1] - 1)
            if not -half <= value < half:
                fail("%s:%d: %d does not fit %d signed bits" % (path, lineno, value,
                                                              FIELD["STATUS"][1]))
            if not re.fullmatch(r"K(ERR|WRN|INF)_[A-Z0-9_]+", name):
                fail("%s:%d: bad name %s" % (path, lineno, name))
            if (value < 0) != name.startswith("KERR_"):
                fail("%s:%d: %s: KERR_ names go with negative values only" % (path, lineno, name))
            entries.append((value, name, msg))
    entries.sort()
    for a, b in zip(entries, entries[1:]):
        if a[0] == b[0]:
            fail("duplicate value %d (%s, %s)" % (a[0], a[1], b[1]))
    names = [e[1] for e in entries]
    if len(set(names)) != len(names):
        fail("duplicate names")
    return entries


def pick_words(texts, count, max_len=24):
    """
    Up to count words for the dictionary, best first: each round takes the
    stretch (2 to max_len bytes, words or their parts or runs of them) that
    saves the most in the texts not yet covered by an earlier word, and the
    texts are then cut at its places.  A word costs its bytes once; each use
    saves all of them but one.
    """
    pieces = sorted(set(texts))
    words = []
    while len(words) < count:
        counts = {}
        for p in pieces:
            for n in range(2, min(max_len, len(p)) + 1):
                for i in range(len(p) - n + 1):
                    w = p[i:i + n]
                    counts[w] = counts.get(w, 0) + 1
        best, saving = None, 4
        for w, n in counts.items():
            if n * (len(w) - 1) - len(w) > saving:
                best, saving = w, n * (len(w) - 1) - len(w)
        if best is None:
            break
        words.append(best)
        pieces = [q for p in pieces for q in p.split(best) if q]
    return words


def encode(text, word_code):
    """Fewest references for text (dynamic programming over the words)."""
    data = text.encode("utf-8")
    n = len(data)
    best = [None] * (n + 1)
    best[n] = (0, None)
    words = [(w.encode("utf-8"), c) for w, c in word_code.items()]
    for i in range(n - 1, -1, -1):
        choice = (best[i + 1][0] + 1, (bytes([data[i]]), 1))
        for wb, code in words:
            if data.startswith(wb, i) and best[i + len(wb)][0] + 1 < choice[0]:
                choice = (best[i + len(wb)][0] + 1, (bytes([code]), len(wb)))
        best[i] = choice
    out = bytearray()
    i = 0
    while i < n:
        piece, step = best[i][1]
        out += piece
        i += step
    return bytes(out)


def build_strtab_sized(texts, limit, cdict, used, words):
    """
    The table with a dictionary of cdict entries: the best words (words is
    best first) take the codes below cdict that no text uses.
    """
    free = [b for b in range(cdict) if b not in used]
    word_code = dict(zip(words, free))

    blob = bytearray()
    dictionary = list(range(cdict))
    for w, code in word_code.items():
        wb = w.encode("utf-8")
        dictionary[code] = (len(wb) << 22) | len(blob)
        blob += wb

    placed = {}
    spans = []
    for text in texts:
        enc = encode(text, word_code)
        if len(enc) > limit:
            return None
        if enc not in placed:
            placed[enc] = len(blob)
            blob += enc
        spans.append((placed[enc], len(enc)))
    if len(blob) > field_max("NAME_OFF") or len(blob) > field_max("MSG_OFF"):
        fail("compressed string table exceeds the entries' offsets")
    for text, (off, cb) in zip(texts, spans):
        if decode(blob, dictionary, off, cb) != text.encode("utf-8"):
            fail("%s: does not decode to itself" % text)
    return spans, bytes(blob), dictionary


def decode(blob, dictionary, off, cb):
    """What the runtime's decoder (errmsg.cpp) makes of a string."""
    out = bytearray()
    for b in blob[off:off + cb]:
        entry = dictionary[b] if b < len(dictionary) else 0
        if entry > 0x7FFFFF:
            out += blob[entry & 0x3FFFFF:(entry & 0x3FFFFF) + (entry >> 22)]
        else:
            out.append(b)
    return bytes(out)


def build_strtab(texts, limit):
    """
    A compressed string table of texts: (offset, length) per text, bytes, and
    dictionary.  Bytes at or above the dictionary's size stand for themselves
    (the decoder's escape mode, which no UTF-8 text needs), so the dictionary
    is cut to the size that gives the smallest table.
    """
    used = set()
    for t in texts:
        used.update(t.encode("utf-8"))
    if 0xFF in used:
        fail("0xff cannot occur in UTF-8 text")
    words = pick_words(texts, 256 - len(used))
    best = None
    for cdict in (32, 48, 64, 96, 128, 160, 192, 224, 256):
        table = build_strtab_sized(texts, limit, cdict, used, words)
        if table and (best is None or len(table[1]) + 4 * len(table[2])
                      < len(best[1]) + 4 * len(best[2])):
            best = table
    if best is None:
        fail("a compressed text is longer than %d bytes" % limit)
    return best


def build(entries):
    names = build_strtab([e[1] for e in entries], field_max("NAME_LEN"))
    messages = build_strtab([e[2] for e in entries], field_max("MSG_LEN"))
    packed = []
    for (value, _, _), (off_name, cb_name), (off_msg, cb_msg) in zip(entries, names[0], messages[0]):
        packed.append(pack(NAME_OFF=off_name, NAME_LEN=cb_name, MSG_OFF=off_msg, MSG_LEN=cb_msg,
                           STATUS=value))
    return packed, names, messages


def strtab_lines(prefix, table_name, blob, dictionary):
    out = ["static const uint8_t g_ab%sCompressed[] =" % prefix, "{"]
    for i in range(0, len(blob), 16):
        out.append("    " + " ".join("0x%02x," % b for b in blob[i:i + 16]))
    out += ["};", "", "static const uint32_t g_au%sDict[%d] =" % (prefix, len(dictionary)), "{"]
    for i in range(0, len(dictionary), 8):
        out.append("    " + " ".join("0x%08x," % d for d in dictionary[i:i + 8]))
    out += ["};", "",
            "extern const RTERRSTRTAB %s =" % table_name,
            "{",
            "    g_ab%sCompressed, sizeof(g_ab%sCompressed), %d, g_au%sDict"
            % (prefix, prefix, len(dictionary), prefix),
            "};", ""]
    return out


def write_cpp(path, entries, packed, names):
    out = ["/* Generated by tools/gen-status-table.py from the status list; do not edit. */",
           '#include "err-internal.h"', "",
           "extern const RTSTATUSENTRY g_aRTErrEntries[] =", "{"]
    for (value, name, _), word in zip(entries, packed):
        out.append("    UINT64_C(0x%016x), /* %d %s */" % (word, value, name))
    out += ["};", "extern const size_t g_cRTErrEntries = %d;" % len(packed), ""]
    out += strtab_lines("RTErr", "g_RTErrStrTab", names[1], names[2])
    write_if_changed(path, "\n".join(out))


def write_msg_cpp(path, messages):
    out = ["/* Generated by tools/gen-status-table.py from the status list; do not edit. */",
           '#include "err-internal.h"', ""]
    out += strtab_lines("RTErrMsg", "g_RTErrMsgStrTab", messages[1], messages[2])
    write_if_changed(path, "\n".join(out))


def write_header(path, entries):
    out = ["/* Generated by tools/gen-status-table.py from the status list; do not edit. */",
           "#ifndef ZELK_ERR_CODES_H", "#define ZELK_ERR_CODES_H", "",
           "/* The fields of a status table entry (RTSTATUSENTRY), lowest bits first. */"]
    for name, shift, bits, meaning in ENTRY_FIELDS:
        out.append("/** %s */" % meaning)
        out.append("#define RTSTATUSENTRY_%s_SHIFT %d" % (name, shift))
        out.append("#define RTSTATUSENTRY_%s_BITS %d" % (name, bits))
    out.append("")
    for value, name, msg in entries:
        out.append("/** %s */" % msg)
        out.append("#define %s (%d)" % (name, value))
    out += ["", "#endif", ""]
    write_if_changed(path, "\n".join(out))


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    import os
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def write_program_cpp(path, entries, pattern):
    """
    One program's whole table: every status with its name, but messages only
    for the statuses whose names match pattern (the others' are empty).  A
    program that can print the messages of a few statuses only links this in
    place of the runtime's two tables.
    """
    keep = re.compile(pattern)
    texts = [msg if keep.fullmatch(name) else "" for _, name, msg in entries]
    if not any(texts):
        fail("no status name matches %r" % pattern)
    kept = [(value, name, text) for (value, name, _), text in zip(entries, texts)]
    packed, names, messages = build(kept)
    write_cpp(path, kept, packed, names)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    out = ["", "/* Messages only for the statuses matching %s. */" % pattern]
    out += strtab_lines("RTErrMsg", "g_RTErrMsgStrTab", messages[1], messages[2])
    write_if_changed(path, text + "\n".join(out))


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "--messages-of":
        check_fields()
        write_program_cpp(sys.argv[4], read_list(sys.argv[3]), sys.argv[2])
        return
    if len(sys.argv) != 5:
        fail("usage: gen-status-table.py STATUS_LIST OUT_CPP OUT_MSG_CPP OUT_HEADER\n"
             "       gen-status-table.py --messages-of REGEX STATUS_LIST OUT_CPP")
    check_fields()
    entries = read_list(sys.argv[1])
    packed, names, messages = build(entries)
    write_cpp(sys.argv[2], entries, packed, names)
    write_msg_cpp(sys.argv[3], messages)
    write_header(sys.argv[4], entries)


if __name__ == "__main__":
    main()
