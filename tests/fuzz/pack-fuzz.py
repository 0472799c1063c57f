#!/usr/bin/env python3
"""Mutation fuzzer of kestrelyn-pack's PE, resource and certificate reader.

Seeds are real files: the stub, installers packed from it (a few packages,
101 packages, a signed one) and a DER certificate.  Each input is a seed
mutated where it matters most (headers, section table, resource directory,
the certificate resource's data entry and first bytes) or anywhere: bytes
and 32-bit words overwritten with boundary values, directory entries pointed
back at earlier directories (loops and overlaps), blocks copied over others,
the file truncated or grown.  Every input goes through what inspect and pack
read: the PE headers, the resource tree, the version, the certificate
resource and certificate, the payload with its SHA-256 sums, and pack's
check of a stub and of the certificate it carries.

A failure is any exception other than the tool's own one-line errors
(PackError), an input that takes longer than --max-seconds, or one that
needs more memory than the address-space limit allows (MemoryError).
Failing inputs are saved in WORK/failures/.  Exit 0 when none failed.

  pack-fuzz.py --stub QornStub.exe [OTHER-STUB...] --work DIR [--runs N] [--seed S]
"""

import argparse
import importlib.machinery
import importlib.util
import hashlib
import json
import os
import random
import resource
import struct
import subprocess
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "kestrelyn-pack")

loader = importlib.machinery.SourceFileLoader("kestrelyn_pack", TOOL)
spec = importlib.util.spec_from_loader("kestrelyn_pack", loader)
kp = importlib.util.module_from_spec(spec)
loader.exec_module(kp)

BOUNDARY = [0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x1000, 0x7FFF, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF,
            0x80000000, 0x80000010, 0xFFFFFFFF, 0xFFFFFFF0, 16, 24, 256, 4096, 4097,
            kp.CERT_MAX, kp.CERT_MAX + 1]


# pack's arguments without --cert: the stub's own certificate is read and checked.
KEEP_STUBS_CERT = argparse.Namespace(cert=None, allow_dev_cert=True)


def exercise(data):
    """What inspect and pack read from a file they are handed."""
    img = kp.PeImage(kp.Source("input", data=data))
    resources = kp.read_resources(img)
    facts = kp.installer_facts(img, resources)
    kp.shown(facts["product"] or "")
    kp.shown(facts["certificate"]["cn"] or facts["certificate"]["problem"] or "")
    json.dumps(kp.json_plain(facts))
    try:
        cert = kp.check_stub(img, resources)
        kp.choose_certificate(KEEP_STUBS_CERT, img, cert, lambda text: None)
        for r in resources:
            img.read_rva(r.rva, r.size, "resource")
    except kp.PackError:
        pass
    for _, name, _, file_name, blob in kp.read_payload(img, resources, []):
        json.dumps(kp.json_plain([kp.shown(name), kp.shown(file_name), file_name]))
        h = hashlib.sha256()
        for chunk in img.rva_chunks(blob.rva, blob.size, name):
            h.update(chunk)


def exercise_cert(data):
    kp.certificate_cn(bytes(data), "certificate")


class Mutator:
    def __init__(self, rng):
        self.rng = rng

    def hot_spots(self, seed):
        """Offsets worth hitting: headers, section table, resource tree, the
        certificate resource's data entry and the start of its data."""
        spots = [(0, 0x40)]
        try:
            img = kp.PeImage(kp.Source("seed", data=seed))
        except kp.PackError:
            return spots
        spots.append((img.pe, img.table_off + 40 * len(img.sections)))
        rva, size = img.directory(2)
        s = img.section_of(rva)
        if s:
            start = s.rawptr + rva - s.va
            spots.append((start, start + min(size, 0x2000)))
        try:
            certs = kp.cert_resources(kp.read_resources(img))
        except kp.PackError:
            certs = []
        for cert in certs:
            for at, n in ((cert.entry_rva, 16), (cert.rva, 64)):
                s = img.section_of(at)
                if s:
                    start = s.rawptr + at - s.va
                    spots.append((start, start + n))
        return spots

    def mutate(self, seed, spots, resource_dirs):
        rng = self.rng
        data = bytearray(seed)
        for _ in range(rng.choice((1, 1, 1, 2, 3, 5))):
            lo, hi = rng.choice(spots) if rng.random() < 0.85 else (0, len(data))
            hi = min(hi, len(data))
            if hi <= lo:
                continue
            at = rng.randrange(lo, hi)
            op = rng.randrange(9)
            if op == 0:
                data[at] ^= 1 << rng.randrange(8)
            elif op == 1:
                data[at] = rng.randrange(256)
            elif op in (2, 3) and at + 4 <= len(data):
                value = rng.choice(BOUNDARY) if op == 2 else (struct.unpack_from("<I", data, at)[0]
                                                             + rng.randrange(-64, 65)) & 0xFFFFFFFF
                struct.pack_into("<I", data, at, value)
            elif op == 4 and at + 2 <= len(data):
                struct.pack_into("<H", data, at, rng.choice(BOUNDARY) & 0xFFFF)
            elif op == 5 and resource_dirs:
                # Point an entry of a resource directory at another directory.
                base, entry_offs, dir_offs = resource_dirs
                e = rng.choice(entry_offs)
                if e + 8 <= len(data):
                    struct.pack_into("<I", data, e + 4, 0x80000000 | rng.choice(dir_offs))
            elif op == 6:
                n = rng.randrange(1, 64)
                src = rng.randrange(len(data))
                data[at:at + n] = data[src:src + n]
            elif op == 7:
                del data[rng.randrange(len(data) // 2, len(data)) if len(data) > 1 else 0:]
            else:
                data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 9)))
        return bytes(data)


