#!/usr/bin/env bash
# reproducible.sh SOURCE WORKDIR: two clean Windows builds of the installer in
# folders of different names and depths give byte-identical binaries.
set -euo pipefail
src=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
for dir in "$work/a" "$work/second-tree/b"; do
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DZELK_TESTS=OFF \
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
rm -rf "$work"
exit "$status"
