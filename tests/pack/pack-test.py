#!/usr/bin/env python3
"""kestrelyn-pack without Wine: the PE it writes, checked against independent
references (a word-by-word checksum, objdump's section table, the stub's own
resources), reproducibility, refusals that leave nothing behind, the 32-bit
limit on sparse files, memory while streaming, the certificate resource,
signing (where no other user can interfere), inputs that are no regular
files, file names the stub refuses (its own table, names.py), inspect
against the broken installers the build links and hostile ones, its
escapes and its JSON document.

Environment: KT_PACK (the tool), KT_QornStub (the built stub), KT_PACKAGES (product.msi, data1.cab, data2.cab), KT_BAD_DIR (the installer
tests' build folder), KT_WORK (a scratch folder)."""

import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import names  # noqa: E402  (beside this file)

DEV_CN = "Kestrelyn development certificate, not for release"
# The name string of the certificate resource in a resource tree.
CERT_NAME = b"\x04\x00" + "CERT".encode("utf-16-le")


PACK = os.environ["KT_PACK"]
STUB = os.environ["KT_QornStub"]
PKGS = os.environ["KT_PACKAGES"]
WORK = os.environ["KT_WORK"]
BAD = os.environ.get("KT_BAD_DIR", "")


def run(*args, cwd=None, env=None, timeout=None):
    p = subprocess.run([sys.executable, PACK] + [str(a) for a in args], capture_output=True, text=True,
                       cwd=cwd, env=env, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


def make_cert(folder, cn, extra=()):
    """A code-signing certificate made now: (DER path, PEM path, key path)."""
    base = os.path.join(folder, cn.split()[0].lower())
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
                    "-subj", f"/CN={cn}", "-keyout", base + ".key", "-out", base + ".pem",
                    "-addext", "basicConstraints=critical,CA:FALSE",
                    "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning", *extra], check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", base + ".pem", "-outform", "DER", "-out", base + ".der"],
                   check=True, capture_output=True)
    return base + ".der", base + ".pem", base + ".key"


def cert_of_size(folder, size):
    """A code-signing certificate of exactly size bytes of DER, grown with a
    long alternative name; the key is made once per folder."""
    key = os.path.join(folder, "sized.key")
    if not os.path.exists(key):
        subprocess.run(["openssl", "genrsa", "-out", key, "2048"], check=True, capture_output=True)
    out = os.path.join(folder, f"sized-{size}.der")
    n = max(1, size - 800)
    for _ in range(4):
        subprocess.run(["openssl", "req", "-x509", "-key", key, "-sha256", "-days", "30",
                        "-subj", "/CN=Sized Publisher", "-addext", "subjectAltName=DNS:" + "a" * n,
                        "-addext", "extendedKeyUsage=codeSigning", "-outform", "DER", "-out", out],
                       check=True, capture_output=True)
        got = os.path.getsize(out)
        if got == size:
            return out
        n += size - got
    raise AssertionError(f"no certificate of {size} bytes (last {got})")


def stand_in_stub(folder, name, certs, bits=32, link=()):
    """A small program with the stub's own resources (QornStub.rc) and one
    raw-data resource CERT per (language, DER file) of certs, for stubs the
    build does not make: one without a certificate, with two, with the
    development certificate whatever the build put into the real one, a
    64-bit one."""
    triple = "x86_64-w64-mingw32" if bits == 64 else "i686-w64-mingw32"
    stub_bin = os.path.dirname(STUB)
    if not shutil.which(triple + "-gcc") or not os.path.exists(os.path.join(stub_bin, "QornStubVersion.h")):
        raise AssertionError(f"no {triple}-gcc or no configured stub to build a stand-in stub with")
    src = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(PACK))), "Installer", "win", "Stub")
    base = os.path.join(folder, name)
    with open(base + ".rc", "w") as f:
        f.write('#include "QornStub.rc"\n')
        for lang, der in certs:
            f.write(f'LANGUAGE {lang & 0x3FF}, {lang >> 10}\n"CERT" RCDATA "{der}"\n')
    with open(base + ".c", "w") as f:
        f.write("int main(void) { return 0; }\n")
    subprocess.run([triple + "-windres", "-I", src, "-I", stub_bin, "-O", "coff", base + ".rc", base + ".res.o"],
                   check=True, cwd=src)
    subprocess.run([triple + "-gcc", "-O2", "-s", "-Wl,--no-insert-timestamp", *link, base + ".c",
                    base + ".res.o", "-o", base + ".exe"], check=True)
    return base + ".exe"


def cert_entries(path):
    """(name, language, code page, bytes) of each raw-data resource CERT, as
    the payload builder's reader sees them."""
    import importlib.machinery
    import importlib.util
    tool = os.path.join(os.path.dirname(os.path.abspath(PACK)), "mkpayload.py")
    loader = importlib.machinery.SourceFileLoader("mkpayload", tool)
    mk = importlib.util.module_from_spec(importlib.util.spec_from_loader("mkpayload", loader))
    loader.exec_module(mk)
    data = slurp(path)
    image = mk.PeImage(mk.Source(path, data=data))
    rows = []
    for name, lang, entry in mk.rcdata_entries(data):
        if isinstance(name, str) and name.upper() == "CERT":
            rva, size, codepage = struct.unpack_from("<III", data, entry)
            at = image.rva_offset(rva, size, "CERT")
            rows.append((name, lang, codepage, data[at:at + size]))
    return rows


def rsrc_offset(data):
    """The file offset of the resource tree's root."""
    kp = load_tool()
    img = kp.PeImage(kp.Source("stub", data=data))
    rva = img.directory(2)[0]
    sec = img.section_of(rva)
    return sec.rawptr + rva - sec.va


def reference_checksum(data, checksum_off):
    """The PE checksum the long way: 16-bit words with end-around carry,
    the checksum field as zero, plus the file's length."""
    length = len(data)
    data = bytearray(data)
    data[checksum_off:checksum_off + 4] = bytes(4)
    if len(data) % 2:
        data.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + length) & 0xFFFFFFFF


