#!/usr/bin/env bash
# Runs every test of both builds from a clean or existing tree:
#   Linux host build (unit tests), the same under ASan+UBSan, a short run of
#   each fuzzer, and the Windows build with its tests under Wine.
# Installs what is missing first (Debian packages only).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/bootstrap.sh
jobs=$(nproc)
status=0

step() { echo; echo "=== $*"; }

for preset in host host-asan win; do
  step "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  step "$preset: tests"
  ctest --preset "$preset" -j "$jobs" || status=1
done

step "fuzz: build and a short run of every fuzzer"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for fuzzer in build/fuzz/tests/fuzz/*-fuzz; do
  [ -x "$fuzzer" ] || continue
  if "$fuzzer" -runs=100000 -max_len=512 >"$fuzzer.log" 2>&1; then
    echo "ok $(basename "$fuzzer"): $(grep -o 'Done [0-9]* runs' "$fuzzer.log")"
  else
    echo "FAIL $(basename "$fuzzer") (log: $fuzzer.log)"
    tail -n 30 "$fuzzer.log"
    status=1
  fi
done

echo
if [ "$status" -eq 0 ]; then echo "all test runs passed"; else echo "some test runs FAILED"; fi
exit "$status"
