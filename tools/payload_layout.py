#!/usr/bin/env python3
"""The layout of an installer's payload, defined once.

The stub reads its payload from its own raw-data resources (type 10, stored
under U.S. English with code page 1252):

  "MANIFEST"  16 bytes: the magic "QornInstV1", five zero bytes, and the
              package count in the last byte.
  "HDR_nn"    one per package, nn = 00, 01, ...: 256 bytes, the architecture
              (32-bit little-endian), the blob's resource name (28 bytes) and
              the file name the package is extracted under (224 bytes, UTF-8),
              both zero-terminated and zero-padded.
  "BIN_nn"    the package's bytes, under the name its header gives.
  "CERT"      the publisher's certificate, DER.

tools/mkpayload.py and tools/kestrelyn-pack import this module; the stub's
C++ header is written from it at configure time:

  payload_layout.py --c-header OUT.h
"""

import struct
import sys

RT_RCDATA = 10
LANG_EN_US = 1033
CODE_PAGE = 1252

MANIFEST_NAME = "MANIFEST"
MANIFEST_MAGIC = b"QornInstV1"
MANIFEST_SIZE = 16
MANIFEST_COUNT_OFFSET = MANIFEST_SIZE - 1
MAX_PACKAGES = 255

HEADER_NAME = "HDR_%02d"
BLOB_NAME = "BIN_%02d"
CERT_NAME = "CERT"

ARCH_FIELD = 4
RES_NAME_FIELD = 28
FILE_NAME_FIELD = 224
HEADER_SIZE = ARCH_FIELD + RES_NAME_FIELD + FILE_NAME_FIELD

# Architectures; any other value applies to no host.
ARCH_ANY = 1
ARCH_X86 = 2
ARCH_AMD64 = 3
ARCH_NAMES = {ARCH_ANY: "any", ARCH_X86: "x86", ARCH_AMD64: "amd64"}

assert HEADER_SIZE == 256 and len(MANIFEST_MAGIC) < MANIFEST_COUNT_OFFSET


def manifest_bytes(count):
    """The manifest of a payload of count packages."""
    if not 0 <= count <= MAX_PACKAGES:
        raise ValueError(f"{count} packages: at most {MAX_PACKAGES}")
    return MANIFEST_MAGIC.ljust(MANIFEST_COUNT_OFFSET, b"\0") + bytes([count])


def manifest_count(data):
    """The package count of a manifest of at least MANIFEST_SIZE bytes."""
    return data[MANIFEST_COUNT_OFFSET]


def header_bytes(arch, res_name, name_bytes):
    """A package header; the names must leave room for their terminators."""
    res = res_name.encode("ascii")
    if len(res) >= RES_NAME_FIELD or len(name_bytes) >= FILE_NAME_FIELD:
        raise ValueError("a name does not fit its header field")
    return (struct.pack("<I", arch) + res.ljust(RES_NAME_FIELD, b"\0")
            + name_bytes.ljust(FILE_NAME_FIELD, b"\0"))


def parse_header(data):
    """(architecture, resource name, file name) of a HEADER_SIZE header, the
    names as bytes up to their terminators; a name without one, which the
    stub refuses, is None."""
    arch = struct.unpack_from("<I", data, 0)[0]
    fields = (data[ARCH_FIELD:ARCH_FIELD + RES_NAME_FIELD], data[ARCH_FIELD + RES_NAME_FIELD:HEADER_SIZE])
    res, name = (f.split(b"\0", 1)[0] if 0 in f else None for f in fields)
    return arch, res, name


def c_header():
    """The stub's header with the same layout."""
    return f"""/* Written by tools/payload_layout.py from its definitions; do not edit. */
#ifndef QORNSTUBPAYLOAD_H
#define QORNSTUBPAYLOAD_H

#include <zelk/types.h>

/* Package architectures; any other value applies to no host. */
#define PKG_ARCH_ANY   {ARCH_ANY}
#define PKG_ARCH_X86   {ARCH_X86}
#define PKG_ARCH_AMD64 {ARCH_AMD64}

/* Resource names: the manifest, each package's header and the certificate. */
#define STUB_RES_MANIFEST   "{MANIFEST_NAME}"
#define STUB_RES_HEADER_FMT "{HEADER_NAME}"
#define STUB_RES_CERT       "{CERT_NAME}"

/* The resource "{MANIFEST_NAME}". */
typedef struct PackageManifest
{{
    char achMagic[{len(MANIFEST_MAGIC)}]; /* "{MANIFEST_MAGIC.decode()}", not checked */
    uint8_t abPadding[{MANIFEST_COUNT_OFFSET - len(MANIFEST_MAGIC)}];
    uint8_t cPackages;
}} PackageManifest;
static_assert(sizeof(PackageManifest) == {MANIFEST_SIZE}, "manifest layout");

/* The resource "{HEADER_NAME}" of each package. */
typedef struct PackageHeader
{{
    uint32_t uArch;       /* PKG_ARCH_*, little-endian */
    char szResName[{RES_NAME_FIELD}];   /* the blob's resource name, zero-terminated */
    char szFileName[{FILE_NAME_FIELD}]; /* UTF-8 file name, zero-terminated; its suffix gives the kind */
}} PackageHeader;
static_assert(sizeof(PackageHeader) == {HEADER_SIZE}, "header layout");

#endif
"""


def main(argv):
    if len(argv) != 3 or argv[1] != "--c-header":
        print("usage: payload_layout.py --c-header OUT.h", file=sys.stderr)
        return 2
    text = c_header()
    try:
        with open(argv[2], encoding="ascii") as f:
            if f.read() == text:
                return 0  # unchanged: keep the time stamp, and the rebuild away
    except FileNotFoundError:
        pass
    with open(argv[2], "w", encoding="ascii") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
