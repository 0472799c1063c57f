#!/usr/bin/env bash
# Runs every test of every build from a clean or existing tree:
#   the Linux host build (unit tests), the same under ASan+UBSan, the 32-bit
#   and the 64-bit Windows builds with their tests under Wine, a short run
#   of each fuzzer, and the README's main job (tools/demo.sh).
# Which Windows suites run depends on the machine (tools/wine-mode.sh):
#   both     - it runs 32-bit x86 code: both Windows suites in full;
#   64-only  - it does not, or KESTRELYN_NO_32BIT=1 is set: the 64-bit suite in
#              full under wine64; the 32-bit build is built and given its
#              checks that need no Wine (import tables, no C runtime,
#              reproducible build), its tests under Wine are listed as
#              skipped, and the 32-bit demo installer gets a smoke run of its
#              own (through qemu-user where the machine refuses 32-bit code).
# The mode is printed first and again in the last lines, with each stage's
# time and every suite's counts.  Installs what is missing first (Debian
# packages only).
#
#   tools/test.sh --repeat N   builds the two Windows builds and runs their
#                              suites under Wine N times at the normal
#                              parallelism; lists every test that failed at
#                              least once, with its output kept under
#                              build/repeat/ (see repeat below).
#
# A failed test's output is printed in the log (--output-on-failure).
set -euo pipefail
cd "$(dirname "$0")/.."

repeat=0
if [ "${1:-}" == --repeat ]; then
  repeat=${2:-}
  [[ "$repeat" =~ ^[1-9][0-9]*$ ]] || { echo "usage: tools/test.sh [--repeat N]" >&2; exit 2; }
elif [ $# -gt 0 ]; then
  echo "usage: tools/test.sh [--repeat N]" >&2
  exit 2
fi

# The packages first: whether the 32-bit Wine could be installed decides the mode.
tools/bootstrap.sh
. tools/wine-mode.sh
mode_line="mode: $ZELK_WINE_MODE ($ZELK_WINE_MODE_WHY)"
echo "$mode_line"

jobs=$(nproc)
status=0
summary=()
t_all=$SECONDS

step() { echo; echo "=== $*"; }
# timed NAME COMMAND...: runs the stage, records its time; a failure fails the run.
timed() {
  local name=$1 t=$SECONDS rc=0
  shift
  "$@" || rc=$?
  summary+=("$(printf '%-34s %4ds%s' "$name" $((SECONDS - t)) "$([ $rc -eq 0 ] || echo '  FAILED')")")
  [ $rc -eq 0 ] || status=1
}
build() { # PRESET
  step "$1: configure and build"
  # Chained: errexit does not apply inside a stage (see timed).
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}
# suite PRESET [ctest options]: runs the preset's tests and adds its counts.
suite() {
  local preset=$1 log=build/$1/ctest.log rc=0
  shift
  step "$preset: tests $*"
  ctest --preset "$preset" -j "$jobs" --output-on-failure "$@" 2>&1 | tee "$log" || rc=1
  local line
  line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)
  counts+=("$(printf '%-10s %s' "$preset:" "${line:-no test ran}")")
  return $rc
}
counts=()
skips=()

# skip_wine32: the 32-bit build's tests under Wine, listed as skipped with the reason.
skip_wine32() {
  local names
  names=$(ctest --preset win -N -L wine32 | sed -n 's/^ *Test *#[0-9]*: //p')
  local n
  n=$(grep -c . <<<"$names" || true)
  counts+=("$(printf '%-10s %s' "win:" "$n tests under Wine skipped: $ZELK_WINE_MODE_WHY")")
  while read -r t; do
    if [ -n "$t" ]; then skips+=("skipped win/$t: no 32-bit Wine ($ZELK_WINE_MODE_WHY)"); fi
  done <<<"$names"
}

