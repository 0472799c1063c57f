#!/usr/bin/env python3
"""Writes an uncompressed cabinet: mkcab.py OUT.cab NAME=FILE...

Each NAME is the file's name inside the cabinet (for a Windows Installer
package, the key of its File table row).  One folder, no compression, no
checksums: the smallest cabinet that the Windows Installer reads.
"""
import struct
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: mkcab.py OUT.cab NAME=FILE...")
    files = []
    for spec in sys.argv[2:]:
        name, path = spec.split("=", 1)
        files.append((name.encode("ascii"), open(path, "rb").read()))

    data = b"".join(body for _, body in files)
    blocks = [data[i:i + 32768] for i in range(0, len(data), 32768)] or [b""]
    header_size, folder_size = 36, 8
    entries = b""
    offset = 0
    for name, body in files:
        # 1 January 2020, 00:00, read-only attribute clear.
        entries += struct.pack("<IIHHHH", len(body), offset, 0, (40 << 9) | (1 << 5) | 1, 0, 0x20) + name + b"\0"
        offset += len(body)
    data_start = header_size + folder_size + len(entries)
    chunks = b"".join(struct.pack("<IHH", 0, len(b), len(b)) + b for b in blocks)
    total = data_start + len(chunks)
    header = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, header_size + folder_size, 0, 3, 1, 1,
                                   len(files), 0, 0x4B54, 0)
    folder = struct.pack("<IHH", data_start, len(blocks), 0)
    with open(sys.argv[1], "wb") as f:
        f.write(header + folder + entries + chunks)


if __name__ == "__main__":
    main()
