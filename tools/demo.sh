#!/usr/bin/env bash
# The main job: builds the demo installer (a small MSI made with wixl at build
# time, packed into the installer stub as its payload) and runs it under Wine
# in the build tree's private prefix with --extract, then shows where the
# package went.  Extra arguments go to the installer.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/bootstrap.sh
# The 32-bit installer where the machine runs 32-bit code, else the 64-bit one
# (tools/wine-mode.sh; KESTRELYN_NO_32BIT=1 forces the latter).
. tools/wine-mode.sh
preset=win
if [ "$ZELK_WINE_MODE" != both ]; then
  preset=win64
  echo "the 64-bit demo installer: $ZELK_WINE_MODE_WHY"
fi
b=build/$preset
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j "$(nproc)"

# The build's own wine, winepath and wineboot pick the loader its programs need.
export PATH=$PWD/$b/wine-bin:$PATH
prefix=$PWD/$b/wineprefix
tools/wine-bench.sh start "$prefix"
trap 'tools/wine-bench.sh stop "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

stub=$b/Installer/win/Stub/QornStub.exe
exe=$b/Installer/demo/KestrelynDemoSetup.exe
dest=$PWD/$b/demo-extract
rm -rf "$dest"
echo "installer: $exe ($(stat -c %s "$exe") bytes; the stub alone: $(stat -c %s "$stub") bytes)"
python3 tools/mkpayload.py list "$exe" | sed 's/^/  resource /'
echo "running: $(basename "$exe") --silent --extract --path $(winepath -w "$dest") $*"
wine $b/tests/tools/launch.exe -- "$exe" --silent --extract --path "$(winepath -w "$dest")" "$@" | tr -d '\r'
echo "extracted into $dest:"
ls -l "$dest"
for msi in "$dest"/*.msi; do
  cmp -s "$msi" "$b/Installer/demo/$(basename "$msi")" && echo "$(basename "$msi"): identical to the package built"
  command -v msiinfo >/dev/null && msiinfo suminfo "$msi" | sed -n 's/^Subject: /  product: /p'
done