def pe_fields(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    return {
        "checksum_off": opt + 64,
        "checksum": struct.unpack_from("<I", data, opt + 64)[0],
        "size_of_image": struct.unpack_from("<I", data, opt + 56)[0],
        "resource_dir": struct.unpack_from("<II", data, dirs + 16),
        "security_dir": struct.unpack_from("<II", data, dirs + 32),
    }


def objdump_sections(path):
    """(name, size, vma, file offset) of each section, as binutils reads them."""
    data = slurp(path)
    machine = struct.unpack_from("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4)[0]
    tool = "x86_64-w64-mingw32-objdump" if machine == 0x8664 else "i686-w64-mingw32-objdump"
    out = subprocess.run([tool, "-h", path], capture_output=True, text=True, check=True).stdout
    rows = []
    for line in out.splitlines():
        f = line.split()
        if len(f) >= 7 and f[0].isdigit():
            rows.append((f[1], int(f[2], 16), int(f[3], 16), int(f[5], 16)))
    return rows


def listing(out):
    """inspect's package lines: [(index, resource, arch, name, size, sha256)]."""
    return [tuple(line.split("\t")) for line in out.splitlines() if "\t" in line]


def load_tool():
    import importlib.machinery
    import importlib.util
    loader = importlib.machinery.SourceFileLoader("kp", PACK)
    kp = importlib.util.module_from_spec(importlib.util.spec_from_loader("kp", loader))
    loader.exec_module(kp)
    return kp


def forge(src, dst, **names_and_bytes):
    """names.forge with this tool: a hostile installer made from src."""
    return names.forge(load_tool(), src, dst, **names_and_bytes)

def unprintable(text):
    """The characters of inspect's output a terminal would act on."""
    return sorted({c for c in text if not c.isprintable() and c not in "\n\t"})


# osslsigncode in front of the real one.  KT_SIGN_DO: as another user
# (nobody) watching the output's folder, "plant" a link to KT_VICTIM where
# it writes, or "swap" a file of that user's in after; "half" writes part
# and fails.  KT_REAL is the real one.
SIGN_WRAPPER = """#!/bin/bash
out= prev=
for a in "$@"; do [ "$prev" = -out ] && out=$a; prev=$a; done
other() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@" 2>/dev/null; }
case ${KT_SIGN_DO:-} in
plant) other ln -s "$KT_VICTIM" "$out" ;;
swap) "$KT_REAL" "$@" || exit; other sh -c 'echo x > "$0.x" && mv -f "$0.x" "$0"' "$out"; exit 0 ;;
half) head -c 1000 /dev/urandom > "$out"; exit 1 ;;
esac
exec "$KT_REAL" "$@"
"""

def text_facts(text):
    """inspect's lines before the packages, read back: the fields the JSON
    document must agree with."""
    lines = dict(line.split(": ", 1) for line in text.splitlines()[:5])
    image = re.fullmatch(r"(PE32\+?), (\d+) bytes mapped", lines["image"])
    version = re.fullmatch(r"(.*) (\d+\.\d+\.\d+\.\d+)", lines["version"])
    signature = re.fullmatch(r"Authenticode, (\d+) bytes", lines["signature"])
    cert = re.fullmatch(r"CN=(.*), SHA-1 ([0-9a-f]{40})( \(the development certificate\))?", lines["certificate"])
    return {"file": lines["file"], "image": image[1].lower(), "size_of_image": int(image[2]),
            "version": version[2], "product": version[1],
            "signed": bool(signature), "signature_size": int(signature[1]) if signature else None,
            "cn": cert[1], "sha1": cert[2], "development": bool(cert[3])}


class ChecksumTest(unittest.TestCase):
    def test_writer_against_the_word_sum(self):
        """Chunks at odd offsets, odd lengths, zero runs (holes), all ones."""
        import io
        import random
        kp = load_tool()
        rng = random.Random(5)
        rows = [[b"\xff" * 4097], [b"\x01"], [bytes(10), b"\x02\x03\x04"], [b""],
                [rng.randbytes(kp.CHUNK), b"\x07", rng.randbytes(kp.CHUNK), rng.randbytes(kp.CHUNK - 1)]]
        for _ in range(100):
            rows.append([rng.randbytes(rng.randrange(3000)) if rng.random() < 0.7 else bytes(rng.randrange(1, 900))
                         for _ in range(rng.randrange(1, 6))])
        for i, parts in enumerate(rows):
            f = io.BytesIO()
            w = kp.ChecksumWriter(f)
            for p in parts:
                w.write(p)
            data = b"".join(parts)
            self.assertEqual(w.checksum(), reference_checksum(data + bytes(4), len(data)) - 4, i)


class PackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.pub_der, cls.pub_pem, cls.pub_key = make_cert(WORK, "Test Publisher")
        cls.dev_der, _, _ = make_cert(WORK, DEV_CN)
        cls.dev_stub = stand_in_stub(WORK, "dev-stub", [(1033, cls.dev_der)])
        empty = os.path.join(WORK, "empty.der")
        open(empty, "wb").close()
        cls.empty_stub = stand_in_stub(WORK, "empty-stub", [(1033, empty)])
        cls.msi = os.path.join(PKGS, "product.msi")
        cls.cab1 = os.path.join(PKGS, "data1.cab")
        cls.cab2 = os.path.join(PKGS, "data2.cab")

    def setUp(self):
        self.dir = os.path.join(WORK, self.id().rsplit(".", 1)[-1])
        os.makedirs(self.dir)

    def pack(self, out, *packages, stub=None, cert="pub", extra=()):
        args = ["pack", "--stub", stub or STUB, "--out", out]
        if cert == "pub":
            args += ["--cert", self.pub_der]
        return run(*args, *extra, *packages)

    def assertPacked(self, result):
        code, out, err = result
        self.assertEqual((code, err), (0, ""), out)

    def assertRefused(self, result, *words):
        code, out, err = result
        self.assertEqual(code, 1, err)
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        for w in words:
            self.assertIn(str(w), err)

    def test_written_pe_against_references(self):
        out = os.path.join(self.dir, "Setup.exe")
        self.assertPacked(self.pack(out, f"{self.msi}:amd64", self.cab1, f"{self.cab2}:amd64"))
        data = slurp(out)
        f = pe_fields(data)
        self.assertEqual(f["checksum"], reference_checksum(data, f["checksum_off"]))
        stub_rows, rows = objdump_sections(STUB), objdump_sections(out)
        self.assertEqual(rows[:-1], stub_rows, "the stub's sections stay where they were")
        name, size, vma, off = rows[-1]
        self.assertEqual(name, ".rsrc")
        image_base = vma - f["resource_dir"][0]
        self.assertEqual((vma - image_base, size), f["resource_dir"])
        self.assertEqual(off % 0x1000, 0)
        self.assertEqual(f["size_of_image"], (vma - image_base + size + 0xFFF) & ~0xFFF)
        self.assertEqual(off + ((size + 0x1FF) & ~0x1FF), len(data))
        # The stub's own version and manifest resources, as windres wrote them.
        for kind in ("version", "manifest"):
            self.assertEqual(self.own_resource(out, kind), self.own_resource(STUB, kind), kind)

    def test_layout_the_loader_maps(self):
        """The section pack writes starts on a page boundary in the file, for
        stubs of either alignment and either kind, appended or rebuilt in
        place; the stub's other sections keep their bytes, the gap is zeros,
        the checksum is right and packing again gives the same bytes."""
        stubs = [
            # (what, stub, the written section replaces the stub's last)
            ("the built stub", STUB, False),
            ("32-bit, file alignment 512", stand_in_stub(self.dir, "s32", [(1033, self.dev_der)]), False),
            ("32-bit, file alignment 4096", stand_in_stub(self.dir, "s32-page", [(1033, self.dev_der)],
                                                          link=["-Wl,--file-alignment,0x1000"]), False),
            ("64-bit, file alignment 512", stand_in_stub(self.dir, "s64", [(1033, self.dev_der)], bits=64), False),
            ("64-bit, resources last", stand_in_stub(self.dir, "s64-last", [(1033, self.dev_der)], bits=64,
                                                     link=["-Wl,--disable-reloc-section",
                                                           "-Wl,--disable-dynamicbase"]), True),
        ]
        for what, stub, replaced in stubs:
            with self.subTest(what):
                kp = load_tool()
                before = kp.PeImage(kp.Source(stub, data=slurp(stub)))
                self.assertEqual(before.sections[-1].name == ".rsrc", replaced, "the stub's kind")
                outs = []
                for n in (1, 2):
                    outs.append(os.path.join(self.dir, f"{os.path.basename(stub)}.{n}.exe"))
                    self.assertPacked(self.pack(outs[-1], f"{self.msi}:amd64", self.cab2, stub=stub,
                                                extra=["--allow-dev-cert"]))
                self.assertEqual(sha256(outs[0]), sha256(outs[1]), "packed twice, the same bytes")
                data = slurp(outs[0])
                img = kp.PeImage(kp.Source(outs[0], data=data))
                f = pe_fields(data)
                self.assertEqual(f["checksum"], reference_checksum(data, f["checksum_off"]))
                self.assertEqual(img.file_align, before.file_align, "the stub's file alignment stays")
                kept = before.sections[:-1] if replaced else before.sections
                written = img.sections[len(kept):]
                self.assertEqual([s.name for s in written], [".rsrc"])
                sec = written[0]
                self.assertEqual(sec.rawptr % 4096, 0, f"PointerToRawData {sec.rawptr:#x}")
                self.assertEqual(sec.va % 4096, 0)
                self.assertEqual(sec.rawsize % img.file_align, 0)
                self.assertEqual(sec.rawptr + sec.rawsize, len(data))
                self.assertEqual(img.directory(2), (sec.va, sec.vsize))
                for old, new in zip(kept, img.sections):
                    self.assertEqual((new.name, new.va, new.rawptr, new.rawsize),
                                     (old.name, old.va, old.rawptr, old.rawsize))
                    self.assertEqual(data[new.rawptr:new.rawptr + new.rawsize],
                                     before.src.read(old.rawptr, old.rawsize), old.name)
                end = max(s.rawptr + s.rawsize for s in kept if s.rawsize)
                self.assertEqual(data[end:sec.rawptr], bytes(sec.rawptr - end), "the gap is zeros")
                code, text, err = run("inspect", outs[0])
                self.assertEqual(code, 0, err)
                self.assertEqual([r[4:] for r in listing(text)],
                                 [("70000", sha256(self.msi)), ("131073", sha256(self.cab2))])

    def own_resource(self, path, kind):
        kp = load_tool()
        data = slurp(path)
        img = kp.PeImage(kp.Source(path, data=data))
        res = kp.find_resource(kp.read_resources(img), 16 if kind == "version" else 24, 1)
        return img.read_rva(res.rva, res.size, kind)

    def test_inspect_lists_packages_with_their_sha256(self):
        out = os.path.join(self.dir, "Setup.exe")
        self.assertPacked(self.pack(out, f"{self.msi}:amd64", f"{self.cab1}:x86:Data One.cab",
                                    f"{self.cab2}:any"))
        code, text, err = run("inspect", out)
        self.assertEqual(code, 0, err)
        self.assertEqual(listing(text), [
            ("0", "BIN_00", "amd64", "product.msi", "70000", sha256(self.msi)),
            ("1", "BIN_01", "x86", "Data One.cab", "65536", sha256(self.cab1)),
            ("2", "BIN_02", "any", "data2.cab", "131073", sha256(self.cab2))])
        self.assertIn("version: Kestrelyn Installer ", text)
        self.assertIn("signature: none", text)
        sha1 = hashlib.sha1(slurp(self.pub_der)).hexdigest()
        self.assertIn(f"certificate: CN=Test Publisher, SHA-1 {sha1}", text)

    def test_inspect_escapes_what_it_prints(self):
        """Names and text from a hostile installer print as escapes: none
        can end a line, move the cursor or reorder what follows."""
        hostile_der, _, _ = make_cert(self.dir, "Hostile XXXXXXXXXX")
        clean = os.path.join(self.dir, "clean.exe")
        self.assertPacked(self.pack(clean, self.cab1, extra=["--cert", hostile_der]))
        product = "Kestrelyn Installer".encode("utf-16-le")
        rows = [
            # (what, forge's arguments, the line, as printed)
            ("ESC, a screen clear", dict(file_name=b"a\x1b[2Jb.cab"), "a\\x1b[2Jb.cab"),
            ("CR, a line overwritten", dict(file_name=b"x\rfake.cab"), "x\\x0dfake.cab"),
            ("LF, a line faked", dict(file_name=b"x\n1\tBIN_01.cab"), "x\\x0a1\\x09BIN_01.cab"),
            ("C1 CSI", dict(file_name="\x9b2J.cab".encode()), "\\u009b2J.cab"),
            ("a lone byte 9b, not UTF-8", dict(file_name=b"\x9b2J.cab"), "\\x9b2J.cab"),
            ("right-to-left override", dict(file_name="x\u202egpj.cab".encode()), "x\\u202egpj.cab"),
            ("a format character past the BMP", dict(file_name="a\U0001d173.cab".encode()),
             "a\\U0001d173.cab"),
            ("printable non-ASCII stays", dict(file_name="Données ☃.cab".encode()), "Données ☃.cab"),
            ("the certificate's CN", dict(replace=[(b"XXXXXXXXXX", b"\x1b]0;pwn\x07\rz")]),
             "certificate: CN=Hostile \\x1b]0;pwn\\x07\\x0dz, SHA-1 "),
            ("a backslash in the CN", dict(replace=[(b"XXXXXXXXXX", b"\\x1b\\u202e")]),
             "certificate: CN=Hostile \\\\x1b\\\\u202e, SHA-1 "),
            ("the product name", dict(replace=[(product, "Kestrelyn\u202eInstaller".encode("utf-16-le"))]),
             "version: Kestrelyn\\u202eInstaller "),
        ]
        lines = run("inspect", clean)[1].count("\n")
        for what, forged, text in rows:
            with self.subTest(what):
                path = forge(clean, os.path.join(self.dir, "hostile.exe"), **forged)
                code, out, err = run("inspect", path)
                self.assertEqual((code, err), (0, ""))
                self.assertIn(text, out)
                self.assertEqual(unprintable(out), [])
                self.assertEqual(out.count("\n"), lines, out)
                self.assertEqual([len(row) for row in listing(out)], [6])
        # A resource name the stub finds nothing under: its one line of error.
        path = forge(clean, os.path.join(self.dir, "hostile.exe"), res_name=b"BIN\x1b[8m\r\n")
        code, _, err = run("inspect", path)
        self.assertEqual(code, 1)
        self.assertEqual(err, f"kestrelyn-pack: inspect: {path}: #0: Failed to locate resource "
                              "'BIN\\x1b[8m\\x0d\\x0a': KERR_GENERAL_FAILURE\n")

    def test_inspect_json_agrees_with_the_text(self):
        """inspect --json is one document whose fields are what the text
        says, for an unsigned and a signed installer, one with the
        development certificate and one with a name the stub refuses."""
        unsigned = os.path.join(self.dir, "Setup.exe")
        self.assertPacked(self.pack(unsigned, f"{self.msi}:amd64", f"{self.cab1}:x86:Données ☃.cab",
                                    f"{self.cab2}:3"))
        signed = os.path.join(self.dir, "Signed.exe")
        code, _, err = run("sign", "--in", unsigned, "--out", signed, "--key", self.pub_key, "--cert", self.pub_pem)
        self.assertEqual((code, err), (0, ""))
        dev = os.path.join(self.dir, "Dev.exe")
        code, _, err = self.pack(dev, self.cab1, stub=self.dev_stub, cert=None, extra=["--allow-dev-cert"])
        self.assertEqual(code, 0, err)
        refused = forge(dev, os.path.join(self.dir, "Refused.exe"), file_name=b"NUL.cab")
        pub_sha1 = hashlib.sha1(slurp(self.pub_der)).hexdigest()
        rows = [
            # (what, installer, exit code, SHA-1 of the certificate, signed)
            ("unsigned", unsigned, 0, pub_sha1, False),
            ("signed", signed, 0, pub_sha1, True),
            ("the development certificate", dev, 0, hashlib.sha1(slurp(self.dev_der)).hexdigest(), False),
            ("a device name", refused, 1, hashlib.sha1(slurp(self.dev_der)).hexdigest(), False),
        ]
        for what, path, exit_code, sha1, is_signed in rows:
            with self.subTest(what):
                code, text, text_err = run("inspect", path)
                jcode, out, err = run("inspect", "--json", path)
                self.assertEqual((code, jcode, err), (exit_code, exit_code, text_err))
                doc = json.loads(out)
                facts = text_facts(text)
                cert = doc["certificate"]
                self.assertEqual(
                    {"file": doc["file"], "image": doc["image"], "size_of_image": doc["size_of_image"],
                     "version": doc["version"], "product": doc["product"], "signed": doc["signed"],
                     "signature_size": doc["signature"] and doc["signature"]["size"], "cn": cert["cn"],
                     "sha1": cert["sha1"], "development": cert["development"]}, facts)
                self.assertEqual((doc["signed"], cert["sha1"], doc["signature"] is None),
                                 (is_signed, sha1, not is_signed))
                self.assertEqual([(str(p["index"]), p["resource"], p["arch"], p["file_name"], str(p["size"]),
                                   p["sha256"]) for p in doc["packages"]], listing(text))
                flags = [line for line in text.splitlines() if line.startswith("refused: ")]
                self.assertEqual([f"refused: #{p['index']} '{p['file_name']}': {p['refused']}; "
                                  "the stub stops at this package" for p in doc["packages"] if p["refused"]], flags)
                self.assertEqual(len(flags), exit_code)
        # No payload to read: no document, the stub's message.
        code, out, err = run("inspect", "--json", STUB)
        self.assertEqual((code, out), (1, ""))
        self.assertIn("Manifest not found", err)

    def test_names_past_99_and_the_count_byte(self):
        tiny = os.path.join(self.dir, "t.cab")
        with open(tiny, "wb") as f:
            f.write(b"x")
        out = os.path.join(self.dir, "Many.exe")
        self.assertPacked(self.pack(out, *[f"{tiny}:any:p{i}.cab" for i in range(255)]))
        rows = listing(run("inspect", out)[1])
        self.assertEqual(len(rows), 255)
        self.assertEqual(rows[100][:4], ("100", "BIN_100", "any", "p100.cab"))
        self.assertEqual(rows[254][:2], ("254", "BIN_254"))
        self.assertRefused(self.pack(out + "2", *[f"{tiny}:any:q{i}.cab" for i in range(256)]), "256")
        self.assertFalse(os.path.exists(out + "2"))

    def test_packing_twice_is_byte_identical(self):
        # Other paths, other times, another working folder and user's variables.
        other = os.path.join(self.dir, "elsewhere")
        os.makedirs(other)
        for p in (self.msi, self.cab1):
            shutil.copy(p, other)
            os.utime(os.path.join(other, os.path.basename(p)), (1e9, 1e9))
        stub_copy = os.path.join(other, "stub.exe")
        shutil.copy(STUB, stub_copy)
        a = os.path.join(self.dir, "a.exe")
        b = os.path.join(other, "b.exe")
        self.assertPacked(self.pack(a, f"{self.msi}:amd64", self.cab1))
        env = dict(os.environ, TZ="Asia/Tokyo", USER="someone", HOME=other, LANG="de_DE.UTF-8")
        code, _, err = run("pack", "--stub", "stub.exe", "--out", "b.exe", "--cert", self.pub_der,
                           "product.msi:amd64", "data1.cab", cwd=other, env=env)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(sha256(a), sha256(b))

    def test_accelerated_and_pure_python_agree(self):
        """One installer, whichever path copies and sums; -v says which ran.
        The accelerator is the host build's (cmake --preset host)."""
        import random
        rng = random.Random(41)
        pkgs = []
        for name, size in (("odd.cab", 4097), ("one.msi", 1), ("big.cab", (9 << 20) + 3), ("zeros.cab", 5 << 20)):
            path = os.path.join(self.dir, name)
            with open(path, "wb") as f:
                f.write(bytes(size) if name == "zeros.cab" else rng.randbytes(size))
            pkgs.append(path)
        outs, notes = [], []
        for value in (None, "off"):
            env = dict(os.environ)
            env.pop("KESTRELYN_PACK_ACCEL", None)
            if value:
                env["KESTRELYN_PACK_ACCEL"] = value
            out = os.path.join(self.dir, f"{value}.exe")
            code, _, err = run("pack", "-v", "--stub", STUB, "--out", out, "--cert", self.pub_der, *pkgs, env=env)
            self.assertEqual(code, 0, err)
            outs.append(out)
            notes.append(err)
        self.assertIn("pure Python (KESTRELYN_PACK_ACCEL=off)", notes[1])
        if "accelerated" not in notes[0]:
            self.skipTest(f"no accelerator built: {notes[0].strip()}")
        self.assertEqual(sha256(outs[0]), sha256(outs[1]))
        data = slurp(outs[0])
        f = pe_fields(data)
        self.assertEqual(f["checksum"], reference_checksum(data, f["checksum_off"]))
        bad = os.path.join(self.dir, "missing.so")
        out = os.path.join(self.dir, "bad.exe")
        self.assertRefused(run("pack", "--stub", STUB, "--out", out, "--cert", self.pub_der, pkgs[0],
                               env=dict(os.environ, KESTRELYN_PACK_ACCEL=bad)), "KESTRELYN_PACK_ACCEL", bad)
        self.assertFalse(os.path.exists(out))

    def test_refusals_leave_nothing(self):
        long_ok = "é" * 109 + "a.msi"           # 223 bytes of UTF-8: the header's limit
        long_bad = "é" * 109 + "ab.msi"         # 224 bytes
        self.assertEqual((len(long_ok.encode()), len(long_bad.encode())), (223, 224))
        notes = os.path.join(self.dir, "notes.txt")
        with open(notes, "w") as f:
            f.write("text")
        folder = os.path.join(self.dir, "a-folder.msi")
        os.makedirs(folder)
        missing = os.path.join(self.dir, "missing.msi")
        empty = os.path.join(self.dir, "empty.cab")
        open(empty, "wb").close()
        launch = os.environ.get("KT_launch")
        stub_hash = sha256(STUB)
        out = os.path.join(self.dir, "Setup.exe")
        rows = [
            # (what, packages, stub, out, words in the message)
            ("name over the limit", [f"{self.msi}:any:{long_bad}"], STUB, out, [self.msi, "224"]),
            ("unknown suffix", [f"{self.msi}:any:product.exe"], STUB, out, [self.msi, "suffix"]),
            ("the file's own name, another suffix", [notes], STUB, out, [notes, "suffix"]),
            ("no suffix", [f"{self.cab1}:any:README"], STUB, out, [self.cab1, "suffix"]),
            ("empty package", [empty], STUB, out, [empty]),
            ("a path in the name", [f"{self.cab1}:any:..\\evil.cab"], STUB, out, [self.cab1, "plain"]),
            ("a device name", [self.msi, f"{self.cab1}:any:nul.tar.cab"], STUB, out,
             [self.cab1, "nul.tar.cab", "device"]),
            ("a device name and a blank", [f"{self.msi}:any:Com1 .msi"], STUB, out, [self.msi, "device"]),
            ("the package's own device name", [os.path.join(self.dir, "aux.cab")], STUB, out, ["aux.cab", "device"]),
            ("a trailing dot", [f"{self.cab1}:any:data.cab."], STUB, out, [self.cab1, "trailing dot"]),
            ("duplicate name", [self.msi, f"{self.cab1}:any:PRODUCT.MSI"], STUB, out, ["PRODUCT.MSI", self.msi]),
            ("missing package", [self.msi, missing], STUB, out, [missing]),
            ("unreadable package", [folder], STUB, out, [folder]),
            ("unknown architecture", [f"{self.msi}:arm64"], STUB, out, [self.msi, "arm64"]),
            ("a text file as stub", [self.msi], notes, out, [notes, "not a PE image"]),
            ("missing stub", [self.msi], missing + ".exe", out, [missing + ".exe"]),
            ("missing output folder", [self.msi], STUB, os.path.join(self.dir, "no", "Setup.exe"),
             [os.path.join(self.dir, "no")]),
            ("output onto the stub", [self.msi], STUB, STUB, [STUB]),
        ]
        if launch:
            rows.append(("another program as stub", [self.msi], launch, out, [launch, "not this project's stub"]))
        for what, packages, stub, target, words in rows:
            with self.subTest(what):
                before = sorted(os.listdir(self.dir))
                self.assertRefused(self.pack(target, *packages, stub=stub), *words)
                self.assertEqual(sorted(os.listdir(self.dir)), before, "nothing is left behind")
        self.assertEqual(sha256(STUB), stub_hash)
        self.assertPacked(self.pack(out, f"{self.msi}:any:{long_ok}"))
        self.assertEqual(listing(run("inspect", out)[1])[0][3], long_ok)

    def test_inputs_must_be_regular_files(self):
        """A FIFO, a folder or a device named as an input is refused before
        it is read: a FIFO nobody writes must not hang the packer."""
        fifo, folder = os.path.join(self.dir, "pipe.cab"), os.path.join(self.dir, "folder.cab")
        os.mkfifo(fifo)
        os.makedirs(folder)
        link = os.path.join(self.dir, "link.cab")
        os.symlink(fifo, link)
        out = os.path.join(self.dir, "Setup.exe")
        pack = ["pack", "--stub", STUB, "--out", out, "--cert", self.pub_der]
        rows = [
            # (what, arguments, words in the message)
            ("a FIFO as package", pack + [self.msi, fifo], [fifo, "FIFO"]),
            ("a link to a FIFO", pack + [f"{link}:any:x.cab"], [link, "FIFO"]),
            ("a folder as package", pack + [folder], [folder, "folder"]),
            ("a device as package", pack + ["/dev/zero:any:zero.cab"], ["/dev/zero", "character device"]),
            ("a FIFO as stub", ["pack", "--stub", fifo, "--out", out, self.msi], [fifo, "FIFO"]),
            ("a FIFO as --cert", pack[:-1] + [fifo, self.msi], [fifo, "FIFO"]),
            ("a FIFO to inspect", ["inspect", fifo], [fifo, "FIFO"]),
            ("a FIFO to sign", ["sign", "--in", fifo, "--out", out, "--key", self.pub_key, "--cert", self.pub_pem],
             [fifo, "FIFO"]),
        ]
        for what, args, words in rows:
            with self.subTest(what):
                self.assertRefused(run(*args, timeout=30), *words)
                self.assertFalse(os.path.exists(out))
        os.symlink(self.cab1, link + ".cab")
        self.assertPacked(self.pack(out, link + ".cab"))

    def test_names_the_stub_refuses(self):
        """The stub's own table of file names (names.py reads it from its
        unit test): pack refuses every name the stub refuses, and inspect
        still lists an installer that carries one, escaped, and says the
        stub refuses it, with the stub's message."""
        kp = load_tool()
        rows = names.stub_rows()
        self.assertGreater(len(rows), 30, "the stub's table is read")
        self.assertEqual({bare for _, bare in rows}, {True, False})
        clean = os.path.join(self.dir, "clean.exe")
        self.assertPacked(self.pack(clean, self.cab1))
        for n, (name, bare) in enumerate(rows):
            with self.subTest(row=n, name=name):
                self.assertEqual(kp.bare_name_problem(name) is None, bare)
                if not bare:
                    with self.assertRaises(kp.PackError) as refused:
                        kp.parse_package(f"{self.cab1}:any:" + name.decode("utf-8", "surrogateescape"))
                    self.assertIn(self.cab1, str(refused.exception))
                path = forge(clean, os.path.join(self.dir, f"row-{n}.exe"), file_name=name)
                code, out, err = run("inspect", path)
                flag = [line for line in out.splitlines() if line.startswith("refused: ")]
                if bare and os.path.splitext(name)[1].lower() not in (b".msi", b".cab"):
                    self.assertEqual((code, flag), (1, []))
                    self.assertIn("Do not know how to handle file", err)
                    continue
                self.assertEqual(len(listing(out)), 1, out)
                if bare:
                    self.assertEqual((code, err, flag), (0, "", []))
                else:
                    shown = kp.shown(name.decode("utf-8", "surrogateescape"))
                    self.assertEqual(len(flag), 1, out)
                    self.assertTrue(flag[0].startswith(f"refused: #0 '{shown}': "), flag)
                    self.assertEqual((code, err), (1, f"kestrelyn-pack: inspect: {path}: Internal error: "
                                                      "Could not find package header #0: KERR_INVALID_NAME\n"))

    def test_stub_of_another_kind(self):
        # Without the certificate resource, with two, or without the version resource.
        data = slurp(STUB)
        self.assertEqual(data.count(CERT_NAME), 1, "the stub's resource tree names CERT once")
        other_type = bytearray(data)
        root = rsrc_offset(data)
        named, ids = struct.unpack_from("<HH", data, root + 12)
        entries = [root + 16 + 8 * i for i in range(named, named + ids)]
        rcdata = [e for e in entries if struct.unpack_from("<I", data, e)[0] == 10]
        self.assertEqual(len(rcdata), 1, "one raw-data type in the stub's tree")
        struct.pack_into("<I", other_type, rcdata[0], 11)  # still sorted: the next type is 16
        cert = os.path.join(self.dir, "own.der")
        shutil.copy(self.pub_der, cert)
        rows = [
            # (what, stub's bytes, words in the message)
            ("no CERT", data.replace(CERT_NAME, b"\x04\x00" + "CERX".encode("utf-16-le")),
             "no certificate resource CERT"),
            ("CERT of another type", bytes(other_type), "no certificate resource CERT"),
            ("CERT in two languages",
             slurp(stand_in_stub(self.dir, "two", [(1033, cert), (0, self.pub_der)])),
             "2 certificate resources CERT (languages 0, 1033)"),
            ("no version", data.replace("VS_VERSION_INFO".encode("utf-16-le"), bytes(30)),
             "not this project's stub"),
        ]
        for what, content, words in rows:
            with self.subTest(what):
                path = os.path.join(self.dir, what.replace(" ", "-") + ".exe")
                with open(path, "wb") as f:
                    f.write(content)
                self.assertRefused(self.pack(path + ".out", self.msi, stub=path), path, words)
                self.assertFalse(os.path.exists(path + ".out"))

    def test_image_limit_refused_before_writing(self):
        sparse = []
        for i in range(2):
            p = os.path.join(self.dir, f"big{i}.cab")
            with open(p, "wb") as f:
                f.truncate(800 << 20)
            sparse.append(p)
        out = os.path.join(self.dir, "Big.exe")
        self.assertRefused(self.pack(out, *sparse), out, "MiB")
        self.assertEqual(sorted(os.listdir(self.dir)), ["big0.cab", "big1.cab"])

    def test_one_gib_streams_in_little_memory(self):
        big = os.path.join(self.dir, "big.cab")
        with open(big, "wb") as f:
            f.truncate(1 << 30)
            f.seek(12345)
            f.write(b"not only zeros")
        out = os.path.join(self.dir, "Big.exe")
        p = subprocess.run(["/usr/bin/time", "-f", "%M", sys.executable, PACK, "pack", "--stub", STUB,
                            "--out", out, "--cert", self.pub_der, big], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        peak_kib = int(p.stderr.strip().splitlines()[-1])
        self.assertLess(peak_kib, 64 * 1024)
        code, text, err = run("inspect", out)
        self.assertEqual(listing(text)[0][4:], (str(1 << 30), sha256(big)))
        with open(out, "rb") as data:
            f = pe_fields(data.read(4096))
        self.assertLess(f["size_of_image"], 0x60000000)
        os.unlink(out)

    def test_pe32_plus_stub(self):
        """A 64-bit program with the stub's resources and the development
        certificate: the optional header's other layout."""
        stub64 = stand_in_stub(self.dir, "stub64", [(1033, self.dev_der)], bits=64)
        pub_sha1 = hashlib.sha1(slurp(self.pub_der)).hexdigest()
        out = os.path.join(self.dir, "Setup64.exe")
        self.assertPacked(self.pack(out, f"{self.msi}:amd64", self.cab1, stub=stub64))
        data = slurp(out)
        self.assertEqual(struct.unpack_from("<H", data, pe_fields(data)["checksum_off"] - 64)[0], 0x20B)
        f = pe_fields(data)
        self.assertEqual(f["checksum"], reference_checksum(data, f["checksum_off"]))
        code, text, err = run("inspect", out)
        self.assertEqual(code, 0, err)
        self.assertIn("image: PE32+", text)
        self.assertIn(f"certificate: CN=Test Publisher, SHA-1 {pub_sha1}\n", text)
        self.assertEqual([r[4:] for r in listing(text)],
                         [("70000", sha256(self.msi)), ("65536", sha256(self.cab1))])
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", out], capture_output=True, text=True)
        self.assertEqual(dump.returncode, 0, dump.stderr)
        self.assertRegex(dump.stdout, r"Entry 2 [0-9a-f]+ [0-9a-f]+ Resource Directory")
        self.assertEqual(len(objdump_sections(out)), len(objdump_sections(stub64)) + 1)

        # Without relocations the resource section is the last one: it is
        # rebuilt in its place instead of a new one being added.
        last = stand_in_stub(self.dir, "stub64-rsrc-last", [(1033, self.dev_der)], bits=64,
                             link=["-Wl,--disable-reloc-section", "-Wl,--disable-dynamicbase"])
        self.assertEqual(objdump_sections(last)[-1][0], ".rsrc")
        out = os.path.join(self.dir, "Setup64-last.exe")
        self.assertPacked(self.pack(out, f"{self.msi}:amd64", self.cab1, stub=last))
        data = slurp(out)
        f = pe_fields(data)
        self.assertEqual(f["checksum"], reference_checksum(data, f["checksum_off"]))
        before, after = objdump_sections(last), objdump_sections(out)
        self.assertEqual([r[0] for r in after], [r[0] for r in before])
        self.assertEqual(after[-1][2], before[-1][2], "the same place in the image")
        self.assertEqual(after[-1][3], (before[-1][3] + 0xFFF) & ~0xFFF, "in the file: at the next page")
        self.assertGreater(after[-1][1], before[-1][1])
        code, text, err = run("inspect", out)
        self.assertEqual(code, 0, err)
        self.assertIn("version: Kestrelyn Installer", text)
        self.assertIn(f"certificate: CN=Test Publisher, SHA-1 {pub_sha1}\n", text)
        self.assertEqual([r[4:] for r in listing(text)],
                         [("70000", sha256(self.msi)), ("65536", sha256(self.cab1))])

    def test_certificate_refusals(self):
        garbage = os.path.join(self.dir, "garbage.der")
        with open(garbage, "wb") as f:
            f.write(b"\x30\x03\x02\x01\x01")
        trailing = os.path.join(self.dir, "trailing.der")
        with open(trailing, "wb") as f:
            f.write(slurp(self.pub_der) + b"\0")
        too_big = cert_of_size(self.dir, 65537)
        big_stub = stand_in_stub(self.dir, "big-stub", [(1033, too_big)])
        rows = [
            # (what, stub, extra arguments, words)
            ("development certificate", self.dev_stub, [], [self.dev_stub, "development certificate", "--cert"]),
            ("empty resource", self.empty_stub, [], [self.empty_stub, "no certificate", "--cert"]),
            ("the stub's certificate over 64 KiB", big_stub, [], [big_stub, "65537", "65536", "--cert"]),
            ("not a certificate", STUB, ["--cert", garbage], [garbage, "X.509"]),
            ("a byte after the certificate", STUB, ["--cert", trailing], [trailing, "X.509"]),
            ("PEM instead of DER", STUB, ["--cert", self.pub_pem], [self.pub_pem, "DER"]),
            ("over 64 KiB", STUB, ["--cert", too_big], [too_big, "65536"]),
            ("missing certificate", STUB, ["--cert", garbage + ".x"], [garbage + ".x"]),
            ("the development certificate as --cert", STUB, ["--cert", self.dev_der],
             [self.dev_der, "development certificate"]),
        ]
        for what, stub, extra, words in rows:
            with self.subTest(what):
                out = os.path.join(self.dir, what.replace(" ", "-") + ".exe")
                self.assertRefused(self.pack(out, self.cab1, stub=stub, cert=None, extra=extra), *words)
                self.assertFalse(os.path.exists(out))

    def test_certificate_resource(self):
        """The installer's one CERT resource, under U.S. English with code
        page 1252 like the payload's, holds the certificate whole."""
        lower = os.path.join(self.dir, "lower-case.exe")
        with open(lower, "wb") as f:
            f.write(slurp(STUB).replace(CERT_NAME, b"\x04\x00" + "cert".encode("utf-16-le")))
        past_old_limit = cert_of_size(self.dir, 4097)
        largest = cert_of_size(self.dir, 65536)
        pub_stub = stand_in_stub(self.dir, "pub-stub", [(0, self.pub_der)])
        pub, dev = slurp(self.pub_der), slurp(self.dev_der)
        rows = [
            # (what, stub, extra arguments, certificate expected, warned)
            ("--cert replaces the development certificate", self.dev_stub, ["--cert", self.pub_der], pub, False),
            ("--cert fills an empty resource", self.empty_stub, ["--cert", self.pub_der], pub, False),
            ("--allow-dev-cert keeps the development certificate", self.dev_stub, ["--allow-dev-cert"], dev,
             True),
            ("the stub's own publisher certificate, neutral language", pub_stub, [], pub, False),
            ("a resource named in lower case", lower, ["--cert", self.pub_der], pub, False),
            ("more than 4096 bytes", STUB, ["--cert", past_old_limit], slurp(past_old_limit), False),
            ("64 KiB", STUB, ["--cert", largest], slurp(largest), False),
        ]
        for what, stub, extra, der, warned in rows:
            with self.subTest(what):
                out = os.path.join(self.dir, what.split()[0].strip("-") + f"-{len(der)}.exe")
                code, _, err = self.pack(out, self.cab1, stub=stub, cert=None, extra=extra)
                self.assertEqual(code, 0, err)
                self.assertEqual("development certificate" in err, warned, err)
                self.assertEqual(cert_entries(out), [("CERT", 1033, 1252, der)])
                code, text, err = run("inspect", out)
                self.assertEqual(code, 0, err)
                self.assertRegex(text, f"\ncertificate: CN=[^\n]*, SHA-1 {hashlib.sha1(der).hexdigest()}"
                                       f"{' [(]the development certificate[)]' if der == dev else ''}\n")

    def test_inspect_certificate_lines(self):
        """inspect's certificate line for stubs (which carry no payload, so
        inspect exits 1 after the line)."""
        no_cert = os.path.join(self.dir, "no-cert.exe")
        with open(no_cert, "wb") as f:
            f.write(slurp(STUB).replace(CERT_NAME, b"\x04\x00" + "CERX".encode("utf-16-le")))
        two = stand_in_stub(self.dir, "two", [(1031, self.dev_der), (1033, self.pub_der)])
        pub_sha1 = hashlib.sha1(slurp(self.pub_der)).hexdigest()
        dev_sha1 = hashlib.sha1(slurp(self.dev_der)).hexdigest()
        rows = [
            ("no resource", no_cert, "certificate: no certificate resource"),
            ("empty resource", self.empty_stub, "certificate: none (the resource CERT is empty)"),
            ("development certificate", self.dev_stub,
             f"certificate: CN={DEV_CN}, SHA-1 {dev_sha1} (the development certificate)"),
            # No neutral one: U.S. English before the German that comes first in the tree.
            ("two languages", two, f"certificate: CN=Test Publisher, SHA-1 {pub_sha1} "
                                   "(the stub's pick of 2 CERT resources)"),
        ]
        for what, stub, line in rows:
            with self.subTest(what):
                code, text, err = run("inspect", stub)
                self.assertEqual(code, 1, text)
                self.assertIn("Manifest not found", err)
                self.assertIn(line, text.splitlines())

    def test_signing_and_a_signed_stub(self):
        out = os.path.join(self.dir, "Setup.exe")
        self.assertPacked(self.pack(out, f"{self.msi}:amd64", self.cab1))
        p12 = os.path.join(self.dir, "signer.p12")
        subprocess.run(["openssl", "pkcs12", "-export", "-in", self.pub_pem, "-inkey", self.pub_key,
                        "-out", p12, "-passout", "pass:secret"], check=True, capture_output=True)
        signed = {"pkcs12": ["--pkcs12", p12, "--pass", "secret"],
                  "key and certificate": ["--key", self.pub_key, "--cert", self.pub_pem]}
        for what, creds in signed.items():
            with self.subTest(what):
                target = os.path.join(self.dir, what.split()[0] + "-signed.exe")
                code, _, err = run("sign", "--in", out, "--out", target, *creds)
                self.assertEqual((code, err), (0, ""))
                v = subprocess.run(["osslsigncode", "verify", "-CAfile", self.pub_pem, target],
                                   capture_output=True, text=True)
                self.assertEqual(v.returncode, 0, v.stdout + v.stderr)
                code, text, _ = run("inspect", target)
                self.assertEqual(code, 0)
                self.assertRegex(text, r"signature: Authenticode, \d+ bytes")
                self.assertEqual(listing(text), listing(run("inspect", out)[1]))
        self.assertRefused(run("sign", "--in", out, "--out", out + ".x", "--pkcs12", p12, "--pass", "wrong"),
                           out)
        self.assertFalse(os.path.exists(out + ".x"))
        # A signed stub: the signature is dropped, with a warning.
        signed_stub = os.path.join(self.dir, "signed-stub.exe")
        self.assertEqual(run("sign", "--in", STUB, "--out", signed_stub, "--pkcs12", p12, "--pass", "secret")[0], 0)
        again = os.path.join(self.dir, "Again.exe")
        code, _, err = self.pack(again, f"{self.msi}:amd64", self.cab1, stub=signed_stub)
        self.assertEqual(code, 0, err)
        self.assertIn("signature is dropped", err)
        self.assertIn("signature: none", run("inspect", again)[1])
        self.assertEqual(pe_fields(slurp(again))["security_dir"], (0, 0))
        self.assertEqual(listing(run("inspect", again)[1]), listing(run("inspect", out)[1]))

    def test_signing_writes_no_name_another_could_take(self):
        """In a folder anyone may write to, no other user can plant a link
        where osslsigncode writes or swap the signed file before it becomes
        the output; a failed signing leaves nothing."""
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("another user's link needs root and setpriv")
        installer, shared = os.path.join(self.dir, "Setup.exe"), os.path.join(self.dir, "shared")
        self.assertPacked(self.pack(installer, self.cab1))
        os.makedirs(shared)
        os.chmod(shared, 0o777)
        probe = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "mkdir", shared + "/probe"]
        self.assertEqual(subprocess.run(probe).returncode, 0, "another user can write to the shared folder")
        os.rmdir(shared + "/probe")
        wrapper = os.path.join(self.dir, "osslsigncode")
        with open(wrapper, "w") as f:
            f.write(SIGN_WRAPPER)
        os.chmod(wrapper, 0o755)
        victim, out = os.path.join(self.dir, "victim.txt"), os.path.join(shared, "Signed.exe")
        env = dict(os.environ, KT_VICTIM=victim, KT_REAL=shutil.which("osslsigncode"),
                   PATH=self.dir + os.pathsep + os.environ["PATH"])
        creds = ["--key", self.pub_key, "--cert", self.pub_pem]
        rows = [
            # (what, KT_SIGN_DO, credentials, signed)
            ("a link planted where osslsigncode writes", "plant", creds, True),
            ("another file swapped in before the rename", "swap", creds, True),
            ("a bad key", "", ["--key", self.pub_pem, "--cert", self.pub_pem], False),
            ("osslsigncode writes half and fails", "half", creds, False),
        ]
        for what, do, use, signed in rows:
            with self.subTest(what):
                for name in os.listdir(shared):
                    os.unlink(os.path.join(shared, name))
                result = run("sign", "--in", installer, "--out", out, *use, env=dict(env, KT_SIGN_DO=do))
                self.assertFalse(os.path.lexists(victim))
                if signed:
                    self.assertEqual((result[0], os.listdir(shared)), (0, ["Signed.exe"]), result)
                    v = subprocess.run(["osslsigncode", "verify", "-CAfile", self.pub_pem, out], capture_output=True)
                    self.assertEqual(v.returncode, 0, v.stdout)
                else:
                    self.assertRefused(result, installer, "osslsigncode failed")
                    self.assertEqual(os.listdir(shared), [], "nothing is left behind")

    def test_hostile_resource_trees(self):
        """Looping, overlapping, truncated and oversized resource trees are
        refused quickly, with one line, by inspect and pack alike."""
        kp = load_tool()
        good = os.path.join(self.dir, "good.exe")
        self.assertPacked(self.pack(good, f"{self.msi}:amd64", self.cab1))
        data = slurp(good)
        img = kp.PeImage(kp.Source(good, data=data))
        rva = img.directory(2)[0]
        sec = img.section_of(rva)
        base = sec.rawptr + rva - sec.va
        types = struct.unpack_from("<HH", data, base + 12)
        first_type = base + 16
        first_type_dir = struct.unpack_from("<I", data, first_type + 4)[0] & 0x7FFFFFFF
        name_entry = base + first_type_dir + 16
        name_dir = struct.unpack_from("<I", data, name_entry + 4)[0] & 0x7FFFFFFF
        name_string = struct.unpack_from("<I", data, name_entry)[0] & 0x7FFFFFFF
        leaf = struct.unpack_from("<I", data, base + name_dir + 16 + 4)[0]
        rows = [
            # (what, [(offset, format, value)], words)
            ("a type pointing back at the root", [(first_type + 4, "<I", 0x80000000)], ["reached twice"]),
            ("two names sharing a directory", [(base + first_type_dir + 24 + 4, "<I", 0x80000000 | name_dir)],
             ["reached twice"]),
            ("65535 + 65535 entries", [(base + 12, "<HH", (0xFFFF, 0xFFFF))], ["resources"]),
            ("a directory past the section", [(first_type + 4, "<I", 0xFFFFFFF0)], ["outside"]),
            ("a leaf where a directory belongs", [(first_type + 4, "<I", first_type_dir)], ["depth"]),
            ("a name string past the section", [(name_entry, "<I", 0x80000000 | 0x7FFFFFF0)], ["outside"]),
            ("a name of 65535 characters", [(base + name_string, "<H", 0xFFFF)], ["65535 characters"]),
            ("data of 4 GiB", [(base + leaf + 4, "<I", 0xFFFFFFFF)], ["outside"]),
            ("data before the image", [(base + leaf, "<I", 0x10)], ["outside"]),
        ]
        self.assertGreaterEqual(sum(types), 3)
        for what, edits, words in rows:
            with self.subTest(what):
                bad = bytearray(data)
                for off, fmt, value in edits:
                    struct.pack_into(fmt, bad, off, *(value if isinstance(value, tuple) else (value,)))
                path = os.path.join(self.dir, "bad.exe")
                with open(path, "wb") as f:
                    f.write(bad)
                code, _, err = run("inspect", path)
                self.assertEqual(code, 1, err)
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertIn(path, err)
                for w in words:
                    self.assertIn(w, err)
                code, _, err = self.pack(path + ".out", self.cab1, stub=path)
                self.assertEqual(code, 1, err)
                self.assertFalse(os.path.exists(path + ".out"))

    def test_inspect_reports_the_stubs_failures(self):
        if not BAD:
            self.skipTest("no installer tests in this build")
        rows = [
            ("bad-nomanifest", "Internal package error: Manifest not found (KERR_GENERAL_FAILURE)"),
            ("bad-shortmanifest", "Internal package error: Manifest not found (KERR_BAD_LENGTH)"),
            ("bad-count", "Internal error: Could not find package header #2: KERR_GENERAL_FAILURE"),
            ("bad-shorthdr", "Internal error: Could not find package header #0: KERR_BAD_LENGTH"),
            ("bad-noblob", "#0: Failed to locate resource 'BIN_00': KERR_GENERAL_FAILURE"),
            ("bad-emptyblob", "#1: Failed to locate resource 'BIN_01': KERR_NO_DATA"),
            ("bad-suffix", "Internal error: Do not know how to handle file 'pkg.bin'."),
            ("../../Installer/win/Stub/QornStub",
             "Internal package error: Manifest not found (KERR_GENERAL_FAILURE)"),
        ]
        for name, message in rows:
            with self.subTest(name):
                path = os.path.normpath(os.path.join(BAD, name + ".exe"))
                code, _, err = run("inspect", path)
                self.assertEqual((code, err), (1, f"kestrelyn-pack: inspect: {path}: {message}\n"))
        # A sound CMake-built installer: every package is there.
        code, text, err = run("inspect", os.path.join(BAD, "inst-many.exe"))
        self.assertEqual(code, 0, err)
        self.assertEqual(len(listing(text)), 101)
        # A truncated installer.
        path = os.path.join(self.dir, "cut.exe")
        with open(os.path.join(BAD, "inst-one.exe"), "rb") as f:
            data = f.read()
        for cut in (0x30, 0x200, len(data) - 100):
            with open(path, "wb") as f:
                f.write(data[:cut])
            code, _, err = run("inspect", path)
            self.assertEqual(code, 1, cut)
            self.assertIn(path, err)


if __name__ == "__main__":
    unittest.main(verbosity=2)
