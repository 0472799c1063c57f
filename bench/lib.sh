# Shared by bench/startup-bench.sh and bench/extract-bench.sh (sourced, bash):
# the benchmark tree build/win-bench, its Wine prefix and server, the 128 MiB
# package packed by kestrelyn-pack into the tree's stub, and timing helpers.
#
# BENCH_PACKER names another kestrelyn-pack to pack with (say, an older
# revision's), to compare layouts side by side; default: this tree's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/win-bench
packer=${BENCH_PACKER:-$PWD/tools/kestrelyn-pack}

# bench_build TARGET...: configures the tree once and builds the targets.
bench_build() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja --toolchain cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DZELK_TESTS=OFF -DZELK_BENCH=ON >/dev/null
  fi
  cmake --build "$build" -j 2 --target "$@" >/dev/null
}

# bench_wine: one wineserver for the whole run, stopped on exit.
bench_wine() {
  export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
  tools/wine-bench.sh start "$WINEPREFIX"
  trap 'tools/wine-bench.sh stop "$WINEPREFIX"' EXIT
}

stub=$build/Installer/win/Stub/QornStub.exe
package=$build/bench/bench-128m.msi
linked=$build/bench/extract-bench-installer.exe
packed=$build/bench/packed-bench-installer.exe

# bench_pack: the package of the linked installer, packed into the prebuilt
# stub with the same architecture and name.  The stub carries the build's
# development certificate, as the linked installer does.
bench_pack() {
  "$packer" pack --allow-dev-cert --stub "$stub" --out "$packed" "$package:amd64:bench-128m.msi" 2>/dev/null
  local at
  at=$(x86_64-w64-mingw32-objdump -h "$packed" | awk '$2 == ".rsrc" { off = $6 } END { print off }')
  echo "packed installer: $(stat -c %s "$packed") bytes, payload section at file offset 0x$at"
}

# us COMMAND...: wall time in microseconds (the command may fail).
us() {
  local start end
  start=$(date +%s%N)
  "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
