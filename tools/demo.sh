#!/usr/bin/env bash
# The main job: builds the demo installer (a small MSI made with wixl at build
# time, packed into the installer stub as its payload) and runs it under Wine
# in the build tree's private prefix with --extract, then shows where the
# package went.  Extra arguments go to the installer.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/bootstrap.sh
cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)"

prefix=$PWD/build/win/wineprefix
tools/wine-bench.sh start "$prefix"
trap 'tools/wine-bench.sh stop "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

stub=build/win/Installer/win/Stub/QornStub.exe
exe=build/win/Installer/demo/KestrelynDemoSetup.exe
dest=$PWD/build/win/demo-extract
rm -rf "$dest"
echo "installer: $exe ($(stat -c %s "$exe") bytes; the stub alone: $(stat -c %s "$stub") bytes)"
python3 tools/mkpayload.py list "$exe" | sed 's/^/  resource /'
echo "running: $(basename "$exe") --silent --extract --path $(winepath -w "$dest") $*"
wine build/win/tests/tools/launch.exe -- "$exe" --silent --extract --path "$(winepath -w "$dest")" "$@" | tr -d '\r'
echo "extracted into $dest:"
ls -l "$dest"
for msi in "$dest"/*.msi; do
  cmp -s "$msi" "build/win/Installer/demo/$(basename "$msi")" && echo "$(basename "$msi"): identical to the package built"
  command -v msiinfo >/dev/null && msiinfo suminfo "$msi" | sed -n 's/^Subject: /  product: /p'
done
