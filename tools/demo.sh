#!/usr/bin/env bash
# The main job: builds the Windows installer and runs it under Wine in the
# build tree's private prefix, reporting its full exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/bootstrap.sh
cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)"

prefix=$PWD/build/win/wineprefix
tools/wine-bench.sh start "$prefix"
trap 'tools/wine-bench.sh stop "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all

exe=build/win/Installer/win/Stub/QornStub.exe
echo "installer: $exe ($(stat -c %s "$exe") bytes)"
wine build/win/tests/tools/launch.exe -- "$exe" "$@" | tr -d '\r'
