#!/usr/bin/env python3
"""The stub's table of file names it takes or refuses, read from its unit
test (tests/installer/stub-test.cpp, StubPayload.BareFileNames), so that
the packer (pack-test.py) and the stub under Wine (pack-wine-test.sh) are
checked on its rows; and installers forged to hold what pack never writes.

  names.py forge-rows TOOL INSTALLER FOLDER
      writes FOLDER/row-N.exe, INSTALLER with row N's name in its first
      header, and prints "N HEX BARE" a line (BARE 1: the stub takes it)."""

import importlib.machinery
import importlib.util
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
STUB_TEST = os.path.join(HERE, "..", "installer", "stub-test.cpp")

_ROW = re.compile(r'^\s*\{ "((?:[^"\\]|\\.)*)", (true|false) \},')
_ESCAPE = re.compile(rb"\\(x[0-9a-fA-F]+|.)")


def c_string(text):
    """The bytes of a C string literal's contents: \\xNN, \\\\ and \\" are
    the escapes the table uses."""
    def one(m):
        e = m.group(1)
        return bytes([int(e[1:], 16)]) if e[:1] == b"x" else e
    return _ESCAPE.sub(one, text.encode("utf-8"))


def stub_rows():
    """[(name bytes, whether the stub takes it)] of StubPayload.BareFileNames."""
    with open(STUB_TEST, encoding="utf-8") as f:
        text = f.read()
    start = text.index("TEST(StubPayload, BareFileNames)")
    end = text.index("\nTEST(", start + 1)
    rows = []
    for line in text[start:end].splitlines():
        m = _ROW.match(line)
        if m:
            rows.append((c_string(m.group(1)), m.group(2) == "true"))
    return rows


def load_tool(path):
    loader = importlib.machinery.SourceFileLoader("kestrelyn_pack", path)
    kp = importlib.util.module_from_spec(importlib.util.spec_from_loader("kestrelyn_pack", loader))
    loader.exec_module(kp)
    return kp


def resource_offset(kp, data, name):
    """The file offset of the raw-data resource name's bytes."""
    img = kp.PeImage(kp.Source("installer", data=data))
    res = kp.find_resource(kp.read_resources(img), kp.RT_RCDATA, name)
    sec = img.section_of(res.rva)
    return sec.rawptr + res.rva - sec.va


def forge(kp, src, dst, file_name=None, res_name=None, replace=()):
    """A copy of the installer src whose first package header holds other
    names (bytes), with other bytes in place of some (old, new) of the same
    length: what pack would never write, as a hostile installer has it."""
    with open(src, "rb") as f:
        data = bytearray(f.read())
    hdr = resource_offset(kp, bytes(data), "HDR_00")
    if res_name is not None:
        data[hdr + 4:hdr + 32] = res_name.ljust(28, b"\0")
    if file_name is not None:
        data[hdr + 32:hdr + 256] = file_name.ljust(224, b"\0")
    for old, new in replace:
        assert len(old) == len(new) and old in data, old
        data = data.replace(old, new)
    with open(dst, "wb") as f:
        f.write(data)
    return dst


def main(argv):
    if len(argv) != 5 or argv[1] != "forge-rows":
        sys.exit(__doc__)
    kp = load_tool(argv[2])
    for n, (name, bare) in enumerate(stub_rows()):
        forge(kp, argv[3], os.path.join(argv[4], f"row-{n}.exe"), file_name=name)
        print(n, name.hex() or "-", int(bare))


if __name__ == "__main__":
    main(sys.argv)
