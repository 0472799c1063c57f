#!/usr/bin/env bash
# extract-bench.sh [ROUNDS]: extract-only of a 128 MiB package by a real
# installer against copying the same file with CopyFileW, side by side under
# the same Wine, alternating, ROUNDS times (default 5).  Reports the median of
# each, their ratio (goal: at most 1.5) and the stub's size without payload
# (goal: at most 64 KiB).  Not part of the test run: it builds its own tree,
# build/win-bench, and uses its own Wine prefix there.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=$PWD/build/win-bench

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja --toolchain cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DZELK_TESTS=OFF -DZELK_BENCH=ON >/dev/null
fi
cmake --build "$build" -j 2 --target QornStub extract-bench-installer copyfile >/dev/null

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
tools/wine-bench.sh start "$WINEPREFIX"
trap 'tools/wine-bench.sh stop "$WINEPREFIX"' EXIT

installer=$build/bench/extract-bench-installer.exe
package=$build/bench/bench-128m.msi
work=$build/bench/work
rm -rf "$work"
mkdir -p "$work/extract"
wextract=$(winepath -w "$work/extract")
wpackage=$(winepath -w "$package")
wcopy=$(winepath -w "$work/copy.msi")

ms() { # command...: wall time in milliseconds
  local start end
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

# One of each first, so that both files sit in the page cache.
wine "$installer" --silent --extract --path "$wextract" </dev/null >/dev/null 2>&1
wine "$build/bench/copyfile.exe" "$wpackage" "$wcopy" </dev/null >/dev/null 2>&1
cmp -s "$package" "$work/extract/bench-128m.msi" || { echo "extraction gave another file" >&2; exit 1; }

extract=() copy=()
for _ in $(seq "$rounds"); do
  extract+=("$(ms wine "$installer" --silent --extract --path "$wextract")")
  copy+=("$(ms wine "$build/bench/copyfile.exe" "$wpackage" "$wcopy")")
done
e=$(echo "${extract[*]}" | median)
c=$(echo "${copy[*]}" | median)
stub=$(stat -c %s "$build/Installer/win/Stub/QornStub.exe")

echo "extract-only, 128 MiB (ms): ${extract[*]}  median $e"
echo "CopyFileW,    128 MiB (ms): ${copy[*]}  median $c"
awk -v e="$e" -v c="$c" 'BEGIN { printf "ratio extract / copy: %.2f (goal <= 1.5)\n", e / c }'
echo "stub without payload: $stub bytes ($((stub / 1024)) KiB; goal <= 64 KiB)"
rm -rf "$work"
