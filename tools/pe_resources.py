#!/usr/bin/env python3
"""The reader of PE images and their resource trees that the payload tools
share (tools/kestrelyn-pack, tools/mkpayload.py): headers, sections and
every leaf of the resource tree, read with bounds, so that a hostile or
broken image costs neither time nor memory and fails with one line.
"""

import struct

from payload_layout import LANG_EN_US

# Bounds of the reader: resource trees of real programs are far smaller.
MAX_RESOURCES = 4096
MAX_SECTIONS = 96
MAX_NAME = 256
CHUNK = 1 << 20


class PeError(Exception):
    """A failure worth one line; the text names the input it is about."""


class Source:
    """Bounded reads from a file or from bytes; nothing is read past the end."""

    def __init__(self, label, data=None, fileobj=None, size=None):
        self.label = label
        self.data = data
        self.f = fileobj
        self.size = len(data) if data is not None else size

    def read(self, off, n, what="data"):
        if off < 0 or n < 0 or off + n > self.size:
            raise PeError(f"{self.label}: {what} at {off:#x} runs past the end of the file")
        if self.data is not None:
            return bytes(self.data[off:off + n])
        self.f.seek(off)
        data = self.f.read(n)
        if len(data) != n:
            raise PeError(f"{self.label}: short read at {off:#x}")
        return data


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def align(v, a):
    return (v + a - 1) // a * a


class Section:
    def __init__(self, raw, table_off):
        self.name = raw[:8].rstrip(b"\0").decode("latin-1")
        self.vsize, self.va, self.rawsize, self.rawptr = struct.unpack_from("<IIII", raw, 8)
        self.characteristics = u32(raw, 36)
        self.table_off = table_off

        self.vextent = self.vsize or self.rawsize