# smoke32: the 32-bit demo installer's --version and one silent extract, each
# with a time limit, in the 64-bit build's prefix (its 64-bit launcher starts
# the 32-bit installer, which takes Debian's 32-bit loader).  Natively where
# the machine runs 32-bit code; else through qemu-user registered for i386
# ELF programs, which needs root (once registered, it stays until reboot).
smoke_line="32-bit demo installer smoke run: not run"
smoke32() {
  local exe=build/win/Installer/demo/KestrelynDemoSetup.exe how
  if [ ! -f "$exe" ]; then smoke_line+=" (no demo installer was built: wixl missing?)"; return 0; fi
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    how="natively: this machine runs 32-bit code, qemu-user not used"
  elif ! command -v qemu-i386-static >/dev/null; then
    smoke_line+=" (this machine runs no 32-bit code and qemu-user-static is not installed)"; return 0
  elif [ "$(id -u)" -ne 0 ]; then
    smoke_line+=" (this machine runs no 32-bit code; registering qemu-user in binfmt_misc needs root)"; return 0
  else
    local bm=/proc/sys/fs/binfmt_misc
    [ -e $bm/register ] || mount -t binfmt_misc binfmt_misc $bm 2>/dev/null || true
    if [ ! -e $bm/qemu-i386 ] && [ -w $bm/register ]; then
      # qemu's own i386 ELF magic and mask (qemu-binfmt-conf.sh); F: the interpreter is opened now.
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:OCF' \
        > $bm/register 2>/dev/null || true
    fi
    if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
      smoke_line+=" (this machine runs no 32-bit code and binfmt_misc does not take qemu-user here)"; return 0
    fi
    how="through qemu-user: this machine runs no 32-bit code"
  fi
  local prefix=$PWD/build/win64/wineprefix dest=$PWD/build/win64/smoke32 t=$SECONDS
  local launch=build/win64/tests/tools/launch.exe out version extract
  rm -rf "$dest"
  mkdir -p "$dest"
  export WINEPREFIX=$prefix WINEDEBUG=-all
  PATH=$PWD/build/win64/wine-bin:$PATH tools/wine-bench.sh start "$prefix"
  run64() { timeout 600 env -u DISPLAY build/win64/wine-bin/wine "$launch" --timeout 540000 -- "$@" </dev/null 2>/dev/null | tr -d '\r'; }
  out=$(run64 "$exe" --version)
  version=$(sed -n 's/^exit code: //p' <<<"$out")
  out=$(run64 "$exe" --silent --extract --path "$(build/win64/wine-bin/winepath -w "$dest")")
  extract=$(sed -n 's/^exit code: //p' <<<"$out")
  local msi
  msi=$(cd "$dest" && ls ./*.msi 2>/dev/null | head -1)
  PATH=$PWD/build/win64/wine-bin:$PATH tools/wine-bench.sh stop "$prefix"
  unset WINEPREFIX WINEDEBUG
  if [ "$version" == 0 ] && [ "$extract" == 0 ] && [ -n "$msi" ] \
     && cmp -s "$dest/$msi" "build/win/Installer/demo/$(basename "$msi")"; then
    smoke_line="32-bit demo installer smoke run: passed, $how ($((SECONDS - t)) s: --version, --silent --extract)"
  else
    smoke_line="32-bit demo installer smoke run: FAILED, $how (--version exit ${version:-none}, extract exit ${extract:-none}, package ${msi:-missing})"
    return 1
  fi
}

# repeat N: the Windows suites under Wine N times (only the 64-bit one in the
# 64-only mode).  Each run's JUnit report is kept; the output of every test
# that failed goes to build/repeat/<preset>/<test>.<run>.log.
repeat_suites() {
  local presets=(win64) preset i line
  [ "$ZELK_WINE_MODE" != both ] || presets=(win win64)
  for preset in "${presets[@]}"; do build "$preset" || return 1; done
  rm -rf build/repeat
  for ((i = 1; i <= $1; i++)); do
    for preset in "${presets[@]}"; do
      mkdir -p "build/repeat/$preset"
      line=$(ctest --preset "$preset" -j "$jobs" -L wine --output-junit "$PWD/build/repeat/$preset/run$i.xml" 2>&1 \
        | grep -E '^[0-9]+% tests passed' || true)
      echo "run $i, $preset: ${line:-no test ran}"
    done
  done
  python3 tools/junit-failures.py build/repeat "$1"
}
if [ "$repeat" -gt 0 ]; then
  rc=0
  repeat_suites "$repeat" || rc=1
  echo "$mode_line"
  exit $rc
fi

for preset in host host-asan; do
  timed "$preset: build" build "$preset"
  timed "$preset: tests" suite "$preset"
done

timed "win (32-bit): build" build win
if [ "$ZELK_WINE_MODE" == both ]; then
  timed "win (32-bit): tests under Wine" suite win
else
  timed "win (32-bit): checks without Wine" suite win -LE wine
  skip_wine32
fi
timed "win64 (64-bit): build" build win64
timed "win64 (64-bit): tests under wine64" suite win64
if [ "$ZELK_WINE_MODE" != both ]; then
  step "32-bit demo installer: smoke run"
  timed "win (32-bit): smoke run" smoke32
  echo "$smoke_line"
fi

fuzz() {
  step "fuzz: build and a short run of every fuzzer"
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$jobs" || return 1
  local rc=0
  for fuzzer in build/fuzz/tests/fuzz/*-fuzz; do
    [ -x "$fuzzer" ] || continue
    if "$fuzzer" -runs=100000 -max_len=512 >"$fuzzer.log" 2>&1; then
      echo "ok $(basename "$fuzzer"): $(grep -o 'Done [0-9]* runs' "$fuzzer.log")"
    else
      echo "FAIL $(basename "$fuzzer") (log: $fuzzer.log)"
      tail -n 30 "$fuzzer.log"
      rc=1
    fi
  done
  return $rc
}
timed "fuzz: build and runs" fuzz

# The README's main job, as a user runs it: a silent install of the demo
# product (and its removal again), which must report exit code 0 each time.
demo() {
  step "demo: the main job (tools/demo.sh)"
  local out
  out=$(tools/demo.sh 2>&1) || { echo "$out"; return 1; }
  echo "$out" | grep -v '^\['
  grep -qx 'exit code: 0' <<<"$out" && grep -q 'Kestrelyn Demo/readme.txt' <<<"$out" \
    && grep -q 'DisplayName.*Kestrelyn Demo' <<<"$out" || { echo "demo: the install did not show up"; return 1; }
  out=$(tools/demo.sh --msiparams REMOVE=ALL 2>&1) || { echo "$out"; return 1; }
  grep -qx 'exit code: 0' <<<"$out" || { echo "$out"; echo "demo: the removal failed"; return 1; }
  echo "demo: installed and removed again"
}
timed "demo: the main job" demo

echo
echo "=== summary"
for s in "${skips[@]}"; do echo "$s"; done
printf 'stage %s\n' "${summary[@]}"
printf 'suite %s\n' "${counts[@]}"
[ "$ZELK_WINE_MODE" == both ] || echo "$smoke_line"
stub=build/win/Installer/win/Stub
[ ! -f $stub/QornStub.map ] || python3 tools/linkmap-top.py $stub/QornStub.map --top 0 \
  --file $stub/QornStub.exe --budget 65536 --goal 49152 | grep 'goal\|budget' | sed 's/^/stub size: /'
echo "total: $((SECONDS - t_all)) s"
echo "$mode_line"
if [ "$status" -eq 0 ]; then echo "all test runs passed"; else echo "some test runs FAILED"; fi
exit "$status"
