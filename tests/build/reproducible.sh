#!/usr/bin/env bash
# reproducible.sh SOURCE WORKDIR: two clean Windows builds of the installer in
# folders of different names and depths give byte-identical binaries.  Both
# are given the same certificate: a development certificate made per build
# tree is new (random key, serial and dates) in each.
set -euo pipefail
src=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
bash "$src/tools/make-dev-cert.sh" "$work/cert"
for dir in "$work/a" "$work/second-tree/b"; do
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DZELK_TESTS=OFF \
    -DKESTRELYN_CERT="$work/cert/publisher.der" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/i686-w64-mingw32.cmake" >/dev/null
  cmake --build "$dir" --target QornStub >/dev/null
done
status=0
for exe in Installer/win/Stub/QornStub.exe; do
  if cmp "$work/a/$exe" "$work/second-tree/b/$exe"; then
    echo "ok $exe is identical in both builds"
  else
    echo "FAIL $exe differs between the two builds"
    status=1
  fi
  if grep -c -a -F "$work" "$work/a/$exe" >/dev/null; then
    echo "FAIL $exe contains the build path"
    status=1
  fi
done
# The certificate named at configure time sits in the one marked slot.
if python3 - "$work/a/Installer/win/Stub/QornStub.exe" "$work/cert/publisher.der" <<'PY'
import struct, sys
exe, der = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
magic = b"KESTRELYN-CERT-1"
assert exe.count(magic) == 1, "marker count %d" % exe.count(magic)
at = exe.index(magic) + 16
cb, cb_max = struct.unpack_from("<II", exe, at)
assert (cb, cb_max) == (len(der), 4096), (cb, cb_max)
assert exe[at + 8:at + 8 + cb] == der and exe[at + 8 + cb:at + 8 + 4096] == bytes(4096 - cb)
PY
then echo "ok the certificate slot holds the certificate named"; else echo "FAIL certificate slot"; status=1; fi
rm -rf "$work"
exit "$status"
