#!/usr/bin/env python3
"""kestrelyn-pack's two ways of copying and summing a package, the compiled
accelerator (tools/packaccel) and pure Python, against each other and
against the PE checksum's word sum: the same bytes and the same checksum for
packages of odd and even sizes at odd and even offsets of the output, zero
runs that become holes, and packages that change size while they are copied.

Environment: KT_PACK (the tool), KESTRELYN_PACK_ACCEL (the built library),
KT_WORK (a scratch folder)."""

import array
import importlib.machinery
import importlib.util
import os
import random
import shutil
import unittest

PACK = os.environ["KT_PACK"]
ACCEL = os.environ["KESTRELYN_PACK_ACCEL"]
WORK = os.environ["KT_WORK"]
MIB = 1 << 20


def load_tool():
    loader = importlib.machinery.SourceFileLoader("kp", PACK)
    kp = importlib.util.module_from_spec(importlib.util.spec_from_loader("kp", loader))
    loader.exec_module(kp)
    return kp


def word_checksum(data):
    """The PE checksum of data with no checksum field: the sum of its 16-bit
    words folded with end-around carry, plus its length."""
    words = array.array("H", data + b"\0" * (len(data) & 1))
    if words.itemsize != 2 or array.array("H", b"\1\0")[0] != 1:
        raise unittest.SkipTest("not a little-endian machine with 16-bit shorts")
    total = sum(words)
    folded = total % 0xFFFF or (0xFFFF if total else 0)
    return (folded + len(data)) & 0xFFFFFFFF


class Buffered:
    """The accelerator on its fallback's way: through its buffer, unmapped."""

    def __init__(self, accel):
        self.accel = accel

    def copy_sum(self, *args):
        return self.accel.copy_sum(*args, flags=1)


class AccelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.kp = load_tool()
        cls.accel = cls.kp.Accelerator(ACCEL)
        cls.ways = (("mapped", cls.accel), ("buffered", Buffered(cls.accel)), ("pure", None))
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.rng = random.Random(13)

    def package(self, name, data):
        path = os.path.join(WORK, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def pack_one(self, out, accel, head, pkg, size, tail):
        """head, then the package copied, then tail, as pack writes them."""
        with open(out, "wb") as f, open(pkg, "rb") as src:
            w = self.kp.ChecksumWriter(f, accel)
            w.write(head)
            w.copy(src, size)
            w.write(tail)
            w.pad_to(w.pos + (w.pos & 1))
            f.truncate(w.pos)
            return w.checksum()

    def test_both_paths_against_the_word_sum(self):
        rng = self.rng
        bodies = {
            "one byte": b"\x9c",
            "two bytes": b"\x01\xff",
            "4095 random": rng.randbytes(4095),
            "a buffer less one": rng.randbytes(MIB - 1),
            "a buffer": rng.randbytes(MIB),
            "a buffer and one": rng.randbytes(MIB + 1),
            "pure python's chunk and 7": rng.randbytes(self.kp.COPY_CHUNK + 7),
            "zeros (a hole)": bytes(3 * MIB + 3),
            "zeros, one byte at the end": bytes(2 * MIB) + b"\x05",
            "all ones (sums to a multiple)": b"\xff" * (MIB + 2),
            "zero buffers between data": rng.randbytes(5) + bytes(2 * MIB) + rng.randbytes(MIB + 3),
            "two threads' halves, odd": rng.randbytes(9 * MIB + 3),
            "two threads' halves, even": rng.randbytes(8 * MIB + 2) + bytes(MIB) + b"\x01\x02",
        }
        heads = {"nothing": b"", "one byte": b"\x7f", "77 bytes": rng.randbytes(77), "a page": rng.randbytes(4096)}
        for bname, body in bodies.items():
            pkg = self.package("pkg", body)
            for hname, head in heads.items():
                with self.subTest(package=bname, before=hname):
                    tail = b"\x01\x02\x03"
                    sums = []
                    for way, accel in self.ways:
                        out = os.path.join(WORK, way + ".out")
                        sums.append(self.pack_one(out, accel, head, pkg, len(body), tail))
                        with open(out, "rb") as f:
                            self.assertEqual(f.read(), head + body + tail + b"\0" * ((len(head + body + tail)) & 1),
                                             way)
                    expected = word_checksum(head + body + tail + b"\0" * (len(head + body + tail) & 1))
                    self.assertEqual(sums, [expected] * 3)

    def test_a_sparse_package_keeps_its_holes(self):
        size = 6 * MIB + 1
        pkg = os.path.join(WORK, "sparse")
        with open(pkg, "wb") as f:
            f.truncate(size)
            for at in (2 * MIB + 3, size - 1):
                f.seek(at)
                f.write(b"\xa5" * min(13, size - at))
        with open(pkg, "rb") as f:
            body = f.read()
        outs = []
        for way, accel in self.ways:
            out = os.path.join(WORK, way + ".sparse")
            checksum = self.pack_one(out, accel, b"\x4d", pkg, size, b"")
            self.assertEqual(checksum, word_checksum(b"\x4d" + body), way)
            with open(out, "rb") as f:
                outs.append(f.read())
            if accel:  # the pure path leaves holes only where a whole read is zeros
                self.assertLess(os.stat(out).st_blocks * 512, MIB, way)
        self.assertEqual(outs, [b"\x4d" + body] * 3)

    def test_from_another_file_system(self):
        """A package on tmpfs, packed onto the work folder's file system."""
        if not os.path.isdir("/dev/shm") or os.stat("/dev/shm").st_dev == os.stat(WORK).st_dev:
            self.skipTest("no tmpfs apart from the work folder")
        body = self.rng.randbytes(MIB + 3) + bytes(MIB) + b"\x11"
        pkg = os.path.join("/dev/shm", f"kestrelyn-packaccel-{os.getpid()}")
        try:
            with open(pkg, "wb") as f:
                f.write(body)
            out = os.path.join(WORK, "across.out")
            checksum = self.pack_one(out, self.accel, b"\x4d", pkg, len(body), b"")
            data = b"\x4d" + body + b"\0" * ((1 + len(body)) & 1)
            self.assertEqual(checksum, word_checksum(data))
            with open(out, "rb") as f:
                self.assertEqual(f.read(), data)
        finally:
            os.unlink(pkg)

    def test_a_range_from_inside_the_input(self):
        """The library's own offsets: odd and even starts in both files."""
        import ctypes
        data = self.rng.randbytes(9 * MIB + 11)
        pkg = self.package("src", data)
        rows = [(1, 0, 10), (3, 5, MIB), (0, 1, MIB + 11), (MIB, 2, 11), (7, 7, 0), (5, 3, 9 * MIB + 5)]
        for (in_off, out_off, n), flags in [(r, f) for r in rows for f in (0, 1)]:
            with self.subTest(in_off=in_off, out_off=out_off, n=n, flags=flags):
                out = os.path.join(WORK, "range.out")
                value = ctypes.c_uint32(12345)
                with open(pkg, "rb") as src, open(out, "wb") as dst:
                    got = self.accel._fn(src.fileno(), in_off, dst.fileno(), out_off, n, flags,
                                         ctypes.byref(value))
                    dst.truncate(out_off + n)
                self.assertEqual(got, n)
                with open(out, "rb") as f:
                    self.assertEqual(f.read()[out_off:], data[in_off:in_off + n])
                piece = data[in_off:in_off + n]
                self.assertEqual((value.value + n) & 0xFFFFFFFF, word_checksum(piece))

    def test_a_package_that_changes_size(self):
        pkg = self.package("moving", self.rng.randbytes(MIB + 5))
        for way, accel in self.ways:
            for size, word in ((MIB + 6, "shrank"), (MIB + 4, "grew"), (3 * MIB, "shrank")):
                with self.subTest(way=way, claimed=size):
                    with self.assertRaisesRegex(self.kp.PackError, word):
                        self.pack_one(os.path.join(WORK, "moving.out"), accel, b"MZ", pkg, size, b"")

    def test_a_package_cut_short_while_it_is_copied(self):
        """Truncated under the library's mapping: "shrank", not SIGBUS.  Run
        in a child, so that a crash fails the test instead of ending it."""
        import subprocess
        import sys
        child = f"""
import os, sys, threading, time
import importlib.machinery, importlib.util
loader = importlib.machinery.SourceFileLoader("kp", {PACK!r})
kp = importlib.util.module_from_spec(importlib.util.spec_from_loader("kp", loader))
loader.exec_module(kp)
accel = kp.Accelerator({ACCEL!r})
pkg = os.path.join({WORK!r}, "cut")
size = 256 << 20
with open(pkg, "wb") as f:
    f.write(os.urandom(1 << 20) * 256)
def cut():
    time.sleep(0.01)
    os.truncate(pkg, 8192)
with open(pkg, "rb") as src, open(pkg + ".out", "wb") as out:
    threading.Thread(target=cut).start()
    try:
        accel.copy_sum(src.fileno(), out.fileno(), 0, size, "cut")
        print("finished first")
    except kp.PackError as e:
        print(e)
"""
        outcomes = []
        for _ in range(4):
            p = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, timeout=120)
            self.assertEqual(p.returncode, 0, p.stderr)
            outcomes.append(p.stdout.strip())
            if outcomes[-1] == "cut: shrank while it was packed":
                break
        self.assertIn("cut: shrank while it was packed", outcomes)

    def test_found_next_to_the_tool_or_named(self):
        kp = self.kp
        old = os.environ.get(kp.ACCEL_ENV)
        try:
            for value, used, word in ((ACCEL, True, "accelerated"), ("off", False, "pure Python")):
                os.environ[kp.ACCEL_ENV] = value
                accel, how = kp.load_accelerator()
                self.assertEqual(accel is not None, used)
                self.assertIn(word, how)
            os.environ[kp.ACCEL_ENV] = os.path.join(WORK, "missing.so")
            with self.assertRaisesRegex(kp.PackError, "not a usable accelerator"):
                kp.load_accelerator()
        finally:
            if old is None:
                os.environ.pop(kp.ACCEL_ENV, None)
            else:
                os.environ[kp.ACCEL_ENV] = old


if __name__ == "__main__":
    unittest.main()
