#!/usr/bin/env python3
"""mkfile.py OUT SIZE [SEED | --fill BYTE]: a file of SIZE bytes of
reproducible noise, so that a package's bytes differ at every offset and a
misplaced block shows; or SIZE bytes of one value."""
import random
import sys

out, size = sys.argv[1], int(sys.argv[2], 0)
if len(sys.argv) > 4 and sys.argv[3] == "--fill":
    with open(out, "wb") as f:
        f.write(bytes([int(sys.argv[4], 0)]) * size)
    sys.exit(0)
rng = random.Random(sys.argv[3] if len(sys.argv) > 3 else out.rsplit("/", 1)[-1])
with open(out, "wb") as f:
    remaining = size
    while remaining:
        n = min(remaining, 1 << 20)
        f.write(rng.randbytes(n))
        remaining -= n