def resource_layout(seed):
    """File offsets of the directory entries and the directory offsets of a seed's tree."""
    try:
        img = kp.PeImage(kp.Source("seed", data=seed))
        rva = img.directory(2)[0]
        s = img.section_of(rva)
        base = s.rawptr + rva - s.va
    except (kp.PackError, AttributeError):
        return None
    entries, dirs = [], [0]
    todo = [0]
    while todo and len(entries) < 2000:
        off = todo.pop()
        count = kp.u16(seed, base + off + 12) + kp.u16(seed, base + off + 14)
        for i in range(count):
            e = base + off + 16 + 8 * i
            entries.append(e)
            target = kp.u32(seed, e + 4)
            if target & 0x80000000:
                dirs.append(target & 0x7FFFFFFF)
                todo.append(target & 0x7FFFFFFF)
    return base, entries, dirs


def make_seeds(args, work):
    os.makedirs(work, exist_ok=True)
    pkgs = os.path.join(work, "seed-packages")
    os.makedirs(pkgs, exist_ok=True)
    rng = random.Random(7)
    for name, size in (("a.msi", 300), ("b.cab", 1000), ("c.cab", 5000), ("t.cab", 3)):
        with open(os.path.join(pkgs, name), "wb") as f:
            f.write(rng.randbytes(size))
    cert = os.path.join(work, "seed-cert")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
                    "-subj", "/CN=Fuzz Publisher", "-keyout", cert + ".key", "-out", cert + ".pem"],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", cert + ".pem", "-outform", "DER", "-out", cert + ".der"],
                   check=True, capture_output=True)
    seeds = {"stub": args.stub}
    plans = {
        "three": [f"{pkgs}/a.msi:amd64", f"{pkgs}/b.cab", f"{pkgs}/c.cab:x86"],
        "many": [f"{pkgs}/t.cab:any:p{i}.cab" for i in range(101)],
    }
    for name, packages in plans.items():
        out = os.path.join(work, f"seed-{name}.exe")
        if kp.main(["pack", "--stub", args.stub, "--out", out, "--cert", cert + ".der"] + packages):
            sys.exit(f"pack-fuzz: could not pack the seed {name}")
        seeds[name] = out
    signed = os.path.join(work, "seed-signed.exe")
    if os.path.exists(signed):
        os.unlink(signed)
    subprocess.run(["osslsigncode", "sign", "-certs", cert + ".pem", "-key", cert + ".key",
                    "-in", seeds["three"], "-out", signed], check=True, capture_output=True)
    seeds["signed"] = signed
    out = {}
    for name, path in seeds.items():
        with open(path, "rb") as f:
            out[name] = f.read()
    with open(cert + ".der", "rb") as f:
        cert_der = f.read()
    return out, cert_der


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stub", required=True, nargs="+",
                        help="stubs; the first with a certificate resource is taken")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--max-seconds", type=float, default=2.0)
    parser.add_argument("--memory-mib", type=int, default=1024)
    parser.add_argument("--report-every", type=int, default=100000)
    args = parser.parse_args()

    for stub in args.stub:
        with open(stub, "rb") as f:
            img = kp.PeImage(kp.Source(stub, data=f.read()))
        if kp.cert_resources(kp.read_resources(img)):
            args.stub = stub
            break
    else:
        sys.exit("pack-fuzz: no stub with a certificate resource among " + " ".join(args.stub))
    seeds, cert = make_seeds(args, args.work)
    limit = args.memory_mib << 20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    failures_dir = os.path.join(args.work, "failures")
    rng = random.Random(args.seed)
    mut = Mutator(rng)
    corpus = [(name, data, mut.hot_spots(data), resource_layout(data)) for name, data in sorted(seeds.items())]
    corpus_names = [c[0] for c in corpus]
    cert_spots = [(0, len(cert))]

    failures = 0
    refused = accepted = 0
    slowest = 0.0
    start = time.monotonic()
    for run in range(1, args.runs + 1):
        if run % 16 == 0:
            name, target = "cert", exercise_cert
            data = mut.mutate(cert, cert_spots, None)
        else:
            # The seed of 101 packages costs ten times the others: one input in 16.
            pick = run % len(corpus) if run % 16 != 1 else corpus_names.index("many")
            name, seed, spots, layout = corpus[pick]
            if name == "many" and run % 16 != 1:
                name, seed, spots, layout = corpus[(pick + 1) % len(corpus)]
            data = mut.mutate(seed, spots, layout)
            target = exercise
        t0 = time.monotonic()
        problem = None
        try:
            target(data)
            accepted += 1
        except kp.PackError:
            refused += 1
        except MemoryError:
            problem = "unbounded allocation (MemoryError)"
        except Exception:
            problem = traceback.format_exc()
        spent = time.monotonic() - t0
        slowest = max(slowest, spent)
        if spent > args.max_seconds:
            problem = f"slow input: {spent:.2f} s"
        if problem:
            failures += 1
            os.makedirs(failures_dir, exist_ok=True)
            path = os.path.join(failures_dir, f"{name}-{run}.bin")
            with open(path, "wb") as f:
                f.write(data)
            print(f"FAIL run {run} ({name}), saved {path}:\n{problem}", flush=True)
        if run % args.report_every == 0 or run == args.runs:
            elapsed = time.monotonic() - start
            print(f"runs {run}  accepted {accepted}  refused {refused}  failures {failures}  "
                  f"slowest {slowest * 1000:.1f} ms  {run / elapsed:.0f}/s  {elapsed:.0f} s", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
