#!/usr/bin/env bash
# startup-bench.sh [ROUNDS]: start-up of the installer stub, "--silent
# --version", against an empty program without the C runtime, side by side
# under the same Wine and wineserver, alternating, ROUNDS times (default 40).
# Reports the median of each and their ratio (goal: at most 1.10).  Not part
# of the test run: it builds its own tree, build/win-bench, with its own Wine
# prefix there.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-40}
build=$PWD/build/win-bench

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja --toolchain cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DZELK_TESTS=OFF -DZELK_BENCH=ON >/dev/null
fi
cmake --build "$build" -j 2 --target QornStub empty-nocrt >/dev/null

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
tools/wine-bench.sh start "$WINEPREFIX"
trap 'tools/wine-bench.sh stop "$WINEPREFIX"' EXIT

stub=$build/Installer/win/Stub/QornStub.exe
empty=$build/bench/empty-nocrt.exe

us() { # command...: wall time in microseconds
  local start end
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

# Warm-up: both images in the page cache, the server's state settled.
for _ in 1 2 3; do
  wine "$stub" --silent --version </dev/null >/dev/null 2>&1 || true
  wine "$empty" </dev/null >/dev/null 2>&1 || true
done

t_stub=() t_empty=()
for _ in $(seq "$rounds"); do
  t_stub+=("$(us wine "$stub" --silent --version)")
  t_empty+=("$(us wine "$empty")")
done
s=$(echo "${t_stub[*]}" | median)
e=$(echo "${t_empty[*]}" | median)
echo "stub --silent --version (us, median of $rounds): $s"
echo "empty no-CRT program    (us, median of $rounds): $e"
awk -v s="$s" -v e="$e" 'BEGIN { printf "ratio stub / empty: %.3f (goal <= 1.10)\n", s / e }'
echo "stub without payload: $(stat -c %s "$stub") bytes"
