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
# The certificate named at configure time is the resource CERT, byte for byte.
if python3 - "$src/tools" "$work/a/Installer/win/Stub/QornStub.exe" "$work/cert/publisher.der" <<'PY'
import struct, sys
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[1])
import mkpayload
exe, der = open(sys.argv[2], "rb").read(), open(sys.argv[3], "rb").read()
image = mkpayload.PeImage(mkpayload.Source("exe", data=exe))
entries = [entry for name, _, entry in mkpayload.rcdata_entries(exe) if name == "CERT"]
assert len(entries) == 1, "%d CERT resources" % len(entries)
rva, size = struct.unpack_from("<II", exe, entries[0])
at = image.rva_offset(rva, size, "CERT")
assert exe[at:at + size] == der, "CERT holds %d other bytes" % size
PY
then echo "ok the resource CERT holds the certificate named"; else echo "FAIL certificate resource"; status=1; fi
rm -rf "$work"
exit "$status"