class PeImage:
    """The headers, sections and resource tree of a PE32 or PE32+ image."""

    def __init__(self, src):
        self.src = src
        lab = src.label
        if src.size < 64:
            raise PeError(f"{lab}: not a PE image (too short)")
        dos = src.read(0, 64)
        if dos[:2] != b"MZ":
            raise PeError(f"{lab}: not a PE image (no MZ header)")
        self.pe = u32(dos, 0x3C)
        head = src.read(self.pe, 24, "PE header")
        if head[:4] != b"PE\0\0":
            raise PeError(f"{lab}: not a PE image (no PE signature)")
        self.machine = u16(head, 4)
        nsections = u16(head, 6)
        self.symbols = u32(head, 12)
        self.opt_size = u16(head, 20)
        self.opt = self.pe + 24
        opt = src.read(self.opt, self.opt_size, "optional header")
        if len(opt) < 2:
            raise PeError(f"{lab}: not a PE image (no optional header)")
        magic = u16(opt, 0)
        if magic == 0x10B:
            self.kind, dirs = "PE32", 96
        elif magic == 0x20B:
            self.kind, dirs = "PE32+", 112
        else:
            raise PeError(f"{lab}: not a PE image (optional header magic {magic:#x})")
        if self.opt_size < dirs:
            raise PeError(f"{lab}: optional header of {self.opt_size} bytes is too short")
        self.size_of_init_data = u32(opt, 8)
        self.section_align = u32(opt, 32)
        self.file_align = u32(opt, 36)
        self.size_of_image = u32(opt, 56)
        self.size_of_headers = u32(opt, 60)
        self.checksum_off = self.opt + 64
        ndirs = min(u32(opt, dirs - 4), 16, (self.opt_size - dirs) // 8)
        self.dirs_off = self.opt + dirs
        self.dirs = [struct.unpack_from("<II", opt, dirs + 8 * i) for i in range(ndirs)]
        if nsections > MAX_SECTIONS:
            raise PeError(f"{lab}: {nsections} sections, more than a PE image may have")
        self.table_off = self.opt + self.opt_size
        table = src.read(self.table_off, 40 * nsections, "section table")
        self.sections = [Section(table[40 * i:40 * i + 40], self.table_off + 40 * i) for i in range(nsections)]
        self._last = None
        for s in self.sections:
            if s.rawsize and s.rawptr + s.rawsize > src.size:
                raise PeError(f"{lab}: section {s.name} runs past the end of the file")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def section_of(self, rva, n=0):
        s = self._last
        if s and s.va <= rva and rva + n <= s.va + s.vextent:
            return s
        for s in self.sections:
            if s.va <= rva and rva + n <= s.va + s.vextent:
                self._last = s
                return s
        return None

    def _span(self, rva, n, what):
        s = self.section_of(rva, n)
        if not s or rva + n > self.size_of_image:
            raise PeError(f"{self.src.label}: {what} at RVA {rva:#x} (+{n:#x}) lies outside the image")
        if rva + n > s.va + min(s.rawsize, s.vextent) or s.rawptr + (rva - s.va) + n > self.src.size:
            raise PeError(f"{self.src.label}: {what} at RVA {rva:#x} (+{n:#x}) lies outside the file's data")
        return s.rawptr + rva - s.va

    def rva_chunks(self, rva, n, what):
        """The n bytes the loader maps at rva, in chunks.  They must come from
        the file: the zeros the loader adds past a section's raw data are no
        place for resources, and reading them would let a few header bytes
        ask for gigabytes."""
        off = self._span(rva, n, what)
        end = off + n
        while off < end:
            take = min(CHUNK, end - off)
            yield self.src.read(off, take, what)
            off += take

    def rva_offset(self, rva, n, what):
        """The file offset of the n bytes the loader maps at rva."""
        return self._span(rva, n, what)

    def read_rva(self, rva, n, what):
        return self.src.read(self._span(rva, n, what), n, what)

    def sections_end(self):
        return max([s.rawptr + s.rawsize for s in self.sections if s.rawsize] + [self.size_of_headers])


class Resource:
    def __init__(self, rtype, name, lang, rva, size, codepage, entry_rva=None):
        self.type, self.name, self.lang = rtype, name, lang
        self.rva, self.size, self.codepage = rva, size, codepage
        self.entry_rva = entry_rva  # of its data entry in the tree read
        self.data = None  # for pack: the bytes, or the open package file


def read_resources(img):
    """Every leaf of the resource tree: (type, name, language) → data entry.

    The tree is walked three levels deep, as the loader reads it.  A
    directory reached twice, an entry at the wrong depth, a name longer than
    MAX_NAME or more than 3 * MAX_RESOURCES entries in all is refused, so a
    looping or overlapping tree can cost neither time nor memory."""
    rva = img.directory(2)[0]
    leaves = ResourceList()
    if not rva:
        return leaves
    lab = img.src.label
    seen = set()
    total = [0]

    def entries(off, depth):
        if off in seen:
            raise PeError(f"{lab}: resource directory at {off:#x} is reached twice")
        seen.add(off)
        head = img.read_rva(rva + off, 16, "resource directory")
        count = u16(head, 12) + u16(head, 14)
        total[0] += count
        if total[0] > 3 * MAX_RESOURCES:
            raise PeError(f"{lab}: more than {MAX_RESOURCES} resources")
        raw = img.read_rva(rva + off + 16, 8 * count, "resource directory entries")
        out = []
        for i in range(count):
            name, target = struct.unpack_from("<II", raw, 8 * i)
            if i < u16(head, 12):
                if not name & 0x80000000:
                    raise PeError(f"{lab}: named resource entry without a name string")
                soff = rva + (name & 0x7FFFFFFF)
                length = u16(img.read_rva(soff, 2, "resource name"), 0)
                if length > MAX_NAME:
                    raise PeError(f"{lab}: a resource name of {length} characters")
                key = img.read_rva(soff + 2, 2 * length, "resource name").decode("utf-16-le", "replace")
            else:
                if name & 0x80000000:
                    raise PeError(f"{lab}: numbered resource entry with a name string")
                key = name & 0xFFFF
            is_dir = bool(target & 0x80000000)
            if is_dir != (depth < 2):
                raise PeError(f"{lab}: resource entry at the wrong depth of the tree")
            out.append((key, target & 0x7FFFFFFF))
        return out

    for rtype, tdir in entries(0, 0):
        for name, ndir in entries(tdir, 1):
            for lang, leaf in entries(ndir, 2):
                raw = img.read_rva(rva + leaf, 16, "resource data entry")
                data_rva, data_size, codepage = struct.unpack_from("<III", raw, 0)
                leaves.append(Resource(rtype, name, lang, data_rva, data_size, codepage, rva + leaf))
    return leaves


def same_key(a, b):
    if isinstance(a, str) and isinstance(b, str):
        return a.upper() == b.upper()
    return a == b


def norm_key(key):
    return key.upper() if isinstance(key, str) else key


class ResourceList(list):
    """The leaves of a resource tree, with an index for lookups by name."""

    def lookup(self, rtype, name):
        index = getattr(self, "_index", None)
        if index is None:
            index = self._index = {}
            for r in self:
                index.setdefault((norm_key(r.type), norm_key(r.name)), []).append(r)
        return index.get((norm_key(rtype), norm_key(name)), [])


def find_resource(resources, rtype, name):
    """The resource the stub's lookup finds: the neutral language asked for
    takes the neutral entry, else U.S. English, else the first."""
    found = resources.lookup(rtype, name)
    for lang in (0, LANG_EN_US):
        for r in found:
            if r.lang == lang:
                return r
    return found[0] if found else None
