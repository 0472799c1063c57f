#!/usr/bin/env bash
# pack-bench.sh [ROUNDS] [STUB]: kestrelyn-pack packing a 512 MiB package into
# an installer against cp of the same file, side by side, alternating, ROUNDS
# times (default 3), all from a warm page cache onto the same disk.  The
# packer runs twice a round: with the compiled accelerator (the host build's
# tools/packaccel, or KESTRELYN_PACK_ACCEL) and on its pure-Python path.
# Reports the median of each, their ratios to cp (goal: at most 1.3) and each
# path's peak resident memory.  STUB is the stub to pack (default: the win
# build's QornStub).  Not a test: nothing here has a threshold.
#
# The packer runs under the interpreter itself, as its first line runs it
# (python3 -S), not through a version manager's shim: pyenv's python3 on the
# PATH costs some 75 ms of shell scripts before Python starts, half a cp of
# the package, and a machine with only Debian's python3 has no such cost.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
stub=${2:-}
if [ -z "$stub" ]; then
  for s in build/win/Installer/win/Stub/QornStub.exe build/win64/Installer/win/Stub/QornStub.exe; do
    if [ -f "$s" ]; then stub=$s; break; fi
  done
fi
[ -n "$stub" ] || { echo "pack-bench: build the win preset first (no stub found)" >&2; exit 1; }
accel=${KESTRELYN_PACK_ACCEL:-build/host/tools/packaccel/libkestrelyn-packaccel.so}
[ -f "$accel" ] || { echo "pack-bench: build the host preset first (no $accel)" >&2; exit 1; }
accel=$(realpath "$accel")
py=$(python3 -c 'import sys; print(sys.executable)')

work=build/pack-bench
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
package=$work/package.cab
python3 tests/installer/mkfile.py "$package" $((512 << 20))
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 1 -subj "/CN=Bench Publisher" \
  -keyout "$work/pub.key" -out "$work/pub.pem" 2>/dev/null
openssl x509 -in "$work/pub.pem" -outform DER -out "$work/pub.der"
cat "$package" > /dev/null

# timed LABEL COMMAND...: appends "seconds peak-KiB" to $work/LABEL.
timed() {
  local label=$1; shift
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@"
  cat "$work/time.txt" >> "$work/$label"
}

for i in $(seq "$rounds"); do
  timed cp cp "$package" "$work/copy.cab"
  rm -f "$work/copy.cab"
  for path in accel pure; do
    if [ $path = accel ]; then export KESTRELYN_PACK_ACCEL=$accel; else export KESTRELYN_PACK_ACCEL=off; fi
    timed $path "$py" -S tools/kestrelyn-pack pack --stub "$stub" --out "$work/Setup.exe" --cert "$work/pub.der" "$package"
    rm -f "$work/Setup.exe"
  done
done

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
cp_s=$(cut -d' ' -f1 "$work/cp" | median)
echo "512 MiB package, $rounds rounds, medians ($py):"
echo "  cp                        ${cp_s} s"
for path in accel pure; do
  s=$(cut -d' ' -f1 "$work/$path" | median)
  peak=$(cut -d' ' -f2 "$work/$path" | sort -n | tail -1)
  ratio=$(awk -v a="$s" -v b="$cp_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  label=$([ $path = accel ] && echo "accelerated" || echo "pure Python")
  printf '  kestrelyn-pack %-11s %s s  ratio %s (goal: at most 1.3)  peak memory %d MiB\n' \
    "$label" "$s" "$ratio" $((peak / 1024))
done
