#!/usr/bin/env bash
# extract-bench.sh [ROUNDS]: extract-only of a 128 MiB package by the
# installer the build links (kestrelyn_add_installer) and by the same package
# packed by kestrelyn-pack into the prebuilt stub, against copying the file
# with CopyFileW; side by side under the same Wine, alternating, ROUNDS times
# (default 5).  Reports the medians and their ratios (goals: packed within
# 1.1 of linked, packed at most 1.15 of the copy) and the stub's size without
# payload (goal: at most 64 KiB).  Not part of the test run: it builds its own
# tree, build/win-bench, with its own Wine prefix there (bench/lib.sh).
source "$(dirname "$0")/lib.sh"
rounds=${1:-5}

bench_build QornStub extract-bench-installer copyfile
bench_pack
bench_wine

work=$build/bench/work
rm -rf "$work"
mkdir -p "$work/linked" "$work/packed"
wlinked=$(winepath -w "$work/linked")
wpacked=$(winepath -w "$work/packed")
wpackage=$(winepath -w "$package")
wcopy=$(winepath -w "$work/copy.msi")
copyfile=$build/bench/copyfile.exe
ms() { echo $(($(us "$@") / 1000)); }

# One of each first, so that all files sit in the page cache.
wine "$linked" --silent --extract --path "$wlinked" </dev/null >/dev/null 2>&1
wine "$packed" --silent --extract --path "$wpacked" </dev/null >/dev/null 2>&1
wine "$copyfile" "$wpackage" "$wcopy" </dev/null >/dev/null 2>&1
for d in linked packed; do
  cmp -s "$package" "$work/$d/bench-128m.msi" || { echo "the $d installer extracted another file" >&2; exit 1; }
done
echo "load before: $(load)"

t_linked=() t_packed=() t_copy=()
for _ in $(seq "$rounds"); do
  t_copy+=("$(ms wine "$copyfile" "$wpackage" "$wcopy")")
  t_linked+=("$(ms wine "$linked" --silent --extract --path "$wlinked")")
  t_packed+=("$(ms wine "$packed" --silent --extract --path "$wpacked")")
done
c=$(echo "${t_copy[*]}" | median)
l=$(echo "${t_linked[*]}" | median)
p=$(echo "${t_packed[*]}" | median)
size=$(stat -c %s "$stub")
echo "load after:  $(load)"
echo "extract-only, 128 MiB (ms), $rounds rounds:"
echo "  CopyFileW  ${t_copy[*]}  median $c"
echo "  linked     ${t_linked[*]}  median $l  ratio to copy $(ratio "$l" "$c")"
echo "  packed     ${t_packed[*]}  median $p  ratio to copy $(ratio "$p" "$c") (goal <= 1.15)"
echo "ratio packed / linked: $(ratio "$p" "$l") (goal <= 1.10)"
echo "stub without payload: $size bytes ($((size / 1024)) KiB; goal <= 64 KiB)"
rm -rf "$work"
