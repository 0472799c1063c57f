#!/usr/bin/env bash
# startup-bench.sh [ROUNDS]: start-up, "--silent --version", of the stub
# without payload, of the installer the build links with a 128 MiB package
# (kestrelyn_add_installer) and of the same package packed by kestrelyn-pack
# into the prebuilt stub, against an empty program without the C runtime;
# side by side under the same Wine and wineserver, alternating, ROUNDS times
# (default 40).  Reports the medians and their ratios (goals: each at most
# 1.10 of the empty program, packed within 1.1 of linked).  Not part of the
# test run: it builds its own tree, build/win-bench, with its own Wine prefix
# there (bench/lib.sh).
source "$(dirname "$0")/lib.sh"
rounds=${1:-40}

bench_build QornStub empty-nocrt extract-bench-installer
bench_pack
bench_wine
empty=$build/bench/empty-nocrt.exe
echo "load before: $(load)"

# Warm-up: the images in the page cache, the server's state settled.
for _ in 1 2 3; do
  for exe in "$stub" "$linked" "$packed"; do wine "$exe" --silent --version </dev/null >/dev/null 2>&1 || true; done
  wine "$empty" </dev/null >/dev/null 2>&1 || true
done

t_stub=() t_linked=() t_packed=() t_empty=()
for _ in $(seq "$rounds"); do
  t_empty+=("$(us wine "$empty")")
  t_stub+=("$(us wine "$stub" --silent --version)")
  t_linked+=("$(us wine "$linked" --silent --version)")
  t_packed+=("$(us wine "$packed" --silent --version)")
done
e=$(echo "${t_empty[*]}" | median)
s=$(echo "${t_stub[*]}" | median)
l=$(echo "${t_linked[*]}" | median)
p=$(echo "${t_packed[*]}" | median)
echo "load after:  $(load)"
echo "medians of $rounds rounds (us):"
echo "  empty no-CRT program            $e"
echo "  stub, no payload                $s  ratio to empty $(ratio "$s" "$e")"
echo "  linked, 128 MiB                 $l  ratio to empty $(ratio "$l" "$e")"
echo "  packed, 128 MiB                 $p  ratio to empty $(ratio "$p" "$e")"
echo "ratio packed / linked: $(ratio "$p" "$l") (goal <= 1.10)"
echo "stub without payload: $(stat -c %s "$stub") bytes"
