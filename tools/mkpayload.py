#!/usr/bin/env python3
"""Builds the payload of a Kestrelyn installer: the raw-data resources that the
stub reads from its own image.

  mkpayload.py rc --rc OUT.rc --work-dir DIR [--count N] [--no-manifest]
                  [--magic TEXT] [--manifest-size N] PACKAGE...
      Writes the manifest and the package headers into DIR and a resource
      script OUT.rc that names them and the package files as raw data, to be
      compiled with windres and linked into the stub.  A PACKAGE is
          FILE:ARCH[:name=NAME][:unsafe-name=TEXT][:res=RES][:header-size=N]
                   [:raw-header=F][:no-blob]
      FILE is the package file and ARCH its architecture (1 any, 2 x86,
      3 amd64).  name= is the file name the package is extracted under
      (default: FILE's own), res= the blob's resource name (default BIN_nn).
      --count, --magic, --manifest-size, header-size=, raw-header= (the
      header's bytes taken from file F as they are), unsafe-name= (a file
      name that is not a plain name, such as "..\\x.msi", percent-encoded:
      ..%5Cx.msi) and no-blob make deliberately broken payloads for tests.

  mkpayload.py codepage EXE [--code-page N] [--size NAME=N]...
      Sets the code page of every raw-data entry of a linked executable (the
      resource compiler writes 0; the payload declares 1252).  --size makes
      the entry of resource NAME declare N bytes, whatever it holds (for
      tests of a size that runs past the image).

  mkpayload.py list EXE
      Prints one line per raw-data resource: name, language, code page, size.

The resources are stored under U.S. English (1033); their layout is
tools/payload_layout.py's.
"""

import argparse
import os
import re
import struct
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload_layout  # noqa: E402
from payload_layout import (BLOB_NAME, CODE_PAGE, FILE_NAME_FIELD, HEADER_NAME, HEADER_SIZE,  # noqa: E402
                            MANIFEST_COUNT_OFFSET, MANIFEST_MAGIC, MANIFEST_NAME, MAX_PACKAGES, RES_NAME_FIELD,
                            RT_RCDATA)
from pe_resources import PeError, PeImage, Source, read_resources  # noqa: E402


class PayloadError(Exception):
    pass


def parse_package(spec, index):
    parts = spec.split(":")
    if len(parts) < 2:
        raise PayloadError(f"package '{spec}': expected FILE:ARCH")
    path, arch_text = parts[0], parts[1]
    try:
        arch = int(arch_text, 0)
    except ValueError:
        raise PayloadError(f"package '{spec}': architecture '{arch_text}' is not a number")
    if not 0 <= arch <= 0xFFFFFFFF:
        raise PayloadError(f"package '{spec}': architecture {arch} does not fit 32 bits")
    pkg = {
        "path": os.path.abspath(path),
        "arch": arch,
        "name": os.path.basename(path),
        "res": BLOB_NAME % index,
        "header_size": HEADER_SIZE,
        "blob": True,
        "raw_header": None,
        "unsafe": False,
    }
    for opt in parts[2:]:
        key, _, value = opt.partition("=")
        if key == "name":
            pkg["name"] = value
        elif key == "unsafe-name":
            pkg["name"] = urllib.parse.unquote(value)
            pkg["unsafe"] = True
        elif key == "res":
            pkg["res"] = value
        elif key == "header-size":
            pkg["header_size"] = int(value, 0)
        elif key == "raw-header":
            with open(value, "rb") as f:
                pkg["raw_header"] = f.read()
        elif key == "no-blob" and not value:
            pkg["blob"] = False
        else:
            raise PayloadError(f"package '{spec}': unknown option '{opt}'")

    name = pkg["name"].encode("utf-8")
    if not name or len(name) >= FILE_NAME_FIELD:
        raise PayloadError(f"package '{spec}': the file name must have 1 to {FILE_NAME_FIELD - 1} bytes")
    # The name is joined to the extraction directory: it must stay inside it.
    if not pkg["unsafe"] and (re.search(r'[\\/:\x00-\x1f]', pkg["name"]) or pkg["name"] in (".", "..")):
        raise PayloadError(f"package '{spec}': '{pkg['name']}' is not a plain file name")
    # Bare names in a resource script: a leading digit would make a number of it.
    if not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", pkg["res"]) or len(pkg["res"]) >= RES_NAME_FIELD:
        raise PayloadError(f"package '{spec}': resource name '{pkg['res']}' must be a word of at most "
                           f"{RES_NAME_FIELD - 1} letters, digits and underscores")
    if not 0 <= pkg["header_size"] <= HEADER_SIZE:
        raise PayloadError(f"package '{spec}': header-size must be 0 to {HEADER_SIZE}")
    if pkg["blob"] and not os.path.isfile(pkg["path"]):
        raise PayloadError(f"package '{spec}': no such file '{pkg['path']}'")
    if re.search(r'["\\\n]', pkg["path"]):
        raise PayloadError(f"package '{spec}': the path can't be written into a resource script")
    return pkg


