#!/usr/bin/env bash
# The main job: builds the demo installer (a small MSI made with wixl at build
# time, packed into the installer stub as its payload), installs it silently
# under Wine in the build tree's private prefix, and shows the exit code, the
# installed files, the product's uninstall entry and where the log went.
#   tools/demo.sh [ARGS...]            silent install (ARGS go to the installer)
#   tools/demo.sh --extract [ARGS...]  extract only, into build/win/demo-extract (build/win64/...
#                                      where the machine runs no 32-bit code)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=install
if [ "${1:-}" == --extract ]; then mode=extract; shift; fi

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
cmake --build --preset $preset -j 2 --target KestrelynDemoSetup launch

# The build's own wine, winepath and wineboot pick the loader its programs need.
export PATH=$PWD/$b/wine-bin:$PATH
prefix=$PWD/$b/wineprefix
tools/wine-bench.sh start "$prefix"
trap 'tools/wine-bench.sh stop "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

stub=$b/Installer/win/Stub/QornStub.exe
exe=$b/Installer/demo/KestrelynDemoSetup.exe
launch=$b/tests/tools/launch.exe
echo "installer: $exe ($(stat -c %s "$exe") bytes; the stub alone: $(stat -c %s "$stub") bytes)"
python3 tools/mkpayload.py list "$exe" | sed 's/^/  resource /'

if [ "$mode" == extract ]; then
  dest=$PWD/$b/demo-extract
  rm -rf "$dest"
  echo "running: $(basename "$exe") --silent --extract --path $(winepath -w "$dest") $*"
  wine "$launch" -- "$exe" --silent --extract --path "$(winepath -w "$dest")" "$@" | tr -d '\r'
  echo "extracted into $dest:"
  ls -l "$dest"
  for msi in "$dest"/*.msi; do
    cmp -s "$msi" "$b/Installer/demo/$(basename "$msi")" && echo "$(basename "$msi"): identical to the package built"
    command -v msiinfo >/dev/null && msiinfo suminfo "$msi" | sed -n 's/^Subject: /  product: /p'
  done
  exit 0
fi

log=$PWD/$b/demo-install.log
rm -f "$log"
echo "running: $(basename "$exe") --silent --msi-log-file $(winepath -w "$log") $*"
wine "$launch" -- "$exe" --silent --msi-log-file "$(winepath -w "$log")" "$@" | tr -d '\r'
echo "installed files:"
files=$(find "$prefix/drive_c/Program Files"*/"Kestrelyn Demo" -type f -printf '  %p (%s bytes)\n' 2>/dev/null || true)
none="  (none under the Program Files folders of the prefix)"
echo "${files:-$none}"
echo "uninstall entry:"
# The demo package is a 32-bit one: its entry is in the 32-bit view of the registry.
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 </dev/null 2>/dev/null | tr -d '\r' \
  | awk '/^HKEY/ { key = $0 } /DisplayName +REG_SZ +Kestrelyn Demo$/ { print "  " key; print "  " $0 }'
echo "Windows Installer log: $log ($(stat -c %s "$log" 2>/dev/null || echo 0) bytes)"
echo "remove again: tools/demo.sh --msiparams REMOVE=ALL"