def header_bytes(pkg):
    if pkg["raw_header"] is not None:
        return pkg["raw_header"]
    data = payload_layout.header_bytes(pkg["arch"], pkg["res"], pkg["name"].encode("utf-8"))
    return data[:pkg["header_size"]]


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def cmd_rc(args):
    packages = [parse_package(spec, i) for i, spec in enumerate(args.packages)]
    count = len(packages) if args.count is None else args.count
    if not 0 <= count <= MAX_PACKAGES:
        raise PayloadError(f"the package count {count} does not fit the manifest's byte")
    os.makedirs(args.work_dir, exist_ok=True)
    work_dir = os.path.abspath(args.work_dir)
    if re.search(r'["\\\n]', work_dir):
        raise PayloadError("the work directory can't be written into a resource script")

    lines = ["/* Generated by mkpayload.py: the installer's payload. */", "LANGUAGE 9, 1"]
    if not args.no_manifest:
        magic = args.magic.encode("ascii")[:len(MANIFEST_MAGIC)].ljust(len(MANIFEST_MAGIC), b"\0")
        manifest = magic.ljust(MANIFEST_COUNT_OFFSET, b"\0") + bytes([count])
        if args.manifest_size is not None:
            manifest = manifest[:args.manifest_size]
        path = os.path.join(work_dir, "manifest.bin")
        write_if_changed(path, manifest)
        # Quoted, "MANIFEST" is a name; bare, a keyword.  It comes first, as the
        # compiler would join it to a quoted file name standing before it.
        lines.append(f'"{MANIFEST_NAME}" RCDATA "{path}"')
    for i, pkg in enumerate(packages):
        path = os.path.join(work_dir, "hdr_%02d.bin" % i)
        write_if_changed(path, header_bytes(pkg))
        lines.append(f'{HEADER_NAME % i} RCDATA "{path}"')
        if pkg["blob"]:
            lines.append(f'{pkg["res"].upper()} RCDATA "{pkg["path"]}"')
    write_if_changed(args.rc, ("\n".join(lines) + "\n").encode("utf-8"))


def rcdata_entries(data):
    """(name, language, file offset of the data entry) of every raw-data resource."""
    img = PeImage(Source("image", data=data))
    for r in read_resources(img):
        if r.type == RT_RCDATA:
            yield r.name, r.lang, img.rva_offset(r.entry_rva, 16, "resource data entry")


def cmd_codepage(args):
    with open(args.exe, "rb") as f:
        data = bytearray(f.read())
    sizes = {}
    for spec in args.size:
        name, _, size = spec.partition("=")
        sizes[name.upper()] = int(size, 0)
    for name, _, entry in list(rcdata_entries(data)):
        struct.pack_into("<I", data, entry + 8, args.code_page)
        if isinstance(name, str) and name.upper() in sizes:
            struct.pack_into("<I", data, entry + 4, sizes.pop(name.upper()))
    if sizes:
        raise PayloadError(f"no raw-data resource named {', '.join(sizes)}")
    write_if_changed(args.exe, bytes(data))


def cmd_list(args):
    with open(args.exe, "rb") as f:
        data = f.read()
    for name, lang, entry in rcdata_entries(data):
        _, size, codepage = struct.unpack_from("<III", data, entry)
        print(f"{name} {lang} {codepage} {size}")


def main():
    parser = argparse.ArgumentParser(description="Builds the payload resources of a Kestrelyn installer.")
    sub = parser.add_subparsers(dest="command", required=True)
    rc = sub.add_parser("rc", help="write the manifest, the headers and the resource script")
    rc.add_argument("--rc", required=True)
    rc.add_argument("--work-dir", required=True)
    rc.add_argument("--count", type=lambda s: int(s, 0))
    rc.add_argument("--no-manifest", action="store_true")
    rc.add_argument("--magic", default=MANIFEST_MAGIC.decode("ascii"))
    rc.add_argument("--manifest-size", type=lambda s: int(s, 0))
    rc.add_argument("packages", nargs="*")
    cp = sub.add_parser("codepage", help="set the code page of the raw-data entries")
    cp.add_argument("exe")
    cp.add_argument("--code-page", type=int, default=CODE_PAGE)
    cp.add_argument("--size", action="append", default=[])
    ls = sub.add_parser("list", help="list the raw-data resources")
    ls.add_argument("exe")
    args = parser.parse_args()
    try:
        {"rc": cmd_rc, "codepage": cmd_codepage, "list": cmd_list}[args.command](args)
    except (PayloadError, PeError, OSError) as e:
        print(f"mkpayload.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
